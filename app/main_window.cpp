#include "app/main_window.h"

#include <cstring>

#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSizeGrip>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <ctime>
#include <filesystem>

#include "app/about_dialog.h"
#include "app/app_icons.h"
#include "app/compare_view.h"
#include "app/dialog_units.h"
#include "app/file_dialogs.h"
#include "app/focus_frame.h"
#include "app/history_statistics.h"
#include "app/history_window.h"
#include "app/message_box.h"
#include "app/pin_list_view.h"
#include "app/pin_map_model.h"
#include "app/screen_fit.h"
#include "app/station_archive.h"
#include "app/tester_watch.h"
#include "app/window_memory.h"
#include "platform/system.h"
#include "records/compare.h"
#include "records/record_file.h"
#include "ui/link_texts.h"
#include "ui/main_layout.h"
#include "ui/reference_compare.h"
#include "ui/window_place.h"

namespace vark {

namespace {

struct ToolSpec {
    MainWindow::Command command;
    const char* label;
    const char* icon;
    bool separatorBefore;
    // The platform's key for the command; the program's own where the
    // platform has none.
    QKeySequence::StandardKey standardKey;
    QKeyCombination ownKey;
    // What the command does, for screen readers.
    const char* accessibleName;
};

constexpr ToolSpec kTools[] = {
    {MainWindow::CmdOpen, "Open", "open", false, QKeySequence::Open,
     QKeyCombination(Qt::CTRL, Qt::Key_O), "Open record file"},
    {MainWindow::CmdSave, "Save", "save", false, QKeySequence::Save,
     QKeyCombination(Qt::CTRL, Qt::Key_S), "Save record file"},
    {MainWindow::CmdPrint, "Print", "print", false, QKeySequence::Print,
     QKeyCombination(Qt::CTRL, Qt::Key_P), "Print report"},
    {MainWindow::CmdUpload, "Upload", "upload", true, QKeySequence::UnknownKey,
     QKeyCombination(Qt::CTRL, Qt::Key_U), "Upload from tester"},
    {MainWindow::CmdAbout, "About", "about", true, QKeySequence::UnknownKey,
     QKeyCombination(Qt::Key_F1), "About VARK-u"},
    {MainWindow::CmdExit, "Exit", "exit", true, QKeySequence::Quit,
     QKeyCombination(Qt::CTRL, Qt::Key_Q), "Exit VARK-u"},
};

// The keys of a command; Escape already ends the window and stays out.
QList<QKeySequence> CommandKeys(const ToolSpec& tool) {
    QList<QKeySequence> keys;
    if (tool.standardKey != QKeySequence::UnknownKey) {
        keys = QKeySequence::keyBindings(tool.standardKey);
    }
    keys.removeIf([](const QKeySequence& k) { return k == QKeySequence(Qt::Key_Escape); });
    if (keys.isEmpty()) {
        keys.append(QKeySequence(tool.ownKey));
    }
    return keys;
}

// The warning strip's inner margin and its close button's side.
constexpr int kStripMargin = 4;
constexpr int kCloseSize = 20;

// The window as first shown: larger than the minimum, room for the first
// pin-state column beside the ID and Pin columns.
constexpr int kInitialWidth = 800;
constexpr int kInitialHeight = 600;

// The window's column widths are fixed in pixels and made for an 11-pixel
// Arial-like face: with it a pin-map line of seven 9-character groups and the
// pin label "(40pin)" fit their columns. Liberation Sans has Arial's metrics.
QFont WindowFont() {
    return DialogFont();
}

// A dialog to the toolkit, but the program's main window to the desktop:
// assistive tools see a frame, not a dialog.
QAccessibleInterface* MainWindowAccessible(const QString& key, QObject* object) {
    if (key == QLatin1String(MainWindow::staticMetaObject.className()) && object &&
        object->isWidgetType()) {
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    }
    return nullptr;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QDialog(parent) {
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(MainWindowAccessible);
        return true;
    }();
    (void)accessibleInstalled;
    KeepWindowsOnScreen();
    KeepFocusVisible();
    icon_ = AppIcon();

    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QString::fromLatin1(kMainCaption));
    // A top-level window of its own (task bar entry, minimise and maximise
    // boxes), not a transient dialog.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setWindowIcon(icon_);
    setFont(WindowFont());

