#include "app/forward_worker.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

namespace vark {

namespace {
std::atomic<bool> lastStopJoined{true};
}  // namespace

struct ForwardWorker::Shared {
    explicit Shared(archive::ForwarderOptions options, Sink s)
        : file(options.archive), sink(std::move(s)), forwarder(std::move(options)) {}

    std::mutex mutex;
    std::condition_variable wake;
    bool kicked = true;
    bool stop = false;
    bool finished = false;
    const std::string file;
    Sink sink;
    archive::Forwarder forwarder;
};

ForwardWorker::ForwardWorker(archive::ForwarderOptions options, Sink sink)
    : shared_(std::make_shared<Shared>(std::move(options), std::move(sink))) {
    thread_ = std::thread(&ForwardWorker::Run, shared_);
}

ForwardWorker::~ForwardWorker() {
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->stop = true;
        shared_->sink = nullptr;
    }
    shared_->wake.notify_all();
    shared_->forwarder.Abandon();
    std::unique_lock lock(shared_->mutex);
    const bool done = shared_->wake.wait_for(lock, std::chrono::milliseconds(kStopWaitMs),
                                             [this] { return shared_->finished; });
    lock.unlock();
    lastStopJoined = done;
    if (done) {
        thread_.join();
    } else {
        // Stuck in connecting (libpq's connect cannot be interrupted): the
        // thread owns its share of the state and ends when the connect does.
        thread_.detach();
    }
}

bool ForwardWorker::LastStopJoined() {
    return lastStopJoined;
}

void ForwardWorker::Kick() {
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->kicked = true;
    }
    shared_->wake.notify_all();
}

void ForwardWorker::Run(std::shared_ptr<Shared> s) {
    // <0: until kicked.
    std::int64_t pauseMs = -1;
    for (;;) {
        {
            std::unique_lock lock(s->mutex);
            const auto woken = [&] { return s->stop || s->kicked; };
            if (pauseMs < 0) {
                s->wake.wait(lock, woken);
            } else {
                s->wake.wait_for(lock, std::chrono::milliseconds(pauseMs), woken);
            }
            if (s->stop) {
                break;
            }
            s->kicked = false;
        }
        // No archive yet: nothing can wait; the first upload makes it and
        // kicks.
        std::error_code ec;
        if (!std::filesystem::exists(s->file, ec)) {
            pauseMs = -1;
            continue;
        }
        ForwardReport report;
        const archive::ForwardOutcome outcome = s->forwarder.ForwardNow();
        report.error = outcome.error;
        report.sent = outcome.sent;
        if (auto state = s->forwarder.State()) {
            report.outbox = *state;
            report.outboxKnown = true;
        }
        {
            const std::lock_guard lock(s->mutex);
            if (s->stop) {
                break;
            }
            if (s->sink) {
                s->sink(report);
            }
        }
        if (outcome.ok()) {
            pauseMs = -1;
        } else {
            // Entries left without a failure (refused ones) are tried again
            // on the same schedule, never in a tight loop.
            pauseMs = std::max<std::int64_t>(s->forwarder.NextPauseMs(), 1000);
        }
    }
    {
        const std::lock_guard lock(s->mutex);
        s->finished = true;
    }
    s->wake.notify_all();
}

}  // namespace vark
