// The window program's command line: an optional record file to open at
// start, the archive (--archive FILE, --no-archive), the factory server
// (--server URL), --help and --version. Exit statuses follow the
// usual convention: 0 after help or version, 2 for wrong usage.
#pragma once

#include <QString>
#include <QStringList>

namespace vark {

inline constexpr int kExitUsage = 2;

struct CommandLine {
    // 0 or more: the program ends at once with this status after printing
    // `out` on standard output and `err` on standard error. -1: run.
    int exitStatus = -1;
    QString out;
    QString err;
    // The file to open, as an absolute path; empty when none was given.
    QString file;
    // --archive FILE (as given; empty when absent) and --no-archive.
    QString archiveFile;
    bool noArchive = false;
    // --server URL: set when given ("" turns the configured server off).
    bool serverGiven = false;
    QString server;
};

// `arguments` as QCoreApplication::arguments() gives them (the program first,
// the platform's own options already taken out). `name` and `version` are
// what --version prints.
CommandLine ParseCommandLine(const QStringList& arguments, const QString& name,
                             const QString& version);

// Help, the version and wrong usage are answered before the window system
// is reached, so that they work without a display. Help and the version are
// asked for when the raw arguments (argv as given) hold their options.
bool AsksForHelpOrVersion(const QStringList& rawArguments);

// The raw arguments hold something that may be one of the toolkit's own
// options (a single dash and a word, as in "-platform offscreen", or one of
// the toolkit's words after two, as in "--platform offscreen"): only the
// toolkit can take those out, so usage is judged after it has.
bool MayHoldToolkitOptions(const QStringList& rawArguments);

}  // namespace vark
