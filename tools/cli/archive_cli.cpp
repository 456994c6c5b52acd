#include "tools/cli/archive_cli.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <thread>

#include "platform/system.h"

#ifdef VARK_WITH_SERVER
#include "archive/server/forwarder.h"
#include "archive/server/server_archive.h"
#endif

#ifndef VARK_VERSION
#define VARK_VERSION "unknown"
#endif

namespace vark::cli {
namespace {

constexpr const char* kArchiveUsageHead =
    "usage: vark-cli archive SUBCOMMAND [--archive FILE] ...\n"
    "  import FILE.vku... [--lot L] [--part P] [--operator O] [--note N]\n"
    "      archive record files (a file whose records are archived already adds nothing)\n"
    "  list [--lot L] [--part P] [--operator O] [--station S] [--tester SERIAL]\n"
    "       [--since DATE] [--until DATE] [--text T] [--verdicts same|differ|errors|unjudged]\n"
    "       [--sort started|lot|part|operator|station|tester|records|same|differs|errors]\n"
    "       [--ascending] [--limit N] [--offset N] [--format text|csv|json] [--voided] "
    "[--repeats]\n"
    "      the runs, newest first; DATE is YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS] in local\n"
    "      time (with Z: UTC); --until DATE takes in that whole day\n"
    "       [--server | --server=URL]\n"
    "  show RUN [--server | --server=URL]\n"
    "      a run with its records and amendments\n"
    "  export RUN -o FILE [--server | --server=URL]\n"
    "      the record file of a run, byte for byte as it was received (\".vku\" appended)\n"
    "  amend RUN [--lot L] [--part P] [--operator O] [--note N] --why TEXT [--by NAME]\n"
    "  void RUN --why TEXT [--by NAME]\n"
    "      corrections are kept beside the run; a voided run leaves the lists\n"
    "  check\n"
    "      the archive's integrity and counts\n"
    "  backup FILE\n"
    "      a consistent copy of the archive into the new file FILE\n";
constexpr const char* kArchiveUsageTail =
    "--server reads the factory server (every station's runs) instead, or says why\n"
    "it cannot and reads the station's archive.\n"
    "RUN is a run's UUID or an unambiguous start of it. The archive is FILE, else\n"
    "$VARK_ARCHIVE, else the settings' archive_file, else vark-u/archive.sqlite3 in the\n"
    "user's data folder.\n";

}  // namespace

std::vector<ArchiveSubcommand>& ArchiveSubcommands() {
    static std::vector<ArchiveSubcommand> commands;
    return commands;
}

std::string ArchiveUsageText() {
    std::string text = kArchiveUsageHead;
    for (const ArchiveSubcommand& c : ArchiveSubcommands()) {
        text += std::string(c.usage);
    }
    return text + kArchiveUsageTail;
}

int ArchiveUsage() {
    std::fputs(ArchiveUsageText().c_str(), stderr);
    return kExitUsage;
}

std::string LocalTime(archive::TimeMs ms) {
    return archive::FormatTime(ms, "%Y-%m-%d %H:%M:%S", true);
}

std::string UtcTime(archive::TimeMs ms) {
    char millis[8];
    std::snprintf(millis, sizeof millis, ".%03dZ", static_cast<int>((ms % 1000 + 1000) % 1000));
    return archive::FormatTime(ms, "%Y-%m-%dT%H:%M:%S", false) + millis;
}

bool Number(std::string_view s, std::size_t pos, std::size_t len, int& out) {
    if (pos + len > s.size()) {
        return false;
    }
    const char* b = s.data() + pos;
    return std::from_chars(b, b + len, out).ptr == b + len;
}

// DATE or DATE'T'HH:MM[:SS], in local time unless it ends in 'Z'. A date
// alone given as an end takes in that whole day.
std::optional<archive::TimeMs> ParseWhen(std::string text, bool end) {
    bool utc = false;
    if (!text.empty() && (text.back() == 'Z' || text.back() == 'z')) {
        utc = true;
        text.pop_back();
    }
    std::tm tm{};
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (text.size() < 10 || text[4] != '-' || text[7] != '-' || !Number(text, 0, 4, y) ||
        !Number(text, 5, 2, mo) || !Number(text, 8, 2, d) || mo < 1 || mo > 12 || d < 1 || d > 31) {
        return std::nullopt;
    }
    const bool dateOnly = text.size() == 10;
    if (!dateOnly) {
        if ((text[10] != 'T' && text[10] != ' ') || text.size() < 16 || text[13] != ':' ||
            !Number(text, 11, 2, h) || !Number(text, 14, 2, mi) || h > 23 || mi > 59) {
            return std::nullopt;
        }
        if (text.size() != 16 &&
            (text.size() != 19 || text[16] != ':' || !Number(text, 17, 2, s) || s > 60)) {
            return std::nullopt;
        }
    }
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d + (dateOnly && end ? 1 : 0);
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    std::time_t t;
    if (utc) {
#ifdef _WIN32
        t = _mkgmtime(&tm);
#else
        t = timegm(&tm);
#endif
    } else {
        t = std::mktime(&tm);
    }
    if (t == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return static_cast<archive::TimeMs>(t) * 1000;
}

std::optional<int> Count(const std::string& s) {
    int v = 0;
    if (s.empty() || std::from_chars(s.data(), s.data() + s.size(), v).ptr != s.data() + s.size() ||
        v < 0) {
        return std::nullopt;
    }
    return v;
}

// Values typed by people may hold tabs or line breaks; a text line keeps
// one field per tab all the same.
std::string Field(const std::string& s) {
    std::string out;
    for (const char c : s) {
        out += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
    }
    return out;
}

bool NarrowingOptions(const Arguments& a, archive::RunQuery& q) {
    q.lot = a.Value("--lot");
    q.part = a.Value("--part");
    q.operatorName = a.Value("--operator");
    q.station = a.Value("--station");
    q.testerSerial = a.Value("--tester");
    q.text = a.Value("--text");
    if (a.Has("--since") && !(q.since = ParseWhen(a.Value("--since"), false))) {
        return false;
    }
    if (a.Has("--until") && !(q.until = ParseWhen(a.Value("--until"), true))) {
        return false;
    }
    return true;
}

std::unique_ptr<archive::SqliteArchive> ForReading(const Arguments& a) {
    // A narrowing --operator names the runs, not who is asking.
    Arguments where = a;
    where.options.erase("--operator");
    return OpenArchive(ArchiveConfigFor(where), archive::OpenOptions::Mode::Read);
}

archive::ArchiveConfig ArchiveConfigFor(const Arguments& a) {
    archive::ArchiveOverrides o;
    if (a.Has("--archive")) {
        o.file = a.Value("--archive");
    }
    o.disabled = a.Has("--no-archive");
    if (a.Has("--operator")) {
        o.operatorName = a.Value("--operator");
    }
    if (a.Has("--server")) {
        o.server = a.Value("--server");
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
    std::printf("\n%s", ComparedLines(*done).c_str());
    store.reset();
    ForwardAfterUpload(config);
    return true;
}

std::vector<std::string> ServerFlag(const std::vector<std::string>& args) {
    std::vector<std::string> out = args;
    for (std::string& s : out) {
        if (s == "--") {
            break;
        }
        if (s == "--server") {
            s = "--from-server";
        }
    }
    return out;
}

std::unique_ptr<archive::ArchiveReader> OpenReader(const Arguments& a, bool fromServer) {
    Arguments where = a;
    where.options.erase("--operator");
    if (fromServer || a.Has("--server")) {
#ifdef VARK_WITH_SERVER
        const archive::ArchiveConfig config = ArchiveConfigFor(where);
        if (config.server.empty()) {
            std::cerr << "no server is configured (--server=URL, VARK_ARCHIVE_SERVER or server= "
                         "in the settings); reading this station's archive\n";
        } else {
            auto server = archive::ServerArchive::Open(config.server);
            if (server) {
                return std::move(server.value());
            }
            std::cerr << server.error().message << "\nreading this station's archive instead\n";
        }
#else
        std::cerr << "this build cannot reach a server; reading this station's archive\n";
#endif
    }
    return OpenArchive(ArchiveConfigFor(where), archive::OpenOptions::Mode::Read);
}

StatisticsReader OpenStatistics(const Arguments& a, bool fromServer) {
    StatisticsReader out;
    out.reader = OpenReader(a, fromServer);
    // Both the station's archive and the server give statistics.
    out.source = dynamic_cast<archive::StatisticsSource*>(out.reader.get());
    if (out.reader && !out.source) {
        std::cerr << "this archive gives no statistics\n";
    }
    return out;
}

void ForwardAfterUpload(const archive::ArchiveConfig& config) {
#ifdef VARK_WITH_SERVER
    if (config.server.empty()) {
        return;
    }
    archive::ForwarderOptions o;
    o.archive = config.file;
    o.server = config.server;
    o.connectTimeoutSeconds = 3;
    o.statementTimeoutMs = 10000;
    o.archiveBusyTimeoutMs = config.busyTimeoutMs;
    archive::Forwarder forwarder(o);
    const archive::ForwardOutcome out = forwarder.ForwardNow();
    if (out.waiting == 0 && out.error.empty()) {
        std::printf("sent to the server\n");
    } else if (auto state = forwarder.State()) {
        std::printf("%s\n", archive::WaitingText(*state).c_str());
    }
#else
    (void)config;
#endif
}

std::string ComparedLines(const archive::Committed& done) {
    if (!done.comparison) {
        return {};
    }
    std::string out =
        "  compared with " + done.referenceLabel + ": " + SummaryText(*done.comparison) + "\n";
    if (!done.warning.empty()) {
        out += "  " + done.warning + "\n";
    }
    return out;
}

}  // namespace vark::cli
