// The main window: toolbar, the path of the current record file beside its
// Open button, a thin divider, the pin-map list and an empty status strip.
// It owns the program's one record block: a file read or a completed upload
// replaces it through SetBlock, which also refreshes the list.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <array>
#include <optional>
#include <string_view>

#include "archive/settings.h"

#include "records/record_block.h"
#include "ui/record_document.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMimeData;
class QPushButton;
class QStatusBar;
class QTableView;
class QToolBar;

namespace vark {
class CompareView;
class HistoryWindow;
class PinMapModel;
class TesterWatch;
struct MainLayout;

inline constexpr char kMainCaption[] = "VARK-u";

// Its parts, by object name: "ToolBar" (actions "ToolOpen", "ToolSave", ...),
// "PathEdit", "OpenButton", "Divider", "PinList", "StatusBar" with its
// "TesterStatus", and the list's "CompareView".
class MainWindow : public QDialog {
    Q_OBJECT
  public:
    // The toolbar's commands, in toolbar order.
    enum Command { CmdOpen, CmdSave, CmdPrint, CmdUpload, CmdAbout, CmdExit, CmdCount };

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    const RecordBlock& Block() const { return doc_.Block(); }
    // Replaces the record block (count byte and all 100 slots) and refreshes
    // the list from it.
    void SetBlock(const RecordBlock& block);
    // The path field's text: the record file last opened or saved.
    QString Path() const;

    // Empties the list and fills it again from the block, one row per used slot.
    void RefreshPinMap();

    // The list as it stands: number of rows and the text of one cell (empty
    // for a cell without text or outside the list).
    int RowCount() const;
    QString CellText(int row, int col) const;

    QAction* CommandAction(Command command) const { return actions_[command]; }

    // The bridges as they come and go: the status line says whether a tester
    // is attached, and the Upload dialog follows it. Not owned; null for none.
    void SetTesterWatch(TesterWatch* watch);

    // Reads `path` as the Open command does once its dialog has given a
    // path: the same checks and messages, and on success the path shown and
    // the list rebuilt. True when the file was read.
    bool OpenFile(const QString& path);

    // Shows a run kept in the archive: its record file's bytes read as Open
    // reads a file, the list rebuilt; the path field is emptied, as no file
    // holds the run. True when the bytes were read.
    bool OpenArchivedRun(std::string_view recordFile);

    // The archive the History window shows. Until set, the one the settings
    // file and the environment name, resolved when the window first opens.
    void SetArchiveConfig(const archive::ArchiveConfig& config);
    // The History window; null until it was first asked for.
    HistoryWindow* History() const { return history_; }
    // "History..." (Ctrl+H), also in the list's context menu.
    QAction* HistoryAction() const { return historyAction_; }

    // The one local file a drag carries, or an empty string when it carries
    // none or several.
    static QString DroppedFile(const QMimeData* data);

  public Q_SLOTS:
    void OpenRecordFile();
    void SaveRecordFile();
    void PrintReport();
    void Upload();
    void About();
    void Exit();
    // Opens the History window (made on first use), or brings it to the front.
    void ShowHistory();

  Q_SIGNALS:
    // Emitted once, when the window is first shown.
    void firstShown();
    // Emitted once, when the window has painted itself for the first time:
    // what a person sees of the start-up.
    void firstPainted();

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void CreateToolBar();
    void CreateList();
    // Shows the document's rows in the list, comparing them anew.
    void ShowRows();
    void ApplyLayout(const MainLayout& layout);
    void UpdateMinimumSize();
    void PassActivationToModal();
    void EnableFileDrops();
    void ShowTester();
    void PlaceTesterStatus();

    QIcon icon_;
    QToolBar* toolBar_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    bool layoutReady_ = false;
    QLineEdit* pathEdit_ = nullptr;
    QPushButton* openButton_ = nullptr;
    QFrame* divider_ = nullptr;
    QTableView* list_ = nullptr;
    PinMapModel* pinMap_ = nullptr;
    CompareView* compare_ = nullptr;  // the list's comparison with a good cable
    RecordDocument doc_;              // the block, the path shown and the list's rows
    std::array<QAction*, CmdCount> actions_{};
    bool shownOnce_ = false;
    bool paintedOnce_ = false;
    QWidget* testerRoom_ = nullptr;
    QLabel* testerStatus_ = nullptr;
    TesterWatch* watch_ = nullptr;
    QAction* historyAction_ = nullptr;
    HistoryWindow* history_ = nullptr;
    std::optional<archive::ArchiveConfig> archiveConfig_;
};

}  // namespace vark
