#include "ui/upload_session.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "ui/link_texts.h"

namespace vark {

std::optional<int> ProgressPosition(int value) {
    if (value >= 2 && value <= 20) {
        return 10 * value;
    }
    return std::nullopt;
}

namespace {

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

std::optional<BridgePort> PortNamedInEnvironment() {
    const char* named = std::getenv(kPortEnvironment);
    return named && *named ? PortFromName(named) : std::nullopt;
}

UploadSession::UploadSession(UploadView& view, ReceivedHandler onReceived, UploadSources sources)
    : view_(view),
      onReceived_(std::move(onReceived)),
      sources_(std::move(sources)),
      caption_(kNoDevice) {
    if (!sources_.lister) {
        sources_.lister = [] { return ListBridgePorts(); };
    }
    // A port named by a person is the tester for good.
    if (sources_.named) {
        sources_.follow = false;
    }
    link_.SetOwner(this);
}

UploadSession::~UploadSession() {
    // The worker may be waiting for the window to take a call; it is
    // released and joined here, while the window can still take calls.
    link_.StopLink();
}

void UploadSession::SetButtons(UploadButtons buttons) {
    buttons_ = buttons;
    view_.ShowButtons(buttons_);
}

void UploadSession::SetProgress(int position) {
    position_ = position;
    view_.ShowProgress(position);
}

void UploadSession::Message(const std::string& text) {
    // Changes of the bridges that come while a box is up wait for it.
    ++boxes_;
    view_.ShowMessage(text);
    if (--boxes_ == 0 && followPending_) {
        view_.Post([this] { FollowTester(); });
    }
}

void UploadSession::SetUp() {
    setUp_ = true;
    SetProgress(kProgressIdle);
    RefreshDevice();
}

void UploadSession::RefreshDevice() {
    SetButtons({true, buttons_.upload, true});
    link_.StopLink();
    const TesterChoice found = Discover();
    link_.UsePort(found.port.value_or(BridgePort{}));
    testerFound_ = found.Found();
    testerLeft_ = false;
    std::string caption;
    if (found.Found()) {
        caption = DeviceCaption(link_.Port(), link_.Naming());
        SetButtons({true, true, true});
        // A port that cannot be made ready says so, and the connection box
        // still follows: Upload Data is then refused until a refresh.
        if (const auto failed = link_.StartLink()) {
            Message(OutcomeText(*failed));
        }
        Message(kMsgDeviceFound);
    } else {
        caption = kNoDevice;
        SetButtons({true, false, true});
        Message(kMsgDeviceNotFound);
    }
    // Only now: while the box was up the old caption stayed.
    caption_ = caption;
    view_.ShowCaption(caption_);
}

TesterChoice UploadSession::Discover() const {
    if (sources_.named) {
        TesterChoice choice;
        choice.port = sources_.named;
        choice.count = 1;  // named by a person: the tester, whatever it is
        return choice;
    }
    std::vector<BridgePort> ports = sources_.lister();
    // A port the system is still setting up is not opened yet.
    if (snapshot_) {
        const auto& settling = snapshot_->settling;
        ports.erase(std::remove_if(ports.begin(), ports.end(),
                                   [&](const BridgePort& p) { return settling.count(p.path); }),
                    ports.end());
    }
    return ChooseTester(ports);
}

void UploadSession::PortsChanged(const PortSnapshot& snapshot) {
    snapshot_ = snapshot;
    FollowTester();
}

void UploadSession::FollowTester() {
    if (!sources_.follow || !snapshot_ || !setUp_ || ended_) {
        return;
    }
    // A tester that left is noted at once, even when it is back by the time
    // the dialog acts: its port is another one now.
    if (testerFound_) {
        const auto& ports = snapshot_->ports;
        const std::string& path = link_.Port().path;
        if (std::none_of(ports.begin(), ports.end(),
                         [&](const BridgePort& p) { return p.path == path; })) {
            testerLeft_ = true;
        }
    }
    if (boxes_ > 0) {
        followPending_ = true;  // once the box is closed
        return;
    }
    followPending_ = false;
    if (testerLeft_ && testerFound_) {
        testerLeft_ = false;
        if (link_.Busy()) {
            link_.PortRemoved();  // the upload ends at once, and its outcome says why
            return;
        }
        LoseTester();
    }
    testerLeft_ = false;
    // Plugged in while the dialog says No Device: connect as Refresh Dev does.
    if (!testerFound_ && !link_.Busy() && Discover().Found()) {
        RefreshDevice();
    }
}

void UploadSession::LoseTester() {
    link_.StopLink();
    testerFound_ = false;
    SetButtons({true, false, true});
    SetProgress(kProgressIdle);
    caption_ = kNoDevice;
    view_.ShowCaption(caption_);
}

void UploadSession::UploadData() {
    SetButtons({false, false, false});
    SetProgress(kProgressRequested);
    startedMs_ = NowMs();
    // A refusal is told at once, with the buttons back first; anything else
    // ends in OnFinished.
    if (const Refusal refused = link_.Request(); refused != Refusal::None) {
        SetProgress(kProgressIdle);
        SetButtons({true, true, true});
        Message(RefusalText(refused));
    }
}

UploadFacts UploadSession::Facts() const {
    UploadFacts facts;
    facts.port = PortLabel(link_.Port(), link_.Naming());
    facts.testerSerial = link_.Port().serial;
    // A port named by hand: the bridge the system lists on it, if any.
    if (facts.testerSerial.empty()) {
        for (const BridgePort& p : sources_.lister()) {
            if (p.path == link_.Port().path) {
                facts.testerSerial = p.serial;
                break;
            }
        }
    }
    facts.startedMs = startedMs_;
    facts.endedMs = NowMs();
    return facts;
}

void UploadSession::Close() {
    link_.StopLink();
    std::this_thread::sleep_for(kStopPause);
}

void UploadSession::OnProgress(int value) {
    if (ended_) {
        return;
    }
    if (const auto position = ProgressPosition(value)) {
        SetProgress(*position);
    }
}

void UploadSession::OnFinished(const LinkOutcome& outcome) {
    if (ended_) {
        return;  // an upload under way when the dialog ended is dropped
    }
    if (outcome.kind == LinkOutcome::Kind::Received) {
        SetProgress(kProgressComplete);
        // The worker waits until this returns, so the area is not being written.
        std::string notKept;
        if (outcome.block) {
            if (onReceived_) {
                onReceived_(*outcome.block);
            }
            if (onKeep_) {
                notKept = onKeep_(*outcome.block, Facts());
            }
        }
        Message(kMsgReceiveSuccess);
        SetProgress(kProgressIdle);
        SetButtons({true, true, true});
        if (!notKept.empty()) {
            Message(notKept);
        }
        return;
    }
    // Every other end: the buttons come back before the box says why. What
    // came of the reply so far is not taken.
    if (outcome.kind == LinkOutcome::Kind::LineError &&
        outcome.fault == LinkOutcome::Fault::Unplugged) {
        LoseTester();  // the dialog says No Device until the tester is back
    } else {
        SetButtons({true, true, true});
        SetProgress(kProgressIdle);
    }
    Message(OutcomeText(outcome));
}

}  // namespace vark
