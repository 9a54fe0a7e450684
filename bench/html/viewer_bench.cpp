// viewer_bench: THTMLViewer on a large submission page (hundreds of form
// fields as real widgets, long help text): LoadStrings, then scrolling from
// top to bottom with the paint of every step, off screen.
//   build-viewer/bench/html/viewer_bench --benchmark_min_time=2
#include "html/viewer/html_viewer.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QEvent>
#include <QScrollBar>
#include <string>
#include <vector>

namespace {

constexpr int kViewerWidth = 800;
constexpr int kViewerHeight = 600;
// Form rows of the page; every row holds one field, cycling through the
// kinds, so the page has this many window controls and a few more buttons.
constexpr int kFormRows = 500;
// Paragraphs of help text between the rows, one after every few rows.
constexpr int kRowsPerParagraph = 2;
constexpr int kParagraphWords = 90;

std::string helpParagraph(int n)
{
    static const char* const kWords[] = {"submit", "your",  "site",     "to",     "the",
                                         "index",  "pages", "reviewed", "within", "days",
                                         "please", "read",  "listing",  "rules",  "first"};
    std::string text = "<p>";
    for (int w = 0; w < kParagraphWords; ++w) {
        text += kWords[(n * 7 + w * 3) % std::size(kWords)];
        text += (w % 13 == 12) ? ". " : " ";
    }
    if (n % 3 == 0)
        text += "See <a href=\"help" + std::to_string(n) + ".htm\">the help page</a>.";
    return text;
}

std::string formRow(int i)
{
    const std::string name = "f" + std::to_string(i);
    std::string field;
    switch (i % 6) {
    case 0:
        field = "<input name=" + name + " size=40 value=\"##url\">";
        break;
    case 1:
        field = "<input type=checkbox name=" + name +
                " checked> yes <input type=checkbox name=" + name + "b> no";
        break;
    case 2:
        field = "<input type=radio name=" + name +
                " value=a checked> A <input type=radio name=" + name + " value=b> B";
        break;
    case 3:
        field = "<select name=" + name + ">";
        for (int o = 0; o < 20; ++o)
            field += "<option value=" + std::to_string(o) + ">Category " + std::to_string(o);
        field += "</select>";
        break;
    case 4:
        field = "<select name=" + name + " multiple size=4>";
        for (int o = 0; o < 12; ++o)
            field += "<option>Region " + std::to_string(o);
        field += "</select>";
        break;
    default:
        field = "<textarea name=" + name +
                " rows=3 cols=40>Describe the site\nin two lines"
                "</textarea>";
        break;
    }
    return "<tr><td>Field " + std::to_string(i) + "</td><td>" + field + "</td></tr>";
}

// The page as the lines LoadStrings takes.
const std::vector<std::string>& submissionPage()
{
    static const std::vector<std::string> lines = [] {
        std::vector<std::string> page = {"<html><head><title>Add URL</title></head><body>",
                                         "<h1>Add your site</h1>"};
        page.push_back("<form action=\"/cgi-bin/add.pl\" method=post>");
        page.push_back("<input type=hidden name=source value=bench>");
        for (int i = 0; i < kFormRows; i += kRowsPerParagraph) {
            page.push_back(helpParagraph(i));
            std::string table = "<table border=1 cellpadding=3>";
            for (int r = i; r < i + kRowsPerParagraph && r < kFormRows; ++r)
                table += formRow(r);
            page.push_back(table + "</table>");
        }
        page.push_back("<p><input type=submit name=go value=\"Add URL\"> <input type=reset>");
        page.push_back("</form></body></html>");
        return page;
    }();
    return lines;
}

std::size_t pageBytes()
{
    std::size_t n = 0;
    for (const std::string& line : submissionPage())
        n += line.size() + 2;
    return n;
}

// Counts the paints of the drawing panel.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// The widgets need an application; made on first use, off screen unless the
// caller chose a platform, and left to the end of the process (a static one
// would die after the Qt internals it needs).
void ensureApplication()
{
    static int argc = 1;
    static char name[] = "viewer_bench";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(argc, argv);
}

std::unique_ptr<THTMLViewer> makeViewer()
{
    ensureApplication();
    auto viewer = std::make_unique<THTMLViewer>();
    viewer->resize(kViewerWidth, kViewerHeight);
    viewer->setDefBackground(Qt::white);
    viewer->setViewImages(false);
    viewer->sethtOptions(htOverLinksActive);
    viewer->show();
    QCoreApplication::processEvents();
    return viewer;
}

// Lets the event loop do what follows a load or a scroll: paint, and free
// the widgets of the page that went.
void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

void BM_LoadStrings(benchmark::State& state)
{
    auto viewer = makeViewer();
    for (auto _ : state) {
        viewer->LoadStrings(submissionPage());
        settle();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * pageBytes()));
    state.counters["controls"] = static_cast<double>(viewer->FormControlList().size());
    state.counters["height_px"] = viewer->VScrollBar()->maximum() + kViewerHeight;
}
BENCHMARK(BM_LoadStrings)->Unit(benchmark::kMillisecond);

// One pass from the top to the bottom in steps of the given size, each
// step painted before the next, as a user holding a key sees it.
void scrollThrough(benchmark::State& state, int step)
{
    auto viewer = makeViewer();
    viewer->LoadStrings(submissionPage());
    settle();
    PaintCounter counter;
    viewer->PaintPanel()->installEventFilter(&counter);
    const int bottom = viewer->VScrollBar()->maximum();
    int steps = 0;
    for (auto _ : state) {
        state.PauseTiming();
        viewer->ScrollTo(0);
        settle();
        state.ResumeTiming();
        for (int top = step; top < bottom + step; top += step) {
            viewer->ScrollTo(top);
            settle();
            ++steps;
        }
    }
    state.counters["steps"] = benchmark::Counter(steps, benchmark::Counter::kIsRate);
    state.counters["paints_per_step"] = static_cast<double>(counter.paints) / std::max(1, steps);
}

void BM_ScrollLineSteps(benchmark::State& state)
{
    scrollThrough(state, THTMLViewer::kVerticalStep);
}
BENCHMARK(BM_ScrollLineSteps)->Unit(benchmark::kMillisecond);

void BM_ScrollPageSteps(benchmark::State& state)
{
    scrollThrough(state, kViewerHeight - THTMLViewer::kVerticalStep);
}
BENCHMARK(BM_ScrollPageSteps)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
