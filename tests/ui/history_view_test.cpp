// The History window's rules: cell texts, the query a filter makes, the
// count line and the checks before an amendment.
#include <gtest/gtest.h>

#include "ui/history_view.h"

namespace vark {
namespace {

using archive::RunQuery;

TEST(HistoryView, CountLineGroupsThousands) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "No runs"},
        {1, "1 run"},
        {2, "2 runs"},
        {999, "999 runs"},
        {1000, "1,000 runs"},
        {1204, "1,204 runs"},
        {100000, "100,000 runs"},
        {1234567, "1,234,567 runs"},
    };
    for (const auto& [n, text] : cases) {
        EXPECT_EQ(RunCountText(n), text) << n;
    }
}

TEST(HistoryView, TesterCellNamesWhereTheRunCameFrom) {
    archive::RunSummary run;
    run.port = "/dev/ttyUSB0";
    run.testerSerial = "0001";
    EXPECT_EQ(HistoryCell(run, 5), "0001");
    run.testerSerial.clear();
    EXPECT_EQ(HistoryCell(run, 5), "/dev/ttyUSB0") << "a tester that gave no serial";
    run.source = archive::Source::Import;
    run.fileName = "/srv/lot7.vku";
    EXPECT_EQ(HistoryCell(run, 5), "import /srv/lot7.vku");
    EXPECT_EQ(HistoryCell(run, kHistoryColumns), "");
    EXPECT_EQ(HistoryCell(run, -1), "");
}

TEST(HistoryView, QueryTrimsTypedValuesAndSortsByTheColumn) {
    HistoryFilter f;
    f.lot = "  L1\t";
    f.text = " bob ";
    f.part = "P 2";  // blanks inside stay
    f.withVoided = true;
    f.since = 5;
    const RunQuery q = HistoryQuery(f, 3, true);
    EXPECT_EQ(q.lot, "L1");
    EXPECT_EQ(q.text, "bob");
    EXPECT_EQ(q.part, "P 2");
    EXPECT_TRUE(q.withVoided);
    EXPECT_FALSE(q.withRepeats);
    EXPECT_EQ(q.since, 5);
    EXPECT_EQ(q.sort, RunQuery::SortKey::Operator);
    EXPECT_FALSE(q.descending);
    EXPECT_FALSE(q.limit.has_value()) << "pages are the model's";
    // Every column sorts by its own key.
    for (int c = 0; c < kHistoryColumns; ++c) {
        for (int d = c + 1; d < kHistoryColumns; ++d) {
            EXPECT_NE(HistoryQuery({}, c, false).sort, HistoryQuery({}, d, false).sort) << c << d;
        }
    }
    EXPECT_EQ(HistoryQuery({}, -1, false).sort, RunQuery::SortKey::Started);
    EXPECT_TRUE(HistoryQuery({}, 0, false).descending);
}

TEST(HistoryView, AmendmentsNeedAReasonAndAChange) {
    struct Case {
        const char* current;
        const char* value;
        const char* why;
        const char* refusal;
    };
    const Case cases[] = {
        {"L1", "L2", "typo", ""},          {"L1", "L2", "", kGiveReason},
        {"L1", "L2", " \t ", kGiveReason}, {"L1", "L1", "typo", kNothingChanged},
        {"", "L2", "was missing", ""},     {"L1", "", "not a lot", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AmendmentRefusal(c.current, c.value, c.why), c.refusal)
            << c.current << " -> " << c.value << " because " << c.why;
    }
    EXPECT_EQ(VoidRefusal(false, "mistake"), "");
    EXPECT_EQ(VoidRefusal(false, " "), kGiveReason);
    EXPECT_EQ(VoidRefusal(true, "mistake"), kAlreadyVoided);

    archive::RunSummary run;
    run.lot = "L";
    run.part = "P";
    run.operatorName = "O";
    run.note = "N";
    for (const AmendableField& f : kAmendableFieldChoices) {
        EXPECT_TRUE(archive::IsAmendableField(f.field)) << f.field;
        EXPECT_EQ(AmendableValue(run, f.field), std::string(1, f.label[0])) << f.field;
    }
}

}  // namespace
}  // namespace vark
