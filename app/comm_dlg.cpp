#include "app/comm_dlg.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "app/dialog_units.h"
#include "app/link_texts.h"
#include "app/message_box.h"

namespace {

CCommDlg::PortLister& DiscoveryOverride() {
    static CCommDlg::PortLister lister;
    return lister;
}

// A port named in the environment when the dialog was made: the tester (a
// simulator's pseudo-terminal, or a port without a USB bridge).
std::optional<vark::BridgePort> NamedPort() {
    const QByteArray named = qgetenv(vark::kPortEnvironment);
    return named.isEmpty() ? std::nullopt : vark::PortFromName(named.toStdString());
}

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
    m_port.SetOwner(this);
    // Where Refresh Dev looks, decided once for the dialog's life.
    if (const PortLister& lister = DiscoveryOverride()) {
        m_discover = [lister] { return vark::ChooseTester(lister()); };
    } else if (const std::optional<vark::BridgePort> named = NamedPort()) {
        m_discover = [named] {
            vark::TesterChoice choice;
            choice.port = named;
            choice.count = 1;  // named by a person: the tester, whatever it is
            return choice;
        };
    } else {
        m_discover = [] { return vark::ChooseTester(vark::ListBridgePorts()); };
    }
}

CCommDlg::~CCommDlg() {
    // The worker may be waiting for this dialog to take a notification; it is
    // released and joined here, while the dialog can still take calls.
    m_port.StopLink();
}

void CCommDlg::SetDiscoveryOverride(PortLister lister) {
    DiscoveryOverride() = std::move(lister);
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
    const vark::TesterChoice found = m_discover();
    m_port.SetPort(found.port.value_or(vark::BridgePort{}));
    QString caption;
    if (found.Found()) {
        caption = QString::fromStdString(vark::DeviceCaption(m_port.Port(), m_port.Naming()));
        m_pUploadData->setEnabled(true);
        // A port that cannot be made ready says so, and the connection box
        // still follows: Upload Data is then refused until a refresh.
        if (const auto failed = m_port.StartLink()) {
            ShowMessage(vark::OutcomeText(*failed));
        }
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
    // A refusal is told at once; anything else ends in OnFinished.
    if (const vark::Refusal refused = m_port.Request(); refused != vark::Refusal::None) {
        OnRefused(refused);
    }
}

void CCommDlg::OnRefused(vark::Refusal refusal) {
    SetProgressPos(0);
    EnableButtons(true, true, true);
    ShowMessage(vark::RefusalText(refusal));
}

void CCommDlg::accept() {
    // The OK action does nothing: the dialog ends by Cancel, Escape or close.
}

void CCommDlg::done(int result) {
    m_bEnded = true;
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
    std::this_thread::sleep_for(vark::kStopPause);
    QDialog::closeEvent(event);
}

// LinkOwner -----------------------------------------------------------------

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

void CCommDlg::OnProgress(int value) {
    if (m_bEnded) {
        return;
    }
    if (value >= 2 && value <= 20) {
        SetProgressPos(10 * value);
    }
}

void CCommDlg::OnFinished(const vark::LinkOutcome& outcome) {
    if (m_bEnded) {
        return;  // an upload under way when the dialog ended is dropped
    }
    if (outcome.kind == vark::LinkOutcome::Kind::Received) {
        SetProgressPos(200);
        // The worker waits until this returns, so the area is not being written.
        if (m_onReceived && outcome.block) {
            m_onReceived(*outcome.block);
        }
        ShowMessage(vark::kMsgReceiveSuccess);
        SetProgressPos(0);
        EnableButtons(true, true, true);
        return;
    }
    // Every other end: the buttons come back before the box says why. What
    // came of the reply so far is not taken.
    EnableButtons(true, true, true);
    SetProgressPos(0);
    ShowMessage(vark::OutcomeText(outcome));
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
