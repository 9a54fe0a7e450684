// Page download and local open in the main window, against a page server
// on 127.0.0.1, and a captured engine line used by a real submission run.

#include "app_test_env.h"
#include "submission_peers.h"

#include "app/form1.h"
#include "html/document/form_control_obj.h"
#include "html/document/section_list.h"
#include "html/document/url_target.h"
#include "html/layout/layout_context.h"
#include "html/viewer/html_viewer.h"
#include "platform/application.h"
#include "platform/input_box.h"
#include "platform/program_folder.h"
#include "platform/text_file.h"

#include <QAction>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

namespace {

class PageDownload : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        // The temporary file, and the pages beside it, go to a folder of the
        // test's own.
        m_savedTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", m_tmp.path().toLocal8Bit());
        m_server = std::make_unique<AnswerServer>(PAGE_SERVER_SCRIPT, QStringList{m_site.path()});
        ASSERT_GT(m_server->port(), 0);
        Application::setErrorReporter([this](const QString& message) { m_errors << message; });
        InputBox::setAutomatic(true);
        InputBox::clearShown();
        m_window = std::make_unique<TForm1>();
        m_window->show();
    }
    void TearDown() override
    {
        m_window.reset();
        Application::setErrorReporter(nullptr);
        qputenv("TMPDIR", m_savedTmp);
        AppTest::TearDown();
    }

    std::string url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(m_server->port()) + "/" + path;
    }
    void writeFile(const QString& path, const std::string& content)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content.data(), static_cast<qint64>(content.size()));
    }
    void serve(const QString& name, const std::string& html)
    {
        writeFile(m_site.filePath(name), html);
    }
    void download(const std::string& address)
    {
        InputBox::queueAnswer(QString::fromStdString(address));
        m_window->downloadurl();
    }
    QStringList requests() { return m_server->received(); }
    THTMLViewer& visor() { return *m_window->visor(); }
    QAction* menuItem(const QString& caption)
    {
        QMenu* file = m_window->menuBar()->actions().first()->menu();
        for (QAction* action : file->actions())
            if (action->menu() && action->text() == "URL")
                for (QAction* entry : action->menu()->actions())
                    if (entry->text() == caption)
                        return entry;
        return nullptr;
    }
    // A point of the viewer's panel over the link with that HREF.
    QPoint linkPoint(const std::string& href)
    {
        QWidget* panel = visor().PaintPanel();
        for (int y = 0; y < panel->height(); y += 2)
            for (int x = 0; x < panel->width(); x += 3) {
                THitResult hit;
                const QPoint d = visor().PanelToDocument(QPoint(x, y));
                if (visor().Document().HitTest(d.x(), d.y(), hit) && hit.link &&
                    hit.link->Url == href)
                    return QPoint(x, y);
            }
        return QPoint(-1, -1);
    }
    void clickPanel(QPoint at)
    {
        QWidget* panel = visor().PaintPanel();
        for (auto [type, held] : {std::pair{QEvent::MouseButtonPress, Qt::LeftButton},
                                  std::pair{QEvent::MouseButtonRelease, Qt::NoButton}}) {
            QMouseEvent event(type, QPointF(at), QPointF(panel->mapToGlobal(at)), Qt::LeftButton,
                              held, Qt::NoModifier);
            QApplication::sendEvent(panel, &event);
        }
    }

    // With QUORVANE_CAPTURE_SHOTS naming a folder, the window is saved there
    // as NAME.png, to look at.
    void saveShot(const QString& name)
    {
        const QString folder = qEnvironmentVariable("QUORVANE_CAPTURE_SHOTS");
        if (!folder.isEmpty())
            m_window->grab().save(folder + '/' + name + ".png");
    }

    QTemporaryDir m_tmp;
    QTemporaryDir m_site;
    QByteArray m_savedTmp;
    std::unique_ptr<AnswerServer> m_server;
    std::unique_ptr<TForm1> m_window;
    QStringList m_errors;
};

