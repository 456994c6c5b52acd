// The face and the measure of the program's dialogs: an 11-pixel Arial-like
// face, and dialog units converted to pixels from that face's average
// character width and height, as dialog templates measure them.
#pragma once

#include <QFont>
#include <QRect>

namespace vark {

QFont DialogFont();

struct DialogUnits {
    explicit DialogUnits(const QFont& font);
    int X(int dlu) const { return (dlu * baseX + 2) / 4; }
    int Y(int dlu) const { return (dlu * baseY + 4) / 8; }
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }

    int baseX = 6;
    int baseY = 13;
};

}  // namespace vark
