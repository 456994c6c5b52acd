// Where the main window's controls go for a given client size. Pure, so the
// arithmetic is tested without a window.
#pragma once

#include <QRect>
#include <QSize>

namespace vark {

struct MainLayout {
    QRect toolBar;
    QRect pathEdit;
    QRect openButton;
    QRect divider;
    QRect list;
    QRect statusBar;
};

// Toolbar 3 px in at the top, 42 high; path edit and Open button at y 53;
// a 2 px divider at y 83; the list from y 93 down to 10 px above the 15 px
// status strip. Margins 10 px left and right, the Open button 15 px from the
// right edge. A client smaller than the margins (a minimised window) gives
// zero widths and heights, never negative ones.
MainLayout ComputeLayout(QSize client);

// The client size that keeps the framed window at least `outer`, given the
// window's frame and client geometries. A frame the window manager is still
// building can report a frame smaller than its client (a 1 x 1 frame window
// during reparenting); such a frame counts as none, so the client minimum
// never exceeds `outer`.
QSize ClientMinimum(QSize outer, QSize frame, QSize client);

}  // namespace vark
