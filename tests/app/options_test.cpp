// Proxy settings: read from the registry file into all six clients at
// start-up, edited in "Program Options" and written back on OK. The same
// dialog keeps the IndexNow key and checks it against a site.

#include "app_test_env.h"

#include "app/form1.h"
#include "app/fpref.h"
#include "app/http_clients.h"
#include "app/indexnow.h"
#include "app/key_check_dialog.h"
#include "app/registry_keys.h"
#include "app/web_fetch.h"
#include "platform/registry_store.h"
#include "platform/text_file.h"
#include "submission_peers.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
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

// --- IndexNow key ------------------------------------------------------

QString storedKey()
{
    RegistryStore store;
    return app::readRegKey(store, app::kPreferencesKey, app::kIndexNowKeyValue);
}

TEST_F(ProgramOptions, GenerateFillsTheFieldWithAFreshKeyThatOkStores)
{
    TForm1 form;
    QString first, second;
    QTimer::singleShot(0, &form, [&] {
        auto* dialog = form.findChild<TFPref*>();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->IndexNowKeyEdit->text().isEmpty());
        dialog->GenerateButton->click();
        first = dialog->IndexNowKeyEdit->text();
        dialog->GenerateButton->click();
        second = dialog->IndexNowKeyEdit->text();
        dialog->accept();
    });
    form.ProgramOptions1Click();
    const QRegularExpression hex32("^[0-9a-f]{32}$");
    EXPECT_TRUE(hex32.match(first).hasMatch()) << first.toStdString();
    EXPECT_TRUE(hex32.match(second).hasMatch()) << second.toStdString();
    EXPECT_NE(first, second);
    EXPECT_TRUE(MessageBox::shown().empty());
    EXPECT_EQ(storedKey(), second);

    // The next opening shows the stored key; Cancel keeps it whatever was
    // typed.
    QTimer::singleShot(0, &form, [&] {
        auto* dialog = form.findChild<TFPref*>();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->IndexNowKeyEdit->text(), second);
        dialog->IndexNowKeyEdit->setText("another-key-typed");
        dialog->reject();
    });
    form.ProgramOptions1Click();
    EXPECT_EQ(storedKey(), second);
}

TEST_F(ProgramOptions, OkRefusesWhatIsNoKeyAndStoresWhatIs)
{
    const QString longest(128, 'Z');
    struct Case {
        QString typed;
        bool accepted;
        QString stored; // after OK, when accepted
    } cases[] = {
        {"abc-1234", true, "abc-1234"},
        {longest, true, longest},
        {"  Padded-Key-99 \t", true, "Padded-Key-99"},
        {"", true, ""},
        {"abc-123", false, {}},     // 7 characters
        {longest + "Z", false, {}}, // 129
        {"has a space", false, {}},
        {"under_score1", false, {}},
        {"slash/key123", false, {}},
        {QString::fromUtf8("cl\xc3\xa9-cl\xc3\xa9-1"), false, {}}, // a letter beyond ASCII
    };
    TForm1 form;
    const QString before = "before-key-1";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        {
            RegistryStore store;
            app::writeRegKey(store, app::kPreferencesKey, app::kIndexNowKeyValue, before);
        }
        MessageBox::clearShown();
        bool stayedOpen = false;
        QTimer::singleShot(0, &form, [&] {
            auto* dialog = form.findChild<TFPref*>();
            ASSERT_NE(dialog, nullptr);
            dialog->ProxyEdit->setText("proxy.example.org");
            dialog->IndexNowKeyEdit->setText(c.typed);
            dialog->accept();
            stayedOpen = dialog->isVisible();
            if (stayedOpen)
                dialog->reject();
        });
        form.ProgramOptions1Click();
        EXPECT_EQ(stayedOpen, !c.accepted);
        if (c.accepted) {
            EXPECT_TRUE(MessageBox::shown().empty());
            EXPECT_EQ(storedKey(), c.stored);
            EXPECT_EQ(form.agHTTP1().Proxy(), "proxy.example.org");
        } else {
            ASSERT_EQ(MessageBox::shown().size(), 1u);
            EXPECT_TRUE(MessageBox::shown()[0].text.contains("8 to 128 characters"));
            EXPECT_EQ(storedKey(), before);
        }
    }
}

// With QUORVANE_CAPTURE_SHOTS naming a folder, the widget is saved there as
// NAME.png, to look at.
void saveShot(QWidget& widget, const QString& name)
{
    const QString folder = qEnvironmentVariable("QUORVANE_CAPTURE_SHOTS");
    if (!folder.isEmpty())
        widget.grab().save(folder + '/' + name + ".png");
}

// The widget that Tab moves the focus to from `from`.
QWidget* nextTabStop(QWidget* from)
{
    QWidget* next = from->nextInFocusChain();
    while (next != from && !(next->focusPolicy() & Qt::TabFocus))
        next = next->nextInFocusChain();
    return next;
}

TEST_F(ProgramOptions, TheKeysFieldsTakeTheirTurnAfterTheProxySettings)
{
    TFPref dialog;
    QWidget* expected[] = {dialog.ProxyEdit,
                           dialog.PortEdit,
                           dialog.pas,
                           dialog.un,
                           dialog.TimeoutEdit,
                           dialog.IndexNowKeyEdit,
                           dialog.GenerateButton,
                           dialog.CheckKeyButton};
    for (size_t i = 1; i < std::size(expected); ++i)
        EXPECT_EQ(nextTabStop(expected[i - 1]), expected[i]) << i;
    // Every field is reached by its label's Alt letter.
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        EXPECT_TRUE(label->text().contains('&')) << label->text().toStdString();
        EXPECT_NE(label->buddy(), nullptr) << label->text().toStdString();
    }
    // Nothing is cut off: the dialog is as tall as its fields need.
    EXPECT_GE(dialog.height(), dialog.layout()->sizeHint().height());
    dialog.IndexNowKeyEdit->setText("0f1e2d3c4b5a69788796a5b4c3d2e1f0");
    dialog.show();
    saveShot(dialog, "options");
}

