// Submission runs against IndexNow-like endpoints on 127.0.0.1: "##key" and
// batch lines as sent, statuses in the log and its export, retries after a
// wait, Cancel during a wait, a log of the old four fields, and pages left
// out because they were sent successfully of late.

#include "app_test_env.h"
#include "submission_fixture.h"

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/headless.h"
#include "app/http_clients.h"
#include "app/indexnow.h"
#include "app/registry_keys.h"
#include "app/submission_log.h"
#include "app/submission_run.h"
#include "dbf/dataset/tz_dbf.h"
#include "dbf/date_text.h"
#include "platform/registry_store.h"
#include "platform/text_file.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <map>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcessEnvironment>

namespace {

constexpr const char* kKey = "0123456789abcdef0123456789abcdef";

// The fields of a CSV export, record by record (header first); quoted
// fields may hold commas and line ends.
std::vector<std::vector<std::string>> csvRows(const QByteArray& csv)
{
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false;
    for (qsizetype i = 0; i < csv.size(); ++i) {
        const char c = csv[i];
        if (quoted) {
            if (c == '"' && i + 1 < csv.size() && csv[i + 1] == '"')
                field += csv[++i];
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(std::move(field));
            field.clear();
        } else if (c == '\r' && i + 1 < csv.size() && csv[i + 1] == '\n') {
            rows.back().push_back(std::move(field));
            field.clear();
            rows.emplace_back();
            ++i;
        } else {
            field += c;
        }
    }
    rows.pop_back(); // after the last line end
    return rows;
}

class IndexNowRun : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(m_requests.isValid());
        m_server =
            std::make_unique<AnswerServer>(INDEXNOW_SERVER_SCRIPT, QStringList{m_requests.path()});
        ASSERT_GT(m_server->port(), 0);
        m_work = std::make_unique<QTemporaryDir>();
        m_process.setProgram(QUORVANE_BINARY);
        m_process.setWorkingDirectory(m_work->path());
        m_process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        setRegistry(app::kIndexNowKeyValue, kKey);
    }

    static void setRegistry(const char* name, const QString& value)
    {
        RegistryStore store;
        app::writeRegKey(store, app::kPreferencesKey, name, value);
    }

    std::string endpoint(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(m_server->port()) + "/" + path;
    }
    void writeFiles(const std::vector<std::string>& engines, const std::vector<std::string>& pages)
    {
        platform::writeTextLines(m_work->path() + "/e.txt", engines);
        std::vector<std::string> lines{"me@example.org", "Jo", "old"};
        lines.insert(lines.end(), pages.begin(), pages.end());
        platform::writeTextLines(m_work->path() + "/p.ini", lines);
    }
    int run(const QStringList& arguments)
    {
        m_process.setArguments(arguments);
        m_process.start();
        if (!m_process.waitForFinished(4 * kPeerTimeoutMs)) {
            m_process.kill();
            m_process.waitForFinished();
            return -1;
        }
        m_out = QString::fromLocal8Bit(m_process.readAllStandardOutput());
        m_err = QString::fromLocal8Bit(m_process.readAllStandardError());
        return m_process.exitCode();
    }
    int submit(const QStringList& more = {})
    {
        return run(QStringList{"--submit", "p.ini", "--engines", "e.txt"} + more);
    }
    // The log as the export writes it: the header, then one row per record.
    std::vector<std::vector<std::string>> exported()
    {
        EXPECT_EQ(run({"--export-log", "log.csv"}), 0) << m_err.toStdString();
        return csvRows(fileBytes(m_work->path() + "/log.csv"));
    }
    // Starts the server over TLS with a certificate from a fresh test CA,
    // which the program is told to trust.
    void startTlsServer()
    {
        m_certs = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(m_certs->isValid());
        const QString certs = m_certs->path();
        ASSERT_EQ(QProcess::execute("bash", {TLS_CERTS_SCRIPT, certs}), 0);
        m_tls = std::make_unique<AnswerServer>(
            INDEXNOW_SERVER_SCRIPT,
            QStringList{m_tlsRequests.path(), "--tls", certs + "/good.pem", certs + "/server.key"});
        ASSERT_GT(m_tls->port(), 0);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QUORVANE_CA_FILE", certs + "/ca.pem");
        m_process.setProcessEnvironment(environment);
    }
    // Every request the server received, as received, in order.
    QList<QByteArray> requests() const
    {
        QList<QByteArray> all;
        const QDir folder(m_requests.path());
        for (const QString& name : folder.entryList({"*.req"}, QDir::Files, QDir::Name))
            all << fileBytes(folder.filePath(name));
        return all;
    }

    QTemporaryDir m_requests;
    std::unique_ptr<AnswerServer> m_server;
    std::unique_ptr<QTemporaryDir> m_certs;
    QTemporaryDir m_tlsRequests;
    std::unique_ptr<AnswerServer> m_tls;
    std::unique_ptr<QTemporaryDir> m_work;
    QProcess m_process;
    QString m_out;
    QString m_err;
};

