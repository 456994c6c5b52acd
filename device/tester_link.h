// TesterLink: the program's link to the tester. It owns the serial line of
// the tester's port, a worker thread that does every read and write on it,
// and the 24,901-byte receive area into which an upload lands; it runs the
// whole upload (the command, the 100 ms receive passes, the receive time-out,
// the last-byte rule, the progress cadence) and reports how each request
// ended as a typed outcome. It builds no text for people: its owner does.
//
// Use, all on the owner's thread: SetOwner and UsePort, StartLink, Request()
// per upload, StopLink before the port changes and when done (the destructor
// stops the link too). The owner hears OnProgress and one OnFinished per
// request taken, on its own thread (link_owner.h); the worker waits until
// each has returned, so the receive area in a Received outcome is read
// without a lock.
//
// Stopping: StopLink wakes the worker, cancels a call the worker may be
// waiting on, and waits for the worker to close the line and end, at most
// 800 ms; it returns as soon as the worker has ended. A worker held up longer
// in the line itself is joined by the next StartLink or by the destructor: no
// worker outlives its TesterLink. Nothing of a stopped request reaches the
// owner.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "device/bridge_ports.h"
#include "device/link_outcome.h"
#include "device/link_owner.h"
#include "device/serial_line.h"
#include "records/record_block.h"

namespace vark {

class ReplyAssembler;

// The silence allowed between two reads of a reply, the pause between two
// receive passes, and the longest StopLink waits for the worker.
inline constexpr std::chrono::milliseconds kReceiveTimeout{3000};
inline constexpr std::chrono::milliseconds kReceivePass{100};
inline constexpr std::chrono::milliseconds kStopPause{800};

class TesterLink {
  public:
    // The platform's serial line and naming.
    TesterLink();
    explicit TesterLink(std::unique_ptr<SerialLine> line, PortNaming naming = SystemPortNaming());
    ~TesterLink();
    TesterLink(const TesterLink&) = delete;
    TesterLink& operator=(const TesterLink&) = delete;

    void SetOwner(LinkOwner* owner) { owner_ = owner; }
    // The port StartLink opens; an empty port is refused as NoPort.
    void UsePort(BridgePort port) { port_ = std::move(port); }
    const BridgePort& Port() const { return port_; }
    PortNaming Naming() const { return naming_; }

    // Opens the port, sets the line (38,400 baud 8N1, raw, RTS raised) and
    // starts the worker. A failure comes back as an OpenFailed outcome and
    // leaves the link down; nothing comes back when the link is up.
    std::optional<LinkOutcome> StartLink();
    void StopLink();

    // Asks the tester for its records. Refusal::None: taken, and one
    // OnFinished follows; otherwise refused at once and nothing follows.
    Refusal Request();
    // Calls off the request under way: it ends as Cancelled at once.
    void CancelRequest();
    // Any thread: the port's device has gone (unplugged). A request under
    // way ends at once as a LineError (Unplugged), and so does any later one,
    // until the link is started again.
    void PortRemoved();

    bool LinkUp() const { return workerId_.load() != 0; }
    bool Busy() const { return busy_.load(); }
    // A number for the running worker, new for every StartLink; 0 without one.
    std::uint32_t WorkerId() const { return workerId_.load(); }
    // The record count of the reply under way or last received.
    std::uint8_t RecordCount() const { return recordCount_.load(); }

  private:
    std::optional<PortFailure> OpenPort();
    std::optional<PortFailure> ConfigurePort();
    PortFailure Failure(PortFailure::Step step) const;

    void WorkerMain();
    // One request: the command, then the receive passes until the reply is
    // in, the tester is silent for the time-out, or the request is ended.
    void HandleRequest();
    bool SendCommand();
    void Receive();
    // The read step of a pass: what the line holds, as far as the reply
    // takes it; true when bytes came.
    bool ReadPass(ReplyAssembler& reply, std::vector<std::uint8_t>& chunk);
    // Ends a request whose pause was cut short, as the reason says.
    void Interrupted();
    // Waits until `until`, or less when the link is stopped, the request is
    // called off or the port goes; false in those cases.
    bool Pause(std::chrono::steady_clock::time_point until);
    // Ends the request with `outcome`, unless a stop took it first.
    void Finish(LinkOutcome outcome);
    template <class F>
    bool Notify(F&& fn);

    LinkOwner* owner_ = nullptr;
    std::unique_ptr<SerialLine> line_;
    PortNaming naming_;
    BridgePort port_;
    RecordBlock area_{};
    std::atomic<std::uint8_t> recordCount_{0};

    std::thread worker_;
    std::atomic<std::uint32_t> workerId_{0};
    // What the owner asks of the worker, under one lock: quit is looked at
    // before a request, and a wake-up takes at most one request.
    std::mutex mailMutex_;
    std::condition_variable mail_;
    bool quit_ = false;
    bool requested_ = false;
    std::chrono::steady_clock::time_point requestedAt_;
    bool cancelRequested_ = false;
    std::atomic<bool> busy_{false};
    bool removed_ = false;
    // Set by the worker as it ends, so StopLink returns as soon as it has.
    std::mutex endMutex_;
    std::condition_variable endSignal_;
    bool workerEnded_ = false;
    OwnerHandOff handOff_;
};

}  // namespace vark
