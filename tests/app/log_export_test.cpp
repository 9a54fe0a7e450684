// The submission log without windows: what it stores of an answer and how
// it comes out of the CSV export, damaged records included.

#include "app/app_state.h"
#include "app/headless.h"
#include "app/http_clients.h"
#include "app/submission_log.h"
#include "app/submission_run.h"
#include "dbf/dataset/tz_dbf.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <string>
#include <vector>

namespace {

constexpr int kProcessTimeoutMs = 20000;

class SubmissionLogFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid() && m_config.isValid());
        qputenv("QUORVANE_HOME", m_home.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
        qputenv("QUORVANE_DATE_FORMAT", "dd.MM.yyyy");
        // An engine failure must fail the test, not end it.
        TTzODbf::setMessageMode(1);
        TTzODbf::setHaltReporter([](int code, const std::string& text) {
            ADD_FAILURE() << "engine halted with " << code << ": " << text;
        });
        app::declareLog(m_log, path("logs.dbf"));
        app::openLog(m_log);
        ASSERT_TRUE(m_log.Active());
    }

    void TearDown() override
    {
        m_log.setActive(false);
        TTzODbf::setHaltReporter(nullptr);
        TTzODbf::setMessageMode(2);
        qunsetenv("QUORVANE_HOME");
        qunsetenv("XDG_CONFIG_HOME");
    }

    QString path(const QString& name) const { return m_home.path() + '/' + name; }

    void append(const std::string& url, const std::vector<std::string>& message)
    {
        m_log.ClearRecord();
        m_log.SetCField("date", "14.03.2026");
        m_log.SetLField("success", true);
        m_log.SetCField("url", url);
        if (!message.empty())
            app::storeLogMessage(m_log, message);
        m_log.Append();
    }

    QByteArray exportBytes(app::LogExport* result = nullptr)
    {
        const app::LogExport exported = app::exportLogCsv(m_log, path("out.csv"));
        if (result)
            *result = exported;
        QFile file(path("out.csv"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Overwrites the memo pointer of record `recNo` in the closed table file.
    void pointMemoAt(long recNo, const char* blockText)
    {
        QFile file(path("logs.dbf"));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const QByteArray header = file.read(12);
        const auto u16 = [&](int at) {
            return int(uint8_t(header[at])) | int(uint8_t(header[at + 1])) << 8;
        };
        // Deletion flag, date (10) and success (1) come before the message.
        const qint64 field = u16(8) + (recNo - 1) * u16(10) + 1 + 10 + 1;
        ASSERT_TRUE(file.seek(field));
        ASSERT_EQ(file.write(blockText, 10), 10);
    }

    QTemporaryDir m_home;
    QTemporaryDir m_config;
    TTzDbf m_log;
};

// A quoted CSV field as the export writes it.
QByteArray quoted(const QByteArray& bytes)
{
    QByteArray field = bytes;
    field.replace("\"", "\"\"");
    return '"' + field + '"';
}

TEST_F(SubmissionLogFile, ALargeMultiLineAnswerComesOutByteForByte)
{
    // About 400 KB: many short lines, a 100,000-byte line, quotes, commas,
    // bytes above 0x7F, blank lines and a final line end.
    QByteArray answer;
    for (int i = 0; i < 6000; ++i)
        answer += "<p class=\"r\">line " + QByteArray::number(i) + ", \xe9t\xe9</p>\r\n";
    answer += QByteArray(100000, 'x') + "\r\n\r\n";
    while (answer.size() < 400000)
        answer += "<td>\"quoted\", and more</td>\r\n";
    const std::string bytes = answer.toStdString();
    append("http://a.example/", app::answerTextLines(bytes));
    append("http://b.example/", {});
    append("http://c.example/", app::answerTextLines("one line, no end"));

    app::LogExport result;
    const QByteArray csv = exportBytes(&result);
    EXPECT_EQ(result.written, 3);
    EXPECT_TRUE(result.damaged.empty());
    // A new log has the status field; these records leave it blank.
    const QByteArray expected = "date,success,url,message,status\r\n"
                                "14.03.2026,true,http://a.example/," +
                                quoted(answer) +
                                ",\r\n"
                                "14.03.2026,true,http://b.example/,,\r\n"
                                "14.03.2026,true,http://c.example/,\"one line, no end\",\r\n";
    ASSERT_EQ(csv.size(), expected.size());
    EXPECT_TRUE(csv == expected);
}

TEST_F(SubmissionLogFile, AnswerLinesKeepTheirFinalLineEnd)
{
    const struct {
        std::string bytes;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb", {"a", "b"}},
        {"a\r\nb\r\n", {"a", "b", ""}},
        {"a\nb\n", {"a", "b", ""}},
        {"\r\n", {"", ""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(app::answerTextLines(c.bytes), c.lines) << c.bytes;
}

TEST_F(SubmissionLogFile, MemoEndBytesInAnAnswerAreStoredAsQuestionMarks)
{
    // Through the run's own logadd, on the log of the run's shared state.
    m_log.setActive(false);
    app::AppState state;
    TTzDbf& log = state.log();
    app::openLog(log);
    app::SubmissionRun run(state);
    run.logadd(true, "http://z.example/",
               app::answerTextLines("before\x1a"
                                    "after\r\n\x1a\x1a tail"));

    app::exportLogCsv(log, path("out.csv"));
    log.setActive(false);
    QFile file(path("out.csv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray csv = file.readAll();
    EXPECT_TRUE(csv.endsWith(",true,http://z.example/,\"before?after\r\n?? tail\",\r\n"))
        << csv.toStdString();
}

TEST_F(SubmissionLogFile, ADamagedMemoPointerIsNamedAndTheRestExported)
{
    append("http://1.example/", {"first"});
    append("http://2.example/", {"second"});
    append("http://3.example/", {"third"});
    m_log.setActive(false);
    pointMemoAt(2, "    999999");
    app::openLog(m_log);

    app::LogExport result;
    const QByteArray csv = exportBytes(&result);
    EXPECT_EQ(result.written, 3);
    ASSERT_EQ(result.damaged.size(), 1u);
    EXPECT_EQ(result.damaged[0].recNo, 2);
    EXPECT_EQ(app::damageLines(result).at(0).rfind("record 2: ", 0), 0u);
    EXPECT_EQ(csv, "date,success,url,message,status\r\n"
                   "14.03.2026,true,http://1.example/,first,\r\n"
                   "14.03.2026,true,http://2.example/,,\r\n"
                   "14.03.2026,true,http://3.example/,third,\r\n");
    // The engine is back to checking errors, on the record it stood on.
    EXPECT_TRUE(m_log.engine().errorCheck());
    m_log.setActive(false);

    // The program's command says the same on stderr and in its exit code.
    QProcess program;
    program.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    program.setWorkingDirectory(m_home.path());
    program.start(QUORVANE_BINARY, {"--export-log", "cli.csv"});
    ASSERT_TRUE(program.waitForFinished(kProcessTimeoutMs));
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_EQ(program.exitCode(), app::kExitDamaged) << err.toStdString();
    EXPECT_TRUE(err.startsWith("quorvane: record 2: ")) << err.toStdString();
    EXPECT_EQ(err.count('\n'), 1);
    QFile cli(path("cli.csv"));
    ASSERT_TRUE(cli.open(QIODevice::ReadOnly));
    EXPECT_EQ(cli.readAll(), csv);
}

} // namespace
