// The factory server: forwarding a year of one station's uploads (10,000 runs
// of 100 records) to a private PostgreSQL server that flushes its commits,
// reading one lot of them back as a whole vark-cli process, and the yield by
// lot and the failure Pareto of all of them, in the program and as a whole
// vark-cli process. Each figure
// comes with its baseline from the same run: reading the same runs out of
// the station's own archive, and the same list from that archive.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "archive/server/forwarder.h"
#include "archive/server/server_archive.h"
#include "archive/sqlite_archive.h"
#include "archive/statistics.h"
#include "records/sample_records.h"
#include "testing/pg_server.h"

namespace {

namespace fs = std::filesystem;
using vark::archive::NewRun;
using vark::archive::OpenOptions;
using vark::archive::SqliteArchive;

NewRun FactoryRun(int n) {
    const vark::TestRecord good = vark::RecordBuilder(10).Straight().Grounds().Build();
    NewRun run;
    run.started = 1700000000000 + n * 3'153'600LL;
    run.ended = run.started + 6500;
    run.station = "station-1";
    run.operatorName = "operator-" + std::to_string(n % 8 + 1);
    run.port = "/dev/ttyUSB0";
    run.testerSerial = "VARK1000";
    run.lot = "LOT-" + std::to_string(n / 100);  // 100 lots of 100 runs
    run.part = "PART-" + std::to_string(n / 1000);
    run.program = "vark-bench";
    run.block.count = 100;
    for (int i = 0; i < 100; ++i) {
        run.block.slots[i] = good;
    }
    vark::RecordBuilder open(10);  // pin 10 open
    for (int pin = 1; pin < 10; ++pin) {
        open.Connect(pin, pin);
    }
    run.block.slots[n % 100] = open.Grounds().Build();
    run.block.slots[0].bytes[vark::kReservedOffset] = static_cast<std::uint8_t>(n);
    run.block.slots[1].bytes[vark::kReservedOffset] = static_cast<std::uint8_t>(n >> 8);
    run.reference = good;
    run.referenceLabel = "test 001";
    return run;
}

struct Factory {
    std::unique_ptr<vark::test::PgServer> server;
    std::string station;  // the station's archive
    std::string url;
    std::string error;
    double readOutboxSeconds = 0;
    bool forwarded = false;

