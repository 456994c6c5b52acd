// The main window: toolbar, the path of the current record file beside its
// Open button, a thin divider, the pin-map list and an empty status strip.
// It owns the program's one record block: a file read or a completed upload
// replaces it through SetBlock, which also refreshes the list.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <array>

#include "records/record_block.h"

class QAction;
class QFrame;
class QLineEdit;
class QMimeData;
class QPushButton;
class QStatusBar;
class QTableView;
class QToolBar;

namespace vark {
class CompareView;
class PinMapModel;
struct MainLayout;

inline constexpr char kMainCaption[] = "VARK-u";
inline constexpr int kMinWindowWidth = 480;
inline constexpr int kMinWindowHeight = 360;
}  // namespace vark

class CVarkDlg : public QDialog {
    Q_OBJECT
  public:
    // The toolbar's commands, in toolbar order.
    enum Command { CmdOpen, CmdSave, CmdPrint, CmdUpload, CmdAbout, CmdExit, CmdCount };

    explicit CVarkDlg(QWidget* parent = nullptr);
    ~CVarkDlg() override;

    const vark::RecordBlock& Block() const { return m_block; }
    // Replaces the record block (count byte and all 100 slots) and refreshes
    // the list from it.
    void SetBlock(const vark::RecordBlock& block);
    const QString& Path() const { return m_strPath; }

    // Empties the list and fills it again from m_block, one row per used slot.
    void RefreshPinMap();

    // The list as it stands: number of rows and the text of one cell (empty
    // for a cell without text or outside the list).
    int RowCount() const;
    QString CellText(int row, int col) const;

    QAction* CommandAction(Command command) const { return m_actions[command]; }

    // Reads `path` as the Open command does once its dialog has given a
    // path: the same checks and messages, and on success the path shown and
    // the list rebuilt. True when the file was read.
    bool OpenFile(const QString& path);

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

  Q_SIGNALS:
    // Emitted once, when the window is first shown.
    void firstShown();
    // Emitted once, when the window has painted itself for the first time:
    // what a person sees of the start-up.
    void firstPainted();

  protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  public:
    // Fields in the order of the original window class.
    QIcon m_hIcon;
    QToolBar* m_wndToolBar = nullptr;
    QStatusBar* m_wndStatusBar = nullptr;
    bool m_bLayoutReady = false;
    QLineEdit* m_pPathEdit = nullptr;
    QPushButton* m_pOpenButton = nullptr;
    QFrame* m_pDivider = nullptr;
    QTableView* m_list = nullptr;
    vark::PinMapModel* m_pPinMap = nullptr;
    vark::CompareView* m_pCompare = nullptr;  // the list's comparison with a good cable
    QString m_strPath;

  private:
    vark::RecordBlock m_block;

    void CreateToolBar();
    void CreateList();
    void ApplyLayout(const vark::MainLayout& layout);
    void UpdateMinimumSize();
    void PassActivationToModal();
    void EnableFileDrops();

    std::array<QAction*, CmdCount> m_actions{};
    bool m_bShownOnce = false;
    bool m_bPaintedOnce = false;
};
