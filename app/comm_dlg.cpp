#include "app/comm_dlg.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QTimerEvent>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "app/dialog_units.h"
#include "app/message_box.h"
#include "device/comm_defs.h"

namespace {

vark::BridgeDeviceSource* g_overrideDevices = nullptr;
vark::PortNameSource* g_overrideNames = nullptr;

QPushButton* MakeButton(const char* text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    // None of the buttons is a default button, and none becomes one by
    // taking the focus; Enter presses the button that has the focus (see
    // eventFilter) and does nothing otherwise.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

}  // namespace

CCommDlg::CCommDlg(QWidget* parent, ReceivedHandler onReceived)
    : QDialog(parent), m_onReceived(std::move(onReceived)) {
    setObjectName(QStringLiteral("CCommDlg"));
    setWindowTitle(QString::fromLatin1(vark::kUploadCaption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    setFont(vark::DialogFont());
    CreateControls();

    if (g_overrideDevices || g_overrideNames) {
        m_port.SetDiscoverySources(g_overrideDevices, g_overrideNames);
    } else if (const QByteArray port = qgetenv(vark::kPortEnvironment); !port.isEmpty()) {
        vark::FixedDeviceList::Device device;
        device.serial = vark::kPortEnvironment;
        device.portValue = port.toStdString();
        m_envDevices = std::make_unique<vark::FixedDeviceList>();
        m_envDevices->Add(device);
        m_port.SetDiscoverySources(m_envDevices.get(), m_envDevices.get());
    }
}

CCommDlg::~CCommDlg() {
    // The worker may be waiting for this dialog to take a notification; it is
    // released and joined here, while the dialog can still take calls.
    m_receiveTimer.stop();
    m_port.StopLink();
}

void CCommDlg::SetDiscoveryOverride(vark::BridgeDeviceSource* devices,
                                    vark::PortNameSource* names) {
    g_overrideDevices = devices;
    g_overrideNames = names;
}

void CCommDlg::CreateControls() {
    const vark::DialogUnits du(font());

    // In template (tab) order.
    m_pProgress = new QProgressBar(this);
    m_pProgress->setObjectName(QStringLiteral("IDC_UPLOAD_PROGRESS"));
    m_pProgress->setTextVisible(false);
    m_pProgress->setGeometry(du.Rect(33, 90, 133, 19));

    m_pGroup = new QGroupBox(this);
    m_pGroup->setGeometry(du.Rect(31, 22, 135, 53));

    m_pRefreshDev = MakeButton("Refresh Dev", "IDC_REFRESH_DEV", this);
    m_pRefreshDev->setGeometry(du.Rect(195, 23, 58, 23));
    m_pUploadData = MakeButton("Upload Data", "IDC_UPLOAD_DATA", this);
    m_pUploadData->setGeometry(du.Rect(195, 58, 58, 21));
    m_pCancel = MakeButton("Cancel", "IDC_UPLOAD_CANCEL", this);
    m_pCancel->setGeometry(du.Rect(195, 89, 57, 22));

    m_pDeviceText = new QLabel(QString::fromLatin1(vark::kNoDevice), this);
    m_pDeviceText->setObjectName(QStringLiteral("IDC_DEVICE_TEXT"));
    // Plain text keeps the two blanks before "Port".
    m_pDeviceText->setTextFormat(Qt::PlainText);
    m_pDeviceText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QRect text = du.Rect(50, 45, 101, 14);

    // Device nodes are longer than COM numbers: widen the box (and move the
    // buttons along) so a caption such as the one below fits on one line.
    const int needed =
        QFontMetrics(font()).horizontalAdvance(QStringLiteral("Kelvor VARK-u  Port:/dev/ttyUSB10"));
    const int groupRight = du.X(31 + 135) - du.X(4);
    const int extra = std::max(0, text.x() + needed - groupRight);
    text.setWidth(std::max(text.width(), groupRight + extra - text.x()));
    m_pDeviceText->setGeometry(text);
    m_pGroup->resize(m_pGroup->width() + extra, m_pGroup->height());
    for (QPushButton* b : {m_pRefreshDev, m_pUploadData, m_pCancel}) {
        b->move(b->x() + extra, b->y());
    }
    setFixedSize(du.X(275) + extra, du.Y(142));

    for (QPushButton* b : {m_pRefreshDev, m_pUploadData, m_pCancel}) {
        b->installEventFilter(this);
    }
    connect(m_pRefreshDev, &QPushButton::clicked, this, &CCommDlg::RefreshDevice);
    connect(m_pUploadData, &QPushButton::clicked, this, &CCommDlg::OnUploadData);
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString CCommDlg::DeviceText() const {
    return m_strCaption;
}

void CCommDlg::SetDeviceCaption(const QString& caption) {
    m_strCaption = caption;
    // A device path may be longer than the box is wide: its middle gives way
    // and the whole caption stays at hand as the tooltip.
    // The words before the path stay whole.
    const QFontMetrics fm(m_pDeviceText->font());
    const qsizetype at = caption.indexOf(QLatin1String("Port:"));
    const QString head = at < 0 ? QString() : caption.left(at + 5);
    const QString path = caption.mid(head.size());
    const int room = m_pDeviceText->width() - fm.horizontalAdvance(head);
    const QString shown = head + fm.elidedText(path, Qt::ElideMiddle, std::max(0, room));
    m_pDeviceText->setText(shown);
    m_pDeviceText->setToolTip(shown == caption ? QString() : caption);
}

bool CCommDlg::eventFilter(QObject* watched, QEvent* event) {
    // Enter on a focused push button presses it, as on the main window.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            if (button->isEnabled()) {
                button->click();
            }
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CCommDlg::setVisible(bool visible) {
    if (visible) {
        m_bEnded = false;
        if (!m_bInitDone) {
            // Set-up, with its connection attempt and message box, comes
            // before the dialog is first shown.
            m_bInitDone = true;
            OnInitDialog();
        }
    }
    QDialog::setVisible(visible);
}

void CCommDlg::OnInitDialog() {
    m_pProgress->setRange(vark::kProgressMin, vark::kProgressMax);
    SetProgressPos(0);
    RefreshDevice();
    m_pRefreshDev->setFocus();
}

void CCommDlg::SetProgressPos(int pos) {
    m_nPos = pos;
    if (pos < m_pProgress->minimum() || pos > m_pProgress->maximum()) {
        // Outside the range the bar shows empty; setValue would ignore it.
        m_pProgress->reset();
    } else {
        m_pProgress->setValue(pos);
    }
    Q_EMIT progressPosChanged(pos);
}

void CCommDlg::EnableButtons(bool refresh, bool upload, bool cancel) {
    m_pRefreshDev->setEnabled(refresh);
    m_pUploadData->setEnabled(upload);
    m_pCancel->setEnabled(cancel);
}

void CCommDlg::RefreshDevice() {
    m_pRefreshDev->setEnabled(true);
    m_pCancel->setEnabled(true);
    m_port.StopLink();
    QString caption;
    if (m_port.Discover(this)) {
        caption = QString::fromStdString(m_port.DeviceCaption());
        m_pUploadData->setEnabled(true);
        m_port.StartLink();  // its own failures are reported by the port
        ShowMessage(vark::kMsgDeviceFound);
    } else {
        caption = QString::fromLatin1(vark::kNoDevice);
        m_pUploadData->setEnabled(false);
        ShowMessage(vark::kMsgDeviceNotFound);
    }
    // Only now: while the box was up the old caption stayed.
    SetDeviceCaption(caption);
}

void CCommDlg::OnUploadData() {
    EnableButtons(false, false, false);
    SetProgressPos(10);
    // A refusal comes back through OnCommError before this returns.
    m_port.SendRequest(vark::COMM_CMD_UPLOAD);
}

void CCommDlg::accept() {
    // The OK action does nothing: the dialog ends by Cancel, Escape or close.
}

void CCommDlg::done(int result) {
    m_bEnded = true;
    m_receiveTimer.stop();
    QDialog::done(result);
}

void CCommDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);  // Escape: the cancel action
}

void CCommDlg::closeEvent(QCloseEvent* event) {
    m_port.StopLink();
    std::this_thread::sleep_for(std::chrono::milliseconds(vark::kStopPauseMs));
    m_receiveTimer.stop();
    QDialog::closeEvent(event);
}

void CCommDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_receiveTimer.timerId()) {
        OnReceiveTimeout();
        return;
    }
    QDialog::timerEvent(event);
}

