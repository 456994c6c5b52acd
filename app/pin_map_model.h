// The pin-map list's rows behind a table model for the list view: the cells
// and the comparison's marks as the shared window rules make them, the
// marks' roles shown as background tints made from the list's palette and
// as a sign beside the test number in the row header.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QPalette>
#include <QString>
#include <QWidget>
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
    // What a screen reader calls a column: each one its own name.
    static QString ColumnAccessibleName(int column);

    // The widget whose palette the list draws with (null: the
    // application's); the tints follow it as it changes. Must outlive this.
    void SetPaletteSource(const QWidget* widget) { paletteSource_ = widget; }

    // The background of a mark's role on `palette` (the application's when
    // not given); invalid for none.
    static QColor MarkColor(MarkRole role, const QPalette& palette);
    static QColor MarkColor(MarkRole role);

    // The row header: the row's test number, after its mark's sign.
    QString RowHeader(int row) const;

  private:
    using Row = std::array<QString, kListColumns>;
    std::vector<Row> rows_;
    std::vector<RowMark> marks_;
    QPalette Palette() const;

    const QWidget* paletteSource_ = nullptr;
};

}  // namespace vark
