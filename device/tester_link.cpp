#include "device/tester_link.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "device/protocol.h"
#include "device/reply_assembler.h"

namespace vark {

namespace {

using Clock = std::chrono::steady_clock;

// The receive area's first bytes are cleared before a request: the command is
// built there, and the reply then starts on a clean area.
constexpr std::size_t kClearSize = 64;

std::uint32_t NextWorkerId() {
    static std::atomic<std::uint32_t> last{0};
    std::uint32_t id = ++last;
    if (id == 0) {
        id = ++last;
    }
    return id;
}

LinkOutcome Outcome(LinkOutcome::Kind kind, LinkOutcome::Fault fault = LinkOutcome::Fault::None) {
    LinkOutcome outcome;
    outcome.kind = kind;
    outcome.fault = fault;
    return outcome;
}

// The decide step of a receive pass: what the reply, after the bytes of the
// pass went in, means for the request.
struct Decision {
    enum class Action { Wait, Progress, Finish };
    Action action = Action::Wait;
    int progress = -1;
    LinkOutcome outcome;
    bool rearm = false;  // bytes came: the silence counts from now
};

// `lastByteWait` carries the one pass that the last record's reserved byte
// gets: a reply is complete by its count one byte early.
Decision Decide(const ReplyAssembler& reply, bool read, bool& lastByteWait) {
    Decision d;
    if (reply.state() == ReplyAssembler::State::Refused) {
        // No such reply exists: fail it rather than store past the area.
        d.action = Decision::Action::Finish;
        d.outcome = Outcome(LinkOutcome::Kind::LineError, LinkOutcome::Fault::ImpossibleCount);
        return d;
    }
    if (!read && !lastByteWait) {
        return d;  // an empty pass: the silence goes on
    }
    d.rearm = read;
    if (reply.state() == ReplyAssembler::State::Complete) {
        if (reply.Whole() || lastByteWait) {
            d.action = Decision::Action::Finish;
            d.outcome = Outcome(LinkOutcome::Kind::Received);
        } else {
            lastByteWait = true;
        }
        return d;
    }
    if (const int value = reply.Progress(); value >= 0) {
        d.action = Decision::Action::Progress;
        d.progress = value;
    }
    return d;
}

}  // namespace

TesterLink::TesterLink() : TesterLink(MakeSystemSerialLine(), SystemPortNaming()) {}

TesterLink::TesterLink(std::unique_ptr<SerialLine> line, PortNaming naming)
    : line_(std::move(line)), naming_(naming) {}

TesterLink::~TesterLink() {
    StopLink();
    if (worker_.joinable()) {
        worker_.join();  // never outlives the line and the area it uses
    }
}

PortFailure TesterLink::Failure(PortFailure::Step step) const {
    PortFailure f;
    f.step = step;
    f.port = port_;
    f.naming = naming_;
    return f;
}

std::optional<LinkOutcome> TesterLink::StartLink() {
    // A link that still runs would be left without anyone to end it, and a
    // worker still held up in the line must be gone before the line is reused.
    StopLink();
    if (worker_.joinable()) {
        worker_.join();
    }
    std::optional<PortFailure> failure = OpenPort();
    if (!failure) {
        failure = ConfigurePort();
    }
    if (failure) {
        LinkOutcome outcome = Outcome(LinkOutcome::Kind::OpenFailed);
        outcome.failure = std::move(*failure);
        return outcome;
    }
    {
        std::lock_guard<std::mutex> lock(mailMutex_);
        quit_ = false;
        requested_ = false;
        cancelRequested_ = false;
        removed_ = false;
    }
    {
        std::lock_guard<std::mutex> lock(endMutex_);
        workerEnded_ = false;
    }
    busy_ = false;
    handOff_.Reopen();
    workerId_ = NextWorkerId();
    worker_ = std::thread([this] { WorkerMain(); });
    return std::nullopt;
}

std::optional<PortFailure> TesterLink::OpenPort() {
    std::string device;
    if (naming_ == PortNaming::ComNumber) {
        if (port_.comNumber == 0 || port_.comNumber == kComNotFound) {
            return Failure(PortFailure::Step::NoPort);
        }
        device = "\\\\.\\COM" + std::to_string(port_.comNumber);
    } else {
        if (port_.path.empty()) {
            return Failure(PortFailure::Step::NoPort);
        }
        device = port_.path;
    }
    std::string reason;
    int error = 0;
    if (!line_->Open(device, &reason, &error)) {
        PortFailure f = Failure(PortFailure::Step::Open);
        f.reason = reason;
        // Device nodes report the system's errno; COM ports their own codes.
        f.accessDenied = naming_ == PortNaming::DeviceNode && error == EACCES;
        return f;
    }
    line_->SetQueueSizes(kInputQueueSize, kOutputQueueSize);
    line_->Purge(kPurgeTxClear | kPurgeRxClear);
    line_->RaiseRts();
    return std::nullopt;
}

std::optional<PortFailure> TesterLink::ConfigurePort() {
    LineSettings settings;
    if (!line_->GetLineSettings(settings)) {
        line_->Close();
        return Failure(PortFailure::Step::ReadSettings);
    }
    settings.binary = true;
    settings.baudRate = protocol::kBaudRate;
    settings.byteSize = 8;
    settings.parity = 0;
    settings.stopBits = 0;
    if (!line_->SetLineSettings(settings)) {
        line_->Close();
        return Failure(PortFailure::Step::WriteSettings);
    }
    return std::nullopt;
}

void TesterLink::StopLink() {
    if (!worker_.joinable()) {
        return;
    }
    busy_ = false;
    {
        std::lock_guard<std::mutex> lock(mailMutex_);
        quit_ = true;
    }
    mail_.notify_all();
    // The worker may be waiting for this thread to take a call, which it
    // cannot do while it is in here.
    handOff_.Cancel();
    bool ended = false;
    {
        std::unique_lock<std::mutex> lock(endMutex_);
        ended = endSignal_.wait_for(lock, kStopPause, [this] { return workerEnded_; });
    }
    if (ended) {
        worker_.join();
    }
    // Else the worker is held up in a line call: it has been told to quit and
    // is joined by the next StartLink or by the destructor.
}

Refusal TesterLink::Request() {
    {
        std::lock_guard<std::mutex> lock(mailMutex_);
        if (!worker_.joinable() || workerId_.load() == 0 || quit_) {
            return Refusal::NoLink;
        }
    }
    if (busy_.load()) {
        return Refusal::Busy;
    }
    busy_ = true;
    // The worker is idle: the area is this thread's until the request is posted.
    std::memset(area_.data(), 0, kClearSize);
    {
        std::lock_guard<std::mutex> lock(mailMutex_);
        requestedAt_ = Clock::now();
        requested_ = true;
        cancelRequested_ = false;
    }
    mail_.notify_all();
    return Refusal::None;
}

void TesterLink::CancelRequest() {
    {
        std::lock_guard<std::mutex> lock(mailMutex_);
        if (!busy_.load()) {
            return;
        }
        cancelRequested_ = true;
    }
    mail_.notify_all();
}

void TesterLink::PortRemoved() {
    {
        std::lock_guard<std::mutex> lock(mailMutex_);
        removed_ = true;
    }
    mail_.notify_all();
}

template <class F>
bool TesterLink::Notify(F&& fn) {
    if (!owner_) {
        return !handOff_.Cancelled();
    }
    return handOff_.Call(*owner_, std::forward<F>(fn));
}

void TesterLink::WorkerMain() {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mailMutex_);
            mail_.wait(lock, [this] { return quit_ || requested_; });
            // A stop takes precedence over a request still waiting.
            if (quit_) {
                break;
            }
            requested_ = false;
        }
        HandleRequest();
    }
    line_->Close();
    workerId_ = 0;
    {
        std::lock_guard<std::mutex> lock(endMutex_);
        workerEnded_ = true;
    }
    endSignal_.notify_all();
}

