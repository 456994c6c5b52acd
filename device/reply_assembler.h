// The rules of the tester's reply to an upload, apart from the line and the
// clock: a count byte N, then N records of 249 bytes. Fed the bytes as they
// come off the line, in pieces of any size, it stores them into a receive
// area owned by the caller and says how far the reply has come. It never
// writes past the reply a valid count allows, so never past the area.
#pragma once

#include <cstddef>
#include <cstdint>

#include "records/record_block.h"

namespace vark {

class ReplyAssembler {
  public:
    enum class State {
        Pending,   // more of the reply is expected
        Complete,  // 249 x N bytes are in, the count byte included
        Refused,   // the count byte announced more than 100 records
    };

    // `area` holds kBlockSize bytes and outlives the assembler.
    explicit ReplyAssembler(std::uint8_t* area) : area_(area) {}

    // Starts a new reply; the area is left as it is.
    void Reset();

    // Stores the bytes of `data` that belong to the reply and returns how many
    // were taken; bytes past the reply (or after a refusal) are not taken.
    std::size_t Feed(const std::uint8_t* data, std::size_t size);

    // How many more bytes the reply can take: 1 while the count byte is
    // awaited, then up to the reply's full length 1 + 249 x N; 0 once refused.
    std::size_t Wanted() const;

    State state() const { return state_; }
    bool HasCount() const { return received_ > 0; }
    std::uint8_t Count() const { return count_; }
    std::size_t Received() const { return received_; }
    // Whole records counted so far: received bytes / 249, count byte included.
    std::size_t Records() const { return received_ / kRecordSize; }
    // True once every byte of the reply is in, the last record's reserved
    // byte included (the reply is already complete one byte earlier).
    bool Whole() const;

    // The progress value to report for the pass that has just been fed:
    // 20 x k / N, reported only while (N / 20) x k < N and the reply is
    // pending; -1 when nothing is to be reported.
    int Progress() const;

  private:
    std::uint8_t* area_;
    std::size_t received_ = 0;
    std::uint8_t count_ = 0;
    State state_ = State::Pending;
};

}  // namespace vark
