// The pin-map list's view: a table view that, while it has no rows, says
// quietly in its empty area how records get there. The hint is painted
// only; it is no row, no cell and no text of the report.
#pragma once

#include <QString>
#include <QTableView>

namespace vark {

class PinListView : public QTableView {
    Q_OBJECT
  public:
    explicit PinListView(QWidget* parent = nullptr);

    // The hint shown while the list is empty.
    static QString Placeholder();

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace vark