// The key check of the dialog against a local site. The site's hosts are
// folders of one page server: the fetch of https://HOST/KEY.txt goes to
// http://127.0.0.1:PORT/HOST/KEY.txt, through the program's HTTP client.
class KeyCheckWindow : public AppTest {
protected:
    static constexpr const char* kKey = "0f1e2d3c4b5a69788796a5b4c3d2e1f0";

    void SetUp() override
    {
        AppTest::SetUp();
        m_server = std::make_unique<AnswerServer>(PAGE_SERVER_SCRIPT, QStringList{m_site.path()});
        ASSERT_GT(m_server->port(), 0);
    }
    void serveKeyFile(const QString& host, const QByteArray& content)
    {
        QDir(m_site.path()).mkpath(host);
        QFile file(m_site.path() + '/' + host + '/' + kKey + ".txt");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    app::Fetcher siteFetcher()
    {
        return [this](const std::string& address, size_t maxBytes) {
            const std::string prefix = "https://";
            EXPECT_EQ(address.substr(0, prefix.size()), prefix);
            std::string rest = address.substr(prefix.size());
            // One host stands for a site that is down.
            const std::string local = rest.rfind("down.example/", 0) == 0
                                          ? "http://127.0.0.1:1/" + rest
                                          : m_server->base() + rest;
            return app::fetchWithClient(m_client, local, maxBytes);
        };
    }

    QTemporaryDir m_site;
    std::unique_ptr<AnswerServer> m_server;
    THttpCli m_client;
};

TEST_F(KeyCheckWindow, OneLinePerHostOfTheChosenProfile)
{
    serveKeyFile("good.example", QByteArray(kKey) + "\r\n");
    serveKeyFile("wrong.example", "0000000000000000000000000000000f");
    platform::writeTextLines(home() + "other.ini", {"o@example.org", "O", "", "https://x/"});
    platform::writeTextLines(home() + "site.ini",
                             {"me@example.org", "Me", "", "https://good.example/a.html",
                              "https://wrong.example/", "http://good.example/b%20c.html",
                              "https://gone.example/x", "https://down.example/y", ""});

    TFPref options;
    options.IndexNowKeyEdit->setText(kKey); // typed, not stored yet
    options.keyFetcher = siteFetcher();
    QStringList lines;
    QString summary;
    QStringList profiles;
    QTimer::singleShot(0, &options, [&] {
        auto* dialog = options.findChild<TKeyCheckDialog*>();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Check IndexNow key");
        for (int i = 0; i < dialog->ProfileCombo->count(); ++i)
            profiles << dialog->ProfileCombo->itemText(i);
        dialog->ProfileCombo->setCurrentText("site.ini");
        EXPECT_FALSE(dialog->CheckClick());
        lines = dialog->ResultLines->toPlainText().split('\n');
        summary = dialog->Summary->text();
        saveShot(*dialog, "key-check");
        dialog->reject();
    });
    options.CheckKeyButton->click();

    EXPECT_EQ(profiles, (QStringList{"other.ini", "site.ini"}));
    ASSERT_EQ(lines.size(), 4) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0], "good.example: key found");
    EXPECT_EQ(lines[1], "wrong.example: key file holds another key");
    EXPECT_EQ(lines[2], "gone.example: key file missing (HTTP 404)");
    EXPECT_TRUE(lines[3].startsWith("down.example: ")) << lines[3].toStdString();
    EXPECT_TRUE(lines[3].contains("10061")) << lines[3].toStdString();
    EXPECT_EQ(summary, "3 of 4 hosts do not serve the key.");
    EXPECT_EQ(m_server->received(), (QStringList{QString("GET /good.example/") + kKey + ".txt",
                                                 QString("GET /wrong.example/") + kKey + ".txt",
                                                 QString("GET /gone.example/") + kKey + ".txt"}));
    EXPECT_TRUE(storedKey().isEmpty());
}

TEST_F(KeyCheckWindow, AGoodSiteAndTheCasesThatCheckNothing)
{
    serveKeyFile("good.example", kKey);
    platform::writeTextLines(
        home() + "good.ini",
        {"me@example.org", "Me", "", "https://good.example/", "https://good.example/2"});
    struct {
        QString key;
        bool dialogOpens;
    } cases[] = {{kKey, true}, {"", false}, {"bad key", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key.toStdString());
        MessageBox::clearShown();
        TFPref options;
        options.IndexNowKeyEdit->setText(c.key);
        options.keyFetcher = siteFetcher();
        bool opened = false;
        QString summary;
        QTimer::singleShot(0, &options, [&] {
            auto* dialog = options.findChild<TKeyCheckDialog*>();
            if (!dialog)
                return;
            opened = true;
            EXPECT_TRUE(dialog->CheckClick());
            summary = dialog->Summary->text();
            EXPECT_EQ(dialog->ResultLines->toPlainText(), "good.example: key found");
            dialog->reject();
        });
        options.CheckKeyClick();
        EXPECT_EQ(opened, c.dialogOpens);
        if (opened) {
            EXPECT_EQ(summary, "Every host of good.ini serves the key.");
            EXPECT_TRUE(MessageBox::shown().empty());
        } else {
            EXPECT_EQ(MessageBox::shown().size(), 1u);
        }
    }
}

} // namespace