    Factory() {
        vark::test::PgServer::Options o;
        o.durable = true;
        server = vark::test::PgServer::Start(error, o);
        if (!server) {
            return;
        }
        if (!server->CreateDatabase("factory")) {
            error = "no database";
            return;
        }
        url = server->Url("factory");
        if (auto init = vark::archive::InitServer(url, "vark-bench"); !init) {
            error = init.error().message;
            return;
        }
        station = server->Folder() + "/station.sqlite3";
        OpenOptions quick;
        quick.durable = false;
        auto opened = SqliteArchive::Open(station, quick);
        if (!opened) {
            error = opened.error().message;
            return;
        }
        for (int n = 0; n < 10000; ++n) {
            if (auto done = opened.value()->Commit(FactoryRun(n)); !done) {
                error = done.error().message;
                return;
            }
        }
        // The baseline: what the forwarder reads of the outbox, alone.
        const auto t0 = std::chrono::steady_clock::now();
        std::int64_t after = 0;
        std::size_t entries = 0;
        for (;;) {
            auto pending = opened.value()->PendingOutbox(250, after);
            if (!pending || pending->empty()) {
                break;
            }
            entries += pending->size();
            after = pending->back().id;
        }
        readOutboxSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (entries != 10000) {
            error = "the outbox holds " + std::to_string(entries) + " entries";
        }
    }
};

Factory& TheFactory() {
    static Factory factory;
    return factory;
}

// Target: under 20 s.
void BM_ServerForward10kRunsOf100Records(benchmark::State& state) {
    Factory& f = TheFactory();
    if (!f.error.empty()) {
        state.SkipWithError(f.error.c_str());
        return;
    }
    for (auto _ : state) {
        vark::archive::ForwarderOptions o;
        o.archive = f.station;
        o.server = f.url;
        vark::archive::Forwarder forwarder(o);
        const auto t0 = std::chrono::steady_clock::now();
        const auto out = forwarder.ForwardNow();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        if (!out.ok() || out.sent != 10000) {
            state.SkipWithError(("forwarding failed: " + out.error).c_str());
            return;
        }
        f.forwarded = true;
    }
    state.counters["read_outbox_ms"] = f.readOutboxSeconds * 1000;
}
BENCHMARK(BM_ServerForward10kRunsOf100Records)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

double TimeCommand(const std::string& command, int& rc) {
    const auto t0 = std::chrono::steady_clock::now();
    rc = std::system(command.c_str());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Target: under 200 ms as a whole process; beside it the same list from the
// station's archive.
void BM_CliServerListByLot10kWholeProcess(benchmark::State& state) {
    Factory& f = TheFactory();
    if (!f.error.empty() || !f.forwarded) {
        state.SkipWithError(f.error.empty() ? "nothing forwarded" : f.error.c_str());
        return;
    }
    const std::string cli = VARK_CLI_PATH;
    const std::string server = cli + " archive list --lot LOT-42 --server='" + f.url +
                               "' --archive " + f.station + " >/dev/null";
    const std::string local =
        cli + " archive list --lot LOT-42 --archive " + f.station + " >/dev/null";
    double localSeconds = 0;
    for (auto _ : state) {
        int rc = 0;
        state.SetIterationTime(TimeCommand(server, rc));
        int rcLocal = 0;
        localSeconds += TimeCommand(local, rcLocal);
        if (rc != 0 || rcLocal != 0) {
            state.SkipWithError("vark-cli archive list failed");
            return;
        }
    }
    state.counters["station_archive_ms"] =
        localSeconds / static_cast<double>(state.iterations()) * 1000;
}
BENCHMARK(BM_CliServerListByLot10kWholeProcess)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

// Yields and Paretos of every run on the server, made in this program (target:
// under 100 ms each); beside each the same from the station's archive.
template <class Make>
void TimeStatistics(benchmark::State& state, Make make) {
    Factory& f = TheFactory();
    if (!f.error.empty() || !f.forwarded) {
        state.SkipWithError(f.error.empty() ? "nothing forwarded" : f.error.c_str());
        return;
    }
    auto server = vark::archive::ServerArchive::Open(f.url);
    OpenOptions read;
    read.mode = OpenOptions::Mode::Read;
    auto station = SqliteArchive::Open(f.station, read);
    if (!server || !station) {
        state.SkipWithError("cannot open the archives");
        return;
    }
    double stationSeconds = 0;
    std::int64_t rows = 0;
    std::int64_t stationRows = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        rows = make(static_cast<vark::archive::StatisticsSource&>(*server.value()));
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        t0 = std::chrono::steady_clock::now();
        stationRows = make(static_cast<vark::archive::StatisticsSource&>(*station.value()));
        stationSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (rows < 0 || rows != stationRows) {
            state.SkipWithError("the server and the station disagree");
            return;
        }
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["station_archive_ms"] =
        stationSeconds / static_cast<double>(state.iterations()) * 1000;
}

void BM_ServerYieldByLot10k(benchmark::State& state) {
    TimeStatistics(state, [](vark::archive::StatisticsSource& s) -> std::int64_t {
        const auto runs = s.CountedRuns({});
        if (!runs) {
            return -1;
        }
        const auto t = vark::archive::Yields(*runs, vark::archive::YieldGrouping::Lot);
        return static_cast<std::int64_t>(t.rows.size()) * 1000000 + t.total.failed;
    });
}
BENCHMARK(BM_ServerYieldByLot10k)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

void BM_ServerFailurePareto10k(benchmark::State& state) {
    TimeStatistics(state, [](vark::archive::StatisticsSource& s) -> std::int64_t {
        const auto failed = s.FailedRecords({});
        if (!failed) {
            return -1;
        }
        const auto p = vark::archive::FailurePareto(*failed);
        return p.causes * 1000 + static_cast<std::int64_t>(p.rows.size());
    });
}
BENCHMARK(BM_ServerFailurePareto10k)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

// Targets: under 200 ms as a whole process; beside each the same command
// over the station's archive.
void TimeCliStatistics(benchmark::State& state, const std::string& args) {
    Factory& f = TheFactory();
    if (!f.error.empty() || !f.forwarded) {
        state.SkipWithError(f.error.empty() ? "nothing forwarded" : f.error.c_str());
        return;
    }
    const std::string cli = std::string(VARK_CLI_PATH) + " " + args + " --archive " + f.station;
    const std::string server = cli + " --server='" + f.url + "' >/dev/null";
    const std::string local = cli + " >/dev/null";
    double localSeconds = 0;
    for (auto _ : state) {
        int rc = 0;
        state.SetIterationTime(TimeCommand(server, rc));
        int rcLocal = 0;
        localSeconds += TimeCommand(local, rcLocal);
        if (rc != 0 || rcLocal != 0) {
            state.SkipWithError(("vark-cli " + args + " failed").c_str());
            return;
        }
    }
    state.counters["station_archive_ms"] =
        localSeconds / static_cast<double>(state.iterations()) * 1000;
}

void BM_CliServerYieldByLot10kWholeProcess(benchmark::State& state) {
    TimeCliStatistics(state, "archive yield --by lot");
}
BENCHMARK(BM_CliServerYieldByLot10kWholeProcess)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

void BM_CliServerFailures10kWholeProcess(benchmark::State& state) {
    TimeCliStatistics(state, "archive failures");
}
BENCHMARK(BM_CliServerFailures10kWholeProcess)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

}  // namespace
