// An owner thread for programs without a window (vark-cli, tests, benchmarks):
// OwnerLoop is a small event loop run by the thread that calls Run*, with
// posted calls and periodic timers in the manner of window timers; LoopOwner
// is a SerialOwner on such a loop that does what the Upload dialog does with
// each notification, and records what happened.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "device/serial_owner.h"
#include "records/record_block.h"

namespace vark {

class SerialPort;

class OwnerLoop {
  public:
    using Clock = std::chrono::steady_clock;

    // Any thread. Calls run in the order posted, on the loop's thread.
    void Post(std::function<void()> fn);

    // Loop thread. Starts timer `id`, or restarts it with the new period; it
    // fires every `period` until killed.
    void SetTimer(int id, std::chrono::milliseconds period, std::function<void()> onFire);
    void KillTimer(int id);
    bool TimerActive(int id) const;

    // Runs posted calls and due timers until `done` holds (checked after each
    // one) or `limit` has passed. True when `done` held.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
    void RunFor(std::chrono::milliseconds period);

  private:
    struct Timer {
        std::chrono::milliseconds period;
        Clock::time_point due;
        std::function<void()> onFire;
    };
    bool RunOne(Clock::time_point until);

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> posted_;
    std::map<int, Timer> timers_;  // loop thread only
};

class LoopOwner : public SerialOwner {
  public:
    enum class Kind { Error, Progress, Received, Timeout, Message };
    struct Event {
        Kind kind;
        int value = 0;  // error code, progress value, received count
        std::string text;
        std::chrono::steady_clock::time_point at;
    };

    explicit LoopOwner(SerialPort* port = nullptr) : port_(port) {}
    void Attach(SerialPort* port) { port_ = port; }
    OwnerLoop& Loop() { return loop_; }

    // SerialOwner
    void RunOnOwnerThread(std::function<void()> fn) override { loop_.Post(std::move(fn)); }
    void OnCommError(int code) override;
    void OnCommProgress(int value) override;
    void OnCommReceived() override;
    void ArmReceiveTimer(int periodMs) override;
    void CancelReceiveTimer() override;
    void ShowMessage(const std::string& text) override;

    // Loop thread. Hooks for programs that show what happens.
    std::function<void(int)> onProgress;
    std::function<void()> onReceived;  // runs inside OnCommReceived

    // Runs the loop until the current request has ended (received, refused,
    // failed or timed out) or `limit` has passed; true when it ended.
    bool WaitForOutcome(std::chrono::milliseconds limit);
    // Forgets the outcome of the last request (not the event log).
    void ResetOutcome() { outcome_ = false; }
    bool HasOutcome() const { return outcome_; }

    const std::vector<Event>& Events() const { return events_; }
    std::vector<int> ProgressValues() const;
    int Count(Kind kind) const;
    const Event* Last(Kind kind) const;
    const std::string& LastMessage() const { return lastMessage_; }
    // The block copied in OnCommReceived, as the dialog copies it.
    const RecordBlock& Received() const { return received_; }
    bool TimerArmed() const { return loop_.TimerActive(ID_TIMER); }
    int TimerArms() const { return timerArms_; }

  private:
    static constexpr int ID_TIMER = 1;
    void OnReceiveTimer();
    void Record(Kind kind, int value, std::string text = {});

    SerialPort* port_;
    OwnerLoop loop_;
    std::vector<Event> events_;
    std::string lastMessage_;
    RecordBlock received_{};
    bool outcome_ = false;
    int timerArms_ = 0;
};

}  // namespace vark
