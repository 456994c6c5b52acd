// archive status, forward and server-init: the station's outbox for the
// factory server, sending it, and making the server's schema.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "archive/server/forwarder.h"
#include "archive/server/pg_link.h"
#include "archive/server/server_archive.h"
#include "platform/system.h"
#include "tools/cli/archive_cli.h"

#ifndef VARK_VERSION
#define VARK_VERSION "unknown"
#endif

namespace vark::cli {
namespace {

// The schema version that brought the outbox.
constexpr int kOutboxVersion = 4;

constexpr const char* kNoServer =
    "no server is configured (--server URL, VARK_ARCHIVE_SERVER or server= in the settings)";

// A test's way to stop a forward at a chosen point: VARK_TEST_HOLD_FORWARD
// is "STAGE:MS" (STAGE "before-commit" or "after-commit").
std::function<void(const char*)> TestHold() {
    const auto hold = platform::EnvironmentValue("VARK_TEST_HOLD_FORWARD");
    if (!hold) {
        return {};
    }
    const std::string text = *hold;
    const auto colon = text.find(':');
    const std::string stage = text.substr(0, colon);
    const int ms = colon == std::string::npos ? 0 : std::atoi(text.c_str() + colon + 1);
    return [stage, ms](const char* at) {
        if (stage == at) {
            std::fprintf(stderr, "holding the batch at %s\n", at);
            std::fflush(stderr);
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        }
    };
}

archive::ForwarderOptions OptionsFor(const archive::ArchiveConfig& config) {
    archive::ForwarderOptions o;
    o.archive = config.file;
    o.server = config.server;
    o.archiveBusyTimeoutMs = config.busyTimeoutMs;
    o.stage = TestHold();
    return o;
}

void SayConflicts(const archive::OutboxState& state) {
    for (const std::string& run : state.conflictRuns) {
        std::cerr << "run " << run
                  << " differs from the server's run of the same UUID: both are kept, the "
                     "server's unchanged\n";
    }
}

int Status(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(args, {"--archive", "--server"}, {}, a) || !a.names.empty()) {
        return ArchiveUsage();
    }
    const archive::ArchiveConfig config = ArchiveConfigFor(a);
    auto store = OpenArchive(config, archive::OpenOptions::Mode::Read);
    if (!store) {
        return kExitFailed;
    }
    if (store->SchemaVersion() < kOutboxVersion) {
        // Reading never upgrades: the queue is made by the next write.
        std::printf(
            "the archive was written by an earlier version; everything in it will wait "
            "for the server once this version writes to it (archive forward)\n");
        return FinishOutput();
    }
    const auto state = store->Outbox();
    if (!state) {
        return Fail(state.error().message);
    }
    if (config.server.empty()) {
        std::printf("%s\n", kNoServer);
    } else if (auto name = archive::ServerDisplayName(config.server)) {
        std::printf("server: %s\n", name->c_str());
    } else {
        return Fail(name.error().message);
    }
    std::printf("%s\n", archive::WaitingText(*state).c_str());
    if (state->lastTry && !state->lastError.empty()) {
        std::printf("last try %s: %s\n", LocalTime(*state->lastTry).c_str(),
                    state->lastError.c_str());
    }
    if (state->lastSent) {
        std::printf("last sent %s\n", LocalTime(*state->lastSent).c_str());
    }
    SayConflicts(*state);
    return FinishOutput();
}

int Forward(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(args, {"--archive", "--server"}, {}, a) || !a.names.empty()) {
        return ArchiveUsage();
    }
    const archive::ArchiveConfig config = ArchiveConfigFor(a);
    if (config.server.empty()) {
        return Fail(kNoServer);
    }
    if (auto name = archive::ServerDisplayName(config.server); !name) {
        return Fail(name.error().message);
    }
    archive::Forwarder forwarder(OptionsFor(config));
    const archive::ForwardOutcome out = forwarder.ForwardNow();
    std::printf("sent %lld to the server", static_cast<long long>(out.sent));
    if (out.conflicts > 0) {
        std::printf(" (%lld differing from the server's copy)",
                    static_cast<long long>(out.conflicts));
    }
    std::printf("\n");
    const auto state = forwarder.State();
    if (!state) {
        return Fail(state.error().message);
    }
    std::printf("%s\n", archive::WaitingText(*state).c_str());
    if (out.conflicts > 0) {
        SayConflicts(*state);
    }
    if (!out.error.empty()) {
        std::cerr << "not all sent: " << out.error << '\n';
    }
    const int finished = FinishOutput();
    return out.ok() ? finished : kExitFailed;
}

int ServerInit(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(args, {}, {}, a) || a.names.size() != 1) {
        return ArchiveUsage();
    }
    const auto done = archive::InitServer(a.names[0], "vark-cli " VARK_VERSION);
    if (!done) {
        return Fail(done.error().message);
    }
    if (done->before == done->after) {
        std::printf("the server %s holds schema %d already\n", done->server.c_str(), done->after);
    } else {
        std::printf(
            "the server %s now holds schema %d (was %d); stations log in as members "
            "of vark_station, readers of vark_reader\n",
            done->server.c_str(), done->after, done->before);
    }
    return FinishOutput();
}

const RegisterArchive kStatus{
    {"status",
     "  status [--server URL]\n      what waits for the factory server, and the last try\n",
     Status}};
const RegisterArchive kForward{
    {"forward",
     "  forward [--server URL]\n"
     "      send what waits to the factory server now (exit 0: nothing left)\n",
     Forward}};
const RegisterArchive kServerInit{
    {"server-init",
     "  server-init URL\n"
     "      make or upgrade the factory server's schema and its two roles\n",
     ServerInit}};

}  // namespace
}  // namespace vark::cli
