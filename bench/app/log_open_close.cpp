// Opening and closing the submission window's log on a large table: the
// open rebuilds both indexes (as the window does every time), the close
// packs the table. Builds a log of N records with 1 KB answers in a
// temporary folder first, marks every hundredth record deleted so the pack
// has work, then prints the seconds of each step.
//
//   bench_app_log [RECORDS]   (default 100000)

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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const long records = argc > 1 ? std::atol(argv[1]) : 100000;
    qputenv("QUORVANE_DATE_FORMAT", "dd.MM.yyyy");
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    TTzODbf::setMessageMode(1);
    TTzODbf::setHaltReporter(&dbf::DbfEngine::defaultHaltReporter);

    TTzDbf log;
    app::declareLog(log, folder.path() + "/logs.dbf");
    app::openLog(log);
    std::vector<std::string> answer(kAnswerLines, std::string(kAnswerLineLength, 'a'));
    auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < records; ++i) {
        log.ClearRecord();
        log.SetCField("date", app::logDateText(log.engine()));
        log.SetLField("success", i % 7 != 0);
        log.SetCField("url", "http://engine" + std::to_string(i % 10) +
                                 ".example.org/add?url=http://site.example.org/page" +
                                 std::to_string(i) + ".html");
        log.SetMField("message", answer);
        log.Append();
        if (i % kDeleteEvery == 0)
            log._Delete();
    }
    log.setActive(false);
    std::printf("built %ld records in %.2f s\n", records, secondsSince(start));

    start = std::chrono::steady_clock::now();
    app::openLog(log);
    std::printf("open (both indexes rebuilt): %.2f s\n", secondsSince(start));
    start = std::chrono::steady_clock::now();
    app::packAndCloseLog(log);
    std::printf("close (pack): %.2f s\n", secondsSince(start));
    return 0;
}
