// vark-tester-sim: answers the upload command like the tester does, on a
// pseudo-terminal whose slave device it prints on the first line of standard
// output. What it receives and sends is logged on standard error (or --log).
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "device/protocol.h"
#include "platform/file_io.h"
#include "records/record_file.h"
#include "records/sample_records.h"

namespace vark::sim {
namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string file;
    int records = -1;  // generated records; -1 = the sample block
    bool fast = false;
    double rate = vark::protocol::kLineBytesPerSecond;  // bytes per second
    long chunk = 0;                                     // 0 = default
    long gapMs = 0;                                     // pause between chunks when not paced
    long stallAfter = -1;
    long resumeAfterMs = -1;  // -1 = the stalled reply never goes on
    long hangupAfter = -1;
    bool noAnswer = false;
    std::set<long> badChecksum;
    int countByte = -1;
    long extraBytes = 0;
    std::string log;
};

FILE* g_log = stderr;

void Log(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::fputs("vark-tester-sim: ", g_log);
    std::vfprintf(g_log, fmt, ap);
    std::fputc('\n', g_log);
    std::fflush(g_log);
    va_end(ap);
}

int Usage() {
    std::fputs(
        "usage: vark-tester-sim [--file FILE.vku | --records N] [--fast | --rate BYTES_PER_S]\n"
        "           [--chunk N] [--gap MS] [--stall-after N [--resume-after MS]]\n"
        "           [--hangup-after N] [--no-answer] [--bad-checksum I,J,..]\n"
        "           [--count-byte V] [--extra-bytes N] [--log FILE]\n"
        "Prints the pseudo-terminal's device on the first line, then answers every\n"
        "upload command (2A 00 3A) with a count byte and the records, at 3,840 bytes\n"
        "per second unless --fast or --rate say otherwise.\n",
        stderr);
    return 2;
}

bool ParseLong(const char* s, long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtol(s, &end, 10);
    return errno == 0 && end != s && *end == '\0';
}

bool ParseArgs(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        long v = 0;
        auto number = [&](long& dst, long min) {
            if (!hasValue || !ParseLong(argv[++i], v) || v < min) {
                return false;
            }
            dst = v;
            return true;
        };
        if (a == "--fast") {
            o.fast = true;
        } else if (a == "--no-answer") {
            o.noAnswer = true;
        } else if (a == "--file" && hasValue) {
            o.file = argv[++i];
        } else if (a == "--log" && hasValue) {
            o.log = argv[++i];
        } else if (a == "--records") {
            long n = 0;
            if (!number(n, 0) || n > 100) {
                return false;
            }
            o.records = static_cast<int>(n);
        } else if (a == "--rate") {
            long r = 0;
            if (!number(r, 1)) {
                return false;
            }
            o.rate = static_cast<double>(r);
        } else if (a == "--chunk") {
            if (!number(o.chunk, 1)) {
                return false;
            }
        } else if (a == "--gap") {
            if (!number(o.gapMs, 0)) {
                return false;
            }
        } else if (a == "--stall-after") {
            if (!number(o.stallAfter, 0)) {
                return false;
            }
        } else if (a == "--resume-after") {
            if (!number(o.resumeAfterMs, 0)) {
                return false;
            }
        } else if (a == "--hangup-after") {
            if (!number(o.hangupAfter, 0)) {
                return false;
            }
        } else if (a == "--extra-bytes") {
            if (!number(o.extraBytes, 0)) {
                return false;
            }
        } else if (a == "--count-byte") {
            long c = 0;
            if (!number(c, 0) || c > 255) {
                return false;
            }
            o.countByte = static_cast<int>(c);
        } else if (a == "--bad-checksum" && hasValue) {
            std::string list = argv[++i];
            std::size_t pos = 0;
            while (pos <= list.size()) {
                std::size_t end = list.find(',', pos);
                if (end == std::string::npos) {
                    end = list.size();
                }
                long idx = 0;
                if (!ParseLong(list.substr(pos, end - pos).c_str(), idx) || idx < 0 || idx > 99) {
                    return false;
                }
                o.badChecksum.insert(idx);
                pos = end + 1;
            }
        } else {
            return false;
        }
    }
    return true;
}

