#include "ui/main_layout.h"

#include <gtest/gtest.h>

namespace vark {
namespace {

TEST(MainLayout, ClientOf800By600GivesTheDocumentedPositions) {
    const MainLayout l = ComputeLayout(800, 600);
    EXPECT_EQ(l.toolBar, (Box{3, 3, 794, 42}));
    EXPECT_EQ(l.pathEdit, (Box{10, 53, 720, 20}));
    EXPECT_EQ(l.openButton, (Box{735, 53, 50, 20}));
    EXPECT_EQ(l.divider, (Box{10, 83, 780, 2}));
    EXPECT_EQ(l.list, (Box{10, 93, 780, 482}));
    EXPECT_EQ(l.statusBar, (Box{0, 585, 800, 15}));
}

TEST(MainLayout, EdgesKeepTheirDistancesAtOtherSizes) {
    for (const auto& [w, h] : {std::pair{480, 360}, {1366, 705}, {1001, 777}}) {
        SCOPED_TRACE(w);
        const MainLayout l = ComputeLayout(w, h);
        // Open button 15 px from the right edge, path edit ends 5 px before it.
        EXPECT_EQ(l.openButton.x + l.openButton.width, w - 15);
        EXPECT_EQ(l.pathEdit.x + l.pathEdit.width, l.openButton.x - 5);
        // 10 px margins for the divider and the list.
        EXPECT_EQ(l.list.x, 10);
        EXPECT_EQ(l.list.x + l.list.width, w - 10);
        EXPECT_EQ(l.divider.width, l.list.width);
        // 10 px between the list and the status strip, which ends at the bottom.
        EXPECT_EQ(l.list.y + l.list.height, l.statusBar.y - 10);
        EXPECT_EQ(l.statusBar.y + l.statusBar.height, h);
        EXPECT_EQ(l.toolBar.width, w - 6);
    }
}

TEST(MainLayout, MinimisedClientGivesNoNegativeSizes) {
    for (const auto& [w, h] : {std::pair{0, 0}, {15, 40}, {79, 117}}) {
        SCOPED_TRACE(w);
        const MainLayout l = ComputeLayout(w, h);
        for (const Box& b : {l.toolBar, l.pathEdit, l.openButton, l.divider, l.list, l.statusBar}) {
            EXPECT_GE(b.width, 0);
            EXPECT_GE(b.height, 0);
        }
    }
    const MainLayout zero = ComputeLayout(0, 0);
    EXPECT_EQ(zero.list, (Box{10, 93, 0, 0}));
    EXPECT_EQ(zero.pathEdit, (Box{10, 53, 0, 20}));
    EXPECT_EQ(zero.toolBar.width, 0);
    // Positions follow the arithmetic; only sizes are clamped.
    EXPECT_EQ(zero.openButton, (Box{-65, 53, 50, 20}));
    EXPECT_EQ(zero.statusBar, (Box{0, -15, 0, 15}));
}

TEST(MainLayout, PixelMeasuresScaleWithTheDpi) {
    EXPECT_EQ(Scale(42, 96), 42);
    EXPECT_EQ(Scale(42, 144), 63);
    EXPECT_EQ(Scale(15, 120), 19);    // 18.75 rounds up
    EXPECT_EQ(Scale(-65, 144), -98);  // -97.5 rounds away from zero
    EXPECT_EQ(Scale(10, 0), 10);      // no DPI known: as at 96
    const MainLayout l = ComputeLayout(1200, 900, 144);
    EXPECT_EQ(l.toolBar, (Box{5, 5, 1191, 63}));
    EXPECT_EQ(l.openButton, (Box{1200 - 98, 80, 75, 30}));
    EXPECT_EQ(l.list, (Box{15, 140, 1170, 900 - 38 - 140}));
    EXPECT_EQ(l.statusBar, (Box{0, 900 - 23, 1200, 23}));
}

TEST(MainLayout, ClientMinimumLeavesRoomForTheFrameOnly) {
    const Extent outer{480, 360};
    // A framed window: the frame's borders and title come off the minimum.
    EXPECT_EQ(ClientMinimum(outer, {810, 630}, {800, 600}), (Extent{470, 330}));
    // Not yet framed.
    EXPECT_EQ(ClientMinimum(outer, {800, 600}, {800, 600}), outer);
    // A frame still being built (a 1 x 1 frame window around an 800 x 600
    // client) once made the minimum 1279 x 959, larger than the screen.
    EXPECT_EQ(ClientMinimum(outer, {1, 1}, {800, 600}), outer);
    EXPECT_EQ(ClientMinimum(outer, {1, 640}, {800, 600}), (Extent{480, 320}));
    // A frame larger than the minimum leaves no client minimum, never a negative one.
    EXPECT_EQ(ClientMinimum(outer, {1000, 1000}, {10, 10}), (Extent{0, 0}));
}

}  // namespace
}  // namespace vark
