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
      m_window(window),
      m_list(list),
      m_model(model),
      m_status(status),
      m_block(block),
      m_menu(new QMenu(window)),
      m_useAsReference(m_menu->addAction(QStringLiteral("Use as Reference"))),
      m_compareGolden(m_menu->addAction(QStringLiteral("Compare with Golden File..."))),
      m_clearReference(m_menu->addAction(QStringLiteral("Clear Reference"))) {
    m_menu->setObjectName(QStringLiteral("PinListMenu"));
    m_clearReference->setEnabled(false);

    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, &CompareView::ShowContextMenu);
    connect(m_useAsReference, &QAction::triggered, this,
            [this] { UseAsReference(m_menuRow >= 0 ? m_menuRow : m_list->currentIndex().row()); });
    connect(m_compareGolden, &QAction::triggered, this, &CompareView::CompareWithGoldenFile);
    connect(m_clearReference, &QAction::triggered, this, &CompareView::ClearReference);
}

int CompareView::ReferenceRow() const {
    return m_reference && m_reference->goldenPath.isEmpty() ? m_reference->slot : -1;
}

void CompareView::ShowContextMenu(const QPoint& pos) {
    QTableView* list = m_list;
    const QModelIndex at = list->indexAt(pos);
    m_menuRow = at.isValid() ? at.row() : -1;
    if (at.isValid()) {
        list->selectRow(m_menuRow);
    }
    m_useAsReference->setEnabled(at.isValid());
    m_menu->exec(list->viewport()->mapToGlobal(pos));
    m_menuRow = -1;
}

void CompareView::ListReplaced() {
    if (m_reference && m_reference->goldenPath.isEmpty()) {
        m_reference.reset();
    }
    Recompute();
}

void CompareView::UseAsReference(int row) {
    if (row < 0 || row >= m_model->rowCount()) {
        return;
    }
    const TestRecord& record = m_block.slots[row];
    const std::string problem = ReferenceProblem(record, "Test " + TestNumber(row));
    if (!problem.empty()) {
        Refuse(m_window, problem);
        return;
    }
    m_reference = Reference{record, row, {}};
    Recompute();
}

void CompareView::CompareWithGoldenFile() {
    const QString path = AskOpenPath(m_window);
    if (path.isEmpty()) {
        return;
    }
    RecordBlock golden;
    ClearBlock(golden);
    const FileStatus status = ReadRecordFile(ToFsPath(path), golden);
    if (status != FileStatus::Ok) {
        ShowMessage(m_window, QString::fromLatin1(FileStatusMessage(status)));
        return;
    }
    const std::string name = "Test 001 of " + QFileInfo(path).fileName().toStdString();
    if (UsedSlots(golden) == 0) {
        Refuse(m_window, "The golden file " + QFileInfo(path).fileName().toStdString() +
                             " holds no records.");
        return;
    }
    const std::string problem = ReferenceProblem(golden.slots[0], name);
    if (!problem.empty()) {
        Refuse(m_window, problem);
        return;
    }
    m_reference = Reference{golden.slots[0], 0, path};
    Recompute();
}

void CompareView::ClearReference() {
    m_reference.reset();
    Recompute();
}

QString CompareView::ReferenceName() const {
    const QString number = Text(TestNumber(m_reference->slot));
    if (m_reference->goldenPath.isEmpty()) {
        return QStringLiteral("test %1").arg(number);
    }
    return QStringLiteral("test %1 of the golden file %2")
        .arg(number, QFileInfo(m_reference->goldenPath).fileName());
}

void CompareView::Recompute() {
    m_clearReference->setEnabled(m_reference.has_value());
    QStatusBar* status = m_status;
    if (!m_reference) {
        m_model->SetRowMarks({});
        status->clearMessage();
        status->setToolTip({});
        return;
    }
    const RecordBlock& block = m_block;
    const Wiring wiring = ReadWiring(m_reference->record);
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
    m_model->SetRowMarks(std::move(marks));

    QString text = QStringLiteral("Reference: %1. %2.").arg(name, Text(SummaryText(comparison)));
    if (!warning.empty()) {
        text += QLatin1Char(' ') + Text(warning);
    }
    status->showMessage(text);
    // The strip is narrow; the whole text is a hover away.
    status->setToolTip(text);
}

}  // namespace vark
