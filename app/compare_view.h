// The main window's comparison with a good cable: the list's context menu,
// the reference (a row of the list or a record of a golden file), the row
// tints and tooltips and the status bar's summary. The list's columns and
// cell texts, the toolbar and the report are not touched.
#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <optional>

#include "records/record_block.h"

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
    static QColor ReferenceColor() { return {0xC8, 0xDC, 0xFF}; }
    static QColor DiffersColor() { return {0xFF, 0xD2, 0xD2}; }
    static QColor NoMapColor() { return {0xFF, 0xEC, 0xB4}; }

    // The window's list, its model, status bar and record block, all living
    // as long as `window`, which also parents the menu and the messages.
    CompareView(QWidget* window, QTableView* list, PinMapModel* model, QStatusBar* status,
                const RecordBlock& block);

    QMenu* ContextMenu() const { return menu_; }
    QAction* UseAsReferenceAction() const { return useAsReference_; }
    QAction* CompareGoldenAction() const { return compareGolden_; }
    QAction* ClearReferenceAction() const { return clearReference_; }

    bool HasReference() const { return reference_.has_value(); }
    // The reference's row in the list; -1 for a golden file or none.
    int ReferenceRow() const;

    // The list was filled again: a reference taken from it goes, a golden
    // reference stays and every row is compared with it again.
    void ListReplaced();

    // Row `row` of the list as the reference; an empty slot or a record in
    // error is refused with a message.
    void UseAsReference(int row);
    // Asks for a record file; its first record becomes the reference.
    void CompareWithGoldenFile();
    void ClearReference();

  private:
    struct Reference {
        TestRecord record;
        int slot = 0;        // its row, or its slot in the golden file
        QString goldenPath;  // empty for a row of the list
    };

    void ShowContextMenu(const QPoint& pos);
    void Recompute();
    QString ReferenceName() const;

    QWidget* window_;
    QTableView* list_;
    PinMapModel* model_;
    QStatusBar* status_;
    const RecordBlock& block_;
    QMenu* menu_;
    QAction* useAsReference_;
    QAction* compareGolden_;
    QAction* clearReference_;
    int menuRow_ = -1;
    std::optional<Reference> reference_;
};

}  // namespace vark