    CreateToolBar();

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("StatusBar"));
    statusBar_->setAccessibleName(QStringLiteral("Status"));
    statusBar_->setAccessibleDescription(
        QStringLiteral("The comparison's summary and whether a tester is attached"));
    statusBar_->setSizeGripEnabled(true);
    for (auto* grip : statusBar_->findChildren<QSizeGrip*>()) {
        grip->setAccessibleName(QStringLiteral("Size grip"));
        grip->setAccessibleDescription(QStringLiteral("Drag to resize the window"));
    }
    // The archive's state, left of the tester's: hidden until the window
    // is given an archive.
    archiveStatus_ = new QToolButton(statusBar_);
    archiveStatus_->setObjectName(QStringLiteral("ArchiveStatus"));
    archiveStatus_->setAutoRaise(true);
    archiveStatus_->setFocusPolicy(Qt::NoFocus);
    archiveStatus_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    archiveStatus_->setAccessibleName(QStringLiteral("Archive"));
    archiveStatus_->setAccessibleDescription(
        QStringLiteral("The results archive's state; opens the History window"));
    archiveStatus_->hide();
    statusBar_->addPermanentWidget(archiveStatus_);
    connect(archiveStatus_, &QToolButton::clicked, this, &MainWindow::showHistory);
    // On the right, apart from the messages the list's comparison leaves: the
    // strip keeps room for it in its own layout, and the text lies over that
    // room at the strip's whole height, which the layout's own margins would
    // not leave it.
    testerRoom_ = new QWidget(statusBar_);
    testerRoom_->setObjectName(QStringLiteral("TesterStatusRoom"));
    testerRoom_->setAccessibleName(QStringLiteral("Tester status room"));
    testerRoom_->setAccessibleDescription(QStringLiteral("Keeps room for the tester status"));
    testerRoom_->setFixedWidth(0);
    statusBar_->addPermanentWidget(testerRoom_);
    testerRoom_->installEventFilter(this);
    testerStatus_ = new QLabel(statusBar_);
    testerStatus_->setObjectName(QStringLiteral("TesterStatus"));
    testerStatus_->setAccessibleName(QStringLiteral("Tester status"));
    testerStatus_->setAccessibleDescription(QStringLiteral("Whether a tester is attached"));
    testerStatus_->setTextFormat(Qt::PlainText);
    testerStatus_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    pathEdit_ = new QLineEdit(this);
    pathEdit_->setObjectName(QStringLiteral("PathEdit"));
    pathEdit_->setAccessibleName(QStringLiteral("Record file path"));
    pathEdit_->setAccessibleDescription(
        QStringLiteral("The record file last opened or saved; typing here changes nothing"));
    pathEdit_->installEventFilter(this);

    openButton_ = new QPushButton(QStringLiteral("Open"), this);
    openButton_->setObjectName(QStringLiteral("OpenButton"));
    openButton_->setAccessibleName(QStringLiteral("Open file beside path"));
    openButton_->setAccessibleDescription(QStringLiteral(
        "Opens a record file, like the toolbar's Open; its path shows in the field"));
    // Enter runs Open only while the button has the focus (see eventFilter);
    // it is never the window's default button. Not even while focused: the
    // style draws a default button as it draws the focus, and the focus
    // would not show.
    openButton_->setAutoDefault(false);
    openButton_->setDefault(false);
    openButton_->installEventFilter(this);
    connect(openButton_, &QPushButton::clicked, this, &MainWindow::OpenRecordFile);

