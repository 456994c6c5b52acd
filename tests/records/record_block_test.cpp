#include "records/record_block.h"

#include <gtest/gtest.h>

#include <vector>

#include "records/sample_records.h"

namespace vark {
namespace {

std::vector<int> List(const Connections& c) {
    return {c.begin(), c.end()};
}

TestRecord Blank(int pins) {
    TestRecord r{};
    r.bytes[0] = static_cast<std::uint8_t>(pins);
    return r;
}

TEST(RecordChecksum, SumsBytesOneTo246Only) {
    TestRecord r = Blank(2);
    r.bytes[1] = 0x01;
    r.bytes[7] = 0x02;
    EXPECT_EQ(RecordChecksum(r), 3);
    // Pin count, checksum byte and reserved byte are outside the sum.
    r.bytes[0] = 40;
    r.bytes[247] = 0x77;
    r.bytes[248] = 0xAB;
    EXPECT_EQ(RecordChecksum(r), 3);
    // Bytes 1 and 246 are the ends of the summed range; the sum wraps at 256.
    r.bytes[246] = 0xFF;
    EXPECT_EQ(RecordChecksum(r), 2);
    for (int i = 1; i <= 246; ++i)
        r.bytes[i] = 0xFF;
    EXPECT_EQ(RecordChecksum(r), static_cast<std::uint8_t>(246 * 0xFF));
}

TEST(CheckRecords, MarksOnlyUsedNonEmptyMismatches) {
    RecordBlock block;
    ClearBlock(block);
    TestRecord good = Blank(2);
    good.bytes[1] = 0x01;
    good.bytes[7] = 0x02;
    good.bytes[247] = 3;
    TestRecord bad = good;
    bad.bytes[247] = 4;
    TestRecord empty = Blank(0);
    empty.bytes[5] = 0x99;  // garbage in an empty slot never makes it an error
    TestRecord err = Blank(255);
    err.bytes[247] = RecordChecksum(err);
    block.count = 4;
    block.slots[0] = good;
    block.slots[1] = bad;
    block.slots[2] = empty;
    block.slots[3] = err;
    block.slots[4] = bad;  // beyond the count: not looked at
    CheckRecords(block);
    EXPECT_EQ(block.slots[0].bytes[0], 2);
    EXPECT_EQ(block.slots[1].bytes[0], 255);
    EXPECT_EQ(block.slots[2].bytes[0], 0);
    EXPECT_EQ(block.slots[3].bytes[0], 255);
    EXPECT_EQ(block.slots[4].bytes[0], 2);
    // Nothing but byte 0 changes.
    EXPECT_EQ(block.slots[1].bytes[247], 4);
}

TEST(CheckRecords, CountAbove100StopsAtSlot99) {
    RecordBlock block;
    ClearBlock(block);
    block.count = 250;
    for (auto& s : block.slots) {
        s = Blank(3);
        s.bytes[247] = 1;  // wrong checksum
    }
    CheckRecords(block);  // must stay inside the block (ASan would see otherwise)
    for (auto& s : block.slots)
        EXPECT_EQ(s.bytes[0], 255);
}

TEST(GetConnections, ReadsOnlyBitsBelowPinCountAndFlagExactlyOne) {
    TestRecord r = Blank(4);
    r.bytes[TestRecord::RowOffset(0)] = 0b0000'0101;
    r.bytes[TestRecord::RowOffset(0) + 5] = 1;
    EXPECT_EQ(List(GetConnections(r, 0)), (std::vector<int>{1, 3, 5}));

    // Bit 5 is beyond a 2-pin cable: ignored by the map, still summed.
    TestRecord two = Blank(2);
    two.bytes[1] = 0b0010'0001;
    EXPECT_EQ(List(GetConnections(two, 0)), (std::vector<int>{1}));
    EXPECT_EQ(RecordChecksum(two), 0x21);

    for (std::uint8_t flag : {0, 2, 0xFF}) {
        r.bytes[TestRecord::RowOffset(1) + 5] = flag;
        EXPECT_TRUE(GetConnections(r, 1).empty()) << int(flag);
    }
}

TEST(GetConnections, GroundRowIsRowNWhateverTheCount) {
    TestRecord r = Blank(3);
    r.bytes[241] = 0b100;  // A's ground to B3
    r.bytes[246] = 1;
    EXPECT_EQ(List(GetConnections(r, 3)), (std::vector<int>{3, 4}));
    // Row 3 of the pin rows is not the ground row for a 3-pin cable.
    r.bytes[TestRecord::RowOffset(3)] = 0xFF;
    EXPECT_EQ(List(GetConnections(r, 3)), (std::vector<int>{3, 4}));
}

TEST(GetConnections, FortyPinsUseAllFiveBytes) {
    TestRecord r = Blank(40);
    for (int b = 0; b < 5; ++b)
        r.bytes[TestRecord::RowOffset(39) + b] = 0xFF;
    r.bytes[TestRecord::RowOffset(39) + 5] = 1;
    const auto c = GetConnections(r, 39);
    ASSERT_EQ(c.size, 41);
    EXPECT_EQ(c.items[0], 1);
    EXPECT_EQ(c.items[39], 40);
    EXPECT_EQ(c.items[40], 41);
}

TEST(GetConnections, OutOfModelPinCountsGiveNothing) {
    TestRecord r = Blank(41);
    r.bytes[1] = 1;
    EXPECT_TRUE(GetConnections(r, 0).empty());
    EXPECT_TRUE(GetConnections(Blank(0), 0).empty());
}

TEST(StoredLength, CountsTheCountByteAndUsedSlots) {
    RecordBlock block;
    ClearBlock(block);
    EXPECT_EQ(StoredLength(block), 1u);
    block.count = 3;
    EXPECT_EQ(StoredLength(block), 748u);
    block.count = 100;
    EXPECT_EQ(StoredLength(block), 24901u);
    block.count = 200;  // never past the block
    EXPECT_EQ(StoredLength(block), 24901u);
}

TEST(RecordBuilder, BuildsTheByteImage) {
    const TestRecord r = RecordBuilder(2).Connect(1, 1).Connect(2, 2).Build();
    EXPECT_EQ(r.bytes[1], 0x01);
    EXPECT_EQ(r.bytes[7], 0x02);
    EXPECT_EQ(r.bytes[247], 3);
}

}  // namespace
}  // namespace vark
