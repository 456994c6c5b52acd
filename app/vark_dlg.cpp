#include "app/vark_dlg.h"

#include <cstring>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <ctime>
#include <filesystem>

#include "app/about_dlg.h"
#include "app/app_icons.h"
#include "app/compare_view.h"
#include "app/dialog_units.h"
#include "app/file_dialogs.h"
#include "app/main_layout.h"
#include "app/message_box.h"
#include "app/pin_map_model.h"
#include "platform/system.h"
#include "records/record_file.h"

namespace {

struct ToolSpec {
    CVarkDlg::Command command;
    const char* label;
    const char* icon;
    bool separatorBefore;
};

constexpr ToolSpec kTools[] = {
    {CVarkDlg::CmdOpen, "Open", "open", false},    {CVarkDlg::CmdSave, "Save", "save", false},
    {CVarkDlg::CmdPrint, "Print", "print", false}, {CVarkDlg::CmdUpload, "Upload", "upload", true},
    {CVarkDlg::CmdAbout, "About", "about", true},  {CVarkDlg::CmdExit, "Exit", "exit", true},
};

// The window as first shown: larger than the minimum, room for the first
// pin-state column beside the ID and Pin columns.
constexpr int kInitialWidth = 800;
constexpr int kInitialHeight = 600;

// The window's column widths are fixed in pixels and made for an 11-pixel
// Arial-like face: with it a pin-map line of seven 9-character groups and the
// pin label "(40pin)" fit their columns. Liberation Sans has Arial's metrics.
QFont WindowFont() {
    return vark::DialogFont();
}

}  // namespace

CVarkDlg::CVarkDlg(QWidget* parent) : QDialog(parent) {
    vark::ClearBlock(m_block);
    m_hIcon = vark::AppIcon();

    setObjectName(QStringLiteral("CVarkDlg"));
    setWindowTitle(QString::fromLatin1(vark::kMainCaption));
    // A top-level window of its own (task bar entry, minimise and maximise
    // boxes), not a transient dialog.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setWindowIcon(m_hIcon);
    setFont(WindowFont());

    CreateToolBar();

    m_wndStatusBar = new QStatusBar(this);
    m_wndStatusBar->setObjectName(QStringLiteral("StatusBar"));
    m_wndStatusBar->setSizeGripEnabled(true);

    m_pPathEdit = new QLineEdit(this);
    m_pPathEdit->setObjectName(QStringLiteral("PathEdit"));

    m_pOpenButton = new QPushButton(QStringLiteral("Open"), this);
    m_pOpenButton->setObjectName(QStringLiteral("OpenButton"));
    // Enter runs Open only while the button has the focus; it is never the
    // window's default button.
    m_pOpenButton->setAutoDefault(true);
    m_pOpenButton->setDefault(false);
    connect(m_pOpenButton, &QPushButton::clicked, this, &CVarkDlg::OpenRecordFile);

    m_pDivider = new QFrame(this);
    m_pDivider->setObjectName(QStringLiteral("Divider"));
    m_pDivider->setFrameShape(QFrame::HLine);
    m_pDivider->setFrameShadow(QFrame::Sunken);

    CreateList();
    m_pCompare = new vark::CompareView(this, m_list, m_pPinMap, m_wndStatusBar, m_block);

    EnableFileDrops();

    setTabOrder(m_pOpenButton, m_pPathEdit);
    setTabOrder(m_pPathEdit, m_list);

    setMinimumSize(vark::kMinWindowWidth, vark::kMinWindowHeight);
    resize(kInitialWidth, kInitialHeight);

    m_bLayoutReady = true;
    ApplyLayout(vark::ComputeLayout(size()));
    RefreshPinMap();

    m_pOpenButton->setFocus();
}

CVarkDlg::~CVarkDlg() = default;

void CVarkDlg::CreateToolBar() {
    m_wndToolBar = new QToolBar(this);
    m_wndToolBar->setObjectName(QStringLiteral("ToolBar"));
    m_wndToolBar->setMovable(false);
    m_wndToolBar->setFloatable(false);
    m_wndToolBar->setIconSize(QSize(32, 32));
    m_wndToolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

    for (const ToolSpec& tool : kTools) {
        if (tool.separatorBefore) {
            m_wndToolBar->addSeparator();
        }
        QAction* action = m_wndToolBar->addAction(vark::ToolBarIcon(QString::fromLatin1(tool.icon)),
                                                  QString::fromLatin1(tool.label));
        action->setObjectName(QStringLiteral("Tool%1").arg(QString::fromLatin1(tool.label)));
        m_actions[tool.command] = action;
        if (auto* button = qobject_cast<QToolButton*>(m_wndToolBar->widgetForAction(action))) {
            button->setMinimumWidth(40);
            button->setMaximumWidth(120);
            button->setAutoRaise(true);
        }
    }
    connect(m_actions[CmdOpen], &QAction::triggered, this, &CVarkDlg::OpenRecordFile);
    connect(m_actions[CmdSave], &QAction::triggered, this, &CVarkDlg::SaveRecordFile);
    connect(m_actions[CmdPrint], &QAction::triggered, this, &CVarkDlg::PrintReport);
    connect(m_actions[CmdUpload], &QAction::triggered, this, &CVarkDlg::Upload);
    connect(m_actions[CmdAbout], &QAction::triggered, this, &CVarkDlg::About);
    connect(m_actions[CmdExit], &QAction::triggered, this, &CVarkDlg::Exit);
}

