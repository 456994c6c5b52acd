#include "archive/statistics.h"

#include <algorithm>
#include <map>
#include <unordered_map>

namespace vark::archive {
namespace {

std::string KeyOf(const RunTally& run, YieldGrouping by) {
    switch (by) {
        case YieldGrouping::Lot:
            return run.lot;
        case YieldGrouping::Part:
            return run.part;
        case YieldGrouping::Station:
            return run.station;
        case YieldGrouping::Operator:
            return run.operatorName;
        case YieldGrouping::Day:
            return FormatTime(run.started, "%Y-%m-%d", true);
        case YieldGrouping::Run:
            return run.uuid;
    }
    return {};
}

void Add(YieldRow& row, const RunTally& run) {
    if (row.runs == 0 || run.started < row.first) {
        row.first = run.started;
    }
    row.last = std::max(row.last, std::max(run.ended, run.started));
    ++row.runs;
    row.passed += run.Passed();
    row.failed += run.Failed();
    row.notJudged += run.NotJudged();
}

// Calls `each` with every word of a blank-separated list.
template <class F>
void EachWord(std::string_view list, F&& each) {
    std::size_t pos = 0;
    while (pos < list.size()) {
        const std::size_t end = std::min(list.find(' ', pos), list.size());
        if (end > pos) {
            each(list.substr(pos, end - pos));
        }
        pos = end + 1;
    }
}

}  // namespace

std::string_view GroupingName(YieldGrouping by) {
    switch (by) {
        case YieldGrouping::Lot:
            return "lot";
        case YieldGrouping::Part:
            return "part";
        case YieldGrouping::Station:
            return "station";
        case YieldGrouping::Operator:
            return "operator";
        case YieldGrouping::Day:
            return "day";
        case YieldGrouping::Run:
            return "run";
    }
    return "lot";
}

std::optional<YieldGrouping> GroupingNamed(std::string_view name) {
    for (const auto by : {YieldGrouping::Lot, YieldGrouping::Part, YieldGrouping::Station,
                          YieldGrouping::Operator, YieldGrouping::Day, YieldGrouping::Run}) {
        if (GroupingName(by) == name) {
            return by;
        }
    }
    return std::nullopt;
}

std::string_view CauseKindName(CauseKind kind) {
    switch (kind) {
        case CauseKind::Missing:
            return "missing";
        case CauseKind::Extra:
            return "extra";
        case CauseKind::PinCount:
            return "pin-count";
        case CauseKind::Error:
            return "error";
        case CauseKind::Others:
            return "others";
    }
    return "others";
}

std::optional<double> YieldRow::Yield() const {
    if (Counted() == 0) {
        return std::nullopt;
    }
    return static_cast<double>(passed) / static_cast<double>(Counted());
}

YieldTable Yields(const std::vector<RunTally>& runs, YieldGrouping by) {
    YieldTable table;
    table.by = by;
    std::unordered_map<std::string, std::size_t> index;
    for (const RunTally& run : runs) {
        std::string key = KeyOf(run, by);
        auto [it, fresh] = index.try_emplace(key, table.rows.size());
        if (fresh) {
            table.rows.push_back(YieldRow{std::move(key)});
        }
        Add(table.rows[it->second], run);
        Add(table.total, run);
    }
    auto byName = [](const YieldRow& a, const YieldRow& b) { return a.key < b.key; };
    auto byTime = [](const YieldRow& a, const YieldRow& b) {
        return a.first != b.first ? a.first < b.first : a.key < b.key;
    };
    if (by == YieldGrouping::Lot || by == YieldGrouping::Run) {
        std::sort(table.rows.begin(), table.rows.end(), byTime);
    } else {
        std::sort(table.rows.begin(), table.rows.end(), byName);
    }
    return table;
}

Pareto FailurePareto(const std::vector<FailedRecord>& failed) {
    Pareto out;
    // Counted by the words the records hold (which outlive this), each cause
    // named once at the end.
    std::unordered_map<std::string_view, std::int64_t> missing;
    std::unordered_map<std::string_view, std::int64_t> extra;
    std::unordered_map<int, std::int64_t> pinCounts;
    std::int64_t errors = 0;
    for (const FailedRecord& r : failed) {
        ++out.failedRecords;
        if (r.verdict == "differs") {
            EachWord(r.missing, [&](std::string_view c) { ++missing[c]; });
            EachWord(r.extra, [&](std::string_view c) { ++extra[c]; });
        } else if (r.verdict == "pin-count") {
            ++pinCounts[r.pinCount];
        } else {
            ++errors;
        }
    }
    struct Count {
        CauseKind kind;
        std::int64_t count;
    };
    std::vector<std::pair<std::string, Count>> counts;
    for (const auto& [c, n] : missing) {
        counts.push_back({"missing " + std::string(c), {CauseKind::Missing, n}});
    }
    for (const auto& [c, n] : extra) {
        counts.push_back({"extra " + std::string(c), {CauseKind::Extra, n}});
    }
    for (const auto& [pins, n] : pinCounts) {
        counts.push_back({"other pin count " + std::to_string(pins), {CauseKind::PinCount, n}});
    }
    if (errors != 0) {
        counts.push_back({"error", {CauseKind::Error, errors}});
    }
    out.rows.reserve(counts.size());
    for (auto& [cause, c] : counts) {
        out.rows.push_back({c.kind, cause, c.count, 0, 0});
        out.causes += c.count;
    }
    std::sort(out.rows.begin(), out.rows.end(), [](const ParetoRow& a, const ParetoRow& b) {
        return a.count != b.count ? a.count > b.count : a.cause < b.cause;
    });
    std::int64_t running = 0;
    for (ParetoRow& row : out.rows) {
        running += row.count;
        row.share = static_cast<double>(row.count) / static_cast<double>(out.causes);
        row.cumulative = static_cast<double>(running) / static_cast<double>(out.causes);
    }
    return out;
}

ParetoTop TopCauses(const Pareto& pareto, int n) {
    ParetoTop top;
    const auto size = static_cast<int>(pareto.rows.size());
    if (n <= 0 || size <= n) {
        top.rows = pareto.rows;
        return top;
    }
    top.rows.assign(pareto.rows.begin(), pareto.rows.begin() + (n - 1));
    ParetoRow rest{CauseKind::Others, "", 0, 0, 1.0};
    for (int i = n - 1; i < size; ++i) {
        rest.count += pareto.rows[static_cast<std::size_t>(i)].count;
    }
    top.folded = size - (n - 1);
    rest.cause = std::to_string(top.folded) + " other causes";
    rest.share = static_cast<double>(rest.count) / static_cast<double>(pareto.causes);
    top.rows.push_back(std::move(rest));
    return top;
}

Result<LotSummary> GatherLot(ArchiveReader& reader, StatisticsSource& source,
                             const std::string& lot) {
    RunQuery q;
    q.lot = lot;
    auto runs = source.CountedRuns(q);
    if (!runs) {
        return runs.error();
    }
    auto failed = source.FailedRecords(q);
    if (!failed) {
        return failed.error();
    }
    LotSummary s;
    s.lot = lot;
    s.runs = static_cast<int>(runs->size());
    for (const bool voided : {true, false}) {
        RunQuery all = q;
        all.withVoided = voided;
        all.withRepeats = !voided;
        const auto n = reader.CountRuns(all);
        if (!n) {
            return n.error();
        }
        (voided ? s.voided : s.repeats) = static_cast<int>(*n) - s.runs;
    }
    if (s.runs == 0 && s.voided == 0 && s.repeats == 0) {
        return Error{ErrorKind::NotFound, "no run of lot \"" + lot + "\" in the archive"};
    }

    std::map<std::string, int> goldenRuns;  // by UUID
    std::vector<std::pair<std::string, int>> otherRefs;
    std::vector<std::pair<std::string, int>> warnings;
    auto count = [](std::vector<std::pair<std::string, int>>& list, const std::string& key) {
        const auto it =
            std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.first == key; });
        if (it == list.end()) {
            list.emplace_back(key, 1);
        } else {
            ++it->second;
        }
    };
    for (const RunTally& r : *runs) {
        if (std::find(s.parts.begin(), s.parts.end(), r.part) == s.parts.end()) {
            s.parts.push_back(r.part);
        }
        s.stations.push_back(r.station);
        s.operators.push_back(r.operatorName);
        if (!r.goldenUuid.empty()) {
            ++goldenRuns[r.goldenUuid];
        } else if (r.Judged()) {
            count(otherRefs, r.referenceLabel);
        } else {
            ++s.runsNotJudged;
        }
        if (!r.warning.empty()) {
            count(warnings, r.warning);
        }
    }
    for (auto* list : {&s.stations, &s.operators}) {
        std::sort(list->begin(), list->end());
        list->erase(std::unique(list->begin(), list->end()), list->end());
    }
    const YieldTable table = Yields(*runs, YieldGrouping::Lot);
    s.totals = table.total;
    s.totals.key = lot;
    s.first = table.total.first;
    s.last = table.total.last;

    if (!goldenRuns.empty()) {
        // Matched by UUID among all of them: a run's part may have been
        // amended since it was compared with its golden reference.
        const auto known = source.Goldens("");
        if (!known) {
            return known.error();
        }
        // Newest first as they come: the lot's report says them oldest first.
        for (auto g = known->rbegin(); g != known->rend(); ++g) {
            if (const auto it = goldenRuns.find(g->uuid); it != goldenRuns.end()) {
                s.references.push_back({*g, "", it->second});
            }
        }
    }
    for (const auto& [label, n] : otherRefs) {
        s.references.push_back({std::nullopt, label, n});
    }
    s.warnings = std::move(warnings);
    s.pareto = FailurePareto(*failed);
    s.failed = std::move(*failed);
    return s;
}

}  // namespace vark::archive
