#include "device/owner_loop.h"

#include <algorithm>

#include "device/comm_defs.h"
#include "device/serial_port.h"

namespace vark {

void OwnerLoop::Post(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        posted_.push_back(std::move(fn));
    }
    cv_.notify_one();
}

void OwnerLoop::SetTimer(int id, std::chrono::milliseconds period, std::function<void()> onFire) {
    timers_[id] = Timer{period, Clock::now() + period, std::move(onFire)};
}

void OwnerLoop::KillTimer(int id) {
    timers_.erase(id);
}

bool OwnerLoop::TimerActive(int id) const {
    return timers_.count(id) != 0;
}

// Runs one posted call or one due timer, waiting for it until `until`.
bool OwnerLoop::RunOne(Clock::time_point until) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (!posted_.empty()) {
            auto fn = std::move(posted_.front());
            posted_.pop_front();
            lock.unlock();
            fn();
            return true;
        }
        const auto now = Clock::now();
        auto next = until;
        for (auto& [id, t] : timers_) {
            if (t.due <= now) {
                t.due = now + t.period;
                auto fire = t.onFire;  // the handler may kill or reset its timer
                lock.unlock();
                fire();
                return true;
            }
            next = std::min(next, t.due);
        }
        if (now >= until) {
            return false;
        }
        cv_.wait_until(lock, next);
    }
}

bool OwnerLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto until = Clock::now() + limit;
    while (!done()) {
        if (!RunOne(until) && Clock::now() >= until) {
            return done();
        }
    }
    return true;
}

void OwnerLoop::RunFor(std::chrono::milliseconds period) {
    RunUntil([] { return false; }, period);
}

void LoopOwner::Record(Kind kind, int value, std::string text) {
    events_.push_back({kind, value, std::move(text), std::chrono::steady_clock::now()});
}

void LoopOwner::OnCommError(int code) {
    Record(Kind::Error, code, CommErrorText(code));
    lastMessage_ = CommErrorText(code);
    outcome_ = true;
}

void LoopOwner::OnCommProgress(int value) {
    Record(Kind::Progress, value);
    if (onProgress) {
        onProgress(value);
    }
}

void LoopOwner::OnCommReceived() {
    if (port_) {
        received_ = port_->RxBlock();
    }
    Record(Kind::Received, received_.count);
    if (onReceived) {
        onReceived();
    }
    lastMessage_ = kMsgReceiveSuccess;
    outcome_ = true;
}

void LoopOwner::ArmReceiveTimer(int periodMs) {
    ++timerArms_;
    loop_.SetTimer(ID_TIMER, std::chrono::milliseconds(periodMs), [this] { OnReceiveTimer(); });
}

void LoopOwner::CancelReceiveTimer() {
    loop_.KillTimer(ID_TIMER);
}

void LoopOwner::OnReceiveTimer() {
    loop_.KillTimer(ID_TIMER);
    if (port_) {
        port_->SetBusy(0);
    }
    Record(Kind::Timeout, 0, kMsgReceiveTimeout);
    lastMessage_ = kMsgReceiveTimeout;
    outcome_ = true;
}

void LoopOwner::ShowMessage(const std::string& text) {
    Record(Kind::Message, 0, text);
    lastMessage_ = text;
}

bool LoopOwner::WaitForOutcome(std::chrono::milliseconds limit) {
    return loop_.RunUntil([this] { return outcome_; }, limit);
}

std::vector<int> LoopOwner::ProgressValues() const {
    std::vector<int> out;
    for (const Event& e : events_) {
        if (e.kind == Kind::Progress) {
            out.push_back(e.value);
        }
    }
    return out;
}

int LoopOwner::Count(Kind kind) const {
    return static_cast<int>(std::count_if(events_.begin(), events_.end(),
                                          [kind](const Event& e) { return e.kind == kind; }));
}

const LoopOwner::Event* LoopOwner::Last(Kind kind) const {
    for (auto it = events_.rbegin(); it != events_.rend(); ++it) {
        if (it->kind == kind) {
            return &*it;
        }
    }
    return nullptr;
}

}  // namespace vark