TEST_F(IndexNowRun, KeyLineIsSentExpandedAndEachStatusIsLoggedAndExported)
{
    setRegistry(app::kRetriesValue, "0");
    std::vector<std::string> engines;
    for (const char* status : {"s200", "s202", "s403", "s422", "s429", "body/403"})
        engines.push_back("GET" + endpoint(status) + "?url=##url&key=##key");
    writeFiles(engines, {"https://www.example.org/a%20b.html"});
    ASSERT_EQ(submit(), 4) << m_err.toStdString();
    EXPECT_EQ(m_out, "6 requests, 2 succeeded, 4 failed\n");

    // The request line carries the page as stored and the key (the six go
    // out at once, in any order).
    const QList<QByteArray> sent = requests();
    ASSERT_EQ(sent.size(), 6);
    const QByteArray expectedLine =
        "GET /s200?url=https://www.example.org/a%20b.html&key=" + QByteArray(kKey) +
        " HTTP/1.0\r\n";
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                            [&](const QByteArray& r) { return r.startsWith(expectedLine); }),
              1);

    const auto rows = exported();
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"date", "success", "url", "message", "status"}));
    std::map<std::string, std::vector<std::string>> byPath;
    for (size_t i = 1; i < rows.size(); ++i)
        byPath[rows[i].at(2).substr(endpoint("").size(), 9)] = rows[i];
    const struct {
        std::string path;
        std::string success;
        std::string message;
        std::string status;
    } expected[] = {
        {"s200?url=", "true", "HTTP 200 OK: URLs received", "200 OK"},
        {"s202?url=", "true", "HTTP 202 Accepted: Accepted, key validation pending",
         "202 Accepted"},
        {"s403?url=", "false", "HTTP 403 Forbidden: Key not valid for this host", "403 Forbidden"},
        {"s422?url=", "false",
         "HTTP 422 Unprocessable Entity: URLs do not belong to the host, or the key does not match",
         "422 Unprocessable Entity"},
        {"s429?url=", "false", "HTTP 429 Too Many Requests: Too many requests: slow down",
         "429 Too Many Requests"},
        // An answer with a body keeps it as the message.
        {"body/403?", "false", "engine says 403", "403 Forbidden"},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.path);
        const std::vector<std::string>& row = byPath[e.path];
        ASSERT_EQ(row.size(), 5u);
        EXPECT_EQ(row[1], e.success);
        EXPECT_EQ(row[3], e.message);
        EXPECT_EQ(row[4], e.status);
    }
}

