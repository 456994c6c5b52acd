// Times one 100-record upload through the Win32 serial line, from the request
// to the completed block, as the benchmark does on Linux. Prints the time, the
// line time of 24,901 bytes at 3,840 bytes per second, and their ratio.
// Usage: vark-upload-timing COM-NUMBER. Status 1 when the upload fails.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "device/comm_defs.h"
#include "device/owner_loop.h"
#include "device/serial_port.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: vark-upload-timing COM-NUMBER\n", stderr);
        return 2;
    }
    vark::LoopOwner owner;
    vark::SerialPort port;
    owner.Attach(&port);
    port.SetOwner(&owner);
    port.SetPortNo(static_cast<std::uint8_t>(std::atoi(argv[1])));
    if (!port.StartLink()) {
        std::fprintf(stderr, "%s\n", owner.LastMessage().c_str());
        return 1;
    }
    const auto t0 = std::chrono::steady_clock::now();
    port.SendRequest(vark::COMM_CMD_UPLOAD);
    owner.WaitForOutcome(std::chrono::seconds(60));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
    if (owner.Events().empty() || owner.Events().back().kind != vark::LoopOwner::Kind::Received ||
        owner.Received().count != 100) {
        // Say what the link reported, so a failure can be told from a slow line.
        std::fprintf(stderr, "upload failed: %zu events, last message \"%s\", count %d\n",
                     owner.Events().size(), owner.LastMessage().c_str(),
                     static_cast<int>(owner.Received().count));
        return 1;
    }
    const double line = 24901.0 / vark::kLineBytesPerSecond;
    std::printf("upload_s=%.3f line_s=%.3f ratio=%.3f\n", took.count(), line, took.count() / line);
    return 0;
}
