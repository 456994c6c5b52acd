#include "app/pin_map_model.h"

namespace vark {

PinMapModel::PinMapModel(QObject* parent) : QAbstractTableModel(parent) {
    // Room for every slot and one more, as the list always had.
    rows_.reserve(kMaxRecords + 1);
}

void PinMapModel::Rebuild(const std::vector<ListRow>& rows) {
    beginResetModel();
    rows_.clear();
    marks_.clear();
    for (const ListRow& cells : rows) {
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
            if (mark && !mark->toolTip.empty()) {
                return QString::fromStdString(mark->toolTip);
            }
            return CellText(index.row(), index.column());
        case Qt::BackgroundRole:
            if (const QColor colour = MarkColor(mark ? mark->role : MarkRole::None);
                colour.isValid()) {
                return colour;
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
    if (column < 0 || column >= kListColumns) {
        return {};
    }
    return QString::fromLatin1(kListColumnSpecs[static_cast<std::size_t>(column)].header);
}

int PinMapModel::ColumnWidth(int column) {
    if (column < 0 || column >= kListColumns) {
        return 0;
    }
    return kListColumnSpecs[static_cast<std::size_t>(column)].width;
}

QColor PinMapModel::MarkColor(MarkRole role) {
    switch (role) {
        case MarkRole::Reference:
            return {0xC8, 0xDC, 0xFF};
        case MarkRole::Differs:
            return {0xFF, 0xD2, 0xD2};
        case MarkRole::Attention:
            return {0xFF, 0xEC, 0xB4};
        case MarkRole::None:
            break;
    }
    return {};
}

}  // namespace vark
