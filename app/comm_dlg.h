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
#include <memory>
#include <mutex>

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
inline constexpr char kUploadCaption[] = "Upload Data";
inline constexpr int kProgressMin = 1;
inline constexpr int kProgressMax = 200;
// Environment variable naming a serial device that discovery reports as the
// tester (a simulator's pseudo-terminal, or a port without a USB bridge).
inline constexpr char kPortEnvironment[] = "VARK_PORT";
}  // namespace vark

class CCommDlg : public QDialog, public vark::LinkOwner {
    Q_OBJECT
  public:
    // Called with the received block (count byte and all 100 slots) when an
    // upload completes; the receiver shows it before the success box.
    using ReceivedHandler = std::function<void(const vark::RecordBlock&)>;

    // Every dialog that can upload says where the records go.
    CCommDlg(QWidget* parent, ReceivedHandler onReceived);
    ~CCommDlg() override;

    // Where discovery looks for testers in every dialog made afterwards; an
    // empty function restores the default ($VARK_PORT if set, else the
    // system's bridge ports). Used by tests.
    using PortLister = std::function<std::vector<vark::BridgePort>()>;
    static void SetDiscoveryOverride(PortLister lister);

    // The position last set on the progress bar (0 = idle, shown empty).
    int ProgressPos() const { return m_nPos; }
    // The device caption, whole (the label may show it elided in the middle).
    QString DeviceText() const;
    vark::TesterLink& Port() { return m_port; }

    // LinkOwner: called on this dialog's thread.
    void RunOnOwnerThread(std::function<void()> fn) override;
    void OnProgress(int value) override;
    void OnFinished(const vark::LinkOutcome& outcome) override;

    // A message box (caption "VARK-u", OK only) over this dialog.
    void ShowMessage(const std::string& text);

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
    void OnRefused(vark::Refusal refusal);
    void SetProgressPos(int pos);
    void EnableButtons(bool refresh, bool upload, bool cancel);
    void CreateControls();
    void SetDeviceCaption(const QString& caption);

  public:
    // Fields in the order of the original dialog class, then the controls.
    QProgressBar* m_pProgress = nullptr;
    ReceivedHandler m_onReceived;

  public:
    vark::TesterLink m_port;

    QGroupBox* m_pGroup = nullptr;
    QPushButton* m_pRefreshDev = nullptr;
    QPushButton* m_pUploadData = nullptr;
    QPushButton* m_pCancel = nullptr;
    QLabel* m_pDeviceText = nullptr;

  private:
    std::mutex m_callsMutex;
    std::deque<std::function<void()>> m_calls;  // from RunOnOwnerThread
    std::function<vark::TesterChoice()> m_discover;
    int m_nPos = 0;
    QString m_strCaption = QString::fromLatin1(vark::kNoDevice);  // whole, even when elided
    bool m_bInitDone = false;
    // Set once the dialog has ended: a late outcome of an upload that was
    // under way is dropped, never copied into the main window.
    bool m_bEnded = false;
};
