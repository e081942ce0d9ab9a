// Table engine benchmarks. The table work of a contact look-up answered
// from the cache: a key look-up, an edit of the counter posted and flushed,
// and a statistics row appended and flushed, every write durable before the
// call returns.
#include "tables/Database.h"
#include "tables/Table.h"

#include "BenchSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace morvanta;
using namespace morvanta::bench;

namespace {

std::string Address(int i)
{
    return "10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256);
}

constexpr int kToday = 19800;

void FillTables(const std::string& folder, int cached, int lookups)
{
    std::vector<TableRow> list;
    for (int i = 1; i <= cached; ++i) {
        list.push_back({ i,
                         { Address(i), "abuse@net" + std::to_string(i) + ".example,noc@isp.example",
                           TableDate { kToday - i % 20 }, "", TableDate { kToday - 31 }, i % 9 + 1 } });
    }
    WriteTableFile(folder + "IPList.db", IPListTableDef(), list);
    std::vector<TableRow> stats;
    for (int i = 1; i <= lookups; ++i)
        stats.push_back({ i, { Address(i % cached + 1), TableDateTime { kToday - i / 500, i % 86400 }, i % 5 } });
    WriteTableFile(folder + "IPStats.db", IPStatsTableDef(), stats);
}

void BM_LookupAnsweredFromTheCache(benchmark::State& state)
{
    const int cached = static_cast<int>(state.range(0));
    ScratchFolder folder;
    FillTables(folder.Path(), cached, 100000);
    Database database;
    database.SetFolder(folder.Path());
    database.Connect();
    Table list(database, IPListTableDef());
    Table stats(database, IPStatsTableDef());
    list.Open();
    stats.Open();

    std::vector<double> milliseconds;
    int i = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        std::string ip = Address(i++ * 7919 % cached + 1);
        if (!list.FindKey(ip)) {
            state.SkipWithError("address not cached");
            break;
        }
        std::string emails = list.FieldByName("EMails").AsString();
        bool fresh = list.FieldByName("LastUpdate").AsDate().dayNumber > kToday - 30;
        list.Edit();
        list.FieldByName("Reports").SetAsInteger(list.FieldByName("Reports").AsInteger() + 1);
        list.Post();
        list.FlushBuffers();
        stats.AppendRecord({ ip, TableDateTime { kToday, 43200 + i % 3600 }, 65535 });
        stats.FlushBuffers();
        benchmark::DoNotOptimize(emails);
        benchmark::DoNotOptimize(fresh);
        milliseconds.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["median_ms"] = Percentile(milliseconds, 0.5);
    state.counters["p90_ms"] = Percentile(milliseconds, 0.9);
}
BENCHMARK(BM_LookupAnsweredFromTheCache)->Arg(1000)->Arg(20000)->Iterations(2000)->Unit(benchmark::kMillisecond);

// Table folders made once per run and kept for every call of a benchmark
// that asks for the same sizes.
const std::string& FilledFolder(int cached, int lookups)
{
    static std::map<std::pair<int, int>, std::unique_ptr<ScratchFolder>> folders;
    auto& folder = folders[{ cached, lookups }];
    if (!folder) {
        folder = std::make_unique<ScratchFolder>();
        FillTables(folder->Path(), cached, lookups);
    }
    return folder->Path();
}

// Opening both tables as every start of the program and of each command of
// the tool does, the last program having closed them cleanly: the cost must
// not grow with the statistics table, which gains a row per look-up.
void BM_OpenBothTables(benchmark::State& state)
{
    const std::string& folder = FilledFolder(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    Database database;
    database.SetFolder(folder);
    database.Connect();
    std::vector<double> milliseconds;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        Table list(database, IPListTableDef());
        Table stats(database, IPStatsTableDef());
        list.Open();
        stats.Open();
        milliseconds.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        state.PauseTiming();
        list.Close();
        stats.Close();
        state.ResumeTiming();
    }
    state.counters["median_ms"] = Percentile(milliseconds, 0.5);
    state.counters["p90_ms"] = Percentile(milliseconds, 0.9);
}
BENCHMARK(BM_OpenBothTables)
    ->ArgNames({ "cached", "lookups" })
    ->Args({ 20000, 1000 })
    ->Args({ 20000, 500000 })
    ->Unit(benchmark::kMillisecond);

// The same after the program using them was killed: the first opening
// checks both files whole, as SQLite may have left them damaged.
void BM_OpenBothTablesAfterAKill(benchmark::State& state)
{
    const std::string& folder = FilledFolder(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    Database database;
    database.SetFolder(folder);
    database.Connect();
    for (auto _ : state) {
        state.PauseTiming();
        // What a killed program leaves: no record of a clean close.
        for (const char* name : { "IPList.db.lock", "IPStats.db.lock" })
            std::filesystem::resize_file(folder + name, 0);
        state.ResumeTiming();
        Table list(database, IPListTableDef());
        Table stats(database, IPStatsTableDef());
        list.Open();
        stats.Open();
    }
}
BENCHMARK(BM_OpenBothTablesAfterAKill)
    ->ArgNames({ "cached", "lookups" })
    ->Args({ 20000, 1000 })
    ->Args({ 20000, 500000 })
    ->Unit(benchmark::kMillisecond);

// Removing one address from the cache: a filtered walk with an edit per hit.
void BM_FilteredWalkWithEdits(benchmark::State& state)
{
    ScratchFolder folder;
    FillTables(folder.Path(), static_cast<int>(state.range(0)), 10);
    Database database;
    database.SetFolder(folder.Path());
    database.Connect();
    Table list(database, IPListTableDef());
    list.Open();
    list.SetFilter(R"(Emails LIKE "%abuse@net7%")");
    for (auto _ : state) {
        list.SetFiltered(true);
        for (; !list.Eof(); list.Next()) {
            list.Edit();
            list.FieldByName("EMails").SetAsString(list.FieldByName("EMails").AsString());
            list.Post();
        }
        list.FlushBuffers();
        list.SetFiltered(false);
    }
}
BENCHMARK(BM_FilteredWalkWithEdits)->Arg(20000)->Unit(benchmark::kMillisecond);

} // namespace
