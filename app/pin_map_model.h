// The pin-map list's rows: the cell texts of every used slot, exactly as the
// records layer builds them, behind a table model for the list view.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <array>
#include <vector>

#include "records/pin_map.h"
#include "records/record_block.h"

namespace vark {

// What a comparison puts on a whole row: a background and a tooltip. An
// invalid colour or an empty tooltip leaves the row's own.
struct RowMark {
    QColor background;
    QString toolTip;
};

class PinMapModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    using Row = std::array<QString, kListColumns>;

    explicit PinMapModel(QObject* parent = nullptr);

    // Drops every row and builds them again from `block`, in slot order.
    // Marks go with the rows they were set on.
    void Rebuild(const RecordBlock& block);

    // Marks for rows 0, 1, ... in order; rows beyond the list get none. The
    // cell texts stay as they are.
    void SetRowMarks(std::vector<RowMark> marks);

    // The text of a cell; empty outside the table.
    QString CellText(int row, int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Headers and widths of the eight columns.
    static QString ColumnHeader(int column);
    static int ColumnWidth(int column);

  private:
    std::vector<Row> rows_;
    std::vector<RowMark> marks_;
};

}  // namespace vark