void CVarkDlg::CreateList() {
    m_pPinMap = new vark::PinMapModel(this);
    m_list = new QTableView(this);
    m_list->setObjectName(QStringLiteral("PinList"));
    m_list->setModel(m_pPinMap);
    m_list->setShowGrid(true);
    m_list->setSortingEnabled(false);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setWordWrap(false);
    m_list->setCornerButtonEnabled(false);
    m_list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);

    // Rows are 20 pixels high, whatever the font asks for.
    QHeaderView* rows = m_list->verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(1);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(20);

    QHeaderView* columns = m_list->horizontalHeader();
    columns->setSectionsClickable(false);
    columns->setSortIndicatorShown(false);
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    for (int c = 0; c < vark::kListColumns; ++c) {
        columns->resizeSection(c, vark::PinMapModel::ColumnWidth(c));
    }
}

void CVarkDlg::ApplyLayout(const vark::MainLayout& layout) {
    m_wndToolBar->setGeometry(layout.toolBar);
    m_pPathEdit->setGeometry(layout.pathEdit);
    m_pOpenButton->setGeometry(layout.openButton);
    m_pDivider->setGeometry(layout.divider);
    m_list->setGeometry(layout.list);
    m_wndStatusBar->setGeometry(layout.statusBar);
    update();
}

// The minimum applies to the outer frame. Until the window manager has framed
// the window its frame is unknown, so the client itself gets the minimum.
void CVarkDlg::UpdateMinimumSize() {
    const QSize minimum = vark::ClientMinimum(QSize(vark::kMinWindowWidth, vark::kMinWindowHeight),
                                              frameGeometry().size(), geometry().size());
    if (minimum != minimumSize()) {
        setMinimumSize(minimum);
    }
}

bool CVarkDlg::event(QEvent* event) {
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
    if (type == QEvent::Paint && !m_bPaintedOnce) {
        m_bPaintedOnce = true;
        Q_EMIT firstPainted();
    }
    return handled;
}

// A click on this window while a box or dialog of the program blocks it
// lets the window manager activate it; the keys would then reach a window
// that takes none. The blocking window gets the activation, and stays on top.
void CVarkDlg::PassActivationToModal() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != this && modal->isVisible()) {
        modal->raise();
        modal->activateWindow();
    }
}

void CVarkDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (m_bLayoutReady) {
        ApplyLayout(vark::ComputeLayout(size()));
    }
}

void CVarkDlg::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    UpdateMinimumSize();
}

void CVarkDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    UpdateMinimumSize();
    if (!m_bShownOnce) {
        m_bShownOnce = true;
        Q_EMIT firstShown();
    }
}

void CVarkDlg::keyPressEvent(QKeyEvent* event) {
    // The window has no OK action: Enter does nothing here. A push button
    // with the focus takes Enter itself before it reaches the window.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    // Escape is the cancel action and ends the window.
    QDialog::keyPressEvent(event);
}

void CVarkDlg::SetBlock(const vark::RecordBlock& block) {
    m_block.count = block.count;
    std::memcpy(m_block.slots, block.slots, sizeof m_block.slots);
    RefreshPinMap();
}

void CVarkDlg::RefreshPinMap() {
    m_pPinMap->Rebuild(m_block);
    m_pCompare->ListReplaced();
}

int CVarkDlg::RowCount() const {
    return m_pPinMap->rowCount();
}

QString CVarkDlg::CellText(int row, int col) const {
    return m_pPinMap->CellText(row, col);
}

void CVarkDlg::OpenRecordFile() {
    const QString path = vark::AskOpenPath(this);
    if (path.isEmpty()) {
        return;
    }
    OpenFile(path);
}

bool CVarkDlg::OpenFile(const QString& path) {
    // A refused file leaves the block as it was (the reader checks the whole
    // header before it writes a byte), and the path and list with it.
    const vark::FileStatus status = vark::ReadRecordFile(vark::ToFsPath(path), m_block);
    if (status != vark::FileStatus::Ok) {
        vark::ShowMessage(this, QString::fromLatin1(vark::FileStatusMessage(status)));
        return false;
    }
    m_strPath = path;
    m_pPathEdit->setText(m_strPath);
    RefreshPinMap();
    return true;
}

void CVarkDlg::SaveRecordFile() {
    const std::tm local = vark::platform::LocalTimeNow().value_or(std::tm{});
    const QString defaultName = QString::fromStdString(vark::DefaultRecordFileName(local));

    const QString chosen = vark::AskSavePath(this, defaultName);
    if (chosen.isEmpty()) {
        return;
    }
    const QString path = QFile::decodeName(
        vark::WithRecordExtension(QFile::encodeName(chosen).toStdString()).c_str());
    if (path != chosen && QFileInfo::exists(path) && !vark::ConfirmReplace(this, path)) {
        return;
    }
    const vark::FileStatus status = vark::WriteRecordFile(vark::ToFsPath(path), m_block);
    if (status != vark::FileStatus::Ok) {
        vark::ShowMessage(this, QString::fromLatin1(vark::FileStatusMessage(status)));
        return;
    }
    // The block is unchanged, so the list needs no refresh.
    m_strPath = path;
    m_pPathEdit->setText(m_strPath);
}

void CVarkDlg::About() {
    CAboutDlg about(this);
    about.exec();
}

void CVarkDlg::Exit() {
    reject();
}
