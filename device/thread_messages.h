// The worker's message queue: messages are posted from any thread and taken
// by number, one at a time, without waiting (waking is the event's job).
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>

namespace vark {

struct ThreadMessage {
    unsigned message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

class ThreadMessageQueue {
  public:
    void Post(unsigned message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back({message, wParam, lParam});
    }

    // Removes the oldest message with this number; false when there is none.
    bool Take(unsigned message, ThreadMessage* out = nullptr) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = queue_.begin(); it != queue_.end(); ++it) {
            if (it->message == message) {
                if (out) {
                    *out = *it;
                }
                queue_.erase(it);
                return true;
            }
        }
        return false;
    }

    bool Contains(unsigned message) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const ThreadMessage& m : queue_) {
            if (m.message == message) {
                return true;
            }
        }
        return false;
    }

    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.clear();
    }

    std::size_t Size() {
        std::lock_guard<std::mutex> lock(mutex_);
        return queue_.size();
    }

  private:
    std::mutex mutex_;
    std::deque<ThreadMessage> queue_;
};

}  // namespace vark
