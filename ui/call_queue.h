// Calls waiting for a window's thread: any thread adds one and wakes the
// window (a queued event, a posted message), and the window runs one call
// per wake-up, in order. What the link's worker hands over is passed under
// the queue's lock, which the thread checker sees.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

namespace vark {

class CallQueue {
  public:
    // Any thread.
    void Push(std::function<void()> fn) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(std::move(fn));
    }
    // The window's thread: runs the oldest call, if any.
    void RunNext() {
        std::function<void()> fn;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (calls_.empty()) {
                return;
            }
            fn = std::move(calls_.front());
            calls_.pop_front();
        }
        fn();
    }

  private:
    std::mutex mutex_;
    std::deque<std::function<void()>> calls_;
};

}  // namespace vark
