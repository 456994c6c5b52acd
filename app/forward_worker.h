// The window's forwarding to the factory server on a thread of its own: a
// try at start, after every new entry of the outbox, and again on the
// growing retry pause while the server is away. Nothing here waits for the
// network on the caller's thread; closing abandons a batch in flight (the
// server rolls it back, nothing is marked sent) and waits only a moment.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "archive/outbox.h"
#include "archive/server/forwarder.h"

namespace vark {

// How a try went, as the worker saw it after it.
struct ForwardReport {
    archive::OutboxState outbox;
    bool outboxKnown = false;  // false: the archive could not be read
    std::string error;         // the failure that ended the try; empty when none
    std::int64_t sent = 0;
};

class ForwardWorker {
  public:
    // Called on the worker's thread after every try; never after the
    // destructor has begun.
    using Sink = std::function<void(const ForwardReport&)>;

    // Starts the thread; its first try is at once (for what waits from
    // earlier sessions).
    ForwardWorker(archive::ForwarderOptions options, Sink sink);
    // Stops the thread: a try under way is abandoned; if it does not end
    // within `kStopWaitMs` (a connection still being made), the thread is
    // left to end on its own, touching nothing of the caller's.
    ~ForwardWorker();
    ForwardWorker(const ForwardWorker&) = delete;
    ForwardWorker& operator=(const ForwardWorker&) = delete;

    static constexpr int kStopWaitMs = 1500;

    // Something new waits: a try as soon as the one under way is done.
    void Kick();

    // Whether the last stop ended the thread in time (for tests).
    static bool LastStopJoined();

  private:
    struct Shared;
    static void Run(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

}  // namespace vark
