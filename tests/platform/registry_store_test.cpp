#include "platform/registry_store.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

namespace {
const QString kKey = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Tallmoor\\quorvane\\");
}

TEST(RegistryStore, ValuesPersistAcrossInstancesUnderTheirKeyPath)
{
    QTemporaryDir dir;
    QString path = dir.filePath("cfg/registry.ini");
    {
        RegistryStore store(path);
        EXPECT_FALSE(store.keyExists(kKey));
        EXPECT_TRUE(store.setValue(kKey, "Proxy", "proxy.example.org"));
        EXPECT_TRUE(store.setValue(kKey, "Odd", "a\\b\nc=d"));
    }
    RegistryStore again(path);
    EXPECT_TRUE(again.keyExists(kKey));
    EXPECT_EQ(again.value(kKey, "Proxy"), "proxy.example.org");
    EXPECT_EQ(again.value(kKey, "Odd"), "a\\b\nc=d");
    EXPECT_EQ(again.value(kKey, "Missing"), "");
    EXPECT_EQ(again.value("HKEY_CURRENT_USER\\Other\\", "Proxy"), "");

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(
        file.readAll().startsWith("[HKEY_LOCAL_MACHINE\\Software\\Tallmoor\\quorvane\\]\n"));
    EXPECT_EQ(file.permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0);
}

TEST(RegistryStore, CreateKeyMakesAnEmptySectionOnce)
{
    QTemporaryDir dir;
    RegistryStore store(dir.filePath("registry.ini"));
    EXPECT_TRUE(store.createKey(kKey));
    EXPECT_TRUE(store.keyExists(kKey));
    store.setValue(kKey, "DefaultPort", "8080");
    EXPECT_TRUE(store.createKey(kKey));
    EXPECT_EQ(store.value(kKey, "DefaultPort"), "8080");
}

TEST(RegistryStore, UnwritableLocationReportsFailure)
{
    RegistryStore store("/proc/no-such-dir/registry.ini");
    EXPECT_FALSE(store.setValue(kKey, "Proxy", "x"));
    EXPECT_EQ(store.value(kKey, "Proxy"), "");
}

// A value comes back with every character it was stored with: a proxy
// password that begins or ends with a blank must still work after a restart.
TEST(RegistryStore, ValuesKeepLeadingAndTrailingBlanks)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("registry.ini");
    const QString values[] = {"pa ss ", " pass", "  ", "\tx\t", "a=b ", " ;not a comment"};
    {
        RegistryStore store(path);
        for (int i = 0; i < 6; ++i)
            ASSERT_TRUE(store.setValue(kKey, QString("V%1").arg(i), values[i]));
    }
    RegistryStore again(path);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(again.value(kKey, QString("V%1").arg(i)), values[i]) << i;
}
