// The Upload Data dialog against the tester simulator over real
// pseudo-terminals; only the USB device list is given in advance.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/message_box.h"
#include "app/upload_dialog.h"
#include "app_test_support.h"
#include "records/pin_map.h"
#include "records/record_file.h"
#include "records/sample_records.h"
#include "testing/sim_process.h"
#include "ui/link_texts.h"

using vark::test::Child;

namespace {

using vark::test::SimProcess;

// Written out, blanks and all, so a slip in the program's own texts shows.
const QString kFound = QStringLiteral("\n    Device  connection is successful!    \n");
const QString kNotFound = QStringLiteral("\n    Device connection failed!    \n");
const QString kSuccess = QStringLiteral("\n      Receive success !     \n");
const QString kTimeout = QString::fromLatin1(vark::kMsgReceiveTimeout);
const QString kNoLink = QStringLiteral("\n    Please Refresh Device!    \n");
const QString kBusy = QStringLiteral("\n    Device is Busying...   \n");

// What was on screen when a message box came up.
struct Box {
    QString text;
    bool dialogVisible = false;
    QString caption;
    int pos = -1;
    bool refresh = false, upload = false, cancel = false;
    int rows = -1;
};

// Answers every message box at once and notes the dialog's state at that
// moment; `onBox` may act inside the box.
class Boxes {
  public:
    explicit Boxes(vark::MainWindow& main) {
        previous_ =
            vark::SetMessageInterceptor([this, &main](QWidget* parent, const QString& text) {
                Box box;
                box.text = text;
                box.rows = main.RowCount();
                if (auto* dlg = qobject_cast<vark::UploadDialog*>(parent)) {
                    box.dialogVisible = dlg->isVisible();
                    box.caption = dlg->DeviceText();
                    box.pos = dlg->ProgressPos();
                    box.refresh = Child<QPushButton>(*dlg, "RefreshDevButton")->isEnabled();
                    box.upload = Child<QPushButton>(*dlg, "UploadDataButton")->isEnabled();
                    box.cancel = Child<QPushButton>(*dlg, "CancelButton")->isEnabled();
                }
                seen.push_back(box);
                if (onBox) {
                    onBox(box);
                }
                return 0x400;
            });
    }
    ~Boxes() { vark::SetMessageInterceptor(previous_); }

    QStringList Texts() const {
        QStringList out;
        for (const Box& b : seen) {
            out << b.text;
        }
        return out;
    }
    int Count(const QString& text) const { return static_cast<int>(Texts().count(text)); }
    const Box* Last(const QString& text) const {
        for (auto it = seen.rbegin(); it != seen.rend(); ++it) {
            if (it->text == text) {
                return &*it;
            }
        }
        return nullptr;
    }
    bool WaitFor(const QString& text, int count = 1, int ms = 8000) const {
        return QTest::qWaitFor([&] { return Count(text) >= count; }, ms);
    }

    std::vector<Box> seen;
    std::function<void(const Box&)> onBox;

  private:
    vark::MessageInterceptor previous_;
};

vark::RecordBlock Generated(int n, int seed) {
    vark::RecordBlock block;
    vark::ClearBlock(block);
    block.count = static_cast<std::uint8_t>(n);
    for (int i = 0; i < n; ++i) {
        const int pins = 2 + (i * 5 + seed) % 30;
        vark::RecordBuilder b(pins);
        b.Straight();
        if (i % 2 == seed % 2) {
            b.Grounds();
        }
        if (pins >= 3) {
            b.Connect(1, 2);
        }
        block.slots[i] = b.Reserved(static_cast<std::uint8_t>(seed)).Build();
    }
    return block;
}

bool SameSlot(const vark::TestRecord& a, const vark::TestRecord& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class UploadDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        vark::UploadDialog::SetDiscoveryOverride([this] { return devices; });
    }
    void TearDown() override { vark::UploadDialog::SetDiscoveryOverride({}); }

    static vark::BridgePort Tester(const std::string& node) {
        vark::BridgePort d;
        d.vendorId = vark::kVendorSiliconBridge;
        d.productId = 0xEA60;
        d.serial = "VARK 0001";
        d.path = node;
        d.tester = true;
        return d;
    }

    // The bridge list holds one tester on `node` (none when empty).
    void UseDevice(const std::string& node) {
        devices.clear();
        if (!node.empty()) {
            devices.push_back(Tester(node));
        }
    }

