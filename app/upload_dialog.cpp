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
#include "app/message_box.h"
#include "app/tester_watch.h"
#include "ui/link_texts.h"

namespace vark {

namespace {

UploadDialog::PortLister& DiscoveryOverride() {
    static UploadDialog::PortLister lister;
    return lister;
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

UploadSources UploadDialog::Sources(TesterWatch* watch) {
    // Where Refresh Dev looks, decided once for the dialog's life.
    UploadSources sources;
    sources.lister = DiscoveryOverride();
    if (!sources.lister) {
        sources.named = PortNamedInEnvironment();
    }
    sources.follow = watch != nullptr;
    return sources;
}

UploadDialog::UploadDialog(QWidget* parent, ReceivedHandler onReceived, TesterWatch* watch)
    : QDialog(parent),
      watch_(watch),
      session_(static_cast<UploadView&>(*this), std::move(onReceived), Sources(watch)) {
    setObjectName(QStringLiteral("UploadDialog"));
    setWindowTitle(QString::fromLatin1(kUploadCaption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    setFont(DialogFont());
    CreateControls();
    // The dialog follows the bridges as they come and go.
    if (watch_) {
        if (watch_->Known()) {
            session_.PortsChanged(watch_->Snapshot());
        }
        connect(watch_, &TesterWatch::changed, this,
                [this] { session_.PortsChanged(watch_->Snapshot()); });
    }
}

UploadDialog::~UploadDialog() = default;

void UploadDialog::SetDiscoveryOverride(PortLister lister) {
    DiscoveryOverride() = std::move(lister);
}

void UploadDialog::CreateControls() {
    const DialogUnits du(font());

    // In template (tab) order.
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("Progress"));
    progress_->setAccessibleName(QStringLiteral("Upload progress"));
    progress_->setAccessibleDescription(QStringLiteral("How far the upload from the tester is"));
    progress_->setTextVisible(false);
    progress_->setGeometry(du.Rect(33, 90, 133, 19));

    group_ = new QGroupBox(this);
    group_->setObjectName(QStringLiteral("DeviceGroup"));
    group_->setAccessibleName(QStringLiteral("Tester"));
    group_->setAccessibleDescription(QStringLiteral("The tester found and its port"));
    group_->setGeometry(du.Rect(31, 22, 135, 53));

    refreshDev_ = MakeButton("Refresh Dev", "RefreshDevButton", this);
    refreshDev_->setGeometry(du.Rect(195, 23, 58, 23));
    uploadData_ = MakeButton("Upload Data", "UploadDataButton", this);
    uploadData_->setGeometry(du.Rect(195, 58, 58, 21));
    cancel_ = MakeButton("Cancel", "CancelButton", this);
    cancel_->setGeometry(du.Rect(195, 89, 57, 22));

    deviceText_ = new QLabel(QString::fromLatin1(kNoDevice), this);
    deviceText_->setObjectName(QStringLiteral("DeviceText"));
    deviceText_->setAccessibleName(QStringLiteral("Tester found"));
    deviceText_->setAccessibleDescription(QStringLiteral("The tester and its port, or No Device"));
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
    refreshDev_->setAccessibleName(QStringLiteral("Refresh device"));
    refreshDev_->setAccessibleDescription(QStringLiteral("Looks for the tester again"));
    uploadData_->setAccessibleName(QStringLiteral("Upload data"));
    uploadData_->setAccessibleDescription(QStringLiteral("Reads the stored tests from the tester"));
    cancel_->setAccessibleName(QStringLiteral("Cancel"));
    cancel_->setAccessibleDescription(QStringLiteral("Closes the dialog"));
    connect(refreshDev_, &QPushButton::clicked, this, &UploadDialog::RefreshDevice);
    connect(uploadData_, &QPushButton::clicked, this, &UploadDialog::OnUploadData);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void UploadDialog::ShowCaption(const std::string& text) {
    const QString caption = QString::fromStdString(text);
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
        session_.Shown();
        if (!initDone_) {
            // Set-up, with its connection attempt and message box, comes
            // before the dialog is first shown.
            initDone_ = true;
            progress_->setRange(kProgressMin, kProgressMax);
            session_.SetUp();
            refreshDev_->setFocus();
        }
    }
    QDialog::setVisible(visible);
}

void UploadDialog::ShowProgress(int pos) {
    if (pos < progress_->minimum() || pos > progress_->maximum()) {
        // Outside the range the bar shows empty; setValue would ignore it.
        progress_->reset();
    } else {
        progress_->setValue(pos);
    }
    Q_EMIT progressPosChanged(pos);
}

void UploadDialog::ShowButtons(const UploadButtons& buttons) {
    refreshDev_->setEnabled(buttons.refresh);
    uploadData_->setEnabled(buttons.upload);
    cancel_->setEnabled(buttons.cancel);
}

void UploadDialog::RefreshDevice() {
    session_.RefreshDevice();
}

void UploadDialog::OnUploadData() {
    session_.UploadData();
}

void UploadDialog::accept() {
    // The OK action does nothing: the dialog ends by Cancel, Escape or close.
}

void UploadDialog::done(int result) {
    session_.Ended();
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
    session_.Close();
    QDialog::closeEvent(event);
}

void UploadDialog::Post(std::function<void()> fn) {
    // Queued, never inline, in order: each posted event runs one call. A
    // call still queued when the dialog is destroyed is dropped with it.
    calls_.Push(std::move(fn));
    QMetaObject::invokeMethod(this, "RunNextCall", Qt::QueuedConnection);
}

void UploadDialog::RunNextCall() {
    calls_.RunNext();
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
    vark::ShowMessage(owner, QString::fromStdString(text));
}

}  // namespace vark