    divider_ = new QFrame(this);
    divider_->setObjectName(QStringLiteral("Divider"));
    divider_->setAccessibleName(QStringLiteral("Divider"));
    divider_->setAccessibleDescription(QStringLiteral("A line above the list of records"));
    divider_->setFrameShape(QFrame::HLine);
    divider_->setFrameShadow(QFrame::Sunken);

    CreateList();
    compare_ = new CompareView(this, list_, pinMap_, statusBar_, doc_.Block());
    connect(compare_, &CompareView::useAsGoldenRequested, this, &MainWindow::UseAsGoldenForPart);
    connect(compare_, &CompareView::goldenFileUsed, this, &MainWindow::RememberGoldenFile);
    CreateWarningStrip();
    connect(compare_, &CompareView::warningChanged, this, &MainWindow::ShowWarning);

    EnableFileDrops();

    historyAction_ = new QAction(QStringLiteral("History..."), this);
    historyAction_->setObjectName(QStringLiteral("HistoryAction"));
    historyAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    historyAction_->setShortcutContext(Qt::WindowShortcut);
    addAction(historyAction_);
    connect(historyAction_, &QAction::triggered, this, &MainWindow::showHistory);
    compare_->ContextMenu()->addSeparator();
    compare_->ContextMenu()->addAction(historyAction_);

    setTabOrder(openButton_, pathEdit_);
    setTabOrder(pathEdit_, list_);

    setMinimumSize(kMinFrameWidth, kMinFrameHeight);
    resize(kInitialWidth, kInitialHeight);

    layoutReady_ = true;
    ApplyLayout(ComputeLayout(width(), height()));
    RefreshPinMap();

    openButton_->setFocus();
}

MainWindow::~MainWindow() = default;

void MainWindow::CreateToolBar() {
    toolBar_ = new QToolBar(this);
    toolBar_->setObjectName(QStringLiteral("ToolBar"));
    toolBar_->setAccessibleName(QStringLiteral("Commands"));
    toolBar_->setAccessibleDescription(QStringLiteral("The window's commands"));
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setIconSize(QSize(32, 32));
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

    for (const ToolSpec& tool : kTools) {
        if (tool.separatorBefore) {
            toolBar_->addSeparator();
        }
        QAction* action = toolBar_->addAction(ToolBarIcon(QString::fromLatin1(tool.icon)),
                                              QString::fromLatin1(tool.label));
        action->setObjectName(QStringLiteral("Tool%1").arg(QString::fromLatin1(tool.label)));
        const QList<QKeySequence> keys = CommandKeys(tool);
        action->setShortcuts(keys);
        action->setToolTip(
            keys.isEmpty() ? action->text()
                           : QStringLiteral("%1 (%2)").arg(
                                 action->text(), keys.first().toString(QKeySequence::NativeText)));
        actions_[tool.command] = action;
        if (auto* button = qobject_cast<QToolButton*>(toolBar_->widgetForAction(action))) {
            button->setMinimumWidth(40);
            button->setMaximumWidth(120);
            button->setAutoRaise(true);
            button->setAccessibleName(QString::fromLatin1(tool.accessibleName));
            button->setAccessibleDescription(action->toolTip());
        }
    }
    // The button that shows the commands a narrow window has no room for.
    for (auto* more : toolBar_->findChildren<QToolButton*>()) {
        if (more->accessibleName().isEmpty() && !more->defaultAction()) {
            more->setAccessibleName(QStringLiteral("More commands"));
            more->setAccessibleDescription(
                QStringLiteral("The commands the window is too narrow to show"));
        }
    }
    connect(actions_[CmdOpen], &QAction::triggered, this, &MainWindow::OpenRecordFile);
    connect(actions_[CmdSave], &QAction::triggered, this, &MainWindow::SaveRecordFile);
    connect(actions_[CmdPrint], &QAction::triggered, this, &MainWindow::PrintReport);
    connect(actions_[CmdUpload], &QAction::triggered, this, &MainWindow::Upload);
    connect(actions_[CmdAbout], &QAction::triggered, this, &MainWindow::About);
    connect(actions_[CmdExit], &QAction::triggered, this, &MainWindow::Exit);
}