    std::string WriteFile(const char* name, const vark::RecordBlock& block) {
        const auto path = dir.path() / name;
        EXPECT_EQ(vark::WriteRecordFile(path, block), vark::FileStatus::Ok);
        return path.string();
    }

    // A simulator answering with `block`, found by discovery.
    std::unique_ptr<SimProcess> StartSim(const vark::RecordBlock& block,
                                         std::vector<std::string> args, const char* name) {
        args.insert(args.begin(), {"--file", WriteFile(name, block)});
        auto sim = std::make_unique<SimProcess>(args);
        EXPECT_FALSE(sim->device().empty());
        UseDevice(sim->device());
        return sim;
    }

    void LoadMain(const vark::RecordBlock& block) { main.SetBlock(block); }

    // Hands a completed upload to the main window, as its Upload command does.
    vark::UploadDialog::ReceivedHandler ToMain() {
        return [this](const vark::RecordBlock& received) { main.SetBlock(received); };
    }

    static void ExpectAllOn(const vark::UploadDialog& dlg) {
        EXPECT_TRUE(Child<QPushButton>(dlg, "RefreshDevButton")->isEnabled());
        EXPECT_TRUE(Child<QPushButton>(dlg, "UploadDataButton")->isEnabled());
        EXPECT_TRUE(Child<QPushButton>(dlg, "CancelButton")->isEnabled());
    }
    static void ExpectEmptyBar(const vark::UploadDialog& dlg) {
        EXPECT_EQ(dlg.ProgressPos(), 0);
        EXPECT_LT(Child<QProgressBar>(dlg, "Progress")->value(),
                  Child<QProgressBar>(dlg, "Progress")->minimum());
    }

    vark::test::TempDir dir;
    std::vector<vark::BridgePort> devices;
    vark::MainWindow main;
    Boxes boxes{main};
};

TEST_F(UploadDialog, NoDeviceIsReportedBeforeTheDialogShows) {
    UseDevice("");
    vark::UploadDialog dlg(&main, ToMain());
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Upload Data"));
    EXPECT_TRUE(boxes.seen.empty());  // construction makes no attempt
    dlg.show();

    ASSERT_EQ(boxes.Texts(), QStringList{kNotFound});
    EXPECT_FALSE(boxes.seen[0].dialogVisible);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.DeviceText(), QStringLiteral("No Device"));
    EXPECT_TRUE(Child<QPushButton>(dlg, "RefreshDevButton")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(dlg, "UploadDataButton")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(dlg, "CancelButton")->isEnabled());
    EXPECT_FALSE(dlg.LinkUp());
    EXPECT_EQ(Child<QProgressBar>(dlg, "Progress")->minimum(), 1);
    EXPECT_EQ(Child<QProgressBar>(dlg, "Progress")->maximum(), 200);
    ExpectEmptyBar(dlg);
    EXPECT_EQ(dlg.focusWidget(), Child<QPushButton>(dlg, "RefreshDevButton"));
    for (QPushButton* b :
         {Child<QPushButton>(dlg, "RefreshDevButton"), Child<QPushButton>(dlg, "UploadDataButton"),
          Child<QPushButton>(dlg, "CancelButton")}) {
        EXPECT_FALSE(b->isDefault()) << b->text().toStdString();
        EXPECT_FALSE(b->autoDefault()) << b->text().toStdString();
    }
    // The caption sits inside the box, the bar below it, the buttons to the right.
    EXPECT_TRUE(Child<QGroupBox>(dlg, "DeviceGroup")
                    ->geometry()
                    .contains(Child<QLabel>(dlg, "DeviceText")->geometry()));
    EXPECT_GT(Child<QProgressBar>(dlg, "Progress")->y(),
              Child<QGroupBox>(dlg, "DeviceGroup")->geometry().bottom());
    EXPECT_GT(Child<QPushButton>(dlg, "RefreshDevButton")->x(),
              Child<QGroupBox>(dlg, "DeviceGroup")->geometry().right());
}