TEST_F(IndexNowRun, BatchLinesPostOneJsonBodyPerHostAndBlockAndLogEveryPage)
{
    // 10,001 pages of one host and two of another (one with a port, one
    // with a quote and a blank stored as "%20") make three POSTs.
    std::vector<std::string> pages;
    for (int i = 0; i < 10001; ++i)
        pages.push_back("https://www.example.org/p" + std::to_string(i));
    pages.push_back("https://Shop.Example.com:8443/a%20\"b\"");
    pages.push_back("https://shop.example.com:8443/c");
    pages.push_back("not an address");
    writeFiles({"INDEXNOW" + endpoint("indexnow")}, pages);
    ASSERT_EQ(submit(), 0) << m_err.toStdString();
    EXPECT_EQ(m_out, "10003 requests, 10003 succeeded, 0 failed\n");

    // The three batches go out at once, on three clients; they are told
    // apart by their bodies.
    const auto body = [](const QByteArray& request) {
        return request.mid(request.indexOf("\r\n\r\n") + 4);
    };
    std::map<QByteArray, QByteArray> bodies; // by the body's first page
    for (const QByteArray& request : requests()) {
        EXPECT_TRUE(request.startsWith("POST /indexnow HTTP/1.0\r\n"));
        EXPECT_TRUE(request.contains("\r\nContent-Type: application/json; charset=utf-8\r\n"))
            << request.left(400).toStdString();
        const QByteArray sentBody = body(request);
        EXPECT_TRUE(request.contains("\r\nContent-Length: " + QByteArray::number(sentBody.size()) +
                                     "\r\n"));
        const qsizetype list = sentBody.indexOf("[\"") + 2;
        bodies[sentBody.mid(list, sentBody.indexOf('"', list) - list)] = sentBody;
    }
    ASSERT_EQ(bodies.size(), 3u);
    const QByteArray head = "{\"host\":\"www.example.org\",\"key\":\"" + QByteArray(kKey) +
                            "\",\"keyLocation\":\"https://www.example.org/" + kKey +
                            ".txt\",\"urlList\":[";
    const QByteArray& first = bodies["https://www.example.org/p0"];
    EXPECT_TRUE(
        first.startsWith(head + "\"https://www.example.org/p0\",\"https://www.example.org/p1\","));
    EXPECT_TRUE(first.endsWith(",\"https://www.example.org/p9999\"]}"));
    EXPECT_EQ(first.count("\"https://www.example.org/p"), 10000);
    EXPECT_EQ(bodies["https://www.example.org/p10000"],
              head + "\"https://www.example.org/p10000\"]}");
    EXPECT_EQ(bodies["https://Shop.Example.com:8443/a%20\\"],
              "{\"host\":\"shop.example.com:8443\",\"key\":\"" + QByteArray(kKey) +
                  "\",\"keyLocation\":\"https://shop.example.com:8443/" + kKey +
                  ".txt\",\"urlList\":[\"https://Shop.Example.com:8443/a%20\\\"b\\\"\","
                  "\"https://shop.example.com:8443/c\"]}");

    // One record per page, under the page's own address, with the batch's
    // answer.
    const auto rows = exported();
    ASSERT_EQ(rows.size(), 10004u);
    std::map<std::string, int> pagesLogged;
    for (size_t i = 1; i < rows.size(); ++i) {
        ++pagesLogged[rows[i][2]];
        EXPECT_EQ(rows[i][1], "true");
        EXPECT_EQ(rows[i][3], "HTTP 202 Accepted: Accepted, key validation pending");
        EXPECT_EQ(rows[i][4], "202 Accepted");
    }
    EXPECT_EQ(pagesLogged.size(), 10003u);
    EXPECT_EQ(pagesLogged["https://www.example.org/p0"], 1);
    EXPECT_EQ(pagesLogged["https://Shop.Example.com:8443/a%20\"b\""], 1);
    EXPECT_EQ(pagesLogged["https://shop.example.com:8443/c"], 1);
}

TEST_F(IndexNowRun, TooManyRequestsIsTriedAgainAfterRetryAfterAndLoggedOnce)
{
    writeFiles({"GET" + endpoint("retry/1/1/x?u=##url"), "GET" + endpoint("always429/0/y?u=##url")},
               {"p"});
    ASSERT_EQ(submit(), 4) << m_err.toStdString();
    EXPECT_EQ(m_out, "2 requests, 1 succeeded, 1 failed\n");
    // Three attempts of the one, two of the other.
    ASSERT_TRUE(m_server->waitForRequests(5, [] {}));
    QStringList received = m_server->received();
    received.sort();
    EXPECT_EQ(received, QStringList({"GET /always429/0/y?u=p", "GET /always429/0/y?u=p",
                                     "GET /always429/0/y?u=p", "GET /retry/1/1/x?u=p",
                                     "GET /retry/1/1/x?u=p"}));
    EXPECT_TRUE(m_err.contains(
        QString::fromStdString(endpoint("retry/1/1/x?u=p") +
                               ": 429 Too Many Requests: trying again in 1 s (attempt 2 of 3)\n")))
        << m_err.toStdString();

    const auto rows = exported();
    ASSERT_EQ(rows.size(), 3u);
    std::map<std::string, std::string> statusOf;
    for (size_t i = 1; i < rows.size(); ++i)
        statusOf[rows[i][2]] = rows[i][4];
    EXPECT_EQ(statusOf[endpoint("retry/1/1/x?u=p")], "202 Accepted after 2 attempts");
    EXPECT_EQ(statusOf[endpoint("always429/0/y?u=p")], "429 Too Many Requests after 3 attempts");
}