// N records of assorted cables: straight runs of varying width, with a
// crossed pair and the grounds in some of them.
vark::RecordBlock GeneratedBlock(int n) {
    vark::RecordBlock block;
    vark::ClearBlock(block);
    block.count = static_cast<std::uint8_t>(n);
    for (int i = 0; i < n; ++i) {
        const int pins = 1 + (i * 7) % 40;
        vark::RecordBuilder b(pins);
        b.Straight();
        if (pins >= 3 && i % 3 == 1) {
            b.Connect(2, 3).Connect(3, 2);
        }
        if (i % 2 == 0) {
            b.Grounds();
        }
        block.slots[i] = b.Reserved(static_cast<std::uint8_t>(i)).Build();
    }
    return block;
}

std::vector<std::uint8_t> BuildReply(const vark::RecordBlock& block, const Options& o) {
    const std::size_t n = vark::UsedSlots(block);
    std::vector<std::uint8_t> reply(block.data(), block.data() + vark::protocol::ReplySize(n));
    for (long i : o.badChecksum) {
        if (static_cast<std::size_t>(i) < n) {
            reply[1 + vark::kRecordSize * i + vark::kChecksumOffset] ^= 0x5A;
        }
    }
    if (o.countByte >= 0) {
        reply[0] = static_cast<std::uint8_t>(o.countByte);
    }
    reply.insert(reply.end(), static_cast<std::size_t>(o.extraBytes), 0xEE);
    return reply;
}

// Writes all of `data` to the non-blocking master. False when the other side
// has taken nothing for two seconds (no one reads the slave any more).
bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 2000) <= 0) {
            return false;
        }
    }
    return true;
}

class Tester {
  public:
    Tester(int master, Options o, vark::RecordBlock block)
        : fd_(master), o_(std::move(o)), block_(block) {}

    void Run() {
        std::vector<std::uint8_t> pending;
        for (;;) {
            pollfd p{fd_, POLLIN, 0};
            const int r = ::poll(&p, 1, 200);
            if (r < 0 && errno != EINTR) {
                Log("poll failed: %s", std::strerror(errno));
                return;
            }
            if (r <= 0) {
                continue;
            }
            if (!(p.revents & POLLIN)) {
                // No one has the slave open: wait for someone to.
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            std::uint8_t buf[512];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            std::string hex;
            for (ssize_t i = 0; i < n; ++i) {
                char h[4];
                std::snprintf(h, sizeof h, "%s%02x", i ? " " : "", buf[i]);
                hex += h;
            }
            Log("received %zd bytes: %s", n, hex.c_str());
            pending.insert(pending.end(), buf, buf + n);
            for (;;) {
                auto it = std::search(pending.begin(), pending.end(),
                                      std::begin(vark::protocol::kUploadCommand),
                                      std::end(vark::protocol::kUploadCommand));
                if (it == pending.end()) {
                    // Keep only what could still begin a command.
                    if (pending.size() > 2) {
                        pending.erase(pending.begin(), pending.end() - 2);
                    }
                    break;
                }
                pending.erase(pending.begin(), it + vark::protocol::kCommandSize);
                if (!Answer()) {
                    return;
                }
            }
        }
    }

  private:
    // Sends reply bytes [from, to) at the line's pace; false when the line
    // stopped taking them.
    bool Send(const std::vector<std::uint8_t>& reply, std::size_t from, std::size_t to) {
        const std::size_t chunk =
            o_.chunk > 0 ? static_cast<std::size_t>(o_.chunk) : (o_.fast ? to - from : 16);
        const auto start = Clock::now();
        for (std::size_t at = from; at < to;) {
            const std::size_t end = std::min(to, at + std::max<std::size_t>(chunk, 1));
            if (!o_.fast) {
                // A byte can be read once it has crossed the line.
                const double seconds = static_cast<double>(end - from) / o_.rate;
                std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                          std::chrono::duration<double>(seconds)));
            } else if (at != from && o_.gapMs > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(o_.gapMs));
            }
            if (!WriteAll(fd_, reply.data() + at, end - at)) {
                Log("reply abandoned after %zu bytes: the line takes nothing", at);
                return false;
            }
            at = end;
        }
        return true;
    }

    // False when the simulator is to end (hang-up).
    bool Answer() {
        ++requests_;
        if (o_.noAnswer) {
            Log("request %d: upload command, not answered", requests_);
            return true;
        }
        const std::vector<std::uint8_t> reply = BuildReply(block_, o_);
        Log("request %d: upload command, answering %zu bytes (count byte %u)", requests_,
            reply.size(), reply[0]);
        std::size_t limit = reply.size();
        bool stall = false;
        if (o_.hangupAfter >= 0) {
            limit = std::min(limit, static_cast<std::size_t>(o_.hangupAfter));
        } else if (o_.stallAfter >= 0 && !stalled_) {
            limit = std::min(limit, static_cast<std::size_t>(o_.stallAfter));
            stall = true;
            stalled_ = true;
        }
        if (!Send(reply, 0, limit)) {
            return true;
        }
        if (o_.hangupAfter >= 0) {
            Log("hanging up after %zu bytes", limit);
            ::close(fd_);
            return false;
        }
        if (stall) {
            if (o_.resumeAfterMs < 0) {
                Log("stalled after %zu bytes", limit);
                return true;
            }
            Log("stalled after %zu bytes, going on in %ld ms", limit, o_.resumeAfterMs);
            std::this_thread::sleep_for(std::chrono::milliseconds(o_.resumeAfterMs));
            if (!Send(reply, limit, reply.size())) {
                return true;
            }
        }
        Log("request %d: sent %zu bytes", requests_, reply.size());
        return true;
    }

    int fd_;
    Options o_;
    vark::RecordBlock block_;
    int requests_ = 0;
    bool stalled_ = false;
};

}  // namespace
}  // namespace vark::sim

