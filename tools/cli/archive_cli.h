// What vark-cli's archive commands and its upload share: the archive options,
// opening the configured archive, and archiving a received block.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "archive/settings.h"
#include "archive/sqlite_archive.h"
#include "records/record_block.h"
#include "tools/cli/cli.h"

namespace vark::cli {

// Records were received (and saved when asked) but could not be archived.
inline constexpr int kExitNotArchived = 4;

// The archive configuration for these arguments (--archive FILE, --no-archive,
// --operator NAME), the environment and the settings file.
archive::ArchiveConfig ArchiveConfigFor(const Arguments& a);

// Opens the configured archive. On failure the reason is on standard error,
// prefixed with `context` when given, and the result is empty.
std::unique_ptr<archive::SqliteArchive> OpenArchive(const archive::ArchiveConfig& config,
                                                    archive::OpenOptions::Mode mode,
                                                    std::string_view context = {});

// What an upload brings besides its block.
struct UploadFacts {
    std::string port;
    std::string testerSerial;
    archive::TimeMs started = 0;
    archive::TimeMs ended = 0;
};

// The upload's run details from its arguments (--lot, --part, --operator,
// --note, --archive, --no-archive). True when the block was archived or the
// archive is off; the outcome is said on standard output, a failure
// ("not archived: reason") on standard error.
bool ArchiveUpload(const Arguments& a, const RecordBlock& block, const UploadFacts& facts);

}  // namespace vark::cli
