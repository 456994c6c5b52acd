// The charts' bars, texts and the filters their bars stand for, from tallies
// counted by hand.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>

#include "ui/statistics_charts.h"

namespace vark {
namespace {

using archive::CauseKind;
using archive::FailedRecord;
using archive::RunQuery;
using archive::RunTally;
using archive::TimeMs;

class Zone {
  public:
    explicit Zone(const char* tz) {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        old_ = had_ ? old : "";
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~Zone() {
        if (had_) {
            ::setenv("TZ", old_.c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

  private:
    bool had_ = false;
    std::string old_;
};

RunTally Tally(const std::string& lot, TimeMs started, int records, int same, int differs,
               int errors = 0, int empty = 0) {
    RunTally t;
    t.uuid = lot + std::to_string(started);
    t.lot = lot;
    t.started = started;
    t.ended = started + 60000;
    t.records = records;
    t.same = same;
    t.differs = differs;
    t.errors = errors;
    t.empty = empty;
    return t;
}

FailedRecord Failure(const std::string& verdict, const std::string& missing,
                     const std::string& extra = {}, int pins = 10) {
    FailedRecord f;
    f.verdict = verdict;
    f.missing = missing;
    f.extra = extra;
    f.pinCount = pins;
    f.referencePins = 10;
    return f;
}

constexpr TimeMs kDay = 24LL * 3600 * 1000;
constexpr TimeMs kT0 = 1709625600000;  // 2024-03-05 08:00 UTC

TEST(StatisticsCharts, LotsNewestLastWithCountsAndNotJudgedNeverPassed) {
    Zone utc("UTC0");
    // Lot B started first: it comes first, although its name sorts later.
    const std::vector<RunTally> runs = {
        Tally("B", kT0, 10, 9, 1),
        Tally("A", kT0 + kDay, 10, 6, 2, 1, 1),    // 9 used: 6 passed, 3 failed
        Tally("A", kT0 + kDay + 1000, 5, -1, -1),  // no reference: 5 not judged
        Tally("C", kT0 + 2 * kDay, 4, -1, -1),     // nothing judged at all
    };
    const StatisticsCharts c = MakeStatisticsCharts(runs, {});
    ASSERT_EQ(c.lots.size(), 3u);
    EXPECT_EQ(c.lots[0].key, "B");
    EXPECT_EQ(c.lots[1].key, "A");
    EXPECT_EQ(c.lots[2].key, "C");
    EXPECT_DOUBLE_EQ(*c.lots[0].percent, 90.0);
    EXPECT_DOUBLE_EQ(*c.lots[1].percent, 100.0 * 6 / 9);
    EXPECT_FALSE(c.lots[2].percent.has_value());
    EXPECT_EQ(c.lots[1].hover, "Lot A: 6 of 9 passed (66.7 %), 3 failed, 5 not judged; 2 runs");
    EXPECT_EQ(c.lots[2].hover, "Lot C: 0 of 0 passed, 0 failed, 4 not judged; 1 run (not judged)");
    EXPECT_EQ(c.summary, "4 runs: 15 of 19 records passed (78.9 %), 4 failed, 9 not judged.");
    ASSERT_EQ(c.days.size(), 3u);
    EXPECT_EQ(c.days[0].key, "2024-03-05");
    EXPECT_EQ(c.days[2].key, "2024-03-07");
    EXPECT_EQ(MakeStatisticsCharts({}, {}).summary, "No runs.");
}

TEST(StatisticsCharts, ParetoBarsFoldTheRestAndTheLineEndsAtAll) {
    std::vector<FailedRecord> failed;
    for (int i = 0; i < 5; ++i) {
        failed.push_back(Failure("differs", "A03-B03"));
    }
    failed.push_back(Failure("differs", "A03-B03 A04-B04", "A03-B04"));
    failed.push_back(Failure("error", ""));
    failed.push_back(Failure("pin-count", "", "", 12));
    // 6 missing A03-B03, then four causes of one each.
    const StatisticsCharts three = MakeStatisticsCharts({}, failed, 3);
    ASSERT_EQ(three.causes.size(), 3u);
    EXPECT_EQ(three.failedRecords, 8);
    EXPECT_EQ(three.causes[0].label, "missing A03-B03");
    EXPECT_EQ(three.causes[0].count, 6);
    EXPECT_DOUBLE_EQ(three.causes[0].cumulativePercent, 60.0);
    EXPECT_EQ(three.causes[0].hover, "missing A03-B03: 6 (60.0 %); 60.0 % so far");
    EXPECT_EQ(three.causes[2].kind, CauseKind::Others);
    EXPECT_EQ(three.causes[2].count, 3);
    EXPECT_DOUBLE_EQ(three.causes[2].cumulativePercent, 100.0);

    const StatisticsCharts all = MakeStatisticsCharts({}, failed, 10);
    ASSERT_EQ(all.causes.size(), 5u);
    EXPECT_DOUBLE_EQ(all.causes.back().cumulativePercent, 100.0);
    for (std::size_t i = 1; i < all.causes.size(); ++i) {
        EXPECT_GE(all.causes[i - 1].count, all.causes[i].count);
    }
}

TEST(StatisticsCharts, ABarNarrowsTheFilterItCameFrom) {
    RunQuery filter;
    filter.part = "P-1";
    filter.text = "night";
    filter.offset = 200;

    YieldBar lot;
    lot.key = "L-7";
    const auto byLot = NarrowToLot(filter, lot);
    ASSERT_TRUE(byLot);
    EXPECT_EQ(byLot->lot, "L-7");
    EXPECT_EQ(byLot->part, "P-1");
    EXPECT_EQ(byLot->text, "night");
    EXPECT_EQ(byLot->offset, 0);  // a page of the wider list is no page of the narrower
    // Runs without a lot cannot be picked out: an empty lot is any lot.
    EXPECT_FALSE(NarrowToLot(filter, YieldBar{}));

    struct CauseCase {
        CauseKind kind;
        std::optional<RunQuery::Verdicts> verdicts;
    } causes[] = {
        {CauseKind::Missing, RunQuery::Verdicts::SomeDiffer},
        {CauseKind::Extra, RunQuery::Verdicts::SomeDiffer},
        {CauseKind::PinCount, RunQuery::Verdicts::SomeDiffer},
        {CauseKind::Error, RunQuery::Verdicts::SomeErrors},
        {CauseKind::Others, std::nullopt},
    };
    for (const auto& c : causes) {
        CauseBar bar;
        bar.kind = c.kind;
        const auto narrowed = NarrowToCause(filter, bar);
        ASSERT_EQ(narrowed.has_value(), c.verdicts.has_value()) << static_cast<int>(c.kind);
        if (narrowed) {
            EXPECT_EQ(narrowed->verdicts, *c.verdicts);
            EXPECT_EQ(narrowed->part, "P-1");
        }
    }
}

TEST(StatisticsCharts, ADayIsItsLocalMidnightsWithinTheFiltersPeriod) {
    // Central Europe: 2024-03-31 has 23 hours, 2024-10-27 has 25.
    Zone cet("CET-1CEST,M3.5.0,M10.5.0/3");
    struct Case {
        const char* day;
        std::optional<TimeMs> since, until;
        TimeMs wantSince, wantUntil;
    } cases[] = {
        // 2024-03-05 00:00 CET is 2024-03-04 23:00 UTC.
        {"2024-03-05", {}, {}, 1709593200000, 1709593200000 + kDay},
        {"2024-03-31", {}, {}, 1711839600000, 1711839600000 + kDay - 3600000},
        {"2024-10-27", {}, {}, 1729980000000, 1729980000000 + kDay + 3600000},
        // A filter that starts at noon and ends before the day does keeps its own bounds.
        {"2024-03-05", 1709593200000 + 13 * 3600000, 1709593200000 + 20 * 3600000,
         1709593200000 + 13 * 3600000, 1709593200000 + 20 * 3600000},
    };
    for (const Case& c : cases) {
        RunQuery filter;
        filter.since = c.since;
        filter.until = c.until;
        YieldBar bar;
        bar.key = c.day;
        const auto narrowed = NarrowToDay(filter, bar);
        ASSERT_TRUE(narrowed) << c.day;
        EXPECT_EQ(*narrowed->since, c.wantSince) << c.day;
        EXPECT_EQ(*narrowed->until, c.wantUntil) << c.day;
    }
    for (const char* notADay : {"", "2024-3-5", "2024-13-01", "2024-03-05x", "(no day)"}) {
        YieldBar bar;
        bar.key = notADay;
        EXPECT_FALSE(NarrowToDay(RunQuery{}, bar)) << notADay;
    }
}

}  // namespace
}  // namespace vark
