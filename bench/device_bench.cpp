// The upload at the line's real speed: 100 records, 24,901 bytes at 3,840
// bytes per second, are 6.48 s on the wire. The "ratio" counter is the
// measured upload time over that line time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "device/loop_owner.h"
#include "device/protocol.h"
#include "device/tester_link.h"
#include "testing/process.h"
#include "testing/sim_process.h"
#include "testing/temp_dir.h"

namespace {

void Upload(benchmark::State& state, std::vector<std::string> simArgs, double lineSeconds) {
    vark::test::SimProcess sim(std::move(simArgs));
    vark::LoopOwner owner;
    vark::TesterLink link;
    link.SetOwner(&owner);
    vark::BridgePort port;
    port.path = sim.device();
    link.UsePort(port);
    if (link.StartLink()) {
        state.SkipWithError("the simulator's port did not open");
        return;
    }
    double total = 0;
    for (auto _ : state) {
        owner.Forget();
        const auto t0 = std::chrono::steady_clock::now();
        link.Request();
        owner.WaitForOutcome(std::chrono::seconds(30));
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
        if (!owner.Received() || owner.Block().count != 100) {
            state.SkipWithError("upload failed");
            return;
        }
        state.SetIterationTime(took.count());
        total += took.count();
    }
    if (lineSeconds > 0) {
        state.counters["line_s"] = lineSeconds;
        state.counters["ratio"] = total / static_cast<double>(state.iterations()) / lineSeconds;
    }
}

void BM_Upload100AtLineSpeed(benchmark::State& state) {
    Upload(
        state, {"--records", "100"},
        static_cast<double>(vark::protocol::kMaxReplySize) / vark::protocol::kLineBytesPerSecond);
}
BENCHMARK(BM_Upload100AtLineSpeed)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

// Without pacing: the channel's own cost, bounded by the 100 ms poll and the
// pseudo-terminal's 4 KiB input buffer.
void BM_Upload100Unpaced(benchmark::State& state) {
    Upload(state, {"--records", "100", "--fast"}, 0);
}
BENCHMARK(BM_Upload100Unpaced)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// vark-cli upload as a user runs it, from exec to exit, against a tester at
// line speed: the line time plus start-up, the last poll and the stop. The
// "ratio" counter is the whole process's time over the line time (target
// 1.02 or less).
void BM_CliUpload100WholeProcessAtLineSpeed(benchmark::State& state) {
    const double lineSeconds =
        static_cast<double>(vark::protocol::kMaxReplySize) / vark::protocol::kLineBytesPerSecond;
    vark::test::TempDir dir;
    double total = 0;
    for (auto _ : state) {
        state.PauseTiming();
        vark::test::SimProcess sim({"--records", "100"});
        const std::string command = std::string(VARK_CLI_PATH) + " upload --port " + sim.device() +
                                    " -o " + (dir.path() / "up.vku").string() + " --archive " +
                                    (dir.path() / "archive.sqlite3").string() + " 2>&1";
        state.ResumeTiming();
        const auto t0 = std::chrono::steady_clock::now();
        const vark::test::ProcessResult r = vark::test::RunShell(command);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
        if (r.status != 0) {
            state.SkipWithError(("upload failed: " + r.out).c_str());
            return;
        }
        state.SetIterationTime(took.count());
        total += took.count();
    }
    state.counters["line_s"] = lineSeconds;
    state.counters["ratio"] = total / static_cast<double>(state.iterations()) / lineSeconds;
}
BENCHMARK(BM_CliUpload100WholeProcessAtLineSpeed)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

}  // namespace