TEST_F(IndexNowRun, SigtermDuringAWaitEndsTheRunAtOnce)
{
    writeFiles({"GET" + endpoint("always429/600/z?u=##url")}, {"p"});
    QElapsedTimer clock;
    clock.start();
    m_process.setArguments({"--submit", "p.ini", "--engines", "e.txt"});
    m_process.setReadChannel(QProcess::StandardError);
    m_process.start();
    ASSERT_TRUE(m_process.waitForStarted(kPeerTimeoutMs));
    QByteArray err;
    while (!err.contains("trying again in 600 s") && m_process.waitForReadyRead(kPeerTimeoutMs))
        err += m_process.readAllStandardError();
    ASSERT_TRUE(err.contains("trying again in 600 s")) << err.toStdString();
    ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
    ASSERT_TRUE(m_process.waitForFinished(kPeerTimeoutMs));
    EXPECT_LT(clock.elapsed(), kPeerTimeoutMs);
    EXPECT_EQ(m_process.exitCode(), app::kExitCancelled);
    ASSERT_TRUE(m_server->waitForRequests(1, [] {}));
    EXPECT_EQ(m_server->received().size(), 1);
    EXPECT_EQ(readLogWithDbfread(home() + "logs.dbf").size(), 0u);
}

// A log made before the status field: appended to as it is, exported
// without the column, its records untouched.
TEST_F(IndexNowRun, OldFourFieldLogIsUsedUnchanged)
{
    writeFourFieldLog(home() + app::kLogFileName, {"http://old.example/"});
    const QByteArray before = fileBytes(home() + app::kLogFileName);
    const int headerSize = uint8_t(before[8]) | uint8_t(before[9]) << 8;
    const int recordSize = uint8_t(before[10]) | uint8_t(before[11]) << 8;

    writeFiles({"GET" + endpoint("s202?u=##url")}, {"p"});
    ASSERT_EQ(submit(), 0) << m_err.toStdString();
    const QByteArray after = fileBytes(home() + app::kLogFileName);
    // The same fields, the old record as it was, one record more.
    EXPECT_EQ(after.left(8).mid(4, 4), QByteArray("\x02\x00\x00\x00", 4));
    EXPECT_EQ(after.mid(8, 24), before.mid(8, 24));
    EXPECT_EQ(after.mid(32, headerSize - 32), before.mid(32, headerSize - 32));
    EXPECT_EQ(after.mid(headerSize, recordSize), before.mid(headerSize, recordSize));

    const auto rows = exported();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"date", "success", "url", "message"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"01.02.2020", "true", "http://old.example/", ""}));
    EXPECT_EQ(rows[2].size(), 4u);
    EXPECT_EQ(rows[2][2], endpoint("s202?u=p"));
}

