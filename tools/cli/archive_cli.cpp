#include "tools/cli/archive_cli.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "platform/system.h"

#ifndef VARK_VERSION
#define VARK_VERSION "unknown"
#endif

namespace vark::cli {

archive::ArchiveConfig ArchiveConfigFor(const Arguments& a) {
    archive::ArchiveOverrides o;
    if (a.Has("--archive")) {
        o.file = a.Value("--archive");
    }
    o.disabled = a.Has("--no-archive");
    if (a.Has("--operator")) {
        o.operatorName = a.Value("--operator");
    }
    return archive::ResolveArchiveConfig(archive::LoadSettings(archive::SettingsFilePath()),
                                         archive::SystemSurroundings(), o);
}

std::unique_ptr<archive::SqliteArchive> OpenArchive(const archive::ArchiveConfig& config,
                                                    archive::OpenOptions::Mode mode,
                                                    std::string_view context) {
    archive::OpenOptions options;
    options.mode = mode;
    options.busyTimeoutMs = config.busyTimeoutMs;
    options.program = "vark-cli " VARK_VERSION;
    auto opened = archive::SqliteArchive::Open(config.file, options);
    if (!opened) {
        std::cerr << context << opened.error().message << '\n';
        return nullptr;
    }
    if (!opened.value()->BackupBeforeMigration().empty()) {
        std::cerr << "the archive was upgraded; its former state is kept in "
                  << opened.value()->BackupBeforeMigration() << '\n';
    }
    auto archive = std::move(opened.value());
    // A test's way to stop a commit at its most delicate point: the
    // transaction is written but not yet committed.
    if (const auto hold = platform::EnvironmentValue("VARK_TEST_HOLD_COMMIT_MS")) {
        const int ms = std::atoi(hold->c_str());
        archive->SetBeforeCommitHook([ms] {
            std::fputs("holding the commit\n", stderr);
            std::fflush(stderr);
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        });
    }
    return archive;
}

bool ArchiveUpload(const Arguments& a, const RecordBlock& block, const UploadFacts& facts) {
    const archive::ArchiveConfig config = ArchiveConfigFor(a);
    if (!config.enabled) {
        return true;
    }
    auto store = OpenArchive(config, archive::OpenOptions::Mode::Write, "not archived: ");
    if (!store) {
        return false;
    }
    archive::NewRun run;
    run.started = facts.started;
    run.ended = facts.ended;
    run.station = config.station;
    run.operatorName = config.operatorName;
    run.source = archive::Source::Upload;
    run.port = facts.port;
    run.testerSerial = facts.testerSerial;
    run.lot = a.Value("--lot");
    run.part = a.Value("--part");
    run.note = a.Value("--note");
    run.program = "vark-cli " VARK_VERSION;
    run.block = block;
    const auto done = store->Commit(run);
    if (!done) {
        std::cerr << "not archived: " << done.error().message << '\n';
        return false;
    }
    std::printf("archived as run %s", done->uuid.c_str());
    if (!done->repeatOf.empty()) {
        std::printf(", a repeat of run %s (the same records from the same tester)",
                    done->repeatOf.c_str());
    }
    std::printf("\n");
    return true;
}

}  // namespace vark::cli
