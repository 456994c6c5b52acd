// The reply assembler fed an arbitrary byte stream in arbitrary pieces: it
// never writes past the receive area or the reply, stores exactly the bytes it
// takes, completes exactly when 249 x N bytes are in, refuses a count above
// 100 and reports progress only as the rule says.
#include <algorithm>
#include <cstring>
#include <memory>

#include "device/reply_assembler.h"
#include "fuzz_support.h"

namespace {

using vark::ReplyAssembler;
using State = ReplyAssembler::State;

// Piece sizes from the first input byte: a small generator, so one byte
// chooses among many ways of cutting the same stream.
class Pieces {
  public:
    explicit Pieces(std::uint8_t seed) : state_(seed * 2654435761u + 1) {}
    std::size_t Next() {
        state_ = state_ * 1103515245u + 12345u;
        const unsigned r = (state_ >> 16) & 0x7FFF;
        switch (r % 4) {
            case 0:
                return r % 3;  // nothing, one or two bytes
            case 1:
                return r % 250;
            case 2:
                return 248 + r % 3;  // around one record
            default:
                return r % 8192;  // a whole poll's worth
        }
    }

  private:
    unsigned state_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    Pieces pieces(data[0]);
    const std::uint8_t* stream = data + 1;
    const std::size_t length = size - 1;

    // Exactly the area's size on the heap, so a write past it is caught.
    const auto area = std::make_unique<std::uint8_t[]>(vark::kBlockSize);
    for (std::size_t i = 0; i < vark::kBlockSize; ++i) {
        area[i] = static_cast<std::uint8_t>(i * 13 + 5);
    }
    ReplyAssembler assembler(area.get());
    assembler.Reset();

    std::size_t offered = 0;
    std::size_t taken = 0;
    while (offered < length) {
        const std::size_t piece = std::min(pieces.Next(), length - offered);
        const std::size_t got = assembler.Feed(stream + offered, piece);
        FUZZ_CHECK(got <= piece);
        offered += piece;
        taken += got;
        FUZZ_CHECK(taken <= vark::kBlockSize);
        if (taken > 0 && stream[0] > vark::kMaxRecords) {
            // Refused at the count byte: nothing stored, nothing more taken.
            FUZZ_CHECK(assembler.state() == State::Refused);
            FUZZ_CHECK(taken == 1 && assembler.Received() == 0);
            FUZZ_CHECK(assembler.Wanted() == 0 && assembler.Progress() == -1);
            continue;
        }
        FUZZ_CHECK(assembler.Received() == taken);
        if (taken == 0) {
            FUZZ_CHECK(!assembler.HasCount() && assembler.state() == State::Pending);
            FUZZ_CHECK(assembler.Wanted() == 1);
            continue;
        }
        const std::uint8_t n = stream[0];
        FUZZ_CHECK(assembler.HasCount() && assembler.Count() == n);
        const std::size_t reply = 1 + vark::kRecordSize * n;
        const std::size_t k = taken / vark::kRecordSize;
        // Everything offered is taken while the reply wants it, nothing after.
        FUZZ_CHECK(taken == std::min(offered, reply));
        FUZZ_CHECK(assembler.Wanted() == reply - taken);
        FUZZ_CHECK(assembler.Records() == k);
        FUZZ_CHECK(assembler.Whole() == (taken == reply));
        // Complete once 249 x N bytes are in, the count byte included.
        const bool complete = n == 0 || k >= n;
        FUZZ_CHECK(assembler.state() == (complete ? State::Complete : State::Pending));
        const int progress = !complete && (n / 20) * k < n ? static_cast<int>(20 * k / n) : -1;
        FUZZ_CHECK(assembler.Progress() == progress);
    }
    // The bytes taken are the stream's; the area's other bytes are untouched,
    // and a refused reply leaves no impossible count behind.
    const bool refused = taken > 0 && stream[0] > vark::kMaxRecords;
    for (std::size_t i = 0; i < vark::kBlockSize; ++i) {
        const auto before = static_cast<std::uint8_t>(i * 13 + 5);
        if (refused && i == 0) {
            FUZZ_CHECK(area[0] == 0);
        } else if (!refused && i < taken) {
            FUZZ_CHECK(area[i] == stream[i]);
        } else {
            FUZZ_CHECK(area[i] == before);
        }
    }
    return 0;
}