bool TesterLink::Pause(Clock::time_point until) {
    std::unique_lock<std::mutex> lock(mailMutex_);
    return !mail_.wait_until(lock, until, [this] { return quit_ || cancelRequested_ || removed_; });
}

void TesterLink::Finish(LinkOutcome outcome) {
    if (!busy_.exchange(false)) {
        return;  // stopped meanwhile: the owner hears no more of it
    }
    if (outcome.kind == LinkOutcome::Kind::Received) {
        CheckRecords(area_);
        outcome.block = &area_;
    }
    LinkOwner* const owner = owner_;
    Notify([owner, outcome] { owner->OnFinished(outcome); });
}

bool TesterLink::ReadPass(ReplyAssembler& reply, std::vector<std::uint8_t>& chunk) {
    // Only what the reply can take is read: the count byte alone first, since
    // it decides how much of the area the reply may fill; bytes past the
    // reply stay queued until the next request purges them.
    std::size_t queued = 0;
    if (!line_->ClearError(&queued)) {
        return false;
    }
    bool read = false;
    while (queued > 0 && reply.Wanted() > 0 && busy_.load()) {
        const long got = line_->Read(chunk.data(), std::min(queued, reply.Wanted()));
        if (got <= 0) {
            break;
        }
        reply.Feed(chunk.data(), static_cast<std::size_t>(got));
        queued -= std::min(queued, static_cast<std::size_t>(got));
        read = true;
    }
    if (read && reply.HasCount()) {
        recordCount_ = reply.Count();
    }
    return read;
}

