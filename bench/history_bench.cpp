// The History window over the archive of 10,000 runs: its first page of a
// lot, newest first, against the archive's own query for the same rows,
// measured alternately in the same run (target: under 2 ms); and the window
// opened over that archive against over an empty one (target: at most 5 ms
// more).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <filesystem>
#include <string>

#include "app/history_model.h"
#include "app/history_window.h"
#include "archive/sqlite_archive.h"
#include "bench_shared.h"
#include "ui/history_view.h"

namespace {

using Clock = std::chrono::steady_clock;
using vark::archive::OpenOptions;
using vark::archive::SqliteArchive;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void BM_HistoryFirstPageByLot10kAgainstArchive(benchmark::State& state) {
    vark::bench::BenchApp();
    std::string error;
    const std::string path = vark::bench::BigArchivePath(error);
    OpenOptions read;
    read.mode = OpenOptions::Mode::Read;
    auto opened = SqliteArchive::Open(path, read);
    if (!error.empty() || !opened) {
        state.SkipWithError(error.empty() ? opened.error().message.c_str() : error.c_str());
        return;
    }
    SqliteArchive& archive = *opened.value();
    vark::HistoryModel model;
    model.SetReader(&archive);
    double modelMs = 0;
    double archiveMs = 0;
    int lot = 0;
    for (auto _ : state) {
        vark::HistoryFilter filter;
        filter.lot = "LOT-" + std::to_string(lot++ % 100);
        const vark::archive::RunQuery q = vark::HistoryQuery(filter, 0, false);
        // The archive's own query for the same page, as a baseline.
        vark::archive::RunQuery page = q;
        page.limit = vark::HistoryModel::kPageSize;
        auto t0 = Clock::now();
        const auto rows = archive.List(page);
        const double a = Ms(Clock::now() - t0);
        t0 = Clock::now();
        model.SetQuery(q);
        const double m = Ms(Clock::now() - t0);
        if (!rows || model.rowCount() != static_cast<int>(rows->size()) || rows->empty()) {
            state.SkipWithError("the model did not list the lot's runs");
            return;
        }
        state.SetIterationTime(m / 1000);
        modelMs += m;
        archiveMs += a;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["model_ms"] = modelMs / n;  // target under 2
    state.counters["archive_list_ms"] = archiveMs / n;
    state.counters["ratio"] = modelMs / archiveMs;
    state.counters["rows"] = model.rowCount();
}
BENCHMARK(BM_HistoryFirstPageByLot10kAgainstArchive)
    ->UseManualTime()
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond);

// The window's first list: every run, newest first, with the count line.
void BM_HistoryDefaultFirstPage10k(benchmark::State& state) {
    vark::bench::BenchApp();
    std::string error;
    const std::string path = vark::bench::BigArchivePath(error);
    OpenOptions read;
    read.mode = OpenOptions::Mode::Read;
    auto opened = SqliteArchive::Open(path, read);
    if (!error.empty() || !opened) {
        state.SkipWithError(error.empty() ? opened.error().message.c_str() : error.c_str());
        return;
    }
    vark::HistoryModel model;
    model.SetQuery(vark::HistoryQuery({}, 0, false));
    for (auto _ : state) {
        model.SetReader(opened.value().get());
        benchmark::DoNotOptimize(model.rowCount());
    }
    state.counters["rows"] = model.rowCount();
    state.counters["total"] = static_cast<double>(model.Total());
}
BENCHMARK(BM_HistoryDefaultFirstPage10k)->Unit(benchmark::kMillisecond);

void BM_HistoryWindowOpen10kAgainstEmpty(benchmark::State& state) {
    vark::bench::BenchApp();
    std::string error;
    vark::archive::ArchiveConfig big;
    big.file = vark::bench::BigArchivePath(error);
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    // An archive without runs beside it.
    vark::archive::ArchiveConfig empty;
    empty.file = (std::filesystem::path(big.file).parent_path() / "empty.sqlite3").string();
    if (!SqliteArchive::Open(empty.file)) {
        state.SkipWithError("cannot make the empty archive");
        return;
    }
    auto open = [](const vark::archive::ArchiveConfig& config) {
        const auto t0 = Clock::now();
        vark::HistoryWindow window;
        window.SetArchive(config);
        window.show();
        QApplication::processEvents();
        return Ms(Clock::now() - t0);
    };
    double bigMs = 0;
    double emptyMs = 0;
    for (auto _ : state) {
        const double b = open(big);
        const double e = open(empty);
        state.SetIterationTime(b / 1000);
        bigMs += b;
        emptyMs += e;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["big_ms"] = bigMs / n;
    state.counters["empty_ms"] = emptyMs / n;
    state.counters["extra_ms"] = (bigMs - emptyMs) / n;  // target 5 or less
}
BENCHMARK(BM_HistoryWindowOpen10kAgainstEmpty)
    ->UseManualTime()
    ->Iterations(30)
    ->Unit(benchmark::kMillisecond);

}  // namespace