TEST_F(IndexNowRun, SkipRecentLeavesOutExactlyThePagesSentSuccessfullyWithinTheWindow)
{
    // Addresses longer than the index key share their first 50 characters:
    // only the whole address decides.
    const std::string longPrefix = "long/" + std::string(60, 'x');
    const std::string get = "GET" + endpoint("s202?u=##url");
    const auto requestUrl = [this](const std::string& page) { return endpoint("s202?u=" + page); };
    const QDate today = QDate::currentDate();
    const auto day = [&](int daysAgo) {
        return today.addDays(-daysAgo).toString("dd.MM.yyyy").toStdString();
    };
    struct Record {
        std::string url;
        bool success;
        int daysAgo;
        bool deleted;
    };
    const Record records[] = {
        {requestUrl("recent"), true, 2, false},         // skipped
        {requestUrl("today"), true, 0, false},          // skipped
        {requestUrl("old"), true, 3, false},            // 3 days ago: outside 3 days
        {requestUrl("failed"), false, 0, false},        // a failure does not count
        {requestUrl("deleted"), true, 0, true},         // nor a deleted record
        {requestUrl(longPrefix + "1"), true, 1, false}, // skipped
        {"https://site.example/batched", true, 1, false},
    };
    {
        TTzDbf log;
        app::declareLog(log, home() + app::kLogFileName);
        app::openLog(log);
        ASSERT_TRUE(log.Active());
        for (const Record& r : records) {
            log.ClearRecord();
            log.SetCField("date", day(r.daysAgo));
            log.SetLField("success", r.success);
            log.SetCField("url", r.url);
            log.Append();
            if (r.deleted)
                log._Delete();
        }
        log.setActive(false);
    }
    writeFiles({get, "INDEXNOW" + endpoint("indexnow")},
               {"recent", "today", "old", "failed", "deleted", longPrefix + "1", longPrefix + "2",
                "new", "https://site.example/batched", "https://site.example/fresh"});
    ASSERT_EQ(submit({"--skip-recent", "3"}), 0) << m_err.toStdString();
    // The GET line: 10 pages, 3 skipped. The batch line: the 2 pages with a
    // host (the others can be sent to no host), 1 skipped.
    EXPECT_EQ(m_out, "12 requests, 8 sent, 4 skipped, 8 succeeded, 0 failed\n")
        << m_err.toStdString();
    ASSERT_TRUE(m_server->waitForRequests(8, [] {}));
    QStringList received = m_server->received();
    received.sort();
    EXPECT_EQ(received, QStringList({"GET /s202?u=deleted", "GET /s202?u=failed",
                                     "GET /s202?u=https://site.example/batched",
                                     "GET /s202?u=https://site.example/fresh",
                                     QString::fromStdString("GET /s202?u=" + longPrefix + "2"),
                                     "GET /s202?u=new", "GET /s202?u=old", "POST /indexnow"}));
    // Six clients send at once, so the batch is not necessarily the last
    // request the server recorded.
    const QList<QByteArray> sent = requests();
    const auto batch = std::find_if(sent.begin(), sent.end(),
                                    [](const QByteArray& r) { return r.startsWith("POST "); });
    ASSERT_NE(batch, sent.end());
    EXPECT_TRUE(batch->endsWith("\"urlList\":[\"https://site.example/fresh\"]}"))
        << batch->toStdString();

    // Without the option everything goes out again.
    ASSERT_EQ(submit(), 0) << m_err.toStdString();
    EXPECT_EQ(m_out, "12 requests, 12 succeeded, 0 failed\n");
}

// The same lines over https, to a server whose certificate a test CA signed
// (named in QUORVANE_CA_FILE).
TEST_F(IndexNowRun, KeyAndBatchLinesWorkOverHttps)
{
    ASSERT_NO_FATAL_FAILURE(startTlsServer());
    AnswerServer& tls = *m_tls;
    const QTemporaryDir& tlsRequests = m_tlsRequests;

    const std::string base = "https://127.0.0.1:" + std::to_string(tls.port()) + "/";
    writeFiles({"GET" + base + "s200?url=##url&key=##key", "INDEXNOW" + base + "indexnow"},
               {"https://a.example/1", "https://b.example/2"});
    ASSERT_EQ(submit(), 0) << m_err.toStdString();
    EXPECT_EQ(m_out, "4 requests, 4 succeeded, 0 failed\n");
    ASSERT_TRUE(tls.waitForRequests(4, [] {}));

    QList<QByteArray> bodies;
    QStringList requestLines;
    const QDir folder(tlsRequests.path());
    for (const QString& name : folder.entryList({"*.req"}, QDir::Files, QDir::Name)) {
        const QByteArray request = fileBytes(folder.filePath(name));
        requestLines << QString::fromLatin1(request.left(request.indexOf("\r\n")));
        if (request.startsWith("POST ")) {
            EXPECT_TRUE(request.contains("\r\nContent-Type: application/json; charset=utf-8\r\n"));
            bodies << request.mid(request.indexOf("\r\n\r\n") + 4);
        }
    }
    requestLines.sort();
    EXPECT_EQ(requestLines,
              QStringList({"GET /s200?url=https://a.example/1&key=" + QString(kKey) + " HTTP/1.0",
                           "GET /s200?url=https://b.example/2&key=" + QString(kKey) + " HTTP/1.0",
                           "POST /indexnow HTTP/1.0", "POST /indexnow HTTP/1.0"}));
    std::sort(bodies.begin(), bodies.end());
    ASSERT_EQ(bodies.size(), 2);
    for (const char* host : {"a.example", "b.example"}) {
        const QByteArray h(host);
        const QByteArray page = h == "a.example" ? "1" : "2";
        EXPECT_EQ(bodies[h == "a.example" ? 0 : 1],
                  "{\"host\":\"" + h + "\",\"key\":\"" + kKey + "\",\"keyLocation\":\"https://" +
                      h + "/" + kKey + ".txt\",\"urlList\":[\"https://" + h + "/" + page + "\"]}");
    }
    const auto rows = exported();
    ASSERT_EQ(rows.size(), 5u);
    for (size_t i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i][4], rows[i][2].rfind("https://127", 0) == 0 ? "200 OK" : "202 Accepted")
            << rows[i][2];
    }
}

