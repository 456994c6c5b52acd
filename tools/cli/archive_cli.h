// What vark-cli's archive commands and its upload share: the archive options,
// opening the configured archive, and archiving a received block.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/settings.h"
#include "archive/sqlite_archive.h"
#include "archive/statistics.h"
#include "records/record_block.h"
#include "tools/cli/cli.h"

namespace vark::cli {

// Records were received (and saved when asked) but could not be archived.
inline constexpr int kExitNotArchived = 4;

// A subcommand of `vark-cli archive` that lives in a source file of its own
// (one that only some builds have); `usage` is its lines of the usage text.
struct ArchiveSubcommand {
    std::string_view name;
    std::string_view usage;
    int (*run)(const std::vector<std::string>& args);
};
std::vector<ArchiveSubcommand>& ArchiveSubcommands();
struct RegisterArchive {
    explicit RegisterArchive(ArchiveSubcommand c) { ArchiveSubcommands().push_back(c); }
};

// The usage of `vark-cli archive`; ArchiveUsage prints it to standard error
// and returns kExitUsage.
std::string ArchiveUsageText();
int ArchiveUsage();

// Times as the archive commands show them: local, and UTC with milliseconds.
std::string LocalTime(archive::TimeMs ms);
std::string UtcTime(archive::TimeMs ms);

// DATE (YYYY-MM-DD) or DATE'T'HH:MM[:SS], local time unless it ends in 'Z'.
// A date alone given as an end takes in that whole day.
std::optional<archive::TimeMs> ParseWhen(std::string text, bool end);

// A count: digits only, 0 or more.
std::optional<int> Count(const std::string& s);

// A value typed by people as one tab-separated field: tabs and line breaks
// become blanks.
std::string Field(const std::string& s);

// The runs these options narrow to: --lot, --part, --operator, --station,
// --tester, --text, --since, --until. False for a date that is not one.
bool NarrowingOptions(const Arguments& a, archive::RunQuery& q);

// What list, show and export read: with `fromServer` the factory server
// (every station's runs, read-only) when one is configured and answers;
// otherwise, said on standard error, the station's own archive. Null (the
// reason on standard error) when neither can be read.
std::unique_ptr<archive::ArchiveReader> OpenReader(const Arguments& a, bool fromServer);

// What yield, failures and report read: the reader OpenReader gives, with
// its statistics. Null (the reason on standard error) when none can be read.
struct StatisticsReader {
    std::unique_ptr<archive::ArchiveReader> reader;
    archive::StatisticsSource* source = nullptr;
    explicit operator bool() const { return source != nullptr; }
};
StatisticsReader OpenStatistics(const Arguments& a, bool fromServer);

// list, show and export take `--server` alone (the configured server) or
// `--server=URL`: the bare flag becomes "--from-server".
std::vector<std::string> ServerFlag(const std::vector<std::string>& args);

// After an upload was archived: one try, with a short time-out, to send what
// waits to the configured server; the outcome is said on standard output and
// never changes the upload's exit status.
void ForwardAfterUpload(const archive::ArchiveConfig& config);

// The configured archive for reading; on failure the reason is on standard
// error and the result is empty. A narrowing --operator is not the reader.
std::unique_ptr<archive::SqliteArchive> ForReading(const Arguments& a);

// The archive configuration for these arguments (--archive FILE, --no-archive,
// --operator NAME, --server URL), the environment and the settings file.
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

// What a commit compared its records with, as lines for standard output:
// "  compared with LABEL: 14 same, 4 differs" and the warning, if any; empty
// when it had no reference.
std::string ComparedLines(const archive::Committed& done);

// The upload's run details from its arguments (--lot, --part, --operator,
// --note, --archive, --no-archive). True when the block was archived or the
// archive is off; the outcome is said on standard output, a failure
// ("not archived: reason") on standard error.
bool ArchiveUpload(const Arguments& a, const RecordBlock& block, const UploadFacts& facts);

}  // namespace vark::cli
