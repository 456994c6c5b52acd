// The tester's result store as plain byte images: the same bytes travel on the
// wire, sit in memory and are written to record files, so nothing here is
// converted and every field is addressed by its offset.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vark {

inline constexpr std::size_t kRecordSize = 249;
inline constexpr std::size_t kMaxRecords = 100;
inline constexpr std::size_t kBlockSize = 1 + kRecordSize * kMaxRecords;  // 24,901
inline constexpr int kMaxPins = 40;

inline constexpr std::uint8_t kPinCountEmpty = 0;
inline constexpr std::uint8_t kPinCountError = 255;

// Offsets inside a record.
inline constexpr std::size_t kRowSize = 6;
inline constexpr std::size_t kRowBitsSize = 5;
inline constexpr std::size_t kGroundRowOffset = 241;
inline constexpr std::size_t kChecksumOffset = 247;
inline constexpr std::size_t kReservedOffset = 248;

struct TestRecord {
    std::uint8_t bytes[kRecordSize];

    std::uint8_t PinCount() const { return bytes[0]; }
    // Byte offset of pin row k (0..39); the ground row always sits at 241.
    static constexpr std::size_t RowOffset(int k) {
        return 1 + kRowSize * static_cast<std::size_t>(k);
    }
};
static_assert(sizeof(TestRecord) == kRecordSize);

struct RecordBlock {
    std::uint8_t count;
    TestRecord slots[kMaxRecords];

    std::uint8_t* data() { return &count; }
    const std::uint8_t* data() const { return &count; }
};
static_assert(sizeof(RecordBlock) == kBlockSize);
static_assert(alignof(RecordBlock) == 1);

// Connection list of one row: side-B pins ascending, then n + 1 for B's ground.
// Fixed capacity (41) so the pin map never allocates per row.
struct Connections {
    std::array<std::uint8_t, kMaxPins + 1> items;  // only the first `size` are meaningful
    std::uint8_t size = 0;

    bool empty() const { return size == 0; }
    std::uint8_t front() const { return items[0]; }
    const std::uint8_t* begin() const { return items.data(); }
    const std::uint8_t* end() const { return items.data() + size; }
};

// Pin counts 1..40 carry a pin map; 0 is an empty slot; 41..255 are shown as errors.
inline bool HasPinMap(std::uint8_t pinCount) {
    return pinCount >= 1 && pinCount <= kMaxPins;
}

// Slots that readers may walk: the count, but never past slot 99.
inline std::size_t UsedSlots(const RecordBlock& block) {
    return block.count < kMaxRecords ? block.count : kMaxRecords;
}

// 8-bit sum of record bytes 1..246.
std::uint8_t RecordChecksum(const TestRecord& record);

// The side-B contacts one row reaches, as a bit set: bit j (j < n) for side-B
// pin j + 1, bit kBGroundBit for B's ground. Row 0..n-1 is a pin row, row n
// the ground row; 0 for rows outside that or a pin count outside 1..40.
inline constexpr int kBGroundBit = kMaxPins;
static_assert(kGroundRowOffset + sizeof(std::uint64_t) <= kRecordSize);
inline std::uint64_t RowReach(const TestRecord& record, int row) {
    const int n = record.PinCount();
    if (n < 1 || n > kMaxPins || row < 0 || row > n) {
        return 0;
    }
    // Every row's five bit bytes and flag byte, and two bytes after them,
    // lie inside the record: the last row ends at byte 246, before the
    // checksum and the reserved byte. One eight-byte read takes them all.
    const std::uint8_t* r =
        record.bytes + (row == n ? kGroundRowOffset : TestRecord::RowOffset(row));
    std::uint64_t v = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&v, r, sizeof v);
    } else {
        for (std::size_t b = 0; b < sizeof v; ++b) {
            v |= static_cast<std::uint64_t>(r[b]) << (8 * b);
        }
    }
    std::uint64_t bits = v & ((std::uint64_t{1} << n) - 1);  // bits n..39 belong to no pin
    if (((v >> (8 * kRowBitsSize)) & 0xFF) == 1) {
        bits |= std::uint64_t{1} << kBGroundBit;
    }
    return bits;
}

// The same row as a list: side-B pins ascending, then n + 1 for B's ground.
Connections GetConnections(const TestRecord& record, int row);

// Block bytes a record file holds: 249 * count + 1 (count capped at 100).
std::uint32_t StoredLength(const RecordBlock& block);

void ClearBlock(RecordBlock& block);

// After an upload: a used, non-empty record whose checksum fails becomes pin count 255.
void CheckRecords(RecordBlock& block);

}  // namespace vark
