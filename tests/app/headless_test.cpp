// The windowless commands on the built program: quorvane --submit and
// quorvane --export-log, against the answer server on 127.0.0.1.

#include "app_test_env.h"
#include "submission_fixture.h"

#include "../platform/small_disk.h"
#include "app/registry_keys.h"
#include "app/request_outcome.h"
#include "platform/registry_store.h"
#include "platform/text_file.h"

#include <csignal>
#include <map>
#include <QDate>
#include <QDir>
#include <QProcessEnvironment>

namespace {

class Headless : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_GT(m_server.port(), 0);
        m_today = QDate::currentDate().toString("dd.MM.yyyy").toStdString();
        m_work = std::make_unique<QTemporaryDir>();
        m_process.setProgram(QUORVANE_BINARY);
        m_process.setWorkingDirectory(m_work->path());
        m_process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        // Failures are logged at their first attempt here; retries have
        // tests of their own.
        RegistryStore store;
        app::writeRegKey(store, app::kPreferencesKey, app::kRetriesValue, "0");
    }

    std::string engineLine(const std::string& path) const
    {
        return "GEThttp://127.0.0.1:" + std::to_string(m_server.port()) + "/" + path;
    }
    // Profile and engines list sit in the folder the command starts in and
    // are named relative to it.
    void writeFiles(const std::vector<std::string>& engines, const std::vector<std::string>& pages)
    {
        platform::writeTextLines(m_work->path() + "/e.txt", engines);
        std::vector<std::string> lines{"me@example.org", "Jo", "old"};
        lines.insert(lines.end(), pages.begin(), pages.end());
        platform::writeTextLines(m_work->path() + "/p.ini", lines);
    }
    std::string profileDate() { return platform::readTextLines(m_work->path() + "/p.ini").at(2); }

    int run(const QStringList& arguments)
    {
        m_process.setArguments(arguments);
        m_process.start();
        if (!m_process.waitForFinished(kPeerTimeoutMs)) {
            m_process.kill();
            m_process.waitForFinished();
            return -1;
        }
        m_out = QString::fromLocal8Bit(m_process.readAllStandardOutput());
        m_err = QString::fromLocal8Bit(m_process.readAllStandardError());
        return m_process.exitCode();
    }

    AnswerServer m_server;
    std::unique_ptr<QTemporaryDir> m_work;
    QProcess m_process;
    QString m_out;
    QString m_err;
    std::string m_today;
};

TEST_F(Headless, SubmitsLogsAndReports)
{
    writeFiles({engineLine("##url"), "GEThttp://127.0.0.1:1/refused"}, {"a", "empty", "missing"});
    // The 404 and the refused connections fail the run: exit code 4.
    ASSERT_EQ(run({"--submit", "p.ini", "--engines", "e.txt"}), 4) << m_err.toStdString();
    EXPECT_EQ(m_out, "6 requests, 2 succeeded, 4 failed\n");
    EXPECT_EQ(m_err.count("Sended "), 6);
    EXPECT_TRUE(m_err.endsWith("Sended 6 of 6\n"));
    EXPECT_EQ(profileDate(), m_today);

    std::vector<LogRow> rows = readLogWithDbfread(home() + "logs.dbf");
    ASSERT_EQ(rows.size(), 6u);
    int failed = 0;
    for (const LogRow& row : rows)
        failed += row.success ? 0 : 1;
    EXPECT_EQ(failed, 4);
    EXPECT_EQ(readIndexKeysWithXBase(home() + "url.ndx").size(), 6);

    // The export writes the same records as CSV.
    ASSERT_EQ(run({"--export-log", "log.csv"}), 0) << m_err.toStdString();
    QByteArray csv = fileBytes(m_work->path() + "/log.csv");
    EXPECT_TRUE(csv.startsWith("date,success,url,message,status\r\n"));
    EXPECT_EQ(csv.count("\r\n"), 7);
    EXPECT_TRUE(csv.contains(",true,http://127.0.0.1:" + QByteArray::number(m_server.port()) +
                             "/a,<html><body>answer /a</body></html>,200 X\r\n"));
    EXPECT_TRUE(csv.contains(",false,http://127.0.0.1:1/refused,Connection refused (Error "
                             "#10061),Connection refused\r\n"));
}

