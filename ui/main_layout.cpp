#include "ui/main_layout.h"

#include <algorithm>

namespace vark {

int Scale(int a, int dpi) {
    if (dpi <= 0 || dpi == 96) {
        return a;
    }
    const long long p = static_cast<long long>(a) * dpi;
    return static_cast<int>(p >= 0 ? (p + 48) / 96 : (p - 48) / 96);
}

MainLayout ComputeLayout(int clientWidth, int clientHeight, int dpi) {
    const auto s = [dpi](int v) { return Scale(v, dpi); };
    const auto size = [](int v) { return std::max(v, 0); };
    const int R = clientWidth;
    const int B = clientHeight;
    const int W = R - s(20);
    MainLayout m;
    m.toolBar = {s(3), s(3), size(R - s(6)), s(42)};
    m.pathEdit = {s(10), s(53), size(W - s(60)), s(20)};
    m.openButton = {R - s(65), s(53), s(50), s(20)};
    m.divider = {s(10), s(83), size(W), s(2)};
    m.list = {s(10), s(93), size(W), size(B - s(25) - s(93))};
    m.statusBar = {0, B - s(15), size(R), s(15)};
    return m;
}

Extent ClientMinimum(Extent outer, Extent frame, Extent client) {
    const int extraWidth = std::max(0, frame.width - client.width);
    const int extraHeight = std::max(0, frame.height - client.height);
    return {std::max(0, outer.width - extraWidth), std::max(0, outer.height - extraHeight)};
}

}  // namespace vark
