// The comparison with a good cable as roles, tooltips and a summary, before
// any window gives them a look.
#include "ui/reference_compare.h"

#include <gtest/gtest.h>

#include "records/record_file.h"
#include "records/sample_records.h"
#include "testing/scratch_dir.h"

namespace vark {
namespace {

RecordBlock OneRecord(const TestRecord& record) {
    RecordBlock b;
    ClearBlock(b);
    b.count = 1;
    b.slots[0] = record;
    return b;
}

TEST(ReferenceCompare, RolesTooltipsAndSummaryAgainstARow) {
    const RecordBlock block = ProductionRunBlock();
    ReferenceCompare compare(block);
    EXPECT_TRUE(compare.Marks().empty());
    EXPECT_EQ(compare.Summary(), "");
    EXPECT_FALSE(compare.CanClear());

    ASSERT_EQ(compare.UseRow(0), "");
    EXPECT_EQ(compare.ReferenceRow(), 0);
    EXPECT_TRUE(compare.CanClear());
    const auto& marks = compare.Marks();
    ASSERT_EQ(marks.size(), 20u);
    EXPECT_EQ(marks[0].role, MarkRole::Reference);
    EXPECT_EQ(marks[0].toolTip, "Reference: every row is compared with this test.");
    EXPECT_EQ(marks[1].role, MarkRole::None);  // wired alike
    EXPECT_EQ(marks[1].toolTip, "");
    EXPECT_EQ(marks[4].role, MarkRole::Differs);
    EXPECT_EQ(marks[4].toolTip, "005 differs: missing A03-B03\nReference: test 001");
    EXPECT_EQ(marks[12].toolTip,
              "013 differs: missing A01-B01 A02-B02; extra A01-B02 A02-B01\nReference: test 001");
    EXPECT_EQ(marks[19].role, MarkRole::Differs);  // another pin count
    EXPECT_EQ(marks[19].toolTip,
              "020 other pin count: reference 10, record 12\nReference: test 001");
    EXPECT_EQ(marks[17].role, MarkRole::Attention);
    EXPECT_EQ(marks[17].toolTip, "018 error\nReference: test 001");
    EXPECT_EQ(compare.Summary(),
              "Reference: test 001. 14 same, 4 differs, 1 other pin count, 1 error.");

    // A reference unlike most of the block says so.
    ASSERT_EQ(compare.UseRow(4), "");
    EXPECT_EQ(compare.Marks()[0].role, MarkRole::Differs);
    EXPECT_EQ(compare.Marks()[0].toolTip, "001 differs: extra A03-B03\nReference: test 005");
    EXPECT_NE(compare.Summary().find("Warning: 14 of the 20 records are wired alike (first test "
                                     "001) and unlike the reference"),
              std::string::npos)
        << compare.Summary();

    compare.Clear();
    EXPECT_FALSE(compare.HasReference());
    EXPECT_TRUE(compare.Marks().empty());
    EXPECT_EQ(compare.Summary(), "");
}

TEST(ReferenceCompare, RowsWithoutAPinMapAreRefusedAndTheReferenceStays) {
    RecordBlock block = ProductionRunBlock();
    block.slots[2] = RecordBuilder(0).Build();
    ReferenceCompare compare(block);
    EXPECT_EQ(compare.UseRow(17),
              "\n    Test 018 cannot be the reference: it is a record in error (pin count 255).    "
              "\n");
    EXPECT_EQ(
        compare.UseRow(2),
        "\n    Test 003 cannot be the reference: it is an empty slot (no test stored).    \n");
    EXPECT_FALSE(compare.HasReference());
    EXPECT_TRUE(compare.Marks().empty());
    // Outside the list: nothing happens, nothing is said.
    EXPECT_EQ(compare.UseRow(20), "");
    EXPECT_EQ(compare.UseRow(-1), "");
    EXPECT_FALSE(compare.HasReference());

    ASSERT_EQ(compare.UseRow(1), "");
    EXPECT_NE(compare.UseRow(17), "");
    EXPECT_EQ(compare.ReferenceRow(), 1);
    EXPECT_EQ(compare.Marks()[2].role, MarkRole::Attention);
    EXPECT_EQ(compare.Marks()[2].toolTip, "003 empty\nReference: test 002");

    EXPECT_FALSE(ReferenceCompare::CanUseRow(-1, 20));
    EXPECT_FALSE(ReferenceCompare::CanUseRow(20, 20));
    EXPECT_TRUE(ReferenceCompare::CanUseRow(19, 20));
}

TEST(ReferenceCompare, GoldenFileOutlivesTheListARowReferenceDoesNot) {
    test::ScratchDir dir;
    RecordBlock block = ProductionRunBlock();
    ReferenceCompare compare(block);
    ASSERT_EQ(compare.UseRow(1), "");
    compare.ListReplaced();
    EXPECT_FALSE(compare.HasReference());
    EXPECT_TRUE(compare.Marks().empty());

    // A name in any script, as the system gives it.
    const auto gold = dir.path() / std::filesystem::path(u8"gold-\u00E9t\u00E9.vku");
    ASSERT_EQ(WriteRecordFile(gold, OneRecord(RecordBuilder(10).Straight().Grounds().Build())),
              FileStatus::Ok);
    ASSERT_EQ(compare.UseGoldenFile(gold), "");
    EXPECT_EQ(compare.ReferenceRow(), -1);
    EXPECT_EQ(compare.Marks()[0].role, MarkRole::None);
    const std::string name = reinterpret_cast<const char*>(u8"gold-\u00E9t\u00E9.vku");
    EXPECT_EQ(compare.Marks()[4].toolTip,
              "005 differs: missing A03-B03\nReference: test 001 of the golden file " + name);

    // A new block is compared with it at once.
    block = OneRecord(RecordBuilder(10).Straight().Build());
    compare.ListReplaced();
    ASSERT_EQ(compare.Marks().size(), 1u);
    EXPECT_EQ(compare.Marks()[0].toolTip,
              "001 differs: missing AGD-BGD\nReference: test 001 of the golden file " + name);
    EXPECT_EQ(compare.Summary().rfind(
                  "Reference: test 001 of the golden file " + name + ". 0 same, 1 differs.", 0),
              0u)
        << compare.Summary();
}

TEST(ReferenceCompare, GoldenFilesThatCannotServeLeaveTheReference) {
    test::ScratchDir dir;
    const RecordBlock block = ProductionRunBlock();
    ReferenceCompare compare(block);
    ASSERT_EQ(compare.UseRow(0), "");

    RecordBlock none;
    ClearBlock(none);
    ASSERT_EQ(WriteRecordFile(dir / "none.vku", none), FileStatus::Ok);
    none.count = 1;
    ASSERT_EQ(WriteRecordFile(dir / "hole.vku", none), FileStatus::Ok);
    test::WriteWhole(dir / "text.vku", "not a record file");

    EXPECT_EQ(compare.UseGoldenFile(dir / "missing.vku"), "\n    Open file failed!    \n");
    EXPECT_EQ(compare.UseGoldenFile(dir / "text.vku"), "\n    File data err!    \n");
    EXPECT_EQ(compare.UseGoldenFile(dir / "none.vku"),
              "\n    The golden file none.vku holds no records.    \n");
    EXPECT_EQ(compare.UseGoldenFile(dir / "hole.vku"),
              "\n    Test 001 of hole.vku cannot be the reference: it is an empty slot (no test "
              "stored).    \n");
    EXPECT_EQ(compare.ReferenceRow(), 0);
    EXPECT_EQ(compare.Marks()[0].role, MarkRole::Reference);
}

}  // namespace
}  // namespace vark