TEST_F(PageDownload, ShowsThePageFromTheTemporaryFile)
{
    serve("add.html", "<html><head><title>Add URL</title></head><body>Add it</body></html>");
    EXPECT_TRUE(menuItem("Download...")->isEnabled());
    EXPECT_EQ(menuItem("Download...")->shortcut(), QKeySequence("Ctrl+D"));
    download(url("add.html"));

    ASSERT_EQ(InputBox::shown().size(), 1u);
    EXPECT_EQ(InputBox::shown()[0].caption, "Download URL");
    EXPECT_EQ(InputBox::shown()[0].prompt, "Type URL");
    EXPECT_EQ(InputBox::shown()[0].defaultText, "http://");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(m_window->siteAddress, url("add.html"));
    EXPECT_EQ(requests(), QStringList{"GET /add.html"});
    ASSERT_TRUE(m_window->tempFileName().startsWith(m_tmp.path()));
    EXPECT_EQ(visor().CurrentFile(), m_window->tempFileName());
    EXPECT_EQ(visor().DocumentTitle(), "Add URL");
    EXPECT_EQ(m_window->windowTitle(), "Add URL");
    EXPECT_EQ(visor().History().size(), 1);
    // The client keeps no reference to the download's stream, and nothing
    // was logged.
    EXPECT_EQ(m_window->agHTTP1().RcvdStream(), nullptr);
    EXPECT_FALSE(QFile::exists(home() + "logs.dbf"));

    // A second download shows from the same file: no new history entry.
    serve("more.html", "<html><head><title>More</title></head><body>more</body></html>");
    download(url("more.html"));
    EXPECT_EQ(visor().DocumentTitle(), "More");
    EXPECT_EQ(m_window->windowTitle(), "More");
    EXPECT_EQ(visor().History().size(), 1);
}

TEST_F(PageDownload, TheAnswersCharsetReadsThePage)
{
    // No META: only the answer's Content-Type tells that the page is UTF-8.
    serve("cafe-utf8.html",
          "<html><head><title>Caf\xc3\xa9 \xe2\x82\xac</title></head><body>x</body></html>");
    download(url("cafe-utf8.html"));
    EXPECT_EQ(visor().DocumentTitle(), "Caf\xe9 \x80");
    EXPECT_EQ(m_window->windowTitle(), QString::fromUtf8("Caf\xc3\xa9 \xe2\x82\xac"));
}

