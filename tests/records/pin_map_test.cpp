#include "records/pin_map.h"

#include <gtest/gtest.h>

#include "records/sample_records.h"

namespace vark {
namespace {

// The joined pin map, lines separated by '|', for compact expectations.
std::string Map(const TestRecord& r) {
    std::string out;
    for (const auto& l : BuildPinMapRow(r, 0).lines) {
        out += (out.empty() ? "" : "|") + l;
    }
    return out;
}

TEST(PinMap, LabelsOfCountsAndSlots) {
    EXPECT_EQ(BuildPinMapRow(RecordBuilder(4).Build(), 0).id, "001");
    EXPECT_EQ(BuildPinMapRow(RecordBuilder(4).Build(), 9).id, "010");
    EXPECT_EQ(BuildPinMapRow(RecordBuilder(4).Build(), 99).id, "100");
    EXPECT_EQ(BuildPinMapRow(RecordBuilder(8).Build(), 0).pin, "(08pin)");
    EXPECT_EQ(BuildPinMapRow(RecordBuilder(40).Build(), 0).pin, "(40pin)");
}

TEST(PinMap, EmptyErrorAndOutOfModelCountsHaveNoMap) {
    // Whatever the other bytes hold.
    TestRecord r = RecordBuilder(4).Straight().Grounds().Build();
    for (int n : {0, 255, 41, 100, 254}) {
        r.bytes[0] = static_cast<std::uint8_t>(n);
        const PinMapRow row = BuildPinMapRow(r, 0);
        EXPECT_EQ(row.pin, n == 0 ? "(Empty)" : "(Err)") << n;
        EXPECT_TRUE(row.lines.empty()) << n;
        EXPECT_TRUE(BuildPinGroups(r).empty());
    }
}

TEST(PinMap, StraightCableWithAndWithoutGrounds) {
    EXPECT_EQ(Map(RecordBuilder(4).Straight().Grounds().Build()),
              "  A01-B01  A02-B02  A03-B03  A04-B04  AGD-BGD");
    EXPECT_EQ(Map(RecordBuilder(4).Straight().Build()),
              "  A01-B01  A02-B02  A03-B03  A04-B04  AGD");
}

TEST(PinMap, GroupsJoinSideAPinsWithTheSameSignature) {
    EXPECT_EQ(Map(RecordBuilder(4).Straight().Connect(2, 3).Connect(3, 2).Build()),
              "  A01-B01  A02-A03-B02-B03  A04-B04  AGD");
    // A4 and A's ground share B4 + BGD: the ground joins pin 4's group.
    EXPECT_EQ(Map(RecordBuilder(4).Straight().ToBGround(4).AGroundTo(4).Grounds().Build()),
              "  A01-B01  A02-B02  A03-B03  A04-AGD-B04-BGD");
}

TEST(PinMap, OpenPinsCrossedPairsAndBGround) {
    EXPECT_EQ(Map(RecordBuilder(4).Connect(1, 1).Connect(2, 2).Connect(4, 4).Build()),
              "  A01-B01  A02-B02  A03  A04-B04  AGD");
    EXPECT_EQ(Map(RecordBuilder(4).Connect(1, 1).ToBGround(2).Connect(3, 3).Connect(4, 4).Build()),
              "  A01-B01  A02-BGD  A03-B03  A04-B04  AGD");
    EXPECT_EQ(Map(RecordBuilder(2).Connect(1, 2).Connect(2, 1).Build()), "  A01-B02  A02-B01  AGD");
}

TEST(PinMap, OnlyLengthAndFirstElementAreCompared) {
    // A2's own B3 is not shown: the head's list stands for the group.
    EXPECT_EQ(Map(RecordBuilder(3).Connect(1, 1).Connect(1, 2).Connect(2, 1).Connect(2, 3).Build()),
              "  A01-A02-B01-B02  A03  AGD");
}

TEST(PinMap, ChainsOfThreeFollowNextLinksInOrder) {
    // A1, A3, A5 share B1: one chain, heads with followers interleaved by others.
    EXPECT_EQ(Map(RecordBuilder(5).Connect(1, 1).Connect(3, 1).Connect(5, 1).Connect(2, 2).Build()),
              "  A01-A03-A05-B01  A02-B02  A04  AGD");
}

TEST(PinMap, LinesAreCutAt64CharactersBetweenTokens) {
    RecordBuilder b(12);
    for (int p = 1; p <= 11; ++p)
        b.Connect(1, p);
    const PinMapRow row = BuildPinMapRow(b.Build(), 0);
    ASSERT_EQ(row.lines.size(), 2u);
    EXPECT_EQ(row.lines[0], "  A01-B01-B02-B03-B04-B05-B06-B07-B08-B09-B10-B11  A02  A03  A04");
    EXPECT_EQ(row.lines[0].size(), 64u);
    EXPECT_EQ(row.lines[1], "  A05  A06  A07  A08  A09  A10  A11  A12  AGD");
}

TEST(PinMap, FortyPinStraightFillsSixColumns) {
    const PinMapRow row = BuildPinMapRow(RecordBuilder(40).Straight().Grounds().Build(), 0);
    ASSERT_EQ(row.lines.size(), 6u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(row.lines[i].size(), 63u) << i;
    EXPECT_EQ(row.lines[0].substr(0, 18), "  A01-B01  A02-B02");
    EXPECT_EQ(row.lines[5].size(), 54u);
    EXPECT_EQ(row.lines[5].substr(row.lines[5].size() - 9), "  AGD-BGD");
}

TEST(PinMap, LinesPastTheSixthHaveNoColumn) {
    // Every pin its own group with a long list: far more than six lines.
    RecordBuilder b(40);
    for (int a = 1; a <= 40; ++a)
        for (int p = a; p <= 40; ++p)
            b.Connect(a, p);
    const PinMapRow row = BuildPinMapRow(b.Build(), 4);
    ASSERT_GT(row.lines.size(), 6u);
    for (const auto& l : row.lines)
        EXPECT_LE(l.size(), 64u);
    const auto cells = PinMapCells(row);
    EXPECT_EQ(cells[0], "005");
    EXPECT_EQ(cells[2], row.lines[0]);
    EXPECT_EQ(cells[7], row.lines[5]);
}

TEST(PinMap, TableWalksUsedSlotsOnly) {
    RecordBlock block = SampleBlock();
    EXPECT_EQ(PinMapTable(block).size(), block.count);
    block.count = 0;
    EXPECT_TRUE(PinMapTable(block).empty());
    block.count = 255;
    EXPECT_EQ(PinMapTable(block).size(), 100u);
}

TEST(PinGroups, StructureMatchesTheText) {
    const auto groups =
        BuildPinGroups(RecordBuilder(4).Straight().ToBGround(4).AGroundTo(4).Grounds().Build());
    ASSERT_EQ(groups.size(), 4u);
    EXPECT_EQ(groups[3].aPins, (std::vector<int>{4}));
    EXPECT_TRUE(groups[3].aGround);
    EXPECT_EQ(groups[3].bPins, (std::vector<int>{4}));
    EXPECT_TRUE(groups[3].bGround);
    const auto open = BuildPinGroups(RecordBuilder(2).Build());
    ASSERT_EQ(open.size(), 3u);  // A01, A02, AGD alone
    EXPECT_TRUE(open[2].aGround);
    EXPECT_TRUE(open[2].bPins.empty());
}

}  // namespace
}  // namespace vark
