#include "device/owner_loop.h"

#include <utility>

namespace vark {

void OwnerLoop::Post(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(std::move(fn));
    }
    posted_.notify_one();
}

bool OwnerLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        std::function<void()> fn;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!posted_.wait_until(lock, until, [this] { return !calls_.empty(); })) {
                return done();
            }
            fn = std::move(calls_.front());
            calls_.pop_front();
        }
        fn();
    }
    return true;
}

void OwnerLoop::RunFor(std::chrono::milliseconds period) {
    RunUntil([] { return false; }, period);
}

}  // namespace vark