TEST_F(UploadDialog, RealConnectionBoxComesBeforeTheDialog) {
    UseDevice("");
    const vark::MessageInterceptor saved = vark::SetMessageInterceptor(nullptr);
    vark::UploadDialog dlg(&main, ToMain());
    QString text;
    QString caption;
    bool dialogVisible = true;
    vark::test::WhenModal<QMessageBox>([&](QMessageBox* box) {
        ASSERT_NE(box, nullptr);
        text = box->text();
        caption = box->windowTitle();
        dialogVisible = dlg.isVisible();
        box->button(QMessageBox::Ok)->click();
    });
    dlg.show();
    vark::SetMessageInterceptor(saved);
    EXPECT_EQ(text, kNotFound);
    EXPECT_EQ(caption, QStringLiteral("VARK-u"));
    EXPECT_FALSE(dialogVisible);
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(UploadDialog, OnlyProgressValuesTwoToTwentyMoveTheBar) {
    UseDevice("");
    vark::UploadDialog dlg(&main, ToMain());
    dlg.show();
    dlg.OnProgress(5);
    EXPECT_EQ(dlg.ProgressPos(), 50);
    EXPECT_EQ(Child<QProgressBar>(dlg, "Progress")->value(), 50);
    for (int v : {0, 1, 21, -3}) {
        dlg.OnProgress(v);
        EXPECT_EQ(dlg.ProgressPos(), 50) << v;
    }
    dlg.OnProgress(2);
    EXPECT_EQ(dlg.ProgressPos(), 20);
    dlg.OnProgress(20);
    EXPECT_EQ(dlg.ProgressPos(), 200);
    EXPECT_EQ(Child<QProgressBar>(dlg, "Progress")->value(), 200);
}

TEST_F(UploadDialog, CaptionChangesOnlyAfterTheConnectionBox) {
    auto first = StartSim(Generated(2, 1), {"--fast"}, "a.vku");
    vark::UploadDialog dlg(&main, ToMain());
    dlg.show();
    ASSERT_EQ(boxes.Texts(), QStringList{kFound});
    EXPECT_FALSE(boxes.seen[0].dialogVisible);
    EXPECT_EQ(boxes.seen[0].caption, QStringLiteral("No Device"));
    const QString firstCaption = QString::fromStdString("Kelvor VARK-u  Port:" + first->device());
    EXPECT_EQ(dlg.DeviceText(), firstCaption);
    ExpectAllOn(dlg);
    EXPECT_TRUE(dlg.LinkUp());

    // Refresh Dev while connected: the link is stopped and discovery runs again.
    auto second = StartSim(Generated(2, 2), {"--fast"}, "b.vku");
    Child<QPushButton>(dlg, "RefreshDevButton")->click();
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[1].text, kFound);
    EXPECT_EQ(boxes.seen[1].caption, firstCaption);
    EXPECT_EQ(dlg.DeviceText(), QString::fromStdString("Kelvor VARK-u  Port:" + second->device()));

    // The tester has gone: the link ends, Upload Data is off.
    UseDevice("");
    Child<QPushButton>(dlg, "RefreshDevButton")->click();
    ASSERT_EQ(boxes.seen.size(), 3u);
    EXPECT_EQ(boxes.seen[2].text, kNotFound);
    EXPECT_EQ(boxes.seen[2].caption.left(20), QStringLiteral("Kelvor VARK-u  Port:"));
    EXPECT_EQ(dlg.DeviceText(), QStringLiteral("No Device"));
    EXPECT_FALSE(Child<QPushButton>(dlg, "UploadDataButton")->isEnabled());
    EXPECT_FALSE(dlg.LinkUp());
}

