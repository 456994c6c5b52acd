// A run as the archive keeps it: one upload or one imported record file, with
// where and by whom it was made, what it is for (lot, part) and the bytes a
// record file of it holds. Plain values: runs and records travel by copy
// between the archive, vark-cli and the window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/record_block.h"

namespace vark::archive {

// UTC milliseconds since 1970; shown in local time only.
using TimeMs = std::int64_t;

TimeMs NowMs();

// `format` (strftime's) applied to a time, in UTC or in local time.
std::string FormatTime(TimeMs time, const char* format, bool local);

enum class Source : std::uint8_t { Upload, Import };

// "upload" or "import", as stored.
std::string_view SourceName(Source source);

// What a new run brings; the archive adds its UUID and fingerprint.
struct NewRun {
    TimeMs started = 0;
    TimeMs ended = 0;
    std::string station;
    std::string operatorName;
    Source source = Source::Upload;
    std::string port;          // upload: the device it came through
    std::string testerSerial;  // upload: the tester's USB serial string; empty when unknown
    std::string fileName;      // import: the file as named
    std::string fileSha256;    // import: the whole file's SHA-256, hex
    std::string lot;
    std::string part;
    std::string note;
    std::string program;  // the program and version that archived it
    // The record the records were compared with, when one was set: a label
    // saying where it came from ("test 001", "golden.vku:1") and its bytes.
    std::optional<TestRecord> reference;
    std::string referenceLabel;
    // The block as Save would write it: the count byte and the used slots.
    RecordBlock block{};
};

// One used slot of a run, as stored.
struct RecordRow {
    int slot = 0;
    int pinCount = 0;
    std::string state;  // "ok", "empty", "error"
    bool checksumOk = false;
    std::string connections;  // the pin map's groups, one blank between groups
    // Against the reference, when the run had one: a verdict word
    // ("same", "differs", "pin-count", "error", "empty") and the differences.
    std::string verdict;
    std::string missing;  // connection names, one blank between
    std::string extra;
};

// Fields an amendment may change; "void" takes "1" (voided) or "0".
inline constexpr std::string_view kAmendableFields[] = {"lot", "part", "operator", "note", "void"};
bool IsAmendableField(std::string_view field);

struct Amendment {
    std::string uuid;
    TimeMs made = 0;
    std::string station;
    std::string author;
    std::string field;
    std::string oldValue;
    std::string newValue;
    std::string why;
};

// A run as lists show it, with the current values (after amendments).
struct RunSummary {
    std::string uuid;
    TimeMs started = 0;
    TimeMs ended = 0;
    std::string station;
    std::string operatorName;
    Source source = Source::Upload;
    std::string port;
    std::string testerSerial;
    std::string fileName;
    std::string lot;
    std::string part;
    std::string note;
    bool voided = false;
    std::string repeatOf;  // UUID of the first run with the same bytes and tester
    int records = 0;       // used slots
    int empty = 0;
    int errors = 0;
    // Against the reference; -1 when the run had none.
    int same = -1;
    int differs = -1;  // other wiring or another pin count
    std::string referenceLabel;
    std::string goldenUuid;  // the part's golden reference it was compared with
    // When most records were wired alike and unlike the reference.
    std::string warning;
};

struct RunDetails {
    RunSummary run;
    std::string contentSha256;  // of the exported record file
    std::string fileSha256;
    std::string program;
    std::optional<TestRecord> reference;
    std::vector<RecordRow> records;
    std::vector<Amendment> amendments;  // oldest first
};

// A part number's known-good cable. The newest of a part is the one new runs
// of the part are compared with; the older ones stay for the runs that were.
struct Golden {
    std::string uuid;
    std::string part;
    TimeMs made = 0;
    std::string station;
    std::string author;
    std::string source;  // where the record came from ("test 001 of /srv/golden.vku")
    std::string note;
    TestRecord record{};
    std::string connections;   // in the pin map's words
    std::string supersededBy;  // the next golden reference of the part; empty while current
};

struct NewGolden {
    TimeMs made = 0;  // 0: now
    std::string part;
    TestRecord record{};
    std::string source;
    std::string note;
    std::string author;
    std::string station;
};

// What lists may be narrowed to. Text fields match whole values (current
// values, after amendments); empty means any.
struct RunQuery {
    std::string lot;
    std::string part;
    std::string operatorName;
    std::string station;
    std::string testerSerial;
    std::optional<TimeMs> since;  // started at or after
    std::optional<TimeMs> until;  // started before
    // Any of the run's texts (lot, part, operator, station, tester, port,
    // file, note, UUID) holding this, letter case aside.
    std::string text;
    enum class Verdicts : std::uint8_t {
        Any,
        AllSame,     // compared, and every record the same
        SomeDiffer,  // compared, and a record wired otherwise or of another pin count
        SomeErrors,  // a record in error
        NotJudged,   // no reference
    } verdicts = Verdicts::Any;
    bool withVoided = false;
    bool withRepeats = false;
    enum class SortKey : std::uint8_t {
        Started,
        Lot,
        Part,
        Operator,
        Station,
        Tester,
        Records,
        Same,
        Differs,
        Errors,
    } sort = SortKey::Started;
    bool descending = true;  // ties: newest first
    std::optional<int> limit;
    int offset = 0;
};

struct ArchiveCounts {
    std::int64_t runs = 0;  // neither voided nor a repeat
    std::int64_t voided = 0;
    std::int64_t repeats = 0;
    std::int64_t records = 0;  // used slots of the counted runs
    std::int64_t amendments = 0;
};

// A record's connections in the pin map's words, one blank between groups
// ("A01-B01 A02-A03-B02-B03 AGD"); empty for a record without a pin map.
std::string ConnectionWords(const TestRecord& record);

// The rows of a block's used slots, compared with `reference` when given.
std::vector<RecordRow> BuildRecordRows(const RecordBlock& block,
                                       const std::optional<TestRecord>& reference);

// The record file Save would write for the block: magic, length, used slots.
std::string RecordFileBytes(const RecordBlock& block);
// The same for the stored part of a block (the count byte and the used slots).
std::string RecordFileOf(std::string_view storedBlock);

}  // namespace vark::archive
