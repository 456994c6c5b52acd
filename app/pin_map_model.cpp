#include "app/pin_map_model.h"

namespace vark {

PinMapModel::PinMapModel(QObject* parent) : QAbstractTableModel(parent) {
    // Room for every slot and one more, as the list always had.
    rows_.reserve(kMaxRecords + 1);
}

void PinMapModel::Rebuild(const RecordBlock& block) {
    beginResetModel();
    rows_.clear();
    marks_.clear();
    const std::size_t used = UsedSlots(block);
    for (std::size_t d = 0; d < used; ++d) {
        const auto cells = PinMapCells(BuildPinMapRow(block.slots[d], static_cast<int>(d)));
        Row& row = rows_.emplace_back();
        for (int c = 0; c < kListColumns; ++c) {
            const std::string& text = cells[static_cast<std::size_t>(c)];
            if (!text.empty()) {
                row[static_cast<std::size_t>(c)] =
                    QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
            }
        }
    }
    endResetModel();
}

void PinMapModel::SetRowMarks(std::vector<RowMark> marks) {
    marks_ = std::move(marks);
    if (marks_.size() > rows_.size()) {
        marks_.resize(rows_.size());
    }
    if (!rows_.empty()) {
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, kListColumns - 1),
                           {Qt::BackgroundRole, Qt::ToolTipRole});
    }
}

QString PinMapModel::CellText(int row, int column) const {
    if (row < 0 || column < 0 || column >= kListColumns ||
        static_cast<std::size_t>(row) >= rows_.size()) {
        return {};
    }
    return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

int PinMapModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int PinMapModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kListColumns;
}

QVariant PinMapModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    const auto row = static_cast<std::size_t>(index.row());
    const RowMark* mark = row < marks_.size() ? &marks_[row] : nullptr;
    switch (role) {
        case Qt::DisplayRole:
            return CellText(index.row(), index.column());
        case Qt::ToolTipRole:
            if (mark && !mark->toolTip.isEmpty()) {
                return mark->toolTip;
            }
            return CellText(index.row(), index.column());
        case Qt::BackgroundRole:
            if (mark && mark->background.isValid()) {
                return mark->background;
            }
            return {};
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant PinMapModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return ColumnHeader(section);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

Qt::ItemFlags PinMapModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QString PinMapModel::ColumnHeader(int column) {
    switch (column) {
        case 0:
            return QStringLiteral("ID ");
        case 1:
            return QStringLiteral("Pin");
        default:
            return column < kListColumns ? QStringLiteral("Pin State") : QString();
    }
}

int PinMapModel::ColumnWidth(int column) {
    switch (column) {
        case 0:
            return 45;
        case 1:
            return 50;
        default:
            return column < kListColumns ? 360 : 0;
    }
}

}  // namespace vark
