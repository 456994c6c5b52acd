// The "Upload Data" dialog: the widgets of the shared upload rules
// (ui/upload_session.h), which find the tester, start and stop the link,
// start an upload and decide every button, bar position, caption and
// message. A completed upload is handed to whoever opened the dialog, before
// the success box is shown.
//
// The link's worker hands its progress and outcomes over through the
// dialog's own event loop, so they run here on the user-interface thread.
// The link is stopped before the dialog goes away, so the worker never
// outlives it and no call is left pending for a dialog that no longer exists.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <vector>

#include "device/bridge_ports.h"
#include "ui/call_queue.h"
#include "ui/link_texts.h"
#include "ui/upload_session.h"

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace vark {

class TesterWatch;

// Its parts, by object name: "Progress", "DeviceGroup", "RefreshDevButton",
// "UploadDataButton", "CancelButton" and "DeviceText".
class UploadDialog : public QDialog, private UploadView {
    Q_OBJECT
  public:
    // Called with the received block (count byte and all 100 slots) when an
    // upload completes; the receiver shows it before the success box.
    using ReceivedHandler = UploadSession::ReceivedHandler;

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
    int ProgressPos() const { return session_.ProgressPos(); }
    // The device caption, whole (the label may show it elided in the middle).
    QString DeviceText() const { return QString::fromStdString(session_.Caption()); }
    // Whether the link to the tester runs, and whether an upload is under way.
    bool LinkUp() const { return session_.LinkUp(); }
    bool Uploading() const { return session_.Uploading(); }

    // What the link reports, as its worker hands it over.
    void OnProgress(int value) { session_.OnProgress(value); }
    void OnFinished(const LinkOutcome& outcome) { session_.OnFinished(outcome); }

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
    // UploadView
    void ShowButtons(const UploadButtons& buttons) override;
    void ShowProgress(int position) override;
    void ShowCaption(const std::string& caption) override;
    // A message box (caption "VARK-u", OK only) over this dialog.
    void ShowMessage(const std::string& text) override;
    void Post(std::function<void()> fn) override;
    // The wake-up for one queued call, invoked by name so that the event
    // carrying it is made and read inside Qt: nothing the worker wrote is
    // read here but through the queue's lock.
    Q_INVOKABLE void RunNextCall();

    void CreateControls();
    static UploadSources Sources(TesterWatch* watch);

    QProgressBar* progress_ = nullptr;
    QGroupBox* group_ = nullptr;
    QPushButton* refreshDev_ = nullptr;
    QPushButton* uploadData_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLabel* deviceText_ = nullptr;

    CallQueue calls_;  // from the link's worker and the session
    TesterWatch* watch_;
    bool initDone_ = false;
    // Last: the session stops its link before the queue and the widgets go.
    UploadSession session_;
};

}  // namespace vark
