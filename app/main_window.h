// The main window: toolbar, the path of the current record file beside its
// Open button, a thin divider, the pin-map list and an empty status strip.
// It owns the program's one record block: a file read or a completed upload
// replaces it through SetBlock, which also refreshes the list.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <array>
#include <filesystem>
#include <optional>
#include <string_view>

#include "app/station_archive.h"
#include "archive/settings.h"
#include "records/record_block.h"
#include "ui/archive_texts.h"
#include "ui/record_document.h"
#include "ui/upload_session.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMimeData;
class QPushButton;
class QStatusBar;
class QTableView;
class QToolBar;
class QToolButton;

namespace vark {
class CompareView;
class HistoryWindow;
class PinMapModel;
class TesterWatch;
class WindowMemory;
struct MainLayout;

inline constexpr char kMainCaption[] = "VARK-u";

// Its parts, by object name: "ToolBar" (actions "ToolOpen", "ToolSave", ...),
// "PathEdit", "OpenButton", "Divider", "PinList", "StatusBar" with its
// "ArchiveStatus" and "TesterStatus", and the list's "CompareView".
class MainWindow : public QDialog {
    Q_OBJECT
  public:
    // The toolbar's commands, in toolbar order.
    enum Command { CmdOpen, CmdSave, CmdPrint, CmdUpload, CmdAbout, CmdExit, CmdCount };

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Shows the window where the user's settings last had it and returns
    // once it has ended (Exit, Escape or the close box), with the cancel
    // result; the place it ends at is remembered for the next run.
    int Run();

    // Where the window keeps what it remembers (last folder, golden file);
    // null for nowhere. Not owned.
    void SetMemory(WindowMemory* memory);
    // Puts the window where `memory` has it, if that is still on a screen.
    void RestorePlace();
    // Notes the window's current place in the memory (not yet saved).
    void RememberPlace();

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

    // The station's archive: every completed upload is archived in it
    // before the success box, and the status bar shows its state. Not owned;
    // null for none (nothing archived, the status bar says nothing of it).
    void SetArchive(StationArchive* archive);
    StationArchive* Archive() const { return archive_; }

    // Shows archived run `run` (its UUID or an unambiguous start of it) as
    // Open shows a file: its records in the list, compared as any other
    // list; Save writes them to a record file. The path field is emptied,
    // as the records come from no file. A run that cannot be read is said
    // and changes nothing. True when the run was shown.
    bool OpenArchivedRun(const QString& run);

    // Reads `path` as the Open command does once its dialog has given a
    // path: the same checks and messages, and on success the path shown and
    // the list rebuilt. True when the file was read.
    bool OpenFile(const QString& path);

    // Shows a run kept in the archive: its record file's bytes read as Open
    // reads a file, the list rebuilt; the path field is emptied, as no file
    // holds the run. True when the bytes were read.
    bool OpenArchivedBytes(std::string_view recordFile);

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
    // The History window's way in: the status bar's archive control, the
    // list's menu and Ctrl+H. Emits historyRequested and shows the window.
    void showHistory();
    // Asks for a part number and keeps row `row`'s record as that part's
    // golden reference in the archive (who and when with it); says what
    // became of it either way.
    void UseAsGoldenForPart(int row);
    // Opens the History window (made on first use), or brings it to the front.
    void ShowHistory();

  Q_SIGNALS:
    void historyRequested();
    // Emitted once, when the window is first shown.
    void firstShown();
    // Emitted once, when the window has painted itself for the first time:
    // what a person sees of the start-up.
    void firstPainted();

  protected:
    bool event(QEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
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
    // A record file was opened or saved at `path`, or a golden file used.
    void RememberFolderOf(const QString& path);
    void RememberGoldenFile(const QString& path);
    // The comparison's warning, whole, in a strip above the list that the
    // user may close; the list gives it room.
    void CreateWarningStrip();
    void ShowWarning(const QString& warning);
    void CloseWarning();
    int WarningHeight(int width) const;
    void PlaceWarningParts();
    void ShowArchiveState();
    // Archives an upload the dialog completed; the message for an upload
    // that was not archived (empty when it was).
    std::string KeepUpload(const RecordBlock& block, const UploadFacts& facts,
                           const RunDetails& typed);

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
    WindowMemory* memory_ = nullptr;
    QFrame* warningStrip_ = nullptr;
    QLabel* warningText_ = nullptr;
    QString closedWarning_;  // the warning the user closed, until another comes
    QToolButton* archiveStatus_ = nullptr;
    QPointer<StationArchive> archive_;  // null again when it goes first
    bool countWhenPainted_ = false;
    std::optional<archive::ArchiveConfig> archiveConfig_;
    // The file that holds the block as shown: opened or saved last, and
    // nothing once a block came from elsewhere (an upload). The path field
    // keeps its text either way.
    std::filesystem::path blockFile_;
    QAction* historyAction_ = nullptr;
    HistoryWindow* history_ = nullptr;
};

}  // namespace vark
