// The owner of a SerialPort (the Upload dialog, vark-cli, a test) as seen by
// the link, and the hand-off by which the worker thread gets something run on
// the owner's thread and waits for it.
//
// Threading contract:
// - Every SerialOwner member except RunOnOwnerThread is called on the owner's
//   thread only. SerialPort calls them directly when it already runs there
//   (SendRequest, OpenPort, ConfigurePort) and through OwnerHandOff from the
//   worker, which then stands still until the owner has run the call.
// - RunOnOwnerThread may be called from any thread. It must queue `fn` to run
//   later on the owner's thread (never run it inline), keep the order of calls,
//   and may drop `fn` only when the owner itself is going away. A Qt dialog
//   implements it with QMetaObject::invokeMethod(this, fn, Qt::QueuedConnection);
//   OwnerLoop (owner_loop.h) is the implementation for programs without a window.
// - The owner outlives the link: StopLink (or destroy the SerialPort) before
//   the owner goes away. A dialog that embeds its SerialPort stops the link in
//   its own destructor (or close handler), while it can still take calls.
// - The receive timer (ID_TIMER_RECEIVE) is the owner's: ArmReceiveTimer starts
//   it, or restarts it when it runs, with the given period; CancelReceiveTimer
//   stops it. When it fires the owner stops it, calls SetBusy(0) on the port and
//   tells the user kMsgReceiveTimeout.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace vark {

class SerialOwner {
  public:
    virtual ~SerialOwner() = default;

    virtual void RunOnOwnerThread(std::function<void()> fn) = 0;

    // WM_COMM_ERROR: a request was refused (from SendRequest) or failed.
    virtual void OnCommError(int code) = 0;
    // WM_COMM_PROGRESS: more of the reply has arrived; value 0..19.
    virtual void OnCommProgress(int value) = 0;
    // WM_COMM_RECEIVED: the reply is complete and checked; the port's RxBlock()
    // holds it and is not touched by the worker until this returns.
    virtual void OnCommReceived() = 0;

    virtual void ArmReceiveTimer(int periodMs) = 0;
    virtual void CancelReceiveTimer() = 0;

    // A message box (caption "VARK-u", OK only) modal to the owner.
    virtual void ShowMessage(const std::string& text) = 0;
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
    bool Call(SerialOwner& owner, std::function<void()> fn);

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
