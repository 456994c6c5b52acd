#include "app/history_model.h"

#include <QBrush>
#include <QFont>
#include <QPalette>
#include <algorithm>

#include "ui/history_view.h"

namespace vark {

HistoryModel::HistoryModel(QObject* parent) : QAbstractTableModel(parent) {}

void HistoryModel::SetReader(archive::ArchiveReader* reader) {
    reader_ = reader;
    ResetTo(kPageSize);
}

void HistoryModel::SetQuery(const archive::RunQuery& query) {
    query_ = query;
    ResetTo(kPageSize);
}

void HistoryModel::Reload() {
    ResetTo(std::max(kPageSize, static_cast<int>(runs_.size())));
}

void HistoryModel::ResetTo(int wanted) {
    beginResetModel();
    runs_.clear();
    shown_.clear();
    fetched_ = 0;
    more_ = false;
    total_ = -1;
    problem_.clear();
    if (reader_) {
        Fetch(wanted);
        if (problem_.isEmpty()) {
            CountAll();
        }
    }
    endResetModel();
    Q_EMIT refreshed();
}

// Counting every match costs a pass over them all, many times the cost of
// a page over a large archive: a first fetch that came short is the count,
// and the default list's count is the archive's own, kept in its indexes.
void HistoryModel::CountAll() {
    if (!more_) {
        total_ = fetched_;
        return;
    }
    const archive::RunQuery& q = query_;
    const bool narrowed = !q.lot.empty() || !q.part.empty() || !q.operatorName.empty() ||
                          !q.station.empty() || !q.testerSerial.empty() || !q.text.empty() ||
                          q.since || q.until || q.verdicts != archive::RunQuery::Verdicts::Any ||
                          q.withVoided || q.withRepeats;
    if (!narrowed) {
        const auto counts = reader_->Counts();
        if (counts) {
            total_ = counts->runs;
        } else {
            problem_ = QString::fromStdString(counts.error().message);
        }
        return;
    }
    const auto total = reader_->CountRuns(q);
    if (total) {
        total_ = *total;
    } else {
        problem_ = QString::fromStdString(total.error().message);
    }
}

void HistoryModel::Fetch(int rows) {
    // One row more than asked tells whether there are more, so that a
    // selection of exactly a page's size needs no count.
    archive::RunQuery page = query_;
    page.limit = rows + 1;
    page.offset = fetched_;
    auto got = reader_->List(page);
    if (!got) {
        problem_ = QString::fromStdString(got.error().message);
        more_ = false;
        return;
    }
    more_ = static_cast<int>(got->size()) > rows;
    if (more_) {
        got->resize(static_cast<std::size_t>(rows));
    }
    fetched_ += static_cast<int>(got->size());
    for (archive::RunSummary& run : *got) {
        const QString uuid = QString::fromStdString(run.uuid);
        if (!shown_.contains(uuid)) {
            shown_.insert(uuid);
            runs_.push_back(std::move(run));
        }
    }
}

bool HistoryModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && reader_ && more_;
}

void HistoryModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent)) {
        return;
    }
    // The new rows are known only once fetched: fetched into a copy first,
    // then inserted as one block.
    std::vector<archive::RunSummary> before;
    before.swap(runs_);
    Fetch(kPageSize);
    std::vector<archive::RunSummary> added;
    added.swap(runs_);
    runs_.swap(before);
    if (!added.empty()) {
        const int first = static_cast<int>(runs_.size());
        beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
        std::move(added.begin(), added.end(), std::back_inserter(runs_));
        endInsertRows();
    }
    if (!problem_.isEmpty()) {
        Q_EMIT refreshed();
    }
}

void HistoryModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= kHistoryColumns) {
        return;
    }
    archive::RunQuery q = query_;
    q.sort = kHistoryColumnInfo[static_cast<std::size_t>(column)].sort;
    q.descending = order == Qt::DescendingOrder;
    SetQuery(q);
}

const archive::RunSummary* HistoryModel::Run(int row) const {
    return row >= 0 && row < static_cast<int>(runs_.size()) ? &runs_[static_cast<std::size_t>(row)]
                                                            : nullptr;
}

QString HistoryModel::CellText(int row, int column) const {
    const archive::RunSummary* run = Run(row);
    return run ? QString::fromStdString(HistoryCell(*run, column)) : QString();
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(runs_.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kHistoryColumns;
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    const archive::RunSummary* run = Run(index.row());
    if (!run || index.column() < 0 || index.column() >= kHistoryColumns) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(HistoryCell(*run, index.column()));
        case Qt::ToolTipRole:
            return QString::fromStdString(HistoryRunNotes(*run));
        case Qt::TextAlignmentRole:
            return kHistoryColumnInfo[static_cast<std::size_t>(index.column())].number
                       ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                       : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        case Qt::FontRole:
            if (run->voided) {
                QFont font;
                font.setStrikeOut(true);
                return font;
            }
            return {};
        case Qt::ForegroundRole:
            if (run->voided || !run->repeatOf.empty()) {
                return QPalette().brush(QPalette::Disabled, QPalette::Text);
            }
            return {};
        default:
            return {};
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kHistoryColumns) {
        return {};
    }
    return QString::fromLatin1(kHistoryColumnInfo[static_cast<std::size_t>(section)].header);
}

}  // namespace vark
