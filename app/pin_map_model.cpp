#include "app/pin_map_model.h"

#include <QGuiApplication>

#include "records/pin_map.h"
#include "ui/contrast.h"

namespace vark {

namespace {

Rgb ToRgb(const QColor& c) {
    return {static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
            static_cast<std::uint8_t>(c.blue())};
}

const RowMark* MarkOf(const std::vector<RowMark>& marks, int row) {
    return row >= 0 && static_cast<std::size_t>(row) < marks.size()
               ? &marks[static_cast<std::size_t>(row)]
               : nullptr;
}

}  // namespace

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
                           {Qt::BackgroundRole, Qt::ForegroundRole, Qt::ToolTipRole});
        Q_EMIT headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
    }
}

QPalette PinMapModel::Palette() const {
    return paletteSource_ ? paletteSource_->palette() : QGuiApplication::palette();
}

QString PinMapModel::RowHeader(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) {
        return {};
    }
    QString number = CellText(row, 0).trimmed();
    if (number.isEmpty()) {
        number = QString::fromStdString(TestNumber(row));
    }
    const RowMark* mark = MarkOf(marks_, row);
    const QString sign = QString::fromStdString(MarkSign(mark ? mark->role : MarkRole::None));
    return sign.isEmpty() ? number : sign + QLatin1Char(' ') + number;
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
    const RowMark* mark = MarkOf(marks_, index.row());
    const bool marked = mark && mark->role != MarkRole::None;
    switch (role) {
        case Qt::DisplayRole:
            return CellText(index.row(), index.column());
        case Qt::ToolTipRole:
            if (mark && !mark->toolTip.empty()) {
                return QString::fromStdString(mark->toolTip);
            }
            return CellText(index.row(), index.column());
        case Qt::BackgroundRole:
            if (marked) {
                return MarkColor(mark->role, Palette());
            }
            return {};
        case Qt::ForegroundRole:
            // The text colour the tint was made readable for.
            if (marked) {
                return Palette().color(QPalette::Active, QPalette::Text);
            }
            return {};
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant PinMapModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical) {
        const RowMark* mark = MarkOf(marks_, section);
        switch (role) {
            case Qt::DisplayRole:
                return RowHeader(section);
            case Qt::ToolTipRole:
                if (mark && !mark->toolTip.empty()) {
                    return QString::fromStdString(mark->toolTip);
                }
                return {};
            case Qt::AccessibleTextRole: {
                QString text = QStringLiteral("Test ") + CellText(section, 0).trimmed();
                if (mark && mark->role != MarkRole::None) {
                    text += QStringLiteral(", ") + QString::fromStdString(MarkName(mark->role));
                }
                return text;
            }
            case Qt::TextAlignmentRole:
                return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
            default:
                return {};
        }
    }
    if (orientation != Qt::Horizontal) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return ColumnHeader(section);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (role == Qt::AccessibleTextRole) {
        return ColumnAccessibleName(section);
    }
    return {};
}

QString PinMapModel::ColumnAccessibleName(int column) {
    if (column < 0 || column >= kListColumns) {
        return {};
    }
    if (column < 2) {
        // The visible header may carry a trailing blank; a reader need not.
        return ColumnHeader(column).trimmed();
    }
    // Six columns share one header; each is one line of the pin map.
    return QStringLiteral("Pin State %1").arg(column - 1);
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

QColor PinMapModel::MarkColor(MarkRole role, const QPalette& palette) {
    if (role == MarkRole::None) {
        return {};
    }
    const Rgb tint = MarkTint(role, ToRgb(palette.color(QPalette::Active, QPalette::Base)),
                              ToRgb(palette.color(QPalette::Active, QPalette::Text)));
    return {tint.r, tint.g, tint.b};
}

QColor PinMapModel::MarkColor(MarkRole role) {
    return MarkColor(role, QGuiApplication::palette());
}

}  // namespace vark
