#include "app/compare_view.h"

#include <QAction>
#include <QMenu>
#include <QStatusBar>
#include <QTableView>

#include "app/file_dialogs.h"
#include "app/message_box.h"
#include "app/pin_map_model.h"
#include "ui/golden_texts.h"

namespace vark {

QColor CompareView::ReferenceColor() {
    return PinMapModel::MarkColor(MarkRole::Reference);
}

QColor CompareView::DiffersColor() {
    return PinMapModel::MarkColor(MarkRole::Differs);
}

QColor CompareView::NoMapColor() {
    return PinMapModel::MarkColor(MarkRole::Attention);
}

CompareView::CompareView(QWidget* window, QTableView* list, PinMapModel* model, QStatusBar* status,
                         const RecordBlock& block)
    : QObject(window),
      window_(window),
      list_(list),
      model_(model),
      status_(status),
      rules_(block),
      menu_(new QMenu(window)),
      useAsReference_(menu_->addAction(QString::fromLatin1(kMenuUseAsReference))),
      useAsGolden_(menu_->addAction(QString::fromLatin1(kMenuUseAsGoldenForPart))),
      compareGolden_(menu_->addAction(QString::fromLatin1(kMenuCompareGolden))),
      clearReference_(menu_->addAction(QString::fromLatin1(kMenuClearReference))) {
    setObjectName(QStringLiteral("CompareView"));
    menu_->setObjectName(QStringLiteral("PinListMenu"));
    clearReference_->setEnabled(false);

    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this, &CompareView::ShowContextMenu);
    connect(useAsReference_, &QAction::triggered, this,
            [this] { UseAsReference(menuRow_ >= 0 ? menuRow_ : list_->currentIndex().row()); });
    connect(useAsGolden_, &QAction::triggered, this, [this] {
        Q_EMIT useAsGoldenRequested(menuRow_ >= 0 ? menuRow_ : list_->currentIndex().row());
    });
    connect(compareGolden_, &QAction::triggered, this, &CompareView::CompareWithGoldenFile);
    connect(clearReference_, &QAction::triggered, this, &CompareView::ClearReference);
}

void CompareView::ShowContextMenu(const QPoint& pos) {
    QTableView* list = list_;
    const QModelIndex at = list->indexAt(pos);
    menuRow_ = at.isValid() ? at.row() : -1;
    if (at.isValid()) {
        list->selectRow(menuRow_);
    }
    useAsReference_->setEnabled(ReferenceCompare::CanUseRow(menuRow_, model_->rowCount()));
    useAsGolden_->setEnabled(useAsReference_->isEnabled());
    menu_->exec(list->viewport()->mapToGlobal(pos));
    menuRow_ = -1;
}

void CompareView::ListReplaced() {
    rules_.ListReplaced();
    Show({});
}

void CompareView::UseAsReference(int row) {
    Show(rules_.UseRow(row));
}

void CompareView::CompareWithGoldenFile() {
    const QString path = AskOpenPath(window_, lastGolden_);
    if (path.isEmpty()) {
        return;
    }
    const std::string refusal = rules_.UseGoldenFile(ToFsPath(path));
    Show(refusal);
    if (refusal.empty()) {
        lastGolden_ = path;
        Q_EMIT goldenFileUsed(path);
    }
}

void CompareView::ClearReference() {
    rules_.Clear();
    Show({});
}

void CompareView::Show(const std::string& refusal) {
    if (!refusal.empty()) {
        ShowMessage(window_, QString::fromStdString(refusal));
        return;
    }
    clearReference_->setEnabled(rules_.CanClear());
    model_->SetRowMarks(rules_.Marks());
    const QString summary = QString::fromStdString(rules_.Summary());
    if (summary.isEmpty()) {
        status_->clearMessage();
    } else {
        status_->showMessage(summary);
    }
    // The strip is narrow; the whole text is a hover away.
    status_->setToolTip(summary);
    Q_EMIT warningChanged(QString::fromStdString(rules_.Warning()));
}

}  // namespace vark
