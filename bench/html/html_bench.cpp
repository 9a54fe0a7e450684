// html_bench: parse, layout and paint of a generated 1 MB page, and the
// same parse by libgumbo for comparison.
//   build-html/bench/html/html_bench --benchmark_min_time=1
#include "page_generator.h"

#include "html/document/section_list.h"
#include "html/parser/html_parser.h"
#include "html/render/document_renderer.h"

#include <benchmark/benchmark.h>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#ifdef QUORVANE_HAVE_GUMBO
#include <gumbo.h>
#endif

namespace {

constexpr std::size_t kPageBytes = 1024 * 1024;
constexpr int kViewerWidth = 800;
constexpr int kLayoutWidth = kViewerWidth - 2 * html::kMarginWidth;
constexpr int kScreenHeight = 600;

const std::string& page()
{
    static const std::string text = generatePage(kPageBytes);
    return text;
}

std::unique_ptr<TSectionList> parsed()
{
    auto doc = std::make_unique<TSectionList>();
    html::applyViewerDefaults(*doc);
    THtmlParser parser(*doc);
    parser.ParseHTML(page());
    return doc;
}

void BM_Parse(benchmark::State& state)
{
    for (auto _ : state) {
        TSectionList doc;
        html::applyViewerDefaults(doc);
        THtmlParser parser(doc);
        parser.ParseHTML(page());
        benchmark::DoNotOptimize(doc.Blocks().size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page().size());
}
BENCHMARK(BM_Parse)->Unit(benchmark::kMillisecond);

#ifdef QUORVANE_HAVE_GUMBO
void BM_GumboParse(benchmark::State& state)
{
    for (auto _ : state) {
        GumboOutput* output =
            gumbo_parse_with_options(&kGumboDefaultOptions, page().data(), page().size());
        benchmark::DoNotOptimize(output->root);
        gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page().size());
}
BENCHMARK(BM_GumboParse)->Unit(benchmark::kMillisecond);
#endif

void BM_Layout(benchmark::State& state)
{
    auto doc = parsed();
    for (auto _ : state)
        benchmark::DoNotOptimize(doc->DoLogic(kLayoutWidth));
    state.counters["height"] = doc->DocHeight();
}
BENCHMARK(BM_Layout)->Unit(benchmark::kMillisecond);

void BM_PaintFirstScreen(benchmark::State& state)
{
    auto doc = parsed();
    doc->DoLogic(kLayoutWidth);
    QImage screen(kViewerWidth, kScreenHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&screen);
        doc->Draw(painter, QRect(0, 0, kViewerWidth, kScreenHeight), 0, 0);
    }
}
BENCHMARK(BM_PaintFirstScreen)->Unit(benchmark::kMillisecond);

void BM_PaintWholePage(benchmark::State& state)
{
    // Screen by screen into one off-screen image, as scrolling would.
    auto doc = parsed();
    doc->DoLogic(kLayoutWidth);
    QImage screen(kViewerWidth, kScreenHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&screen);
        for (int top = 0; top < doc->DocHeight(); top += kScreenHeight)
            doc->Draw(painter, QRect(0, top, kViewerWidth, kScreenHeight), 0, -top);
    }
    state.counters["screens"] = (doc->DocHeight() + kScreenHeight - 1) / kScreenHeight;
}
BENCHMARK(BM_PaintWholePage)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