TEST_F(UploadDialog, ThreeRecordsReachTheListBeforeTheSuccessBox) {
    const vark::RecordBlock three = Generated(3, 3);
    // Paced so the reply comes in several reads.
    auto sim = StartSim(three, {"--rate", "1500"}, "three.vku");
    LoadMain(vark::SampleBlock());
    vark::UploadDialog dlg(&main, ToMain());
    dlg.show();
    std::vector<int> positions;
    QObject::connect(&dlg, &vark::UploadDialog::progressPosChanged,
                     [&](int p) { positions.push_back(p); });

    Child<QPushButton>(dlg, "UploadDataButton")->click();
    EXPECT_FALSE(Child<QPushButton>(dlg, "RefreshDevButton")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(dlg, "UploadDataButton")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(dlg, "CancelButton")->isEnabled());
    EXPECT_EQ(dlg.ProgressPos(), 10);
    EXPECT_EQ(Child<QProgressBar>(dlg, "Progress")->value(), 10);
    EXPECT_TRUE(dlg.Uploading());

    ASSERT_TRUE(boxes.WaitFor(kSuccess));
    const Box& at = *boxes.Last(kSuccess);
    EXPECT_EQ(at.rows, 3);  // the list behind the dialog already shows them
    EXPECT_EQ(at.pos, 200);
    EXPECT_FALSE(at.refresh || at.upload || at.cancel);

    ExpectAllOn(dlg);
    ExpectEmptyBar(dlg);
    EXPECT_FALSE(dlg.Uploading());
    ASSERT_GE(positions.size(), 4u);
    EXPECT_EQ(positions.front(), 10);
    EXPECT_EQ(positions[positions.size() - 2], 200);
    EXPECT_EQ(positions.back(), 0);
    for (std::size_t i = 1; i + 2 < positions.size(); ++i) {
        EXPECT_EQ(positions[i] % 10, 0);
        EXPECT_GE(positions[i], 20);
        EXPECT_LE(positions[i], 190);
        EXPECT_GE(positions[i], positions[i - 1]);
    }

    // All 100 slots come over, not just the used ones: the sample's records
    // beyond slot 2 are gone from the main window.
    EXPECT_EQ(std::memcmp(main.Block().data(), three.data(), vark::kBlockSize), 0);
    const auto table = vark::PinMapTable(three);
    ASSERT_EQ(main.RowCount(), static_cast<int>(table.size()));
    for (int r = 0; r < main.RowCount(); ++r) {
        for (int c = 0; c < vark::kListColumns; ++c) {
            EXPECT_EQ(main.CellText(r, c).toStdString(), table[r][c]);
        }
    }
    EXPECT_EQ(boxes.Count(kSuccess), 1);
    EXPECT_TRUE(dlg.isVisible());  // the dialog stays open after a success
}

TEST_F(UploadDialog, CountZeroEmptiesTheList) {
    auto sim = StartSim(Generated(4, 4), {"--fast", "--count-byte", "0"}, "zero.vku");
    LoadMain(vark::SampleBlock());
    ASSERT_GT(main.RowCount(), 0);
    vark::UploadDialog dlg(&main, ToMain());
    dlg.show();
    Child<QPushButton>(dlg, "UploadDataButton")->click();
    ASSERT_TRUE(boxes.WaitFor(kSuccess));
    EXPECT_EQ(boxes.Last(kSuccess)->rows, 0);
    EXPECT_EQ(main.Block().count, 0);
    EXPECT_EQ(main.RowCount(), 0);
    ExpectAllOn(dlg);
}

TEST_F(UploadDialog, ImpossibleCountIsAReceiveErrorAndChangesNothing) {
    auto sim = StartSim(Generated(4, 13), {"--fast", "--count-byte", "101"}, "bad.vku");
    const vark::RecordBlock before = vark::SampleBlock();
    LoadMain(before);
    vark::UploadDialog dlg(&main, ToMain());
    dlg.show();
    Child<QPushButton>(dlg, "UploadDataButton")->click();
    const QString receiveErr = QStringLiteral("\n    Device Receive Err!    \n");
    ASSERT_TRUE(boxes.WaitFor(receiveErr));
    EXPECT_EQ(boxes.Last(receiveErr)->pos, 0);
    ExpectAllOn(dlg);
    EXPECT_FALSE(dlg.Uploading());
    EXPECT_EQ(boxes.Count(kSuccess), 0);
    EXPECT_EQ(std::memcmp(main.Block().data(), before.data(), vark::kBlockSize), 0);
}

TEST_F(UploadDialog, StalledReplyTimesOutAndTheNextUploadSucceeds) {
    const vark::RecordBlock five = Generated(5, 5);
    auto sim = StartSim(five, {"--fast", "--stall-after", "600"}, "five.vku");
    const vark::RecordBlock before = vark::SampleBlock();
    LoadMain(before);
    const int rowsBefore = main.RowCount();
    vark::UploadDialog dlg(&main, ToMain());
    dlg.show();
    Child<QPushButton>(dlg, "UploadDataButton")->click();

    ASSERT_TRUE(boxes.WaitFor(kTimeout, 1, 6000));
    const Box& at = *boxes.Last(kTimeout);
    EXPECT_TRUE(at.refresh && at.upload && at.cancel);  // enabled before the box
    EXPECT_EQ(at.pos, 0);
    EXPECT_FALSE(dlg.Uploading());
    EXPECT_EQ(std::memcmp(main.Block().data(), before.data(), vark::kBlockSize), 0);
    EXPECT_EQ(main.RowCount(), rowsBefore);
    EXPECT_EQ(boxes.Count(kSuccess), 0);

    // The link still runs: a second attempt is accepted and completes.
    Child<QPushButton>(dlg, "UploadDataButton")->click();
    ASSERT_TRUE(boxes.WaitFor(kSuccess)) << boxes.Texts().join("|").toStdString() << sim->log();
    EXPECT_EQ(boxes.Count(kTimeout), 1);
    EXPECT_EQ(std::memcmp(main.Block().data(), five.data(), vark::kBlockSize), 0);
    EXPECT_EQ(main.RowCount(), static_cast<int>(vark::PinMapTable(five).size()));
}

