// The windowless IndexNow commands, run as the user runs them: the built
// program against files and a local web server.

#include "app_test_env.h"
#include "submission_peers.h"

#include "app/command_line.h"
#include "app/web_fetch.h"

#include "net/http_cli.h"
#include "platform/registry_store.h"
#include "platform/text_file.h"

#include <QProcess>
#include <QRegularExpression>

namespace {

TEST(HeadlessToolsCommandLine, SitemapAndKeyCommandsTakeTheirArguments)
{
    using Action = app::CommandLine::Action;
    struct Case {
        std::vector<std::string> arguments;
        Action action;
        std::string sitemap, profile, since;
    };
    const Case cases[] = {
        {{"--import-sitemap", "map.xml", "site.ini"},
         Action::ImportSitemap,
         "map.xml",
         "site.ini",
         ""},
        {{"--import-sitemap", "--since", "2026-02-28", "https://s/m.xml", "site.ini"},
         Action::ImportSitemap,
         "https://s/m.xml",
         "site.ini",
         "2026-02-28"},
        {{"--import-sitemap", "m.xml", "site.ini", "--since", "2026-02-30"},
         Action::Error,
         "",
         "",
         ""},
        {{"--import-sitemap", "m.xml", "site.ini", "--since"}, Action::Error, "", "", ""},
        {{"--import-sitemap", "m.xml", "a.ini", "b.ini"}, Action::Error, "", "", ""},
        {{"--import-sitemap", "m.xml", "a.ini", "--frobnicate"}, Action::Error, "", "", ""},
        {{"--check-key", "site.ini"}, Action::CheckKey, "", "site.ini", ""},
        {{"--check-key"}, Action::Error, "", "", ""},
        {{"--check-key", "a.ini", "b.ini"}, Action::Error, "", "", ""},
        {{"--check-key", "a.ini", "--help"}, Action::Help, "", "", ""},
    };
    for (const Case& c : cases) {
        app::CommandLine parsed = app::parseCommandLine(c.arguments);
        EXPECT_EQ(parsed.action, c.action) << c.arguments.front() << " " << c.arguments.size();
        if (c.action == Action::Error) {
            EXPECT_FALSE(parsed.error.empty());
            continue;
        }
        EXPECT_EQ(parsed.sitemap, c.sitemap);
        EXPECT_EQ(parsed.profile, c.profile);
        EXPECT_EQ(parsed.since, c.since);
    }
}

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

class HeadlessTools : public AppTest {
protected:
    ToolRun quorvane(const QStringList& arguments)
    {
        QProcess process;
        process.setWorkingDirectory(m_work.path());
        process.start(QUORVANE_BINARY, arguments);
        ToolRun run;
        if (!process.waitForFinished(kPeerTimeoutMs)) {
            process.kill();
            process.waitForFinished();
            ADD_FAILURE() << "quorvane did not finish";
            return run;
        }
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        run.err = QString::fromLocal8Bit(process.readAllStandardError());
        return run;
    }
    void writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_work.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    std::vector<std::string> pagesOf(const QString& name)
    {
        std::vector<std::string> lines = platform::readTextLines(m_work.filePath(name));
        return std::vector<std::string>(lines.begin() + 3, lines.end());
    }

    QTemporaryDir m_work;
};

// python3's own file server on an ephemeral port of 127.0.0.1, serving the
// given folder over HTTP/1.0.
class FileServer {
public:
    explicit FileServer(const QString& folder)
    {
        m_process.start(kSystemPython, {"-u", "-m", "http.server", "--bind", "127.0.0.1",
                                        "--directory", folder, "0"});
        QRegularExpression port("port (\\d+)");
        QByteArray output;
        while (m_port == 0 && m_process.waitForReadyRead(kPeerTimeoutMs)) {
            output += m_process.readAllStandardOutput();
            QRegularExpressionMatch match = port.match(QString::fromLatin1(output));
            if (match.hasMatch())
                m_port = match.captured(1).toInt();
        }
    }
    ~FileServer()
    {
        m_process.kill();
        m_process.waitForFinished(kPeerTimeoutMs);
    }
    QString base() const { return "http://127.0.0.1:" + QString::number(m_port) + "/"; }
    int port() const { return m_port; }

private:
    QProcess m_process;
    int m_port = 0;
};

TEST_F(HeadlessTools, ClientFetchGivesStatusBodyOrFailureAndCutsLongAnswers)
{
    FileServer server(m_work.path());
    ASSERT_NE(server.port(), 0);
    writeFile("long.txt", QByteArray(100000, 'x'));
    writeFile("key.txt", "0123456789abcdef\n");
    THttpCli client;
    int doneBefore = 0;
    client.OnRequestDone = [&](THttpCli*, THttpRequest, uint16_t) { ++doneBefore; };
    const std::string base = server.base().toStdString();

    app::FetchResult key = app::fetchWithClient(client, base + "key.txt", 4096);
    EXPECT_EQ(key.error, 0);
    EXPECT_EQ(key.status, 200);
    EXPECT_EQ(key.body, "0123456789abcdef\n");

    app::FetchResult cut = app::fetchWithClient(client, base + "long.txt", 1000);
    EXPECT_EQ(cut.error, 0);
    EXPECT_EQ(cut.status, 200);
    EXPECT_EQ(cut.body.size(), 1001u);

    app::FetchResult missing = app::fetchWithClient(client, base + "nothing.txt", 4096);
    EXPECT_EQ(missing.error, 0);
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.problem().rfind("HTTP 404", 0), 0u) << missing.problem();

