// The upload at the line's real speed: 100 records, 24,901 bytes at 3,840
// bytes per second, are 6.48 s on the wire. The "ratio" counter is the
// measured upload time over that line time.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "device/owner_loop.h"
#include "device/serial_port.h"

namespace {

class Simulator {
  public:
    explicit Simulator(std::vector<std::string> args) {
        args.insert(args.begin(), VARK_SIM_PATH);
        args.push_back("--log");
        args.push_back("/dev/null");
        int out[2];
        if (::pipe(out) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv;
            for (auto& a : args) {
                argv.push_back(a.data());
            }
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        char ch;
        while (::read(out[0], &ch, 1) == 1 && ch != '\n') {
            device_ += ch;
        }
        ::close(out[0]);
    }
    ~Simulator() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& device() const { return device_; }

  private:
    pid_t pid_ = -1;
    std::string device_;
};

void Upload(benchmark::State& state, std::vector<std::string> simArgs, double lineSeconds) {
    Simulator sim(std::move(simArgs));
    vark::LoopOwner owner;
    vark::SerialPort port;
    owner.Attach(&port);
    port.SetOwner(&owner);
    port.SetPortName(sim.device());
    if (!port.StartLink()) {
        state.SkipWithError(owner.LastMessage().c_str());
        return;
    }
    double total = 0;
    for (auto _ : state) {
        owner.ResetOutcome();
        const auto t0 = std::chrono::steady_clock::now();
        port.SendRequest(vark::COMM_CMD_UPLOAD);
        owner.WaitForOutcome(std::chrono::seconds(30));
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
        if (owner.Events().empty() ||
            owner.Events().back().kind != vark::LoopOwner::Kind::Received ||
            owner.Received().count != 100) {
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
    Upload(state, {"--records", "100"}, 24901.0 / vark::kLineBytesPerSecond);
}
BENCHMARK(BM_Upload100AtLineSpeed)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

// Without pacing: the channel's own cost, bounded by the 100 ms poll and the
// pseudo-terminal's 4 KiB input buffer.
void BM_Upload100Unpaced(benchmark::State& state) {
    Upload(state, {"--records", "100", "--fast"}, 0);
}
BENCHMARK(BM_Upload100Unpaced)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
