// A LinkOwner for programs without a window (vark-cli, tests, benchmarks):
// its calls run on an OwnerLoop, and it keeps how the last request ended
// together with a copy of the block it received.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include "device/link_owner.h"
#include "device/owner_loop.h"
#include "records/record_block.h"

namespace vark {

class LoopOwner : public LinkOwner {
  public:
    OwnerLoop& Loop() { return loop_; }

    void RunOnOwnerThread(std::function<void()> fn) override { loop_.Post(std::move(fn)); }
    void OnProgress(int value) override;
    void OnFinished(const LinkOutcome& outcome) override;

    // Loop thread: shows progress as it comes (a terminal's progress line).
    std::function<void(int)> onProgress;

    // Runs the loop until the request under way has ended or `limit` has
    // passed; true when it ended.
    bool WaitForOutcome(std::chrono::milliseconds limit);
    // How the last request ended; nothing before the first or after Forget().
    const std::optional<LinkOutcome>& Outcome() const { return outcome_; }
    void Forget() { outcome_.reset(); }
    bool Received() const { return outcome_ && outcome_->kind == LinkOutcome::Kind::Received; }
    // The block of the last Received outcome, copied while the link waited.
    const RecordBlock& Block() const { return block_; }

  private:
    OwnerLoop loop_;
    std::optional<LinkOutcome> outcome_;
    RecordBlock block_{};
};

}  // namespace vark
