#include "app/compare_view.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QStatusBar>
#include <QTableView>
#include <filesystem>

#include "app/file_dialogs.h"
#include "app/message_box.h"
#include "app/pin_map_model.h"
#include "records/compare.h"
#include "records/pin_map.h"
#include "records/record_file.h"

namespace vark {
namespace {

// The records layer's texts are ASCII; file names in them are UTF-8.
QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

// Framed like the program's other messages.
void Refuse(QWidget* parent, const std::string& sentence) {
    ShowMessage(parent, QStringLiteral("\n    %1    \n").arg(Text(sentence)));
}

}  // namespace

CompareView::CompareView(QWidget* window, QTableView* list, PinMapModel* model, QStatusBar* status,
                         const RecordBlock& block)
    : QObject(window),
      window_(window),
      list_(list),
      model_(model),
      status_(status),
      block_(block),
      menu_(new QMenu(window)),
      useAsReference_(menu_->addAction(QStringLiteral("Use as Reference"))),
      compareGolden_(menu_->addAction(QStringLiteral("Compare with Golden File..."))),
      clearReference_(menu_->addAction(QStringLiteral("Clear Reference"))) {
    setObjectName(QStringLiteral("CompareView"));
    menu_->setObjectName(QStringLiteral("PinListMenu"));
    clearReference_->setEnabled(false);

    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this, &CompareView::ShowContextMenu);
    connect(useAsReference_, &QAction::triggered, this,
            [this] { UseAsReference(menuRow_ >= 0 ? menuRow_ : list_->currentIndex().row()); });
    connect(compareGolden_, &QAction::triggered, this, &CompareView::CompareWithGoldenFile);
    connect(clearReference_, &QAction::triggered, this, &CompareView::ClearReference);
}

int CompareView::ReferenceRow() const {
    return reference_ && reference_->goldenPath.isEmpty() ? reference_->slot : -1;
}

void CompareView::ShowContextMenu(const QPoint& pos) {
    QTableView* list = list_;
    const QModelIndex at = list->indexAt(pos);
    menuRow_ = at.isValid() ? at.row() : -1;
    if (at.isValid()) {
        list->selectRow(menuRow_);
    }
    useAsReference_->setEnabled(at.isValid());
    menu_->exec(list->viewport()->mapToGlobal(pos));
    menuRow_ = -1;
}

void CompareView::ListReplaced() {
    if (reference_ && reference_->goldenPath.isEmpty()) {
        reference_.reset();
    }
    Recompute();
}

void CompareView::UseAsReference(int row) {
    if (row < 0 || row >= model_->rowCount()) {
        return;
    }
    const TestRecord& record = block_.slots[row];
    const std::string problem = ReferenceProblem(record, "Test " + TestNumber(row));
    if (!problem.empty()) {
        Refuse(window_, problem);
        return;
    }
    reference_ = Reference{record, row, {}};
    Recompute();
}

void CompareView::CompareWithGoldenFile() {
    const QString path = AskOpenPath(window_);
    if (path.isEmpty()) {
        return;
    }
    RecordBlock golden;
    ClearBlock(golden);
    const FileStatus status = ReadRecordFile(ToFsPath(path), golden);
    if (status != FileStatus::Ok) {
        ShowMessage(window_, QString::fromLatin1(FileStatusMessage(status)));
        return;
    }
    const std::string name = "Test 001 of " + QFileInfo(path).fileName().toStdString();
    if (UsedSlots(golden) == 0) {
        Refuse(window_, "The golden file " + QFileInfo(path).fileName().toStdString() +
                            " holds no records.");
        return;
    }
    const std::string problem = ReferenceProblem(golden.slots[0], name);
    if (!problem.empty()) {
        Refuse(window_, problem);
        return;
    }
    reference_ = Reference{golden.slots[0], 0, path};
    Recompute();
}

void CompareView::ClearReference() {
    reference_.reset();
    Recompute();
}

QString CompareView::ReferenceName() const {
    const QString number = Text(TestNumber(reference_->slot));
    if (reference_->goldenPath.isEmpty()) {
        return QStringLiteral("test %1").arg(number);
    }
    return QStringLiteral("test %1 of the golden file %2")
        .arg(number, QFileInfo(reference_->goldenPath).fileName());
}

void CompareView::Recompute() {
    clearReference_->setEnabled(reference_.has_value());
    QStatusBar* status = status_;
    if (!reference_) {
        model_->SetRowMarks({});
        status->clearMessage();
        status->setToolTip({});
        return;
    }
    const RecordBlock& block = block_;
    const Wiring wiring = ReadWiring(reference_->record);
    const BlockComparison comparison = CompareBlock(block, wiring);
    const std::string warning = MajorityWarning(block, GroupBlock(block), wiring);
    const QString name = ReferenceName();

    std::vector<RowMark> marks(comparison.records.size());
    for (std::size_t d = 0; d < marks.size(); ++d) {
        const RecordComparison& c = comparison.records[d];
        RowMark& mark = marks[d];
        if (static_cast<int>(d) == ReferenceRow()) {
            mark.background = ReferenceColor();
            mark.toolTip = QStringLiteral("Reference: every row is compared with this test.");
            continue;
        }
        if (c.verdict == Verdict::Same) {
            continue;
        }
        mark.background = c.verdict == Verdict::Differs || c.verdict == Verdict::PinCount
                              ? DiffersColor()
                              : NoMapColor();
        mark.toolTip =
            QStringLiteral("%1 %2\nReference: %3")
                .arg(Text(TestNumber(static_cast<int>(d))), Text(DescribeComparison(c)), name);
    }
    model_->SetRowMarks(std::move(marks));

    QString text = QStringLiteral("Reference: %1. %2.").arg(name, Text(SummaryText(comparison)));
    if (!warning.empty()) {
        text += QLatin1Char(' ') + Text(warning);
    }
    status->showMessage(text);
    // The strip is narrow; the whole text is a hover away.
    status->setToolTip(text);
}

}  // namespace vark