void CCommDlg::OnReceiveTimeout() {
    m_receiveTimer.stop();
    if (m_bEnded) {
        return;
    }
    m_port.SetBusy(0);  // the worker leaves its receive phase at its next pass
    EnableButtons(true, true, true);
    SetProgressPos(0);
    ShowMessage(vark::kMsgReceiveTimeout);
}

// SerialOwner ---------------------------------------------------------------

void CCommDlg::RunOnOwnerThread(std::function<void()> fn) {
    // Queued, never inline, in order. The calls wait in the dialog's own
    // locked queue and each posted event runs one of them, so what the worker
    // hands over is passed under a lock the thread checker sees. A call still
    // queued when the dialog is destroyed is dropped with it (the link is
    // stopped first, so none is awaited).
    {
        std::lock_guard<std::mutex> lock(m_callsMutex);
        m_calls.push_back(std::move(fn));
    }
    QMetaObject::invokeMethod(this, &CCommDlg::RunNextOwnerCall, Qt::QueuedConnection);
}

void CCommDlg::RunNextOwnerCall() {
    std::function<void()> fn;
    {
        std::lock_guard<std::mutex> lock(m_callsMutex);
        if (m_calls.empty()) {
            return;
        }
        fn = std::move(m_calls.front());
        m_calls.pop_front();
    }
    fn();
}

void CCommDlg::OnCommError(int code) {
    SetProgressPos(0);
    EnableButtons(true, true, true);
    if (m_bEnded) {
        return;
    }
    ShowMessage(vark::CommErrorText(code));
}

void CCommDlg::OnCommProgress(int value) {
    if (m_bEnded) {
        return;
    }
    if (value >= 2 && value <= 20) {
        SetProgressPos(10 * value);
    }
}

void CCommDlg::OnCommReceived() {
    if (m_bEnded) {
        return;  // an upload under way when the dialog ended is dropped
    }
    SetProgressPos(200);
    // The worker waits until this returns, so the area is not being written.
    if (m_onReceived) {
        m_onReceived(m_port.RxBlock());
    }
    ShowMessage(vark::kMsgReceiveSuccess);
    SetProgressPos(0);
    EnableButtons(true, true, true);
}

void CCommDlg::ArmReceiveTimer(int periodMs) {
    m_receiveTimer.start(periodMs, this);
}

void CCommDlg::CancelReceiveTimer() {
    m_receiveTimer.stop();
}

void CCommDlg::ShowMessage(const std::string& text) {
    // Before the dialog is first shown (its set-up connects to the tester) a
    // box owned by it would have no window to sit on: the main window owns
    // it then.
    QWidget* owner = this;
    QWidget* main = parentWidget() ? parentWidget()->window() : nullptr;
    if (!isVisible() && main && main->isVisible()) {
        owner = main;
    }
    vark::ShowMessage(owner, QString::fromStdString(text));
}
