// Speed of the table engine on the submission log: appends with both log
// indexes open, index builds, pack and a walk in url order. The record count
// comes from DBF_BENCH_RECORDS (default 100000).

#include "dbf/dbf_engine.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

long recordCount()
{
    const char* value = std::getenv("DBF_BENCH_RECORDS");
    return value ? std::atol(value) : 100000;
}

const std::vector<dbf::FieldDef> kLogFields = {
    {"date", 'C', 10, 0}, {"success", 'L', 1, 0}, {"message", 'M', 10, 0}, {"url", 'C', 254, 0}};

// A 200-byte memo of two lines, as a short server answer would be.
const std::vector<std::string> kMemo = {std::string(98, 'x'), std::string(100, 'y')};

class Workspace {
public:
    Workspace()
    {
        char pattern[] = "/tmp/dbfbenchXXXXXX";
        m_dir = ::mkdtemp(pattern);
    }
    ~Workspace() { fs::remove_all(m_dir); }
    std::string path(const std::string& name) const { return m_dir + "/" + name; }

private:
    std::string m_dir;
};

std::string urlFor(long i)
{
    return "http://site" + std::to_string(i * 7919 % 100000) +
           ".example/page?id=" + std::to_string(i);
}

void appendLog(dbf::DbfEngine& engine, long count)
{
    for (long i = 0; i < count; ++i) {
        engine.ClearRecord();
        engine.SetFieldText(1, i % 3 ? "12/08/2026" : "12/07/2026");
        engine.SetFieldLogical(2, i % 5 != 0);
        engine.SetMemoField(3, kMemo);
        engine.SetFieldText(4, urlFor(i));
        engine.Append();
    }
}

// Builds the table once per process; later benchmarks copy it.
const Workspace& filledTable()
{
    static Workspace workspace;
    static bool built = false;
    if (!built) {
        dbf::DbfEngine engine;
        engine.setExceptions(true);
        engine.CreateDBF(workspace.path("logs.dbf"), kLogFields);
        engine.Use(workspace.path("logs.dbf") + " EXCLUSIVE");
        appendLog(engine, recordCount());
        engine.CloseDbf();
        built = true;
    }
    return workspace;
}

void copyTable(const Workspace& from, const Workspace& to)
{
    for (const char* name : {"logs.dbf", "logs.dbt"})
        fs::copy_file(from.path(name), to.path(name), fs::copy_options::overwrite_existing);
}

// Opens a copy of the filled table in `ws`, ordered by a new index.
void openIndexedCopy(const Workspace& ws, dbf::DbfEngine& engine, const char* expression,
                     const char* file)
{
    copyTable(filledTable(), ws);
    engine.setExceptions(true);
    engine.Use(ws.path("logs.dbf") + " EXCLUSIVE");
    engine.IndexOn(expression, ws.path(file));
}

void BM_AppendWithBothIndexes(benchmark::State& state, bool batched)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto ws = std::make_unique<Workspace>();
        auto engine = std::make_unique<dbf::DbfEngine>();
        engine->setExceptions(true);
        engine->setBatchAppends(batched);
        engine->CreateDBF(ws->path("logs.dbf"), kLogFields);
        engine->Use(ws->path("logs.dbf") + " EXCLUSIVE");
        engine->MakeIndex("left(url,50)", ws->path("url.ndx"));
        engine->MakeIndex("date", ws->path("date.ndx"));
        engine->SetIndexTo(ws->path("url.ndx") + " " + ws->path("date.ndx"));
        state.ResumeTiming();
        appendLog(*engine, recordCount());
        engine->CloseDbf();
        // Deleting the files is not part of the work.
        state.PauseTiming();
        engine.reset();
        ws.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * recordCount());
}

void BM_MakeIndex(benchmark::State& state, const char* expression)
{
    const Workspace& source = filledTable();
    dbf::DbfEngine engine;
    engine.setExceptions(true);
    engine.Use(source.path("logs.dbf") + " EXCLUSIVE");
    Workspace ws;
    for (auto _ : state)
        engine.MakeIndex(expression, ws.path("bench.ndx"));
    engine.CloseDbf();
    state.SetItemsProcessed(state.iterations() * recordCount());
}

void BM_PackEveryTenthDeleted(benchmark::State& state)
{
    const Workspace& source = filledTable();
    for (auto _ : state) {
        state.PauseTiming();
        auto ws = std::make_unique<Workspace>();
        copyTable(source, *ws);
        auto engine = std::make_unique<dbf::DbfEngine>();
        engine->setExceptions(true);
        engine->Use(ws->path("logs.dbf") + " EXCLUSIVE");
        for (long r = 10; r <= engine->RecCount(); r += 10) {
            engine->Go(r);
            engine->DeleteRec();
        }
        state.ResumeTiming();
        engine->Pack();
        engine->CloseDbf();
        state.PauseTiming();
        engine.reset();
        ws.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * recordCount());
}

void BM_SkipInUrlOrder(benchmark::State& state)
{
    Workspace ws;
    dbf::DbfEngine engine;
    openIndexedCopy(ws, engine, "left(url,50)", "url.ndx");
    long visited = 0;
    for (auto _ : state) {
        for (engine.GoTop(); !engine.Eof(); engine.Skip(1))
            ++visited;
    }
    engine.CloseDbf();
    state.SetItemsProcessed(visited);
}

// Go to a record and step from there in date order. The log's dates are
// shared by tens of thousands of records, so positioning the index cursor on
// (key, record number) must not walk the equal keys. With `appended` records
// added after the build, the newest ones sit in front of their equals.
void BM_GoInDateOrder(benchmark::State& state, long appended)
{
    Workspace ws;
    dbf::DbfEngine engine;
    openIndexedCopy(ws, engine, "date", "date.ndx");
    appendLog(engine, appended);
    const long count = engine.RecCount();
    long moves = 0;
    unsigned step = 1;
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) {
            step = step * 1103515245u + 12345u;
            engine.Go(long(step % unsigned(count)) + 1);
            engine.Skip(1);
            ++moves;
        }
    }
    engine.CloseDbf();
    state.SetItemsProcessed(moves);
}

// Reads every record with its memo in record order, the work python3-dbf
// does when it iterates a table.
void BM_ReadAllWithMemos(benchmark::State& state)
{
    const Workspace& source = filledTable();
    dbf::DbfEngine engine;
    engine.setExceptions(true);
    engine.Use(source.path("logs.dbf") + " EXCLUSIVE");
    size_t bytes = 0;
    for (auto _ : state) {
        for (engine.GoTop(); !engine.Eof(); engine.Skip(1)) {
            bytes += engine.FieldText(4).size();
            for (const auto& line : engine.GetMemoField(3))
                bytes += line.size();
        }
    }
    benchmark::DoNotOptimize(bytes);
    engine.CloseDbf();
    state.SetItemsProcessed(state.iterations() * recordCount());
}

BENCHMARK_CAPTURE(BM_AppendWithBothIndexes, written_through, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_AppendWithBothIndexes, batched, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_MakeIndex, url, "left(url,50)")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_MakeIndex, date, "date")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PackEveryTenthDeleted)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SkipInUrlOrder)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_GoInDateOrder, built, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_GoInDateOrder, after_appends, 1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAllWithMemos)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
