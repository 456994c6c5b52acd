#include "ui/window_place.h"

#include <algorithm>

namespace vark {

namespace {

int FitSpan(int start, int& length, int areaStart, int areaLength, int minimum) {
    length = std::max(std::min(length, areaLength), minimum);
    if (length >= areaLength) {
        return areaStart;
    }
    return std::clamp(start, areaStart, areaStart + areaLength - length);
}

}  // namespace

Box FitInside(const Box& frame, const Box& available, Extent minimum) {
    Box out = frame;
    out.x = FitSpan(frame.x, out.width, available.x, available.width, minimum.width);
    out.y = FitSpan(frame.y, out.height, available.y, available.height, minimum.height);
    return out;
}

std::optional<Box> RestorablePlace(const Box& saved, const std::vector<Box>& screens,
                                   Extent minimum) {
    if (saved.width <= 0 || saved.height <= 0) {
        return std::nullopt;
    }
    // A few pixels into the title bar, half way along it.
    const long long px = saved.x + static_cast<long long>(saved.width) / 2;
    const long long py = saved.y + 8LL;
    for (const Box& s : screens) {
        if (px >= s.x && px < static_cast<long long>(s.x) + s.width && py >= s.y &&
            py < static_cast<long long>(s.y) + s.height) {
            return FitInside(saved, s, minimum);
        }
    }
    return std::nullopt;
}

}  // namespace vark
