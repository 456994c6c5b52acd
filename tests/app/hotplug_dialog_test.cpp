// The Upload dialog and the main window's status line following a tester
// that umockdev plugs in and pulls out, with the tester simulator behind the
// node. Runs under umockdev-wrapper, offscreen.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <cstring>
#include <memory>

#include "app/main_window.h"
#include "app/message_box.h"
#include "app/tester_watch.h"
#include "app/upload_dialog.h"
#include "app_test_support.h"
#include "records/record_file.h"
#include "records/sample_records.h"
#include "testing/sim_process.h"
#include "tests/support/usb_testbed.h"
#include "ui/link_texts.h"

namespace {

using vark::test::Child;
using vark::test::SimProcess;
using vark::test::UsbTestbed;

const QString kFound = QStringLiteral("\n    Device  connection is successful!    \n");
const QString kNotFound = QStringLiteral("\n    Device connection failed!    \n");
const QString kSuccess = QStringLiteral("\n      Receive success !     \n");
const QString kUnplugged = QStringLiteral("\n    Device disconnected during upload!    \n");
const QString kCaption = QStringLiteral("Kelvor VARK-u  Port:/dev/ttyUSB0");

UsbTestbed::Bridge Tester(const std::string& pty) {
    UsbTestbed::Bridge b;
    b.pty = pty;
    return b;
}

class Hotplug : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(watch.Start());
        main.SetTesterWatch(&watch);
        ASSERT_TRUE(QTest::qWaitFor([&] { return watch.Known(); }, 5000));
    }

    QString Status() const { return Child<QLabel>(main, "TesterStatus")->text(); }
    bool WaitForBox(const QString& text, int count = 1, int ms = 5000) {
        return QTest::qWaitFor([&] { return boxes.Texts().count(text) >= count; }, ms);
    }

    UsbTestbed bed;
    vark::TesterWatch watch;
    vark::MainWindow main;
    vark::test::MessageRecorder boxes;
};

TEST_F(Hotplug, StatusLineSaysWhetherATesterIsAttached) {
    EXPECT_EQ(Status(), QStringLiteral("No tester attached"));
    bed.Plug(Tester("/dev/null"));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return Status() == QStringLiteral("Tester on /dev/ttyUSB0"); }, 5000))
        << Status().toStdString();
    bed.Unplug("ttyUSB0");
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return Status() == QStringLiteral("No tester attached"); }, 5000));
    // Another maker's bridge is not a tester.
    UsbTestbed::Bridge other = Tester("/dev/null");
    other.vendor = "0403";
    bed.Plug(other);
    QTest::qWait(300);
    EXPECT_EQ(Status(), QStringLiteral("No tester attached"));
}

TEST_F(Hotplug, DialogConnectsWhenTheTesterIsPluggedInAndAnUnplugEndsItsUpload) {
    const vark::RecordBlock before = vark::SampleBlock();
    main.SetBlock(before);
    vark::UploadDialog dlg(
        &main, [&](const vark::RecordBlock& b) { main.SetBlock(b); }, &watch);
    dlg.show();
    ASSERT_EQ(boxes.Texts(), QStringList{kNotFound});
    EXPECT_EQ(dlg.DeviceText(), QStringLiteral("No Device"));
    EXPECT_FALSE(Child<QPushButton>(dlg, "UploadDataButton")->isEnabled());

    // Plugged in: the dialog connects as Refresh Dev would, and says so.
    SimProcess sim({"--records", "100"});  // at line speed: 6.5 s
    bed.Plug(Tester(sim.device()));
    ASSERT_TRUE(WaitForBox(kFound)) << boxes.Texts().join("|").toStdString();
    EXPECT_EQ(dlg.DeviceText(), kCaption);
    EXPECT_TRUE(Child<QPushButton>(dlg, "UploadDataButton")->isEnabled());
    EXPECT_TRUE(dlg.LinkUp());

    // Pulled out in the middle of an upload: it ends at once, with its own
    // message, and what came of it is not taken.
    Child<QPushButton>(dlg, "UploadDataButton")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.ProgressPos() >= 10 && dlg.Uploading(); }, 2000));
    QTest::qWait(700);  // several records are in
    QElapsedTimer clock;
    clock.start();
    bed.Unplug("ttyUSB0");
    ASSERT_TRUE(WaitForBox(kUnplugged, 1, 2500)) << boxes.Texts().join("|").toStdString();
    EXPECT_LT(clock.elapsed(), 1500) << "not left to the receive time-out";
    EXPECT_EQ(std::memcmp(main.Block().data(), before.data(), vark::kBlockSize), 0);
    EXPECT_EQ(boxes.Texts().count(kSuccess), 0);
    EXPECT_EQ(dlg.DeviceText(), QStringLiteral("No Device"));
    EXPECT_FALSE(Child<QPushButton>(dlg, "UploadDataButton")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(dlg, "RefreshDevButton")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(dlg, "CancelButton")->isEnabled());
    EXPECT_EQ(dlg.ProgressPos(), 0);
    EXPECT_FALSE(dlg.LinkUp());

    // Back again: connected, and an upload goes through.
    SimProcess fast({"--records", "4", "--fast"});
    bed.Plug(Tester(fast.device()));
    ASSERT_TRUE(WaitForBox(kFound, 2));
    EXPECT_EQ(dlg.DeviceText(), kCaption);
    Child<QPushButton>(dlg, "UploadDataButton")->click();
    ASSERT_TRUE(WaitForBox(kSuccess));
    EXPECT_EQ(main.Block().count, 4);
}

