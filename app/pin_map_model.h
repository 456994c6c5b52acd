// The pin-map list's rows behind a table model for the list view: the cells
// and the comparison's marks as the shared window rules make them, the
// marks' roles shown as background colours.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <vector>

#include "ui/record_document.h"
#include "ui/reference_compare.h"

namespace vark {

class PinMapModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit PinMapModel(QObject* parent = nullptr);

    // Drops every row and takes `rows`, in slot order. Marks go with the
    // rows they were set on.
    void Rebuild(const std::vector<ListRow>& rows);

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

    // The background of a mark's role; invalid for none.
    static QColor MarkColor(MarkRole role);

  private:
    using Row = std::array<QString, kListColumns>;
    std::vector<Row> rows_;
    std::vector<RowMark> marks_;
};

}  // namespace vark
