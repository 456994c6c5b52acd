#include "device/reply_assembler.h"

#include <algorithm>
#include <cstring>

namespace vark {

void ReplyAssembler::Reset() {
    received_ = 0;
    count_ = 0;
    state_ = State::Pending;
}

std::size_t ReplyAssembler::Wanted() const {
    if (state_ == State::Refused) {
        return 0;
    }
    if (received_ == 0) {
        return 1;
    }
    return 1 + kRecordSize * count_ - received_;
}

bool ReplyAssembler::Whole() const {
    return state_ == State::Complete && Wanted() == 0;
}

std::size_t ReplyAssembler::Feed(const std::uint8_t* data, std::size_t size) {
    std::size_t taken = 0;
    if (size > 0 && received_ == 0 && state_ == State::Pending) {
        count_ = data[0];
        if (count_ > kMaxRecords) {
            // No such reply exists: leave no impossible count in the area.
            area_[0] = 0;
            state_ = State::Refused;
            return 1;
        }
        area_[0] = count_;
        received_ = 1;
        taken = 1;
    }
    const std::size_t more = std::min(size - taken, Wanted());
    if (more > 0) {
        std::memcpy(area_ + received_, data + taken, more);
        received_ += more;
        taken += more;
    }
    if (received_ > 0 && state_ == State::Pending && Records() >= count_) {
        state_ = State::Complete;
    }
    return taken;
}

int ReplyAssembler::Progress() const {
    if (state_ != State::Pending || !HasCount()) {
        return -1;
    }
    const std::size_t n = count_;
    const std::size_t k = Records();
    if ((n / 20) * k >= n) {
        return -1;
    }
    return static_cast<int>(20.0 * static_cast<double>(k) / static_cast<double>(n));
}

}  // namespace vark
