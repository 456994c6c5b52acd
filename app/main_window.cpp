#include "app/main_window.h"

#include <cstring>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
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
#include "app/history_window.h"
#include "app/message_box.h"
#include "app/pin_map_model.h"
#include "app/tester_watch.h"
#include "platform/system.h"
#include "ui/link_texts.h"
#include "ui/main_layout.h"

namespace vark {

namespace {

struct ToolSpec {
    MainWindow::Command command;
    const char* label;
    const char* icon;
    bool separatorBefore;
};

constexpr ToolSpec kTools[] = {
    {MainWindow::CmdOpen, "Open", "open", false},
    {MainWindow::CmdSave, "Save", "save", false},
    {MainWindow::CmdPrint, "Print", "print", false},
    {MainWindow::CmdUpload, "Upload", "upload", true},
    {MainWindow::CmdAbout, "About", "about", true},
    {MainWindow::CmdExit, "Exit", "exit", true},
};

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

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QDialog(parent) {
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
    statusBar_->setSizeGripEnabled(true);
    // On the right, apart from the messages the list's comparison leaves: the
    // strip keeps room for it in its own layout, and the text lies over that
    // room at the strip's whole height, which the layout's own margins would
    // not leave it.
    testerRoom_ = new QWidget(statusBar_);
    testerRoom_->setObjectName(QStringLiteral("TesterStatusRoom"));
    testerRoom_->setFixedWidth(0);
    statusBar_->addPermanentWidget(testerRoom_);
    testerRoom_->installEventFilter(this);
    testerStatus_ = new QLabel(statusBar_);
    testerStatus_->setObjectName(QStringLiteral("TesterStatus"));
    testerStatus_->setTextFormat(Qt::PlainText);
    testerStatus_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    pathEdit_ = new QLineEdit(this);
    pathEdit_->setObjectName(QStringLiteral("PathEdit"));

    openButton_ = new QPushButton(QStringLiteral("Open"), this);
    openButton_->setObjectName(QStringLiteral("OpenButton"));
    // Enter runs Open only while the button has the focus; it is never the
    // window's default button.
    openButton_->setAutoDefault(true);
    openButton_->setDefault(false);
    connect(openButton_, &QPushButton::clicked, this, &MainWindow::OpenRecordFile);

    divider_ = new QFrame(this);
    divider_->setObjectName(QStringLiteral("Divider"));
    divider_->setFrameShape(QFrame::HLine);
    divider_->setFrameShadow(QFrame::Sunken);

    CreateList();
    compare_ = new CompareView(this, list_, pinMap_, statusBar_, doc_.Block());

    EnableFileDrops();

    historyAction_ = new QAction(QStringLiteral("History..."), this);
    historyAction_->setObjectName(QStringLiteral("ShowHistory"));
    historyAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    historyAction_->setShortcutContext(Qt::WindowShortcut);
    addAction(historyAction_);
    connect(historyAction_, &QAction::triggered, this, &MainWindow::ShowHistory);
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
        actions_[tool.command] = action;
        if (auto* button = qobject_cast<QToolButton*>(toolBar_->widgetForAction(action))) {
            button->setMinimumWidth(40);
            button->setMaximumWidth(120);
            button->setAutoRaise(true);
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
    list_ = new QTableView(this);
    list_->setObjectName(QStringLiteral("PinList"));
    list_->setModel(pinMap_);
    list_->setShowGrid(true);
    list_->setSortingEnabled(false);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setWordWrap(false);
    list_->setCornerButtonEnabled(false);
    list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);

    // Rows are 20 pixels high, whatever the font asks for.
    QHeaderView* rows = list_->verticalHeader();
    rows->hide();
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

void MainWindow::ApplyLayout(const MainLayout& layout) {
    const auto place = [](QWidget* w, const Box& b) {
        w->setGeometry(b.x, b.y, b.width, b.height);
    };
    place(toolBar_, layout.toolBar);
    place(pathEdit_, layout.pathEdit);
    place(openButton_, layout.openButton);
    place(divider_, layout.divider);
    place(list_, layout.list);
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

bool MainWindow::event(QEvent* event) {
    // The window manager tells its frame after the window is mapped, before
    // the first paint or activation; no move need follow, so the minimum is
    // corrected then too.
    const QEvent::Type type = event->type();
    if (type == QEvent::Paint || type == QEvent::WindowActivate) {
        UpdateMinimumSize();
    }
    if (type == QEvent::WindowActivate) {
        PassActivationToModal();
    }
    const bool handled = QDialog::event(event);
    if (type == QEvent::Paint && !paintedOnce_) {
        paintedOnce_ = true;
        Q_EMIT firstPainted();
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
    if (watched == testerRoom_ &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        PlaceTesterStatus();
    }
    return QDialog::eventFilter(watched, event);
}

void MainWindow::SetBlock(const RecordBlock& block) {
    doc_.SetBlock(block);
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
    ShowRows();
    return true;
}

bool MainWindow::OpenArchivedRun(std::string_view recordFile) {
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
            archiveConfig_ =
                archive::ResolveArchiveConfig(archive::LoadSettings(archive::SettingsFilePath()),
                                              archive::SystemSurroundings(), {});
        }
        history_ = new HistoryWindow(this);
        connect(history_, &HistoryWindow::openRequested, this,
                [this](const QByteArray& bytes, const QString&) {
                    if (OpenArchivedRun(std::string_view(bytes.constData(),
                                                         static_cast<std::size_t>(bytes.size())))) {
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
}

void MainWindow::About() {
    AboutDialog about(this);
    about.exec();
}

void MainWindow::Exit() {
    reject();
}

}  // namespace vark