void MainWindow::CreateList() {
    pinMap_ = new PinMapModel(this);
    list_ = new PinListView(this);
    list_->setObjectName(QStringLiteral("PinList"));
    list_->setAccessibleName(QStringLiteral("Test records"));
    list_->setAccessibleDescription(
        QStringLiteral("One row per test: its number, pin count and pin map"));
    list_->setModel(pinMap_);
    pinMap_->SetPaletteSource(list_);
    list_->setShowGrid(true);
    list_->setSortingEnabled(false);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setWordWrap(false);
    list_->setCornerButtonEnabled(false);
    list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);

    // Rows are 20 pixels high, whatever the font asks for. The row header
    // keeps each row's test number and mark in view when the wide pin-state
    // columns are scrolled sideways.
    QHeaderView* rows = list_->verticalHeader();
    rows->setObjectName(QStringLiteral("RowHeader"));
    rows->setSectionsClickable(false);
    rows->setHighlightSections(false);
    rows->setMinimumSectionSize(1);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(20);

    QHeaderView* columns = list_->horizontalHeader();
    columns->setSectionsClickable(false);
    columns->setSortIndicatorShown(false);
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    for (int c = 0; c < kListColumns; ++c) {
        columns->resizeSection(c, PinMapModel::ColumnWidth(c));
    }
}

void MainWindow::CreateWarningStrip() {
    warningStrip_ = new QFrame(this);
    warningStrip_->setObjectName(QStringLiteral("CompareWarning"));
    warningStrip_->setFrameShape(QFrame::StyledPanel);
    warningStrip_->setAutoFillBackground(true);
    warningStrip_->setBackgroundRole(QPalette::ToolTipBase);
    warningStrip_->setForegroundRole(QPalette::ToolTipText);
    warningStrip_->setAccessibleName(QStringLiteral("Comparison warning"));
    warningStrip_->setAccessibleDescription(
        QStringLiteral("A warning about the reference; it can be closed"));
    warningText_ = new QLabel(warningStrip_);
    warningText_->setObjectName(QStringLiteral("CompareWarningText"));
    warningText_->setAccessibleName(QStringLiteral("Warning"));
    warningText_->setAccessibleDescription(
        QStringLiteral("Why the reference may be the bad cable"));
    warningText_->setTextFormat(Qt::PlainText);
    warningText_->setWordWrap(true);
    warningText_->setForegroundRole(QPalette::ToolTipText);
    warningText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* close = new QToolButton(warningStrip_);
    close->setObjectName(QStringLiteral("CompareWarningClose"));
    close->setText(QStringLiteral("\u00D7"));
    close->setAutoRaise(true);
    close->setToolTip(QStringLiteral("Close the warning"));
    close->setAccessibleName(QStringLiteral("Close the warning"));
    close->setAccessibleDescription(QStringLiteral("Hides the warning until another one comes"));
    connect(close, &QToolButton::clicked, this, &MainWindow::CloseWarning);
    warningStrip_->hide();
    warningStrip_->installEventFilter(this);
}

int MainWindow::WarningHeight(int width) const {
    const int textWidth = std::max(1, width - 3 * kStripMargin - kCloseSize);
    const int text = warningText_->heightForWidth(textWidth);
    return std::max(text, kCloseSize) + 2 * kStripMargin;
}

void MainWindow::ShowWarning(const QString& warning) {
    warningText_->setText(warning);
    const bool show = !warning.isEmpty() && warning != closedWarning_;
    if (warning != closedWarning_) {
        closedWarning_.clear();
    }
    warningStrip_->setVisible(show);
    if (layoutReady_) {
        ApplyLayout(ComputeLayout(width(), height()));
    }
}

void MainWindow::CloseWarning() {
    closedWarning_ = warningText_->text();
    warningStrip_->hide();
    ApplyLayout(ComputeLayout(width(), height()));
    list_->setFocus();
}

