#include "records/record_block.h"

#include <bit>
#include <cstring>

namespace vark {

std::uint8_t RecordChecksum(const TestRecord& record) {
    unsigned sum = 0;
    for (std::size_t i = 1; i < kChecksumOffset; ++i) {
        sum += record.bytes[i];
    }
    return static_cast<std::uint8_t>(sum);
}

Connections GetConnections(const TestRecord& record, int row) {
    Connections out;
    const std::uint64_t reach = RowReach(record, row);
    std::uint64_t bits = reach & ((std::uint64_t{1} << kBGroundBit) - 1);
    while (bits != 0) {
        out.items[out.size++] = static_cast<std::uint8_t>(std::countr_zero(bits) + 1);
        bits &= bits - 1;
    }
    if ((reach >> kBGroundBit) & 1) {
        out.items[out.size++] = static_cast<std::uint8_t>(record.PinCount() + 1);
    }
    return out;
}

std::uint32_t StoredLength(const RecordBlock& block) {
    return static_cast<std::uint32_t>(kRecordSize * UsedSlots(block) + 1);
}

void ClearBlock(RecordBlock& block) {
    std::memset(block.data(), 0, kBlockSize);
}

void CheckRecords(RecordBlock& block) {
    const std::size_t used = UsedSlots(block);
    for (std::size_t i = 0; i < used; ++i) {
        TestRecord& rec = block.slots[i];
        if (rec.bytes[0] != kPinCountEmpty && RecordChecksum(rec) != rec.bytes[kChecksumOffset]) {
            rec.bytes[0] = kPinCountError;
        }
    }
}

}  // namespace vark
