// Runs vark-tester-sim for a test or a benchmark and knows its pseudo-terminal.
#pragma once

#include <sys/types.h>
#include <filesystem>
#include <string>
#include <vector>

#include "testing/temp_dir.h"

namespace vark::test {

class SimProcess {
  public:
    // Starts the simulator with `args` and waits for its device's name.
    explicit SimProcess(std::vector<std::string> args);
    ~SimProcess() { Stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    void Stop();
    // Waits for the simulator to end on its own; its exit status or -1.
    int Wait();

    // The pseudo-terminal's device; empty when the simulator did not start.
    const std::string& device() const { return device_; }
    // What the simulator logged so far.
    std::string log() const;

  private:
    TempDir dir_;
    std::filesystem::path log_;
    pid_t pid_ = -1;
    std::string device_;
};

}  // namespace vark::test
