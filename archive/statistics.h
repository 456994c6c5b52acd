// What production wants to know from the archive: yields and the causes of
// failures. Every engine hands over the same plain rows (the counted runs,
// the failing records), and the numbers are made from them here, so that the
// station's file and a shared server give the same numbers for the same runs.
//
// A record passes when it is the same as its run's reference; it fails when
// it differs, has another pin count or is in error. Empty slots, voided runs
// and repeats do not count. The records of a run without a reference are not
// judged: counted apart, never as passed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/error.h"
#include "archive/reader.h"
#include "archive/run.h"

namespace vark::archive {

// One run that counts (neither voided nor a repeat), with its current values.
struct RunTally {
    std::string uuid;
    TimeMs started = 0;
    TimeMs ended = 0;
    std::string lot;
    std::string part;
    std::string station;
    std::string operatorName;
    int records = 0;  // used slots
    int empty = 0;
    int errors = 0;
    int same = -1;     // -1: no reference, not judged
    int differs = -1;  // other wiring or another pin count
    std::string referenceLabel;
    std::string goldenUuid;
    std::string warning;

    bool Judged() const { return same >= 0; }
    int Passed() const { return Judged() ? same : 0; }
    int Failed() const { return Judged() ? differs + errors : 0; }
    int NotJudged() const { return Judged() ? 0 : records - empty; }
};

// A record of a counted, judged run that failed.
struct FailedRecord {
    std::string run;
    TimeMs started = 0;
    std::string station;
    int slot = 0;
    int pinCount = 0;
    int referencePins = 0;
    std::string verdict;  // "differs", "pin-count" or "error"
    std::string missing;  // connection names, one blank between
    std::string extra;
};

// The rows statistics are made of. Voided runs and repeats are left out
// whatever the query says; its limit, offset and order are not used.
class StatisticsSource {
  public:
    virtual ~StatisticsSource() = default;
    // The counted runs the query selects, oldest first.
    virtual Result<std::vector<RunTally>> CountedRuns(const RunQuery& query) = 0;
    // The failing records of those runs, by run (oldest first), then slot.
    virtual Result<std::vector<FailedRecord>> FailedRecords(const RunQuery& query) = 0;
    // The golden references of `part` (of every part when empty), newest first.
    virtual Result<std::vector<Golden>> Goldens(std::string_view part) = 0;
};

enum class YieldGrouping : std::uint8_t { Lot, Part, Station, Operator, Day, Run };

// "lot", "part", "station", "operator", "day", "run"; and back.
std::string_view GroupingName(YieldGrouping by);
std::optional<YieldGrouping> GroupingNamed(std::string_view name);

struct YieldRow {
    // The lot, part, station or operator; the day as YYYY-MM-DD in local
    // time; or the run's UUID.
    std::string key;
    TimeMs first = 0;  // the earliest start of its runs
    TimeMs last = 0;   // the latest end
    int runs = 0;
    std::int64_t passed = 0;
    std::int64_t failed = 0;
    std::int64_t notJudged = 0;

    std::int64_t Counted() const { return passed + failed; }
    // passed / counted; nothing when no record was judged.
    std::optional<double> Yield() const;
};

struct YieldTable {
    YieldGrouping by = YieldGrouping::Lot;
    // Lots and runs oldest first (by their earliest start), days in order,
    // the others by name.
    std::vector<YieldRow> rows;
    YieldRow total;  // every run; its key is empty
};

YieldTable Yields(const std::vector<RunTally>& runs, YieldGrouping by);

// Others: the rest of a Pareto folded into one row (TopCauses).
enum class CauseKind : std::uint8_t { Missing, Extra, PinCount, Error, Others };

// "missing", "extra", "pin-count", "error", "others".
std::string_view CauseKindName(CauseKind kind);

struct ParetoRow {
    CauseKind kind = CauseKind::Missing;
    // "missing A03-B03", "extra A06-B07", "other pin count 12", "error".
    std::string cause;
    std::int64_t count = 0;
    double share = 0;       // of all the causes counted, 0..1
    double cumulative = 0;  // this and every larger one, 0..1
};

struct Pareto {
    std::vector<ParetoRow> rows;  // largest first; equal counts by cause
    std::int64_t causes = 0;      // the sum of the counts
    std::int64_t failedRecords = 0;
};

// Each missing or extra connection of a failing record is a cause of its
// own; another pin count is one cause per pin count found, an error one.
Pareto FailurePareto(const std::vector<FailedRecord>& failed);

// The first `n` rows of a Pareto; when there are more, the first n - 1 and
// the rest folded into one row "N other causes" (kind Others). For charts
// with room for `n` bars.
struct ParetoTop {
    std::vector<ParetoRow> rows;
    int folded = 0;  // causes in the last row when it holds the rest; else 0
};
ParetoTop TopCauses(const Pareto& pareto, int n);

// A lot as its report shows it.
struct LotSummary {
    std::string lot;
    std::vector<std::string> parts;      // as the runs name them, in order of first use
    std::vector<std::string> stations;   // by name
    std::vector<std::string> operators;  // by name
    TimeMs first = 0;
    TimeMs last = 0;
    int runs = 0;  // counted
    int voided = 0;
    int repeats = 0;
    YieldRow totals;
    // The golden references its runs were compared with, oldest first, each
    // with how many runs; then other references by their labels.
    struct Reference {
        std::optional<Golden> golden;
        std::string label;
        int runs = 0;
    };
    std::vector<Reference> references;
    int runsNotJudged = 0;
    // The distinct majority warnings of its runs, each with how many runs.
    std::vector<std::pair<std::string, int>> warnings;
    Pareto pareto;
    std::vector<FailedRecord> failed;
};

// Everything about `lot` the report needs. NotFound when no run, counted or
// not, has that lot.
Result<LotSummary> GatherLot(ArchiveReader& reader, StatisticsSource& source,
                             const std::string& lot);

}  // namespace vark::archive
