// The tester's side of the link in bytes: the command it answers, the reply it
// sends and the line that carries both. The program and the tester simulator
// both build on these, so the two cannot drift apart.
#pragma once

#include <cstddef>
#include <cstdint>

#include "records/record_block.h"

namespace vark::protocol {

// The only request: the upload command, three bytes.
inline constexpr int kUploadCode = 1;
inline constexpr std::uint8_t kUploadCommand[3] = {0x2A, 0x00, 0x3A};
inline constexpr std::size_t kCommandSize = sizeof kUploadCommand;

// The reply: a count byte N (at most kMaxRecords), then N records of
// kRecordSize bytes, laid out as a RecordBlock. Nothing frames it further.
inline constexpr std::size_t kMaxReplySize = 1 + kRecordSize * kMaxRecords;
inline constexpr std::size_t ReplySize(std::size_t count) {
    return 1 + kRecordSize * count;
}

// 38,400 baud, 8 data bits, no parity, one stop bit: 3,840 bytes a second.
inline constexpr int kBaudRate = 38400;
inline constexpr int kLineBytesPerSecond = 3840;

}  // namespace vark::protocol