TEST_F(Hotplug, BriefUnplugDuringAPauseDoesNotConfuseTheLink) {
    SimProcess first({"--records", "3", "--fast"});
    bed.Plug(Tester(first.device()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Status().startsWith(QStringLiteral("No")); }, 5000));
    vark::UploadDialog dlg(
        &main, [&](const vark::RecordBlock& b) { main.SetBlock(b); }, &watch);
    dlg.show();
    ASSERT_EQ(boxes.Texts(), QStringList{kFound});
    Child<QPushButton>(dlg, "UploadDataButton")->click();
    ASSERT_TRUE(WaitForBox(kSuccess));
    EXPECT_EQ(main.Block().count, 3);

    // Out and in again at once, while the dialog waits: the old port is
    // let go, the new one taken, and the next upload reads the tester now
    // plugged in.
    SimProcess second({"--records", "9", "--fast"});
    bed.Unplug("ttyUSB0");
    bed.Plug(Tester(second.device()));
    ASSERT_TRUE(WaitForBox(kFound, 2)) << boxes.Texts().join("|").toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.LinkUp(); }, 2000));
    EXPECT_EQ(dlg.DeviceText(), kCaption);
    Child<QPushButton>(dlg, "UploadDataButton")->click();
    ASSERT_TRUE(WaitForBox(kSuccess, 2)) << boxes.Texts().join("|").toStdString();
    EXPECT_EQ(main.Block().count, 9);
    EXPECT_EQ(boxes.Texts().count(kNotFound), 0) << "no box for a tester that comes straight back";
}

TEST_F(Hotplug, TesterSwappedWhileABoxIsUpIsTakenForANewOne) {
    SimProcess first({"--records", "3", "--fast"});
    SimProcess second({"--records", "6", "--fast"});
    bed.Plug(Tester(first.device()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Status().startsWith(QStringLiteral("No")); }, 5000));
    vark::UploadDialog dlg(
        &main, [&](const vark::RecordBlock& b) { main.SetBlock(b); }, &watch);
    dlg.show();
    ASSERT_EQ(boxes.Texts(), QStringList{kFound});

    // While the success box is up, the tester is pulled out and another put
    // in its place: both changes reach the dialog before the box is closed.
    bool swapped = false;
    const auto previous = vark::SetMessageInterceptor([&](QWidget*, const QString& text) {
        boxes.messages.push_back({nullptr, text});
        if (text == kSuccess && !swapped) {
            swapped = true;
            bed.Unplug("ttyUSB0");
            bed.Plug(Tester(second.device()));
            QTest::qWait(500);
        }
        return 0x400;
    });
    Child<QPushButton>(dlg, "UploadDataButton")->click();
    ASSERT_TRUE(WaitForBox(kSuccess));
    ASSERT_TRUE(swapped);
    EXPECT_EQ(main.Block().count, 3);
    // The port is another one now: taken anew, and the next upload is the
    // new tester's.
    ASSERT_TRUE(WaitForBox(kFound, 2)) << boxes.Texts().join("|").toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.LinkUp(); }, 2000));
    Child<QPushButton>(dlg, "UploadDataButton")->click();
    ASSERT_TRUE(WaitForBox(kSuccess, 2)) << boxes.Texts().join("|").toStdString();
    EXPECT_EQ(main.Block().count, 6);
    vark::SetMessageInterceptor(previous);
}

TEST_F(Hotplug, ADialogThatFoundNothingSaysSoOnceAndThenWaits) {
    vark::UploadDialog dlg(
        &main, [&](const vark::RecordBlock& b) { main.SetBlock(b); }, &watch);
    dlg.show();
    ASSERT_EQ(boxes.Texts(), QStringList{kNotFound});
    // Another maker's bridge comes and goes: the dialog stays as it is.
    UsbTestbed::Bridge other = Tester("/dev/null");
    other.vendor = "0403";
    bed.Plug(other);
    QTest::qWait(400);
    bed.Unplug("ttyUSB0");
    QTest::qWait(400);
    EXPECT_EQ(boxes.Texts(), QStringList{kNotFound});
    EXPECT_EQ(dlg.DeviceText(), QStringLiteral("No Device"));
}

}  // namespace
