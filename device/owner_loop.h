// An owner's thread for programs without a window (vark-cli, tests, the
// benchmarks): a small event loop, run by whichever thread calls Run*, that
// runs calls posted from any thread in the order they were posted.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace vark {

class OwnerLoop {
  public:
    // Any thread.
    void Post(std::function<void()> fn);

    // Runs posted calls until `done` holds (checked before each one) or
    // `limit` has passed. True when `done` held.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
    void RunFor(std::chrono::milliseconds period);

  private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> calls_;
};

}  // namespace vark
