#include "app/main_layout.h"

#include <algorithm>

namespace vark {
namespace {

QRect Place(int x, int y, int width, int height) {
    return QRect(x, y, std::max(width, 0), std::max(height, 0));
}

}  // namespace

MainLayout ComputeLayout(QSize client) {
    const int l = 0;
    const int t = 0;
    const int r = client.width();
    const int b = client.height();
    const int w = r - l - 20;

    MainLayout out;
    out.toolBar = Place(l + 3, t + 3, r - l - 6, 42);
    out.pathEdit = Place(l + 10, t + 53, w - 60, 20);
    out.openButton = Place(r - 65, t + 53, 50, 20);
    out.divider = Place(l + 10, t + 83, w, 2);
    out.list = Place(l + 10, t + 93, w, (b - 25) - (t + 93));
    out.statusBar = Place(l, b - 15, r - l, 15);
    return out;
}

QSize ClientMinimum(QSize outer, QSize frame, QSize client) {
    const int extraWidth = std::max(0, frame.width() - client.width());
    const int extraHeight = std::max(0, frame.height() - client.height());
    return {std::max(0, outer.width() - extraWidth), std::max(0, outer.height() - extraHeight)};
}

}  // namespace vark
