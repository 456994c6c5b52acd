// Where a window goes on the desktop: inside the free area of a screen (the
// screen without its panels) however large the window asks to be, and back
// where it was last time only while that place is still on a screen.
#pragma once

#include <optional>
#include <vector>

#include "ui/main_layout.h"

namespace vark {

// The frame `frame` moved, and shrunk where it must, to lie inside
// `available`; never smaller than `minimum`, which wins over the area (the
// frame then starts at the area's top left corner). A frame that fits is
// returned unchanged.
Box FitInside(const Box& frame, const Box& available, Extent minimum);

// A frame remembered from an earlier run, on the screens as they are now:
// nothing when no screen shows the middle of its top edge (where its title
// bar is grabbed), else the frame fitted inside that screen.
std::optional<Box> RestorablePlace(const Box& saved, const std::vector<Box>& screens,
                                   Extent minimum);

}  // namespace vark
