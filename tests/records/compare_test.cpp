#include "records/compare.h"

#include <gtest/gtest.h>

#include "records/pin_map.h"
#include "records/sample_records.h"

namespace vark {
namespace {

std::vector<std::string> Names(const std::vector<Connection>& list) {
    std::vector<std::string> out;
    for (const Connection& c : list) {
        out.push_back(ConnectionName(c));
    }
    return out;
}

using Strings = std::vector<std::string>;

TestRecord Straight4() {
    return RecordBuilder(4).Straight().Grounds().Build();
}

TEST(Compare, OnlyTheReadPartOfARecordCounts) {
    const TestRecord ref = Straight4();
    TestRecord rec = ref;
    rec.bytes[kChecksumOffset] ^= 0x5A;
    rec.bytes[kReservedOffset] = 0x77;
    rec.bytes[TestRecord::RowOffset(0)] |= 0x20;     // bit 5: no such pin with 4
    rec.bytes[TestRecord::RowOffset(0) + 4] = 0xFF;  // bits 32..39
    rec.bytes[TestRecord::RowOffset(7)] = 0xFF;      // row 7: no such pin
    rec.bytes[TestRecord::RowOffset(5) + 5] = 1;     // flag of a row past the count
    rec.bytes[kGroundRowOffset] |= 0x10;             // ground row bit 4
    rec.bytes[TestRecord::RowOffset(2) + 5] = 2;     // a flag of 2 is not a connection
    EXPECT_TRUE(SameWiring(ref, rec));
    EXPECT_TRUE(SameWiring(rec, ref));
    const RecordComparison c = Compare(ref, rec);
    EXPECT_EQ(c.verdict, Verdict::Same);
    EXPECT_TRUE(c.missing.empty());
    EXPECT_TRUE(c.extra.empty());

    // A flag of exactly 1 is a connection.
    rec.bytes[TestRecord::RowOffset(2) + 5] = 1;
    EXPECT_FALSE(SameWiring(ref, rec));
    EXPECT_EQ(Names(Compare(ref, rec).extra), Strings{"A03-BGD"});
}

TEST(Compare, EveryKindOfDifferenceInThePinMapsWords) {
    const TestRecord ref = Straight4();
    struct Case {
        const char* what;
        TestRecord record;
        Strings missing;
        Strings extra;
    };
    const Case cases[] = {
        {"open",
         RecordBuilder(4).Connect(1, 1).Connect(2, 2).Connect(4, 4).Grounds().Build(),
         {"A03-B03"},
         {}},
        {"short",
         RecordBuilder(4).Straight().Connect(2, 3).Connect(3, 2).Grounds().Build(),
         {},
         {"A02-B03", "A03-B02"}},
        {"crossed",
         RecordBuilder(4).Connect(1, 2).Connect(2, 1).Connect(3, 3).Connect(4, 4).Grounds().Build(),
         {"A01-B01", "A02-B02"},
         {"A01-B02", "A02-B01"}},
        {"grounds open", RecordBuilder(4).Straight().Build(), {"AGD-BGD"}, {}},
        {"pin to B ground",
         RecordBuilder(4).Straight().ToBGround(4).Grounds().Build(),
         {},
         {"A04-BGD"}},
        {"A ground to pin",
         RecordBuilder(4).Straight().AGroundTo(2).Grounds().Build(),
         {},
         {"AGD-B02"}},
    };
    for (const Case& k : cases) {
        const RecordComparison c = Compare(ref, k.record);
        EXPECT_EQ(c.verdict, Verdict::Differs) << k.what;
        EXPECT_EQ(Names(c.missing), k.missing) << k.what;
        EXPECT_EQ(Names(c.extra), k.extra) << k.what;
        // Swapped roles swap the lists.
        const RecordComparison back = Compare(k.record, ref);
        EXPECT_EQ(back.verdict, Verdict::Differs) << k.what;
        EXPECT_EQ(Names(back.missing), k.extra) << k.what;
        EXPECT_EQ(Names(back.extra), k.missing) << k.what;
    }
}

TEST(Compare, ListsRunBySideAThenSideBWithGroundsLast) {
    // 40 pins: pin 40 and the ground are the edges of both bit sets.
    const TestRecord ref = RecordBuilder(40).Straight().Build();
    const TestRecord rec = RecordBuilder(40)
                               .Connect(1, 40)
                               .ToBGround(1)
                               .AGroundTo(1)
                               .AGroundTo(40)
                               .Grounds()
                               .ToBGround(40)
                               .Connect(40, 1)
                               .Build();
    const RecordComparison c = Compare(ref, rec);
    ASSERT_EQ(c.verdict, Verdict::Differs);
    EXPECT_EQ(Names(c.extra), (Strings{"A01-B40", "A01-BGD", "A40-B01", "A40-BGD", "AGD-B01",
                                       "AGD-B40", "AGD-BGD"}));
    ASSERT_EQ(c.missing.size(), 40u);  // no pin goes straight through
    EXPECT_EQ(ConnectionName(c.missing.front()), "A01-B01");
    EXPECT_EQ(ConnectionName(c.missing.back()), "A40-B40");
    EXPECT_TRUE(std::is_sorted(c.missing.begin(), c.missing.end()));
    EXPECT_EQ(DescribeComparison(Compare(Straight4(), RecordBuilder(4).Straight().Build())),
              "differs: missing AGD-BGD");
    EXPECT_EQ(
        DescribeComparison(Compare(Straight4(), RecordBuilder(4).Straight().AGroundTo(3).Build())),
        "differs: missing AGD-BGD; extra AGD-B03");
    EXPECT_EQ(DescribeComparison(Compare(RecordBuilder(4).Straight().Build(), Straight4())),
              "differs: extra AGD-BGD");
}

TEST(Compare, PinCountsOutsideTheMapAndOtherCounts) {
    const TestRecord ref = Straight4();
    TestRecord err = Straight4();
    err.bytes[0] = kPinCountError;
    TestRecord big = Straight4();
    big.bytes[0] = 41;
    const TestRecord empty = RecordBuilder(0).Build();
    const TestRecord eight = RecordBuilder(8).Straight().Grounds().Build();

    EXPECT_EQ(Compare(ref, err).verdict, Verdict::Error);
    EXPECT_EQ(Compare(ref, big).verdict, Verdict::Error);
    EXPECT_EQ(Compare(ref, empty).verdict, Verdict::Empty);
    const RecordComparison other = Compare(ref, eight);
    EXPECT_EQ(other.verdict, Verdict::PinCount);
    EXPECT_EQ(DescribeComparison(other), "other pin count: reference 4, record 8");
    EXPECT_TRUE(other.missing.empty());
    // Fewer pins than the reference are no less another count.
    const RecordComparison fewer = Compare(eight, ref);
    EXPECT_EQ(fewer.verdict, Verdict::PinCount);
    EXPECT_EQ(DescribeComparison(fewer), "other pin count: reference 8, record 4");
    EXPECT_TRUE(fewer.missing.empty());
    EXPECT_TRUE(fewer.extra.empty());
    EXPECT_EQ(DescribeComparison(Compare(ref, err)), "error");
    EXPECT_EQ(DescribeComparison(Compare(ref, empty)), "empty");

    // Alike means equal pin counts, whatever else a mapless record holds.
    EXPECT_TRUE(SameWiring(err, err));
    EXPECT_TRUE(SameWiring(empty, RecordBuilder(0).Straight().Build()));
    EXPECT_FALSE(SameWiring(err, big));
    EXPECT_FALSE(SameWiring(empty, err));
    EXPECT_FALSE(SameWiring(ref, eight));

    EXPECT_EQ(ReferenceProblem(ref, "Test 001"), "");
    EXPECT_EQ(ReferenceProblem(empty, "Test 009"),
              "Test 009 cannot be the reference: it is an empty slot (no test stored).");
    EXPECT_EQ(ReferenceProblem(err, "Test 008"),
              "Test 008 cannot be the reference: it is a record in error (pin count 255).");
    EXPECT_NE(ReferenceProblem(big, "Test 002"), "");
}

TEST(Compare, ConnectionNamesAndVerdictNames) {
    EXPECT_EQ(ConnectionName({3, 3}), "A03-B03");
    EXPECT_EQ(ConnectionName({4, kGroundContact}), "A04-BGD");
    EXPECT_EQ(ConnectionName({kGroundContact, 2}), "AGD-B02");
    EXPECT_EQ(ConnectionName({kGroundContact, kGroundContact}), "AGD-BGD");
    EXPECT_EQ(ConnectionName({40, 12}), "A40-B12");
    EXPECT_EQ(VerdictName(Verdict::Same), "same");
    EXPECT_EQ(VerdictName(Verdict::Differs), "differs");
    EXPECT_EQ(VerdictName(Verdict::PinCount), "pin-count");
    EXPECT_EQ(VerdictName(Verdict::Error), "error");
    EXPECT_EQ(VerdictName(Verdict::Empty), "empty");
}

TEST(CompareBlock, CountsAndSummaryOfAProductionRun) {
    const RecordBlock block = ProductionRunBlock();
    const BlockComparison c = CompareBlock(block, ReadWiring(block.slots[0]));
    ASSERT_EQ(c.records.size(), 20u);
    EXPECT_EQ(c.Count(Verdict::Same), 14);
    EXPECT_EQ(c.Count(Verdict::Differs), 4);
    EXPECT_EQ(c.Count(Verdict::PinCount), 1);
    EXPECT_EQ(c.Count(Verdict::Error), 1);
    EXPECT_EQ(c.Count(Verdict::Empty), 0);
    EXPECT_FALSE(c.AllSame());
    EXPECT_EQ(SummaryText(c), "14 same, 4 differs, 1 other pin count, 1 error");
    EXPECT_EQ(c.records[0].verdict, Verdict::Same);  // the reference itself
    EXPECT_EQ(Names(c.records[4].missing), Strings{"A03-B03"});
    EXPECT_EQ(Names(c.records[8].extra), (Strings{"A06-B07", "A07-B06"}));
    EXPECT_EQ(Names(c.records[15].missing), Strings{"AGD-BGD"});

    RecordBlock none;
    ClearBlock(none);
    const BlockComparison empty = CompareBlock(none, ReadWiring(block.slots[0]));
    EXPECT_TRUE(empty.records.empty());
    EXPECT_TRUE(empty.AllSame());
    EXPECT_EQ(SummaryText(empty), "0 same");

    // A count beyond 100 walks 100 slots.
    RecordBlock full = ProductionRunBlock();
    full.count = 250;
    const BlockComparison capped = CompareBlock(full, ReadWiring(block.slots[0]));
    EXPECT_EQ(capped.records.size(), 100u);
    EXPECT_EQ(capped.Count(Verdict::Empty), 80);
}

TEST(GroupBlock, LargestFirstTiesByLowestTestErrorsAndEmptiesApart) {
    RecordBlock block;
    ClearBlock(block);
    const TestRecord a = Straight4();
    const TestRecord b = RecordBuilder(4).Straight().Build();
    const TestRecord c = RecordBuilder(2).Straight().Build();
    TestRecord err = a;
    err.bytes[0] = kPinCountError;
    TestRecord a2 = a;  // same wiring, other checksum and reserved byte
    a2.bytes[kReservedOffset] = 9;
    const TestRecord slots[] = {c, b, a, err, b, RecordBuilder(0).Build(), a2, c, err};
    block.count = std::size(slots);
    std::copy(std::begin(slots), std::end(slots), block.slots);

    const BlockGroups g = GroupBlock(block);
    // c, b and a each have two records: ties go by lowest test number.
    ASSERT_EQ(g.groups.size(), 3u);
    EXPECT_EQ(g.groups[0], (std::vector<int>{0, 7}));
    EXPECT_EQ(g.groups[1], (std::vector<int>{1, 4}));
    EXPECT_EQ(g.groups[2], (std::vector<int>{2, 6}));
    EXPECT_EQ(g.errors, (std::vector<int>{3, 8}));
    EXPECT_EQ(g.empties, (std::vector<int>{5}));
    EXPECT_EQ(g.records, 9);
    EXPECT_EQ(g.Outliers(), 7);

    // One more of a makes it the largest, though its first test comes later.
    block.slots[block.count++] = a;
    const BlockGroups g2 = GroupBlock(block);
    EXPECT_EQ(g2.groups[0], (std::vector<int>{2, 6, 9}));
    EXPECT_EQ(g2.groups[1], (std::vector<int>{0, 7}));

    const BlockGroups run = GroupBlock(ProductionRunBlock());
    ASSERT_EQ(run.groups.size(), 6u);
    EXPECT_EQ(run.groups[0].size(), 14u);
    EXPECT_EQ(run.groups[1], (std::vector<int>{4}));
    EXPECT_EQ(run.Outliers(), 6);

    RecordBlock none;
    ClearBlock(none);
    EXPECT_TRUE(GroupBlock(none).groups.empty());
    EXPECT_EQ(GroupBlock(none).Outliers(), 0);
}

TEST(GroupBlock, WarnsWhenMostRecordsAgreeAgainstTheReference) {
    const RecordBlock run = ProductionRunBlock();
    const BlockGroups groups = GroupBlock(run);
    // The good harness as reference: no warning.
    EXPECT_EQ(MajorityWarning(run, groups, ReadWiring(run.slots[0])), "");
    // The open-pin record as reference: 14 of 20 agree against it.
    EXPECT_EQ(MajorityWarning(run, groups, ReadWiring(run.slots[4])),
              "Warning: 14 of the 20 records are wired alike (first test 001) and unlike the "
              "reference: the reference itself may be the bad cable.");
    // A golden cable of another pin count is unlike every record.
    EXPECT_NE(MajorityWarning(run, groups, ReadWiring(RecordBuilder(8).Straight().Build())), "");

    // Exactly half is not most.
    RecordBlock half;
    ClearBlock(half);
    half.count = 4;
    half.slots[0] = half.slots[1] = Straight4();
    half.slots[2] = half.slots[3] = RecordBuilder(4).Straight().Build();
    const BlockGroups hg = GroupBlock(half);
    EXPECT_EQ(MajorityWarning(half, hg, ReadWiring(half.slots[2])), "");
    half.slots[3] = Straight4();
    EXPECT_NE(MajorityWarning(half, GroupBlock(half), ReadWiring(half.slots[2])), "");
}

TEST(PinMapWords, ContactsAndTestNumbers) {
    EXPECT_EQ(ContactName('A', 3, false), "A03");
    EXPECT_EQ(ContactName('B', 40, false), "B40");
    EXPECT_EQ(ContactName('B', 0, true), "BGD");
    EXPECT_EQ(TestNumber(0), "001");
    EXPECT_EQ(TestNumber(99), "100");
}

}  // namespace
}  // namespace vark
