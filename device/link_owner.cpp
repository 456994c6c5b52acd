#include "device/link_owner.h"

#include <utility>

namespace vark {

bool OwnerHandOff::Call(LinkOwner& owner, std::function<void()> fn) {
    auto core = core_;
    auto ticket = std::make_shared<Ticket>();
    {
        std::lock_guard<std::mutex> lock(core->mutex);
        if (core->cancelled) {
            return false;
        }
    }
    // The queued call holds the shared state, not this object: it may run
    // after the link (and this hand-off) are gone, and then does nothing.
    owner.RunOnOwnerThread([core, ticket, fn = std::move(fn)] {
        {
            std::lock_guard<std::mutex> lock(core->mutex);
            if (ticket->abandoned) {
                return;
            }
            ticket->started = true;
        }
        fn();
        {
            std::lock_guard<std::mutex> lock(core->mutex);
            ticket->done = true;
        }
        core->cv.notify_all();
    });
    std::unique_lock<std::mutex> lock(core->mutex);
    core->cv.wait(lock, [&] { return ticket->done || core->cancelled; });
    if (!ticket->done) {
        ticket->abandoned = true;
        return false;
    }
    return true;
}

void OwnerHandOff::Cancel() {
    {
        std::lock_guard<std::mutex> lock(core_->mutex);
        core_->cancelled = true;
    }
    core_->cv.notify_all();
}

void OwnerHandOff::Reopen() {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->cancelled = false;
}

bool OwnerHandOff::Cancelled() const {
    std::lock_guard<std::mutex> lock(core_->mutex);
    return core_->cancelled;
}

}  // namespace vark
