// The History window: the runs the station's archive keeps, newest first,
// narrowed by a filter and sorted by any column, and what can be done with
// one of them: open it into the main window, reprint its report, export its
// record file, amend a field or void it with a reason. A top-level window of
// its own, kept by the main window; not modal.
//
// Its parts, by object name: the filter's "FilterText", "FilterLot",
// "FilterPart", "FilterOperator", "FilterTester", "FilterSinceOn" and
// "FilterSince", "FilterUntilOn" and "FilterUntil", "FilterVerdict",
// "ShowVoided", "ShowRepeats", "ClearFilter"; the "HistoryTabs" with the
// "Runs" tab: "RunsList", the buttons "OpenRun", "ReprintRun", "ExportRun",
// "AmendRun", "VoidRun", and the count line "RunCount".
#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <memory>
#include <string>

#include "archive/settings.h"
#include "ui/history_view.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;

namespace vark {

namespace archive {
class SqliteArchive;
}
class HistoryModel;

class HistoryWindow : public QWidget {
    Q_OBJECT
  public:
    explicit HistoryWindow(QWidget* parent = nullptr);
    ~HistoryWindow() override;

    // The archive shown. It is read for the list (never created or migrated
    // by looking at it) and written only for an amendment or a void.
    void SetArchive(const archive::ArchiveConfig& config);
    // Opens the archive again if it could not be read before and lists the
    // runs anew, keeping the filter, the order and as many rows as shown.
    void Reload();

    // The archive as read for the list; null while it cannot be read. For
    // the panes that follow the filter (they read the same connection).
    archive::SqliteArchive* Archive() const { return reader_.get(); }

    // The tabs: "Runs" first; other panes are added beside it.
    QTabWidget* Tabs() const { return tabs_; }
    HistoryModel* Model() const { return model_; }
    QTableView* RunsList() const { return list_; }

    // The filter as it stands: what the list and the panes show.
    const HistoryFilter& Filter() const { return filter_; }
    // The archive query of the filter and the list's order.
    archive::RunQuery Query() const;

    // The row of the selected run; -1 for none.
    int SelectedRow() const;
    void SelectRow(int row);

    // What the buttons do for the selected run, for the run of `row`. Each
    // says why when it could not be done, and returns whether it was.
    bool OpenRun(int row);
    bool ReprintRun(int row);
    bool ExportRun(int row);
    bool AmendRun(int row, const std::string& field, const std::string& value,
                  const std::string& why);
    bool VoidRun(int row, const std::string& why);

  public Q_SLOTS:
    // Sets the filter's controls to `filter` and lists its runs.
    void SetFilter(const vark::HistoryFilter& filter);
    void ClearFilter();

  Q_SIGNALS:
    // The filter changed (by a control or SetFilter): the list shows its runs.
    void filterChanged(const vark::HistoryFilter& filter);
    // A run to open into the main window: its record file's bytes.
    void openRequested(const QByteArray& recordFile, const QString& uuid);
    // The archive was read anew (set, reopened, shown again, or changed by
    // an amendment): runs may have come or changed, and Archive() may be
    // another connection.
    void reloaded();

  private:
    void CreateFilter();
    void CreateRuns();
    void FilterEdited();
    void Apply(const HistoryFilter& filter, bool force);
    void ShowCount();
    void UpdateButtons();
    void AskAmend();
    void AskVoid();
    std::unique_ptr<archive::SqliteArchive> OpenForWriting();
    HistoryFilter FromControls() const;

    archive::ArchiveConfig config_;
    bool configured_ = false;
    std::unique_ptr<archive::SqliteArchive> reader_;
    QString readProblem_;
    HistoryFilter filter_;
    bool settingControls_ = false;

    QLineEdit* text_ = nullptr;
    QLineEdit* lot_ = nullptr;
    QLineEdit* part_ = nullptr;
    QLineEdit* operator_ = nullptr;
    QLineEdit* tester_ = nullptr;
    QCheckBox* sinceOn_ = nullptr;
    QDateEdit* since_ = nullptr;
    QCheckBox* untilOn_ = nullptr;
    QDateEdit* until_ = nullptr;
    QComboBox* verdict_ = nullptr;
    QCheckBox* voided_ = nullptr;
    QCheckBox* repeats_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QTableView* list_ = nullptr;
    HistoryModel* model_ = nullptr;
    QPushButton* open_ = nullptr;
    QPushButton* reprint_ = nullptr;
    QPushButton* export_ = nullptr;
    QPushButton* amend_ = nullptr;
    QPushButton* void_ = nullptr;
    QLabel* count_ = nullptr;
};

}  // namespace vark
