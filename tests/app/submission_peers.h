#pragma once

// Real peers of the submission tests: the answer server (python3) and the
// readers of the files a run leaves behind (python3-dbfread for records and
// memos, Perl XBase for the index files).

#include <gtest/gtest.h>
#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

constexpr int kPeerTimeoutMs = 20000;
constexpr const char* kSystemPython = "/usr/bin/python3";

// The answer server, started on an ephemeral port of 127.0.0.1. Another
// server script that prints its port first and "GOT ..." per request (the
// page server) runs the same way.
class AnswerServer {
public:
    AnswerServer() : AnswerServer(ANSWER_SERVER_SCRIPT, {}) {}
    AnswerServer(const QString& script, const QStringList& arguments)
    {
        m_process.start(kSystemPython, QStringList{script} + arguments);
        if (!m_process.waitForStarted(kPeerTimeoutMs))
            return;
        while (!m_process.canReadLine() && m_process.waitForReadyRead(kPeerTimeoutMs)) {
        }
        m_port = m_process.readLine().trimmed().toInt();
    }
    ~AnswerServer()
    {
        m_process.kill();
        m_process.waitForFinished(kPeerTimeoutMs);
    }
    int port() const { return m_port; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }

    // Every "GOT ..." line so far, without the prefix.
    QStringList received()
    {
        m_output += m_process.readAllStandardOutput();
        QStringList lines;
        for (const QByteArray& line : m_output.split('\n')) {
            if (line.startsWith("GOT "))
                lines << QString::fromLatin1(line.mid(4).trimmed());
        }
        return lines;
    }
    // Waits (delivering events) until the server has received `count`
    // requests; false after the time limit.
    template <typename Deliver> bool waitForRequests(int count, Deliver deliver)
    {
        QElapsedTimer clock;
        clock.start();
        while (received().size() < count) {
            if (clock.elapsed() > kPeerTimeoutMs)
                return false;
            m_process.waitForReadyRead(50);
            deliver();
        }
        return true;
    }

private:
    QProcess m_process;
    QByteArray m_output;
    int m_port = 0;
};

struct LogRow {
    std::string date;
    bool success = false;
    std::string url;
    std::string message;
    bool operator==(const LogRow&) const = default;
};

inline void PrintTo(const LogRow& row, std::ostream* out)
{
    *out << "{" << row.date << ", " << row.success << ", " << row.url << ", \"" << row.message
         << "\"}";
}

inline QString runPeer(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(kPeerTimeoutMs)) {
        process.kill();
        return "peer timed out";
    }
    return QString::fromLatin1(process.readAllStandardOutput() + process.readAllStandardError());
}

// The records of a log table as python3-dbfread reads them (deleted ones
// left out), memos with their line ends as "|".
inline std::vector<LogRow> readLogWithDbfread(const QString& dbfPath)
{
    const char* script = R"(
import sys
from dbfread import DBF
for r in DBF(sys.argv[1], encoding='cp1252', char_decode_errors='replace'):
    m = (r['MESSAGE'] or '').replace('\r\n', '|')
    print('%s\t%s\t%s\t%s' % (r['DATE'], 'T' if r['SUCCESS'] else 'F', r['URL'], m))
)";
    QString out = runPeer(kSystemPython, {"-c", script, dbfPath});
    std::vector<LogRow> rows;
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
        QStringList f = line.split('\t');
        if (f.size() != 4) {
            ADD_FAILURE() << "dbfread: " << line.toStdString();
            continue;
        }
        rows.push_back({f[0].toStdString(), f[1] == "T", f[2].toStdString(), f[3].toStdString()});
    }
    return rows;
}

// The keys of an NDX file in index order, as Perl XBase reads them.
inline QStringList readIndexKeysWithXBase(const QString& ndxPath)
{
    const char* script = R"(
use XBase::Index;
my $i = XBase::ndx->new($ARGV[0]) or die XBase::Index->errstr;
$i->prepare_select;
while (my ($k, $v) = $i->fetch) { $k =~ s/\s+$//; print "$k\n"; }
)";
    QString out = runPeer("perl", {"-e", script, ndxPath});
    return out.split('\n', Qt::SkipEmptyParts);
}