void TesterLink::HandleRequest() {
    Clock::time_point deadline;
    {
        std::lock_guard<std::mutex> lock(mailMutex_);
        deadline = requestedAt_ + kReceiveTimeout;
    }
    if (!Pause(Clock::now())) {
        return Interrupted();  // the port went before the request could start
    }
    if (!SendCommand()) {
        // Abandoned without a word: the time-out counted from the request ends it.
        return Pause(deadline) ? Finish(Outcome(LinkOutcome::Kind::TimedOut)) : Interrupted();
    }
    Receive();
}

bool TesterLink::SendCommand() {
    std::memset(area_.data(), 0, kClearSize);
    std::memcpy(area_.data(), protocol::kUploadCommand, protocol::kCommandSize);
    if (line_->ClearError(nullptr)) {
        line_->Purge(kPurgeRxAbort | kPurgeRxClear);  // stale bytes of an earlier exchange
        line_->Purge(kPurgeTxAbort | kPurgeTxClear);
    }
    if (!line_->Write(area_.data(), protocol::kCommandSize)) {
        line_->ClearError(nullptr);
        return false;
    }
    std::memset(area_.data(), 0, kClearSize);  // the reply starts on a clean area
    return true;
}

void TesterLink::Receive() {
    ReplyAssembler reply(area_.data());
    std::vector<std::uint8_t> chunk(kBlockSize);
    bool lastByteWait = false;
    auto deadline = Clock::now() + kReceiveTimeout;
    for (;;) {
        if (!Pause(std::min(Clock::now() + kReceivePass, deadline))) {
            return Interrupted();
        }
        if (Clock::now() >= deadline) {
            return Finish(Outcome(LinkOutcome::Kind::TimedOut));
        }
        const bool read = ReadPass(reply, chunk);
        const Decision d = Decide(reply, read, lastByteWait);
        if (d.action == Decision::Action::Finish) {
            return Finish(d.outcome);
        }
        if (d.action == Decision::Action::Progress) {
            LinkOwner* const owner = owner_;
            const int value = d.progress;
            if (!Notify([owner, value] { owner->OnProgress(value); })) {
                return;  // stopping: nothing more reaches the owner
            }
        }
        if (d.rearm) {
            deadline = Clock::now() + kReceiveTimeout;
        }
    }
}

void TesterLink::Interrupted() {
    bool cancelled = false;
    bool removed = false;
    {
        std::lock_guard<std::mutex> lock(mailMutex_);
        cancelled = cancelRequested_;
        removed = removed_;
    }
    // A stop ends the request quietly.
    if (removed) {
        Finish(Outcome(LinkOutcome::Kind::LineError, LinkOutcome::Fault::Unplugged));
    } else if (cancelled) {
        Finish(Outcome(LinkOutcome::Kind::Cancelled));
    }
}

}  // namespace vark
