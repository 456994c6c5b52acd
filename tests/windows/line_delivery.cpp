// The Win32 serial line's read contract against a tester that answers at
// once: a read of exactly the bytes the input queue reports brings them all,
// every time, however the system delivers them. A line that returns fewer
// (or none) lets the queue fill while the channel counts empty passes, and a
// full reply then ends in the receive time-out.
// Usage: vark-line-delivery COM-NUMBER. Status 1 when a read fell short.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "device/protocol.h"
#include "device/serial_line.h"
#include "records/record_block.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: vark-line-delivery COM-NUMBER\n", stderr);
        return 2;
    }
    auto line = vark::MakeSystemSerialLine();
    std::string reason;
    if (!line->Open(std::string("\\\\.\\COM") + argv[1], &reason, nullptr)) {
        std::fprintf(stderr, "open failed: %s\n", reason.c_str());
        return 1;
    }
    vark::LineSettings settings;
    if (!line->GetLineSettings(settings)) {
        std::fputs("line settings not read\n", stderr);
        return 1;
    }
    settings.binary = true;
    settings.baudRate = vark::protocol::kBaudRate;
    settings.byteSize = 8;
    settings.parity = 0;
    settings.stopBits = 0;
    line->SetLineSettings(settings);
    if (!line->Write(vark::protocol::kUploadCommand, vark::protocol::kCommandSize)) {
        std::fputs("command not written\n", stderr);
        return 1;
    }
    std::vector<std::uint8_t> buf(vark::kBlockSize);
    std::size_t total = 0;
    int reads = 0;
    int shortReads = 0;
    const ULONGLONG start = ::GetTickCount64();
    // The reply is sent whole at once; what the queue does not hold yet comes
    // on later passes, paced as the channel paces them.
    while (total < buf.size() && ::GetTickCount64() - start < 10000) {
        ::Sleep(20);
        std::size_t queued = 0;
        if (!line->ClearError(&queued) || queued == 0) {
            continue;
        }
        const std::size_t want = std::min(queued, buf.size() - total);
        const long got = line->Read(buf.data() + total, want);
        ++reads;
        if (got != static_cast<long>(want)) {
            ++shortReads;
            std::fprintf(stderr, "read %d: %zu bytes queued, %ld read\n", reads, want, got);
        }
        if (got > 0) {
            total += static_cast<std::size_t>(got);
        }
    }
    std::printf("reads=%d short=%d bytes=%zu\n", reads, shortReads, total);
    return shortReads == 0 && total == buf.size() ? 0 : 1;
}
