#include <gtest/gtest.h>

#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>

#include "app/main_layout.h"
#include "app/main_window.h"
#include "app_test_support.h"

using vark::test::Child;

namespace {

using vark::ClientMinimum;
using vark::ComputeLayout;

TEST(MainLayout, ClientOf800By600GivesTheDocumentedPositions) {
    const vark::MainLayout l = ComputeLayout(QSize(800, 600));
    EXPECT_EQ(l.toolBar, QRect(3, 3, 794, 42));
    EXPECT_EQ(l.pathEdit, QRect(10, 53, 720, 20));
    EXPECT_EQ(l.openButton, QRect(735, 53, 50, 20));
    EXPECT_EQ(l.divider, QRect(10, 83, 780, 2));
    EXPECT_EQ(l.list, QRect(10, 93, 780, 482));
    EXPECT_EQ(l.statusBar, QRect(0, 585, 800, 15));
}

TEST(MainLayout, EdgesKeepTheirDistancesAtOtherSizes) {
    for (const QSize client : {QSize(480, 360), QSize(1366, 705), QSize(1001, 777)}) {
        SCOPED_TRACE(client.width());
        const vark::MainLayout l = ComputeLayout(client);
        // Open button 15 px from the right edge, path edit ends 5 px before it.
        EXPECT_EQ(l.openButton.x() + l.openButton.width(), client.width() - 15);
        EXPECT_EQ(l.pathEdit.x() + l.pathEdit.width(), l.openButton.x() - 5);
        // 10 px margins for the divider and the list.
        EXPECT_EQ(l.list.x(), 10);
        EXPECT_EQ(l.list.x() + l.list.width(), client.width() - 10);
        EXPECT_EQ(l.divider.width(), l.list.width());
        // 10 px between the list and the status strip, which ends at the bottom.
        EXPECT_EQ(l.list.y() + l.list.height(), l.statusBar.y() - 10);
        EXPECT_EQ(l.statusBar.y() + l.statusBar.height(), client.height());
        EXPECT_EQ(l.toolBar.width(), client.width() - 6);
    }
}

TEST(MainLayout, MinimisedClientGivesNoNegativeSizes) {
    for (const QSize client : {QSize(0, 0), QSize(15, 40), QSize(79, 117)}) {
        SCOPED_TRACE(client.width());
        const vark::MainLayout l = ComputeLayout(client);
        for (const QRect& r :
             {l.toolBar, l.pathEdit, l.openButton, l.divider, l.list, l.statusBar}) {
            EXPECT_GE(r.width(), 0);
            EXPECT_GE(r.height(), 0);
        }
    }
    const vark::MainLayout zero = ComputeLayout(QSize(0, 0));
    EXPECT_EQ(zero.list, QRect(10, 93, 0, 0));
    EXPECT_EQ(zero.pathEdit, QRect(10, 53, 0, 20));
    EXPECT_EQ(zero.toolBar.width(), 0);
    // Positions follow the arithmetic; only sizes are clamped.
    EXPECT_EQ(zero.openButton, QRect(-65, 53, 50, 20));
    EXPECT_EQ(zero.statusBar, QRect(0, -15, 0, 15));
}

TEST(MainLayout, WindowPlacesItsControlsOnEveryResize) {
    vark::MainWindow dlg;
    dlg.show();
    for (const QSize client : {QSize(800, 600), QSize(1024, 700), QSize(640, 480)}) {
        SCOPED_TRACE(client.width());
        dlg.resize(client);
        const vark::MainLayout l = ComputeLayout(dlg.size());
        EXPECT_EQ(dlg.size(), client);
        EXPECT_EQ(Child<QToolBar>(dlg, "ToolBar")->geometry(), l.toolBar);
        EXPECT_EQ(Child<QLineEdit>(dlg, "PathEdit")->geometry(), l.pathEdit);
        EXPECT_EQ(Child<QPushButton>(dlg, "OpenButton")->geometry(), l.openButton);
        EXPECT_EQ(Child<QFrame>(dlg, "Divider")->geometry(), l.divider);
        EXPECT_EQ(Child<QTableView>(dlg, "PinList")->geometry(), l.list);
        EXPECT_EQ(Child<QStatusBar>(dlg, "StatusBar")->geometry(), l.statusBar);
    }
}

TEST(MainLayout, ClientMinimumLeavesRoomForTheFrameOnly) {
    const QSize outer(480, 360);
    // A framed window: the frame's borders and title come off the minimum.
    EXPECT_EQ(ClientMinimum(outer, QSize(810, 630), QSize(800, 600)), QSize(470, 330));
    // Not yet framed.
    EXPECT_EQ(ClientMinimum(outer, QSize(800, 600), QSize(800, 600)), outer);
    // A frame still being built (a 1 x 1 frame window around an 800 x 600
    // client) once made the minimum 1279 x 959, larger than the screen.
    EXPECT_EQ(ClientMinimum(outer, QSize(1, 1), QSize(800, 600)), outer);
    EXPECT_EQ(ClientMinimum(outer, QSize(1, 640), QSize(800, 600)), QSize(480, 320));
    // A frame larger than the minimum leaves no client minimum, never a negative one.
    EXPECT_EQ(ClientMinimum(outer, QSize(1000, 1000), QSize(10, 10)), QSize(0, 0));
}

TEST(MainLayout, WindowFrameStopsAtTheMinimumSize) {
    vark::MainWindow dlg;
    dlg.show();
    // The minimum is the outer frame's; the client gets what the frame leaves.
    const QSize frame = dlg.frameGeometry().size() - dlg.size();
    EXPECT_EQ(dlg.minimumSize(), QSize(480, 360) - frame);
    dlg.resize(200, 100);
    EXPECT_EQ(dlg.frameGeometry().size(), QSize(480, 360));
    dlg.resize(300, 900);
    EXPECT_EQ(dlg.frameGeometry().size(), QSize(480, 900 + frame.height()));
    // The layout follows the clamped size.
    EXPECT_EQ(Child<QTableView>(dlg, "PinList")->geometry(), ComputeLayout(dlg.size()).list);
    // As first shown it is larger than the minimum.
    vark::MainWindow fresh;
    EXPECT_GT(fresh.width(), 480);
    EXPECT_GT(fresh.height(), 360);
}

}  // namespace