    app::FetchResult refused = app::fetchWithClient(client, "http://127.0.0.1:1/", 4096);
    EXPECT_EQ(refused.error, 10061);
    EXPECT_FALSE(refused.failure.empty());

    // The client's own handler is back in place and saw none of the fetches.
    ASSERT_TRUE(client.OnRequestDone);
    EXPECT_EQ(doneBefore, 0);
}

const QByteArray kProfile = "me@example.org\r\nJo\r\n\r\nhttps://s.example/known\r\n";

TEST_F(HeadlessTools, ImportSitemapOverHttpFollowsTheIndexAndReportsTheCount)
{
    FileServer server(m_work.path());
    ASSERT_NE(server.port(), 0);
    const QByteArray base = server.base().toLatin1();
    writeFile("index.xml", "<sitemapindex><sitemap><loc>" + base +
                               "a.xml</loc></sitemap><sitemap><loc>" + base +
                               "b.xml</loc></sitemap></sitemapindex>");
    writeFile("a.xml", "<urlset><url><loc>https://s.example/known</loc></url>"
                       "<url><loc>https://s.example/new</loc><lastmod>2026-12-02</lastmod></url>"
                       "</urlset>");
    writeFile("b.xml", "<urlset><url><loc>https://s.example/old</loc>"
                       "<lastmod>2025-01-01</lastmod></url></urlset>");
    writeFile("site.ini", kProfile);

    ToolRun run = quorvane(
        {"--import-sitemap", server.base() + "index.xml", "site.ini", "--since", "2026-12-01"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "added 1 pages (3 in the sitemap)\n");
    EXPECT_EQ(pagesOf("site.ini"),
              (std::vector<std::string>{"https://s.example/known", "https://s.example/new"}));
}

TEST_F(HeadlessTools, ImportSitemapErrorsGoToStderrAndLeaveTheProfile)
{
    FileServer server(m_work.path());
    ASSERT_NE(server.port(), 0);
    writeFile("site.ini", kProfile);
    writeFile("broken.xml", "<urlset><url><loc>x</loc></urlset>");
    struct Case {
        QStringList arguments;
        int exitCode;
        const char* error;
    };
    const Case cases[] = {
        {{"--import-sitemap", "broken.xml", "site.ini"}, 1, "is malformed XML"},
        {{"--import-sitemap", server.base() + "missing.xml", "site.ini"}, 1, "HTTP 404"},
        {{"--import-sitemap", "broken.xml", "nosuch.ini"}, 1, "nosuch.ini"},
        {{"--import-sitemap", "broken.xml", "site.ini", "--since", "yesterday"}, 2, "YYYY-MM-DD"},
        {{"--import-sitemap", "broken.xml"}, 2, "needs a sitemap and a profile"},
    };
    for (const Case& c : cases) {
        ToolRun run = quorvane(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(c.error)) << run.err.toStdString();
        EXPECT_EQ(fileBytes(m_work.filePath("site.ini")), kProfile);
    }
}

TEST_F(HeadlessTools, CheckKeyNeedsAValidKeyAndFailsForAnUnreachableHost)
{
    writeFile("site.ini", "me@example.org\r\nJo\r\n\r\nhttps://127.0.0.1:1/page\r\n");
    ToolRun run = quorvane({"--check-key", "site.ini"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("no IndexNow key is set")) << run.err.toStdString();

    RegistryStore registry;
    const QString key = "HKEY_LOCAL_MACHINE\\Software\\Tallmoor\\quorvane\\";
    ASSERT_TRUE(registry.setValue(key, "IndexNowKey", "bad key!"));
    run = quorvane({"--check-key", "site.ini"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("not valid")) << run.err.toStdString();

    // Port 1 on loopback refuses the connection.
    ASSERT_TRUE(registry.setValue(key, "IndexNowKey", "0123456789abcdef"));
    run = quorvane({"--check-key", "site.ini"});
    EXPECT_EQ(run.exitCode, 1) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith("127.0.0.1:1: ")) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("key found"));
}

} // namespace