TEST_F(UploadDialog, RefusalsReenableTheButtons) {
    // Found, but the port cannot be opened: the port's own message, then the
    // success message; Upload Data is then refused with code 1.
    UseDevice((dir.path() / "no-such-tty").string());
    {
        vark::UploadDialog dlg(&main, ToMain());
        dlg.show();
        ASSERT_EQ(boxes.seen.size(), 2u);
        EXPECT_TRUE(boxes.seen[0].text.contains(QStringLiteral("Failed!")));
        EXPECT_EQ(boxes.seen[1].text, kFound);
        EXPECT_FALSE(dlg.LinkUp());
        Child<QPushButton>(dlg, "UploadDataButton")->click();
        ASSERT_EQ(boxes.seen.size(), 3u);
        EXPECT_EQ(boxes.seen[2].text, kNoLink);
        EXPECT_EQ(boxes.seen[2].pos, 0);
        EXPECT_TRUE(boxes.seen[2].refresh && boxes.seen[2].upload && boxes.seen[2].cancel);
        ExpectAllOn(dlg);
        ExpectEmptyBar(dlg);
        EXPECT_FALSE(dlg.Uploading());
    }

    // A second request while one is under way: code 4, and the first goes on.
    const vark::RecordBlock three = Generated(3, 6);
    auto sim = StartSim(three, {"--rate", "1000"}, "busy.vku");
    boxes.seen.clear();
    vark::UploadDialog dlg(&main, ToMain());
    dlg.show();
    Child<QPushButton>(dlg, "UploadDataButton")->click();
    dlg.OnUploadData();  // the button is off; the request itself is refused
    ASSERT_EQ(boxes.Count(kBusy), 1);
    EXPECT_EQ(boxes.Last(kBusy)->pos, 0);
    ASSERT_TRUE(boxes.WaitFor(kSuccess));
    EXPECT_EQ(std::memcmp(main.Block().data(), three.data(), vark::kBlockSize), 0);
    EXPECT_EQ(sim->log().find("request 2"), std::string::npos);
}

TEST_F(UploadDialog, CloseBoxMidTransferStopsTheLinkAndKeepsTheBlock) {
    auto sim = StartSim(Generated(20, 7), {"--rate", "1500"}, "twenty.vku");
    const vark::RecordBlock before = vark::SampleBlock();
    LoadMain(before);
    auto dlg = std::make_unique<vark::UploadDialog>(&main, ToMain());
    dlg->show();
    Child<QPushButton>(*dlg, "UploadDataButton")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->ProgressPos() >= 20; }, 5000));

    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(dlg->close());
    // The link stops as soon as its worker has ended, then the close box's
    // own 800 ms pause follows: well under 1.6 s, never a hang.
    EXPECT_GE(clock.elapsed(), 800);
    EXPECT_LT(clock.elapsed(), 1400);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_FALSE(dlg->LinkUp());
    dlg.reset();
    EXPECT_LT(clock.elapsed(), 3000);

    // Nothing of the dropped upload turns up later.
    QTest::qWait(300);
    EXPECT_EQ(boxes.Count(kSuccess), 0);
    EXPECT_EQ(boxes.Count(kTimeout), 0);
    EXPECT_EQ(std::memcmp(main.Block().data(), before.data(), vark::kBlockSize), 0);
}

