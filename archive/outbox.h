// What a station keeps for the factory server: the items waiting in its
// archive's outbox with everything the server stores of them, and the state
// of forwarding as the window and vark-cli show it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/run.h"

namespace vark::archive {

// A run as archived, with its values as first written (amendments travel on
// their own) and its stored bytes.
struct StoredRun {
    std::string uuid;
    TimeMs started = 0;
    TimeMs ended = 0;
    std::string station;
    std::string operatorName;
    std::string source;  // "upload", "import"
    std::string port;
    std::string testerSerial;
    std::string fileName;
    std::string fileSha256;
    std::string lot;
    std::string part;
    std::string note;
    std::string program;
    std::string referenceLabel;
    std::string referenceRecord;  // 249 bytes, or empty without a reference
    std::string contentSha256;
    std::string repeatOf;  // UUID
    int recordCount = 0;
    int emptyCount = 0;
    int errorCount = 0;
    int same = -1;  // -1: not compared
    int differs = -1;
    std::string goldenUuid;
    std::string warning;
    std::string block;  // the count byte and the used slots
    std::vector<RecordRow> records;
};

// SHA-256 (hex) over every stored value of the run, its records included:
// two copies of a run are the same run only when these agree.
std::string RunDigest(const StoredRun& run);

struct OutboxEntry {
    std::int64_t id = 0;
    std::string kind;  // "run", "amendment", "golden"
    std::string uuid;
    std::optional<StoredRun> run;
    std::optional<Amendment> amendment;
    std::string amendedRun;         // the amendment's run's UUID
    std::int64_t amendmentSeq = 0;  // its place among the station's amendments
    std::optional<Golden> golden;
};

// How an entry ended: on the server, or refused there as a different run
// under the same UUID (kept on both sides, never overwritten), or a
// correction of such a run, kept here.
struct OutboxMark {
    std::int64_t id = 0;
    bool conflict = false;
};

struct OutboxState {
    std::int64_t runs = 0;  // waiting
    std::int64_t amendments = 0;
    std::int64_t goldens = 0;
    std::int64_t conflicts = 0;  // runs the server holds otherwise
    std::vector<std::string> conflictRuns;
    std::optional<TimeMs> lastTry;
    std::string lastError;  // of the last try; empty when it worked
    std::optional<TimeMs> lastSent;
    std::int64_t waiting() const { return runs + amendments + goldens; }
};

// What the status bar and `vark-cli archive status` say:
// "3 runs waiting for the server (last try 10:42: connection refused)".
// Times in local time unless `utc`.
std::string WaitingText(const OutboxState& state, bool utc = false);

// The pause before try number `failures` + 1 after that many failed in a row:
// 1 s doubling up to 5 minutes, less up to a fifth by `jitter` (0..1), so
// that stations that lost the server together do not come back together.
std::int64_t RetryPauseMs(int failures, double jitter);

// A server's failure message cut to what a status bar can hold:
// "connection refused", "wrong password", ... or its first line.
std::string ShortReason(const std::string& message);

}  // namespace vark::archive