// Servers that reset, close early, cut their answer short, refuse, loop,
// keep the connection open, send too much or never answer: each result is
// logged with its true outcome, and the run ends in bounded time.
TEST_F(Headless, HostileServersAreLoggedTruthfully)
{
    RegistryStore store;
    app::writeRegKey(store, app::kPreferencesKey, app::kRequestTimeoutValue, "2");
    // Six silent servers come first: they hold all six clients until the
    // time limit frees them, and the six good requests after them are still
    // answered.
    std::vector<std::string> engines;
    for (int i = 1; i <= 6; ++i)
        engines.push_back(engineLine("hang" + std::to_string(i) + "?##url"));
    for (const char* path : {"reset", "close", "short", "missing", "error500", "badgateway", "loop",
                             "keepalive", "big", "a1", "a2", "a3", "a4", "a5", "a6"})
        engines.push_back(engineLine(std::string(path) + "?##url"));
    writeFiles(engines, {"p"});
    ASSERT_EQ(run({"--submit", "p.ini", "--engines", "e.txt"}), 4) << m_err.toStdString();
    EXPECT_EQ(m_out, "21 requests, 8 succeeded, 13 failed\n");

    std::map<std::string, LogRow> byPath;
    for (const LogRow& row : readLogWithDbfread(home() + "logs.dbf")) {
        const size_t start = row.url.rfind('/') + 1;
        byPath[row.url.substr(start, row.url.find('?') - start)] = row;
    }
    ASSERT_EQ(byPath.size(), 21u);
    const struct {
        std::string path;
        bool success;
        std::string message;
    } expected[] = {
        {"hang1", false, "Connection timed out (Error #10060)"},
        {"hang6", false, "Connection timed out (Error #10060)"},
        {"reset", false, "Connection reset by peer (Error #10054)"},
        {"close", false, "Connection aborted (Error #10053)"},
        {"short", false, "abc"},
        {"missing", false, "<p>gone</p>"},
        {"error500", false, "HTTP 500 X"},
        {"badgateway", false, "<p>upstream refused</p>"},
        {"loop", false, "HTTP 302 X (too many relocations)"},
        {"keepalive", true, "kept"},
        {"a1", true, "<html><body>answer /a1?p</body></html>"},
        {"a6", true, "<html><body>answer /a6?p</body></html>"},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.path);
        EXPECT_EQ(byPath[e.path].success, e.success);
        EXPECT_EQ(byPath[e.path].message, e.message);
    }
    // The 2 MiB answer is kept up to 1 MiB and says it was cut.
    const std::string& big = byPath["big"].message;
    EXPECT_TRUE(byPath["big"].success);
    EXPECT_LE(big.size(), size_t{1024 * 1024 + 4096});
    EXPECT_GE(big.size(), size_t{1024 * 1024});
    EXPECT_NE(big.find(app::kAnswerCutLine), std::string::npos);
}

// The run waits for free clients and for the last answers under either of
// Qt's event dispatchers: the one built on GLib (QT_NO_GLIB empty) and Qt's
// own (QT_NO_GLIB=1), which used to sleep for ever once the messages it
// delivered on waking had freed the clients the run was waiting for.
TEST_F(Headless, RunsToTheEndUnderEitherEventDispatcher)
{
    const std::vector<std::string> pages{"p1", "p2", "p3", "p4", "p5", "p6", "p7"};
    writeFiles({engineLine("a?u=##url"), engineLine("b?u=##url"), engineLine("c?u=##url")}, pages);
    const int total = 3 * static_cast<int>(pages.size());
    for (const char* noGlib : {"", "1"}) {
        SCOPED_TRACE(std::string("QT_NO_GLIB=") + noGlib);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_NO_GLIB", noGlib);
        m_process.setProcessEnvironment(environment);
        for (int round = 0; round < 3; ++round) {
            ASSERT_EQ(run({"--submit", "p.ini", "--engines", "e.txt"}), 0)
                << "round " << round << ": " << m_err.toStdString();
            EXPECT_EQ(m_out, QString("%1 requests, %1 succeeded, 0 failed\n").arg(total));
        }
    }
}