TEST_F(PageDownload, ADismissedBoxOrASchemeAloneDownloadsNothing)
{
    struct {
        std::optional<QString> answer;
        std::string site;
    } cases[] = {
        {std::nullopt, "http://"},
        {"http://", "http://"},
        {"https://", "https://"},
        {"   ", "   "},
        {"", ""},
    };
    for (const auto& c : cases) {
        InputBox::queueAnswer(c.answer);
        m_window->downloadurl();
        EXPECT_EQ(m_window->siteAddress, c.site);
    }
    EXPECT_TRUE(requests().isEmpty());
    EXPECT_TRUE(visor().CurrentFile().isEmpty());
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(PageDownload, AFailedDownloadShowsTheErrorAndKeepsThePage)
{
    serve("good.html", "<html><head><title>Good</title></head><body>good</body></html>");
    download(url("good.html"));
    const QByteArray shown = fileBytes(m_window->tempFileName());
    ASSERT_TRUE(shown.contains("good"));

    const std::string failing[] = {url("missing.html"), "http://127.0.0.1:1/refused.html"};
    for (const std::string& address : failing) {
        SCOPED_TRACE(address);
        m_errors.clear();
        download(address);
        EXPECT_EQ(m_errors.size(), 1);
        EXPECT_EQ(visor().DocumentTitle(), "Good");
        EXPECT_EQ(fileBytes(m_window->tempFileName()), shown);
        EXPECT_EQ(m_window->agHTTP1().RcvdStream(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}

TEST_F(PageDownload, HttpsPagesDownloadWithTheCertificatesTrusted)
{
    // A CA and a certificate for localhost, made for the test; the page
    // server speaks https with them, and QUORVANE_CA_FILE names the CA.
    QTemporaryDir certs;
    const QString makeCerts = QFileInfo(PAGE_SERVER_SCRIPT).dir().filePath("../net/tls_certs.sh");
    ASSERT_EQ(QProcess::execute("/bin/bash", {makeCerts, certs.path()}), 0);
    AnswerServer secure(PAGE_SERVER_SCRIPT,
                        {m_site.path(), certs.filePath("good.pem"), certs.filePath("server.key")});
    ASSERT_GT(secure.port(), 0);
    const QByteArray savedCa = qgetenv("QUORVANE_CA_FILE");
    const bool hadCa = qEnvironmentVariableIsSet("QUORVANE_CA_FILE");
    qputenv("QUORVANE_CA_FILE", certs.filePath("ca.pem").toLocal8Bit());
    serve("secure.html", "<html><head><title>Over TLS</title></head><body>secure</body></html>");
    const std::string port = std::to_string(secure.port());
    for (const std::string& address : {"https://localhost:" + port + "/secure.html",
                                       "HTTPS://LOCALHOST:" + port + "/secure.html"}) {
        SCOPED_TRACE(address);
        download(address);
        EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
        EXPECT_EQ(visor().DocumentTitle(), "Over TLS");
        EXPECT_EQ(m_window->siteAddress, address);
    }
    EXPECT_EQ(secure.received(), QStringList({"GET /secure.html", "GET /secure.html"}));

    // Without the CA the server is not trusted: an error, and the page shown
    // stays.
    qunsetenv("QUORVANE_CA_FILE");
    download("https://localhost:" + port + "/secure.html");
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].contains("Certificate not trusted (Error #21002)"))
        << m_errors[0].toStdString();
    EXPECT_EQ(visor().DocumentTitle(), "Over TLS");
    EXPECT_EQ(secure.received().size(), 2);
    if (hadCa)
        qputenv("QUORVANE_CA_FILE", savedCa);
}

TEST_F(PageDownload, LinksOfADownloadedPage)
{
    const std::string second = url("second.html");
    std::string upper = "HTTP://127.0.0.1:" + std::to_string(m_server->port()) + "/second.html";
    serve("first.html", "<html><head><title>First</title></head><body><p><a href=\"local.html\">"
                        "local</a></p><p><a href=\"" +
                            upper + "\">capitals</a></p></body></html>");
    serve("second.html", "<html><head><title>Second</title></head><body>two</body></html>");
    // A relative link is a file beside the temporary file, not a page of the
    // site.
    writeFile(m_tmp.filePath("local.html"),
              "<html><head><title>Local</title></head><body>here</body></html>");
    download(url("first.html"));
    ASSERT_EQ(visor().DocumentTitle(), "First");

    const QPoint local = linkPoint("local.html");
    ASSERT_NE(local, QPoint(-1, -1));
    clickPanel(local);
    EXPECT_EQ(visor().CurrentFile(), m_tmp.filePath("local.html"));
    EXPECT_EQ(requests(), QStringList{"GET /first.html"});

    // Back on the downloaded page, the link in capitals is downloaded.
    m_window->BackButtonClick(m_window->PopupMenu()->findChild<QAction*>("backbutton"));
    ASSERT_EQ(visor().DocumentTitle(), "First");
    bool handled = false;
    m_window->visorHotSpotClick(upper, handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(visor().DocumentTitle(), "Second");
    EXPECT_EQ(requests(), QStringList({"GET /first.html", "GET /second.html"}));
    // Following a link leaves the typed address alone.
    EXPECT_EQ(m_window->siteAddress, url("first.html"));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(PageDownload, OpenLocalStartsBesideTheCurrentPage)
{
    QAction* open = menuItem("Open Local...");
    ASSERT_TRUE(open);
    EXPECT_TRUE(open->isEnabled());
    EXPECT_EQ(open->shortcut(), QKeySequence("Ctrl+O"));

    FileDialog::queuePath(QString());
    m_window->Open1Click();
    ASSERT_EQ(FileDialog::requests().size(), 1u);
    const FileDialog::Options first = FileDialog::requests().back();
    EXPECT_EQ(first.filter, "html files (*.htm *.html);;all files (*)");
    EXPECT_EQ(first.defaultSuffix, "htm");
    EXPECT_TRUE(first.mustExist);
    EXPECT_EQ(QDir(first.folder), QDir(platform::programFolder()));
    EXPECT_TRUE(visor().CurrentFile().isEmpty());

    const QString page = m_site.filePath("saved.html");
    writeFile(page, "<html><head><title>Saved form</title></head><body>x</body></html>");
    FileDialog::queuePath(page);
    m_window->Open1Click();
    EXPECT_EQ(visor().CurrentFile(), page);
    EXPECT_EQ(m_window->windowTitle(), "Saved form");

    FileDialog::queuePath(QString());
    m_window->Open1Click();
    EXPECT_EQ(QDir(FileDialog::requests().back().folder), QDir(m_site.path()));
    EXPECT_TRUE(m_errors.isEmpty());
}

// The road of one captured engine: download the engine's page, mark its
// fields through the context menu, press its submit button, then let a
// submission run use the new line.
TEST_F(PageDownload, CapturedEngineSubmitsTheProfile)
{
    ASSERT_TRUE(QDir(m_site.path()).mkpath("engines"));
    serve("engines/submit.html", R"(<html><head><title>Submit your site</title></head><body>
<form action="/cgi-bin/add.pl" method="post">
Page <input type="text" name="page" size="30"><br>
Mail <input type="text" name="mail"><br>
Owner <input type="text" name="owner"><br>
Category <input type="text" name="cat"><br>
<input type="submit" name="go" value="Add">
</form></body></html>)");
    download(url("engines/submit.html"));
    ASSERT_EQ(visor().DocumentTitle(), "Submit your site");

    auto field = [this](int n) {
        return qobject_cast<QLineEdit*>(
            visor().FormControlList().at(static_cast<std::size_t>(n))->WindowControl());
    };
    const char* items[] = {"url", "email", "name"};
    for (int i = 0; i < 3; ++i) {
        field(i)->setFocus();
        m_window->PopupMenu()->findChild<QAction*>(items[i])->trigger();
    }
    field(3)->setText("Arts and Music");
    saveShot("marked-form");
    QTest::mouseClick(visor().FormControlList().at(4)->WindowControl(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();

    const std::string site = "http://127.0.0.1:" + std::to_string(m_server->port());
    const std::string line =
        "POST" + site +
        "/cgi-bin/add.pl?page=##url&mail=##email&owner=##name&cat=Arts%20and%20Music&go=Add";
    ASSERT_EQ(m_window->enginesLines().back(), line);
    EXPECT_EQ(m_window->siteAddress, site + "/");
    // The new line shows at the bottom of the list box.
    auto* memo = m_window->findChild<QPlainTextEdit*>("Memo1");
    EXPECT_EQ(memo->textCursor().blockNumber(), memo->blockCount() - 1);
    EXPECT_EQ(memo->verticalScrollBar()->value(), memo->verticalScrollBar()->maximum());
    saveShot("engines-after-capture");
    EXPECT_EQ(requests(), QStringList{"GET /engines/submit.html"});

    // The line, saved as an engines list, submits a profile.
    platform::writeTextLines(home() + "e.txt", {line});
    platform::writeTextLines(home() + "p.ini",
                             {"me@example.org", "Jo%20Doe", "", "http://mysite.example/page.html"});
    QProcess run;
    run.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    run.setWorkingDirectory(home());
    run.start(QUORVANE_BINARY, {"--submit", "p.ini", "--engines", "e.txt"});
    ASSERT_TRUE(run.waitForFinished(kPeerTimeoutMs));
    EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
    const QString query = "page=http://mysite.example/page.html&mail=me@example.org&owner=Jo%20Doe&"
                          "cat=Arts%20and%20Music&go=Add";
    ASSERT_TRUE(m_server->waitForRequests(2, [] {}));
    EXPECT_EQ(requests().at(1), "POST /cgi-bin/add.pl?" + query + " " + query);
}

} // namespace