void MainWindow::ApplyLayout(const MainLayout& layout) {
    const auto place = [](QWidget* w, const Box& b) {
        w->setGeometry(b.x, b.y, b.width, b.height);
    };
    place(toolBar_, layout.toolBar);
    place(pathEdit_, layout.pathEdit);
    place(openButton_, layout.openButton);
    place(divider_, layout.divider);
    Box list = layout.list;
    if (warningStrip_ && !warningStrip_->isHidden()) {
        const int h = std::min(WarningHeight(list.width), list.height);
        place(warningStrip_, {list.x, list.y, list.width, h});
        list.y += h;
        list.height -= h;
    }
    place(list_, list);
    place(statusBar_, layout.statusBar);
    update();
}

// The minimum applies to the outer frame. Until the window manager has framed
// the window its frame is unknown, so the client itself gets the minimum.
void MainWindow::UpdateMinimumSize() {
    const QSize frame = frameGeometry().size();
    const Extent minimum = ClientMinimum({kMinFrameWidth, kMinFrameHeight},
                                         {frame.width(), frame.height()}, {width(), height()});
    if (QSize(minimum.width, minimum.height) != minimumSize()) {
        setMinimumSize(minimum.width, minimum.height);
    }
}

// On X11 the window manager tells the frame in a property of the window
// (_NET_FRAME_EXTENTS), after reparenting it, and may do so after the first
// paint and activation; Qt reads the property once it has seen the change,
// so the minimum is looked at again after it.
bool MainWindow::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (eventType == "xcb_generic_event_t" && message) {
        // The event's first byte is its type: property, reparent, configure.
        const unsigned type = *static_cast<const unsigned char*>(message) & 0x7Fu;
        if (type == 28 || type == 21 || type == 22) {
            QTimer::singleShot(0, this, &MainWindow::UpdateMinimumSize);
        }
    }
    return QDialog::nativeEvent(eventType, message, result);
}

bool MainWindow::event(QEvent* event) {
    // The window manager tells its frame after the window is mapped, before
    // the first paint or activation; no move need follow, so the minimum is
    // corrected then too.
    const QEvent::Type type = event->type();
    if (type == QEvent::Paint || type == QEvent::WindowActivate || type == QEvent::Move) {
        UpdateMinimumSize();
    }
    if (type == QEvent::Show) {
        // A window manager slow to frame a new window (a cold start) may
        // tell its frame only after the first paint and activation.
        for (const int ms : {100, 400, 1500}) {
            QTimer::singleShot(ms, this, &MainWindow::UpdateMinimumSize);
        }
    }
    if (type == QEvent::WindowActivate) {
        PassActivationToModal();
    }
    const bool handled = QDialog::event(event);
    if (type == QEvent::Paint && !paintedOnce_) {
        paintedOnce_ = true;
        Q_EMIT firstPainted();
        // The archive is counted once the window is up, so that a large one
        // never holds up the first paint.
        if (countWhenPainted_ && archive_) {
            countWhenPainted_ = false;
            archive_->Refresh();
        }
    }
    return handled;
}

// A click on this window while a box or dialog of the program blocks it
// lets the window manager activate it; the keys would then reach a window
// that takes none. The blocking window gets the activation, and stays on top.
void MainWindow::PassActivationToModal() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != this && modal->isVisible()) {
        modal->raise();
        modal->activateWindow();
    }
}

void MainWindow::PlaceWarningParts() {
    const QRect r = warningStrip_->rect();
    warningText_->setGeometry(kStripMargin, kStripMargin,
                              std::max(0, r.width() - 3 * kStripMargin - kCloseSize),
                              std::max(0, r.height() - 2 * kStripMargin));
    if (auto* close = warningStrip_->findChild<QToolButton*>()) {
        close->setGeometry(r.width() - kStripMargin - kCloseSize, kStripMargin, kCloseSize,
                           kCloseSize);
    }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (layoutReady_) {
        ApplyLayout(ComputeLayout(width(), height()));
    }
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    UpdateMinimumSize();
}

void MainWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    UpdateMinimumSize();
    if (!shownOnce_) {
        shownOnce_ = true;
        Q_EMIT firstShown();
    }
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // The window has no OK action: Enter does nothing here. A push button
    // with the focus takes Enter itself before it reaches the window.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    // Escape is the cancel action and ends the window.
    QDialog::keyPressEvent(event);
}

int MainWindow::Run() {
    // Shown without a modal run of its own: a modal window would tell the
    // window manager it is a modal dialog, which some desktops keep out of
    // the task bar and the window switcher. It blocks nothing anyway, being
    // the only window until it opens one of its own dialogs.
    setWindowModality(Qt::NonModal);
    WindowMemory memory(WindowMemory::UserFile());
    SetMemory(&memory);
    RestorePlace();
    show();
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::DialogExec);
    RememberPlace();
    memory.Save();
    SetMemory(nullptr);
    return result();
}

void MainWindow::SetMemory(WindowMemory* memory) {
    memory_ = memory;
    if (memory_) {
        SetDialogFolder(memory_->LastFolder());
        compare_->SetLastGoldenFile(memory_->LastGoldenFile());
    }
}

void MainWindow::RestorePlace() {
    const auto place = memory_ ? memory_->WindowPlace() : std::nullopt;
    if (!place) {
        return;
    }
    const QMargins m = FrameMargins(this);
    const Box saved{place->frameTopLeft.x(), place->frameTopLeft.y(),
                    place->clientSize.width() + m.left() + m.right(),
                    place->clientSize.height() + m.top() + m.bottom()};
    std::vector<Box> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect a = screen->availableGeometry();
        screens.push_back({a.x(), a.y(), a.width(), a.height()});
    }
    const auto fitted = RestorablePlace(saved, screens, {kMinFrameWidth, kMinFrameHeight});
    if (!fitted) {
        return;  // its screen is gone: placed as a first start would be
    }
    resize(fitted->width - m.left() - m.right(), fitted->height - m.top() - m.bottom());
    move(fitted->x, fitted->y);
    if (place->maximized) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

void MainWindow::RememberPlace() {
    if (!memory_) {
        return;
    }
    const QMargins m = FrameMargins(this);
    const bool maximized = isMaximized();
    // A maximised window comes back maximised, over the place it had before.
    const QRect normal = maximized && normalGeometry().isValid() ? normalGeometry() : geometry();
    memory_->SetWindowPlace(
        {normal.topLeft() - QPoint(m.left(), m.top()), normal.size(), maximized});
}

void MainWindow::RememberFolderOf(const QString& path) {
    const QString folder = QFileInfo(path).absolutePath();
    SetDialogFolder(folder);
    if (memory_) {
        memory_->SetLastFolder(folder);
        memory_->Save();
    }
}

void MainWindow::RememberGoldenFile(const QString& path) {
    if (memory_) {
        memory_->SetLastGoldenFile(path);
        memory_->Save();
    }
}

void MainWindow::SetTesterWatch(TesterWatch* watch) {
    if (watch_) {
        disconnect(watch_, nullptr, this, nullptr);
    }
    watch_ = watch;
    if (watch_) {
        connect(watch_, &TesterWatch::changed, this, &MainWindow::ShowTester);
    }
    ShowTester();
}

void MainWindow::ShowTester() {
    const bool known = watch_ && watch_->Known();
    const QString text =
        known ? QString::fromStdString(TesterStatusText(AttachedTester(watch_->Snapshot().ports)))
              : QString();
    testerStatus_->setText(text);
    testerRoom_->setFixedWidth(QFontMetrics(testerStatus_->font()).horizontalAdvance(text));
    PlaceTesterStatus();
}