TEST_F(UploadDialog, EnterPressesTheFocusedButtonEscapeEndsAtOnce) {
    auto sim = StartSim(Generated(20, 8), {"--rate", "1500"}, "esc.vku");
    const vark::RecordBlock before = vark::SampleBlock();
    LoadMain(before);
    auto dlg = std::make_unique<vark::UploadDialog>(&main, ToMain());
    dlg->show();
    const std::size_t seen = boxes.seen.size();

    // Enter on a focused button presses it: Refresh Dev looks again.
    QTest::keyClick(Child<QPushButton>(*dlg, "RefreshDevButton"), Qt::Key_Return);
    ASSERT_EQ(boxes.seen.size(), seen + 1);
    EXPECT_EQ(boxes.seen.back().text, kFound);
    // Enter that reaches the dialog itself is its OK action: nothing.
    QTest::keyClick(dlg.get(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(boxes.seen.size(), seen + 1);
    EXPECT_TRUE(dlg->isVisible());
    dlg->accept();
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_FALSE(Child<QPushButton>(*dlg, "UploadDataButton")->isDefault());

    QTest::keyClick(Child<QPushButton>(*dlg, "UploadDataButton"), Qt::Key_Enter,
                    Qt::KeypadModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->ProgressPos() >= 20; }, 5000));
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    EXPECT_LT(clock.elapsed(), 300);  // no pause: the link stops with the dialog
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    QTest::qWait(200);  // a notification still on its way is dropped
    dlg.reset();
    QTest::qWait(200);
    EXPECT_EQ(boxes.Count(kSuccess), 0);
    EXPECT_EQ(std::memcmp(main.Block().data(), before.data(), vark::kBlockSize), 0);
}

TEST_F(UploadDialog, SecondShorterUploadLeavesTheFirstUploadsSlots) {
    const vark::RecordBlock ten = Generated(10, 9);
    const vark::RecordBlock three = Generated(3, 10);
    auto simTen = StartSim(ten, {"--fast"}, "ten.vku");
    vark::UploadDialog dlg(&main, ToMain());
    dlg.show();
    Child<QPushButton>(dlg, "UploadDataButton")->click();
    ASSERT_TRUE(boxes.WaitFor(kSuccess));
    EXPECT_EQ(main.RowCount(), static_cast<int>(vark::PinMapTable(ten).size()));

    auto simThree = StartSim(three, {"--fast"}, "three.vku");
    Child<QPushButton>(dlg, "RefreshDevButton")->click();
    Child<QPushButton>(dlg, "UploadDataButton")->click();
    ASSERT_TRUE(boxes.WaitFor(kSuccess, 2));

    const vark::RecordBlock& got = main.Block();
    EXPECT_EQ(got.count, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(SameSlot(got.slots[i], three.slots[i])) << "slot " << i;
    }
    for (int i = 3; i < 10; ++i) {
        EXPECT_TRUE(SameSlot(got.slots[i], ten.slots[i])) << "slot " << i;
    }
    EXPECT_EQ(main.RowCount(), static_cast<int>(vark::PinMapTable(three).size()));
}

TEST_F(UploadDialog, PortNamedInTheEnvironmentIsTheTester) {
    const vark::RecordBlock two = Generated(2, 12);
    auto sim = StartSim(two, {"--fast"}, "env.vku");
    vark::UploadDialog::SetDiscoveryOverride({});
    const QByteArray saved = qgetenv(vark::kPortEnvironment);
    qputenv(vark::kPortEnvironment, QByteArray::fromStdString(sim->device()));
    vark::UploadDialog dlg(&main, ToMain());
    if (saved.isEmpty()) {
        qunsetenv(vark::kPortEnvironment);
    } else {
        qputenv(vark::kPortEnvironment, saved);
    }
    dlg.show();
    EXPECT_EQ(boxes.Texts(), QStringList{kFound});
    EXPECT_EQ(dlg.DeviceText(), QString::fromStdString("Kelvor VARK-u  Port:" + sim->device()));
    Child<QPushButton>(dlg, "UploadDataButton")->click();
    ASSERT_TRUE(boxes.WaitFor(kSuccess));
    EXPECT_EQ(std::memcmp(main.Block().data(), two.data(), vark::kBlockSize), 0);
}

