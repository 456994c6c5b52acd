#include "app/upload_dialog.h"

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
#include "app/tester_watch.h"

namespace vark {

namespace {

UploadDialog::PortLister& DiscoveryOverride() {
    static UploadDialog::PortLister lister;
    return lister;
}

// A port named in the environment when the dialog was made: the tester (a
// simulator's pseudo-terminal, or a port without a USB bridge).
std::optional<BridgePort> NamedPort() {
    const QByteArray named = qgetenv(kPortEnvironment);
    return named.isEmpty() ? std::nullopt : PortFromName(named.toStdString());
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

UploadDialog::UploadDialog(QWidget* parent, ReceivedHandler onReceived, TesterWatch* watch)
    : QDialog(parent), onReceived_(std::move(onReceived)), watch_(watch) {
    setObjectName(QStringLiteral("UploadDialog"));
    setWindowTitle(QString::fromLatin1(kUploadCaption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    setFont(DialogFont());
    CreateControls();
    link_.SetOwner(this);
    // Where Refresh Dev looks, decided once for the dialog's life.
    named_ = DiscoveryOverride() ? std::nullopt : NamedPort();
    lister_ = DiscoveryOverride();
    if (!lister_) {
        lister_ = [] { return ListBridgePorts(); };
    }
    // A port named by a person is the tester for good; otherwise the dialog
    // follows the bridges as they come and go.
    if (watch_ && !named_) {
        connect(watch_, &TesterWatch::changed, this, &UploadDialog::FollowTester);
    }
}

UploadDialog::~UploadDialog() {
    // The worker may be waiting for this dialog to take a notification; it is
    // released and joined here, while the dialog can still take calls.
    link_.StopLink();
}

void UploadDialog::SetDiscoveryOverride(PortLister lister) {
    DiscoveryOverride() = std::move(lister);
}

void UploadDialog::CreateControls() {
    const DialogUnits du(font());

    // In template (tab) order.
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("Progress"));
    progress_->setTextVisible(false);
    progress_->setGeometry(du.Rect(33, 90, 133, 19));

    group_ = new QGroupBox(this);
    group_->setObjectName(QStringLiteral("DeviceGroup"));
    group_->setGeometry(du.Rect(31, 22, 135, 53));

    refreshDev_ = MakeButton("Refresh Dev", "RefreshDevButton", this);
    refreshDev_->setGeometry(du.Rect(195, 23, 58, 23));
    uploadData_ = MakeButton("Upload Data", "UploadDataButton", this);
    uploadData_->setGeometry(du.Rect(195, 58, 58, 21));
    cancel_ = MakeButton("Cancel", "CancelButton", this);
    cancel_->setGeometry(du.Rect(195, 89, 57, 22));

    deviceText_ = new QLabel(QString::fromLatin1(kNoDevice), this);
    deviceText_->setObjectName(QStringLiteral("DeviceText"));
    // Plain text keeps the two blanks before "Port".
    deviceText_->setTextFormat(Qt::PlainText);
    deviceText_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QRect text = du.Rect(50, 45, 101, 14);

    // Device nodes are longer than COM numbers: widen the box (and move the
    // buttons along) so a caption such as the one below fits on one line.
    const int needed =
        QFontMetrics(font()).horizontalAdvance(QStringLiteral("Kelvor VARK-u  Port:/dev/ttyUSB10"));
    const int groupRight = du.X(31 + 135) - du.X(4);
    const int extra = std::max(0, text.x() + needed - groupRight);
    text.setWidth(std::max(text.width(), groupRight + extra - text.x()));
    deviceText_->setGeometry(text);
    group_->resize(group_->width() + extra, group_->height());
    for (QPushButton* b : {refreshDev_, uploadData_, cancel_}) {
        b->move(b->x() + extra, b->y());
    }
    setFixedSize(du.X(275) + extra, du.Y(142));

    for (QPushButton* b : {refreshDev_, uploadData_, cancel_}) {
        b->installEventFilter(this);
    }
    connect(refreshDev_, &QPushButton::clicked, this, &UploadDialog::RefreshDevice);
    connect(uploadData_, &QPushButton::clicked, this, &UploadDialog::OnUploadData);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void UploadDialog::SetDeviceCaption(const QString& caption) {
    caption_ = caption;
    // A device path may be longer than the box is wide: its middle gives way
    // and the whole caption stays at hand as the tooltip.
    // The words before the path stay whole.
    const QFontMetrics fm(deviceText_->font());
    const qsizetype at = caption.indexOf(QLatin1String("Port:"));
    const QString head = at < 0 ? QString() : caption.left(at + 5);
    const QString path = caption.mid(head.size());
    const int room = deviceText_->width() - fm.horizontalAdvance(head);
    const QString shown = head + fm.elidedText(path, Qt::ElideMiddle, std::max(0, room));
    deviceText_->setText(shown);
    deviceText_->setToolTip(shown == caption ? QString() : caption);
}

bool UploadDialog::eventFilter(QObject* watched, QEvent* event) {
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

void UploadDialog::setVisible(bool visible) {
    if (visible) {
        ended_ = false;
        if (!initDone_) {
            // Set-up, with its connection attempt and message box, comes
            // before the dialog is first shown.
            initDone_ = true;
            OnInitDialog();
        }
    }
    QDialog::setVisible(visible);
}

void UploadDialog::OnInitDialog() {
    progress_->setRange(kProgressMin, kProgressMax);
    SetProgressPos(0);
    RefreshDevice();
    refreshDev_->setFocus();
}

void UploadDialog::SetProgressPos(int pos) {
    pos_ = pos;
    if (pos < progress_->minimum() || pos > progress_->maximum()) {
        // Outside the range the bar shows empty; setValue would ignore it.
        progress_->reset();
    } else {
        progress_->setValue(pos);
    }
    Q_EMIT progressPosChanged(pos);
}

void UploadDialog::EnableButtons(bool refresh, bool upload, bool cancel) {
    refreshDev_->setEnabled(refresh);
    uploadData_->setEnabled(upload);
    cancel_->setEnabled(cancel);
}

void UploadDialog::RefreshDevice() {
    refreshDev_->setEnabled(true);
    cancel_->setEnabled(true);
    link_.StopLink();
    const TesterChoice found = Discover();
    link_.UsePort(found.port.value_or(BridgePort{}));
    testerFound_ = found.Found();
    testerLeft_ = false;
    QString caption;
    if (found.Found()) {
        caption = QString::fromStdString(DeviceCaption(link_.Port(), link_.Naming()));
        uploadData_->setEnabled(true);
        // A port that cannot be made ready says so, and the connection box
        // still follows: Upload Data is then refused until a refresh.
        if (const auto failed = link_.StartLink()) {
            ShowMessage(OutcomeText(*failed));
        }
        ShowMessage(kMsgDeviceFound);
    } else {
        caption = QString::fromLatin1(kNoDevice);
        uploadData_->setEnabled(false);
        ShowMessage(kMsgDeviceNotFound);
    }
    // Only now: while the box was up the old caption stayed.
    SetDeviceCaption(caption);
}

TesterChoice UploadDialog::Discover() const {
    if (named_) {
        TesterChoice choice;
        choice.port = named_;
        choice.count = 1;  // named by a person: the tester, whatever it is
        return choice;
    }
    std::vector<BridgePort> ports = lister_();
    // A port the system is still setting up is not opened yet.
    if (watch_ && watch_->Known()) {
        const auto& settling = watch_->Snapshot().settling;
        ports.erase(std::remove_if(ports.begin(), ports.end(),
                                   [&](const BridgePort& p) { return settling.count(p.path); }),
                    ports.end());
    }
    return ChooseTester(ports);
}

void UploadDialog::FollowTester() {
    if (!watch_ || !initDone_ || ended_) {
        return;
    }
    // A tester that left is noted at once, even when it is back by the time
    // the dialog acts: its port is another one now.
    if (testerFound_) {
        const auto& ports = watch_->Snapshot().ports;
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

void UploadDialog::LoseTester() {
    link_.StopLink();
    testerFound_ = false;
    EnableButtons(true, false, true);
    SetProgressPos(0);
    SetDeviceCaption(QString::fromLatin1(kNoDevice));
}

void UploadDialog::OnUploadData() {
    EnableButtons(false, false, false);
    SetProgressPos(10);
    // A refusal is told at once; anything else ends in OnFinished.
    if (const Refusal refused = link_.Request(); refused != Refusal::None) {
        OnRefused(refused);
    }
}

void UploadDialog::OnRefused(Refusal refusal) {
    SetProgressPos(0);
    EnableButtons(true, true, true);
    ShowMessage(RefusalText(refusal));
}

void UploadDialog::accept() {
    // The OK action does nothing: the dialog ends by Cancel, Escape or close.
}

void UploadDialog::done(int result) {
    ended_ = true;
    QDialog::done(result);
}

void UploadDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);  // Escape: the cancel action
}

void UploadDialog::closeEvent(QCloseEvent* event) {
    link_.StopLink();
    std::this_thread::sleep_for(kStopPause);
    QDialog::closeEvent(event);
}

// LinkOwner -----------------------------------------------------------------

void UploadDialog::RunOnOwnerThread(std::function<void()> fn) {
    // Queued, never inline, in order. The calls wait in the dialog's own
    // locked queue and each posted event runs one of them, so what the worker
    // hands over is passed under a lock the thread checker sees. A call still
    // queued when the dialog is destroyed is dropped with it (the link is
    // stopped first, so none is awaited).
    {
        std::lock_guard<std::mutex> lock(callsMutex_);
        calls_.push_back(std::move(fn));
    }
    QMetaObject::invokeMethod(this, &UploadDialog::RunNextOwnerCall, Qt::QueuedConnection);
}

void UploadDialog::RunNextOwnerCall() {
    std::function<void()> fn;
    {
        std::lock_guard<std::mutex> lock(callsMutex_);
        if (calls_.empty()) {
            return;
        }
        fn = std::move(calls_.front());
        calls_.pop_front();
    }
    fn();
}

void UploadDialog::OnProgress(int value) {
    if (ended_) {
        return;
    }
    if (value >= 2 && value <= 20) {
        SetProgressPos(10 * value);
    }
}

void UploadDialog::OnFinished(const LinkOutcome& outcome) {
    if (ended_) {
        return;  // an upload under way when the dialog ended is dropped
    }
    if (outcome.kind == LinkOutcome::Kind::Received) {
        SetProgressPos(200);
        // The worker waits until this returns, so the area is not being written.
        if (onReceived_ && outcome.block) {
            onReceived_(*outcome.block);
        }
        ShowMessage(kMsgReceiveSuccess);
        SetProgressPos(0);
        EnableButtons(true, true, true);
        return;
    }
    // Every other end: the buttons come back before the box says why. What
    // came of the reply so far is not taken.
    if (outcome.kind == LinkOutcome::Kind::LineError &&
        outcome.fault == LinkOutcome::Fault::Unplugged) {
        LoseTester();  // the dialog says No Device until the tester is back
    } else {
        EnableButtons(true, true, true);
        SetProgressPos(0);
    }
    ShowMessage(OutcomeText(outcome));
}

void UploadDialog::ShowMessage(const std::string& text) {
    // Before the dialog is first shown (its set-up connects to the tester) a
    // box owned by it would have no window to sit on: the main window owns
    // it then.
    QWidget* owner = this;
    QWidget* main = parentWidget() ? parentWidget()->window() : nullptr;
    if (!isVisible() && main && main->isVisible()) {
        owner = main;
    }
    // Changes of the bridges that come while the box is up wait for it.
    ++boxes_;
    vark::ShowMessage(owner, QString::fromStdString(text));
    if (--boxes_ == 0 && followPending_) {
        QMetaObject::invokeMethod(this, &UploadDialog::FollowTester, Qt::QueuedConnection);
    }
}

}  // namespace vark
