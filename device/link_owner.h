// Whoever runs a TesterLink (the Upload dialog, vark-cli, a test) as the link
// sees it, and the hand-off by which the link's worker thread gets a call run
// on that owner's thread and waits for it.
//
// Threading contract:
// - RunOnOwnerThread may be called from any thread. It queues `fn` to run
//   later on the owner's thread (never inline), keeps the order of calls, and
//   may drop `fn` only when the owner itself is going away. A Qt dialog does
//   it with a queued call on its own event loop; OwnerLoop (owner_loop.h) is
//   the loop for programs without a window.
// - OnProgress and OnFinished run on the owner's thread only, brought there by
//   the worker through OwnerHandOff; the worker stands still until they return.
// - The owner outlives the link's worker: stop the link (or destroy the
//   TesterLink) before the owner goes away.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "device/link_outcome.h"

namespace vark {

class LinkOwner {
  public:
    virtual ~LinkOwner() = default;

    virtual void RunOnOwnerThread(std::function<void()> fn) = 0;
    // More of the reply has come: progress value 0..19, reported only while
    // it says something (see ReplyAssembler::Progress).
    virtual void OnProgress(int value) = 0;
    // The request has ended; exactly once per request taken, unless the link
    // was stopped first.
    virtual void OnFinished(const LinkOutcome& outcome) = 0;
};

// Synchronous calls from the worker onto the owner's thread, which a stop can
// cancel: the owner thread may itself be inside StopLink (or in a nested loop
// that ended in StopLink) and could then never run the call.
class OwnerHandOff {
  public:
    OwnerHandOff() : core_(std::make_shared<Core>()) {}
    OwnerHandOff(const OwnerHandOff&) = delete;
    OwnerHandOff& operator=(const OwnerHandOff&) = delete;

    // Worker side. Queues `fn` on the owner's thread and waits until it has
    // run. Returns false at once when cancelled, or as soon as Cancel() comes:
    // then `fn` either never runs or is already running on the owner's thread
    // (it cannot be waited for there), and the caller must leave the data that
    // `fn` may read alone.
    bool Call(LinkOwner& owner, std::function<void()> fn);

    // Any thread: releases the current and every later Call until Reopen().
    void Cancel();
    // Owner thread, while no worker runs.
    void Reopen();
    bool Cancelled() const;

  private:
    struct Core {
        mutable std::mutex mutex;
        std::condition_variable cv;
        bool cancelled = false;
    };
    struct Ticket {
        bool abandoned = false;
        bool started = false;
        bool done = false;
    };
    std::shared_ptr<Core> core_;
};

}  // namespace vark
