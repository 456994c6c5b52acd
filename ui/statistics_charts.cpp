#include "ui/statistics_charts.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace vark {
namespace {

using archive::CauseKind;
using archive::RunQuery;
using archive::TimeMs;
using archive::YieldRow;

std::string Counts(const YieldRow& row) {
    std::string out =
        std::to_string(row.passed) + " of " + std::to_string(row.Counted()) + " passed";
    if (const auto yield = row.Yield()) {
        out += " (" + PercentText(*yield * 100) + ")";
    }
    out += ", " + std::to_string(row.failed) + " failed";
    if (row.notJudged > 0) {
        out += ", " + std::to_string(row.notJudged) + " not judged";
    }
    out += "; " + std::to_string(row.runs) + (row.runs == 1 ? " run" : " runs");
    return out;
}

YieldBar Bar(const YieldRow& row, const char* what, const char* unnamed) {
    YieldBar bar;
    bar.key = row.key;
    bar.label = row.key.empty() ? unnamed : row.key;
    if (const auto yield = row.Yield()) {
        bar.percent = *yield * 100;
    }
    bar.row = row;
    bar.hover = std::string(what) + " " + bar.label + ": " + Counts(row);
    if (!bar.percent) {
        bar.hover += " (not judged)";
    }
    return bar;
}

std::vector<YieldBar> Bars(const archive::YieldTable& table, const char* what,
                           const char* unnamed) {
    std::vector<YieldBar> out;
    out.reserve(table.rows.size());
    for (const YieldRow& row : table.rows) {
        out.push_back(Bar(row, what, unnamed));
    }
    return out;
}

// Local midnight of a YYYY-MM-DD day, `plusDays` later; nothing for a key
// that is not a day.
std::optional<TimeMs> LocalMidnight(const std::string& day, int plusDays) {
    int y = 0;
    int m = 0;
    int d = 0;
    char tail = 0;
    if (day.size() != 10 || std::sscanf(day.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3 ||
        m < 1 || m > 12 || d < 1 || d > 31) {
        return std::nullopt;
    }
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = m - 1;
    tm.tm_mday = d + plusDays;
    tm.tm_isdst = -1;  // whatever daylight saving says on that day
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return static_cast<TimeMs>(t) * 1000;
}

}  // namespace

std::string PercentText(double percent) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f %%", percent);
    return buf;
}

StatisticsCharts MakeStatisticsCharts(const std::vector<archive::RunTally>& runs,
                                      const std::vector<archive::FailedRecord>& failed,
                                      int causeBars) {
    StatisticsCharts out;
    const archive::YieldTable lots = archive::Yields(runs, archive::YieldGrouping::Lot);
    out.lots = Bars(lots, "Lot", "(no lot)");
    out.days = Bars(archive::Yields(runs, archive::YieldGrouping::Day), "Day", "(no day)");
    out.total = lots.total;

    const archive::Pareto pareto = archive::FailurePareto(failed);
    out.failedRecords = pareto.failedRecords;
    const archive::ParetoTop top = archive::TopCauses(pareto, causeBars);
    std::int64_t sofar = 0;
    for (const archive::ParetoRow& row : top.rows) {
        CauseBar bar;
        bar.kind = row.kind;
        bar.label = row.cause;
        bar.count = row.count;
        sofar += row.count;
        // From the counts, so the line ends at exactly 100 % with the rest folded.
        bar.cumulativePercent =
            pareto.causes > 0 ? 100.0 * static_cast<double>(sofar) / pareto.causes : 0;
        bar.hover = row.cause + ": " + std::to_string(row.count) + " (" +
                    PercentText(pareto.causes > 0 ? 100.0 * row.count / pareto.causes : 0) + "); " +
                    PercentText(bar.cumulativePercent) + " so far";
        out.causes.push_back(std::move(bar));
    }

    const YieldRow& t = out.total;
    if (t.runs == 0) {
        out.summary = "No runs.";
    } else {
        out.summary = std::to_string(t.runs) + (t.runs == 1 ? " run: " : " runs: ") +
                      std::to_string(t.passed) + " of " + std::to_string(t.Counted()) +
                      " records passed";
        if (const auto yield = t.Yield()) {
            out.summary += " (" + PercentText(*yield * 100) + ")";
        }
        out.summary += ", " + std::to_string(t.failed) + " failed";
        if (t.notJudged > 0) {
            out.summary += ", " + std::to_string(t.notJudged) + " not judged";
        }
        out.summary += ".";
    }
    return out;
}

archive::Result<StatisticsCharts> LoadStatisticsCharts(archive::StatisticsSource& source,
                                                       const RunFilter& filter, int causeBars) {
    auto runs = source.CountedRuns(filter);
    if (!runs) {
        return runs.error();
    }
    auto failed = source.FailedRecords(filter);
    if (!failed) {
        return failed.error();
    }
    return MakeStatisticsCharts(*runs, *failed, causeBars);
}

std::optional<RunFilter> NarrowToLot(const RunFilter& filter, const YieldBar& bar) {
    // An empty lot means "any lot" to a filter: runs without one cannot be
    // picked out.
    if (bar.key.empty()) {
        return std::nullopt;
    }
    RunFilter out = filter;
    out.lot = bar.key;
    out.offset = 0;
    return out;
}

std::optional<RunFilter> NarrowToDay(const RunFilter& filter, const YieldBar& bar) {
    const auto from = LocalMidnight(bar.key, 0);
    const auto to = LocalMidnight(bar.key, 1);
    if (!from || !to) {
        return std::nullopt;
    }
    RunFilter out = filter;
    out.since = filter.since ? std::max(*filter.since, *from) : *from;
    out.until = filter.until ? std::min(*filter.until, *to) : *to;
    out.offset = 0;
    return out;
}

std::optional<RunFilter> NarrowToCause(const RunFilter& filter, const CauseBar& bar) {
    RunFilter out = filter;
    switch (bar.kind) {
        case CauseKind::Missing:
        case CauseKind::Extra:
        case CauseKind::PinCount:
            out.verdicts = RunQuery::Verdicts::SomeDiffer;
            break;
        case CauseKind::Error:
            out.verdicts = RunQuery::Verdicts::SomeErrors;
            break;
        case CauseKind::Others:
            return std::nullopt;
    }
    out.offset = 0;
    return out;
}

}  // namespace vark
