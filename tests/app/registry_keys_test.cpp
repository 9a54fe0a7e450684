#include "app_test_env.h"

#include "app/registry_keys.h"
#include "platform/registry_store.h"

#include <QFile>

namespace {

using RegistryKeys = AppTest;

const QString kSection = "HKEY_LOCAL_MACHINE\\Software\\Tallmoor\\quorvane\\";

TEST_F(RegistryKeys, ReadingCreatesTheKeyAndMissingValuesAreEmpty)
{
    RegistryStore store;
    EXPECT_FALSE(QFile::exists(store.filePath()));
    EXPECT_EQ(app::readRegKey(store, app::kPreferencesKey, "Proxy"), "");
    EXPECT_TRUE(store.keyExists(kSection));
}

TEST_F(RegistryKeys, WrittenValuesReadBackFromAFreshStore)
{
    {
        RegistryStore store;
        app::writeRegKey(store, app::kPreferencesKey, "Proxy", "proxy.example.org");
        app::writeRegKey(store, app::kPreferencesKey, "DefaultPort", "3128");
    }
    RegistryStore again;
    EXPECT_EQ(app::readRegKey(again, app::kPreferencesKey, "Proxy"), "proxy.example.org");
    EXPECT_EQ(app::readRegKey(again, app::kPreferencesKey, "DefaultPort"), "3128");
}

TEST_F(RegistryKeys, AnUnwritableStoreIsIgnoredSilently)
{
    // The store's folder is taken by a file, so nothing can be written.
    QFile blocker(home() + "blocked");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    RegistryStore store(home() + "blocked/registry.ini");
    app::writeRegKey(store, app::kPreferencesKey, "Proxy", "p");
    EXPECT_EQ(app::readRegKey(store, app::kPreferencesKey, "Proxy"), "");
}

} // namespace
