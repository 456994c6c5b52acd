#include "records/sample_records.h"

#include <cstring>

namespace vark {
namespace {

void SetBit(std::uint8_t* row, int bPin) {
    const int j = bPin - 1;
    row[j / 8] = static_cast<std::uint8_t>(row[j / 8] | (1u << (j % 8)));
}

}  // namespace

RecordBuilder::RecordBuilder(int pins) {
    std::memset(rec_.bytes, 0, sizeof rec_.bytes);
    rec_.bytes[0] = static_cast<std::uint8_t>(pins);
}

RecordBuilder& RecordBuilder::Connect(int aPin, int bPin) {
    SetBit(rec_.bytes + TestRecord::RowOffset(aPin - 1), bPin);
    return *this;
}

RecordBuilder& RecordBuilder::ToBGround(int aPin) {
    rec_.bytes[TestRecord::RowOffset(aPin - 1) + kRowBitsSize] = 1;
    return *this;
}

RecordBuilder& RecordBuilder::AGroundTo(int bPin) {
    SetBit(rec_.bytes + kGroundRowOffset, bPin);
    return *this;
}

RecordBuilder& RecordBuilder::Grounds() {
    rec_.bytes[kGroundRowOffset + kRowBitsSize] = 1;
    return *this;
}

RecordBuilder& RecordBuilder::Straight() {
    for (int p = 1; p <= rec_.bytes[0] && p <= kMaxPins; ++p) {
        Connect(p, p);
    }
    return *this;
}

RecordBuilder& RecordBuilder::Reserved(std::uint8_t value) {
    rec_.bytes[kReservedOffset] = value;
    return *this;
}

TestRecord RecordBuilder::Build() const {
    TestRecord out = rec_;
    out.bytes[kChecksumOffset] = RecordChecksum(out);
    return out;
}

RecordBlock SampleBlock() {
    RecordBlock block;
    ClearBlock(block);
    const TestRecord records[] = {
        RecordBuilder(8).Straight().Grounds().Build(),
        RecordBuilder(4).Connect(1, 2).Connect(2, 1).Connect(3, 3).Connect(4, 4).Grounds().Build(),
        RecordBuilder(4).Connect(1, 1).Connect(2, 2).Connect(4, 4).Grounds().Build(),
        RecordBuilder(4).Straight().Connect(2, 3).Connect(3, 2).Grounds().Build(),
        RecordBuilder(6).Straight().ToBGround(6).AGroundTo(6).Grounds().Build(),
        RecordBuilder(40).Straight().Grounds().Build(),
        RecordBuilder(12).Straight().Build(),
        [] {
            TestRecord bad = RecordBuilder(4).Straight().Build();
            bad.bytes[0] = kPinCountError;
            return bad;
        }(),
        RecordBuilder(0).Build(),
        RecordBuilder(2).Connect(1, 1).ToBGround(2).Grounds().Build(),
    };
    block.count = static_cast<std::uint8_t>(std::size(records));
    for (std::size_t i = 0; i < std::size(records); ++i) {
        block.slots[i] = records[i];
    }
    return block;
}

RecordBlock ProductionRunBlock() {
    RecordBlock block;
    ClearBlock(block);
    block.count = 20;
    for (int d = 0; d < block.count; ++d) {
        RecordBuilder harness(10);
        switch (d + 1) {
            case 5:  // A03 open
                for (int p = 1; p <= 10; ++p) {
                    if (p != 3) {
                        harness.Connect(p, p);
                    }
                }
                harness.Grounds();
                break;
            case 9:  // A06 and A07 shorted
                harness.Straight().Connect(6, 7).Connect(7, 6).Grounds();
                break;
            case 13:  // A01 and A02 crossed
                harness.Connect(1, 2).Connect(2, 1);
                for (int p = 3; p <= 10; ++p) {
                    harness.Connect(p, p);
                }
                harness.Grounds();
                break;
            case 16:  // grounds open
                harness.Straight();
                break;
            case 20:
                harness = RecordBuilder(12);
                harness.Straight().Grounds();
                break;
            default:
                harness.Straight().Grounds();
        }
        block.slots[d] = harness.Build();
    }
    block.slots[17].bytes[0] = kPinCountError;
    return block;
}

}  // namespace vark