int main(int argc, char** argv) {
    using namespace vark::sim;
    Options o;
    if (!ParseArgs(argc, argv, o)) {
        return Usage();
    }
    if (!o.log.empty()) {
        // Logs often go to /tmp: the name is looked up as a save looks it up,
        // so another user's link or file there is refused, never appended to.
        int fd = -1;
        const std::error_code ec = vark::platform::OpenForAppending(o.log, fd);
        g_log = ec ? nullptr : ::fdopen(fd, "a");
        if (!g_log) {
            std::fprintf(stderr, "vark-tester-sim: cannot open %s: %s\n", o.log.c_str(),
                         ec ? ec.message().c_str() : std::strerror(errno));
            if (fd >= 0) {
                ::close(fd);
            }
            return 1;
        }
    }
    vark::RecordBlock block;
    if (!o.file.empty()) {
        vark::ClearBlock(block);
        const vark::FileStatus st = vark::ReadRecordFile(o.file, block);
        if (st != vark::FileStatus::Ok) {
            std::fprintf(stderr, "vark-tester-sim: %s: %s\n", o.file.c_str(),
                         vark::FileStatusMessage(st));
            return 1;
        }
    } else if (o.records >= 0) {
        block = GeneratedBlock(o.records);
    } else {
        block = vark::SampleBlock();
    }

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::fprintf(stderr, "vark-tester-sim: no pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    const char* slave = ::ptsname(master);
    if (!slave) {
        std::fprintf(stderr, "vark-tester-sim: no pseudo-terminal name: %s\n",
                     std::strerror(errno));
        return 1;
    }
    // Raw from the start (set through the master, it applies to the slave),
    // so nothing is echoed or translated before the program sets the line.
    termios t{};
    if (::tcgetattr(master, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(master, TCSANOW, &t);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    std::printf("%s\n", slave);
    std::fflush(stdout);
    Log("%s: %u records, %s", slave, static_cast<unsigned>(vark::UsedSlots(block)),
        o.fast ? "fast" : (std::to_string(static_cast<long>(o.rate)) + " bytes/s").c_str());
    Tester(master, o, block).Run();
    return 0;
}
