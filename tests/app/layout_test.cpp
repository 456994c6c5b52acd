// The Qt main window places its controls where the shared layout says, and
// its frame stops at the minimum size.
#include <gtest/gtest.h>

#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>

#include "app/main_window.h"
#include "app_test_support.h"
#include "ui/main_layout.h"

using vark::test::Child;

namespace {

QRect Rect(const vark::Box& b) {
    return QRect(b.x, b.y, b.width, b.height);
}

TEST(MainLayout, WindowPlacesItsControlsOnEveryResize) {
    vark::MainWindow dlg;
    dlg.show();
    for (const QSize client : {QSize(800, 600), QSize(1024, 700), QSize(640, 480)}) {
        SCOPED_TRACE(client.width());
        dlg.resize(client);
        const vark::MainLayout l = vark::ComputeLayout(dlg.width(), dlg.height());
        EXPECT_EQ(dlg.size(), client);
        EXPECT_EQ(Child<QToolBar>(dlg, "ToolBar")->geometry(), Rect(l.toolBar));
        EXPECT_EQ(Child<QLineEdit>(dlg, "PathEdit")->geometry(), Rect(l.pathEdit));
        EXPECT_EQ(Child<QPushButton>(dlg, "OpenButton")->geometry(), Rect(l.openButton));
        EXPECT_EQ(Child<QFrame>(dlg, "Divider")->geometry(), Rect(l.divider));
        EXPECT_EQ(Child<QTableView>(dlg, "PinList")->geometry(), Rect(l.list));
        EXPECT_EQ(Child<QStatusBar>(dlg, "StatusBar")->geometry(), Rect(l.statusBar));
    }
    // The documented positions for an 800 x 600 client, on the widgets themselves.
    dlg.resize(800, 600);
    EXPECT_EQ(Child<QLineEdit>(dlg, "PathEdit")->geometry(), QRect(10, 53, 720, 20));
    EXPECT_EQ(Child<QTableView>(dlg, "PinList")->geometry(), QRect(10, 93, 780, 482));
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
    EXPECT_EQ(Child<QTableView>(dlg, "PinList")->geometry(),
              Rect(vark::ComputeLayout(dlg.width(), dlg.height()).list));
    // As first shown it is larger than the minimum.
    vark::MainWindow fresh;
    EXPECT_GT(fresh.width(), 480);
    EXPECT_GT(fresh.height(), 360);
}

}  // namespace
