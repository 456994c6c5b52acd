// Times one 100-record upload through the Win32 serial line, from the request
// to the completed block, as the benchmark does on Linux. Prints the time, the
// line time of 24,901 bytes at 3,840 bytes per second, and their ratio.
// Usage: vark-upload-timing COM-NUMBER. Status 1 when the upload fails.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "device/loop_owner.h"
#include "device/protocol.h"
#include "device/tester_link.h"
#include "ui/link_texts.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: vark-upload-timing COM-NUMBER\n", stderr);
        return 2;
    }
    vark::LoopOwner owner;
    vark::TesterLink link;
    link.SetOwner(&owner);
    vark::BridgePort port;
    port.comNumber = static_cast<std::uint8_t>(std::atoi(argv[1]));
    link.UsePort(port);
    if (const auto failed = link.StartLink()) {
        std::fprintf(stderr, "%s\n", vark::OutcomeText(*failed).c_str());
        return 1;
    }
    const auto t0 = std::chrono::steady_clock::now();
    link.Request();
    owner.WaitForOutcome(std::chrono::seconds(60));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
    if (!owner.Received() || owner.Block().count != 100) {
        // Say what the link reported, so a failure can be told from a slow line.
        std::fprintf(stderr, "upload failed: \"%s\", count %d\n",
                     owner.Outcome() ? vark::OutcomeText(*owner.Outcome()).c_str() : "no outcome",
                     static_cast<int>(owner.Block().count));
        return 1;
    }
    const double line =
        static_cast<double>(vark::protocol::kMaxReplySize) / vark::protocol::kLineBytesPerSecond;
    std::printf("upload_s=%.3f line_s=%.3f ratio=%.3f\n", took.count(), line, took.count() / line);
    return 0;
}
