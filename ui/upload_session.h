// The Upload Data dialog's rules, without a toolkit: which buttons are
// enabled when, where the progress bar stands, the device caption, every
// message and when it comes, and how the dialog follows a tester plugged in
// or pulled out. The session owns the link to the tester and is its owner;
// a window program gives it a view (its controls and message boxes) and
// passes on the button presses.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/bridge_ports.h"
#include "device/link_owner.h"
#include "device/port_watch.h"
#include "device/tester_link.h"
#include "records/record_block.h"

namespace vark {

inline constexpr char kUploadCaption[] = "Upload Data";
inline constexpr int kProgressMin = 1;
inline constexpr int kProgressMax = 200;
// Positions set on the bar: idle (below the range, so it shows empty), an
// upload asked for, and an upload complete; progress value v sets 10 * v.
inline constexpr int kProgressIdle = 0;
inline constexpr int kProgressRequested = 10;
inline constexpr int kProgressComplete = 200;
// The bar's position for a progress value of the link: 10 * v for 2 to 20;
// nothing for other values, which leave the bar as it is.
std::optional<int> ProgressPosition(int value);

// Environment variable naming a serial device that discovery reports as the
// tester (a simulator's pseudo-terminal, or a port without a USB bridge).
inline constexpr char kPortEnvironment[] = "VARK_PORT";
std::optional<BridgePort> PortNamedInEnvironment();

// Refresh Dev, Upload Data, Cancel: enabled or not.
struct UploadButtons {
    bool refresh = true;
    bool upload = true;
    bool cancel = true;
    bool operator==(const UploadButtons&) const = default;
};

// What the dialog's window does for the session. Everything but Post is
// called on the window's own thread.
class UploadView {
  public:
    virtual ~UploadView() = default;
    virtual void ShowButtons(const UploadButtons& buttons) = 0;
    virtual void ShowProgress(int position) = 0;
    virtual void ShowCaption(const std::string& caption) = 0;
    // A modal message box (caption "VARK-u", OK only); returns when closed.
    virtual void ShowMessage(const std::string& text) = 0;
    // Any thread: runs `fn` later on the window's thread, never inline, in
    // order; calls still queued when the window goes are dropped.
    virtual void Post(std::function<void()> fn) = 0;
};

// Where Refresh Dev looks for the tester.
struct UploadSources {
    // A port named by a person: the tester for good, whatever the bridges.
    std::optional<BridgePort> named;
    // The system's bridges; empty: ListBridgePorts.
    std::function<std::vector<BridgePort>()> lister;
    // Whether the dialog follows the bridges given to PortsChanged (not
    // with a named port).
    bool follow = false;
};

// What an upload was besides its block: where it came from and when (UTC
// milliseconds since 1970).
struct UploadFacts {
    std::string port;          // the port as the caption names it
    std::string testerSerial;  // the bridge's USB serial string; empty when unknown
    std::int64_t startedMs = 0;
    std::int64_t endedMs = 0;
};

class UploadSession : public LinkOwner {
  public:
    // Called with the received block (count byte and all 100 slots) when an
    // upload completes, before the success box.
    using ReceivedHandler = std::function<void(const RecordBlock&)>;
    // Called after the ReceivedHandler, still before the success box, to keep
    // the upload (in the archive). What it returns is said after the success
    // box: why the upload was not kept; empty when it was.
    using KeepHandler = std::function<std::string(const RecordBlock&, const UploadFacts&)>;

    UploadSession(UploadView& view, ReceivedHandler onReceived, UploadSources sources);
    // Stops the link; the view must still take calls.
    ~UploadSession() override;
    UploadSession(const UploadSession&) = delete;
    UploadSession& operator=(const UploadSession&) = delete;

    // The dialog's set-up, before it is first shown: the bar empty, then
    // Refresh Dev with its connection attempt and message.
    void SetUp();
    // The Refresh Dev button.
    void RefreshDevice();
    // The Upload Data button.
    void UploadData();
    void SetKeepHandler(KeepHandler keep) { onKeep_ = std::move(keep); }
    // The close box: the link stopped, then a pause before the dialog ends.
    void Close();
    // The dialog ended (Cancel, Escape, close): an upload's late outcome is
    // dropped, never handed over. Shown again: taken again.
    void Ended() { ended_ = true; }
    void Shown() { ended_ = false; }
    bool HasEnded() const { return ended_; }

    // A new list of the bridges from the port watch.
    void PortsChanged(const PortSnapshot& snapshot);

    const UploadButtons& Buttons() const { return buttons_; }
    int ProgressPos() const { return position_; }
    const std::string& Caption() const { return caption_; }
    bool LinkUp() const { return link_.LinkUp(); }
    bool Uploading() const { return link_.Busy(); }
    const TesterLink& Link() const { return link_; }

    // LinkOwner, on the window's thread.
    void RunOnOwnerThread(std::function<void()> fn) override { view_.Post(std::move(fn)); }
    void OnProgress(int value) override;
    void OnFinished(const LinkOutcome& outcome) override;

  private:
    TesterChoice Discover() const;
    void FollowTester();
    void LoseTester();
    void SetButtons(UploadButtons buttons);
    void SetProgress(int position);
    void Message(const std::string& text);
    UploadFacts Facts() const;

    UploadView& view_;
    ReceivedHandler onReceived_;
    KeepHandler onKeep_;
    std::int64_t startedMs_ = 0;
    UploadSources sources_;
    TesterLink link_;
    UploadButtons buttons_;
    int position_ = kProgressIdle;
    std::string caption_;
    std::optional<PortSnapshot> snapshot_;
    bool testerFound_ = false;
    bool testerLeft_ = false;  // its port left the list since the dialog last looked
    int boxes_ = 0;            // message boxes open
    bool followPending_ = false;
    bool setUp_ = false;
    bool ended_ = false;
};

}  // namespace vark
