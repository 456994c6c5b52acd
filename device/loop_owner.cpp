#include "device/loop_owner.h"

namespace vark {

void LoopOwner::OnProgress(int value) {
    if (onProgress) {
        onProgress(value);
    }
}

void LoopOwner::OnFinished(const LinkOutcome& outcome) {
    outcome_ = outcome;
    if (outcome.block) {
        // The link's area is its own again once this returns.
        block_ = *outcome.block;
        outcome_->block = &block_;
    }
}

bool LoopOwner::WaitForOutcome(std::chrono::milliseconds limit) {
    return loop_.RunUntil([this] { return outcome_.has_value(); }, limit);
}

}  // namespace vark
