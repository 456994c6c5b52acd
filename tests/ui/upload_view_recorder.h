// An Upload dialog's view for tests: notes every button state, bar position,
// caption and message in order, answers each message at once, and runs the
// calls posted to it when the test pumps them, as a window's loop would.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ui/call_queue.h"
#include "ui/upload_session.h"

namespace vark::test {

class UploadViewRecorder : public UploadView {
  public:
    // What was on screen when a message came up.
    struct Box {
        std::string text;
        UploadButtons buttons;
        int position = -1;
        std::string caption;
    };

    void ShowButtons(const UploadButtons& b) override {
        buttons = b;
        log.push_back(std::string("buttons ") + (b.refresh ? "R" : "-") + (b.upload ? "U" : "-") +
                      (b.cancel ? "C" : "-"));
    }
    void ShowProgress(int p) override {
        position = p;
        positions.push_back(p);
        log.push_back("progress " + std::to_string(p));
    }
    void ShowCaption(const std::string& c) override {
        caption = c;
        log.push_back("caption " + c);
    }
    void ShowMessage(const std::string& text) override {
        boxes.push_back({text, buttons, position, caption});
        log.push_back("message " + text);
        if (onBox) {
            onBox(boxes.back());
        }
    }
    void Post(std::function<void()> fn) override {
        calls_.Push(std::move(fn));
        ++pending_;
    }

    // Runs posted calls until `done` holds or `ms` have passed.
    bool PumpUntil(const std::function<bool()>& done, int ms = 8000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            if (pending_ > 0) {
                --pending_;
                calls_.RunNext();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        return true;
    }
    int MessagesSaying(const std::string& text) const {
        int n = 0;
        for (const Box& b : boxes) {
            n += b.text == text;
        }
        return n;
    }

    UploadButtons buttons;
    int position = -1;
    std::string caption = "No Device";
    std::vector<int> positions;
    std::vector<Box> boxes;
    std::vector<std::string> log;
    std::function<void(const Box&)> onBox;

  private:
    CallQueue calls_;
    std::atomic<int> pending_{0};
};

}  // namespace vark::test
