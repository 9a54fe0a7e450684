// Opening and closing the submission window's log on a large table: the
// open rebuilds both indexes unless they are known to be current, the close
// packs the table. Builds a log of N records with 1 KB answers in a
// temporary folder first, marks every hundredth record deleted so the pack
// has work, then prints the seconds of each step.
//
//   bench_app_log [RECORDS]          (default 100000)
//
// Two helper modes serve bench/app/run_vs_log_size.sh:
//
//   bench_app_log make FOLDER N      writes a log of N records (none deleted)
//                                    into FOLDER and closes it as a run does
//   bench_app_log reopen FOLDER      opens the log in FOLDER and closes it as
//                                    a run does (after the files were copied)

#include "app/submission_log.h"

#include "dbf/dataset/tz_dbf.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <string>
#include <vector>

namespace {

constexpr int kAnswerLines = 16;
constexpr int kAnswerLineLength = 62; // 16 lines of 62 + CR LF: 1 KB
constexpr int kDeleteEvery = 100;

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One record as a run logs it.
void appendRecord(TTzDbf& log, long i, const std::vector<std::string>& answer)
{
    log.ClearRecord();
    log.SetCField("date", app::logDateText(log.engine()));
    log.SetLField("success", i % 7 != 0);
    log.SetCField("url", "http://engine" + std::to_string(i % 10) +
                             ".example.org/add?url=http://site.example.org/page" +
                             std::to_string(i) + ".html");
    log.SetMField("message", answer);
    log.Append();
}

void quietTable()
{
    qputenv("QUORVANE_DATE_FORMAT", "dd.MM.yyyy");
    TTzODbf::setMessageMode(1);
    TTzODbf::setHaltReporter(&dbf::DbfEngine::defaultHaltReporter);
}

int makeLog(const QString& folder, long records)
{
    QDir::setCurrent(folder);
    TTzDbf log;
    app::declareLog(log, folder + "/" + app::kLogFileName);
    app::openLog(log);
    const std::vector<std::string> answer(kAnswerLines, std::string(kAnswerLineLength, 'a'));
    for (long i = 0; i < records; ++i)
        appendRecord(log, i, answer);
    app::packAndCloseLog(log);
    return 0;
}

int reopenLog(const QString& folder)
{
    QDir::setCurrent(folder);
    TTzDbf log;
    app::declareLog(log, folder + "/" + app::kLogFileName);
    app::openLog(log);
    app::packAndCloseLog(log);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    quietTable();
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "make" && argc == 4)
        return makeLog(QString::fromLocal8Bit(argv[2]), std::atol(argv[3]));
    if (mode == "reopen" && argc == 3)
        return reopenLog(QString::fromLocal8Bit(argv[2]));
    const long records = argc > 1 ? std::atol(argv[1]) : 100000;
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());

    TTzDbf log;
    app::declareLog(log, folder.path() + "/logs.dbf");
    app::openLog(log);
    const std::vector<std::string> answer(kAnswerLines, std::string(kAnswerLineLength, 'a'));
    auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < records; ++i) {
        appendRecord(log, i, answer);
        if (i % kDeleteEvery == 0)
            log._Delete();
    }
    log.setActive(false);
    std::printf("built %ld records in %.2f s\n", records, secondsSince(start));

    start = std::chrono::steady_clock::now();
    app::openLog(log);
    std::printf("open: %.2f s\n", secondsSince(start));
    start = std::chrono::steady_clock::now();
    app::packAndCloseLog(log);
    std::printf("close (pack): %.2f s\n", secondsSince(start));
    return 0;
}