void MainWindow::PlaceTesterStatus() {
    const QRect room = testerRoom_->geometry();
    testerStatus_->setGeometry(room.x(), 0, room.width(), statusBar_->height());
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == openButton_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            openButton_->click();
            return true;
        }
    }
    // The path field would take some command keys for its own editing
    // (Ctrl+U clears it); the commands come first, as its text is never read.
    if (watched == pathEdit_ && event->type() == QEvent::ShortcutOverride) {
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        for (const QAction* action : actions_) {
            if (action->shortcuts().contains(pressed)) {
                event->ignore();
                return true;
            }
        }
    }
    if (watched == warningStrip_ && event->type() == QEvent::Resize) {
        PlaceWarningParts();
    }
    if (watched == testerRoom_ &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        PlaceTesterStatus();
    }
    return QDialog::eventFilter(watched, event);
}

void MainWindow::SetArchive(StationArchive* archive) {
    if (archive_) {
        disconnect(archive_, nullptr, this, nullptr);
    }
    archive_ = archive;
    archiveStatus_->setVisible(archive_ != nullptr);
    if (!archive_) {
        return;
    }
    connect(archive_, &StationArchive::stateChanged, this, &MainWindow::ShowArchiveState);
    ShowArchiveState();
    if (paintedOnce_) {
        archive_->Refresh();
    } else {
        countWhenPainted_ = true;
    }
}

void MainWindow::ShowArchiveState() {
    if (!archive_) {
        return;
    }
    const ArchiveState& state = archive_->State();
    archiveStatus_->setText(QString::fromStdString(ArchiveStatusText(state)));
    archiveStatus_->setToolTip(QString::fromStdString(ArchiveStatusTip(state)));
}

void MainWindow::showHistory() {
    Q_EMIT historyRequested();
    ShowHistory();
}

std::string MainWindow::KeepUpload(const RecordBlock& block, const UploadFacts& facts,
                                   const RunDetails& typed) {
    const RunDetails details = CleanRunDetails(typed, archive_->Config().operatorName);
    std::optional<StationArchive::Reference> reference;
    // The list was replaced already: a reference taken from it has gone, a
    // golden file's stays and is the run's own.
    if (const auto taken = compare_->Rules().TakenReference()) {
        reference = StationArchive::Reference{taken->record, taken->label};
    }
    const auto done = archive_->CommitUpload(block, facts, details, reference);
    if (!archive_->RememberDetails(details)) {
        statusBar_->showMessage(
            QStringLiteral("The Run details could not be kept in the settings file %1.")
                .arg(QString::fromStdString(archive::SettingsFilePath())));
    }
    if (!done) {
        return NotArchivedText(done.error().message);
    }
    // Compared in the archive with the part's golden reference: the list
    // does not show that comparison, the status line says how it came out.
    if (done->comparison && !reference) {
        std::string text =
            "Compared with " + done->referenceLabel + ": " + SummaryText(*done->comparison);
        if (!done->warning.empty()) {
            text += " " + done->warning;
        }
        statusBar_->showMessage(QString::fromStdString(text));
        statusBar_->setToolTip(QString::fromStdString(text));
    }
    return {};
}

bool MainWindow::OpenArchivedRun(const QString& run) {
    if (!archive_ || !archive_->Enabled()) {
        vark::ShowMessage(this, QString::fromStdString(FramedMessage("The archive is off.")));
        return false;
    }
    std::string uuid;
    const auto block = archive_->ReadRun(run.toStdString(), &uuid);
    if (!block) {
        vark::ShowMessage(this, QString::fromStdString(FramedMessage("The run cannot be opened: " +
                                                                     block.error().message)));
        return false;
    }
    doc_.SetBlock(*block);
    doc_.ForgetPath();
    pathEdit_->setText(Path());
    ShowRows();
    if (!compare_->HasReference()) {
        statusBar_->showMessage(
            QStringLiteral("Run %1 from the archive").arg(QString::fromStdString(uuid)));
    }
    return true;
}

