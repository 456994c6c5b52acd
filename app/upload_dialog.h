// The "Upload Data" dialog: finds the tester, starts and stops the link,
// starts an upload, shows its progress and turns every outcome into a message
// box. A completed upload is handed to whoever opened the dialog, before the
// success box is shown.
//
// The dialog is the owner of its TesterLink: the worker's progress and
// outcomes run here on the user-interface thread (queued onto the dialog's
// event loop), and the dialog turns them into what the user sees. The link is
// stopped before the dialog goes away, so the worker never outlives it and no
// call is left pending for a dialog that no longer exists.
#pragma once

#include <QDialog>
#include <QString>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "app/link_texts.h"
#include "device/bridge_ports.h"
#include "device/link_owner.h"
#include "device/tester_link.h"

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace vark {

class TesterWatch;

inline constexpr char kUploadCaption[] = "Upload Data";
inline constexpr int kProgressMin = 1;
inline constexpr int kProgressMax = 200;
// Environment variable naming a serial device that discovery reports as the
// tester (a simulator's pseudo-terminal, or a port without a USB bridge).
inline constexpr char kPortEnvironment[] = "VARK_PORT";

// Its parts, by object name: "Progress", "DeviceGroup", "RefreshDevButton",
// "UploadDataButton", "CancelButton" and "DeviceText".
class UploadDialog : public QDialog, public LinkOwner {
    Q_OBJECT
  public:
    // Called with the received block (count byte and all 100 slots) when an
    // upload completes; the receiver shows it before the success box.
    using ReceivedHandler = std::function<void(const RecordBlock&)>;

    // Every dialog that can upload says where the records go. With a watch,
    // the dialog follows the tester: it connects when one is plugged in while
    // it says No Device, and a tester pulled out ends an upload at once.
    UploadDialog(QWidget* parent, ReceivedHandler onReceived, TesterWatch* watch = nullptr);
    ~UploadDialog() override;

    // Where discovery looks for testers in every dialog made afterwards; an
    // empty function restores the default ($VARK_PORT if set, else the
    // system's bridge ports). Used by tests.
    using PortLister = std::function<std::vector<BridgePort>()>;
    static void SetDiscoveryOverride(PortLister lister);

    // The position last set on the progress bar (0 = idle, shown empty).
    int ProgressPos() const { return pos_; }
    // The device caption, whole (the label may show it elided in the middle).
    QString DeviceText() const { return caption_; }
    // Whether the link to the tester runs, and whether an upload is under way.
    bool LinkUp() const { return link_.LinkUp(); }
    bool Uploading() const { return link_.Busy(); }

    // LinkOwner: called on this dialog's thread.
    void RunOnOwnerThread(std::function<void()> fn) override;
    void OnProgress(int value) override;
    void OnFinished(const LinkOutcome& outcome) override;

    void setVisible(bool visible) override;

  public Q_SLOTS:
    void RefreshDevice();
    void OnUploadData();
    // The OK action (Enter): does nothing.
    void accept() override;
    void done(int result) override;

  Q_SIGNALS:
    // Every position set on the progress bar, in order.
    void progressPosChanged(int pos);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OnInitDialog();
    void RunNextOwnerCall();
    void OnRefused(Refusal refusal);
    TesterChoice Discover() const;
    void FollowTester();
    void LoseTester();
    void SetProgressPos(int pos);
    void EnableButtons(bool refresh, bool upload, bool cancel);
    void CreateControls();
    void SetDeviceCaption(const QString& caption);
    // A message box (caption "VARK-u", OK only) over this dialog.
    void ShowMessage(const std::string& text);

    QProgressBar* progress_ = nullptr;
    ReceivedHandler onReceived_;
    TesterLink link_;
    QGroupBox* group_ = nullptr;
    QPushButton* refreshDev_ = nullptr;
    QPushButton* uploadData_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLabel* deviceText_ = nullptr;

    std::mutex callsMutex_;
    std::deque<std::function<void()>> calls_;  // from RunOnOwnerThread
    PortLister lister_;
    std::optional<BridgePort> named_;
    TesterWatch* watch_;
    bool testerFound_ = false;
    bool testerLeft_ = false;  // its port left the list since the dialog last looked
    int boxes_ = 0;            // message boxes open
    bool followPending_ = false;
    int pos_ = 0;
    QString caption_ = QString::fromLatin1(kNoDevice);  // whole, even when elided
    bool initDone_ = false;
    // Set once the dialog has ended: a late outcome of an upload that was
    // under way is dropped, never copied into the main window.
    bool ended_ = false;
};

}  // namespace vark
