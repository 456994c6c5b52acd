#include "app/pin_list_view.h"

#include <QHeaderView>
#include <QPainter>

namespace vark {

PinListView::PinListView(QWidget* parent) : QTableView(parent) {}

QString PinListView::Placeholder() {
    return QStringLiteral("Open a record file, drop one here, or upload from the tester.");
}

void PinListView::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (!model() || model()->rowCount() > 0) {
        return;
    }
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    // In the visible part of the empty area, whatever the sideways scroll.
    const QRect area = viewport()->rect().adjusted(12, 12, -12, -12);
    painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, Placeholder());
}

}  // namespace vark