void MainWindow::SetBlock(const RecordBlock& block) {
    doc_.SetBlock(block);
    blockFile_.clear();
    ShowRows();
}

void MainWindow::RefreshPinMap() {
    doc_.RefreshRows();
    ShowRows();
}

void MainWindow::ShowRows() {
    pinMap_->Rebuild(doc_.Rows());
    compare_->ListReplaced();
}

QString MainWindow::Path() const {
    return FromFsPath(doc_.Path());
}

int MainWindow::RowCount() const {
    return pinMap_->rowCount();
}

QString MainWindow::CellText(int row, int col) const {
    return pinMap_->CellText(row, col);
}

void MainWindow::OpenRecordFile() {
    const QString path = AskOpenPath(this);
    if (path.isEmpty()) {
        return;
    }
    OpenFile(path);
}

bool MainWindow::OpenFile(const QString& path) {
    const CommandResult result = doc_.Open(ToFsPath(path));
    if (!result.Ok()) {
        vark::ShowMessage(this, QString::fromStdString(result.message));
        return false;
    }
    pathEdit_->setText(Path());
    blockFile_ = doc_.Path();
    ShowRows();
    RememberFolderOf(path);
    return true;
}

bool MainWindow::OpenArchivedBytes(std::string_view recordFile) {
    const CommandResult result = doc_.OpenBytes(recordFile);
    if (!result.Ok()) {
        vark::ShowMessage(this, QString::fromStdString(result.message));
        return false;
    }
    pathEdit_->setText(Path());
    ShowRows();
    return true;
}

void MainWindow::SetArchiveConfig(const archive::ArchiveConfig& config) {
    archiveConfig_ = config;
    if (history_) {
        history_->SetArchive(config);
    }
}

void MainWindow::ShowHistory() {
    if (!history_) {
        if (!archiveConfig_) {
            // The window's own archive (--archive, --no-archive included),
            // else the one the settings file and the environment name.
            archiveConfig_ = archive_ ? archive_->Config()
                                      : archive::ResolveArchiveConfig(
                                            archive::LoadSettings(archive::SettingsFilePath()),
                                            archive::SystemSurroundings(), {});
        }
        history_ = new HistoryWindow(this);
        AddStatisticsTab(history_);
        // An amendment or a void is for the factory server too.
        connect(history_, &HistoryWindow::reloaded, this, [this] {
            if (archive_) {
                archive_->ForwardSoon();
            }
        });
        connect(history_, &HistoryWindow::openRequested, this,
                [this](const QByteArray& bytes, const QString&) {
                    if (OpenArchivedBytes(std::string_view(
                            bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
                        raise();
                        activateWindow();
                    }
                });
        history_->SetArchive(*archiveConfig_);
    } else {
        // Runs archived since it was last shown.
        history_->Reload();
    }
    history_->show();
    history_->raise();
    history_->activateWindow();
}

void MainWindow::SaveRecordFile() {
    const std::tm local = platform::LocalTimeNow().value_or(std::tm{});
    const QString defaultName = QString::fromStdString(RecordDocument::DefaultSaveName(local));

    const QString chosen = AskSavePath(this, defaultName);
    if (chosen.isEmpty()) {
        return;
    }
    const std::filesystem::path target = RecordDocument::SaveTarget(ToFsPath(chosen));
    if (RecordDocument::AskBeforeReplacing(ToFsPath(chosen), target) &&
        !ConfirmReplace(this, FromFsPath(target))) {
        return;
    }
    const CommandResult result = doc_.Save(target);
    if (!result.Ok()) {
        vark::ShowMessage(this, QString::fromStdString(result.message));
        return;
    }
    // The block is unchanged, so the list needs no refresh.
    pathEdit_->setText(Path());
    blockFile_ = doc_.Path();
    RememberFolderOf(FromFsPath(target));
}

void MainWindow::About() {
    AboutDialog about(this);
    about.exec();
}

void MainWindow::Exit() {
    reject();
}

}  // namespace vark
