// The main window's comparison with a good cable, shown: the list's context
// menu, the row tints and tooltips and the status bar's summary, as the
// shared comparison rules decide them. The list's columns and cell texts,
// the toolbar and the report are not touched.
#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include "records/record_block.h"
#include "ui/reference_compare.h"

class QAction;
class QMenu;
class QPoint;
class QStatusBar;
class QTableView;
class QWidget;

namespace vark {

class PinMapModel;

class CompareView : public QObject {
    Q_OBJECT
  public:
    // Backgrounds of the reference row, of rows wired otherwise (or with
    // another pin count) and of records in error or empty slots.
    static QColor ReferenceColor();
    static QColor DiffersColor();
    static QColor NoMapColor();

    // The window's list, its model, status bar and record block, all living
    // as long as `window`, which also parents the menu and the messages.
    CompareView(QWidget* window, QTableView* list, PinMapModel* model, QStatusBar* status,
                const RecordBlock& block);

    QMenu* ContextMenu() const { return menu_; }
    QAction* UseAsReferenceAction() const { return useAsReference_; }
    QAction* UseAsGoldenAction() const { return useAsGolden_; }
    QAction* CompareGoldenAction() const { return compareGolden_; }
    QAction* ClearReferenceAction() const { return clearReference_; }

    bool HasReference() const { return rules_.HasReference(); }
    const ReferenceCompare& Rules() const { return rules_; }
    // The reference's row in the list; -1 for a golden file or none.
    int ReferenceRow() const { return rules_.ReferenceRow(); }

    // The list was filled again: a reference taken from it goes, a golden
    // reference stays and every row is compared with it again.
    void ListReplaced();

    // Row `row` of the list as the reference; an empty slot or a record in
    // error is refused with a message.
    void UseAsReference(int row);
    // Asks for a record file; its first record becomes the reference.
    void CompareWithGoldenFile();
    void ClearReference();

    // The golden file the file dialog offers first (the one last used).
    void SetLastGoldenFile(const QString& path) { lastGolden_ = path; }

  Q_SIGNALS:
    // "Use as Golden for Part..." was chosen on row `row` of the list: the
    // window keeps it in the archive.
    void useAsGoldenRequested(int row);
    // A golden file was taken as the reference.
    void goldenFileUsed(const QString& path);
    // The comparison's warning changed (empty: none now).
    void warningChanged(const QString& warning);

  private:
    void ShowContextMenu(const QPoint& pos);
    void Show(const std::string& refusal);

    QWidget* window_;
    QTableView* list_;
    PinMapModel* model_;
    QStatusBar* status_;
    ReferenceCompare rules_;
    QMenu* menu_;
    QAction* useAsReference_;
    QAction* useAsGolden_;
    QAction* compareGolden_;
    QAction* clearReference_;
    int menuRow_ = -1;
    QString lastGolden_;
};

}  // namespace vark