// The key check over https: one line per host of the profile, and exit 0
// only when every host serves the key.
TEST_F(IndexNowRun, KeyCheckOverHttpsTellsWhatEachHostServes)
{
    ASSERT_NO_FATAL_FAILURE(startTlsServer());
    AnswerServer& tls = *m_tls;

    const std::string port = std::to_string(tls.port());
    writeFiles({}, {"https://127.0.0.1:" + port + "/a", "https://localhost:" + port + "/b",
                    "https://127.0.0.1:" + port + "/c"});
    const struct {
        const char* key;
        int exitCode;
        const char* says;
    } cases[] = {
        {"good-key-1234", 0, "key found"},
        {"wrong-key-1234", 4, "key file holds another key"},
        {"lost-key-1234", 4, "key file missing (HTTP 404)"},
    };
    for (const auto& c : cases) {
        setRegistry(app::kIndexNowKeyValue, c.key);
        const int code = run({"--check-key", "p.ini"});
        const QStringList lines = m_out.split('\n', Qt::SkipEmptyParts);
        EXPECT_EQ(lines.size(), 2) << c.key << ": " << m_out.toStdString() << m_err.toStdString();
        for (const QString& line : lines)
            EXPECT_TRUE(line.contains(c.says)) << c.key << ": " << line.toStdString();
        EXPECT_TRUE(m_out.contains("localhost:" + QString::fromStdString(port)))
            << m_out.toStdString();
        EXPECT_EQ(code == 0, c.exitCode == 0) << c.key << ": " << code;
    }
}

TEST(SkipRecentOption, SubmitTakesANumberOfDays)
{
    using Action = app::CommandLine::Action;
    const struct {
        std::vector<std::string> arguments;
        Action action;
        int days;
    } cases[] = {
        {{"--submit", "p.ini", "--skip-recent", "7"}, Action::Submit, 7},
        {{"--submit", "--skip-recent", "1", "p.ini", "--engines", "e.txt"}, Action::Submit, 1},
        {{"--submit", "p.ini"}, Action::Submit, 0},
        {{"--submit", "p.ini", "--skip-recent"}, Action::Error, 0},
        {{"--submit", "p.ini", "--skip-recent", "0"}, Action::Error, 0},
        {{"--submit", "p.ini", "--skip-recent", "-3"}, Action::Error, 0},
        {{"--submit", "p.ini", "--skip-recent", "x"}, Action::Error, 0},
        {{"--submit", "p.ini", "--skip-recent", "2", "--skip-recent", "3"}, Action::Error, 0},
    };
    for (const auto& c : cases) {
        const app::CommandLine parsed = app::parseCommandLine(c.arguments);
        EXPECT_EQ(parsed.action, c.action) << c.arguments.size();
        EXPECT_EQ(parsed.skipRecentDays, c.days);
    }
    EXPECT_NE(app::usageText().find("--skip-recent DAYS"), std::string::npos);
}

} // namespace
