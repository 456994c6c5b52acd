// A LinkOwner for tests: runs on an OwnerLoop like vark-cli's owner and notes
// every progress value and outcome with the time it came.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

#include "device/loop_owner.h"

namespace vark::test {

class RecordingOwner : public LoopOwner {
  public:
    struct Event {
        bool finished = false;  // else a progress value
        int value = 0;
        LinkOutcome outcome;
        std::chrono::steady_clock::time_point at;
    };

    void OnProgress(int value) override {
        events.push_back({false, value, {}, std::chrono::steady_clock::now()});
        LoopOwner::OnProgress(value);
    }
    void OnFinished(const LinkOutcome& outcome) override {
        LoopOwner::OnFinished(outcome);
        events.push_back({true, 0, *Outcome(), std::chrono::steady_clock::now()});
    }

    std::vector<int> ProgressValues() const {
        std::vector<int> out;
        for (const Event& e : events) {
            if (!e.finished) {
                out.push_back(e.value);
            }
        }
        return out;
    }
    int Count(LinkOutcome::Kind kind) const {
        return static_cast<int>(std::count_if(events.begin(), events.end(), [kind](const Event& e) {
            return e.finished && e.outcome.kind == kind;
        }));
    }
    int Finishes() const {
        return static_cast<int>(
            std::count_if(events.begin(), events.end(), [](const Event& e) { return e.finished; }));
    }
    const Event* LastProgress() const { return Last(false); }
    const Event* LastFinished() const { return Last(true); }

    std::vector<Event> events;

  private:
    const Event* Last(bool finished) const {
        for (auto it = events.rbegin(); it != events.rend(); ++it) {
            if (it->finished == finished) {
                return &*it;
            }
        }
        return nullptr;
    }
};

}  // namespace vark::test
