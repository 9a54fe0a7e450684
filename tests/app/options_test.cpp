// Proxy settings: read from the registry file into all six clients at
// start-up, edited in "Program Options" and written back on OK.

#include "app_test_env.h"

#include "app/form1.h"
#include "app/fpref.h"
#include "app/http_clients.h"
#include "app/registry_keys.h"
#include "platform/registry_store.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

namespace {

using ProgramOptions = AppTest;

void expectAllClients(TForm1& form, const std::string& proxy, const std::string& port,
                      const std::string& user, const std::string& password)
{
    for (int i = 0; i < app::HttpClients::kCount; ++i) {
        THttpCli& c = form.httpClients().client(i);
        EXPECT_EQ(c.Proxy(), proxy) << i;
        EXPECT_EQ(c.ProxyPort(), port) << i;
        EXPECT_EQ(c.ProxyUsername(), user) << i;
        EXPECT_EQ(c.ProxyPassword(), password) << i;
        EXPECT_EQ(c.Agent(), "Mozilla/3.0 (compatible)");
        EXPECT_EQ(c.ContentTypePost(), "application/x-www-form-urlencoded");
    }
}

// Runs the options dialog, fills it and presses OK or Cancel.
void runOptions(TForm1& form, const QString& proxy, const QString& port, bool ok)
{
    QTimer::singleShot(0, &form, [&] {
        auto* dialog = form.findChild<TFPref*>();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Program Options");
        dialog->ProxyEdit->setText(proxy);
        dialog->PortEdit->setText(port);
        dialog->un->setText("ann");
        dialog->pas->setText("secret");
        ok ? dialog->accept() : dialog->reject();
    });
    form.ProgramOptions1Click();
}

TEST_F(ProgramOptions, FirstStartCreatesTheKeyAndUsesNoProxy)
{
    TForm1 form;
    expectAllClients(form, "", "80", "", "");
    RegistryStore store;
    EXPECT_TRUE(store.keyExists(QString("HKEY_LOCAL_MACHINE\\") + app::kPreferencesKey));
}

TEST_F(ProgramOptions, OkStoresForTheNextStartCancelChangesNothing)
{
    {
        TForm1 form;
        runOptions(form, "proxy.example.org", "3128", true);
        expectAllClients(form, "proxy.example.org", "3128", "ann", "secret");
        runOptions(form, "other", "1", false);
        expectAllClients(form, "proxy.example.org", "3128", "ann", "secret");
    }
    RegistryStore store;
    EXPECT_EQ(app::readRegKey(store, app::kPreferencesKey, "ProxyPassword"), "secret");
    TForm1 restarted;
    expectAllClients(restarted, "proxy.example.org", "3128", "ann", "secret");
}

TEST_F(ProgramOptions, TimeoutFieldIsStoredAndAppliedToAllClients)
{
    const auto expectTimeout = [](TForm1& form, int seconds) {
        for (int i = 0; i < app::HttpClients::kCount; ++i)
            EXPECT_EQ(form.httpClients().client(i).RequestTimeout(), seconds) << i;
    };
    const auto setTimeout = [](TForm1& form, const QString& text, bool ok) {
        QTimer::singleShot(0, &form, [&form, text, ok] {
            auto* dialog = form.findChild<TFPref*>();
            ASSERT_NE(dialog, nullptr);
            ASSERT_NE(dialog->TimeoutEdit, nullptr);
            dialog->TimeoutEdit->setText(text);
            ok ? dialog->accept() : dialog->reject();
        });
        form.ProgramOptions1Click();
    };
    struct {
        QString typed;
        int applied;
        QString stored;
    } cases[] = {{"15", 15, "15"}, {"0", 0, "0"}, {"soon", 60, "60"}, {" 7 ", 7, "7"}};
    {
        TForm1 form;
        expectTimeout(form, 60); // nothing stored yet
        for (const auto& c : cases) {
            SCOPED_TRACE(c.typed.toStdString());
            setTimeout(form, c.typed, true);
            expectTimeout(form, c.applied);
            RegistryStore store;
            EXPECT_EQ(app::readRegKey(store, app::kPreferencesKey, "RequestTimeout"), c.stored);
        }
        setTimeout(form, "99", false);
        expectTimeout(form, 7);
    }
    TForm1 restarted;
    expectTimeout(restarted, 7);
}

} // namespace
