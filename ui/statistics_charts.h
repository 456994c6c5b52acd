// What the History window's charts show, without a toolkit: yield per lot
// (oldest lot first, so the newest is last), yield per day and the Pareto of
// failure causes, each bar with its hover text, and the runs filter a click
// on a bar narrows to. The numbers are the archive's own (Yields,
// FailurePareto), so the charts, vark-cli and the lot report agree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/error.h"
#include "archive/run.h"
#include "archive/statistics.h"

namespace vark {

// The runs the charts are drawn for: the History window's current filter.
// Its sort, limit and offset are not used here.
using RunFilter = archive::RunQuery;

struct YieldBar {
    std::string key;    // the lot, or the day as YYYY-MM-DD (local)
    std::string label;  // what the axis says: the key, "(no lot)"
    // First-pass yield in percent; nothing when no record was judged (the
    // bar stays empty and its text says "not judged", never passed).
    std::optional<double> percent;
    archive::YieldRow row;
    std::string hover;  // "Lot L7: 45 of 50 passed (90.0 %), 5 failed, 2 not judged; 3 runs"
};

struct CauseBar {
    archive::CauseKind kind = archive::CauseKind::Missing;
    std::string label;  // "missing A03-B03", "12 other causes"
    std::int64_t count = 0;
    double cumulativePercent = 0;  // this bar and every one before it
    std::string hover;             // "missing A03-B03: 12 (40.0 %); 70.0 % so far"
};

struct StatisticsCharts {
    std::vector<YieldBar> lots;    // oldest lot first
    std::vector<YieldBar> days;    // in order
    std::vector<CauseBar> causes;  // largest first, the rest folded into the last
    archive::YieldRow total;       // every counted run of the filter
    std::int64_t failedRecords = 0;
    // "12 runs: 1140 of 1200 records passed (95.0 %), 60 failed, 100 not
    // judged"; "No runs." for an empty filter.
    std::string summary;
};

// Bars the Pareto chart has room for.
inline constexpr int kCauseBars = 10;

StatisticsCharts MakeStatisticsCharts(const std::vector<archive::RunTally>& runs,
                                      const std::vector<archive::FailedRecord>& failed,
                                      int causeBars = kCauseBars);

// Both queries of the filter, then the charts; the archive's reason when
// either fails.
archive::Result<StatisticsCharts> LoadStatisticsCharts(archive::StatisticsSource& source,
                                                       const RunFilter& filter,
                                                       int causeBars = kCauseBars);

// The filter narrowed to one bar; nothing when the bar cannot be told apart
// by a filter (runs without a lot, the folded rest of the causes).
std::optional<RunFilter> NarrowToLot(const RunFilter& filter, const YieldBar& bar);
// The local day's runs: from its midnight to the next, within the filter's
// own period.
std::optional<RunFilter> NarrowToDay(const RunFilter& filter, const YieldBar& bar);
// A missing or extra connection and another pin count narrow to runs with a
// record wired otherwise, an error to runs with a record in error.
std::optional<RunFilter> NarrowToCause(const RunFilter& filter, const CauseBar& bar);

// A share as the charts write it: "90.0 %".
std::string PercentText(double percent);

}  // namespace vark