TEST_F(Headless, UnreadableFilesStopBeforeTheLog)
{
    writeFiles({engineLine("##url")}, {"a"});
    struct {
        QStringList arguments;
    } cases[] = {
        {{"--submit", "absent.ini", "--engines", "e.txt"}},
        {{"--submit", "p.ini", "--engines", "absent.txt"}},
        {{"--submit", "p.ini"}}, // no engines.txt in the program folder
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.arguments), 1) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(m_err.startsWith("quorvane: ")) << m_err.toStdString();
        EXPECT_FALSE(QFile::exists(home() + "logs.dbf"));
    }
    EXPECT_EQ(run({"--export-log", "x.csv"}), 1);
    EXPECT_EQ(run({"--submit"}), 2);
}

TEST_F(Headless, SigtermCancelsLikeTheCancelButton)
{
    writeFiles({engineLine("##url")},
               {"hang1", "hang2", "hang3", "hang4", "hang5", "hang6", "hang7"});
    m_process.setArguments({"--submit", "p.ini", "--engines", "e.txt"});
    m_process.start();
    ASSERT_TRUE(m_process.waitForStarted(kPeerTimeoutMs));
    ASSERT_TRUE(m_server.waitForRequests(6, [] {}))
        << m_server.received().join(", ").toStdString() << " / state " << m_process.state() << " / "
        << m_process.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
    ASSERT_TRUE(m_process.waitForFinished(kPeerTimeoutMs));
    EXPECT_EQ(m_process.exitCode(), 130);
    EXPECT_EQ(QString::fromLocal8Bit(m_process.readAllStandardOutput()),
              "0 requests, 0 succeeded, 0 failed\n");
    EXPECT_EQ(m_server.received().size(), 6);
    EXPECT_EQ(profileDate(), "old");
    EXPECT_EQ(readLogWithDbfread(home() + "logs.dbf").size(), 0u);
}

// A log that cannot be used (held by another run, or damaged) is reported
// on stderr with the engine's text; the run ends with exit code 3 and leaves
// no temporary file.
TEST_F(Headless, UnusableLogEndsWithItsOwnCodeAndNoTemporaryFile)
{
    writeFiles({engineLine("##url")}, {"a"});
    ASSERT_EQ(run({"--submit", "p.ini", "--engines", "e.txt"}), 0) << m_err.toStdString();
    QTemporaryDir temp;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TMPDIR", temp.path());
    m_process.setProcessEnvironment(environment);

    FileLockHolder holder(home() + "logs.dbf");
    ASSERT_TRUE(holder.locked());
    EXPECT_EQ(run({"--submit", "p.ini", "--engines", "e.txt"}), 3);
    EXPECT_TRUE(m_err.contains("Sharing violation")) << m_err.toStdString();
    EXPECT_TRUE(QDir(temp.path()).isEmpty());
    holder.release();

    platform::writeTextLines(home() + "logs.dbf", {"no table"});
    EXPECT_EQ(run({"--submit", "p.ini", "--engines", "e.txt"}), 3);
    EXPECT_TRUE(m_err.contains("quorvane: ")) << m_err.toStdString();
    EXPECT_TRUE(m_err.contains("Error # ")) << m_err.toStdString();
    EXPECT_TRUE(QDir(temp.path()).isEmpty());
}

// On a full disk the date line cannot be written: the profile keeps every
// line it had, the failure is on stderr and the run does not exit 0.
TEST_F(Headless, FullDiskKeepsTheProfileAndFailsTheRun)
{
    SmallDisk disk;
    if (!disk.available())
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    const std::vector<std::string> profile{"me@example.org", "Jo", "", "a", "b"};
    platform::writeTextLines(disk.path() + "p.ini", profile);
    platform::writeTextLines(m_work->path() + "/e.txt", {engineLine("##url")});
    disk.fill();
    EXPECT_EQ(run({"--submit", disk.path() + "p.ini", "--engines", "e.txt"}), 1);
    EXPECT_TRUE(m_err.contains("p.ini")) << m_err.toStdString();
    EXPECT_EQ(m_out, "2 requests, 2 succeeded, 0 failed\n");
    EXPECT_EQ(platform::readTextLines(disk.path() + "p.ini"), profile);
}

} // namespace
