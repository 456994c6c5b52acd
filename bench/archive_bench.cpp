// The archive's costs: committing an upload against a plain write and fsync
// of the same bytes (measured side by side, target within 3x), and an archive
// of 10,000 runs of 100 records, 5 % of them failing: the first page of a lot
// newest first in-process (target under 2 ms), `vark-cli archive list --lot L`
// as a whole process (under 30 ms), the file's size per run (aim: 40 KB or
// less), yield by lot and the failure Pareto (each under 100 ms in-process,
// under 200 ms as a whole `vark-cli` process).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/sqlite_archive.h"
#include "bench_blocks.h"
#include "bench_shared.h"
#include "records/record_file.h"
#include "records/sample_records.h"
#include "testing/process.h"

namespace {

namespace fs = std::filesystem;
using vark::archive::NewRun;
using vark::archive::OpenOptions;
using vark::archive::SqliteArchive;

// A private folder in the working folder (build/, on disk): a temporary
// folder is often in memory, where flushing costs nothing.
class BenchDir {
  public:
    BenchDir() {
        std::string pattern = (fs::current_path() / "vark-bench-archive-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~BenchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// What goes wrong on a line: open pins, shorts, crossed pairs, open grounds,
// a record in error and a cable of another size.
std::vector<vark::TestRecord> Faults() {
    std::vector<vark::TestRecord> out;
    auto harness = [](int open, int crossA, int crossB, int extraA, int extraB, bool grounds) {
        vark::RecordBuilder b(10);
        for (int i = 1; i <= 10; ++i) {
            if (i == crossA || i == crossB) {
                b.Connect(i, i == crossA ? crossB : crossA);
            } else if (i != open) {
                b.Connect(i, i);
            }
        }
        if (extraA != 0) {
            b.Connect(extraA, extraB);
        }
        if (grounds) {
            b.Grounds();
        }
        return b.Build();
    };
    for (int pin = 1; pin <= 10; ++pin) {
        out.push_back(harness(pin, 0, 0, 0, 0, true));
    }
    for (int pin = 1; pin < 10; ++pin) {
        out.push_back(harness(0, 0, 0, pin, pin + 1, true));
    }
    for (int pin : {1, 4, 7}) {
        out.push_back(harness(0, pin, pin + 1, 0, 0, true));
    }
    out.push_back(harness(0, 0, 0, 0, 0, false));
    vark::TestRecord error = harness(0, 0, 0, 0, 0, true);
    error.bytes[0] = vark::kPinCountError;
    out.push_back(error);
    out.push_back(vark::RecordBuilder(12).Straight().Grounds().Build());
    return out;
}

// A production upload: 100 records of a 10-pin harness, 5 of them faulty
// (5 % failing); `n` picks the faults and their places and makes each run's
// bytes its own.
vark::RecordBlock HarnessBlock(int n) {
    static const std::vector<vark::TestRecord> faults = Faults();
    const vark::TestRecord good = vark::RecordBuilder(10).Straight().Grounds().Build();
    vark::RecordBlock b{};
    b.count = 100;
    for (int i = 0; i < 100; ++i) {
        b.slots[i] = good;
    }
    for (int k = 0; k < 5; ++k) {
        b.slots[(n * 7 + k * 19) % 100] = faults[(n * 3 + k * 5) % faults.size()];
    }
    b.slots[0].bytes[vark::kReservedOffset] = static_cast<std::uint8_t>(n);
    b.slots[1].bytes[vark::kReservedOffset] = static_cast<std::uint8_t>(n >> 8);
    b.slots[2].bytes[vark::kReservedOffset] = static_cast<std::uint8_t>(n >> 16);
    return b;
}

NewRun MakeRun(int n, vark::archive::TimeMs started) {
    NewRun run;
    run.started = started;
    run.ended = started + 6500;
    run.station = "station-" + std::to_string(n % 4 + 1);
    run.operatorName = "operator-" + std::to_string(n % 8 + 1);
    run.source = vark::archive::Source::Upload;
    run.port = "/dev/ttyUSB0";
    run.testerSerial = "VARK" + std::to_string(1000 + n % 4);
    run.lot = "LOT-" + std::to_string(n / 100);  // 100 lots of 100 runs
    run.part = "PART-" + std::to_string(n / 1000);
    run.program = "vark-bench";
    run.block = HarnessBlock(n);
    run.reference = vark::RecordBuilder(10).Straight().Grounds().Build();
    run.referenceLabel = "test 001";
    return run;
}

void BM_ArchiveCommit100AgainstWriteFsync(benchmark::State& state) {
    BenchDir dir;
    auto opened = SqliteArchive::Open((dir.path() / "archive.sqlite3").string());
    if (!opened) {
        state.SkipWithError(opened.error().message.c_str());
        return;
    }
    auto& archive = *opened.value();
    // The same commits without flushing: what the archive's own work costs.
    OpenOptions unflushed;
    unflushed.durable = false;
    auto quick = SqliteArchive::Open((dir.path() / "unflushed.sqlite3").string(), unflushed);
    const std::string plain = (dir.path() / "plain.vku").string();
    double commitSeconds = 0;
    double writeSeconds = 0;
    double unflushedSeconds = 0;
    int n = 0;
    for (auto _ : state) {
        const NewRun run = MakeRun(n++, vark::archive::NowMs());
        const std::string bytes = vark::archive::RecordFileBytes(run.block);
        // The baseline: the same bytes written to a new file and flushed.
        auto t0 = std::chrono::steady_clock::now();
        const int fd = ::open(plain.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const bool written =
            fd >= 0 &&
            ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
            ::fsync(fd) == 0;
        if (fd >= 0) {
            ::close(fd);
        }
        const std::chrono::duration<double> write = std::chrono::steady_clock::now() - t0;
        t0 = std::chrono::steady_clock::now();
        const auto done = archive.Commit(run);
        const std::chrono::duration<double> commit = std::chrono::steady_clock::now() - t0;
        t0 = std::chrono::steady_clock::now();
        const auto quickDone = quick.value()->Commit(run);
        unflushedSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (!written || !done || !quickDone) {
            state.SkipWithError(done ? "plain write failed" : done.error().message.c_str());
            return;
        }
        state.SetIterationTime(commit.count());
        commitSeconds += commit.count();
        writeSeconds += write.count();
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["commit_ms"] = commitSeconds / iterations * 1000;
    state.counters["write_fsync_ms"] = writeSeconds / iterations * 1000;
    state.counters["ratio"] = commitSeconds / writeSeconds;  // target 3 or less
    state.counters["unflushed_ms"] = unflushedSeconds / iterations * 1000;
}
BENCHMARK(BM_ArchiveCommit100AgainstWriteFsync)
    ->UseManualTime()
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond);

// The archive of 10,000 runs, made once for the benchmarks below.
struct BigArchive {
    BenchDir dir;
    std::string path;
    double bytesPerRun = 0;
    std::string error;

    BigArchive() {
        path = (dir.path() / "archive.sqlite3").string();
        OpenOptions quick;
        quick.durable = false;  // made for measuring, not for keeping
        auto opened = SqliteArchive::Open(path, quick);
        if (!opened) {
            error = opened.error().message;
            return;
        }
        // A year of uploads, about one an hour.
        const vark::archive::TimeMs start = 1700000000000;
        for (int n = 0; n < 10000; ++n) {
            const auto done = opened.value()->Commit(MakeRun(n, start + n * 3'153'600LL));
            if (!done) {
                error = done.error().message;
                return;
            }
        }
        opened.value().reset();  // the last connection folds the WAL into the file
        bytesPerRun = static_cast<double>(fs::file_size(path)) / 10000;
    }
};

BigArchive& Big() {
    static BigArchive big;
    return big;
}

}  // namespace

namespace vark::bench {

std::string BigArchivePath(std::string* error) {
    BigArchive& big = Big();
    if (error) {
        *error = big.error;
    }
    return big.error.empty() ? big.path : std::string();
}

}  // namespace vark::bench

namespace {

void BM_ArchiveFirstPageByLot10k(benchmark::State& state) {
    BigArchive& big = Big();
    if (!big.error.empty()) {
        state.SkipWithError(big.error.c_str());
        return;
    }
    OpenOptions read;
    read.mode = OpenOptions::Mode::Read;
    auto opened = SqliteArchive::Open(big.path, read);
    vark::archive::RunQuery q;
    q.limit = 50;
    int lot = 0;
    std::size_t rows = 0;
    for (auto _ : state) {
        q.lot = "LOT-" + std::to_string(lot++ % 100);
        const auto page = opened.value()->List(q);
        rows = page ? page->size() : 0;
        benchmark::DoNotOptimize(page);
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["bytes_per_run"] = big.bytesPerRun;  // aim 40,000 or less
}
BENCHMARK(BM_ArchiveFirstPageByLot10k)->Unit(benchmark::kMillisecond);

// What a status line showing the archive's size costs: every run counted,
// voided ones and repeats told apart.
void BM_ArchiveCounts10k(benchmark::State& state) {
    BigArchive& big = Big();
    if (!big.error.empty()) {
        state.SkipWithError(big.error.c_str());
        return;
    }
    OpenOptions read;
    read.mode = OpenOptions::Mode::Read;
    auto opened = SqliteArchive::Open(big.path, read);
    for (auto _ : state) {
        benchmark::DoNotOptimize(opened.value()->Counts());
    }
}
BENCHMARK(BM_ArchiveCounts10k)->Unit(benchmark::kMillisecond);

// Statistics over the whole archive of 10,000 runs (1,000,000 records, 5 %
// failing), as `archive yield --by lot` and `archive failures` make them:
// each under 100 ms in-process.
std::unique_ptr<SqliteArchive> ReadBig(benchmark::State& state) {
    BigArchive& big = Big();
    if (!big.error.empty()) {
        state.SkipWithError(big.error.c_str());
        return nullptr;
    }
    OpenOptions read;
    read.mode = OpenOptions::Mode::Read;
    auto opened = SqliteArchive::Open(big.path, read);
    if (!opened) {
        state.SkipWithError(opened.error().message.c_str());
        return nullptr;
    }
    return std::move(opened.value());
}

void BM_ArchiveYieldByLot10k(benchmark::State& state) {
    auto archive = ReadBig(state);
    if (!archive) {
        return;
    }
    std::size_t lots = 0;
    for (auto _ : state) {
        const auto runs = archive->CountedRuns({});
        if (!runs) {
            state.SkipWithError(runs.error().message.c_str());
            return;
        }
        const auto table = vark::archive::Yields(*runs, vark::archive::YieldGrouping::Lot);
        lots = table.rows.size();
        benchmark::DoNotOptimize(table);
    }
    state.counters["lots"] = static_cast<double>(lots);
}
BENCHMARK(BM_ArchiveYieldByLot10k)->Unit(benchmark::kMillisecond);

void BM_ArchiveFailurePareto10k(benchmark::State& state) {
    auto archive = ReadBig(state);
    if (!archive) {
        return;
    }
    std::int64_t failed = 0;
    std::size_t causes = 0;
    for (auto _ : state) {
        const auto records = archive->FailedRecords({});
        if (!records) {
            state.SkipWithError(records.error().message.c_str());
            return;
        }
        const auto pareto = vark::archive::FailurePareto(*records);
        failed = pareto.failedRecords;
        causes = pareto.rows.size();
        benchmark::DoNotOptimize(pareto);
    }
    state.counters["failed_records"] = static_cast<double>(failed);
    state.counters["causes"] = static_cast<double>(causes);
}
BENCHMARK(BM_ArchiveFailurePareto10k)->Unit(benchmark::kMillisecond);

// `vark-cli ARGS` over the big archive as a whole process, each run beside
// one of `vark-cli --version` (what starting a process costs here).
void TimeCliOverBig(benchmark::State& state, const std::string& args) {
    BigArchive& big = Big();
    if (!big.error.empty()) {
        state.SkipWithError(big.error.c_str());
        return;
    }
    const std::string command =
        std::string(VARK_CLI_PATH) + " " + args + " --archive " + big.path + " >/dev/null";
    const std::string bare = std::string(VARK_CLI_PATH) + " --version >/dev/null";
    double bareSeconds = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        const int rc = std::system(command.c_str());
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
        t0 = std::chrono::steady_clock::now();
        std::system(bare.c_str());
        const std::chrono::duration<double> bareTook = std::chrono::steady_clock::now() - t0;
        if (rc != 0) {
            state.SkipWithError(("vark-cli " + args + " failed").c_str());
            return;
        }
        state.SetIterationTime(took.count());
        bareSeconds += bareTook.count();
    }
    state.counters["version_ms"] = bareSeconds / static_cast<double>(state.iterations()) * 1000;
}

void BM_CliArchiveListByLot10kWholeProcess(benchmark::State& state) {
    TimeCliOverBig(state, "archive list --lot LOT-42");
}
BENCHMARK(BM_CliArchiveListByLot10kWholeProcess)
    ->UseManualTime()
    ->Iterations(30)
    ->Unit(benchmark::kMillisecond);

// Targets: each under 200 ms as a whole process.
void BM_CliArchiveYieldByLot10kWholeProcess(benchmark::State& state) {
    TimeCliOverBig(state, "archive yield --by lot");
}
BENCHMARK(BM_CliArchiveYieldByLot10kWholeProcess)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

void BM_CliArchiveFailures10kWholeProcess(benchmark::State& state) {
    TimeCliOverBig(state, "archive failures");
}
BENCHMARK(BM_CliArchiveFailures10kWholeProcess)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

}  // namespace

std::string vark::bench::BigArchivePath(std::string& error) {
    BigArchive& big = Big();
    error = big.error;
    return big.error.empty() ? big.path : std::string();
}