TEST_F(UploadDialog, LongDevicePathConnectsAndItsCaptionIsElidedWithATooltip) {
    // Longer than a registry value may be; the device does not exist here.
    const std::string port =
        "/nonexistent/serial/by-id/"
        "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0";
    vark::UploadDialog::SetDiscoveryOverride({});
    const QByteArray saved = qgetenv(vark::kPortEnvironment);
    qputenv(vark::kPortEnvironment, QByteArray::fromStdString(port));
    main.show();
    vark::UploadDialog dlg(&main, ToMain());
    qputenv(vark::kPortEnvironment, saved);
    if (saved.isEmpty()) {
        qunsetenv(vark::kPortEnvironment);
    }
    dlg.show();

    // Found: the port's own open failure, then the connection box.
    const QStringList texts = boxes.Texts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].contains(QString::fromStdString("Open " + port + " Failed!")));
    EXPECT_EQ(texts[1], kFound);

    const QString caption = QString::fromStdString("Kelvor VARK-u  Port:" + port);
    EXPECT_EQ(dlg.DeviceText(), caption);
    const QString shown = Child<QLabel>(dlg, "DeviceText")->text();
    EXPECT_NE(shown, caption);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Kelvor VARK-u  Port:/"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("port0"))) << shown.toStdString();
    EXPECT_LE(QFontMetrics(Child<QLabel>(dlg, "DeviceText")->font()).horizontalAdvance(shown),
              Child<QLabel>(dlg, "DeviceText")->width());
    EXPECT_EQ(Child<QLabel>(dlg, "DeviceText")->toolTip(), caption);

    // A short name is shown whole, without a tooltip.
    vark::UploadDialog::SetDiscoveryOverride([] { return std::vector{Tester("/dev/ttyUSB10")}; });
    vark::UploadDialog again(&main, ToMain());
    again.show();
    EXPECT_EQ(Child<QLabel>(again, "DeviceText")->text(),
              QStringLiteral("Kelvor VARK-u  Port:/dev/ttyUSB10"));
    EXPECT_TRUE(Child<QLabel>(again, "DeviceText")->toolTip().isEmpty());
    vark::UploadDialog::SetDiscoveryOverride({});
}

TEST_F(UploadDialog, BoxesBeforeTheDialogIsShownBelongToTheVisibleMainWindow) {
    vark::UploadDialog::SetDiscoveryOverride([] { return std::vector<vark::BridgePort>{}; });
    std::vector<const QWidget*> parents;
    const auto previous = vark::SetMessageInterceptor([&](QWidget* parent, const QString&) {
        parents.push_back(parent);
        return 0x400;
    });
    main.show();
    const QWidget* dialog = nullptr;
    {
        vark::UploadDialog dlg(&main, ToMain());
        dialog = &dlg;
        dlg.show();  // set-up's box: the dialog is not on screen yet
        Child<QPushButton>(dlg, "RefreshDevButton")->click();  // now it is: the box is the dialog's
    }
    vark::SetMessageInterceptor(previous);
    vark::UploadDialog::SetDiscoveryOverride({});
    ASSERT_EQ(parents.size(), 2u);
    EXPECT_EQ(parents[0], &main);
    EXPECT_NE(parents[1], &main);
    EXPECT_EQ(parents[1], dialog);
}

TEST_F(UploadDialog, MainWindowUploadCommandRunsTheDialog) {
    const vark::RecordBlock three = Generated(3, 11);
    auto sim = StartSim(three, {"--fast"}, "cmd.vku");
    // Cancel once the success box has been closed and the buttons are on again.
    boxes.onBox = [](const Box& box) {
        if (box.text == kSuccess) {
            QTimer::singleShot(0, [] {
                auto* dlg = qobject_cast<vark::UploadDialog*>(QApplication::activeModalWidget());
                ASSERT_NE(dlg, nullptr);
                Child<QPushButton>(*dlg, "CancelButton")->click();
            });
        }
    };
    bool started = false;
    vark::test::WhenModal<vark::UploadDialog>([&](vark::UploadDialog* dlg) {
        ASSERT_NE(dlg, nullptr);
        started = true;
        Child<QPushButton>(*dlg, "UploadDataButton")->click();
    });
    main.Upload();
    EXPECT_TRUE(started);
    EXPECT_EQ(boxes.Texts(), (QStringList{kFound, kSuccess}));
    EXPECT_EQ(boxes.Last(kSuccess)->rows, 3) << "the list is refreshed before the success box";
    EXPECT_EQ(std::memcmp(main.Block().data(), three.data(), vark::kBlockSize), 0);
    EXPECT_EQ(main.RowCount(), static_cast<int>(vark::PinMapTable(three).size()));
    EXPECT_EQ(main.findChildren<vark::UploadDialog*>().size(), 0);
}

}  // namespace
