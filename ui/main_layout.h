// Where the main window's controls go for a client size, in pixels at the
// window's DPI (the numbers below are for 96 DPI and scale with it). Both
// window programs place their controls with it.
#pragma once

namespace vark {

struct Box {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Box&) const = default;
};

struct MainLayout {
    Box toolBar;
    Box pathEdit;
    Box openButton;
    Box divider;
    Box list;
    Box statusBar;
};

// Toolbar 3 px in at the top, 42 high; path edit and Open button at y 53; a
// 2 px divider at y 83; the list from y 93 down to 10 px above the 15 px
// status strip; 10 px side margins, the Open button 15 px from the right.
// A client too small for the margins (a minimised window has none) gives
// zero sizes, never negative ones, which controls would refuse; positions
// follow the arithmetic.
MainLayout ComputeLayout(int clientWidth, int clientHeight, int dpi = 96);

// The smallest frame the user may drag the window to, in pixels at 96 DPI.
inline constexpr int kMinFrameWidth = 480;
inline constexpr int kMinFrameHeight = 360;

// a * dpi / 96, rounded to nearest: a 96-DPI pixel measure at `dpi`.
int Scale(int a, int dpi);

struct Extent {
    int width = 0;
    int height = 0;
    bool operator==(const Extent&) const = default;
};

// The client size that keeps the framed window at least `outer`, given the
// window's frame and client sizes. A frame the window manager is still
// building can report a frame smaller than its client (a 1 x 1 frame window
// during reparenting); such a frame counts as none, so the client minimum
// never exceeds `outer`.
Extent ClientMinimum(Extent outer, Extent frame, Extent client);

}  // namespace vark
