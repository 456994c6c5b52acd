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

#include "app/comm_dlg.h"
#include "app/link_texts.h"
#include "app/message_box.h"
#include "app/vark_dlg.h"
#include "app_test_support.h"
#include "records/pin_map.h"
#include "records/record_file.h"
#include "records/sample_records.h"
#include "tests/support/sim_process.h"

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
    explicit Boxes(CVarkDlg& main) {
        previous_ =
            vark::SetMessageInterceptor([this, &main](QWidget* parent, const QString& text) {
                Box box;
                box.text = text;
                box.rows = main.RowCount();
                if (auto* dlg = qobject_cast<CCommDlg*>(parent)) {
                    box.dialogVisible = dlg->isVisible();
                    box.caption = dlg->DeviceText();
                    box.pos = dlg->ProgressPos();
                    box.refresh = dlg->m_pRefreshDev->isEnabled();
                    box.upload = dlg->m_pUploadData->isEnabled();
                    box.cancel = dlg->m_pCancel->isEnabled();
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
        CCommDlg::SetDiscoveryOverride([this] { return devices; });
    }
    void TearDown() override { CCommDlg::SetDiscoveryOverride({}); }

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
    CCommDlg::ReceivedHandler ToMain() {
        return [this](const vark::RecordBlock& received) { main.SetBlock(received); };
    }

    static void ExpectAllOn(const CCommDlg& dlg) {
        EXPECT_TRUE(dlg.m_pRefreshDev->isEnabled());
        EXPECT_TRUE(dlg.m_pUploadData->isEnabled());
        EXPECT_TRUE(dlg.m_pCancel->isEnabled());
    }
    static void ExpectEmptyBar(const CCommDlg& dlg) {
        EXPECT_EQ(dlg.ProgressPos(), 0);
        EXPECT_LT(dlg.m_pProgress->value(), dlg.m_pProgress->minimum());
    }

    vark::test::TempDir dir;
    std::vector<vark::BridgePort> devices;
    CVarkDlg main;
    Boxes boxes{main};
};

TEST_F(UploadDialog, NoDeviceIsReportedBeforeTheDialogShows) {
    UseDevice("");
    CCommDlg dlg(&main, ToMain());
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Upload Data"));
    EXPECT_TRUE(boxes.seen.empty());  // construction makes no attempt
    dlg.show();

    ASSERT_EQ(boxes.Texts(), QStringList{kNotFound});
    EXPECT_FALSE(boxes.seen[0].dialogVisible);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.DeviceText(), QStringLiteral("No Device"));
    EXPECT_TRUE(dlg.m_pRefreshDev->isEnabled());
    EXPECT_FALSE(dlg.m_pUploadData->isEnabled());
    EXPECT_TRUE(dlg.m_pCancel->isEnabled());
    EXPECT_FALSE(dlg.Port().LinkUp());
    EXPECT_EQ(dlg.m_pProgress->minimum(), 1);
    EXPECT_EQ(dlg.m_pProgress->maximum(), 200);
    ExpectEmptyBar(dlg);
    EXPECT_EQ(dlg.focusWidget(), dlg.m_pRefreshDev);
    for (QPushButton* b : {dlg.m_pRefreshDev, dlg.m_pUploadData, dlg.m_pCancel}) {
        EXPECT_FALSE(b->isDefault()) << b->text().toStdString();
        EXPECT_FALSE(b->autoDefault()) << b->text().toStdString();
    }
    // The caption sits inside the box, the bar below it, the buttons to the right.
    EXPECT_TRUE(dlg.m_pGroup->geometry().contains(dlg.m_pDeviceText->geometry()));
    EXPECT_GT(dlg.m_pProgress->y(), dlg.m_pGroup->geometry().bottom());
    EXPECT_GT(dlg.m_pRefreshDev->x(), dlg.m_pGroup->geometry().right());
}

TEST_F(UploadDialog, RealConnectionBoxComesBeforeTheDialog) {
    UseDevice("");
    const vark::MessageInterceptor saved = vark::SetMessageInterceptor(nullptr);
    CCommDlg dlg(&main, ToMain());
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
    CCommDlg dlg(&main, ToMain());
    dlg.show();
    dlg.OnProgress(5);
    EXPECT_EQ(dlg.ProgressPos(), 50);
    EXPECT_EQ(dlg.m_pProgress->value(), 50);
    for (int v : {0, 1, 21, -3}) {
        dlg.OnProgress(v);
        EXPECT_EQ(dlg.ProgressPos(), 50) << v;
    }
    dlg.OnProgress(2);
    EXPECT_EQ(dlg.ProgressPos(), 20);
    dlg.OnProgress(20);
    EXPECT_EQ(dlg.ProgressPos(), 200);
    EXPECT_EQ(dlg.m_pProgress->value(), 200);
}

TEST_F(UploadDialog, CaptionChangesOnlyAfterTheConnectionBox) {
    auto first = StartSim(Generated(2, 1), {"--fast"}, "a.vku");
    CCommDlg dlg(&main, ToMain());
    dlg.show();
    ASSERT_EQ(boxes.Texts(), QStringList{kFound});
    EXPECT_FALSE(boxes.seen[0].dialogVisible);
    EXPECT_EQ(boxes.seen[0].caption, QStringLiteral("No Device"));
    const QString firstCaption = QString::fromStdString("Kelvor VARK-u  Port:" + first->device());
    EXPECT_EQ(dlg.DeviceText(), firstCaption);
    ExpectAllOn(dlg);
    EXPECT_TRUE(dlg.Port().LinkUp());

    // Refresh Dev while connected: the link is stopped and discovery runs again.
    auto second = StartSim(Generated(2, 2), {"--fast"}, "b.vku");
    dlg.m_pRefreshDev->click();
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[1].text, kFound);
    EXPECT_EQ(boxes.seen[1].caption, firstCaption);
    EXPECT_EQ(dlg.DeviceText(), QString::fromStdString("Kelvor VARK-u  Port:" + second->device()));

    // The tester has gone: the link ends, Upload Data is off.
    UseDevice("");
    dlg.m_pRefreshDev->click();
    ASSERT_EQ(boxes.seen.size(), 3u);
    EXPECT_EQ(boxes.seen[2].text, kNotFound);
    EXPECT_EQ(boxes.seen[2].caption.left(20), QStringLiteral("Kelvor VARK-u  Port:"));
    EXPECT_EQ(dlg.DeviceText(), QStringLiteral("No Device"));
    EXPECT_FALSE(dlg.m_pUploadData->isEnabled());
    EXPECT_FALSE(dlg.Port().LinkUp());
}

TEST_F(UploadDialog, ThreeRecordsReachTheListBeforeTheSuccessBox) {
    const vark::RecordBlock three = Generated(3, 3);
    // Paced so the reply comes in several reads.
    auto sim = StartSim(three, {"--rate", "1500"}, "three.vku");
    LoadMain(vark::SampleBlock());
    CCommDlg dlg(&main, ToMain());
    dlg.show();
    std::vector<int> positions;
    QObject::connect(&dlg, &CCommDlg::progressPosChanged, [&](int p) { positions.push_back(p); });

    dlg.m_pUploadData->click();
    EXPECT_FALSE(dlg.m_pRefreshDev->isEnabled());
    EXPECT_FALSE(dlg.m_pUploadData->isEnabled());
    EXPECT_FALSE(dlg.m_pCancel->isEnabled());
    EXPECT_EQ(dlg.ProgressPos(), 10);
    EXPECT_EQ(dlg.m_pProgress->value(), 10);
    EXPECT_TRUE(dlg.Port().Busy());

    ASSERT_TRUE(boxes.WaitFor(kSuccess));
    const Box& at = *boxes.Last(kSuccess);
    EXPECT_EQ(at.rows, 3);  // the list behind the dialog already shows them
    EXPECT_EQ(at.pos, 200);
    EXPECT_FALSE(at.refresh || at.upload || at.cancel);

    ExpectAllOn(dlg);
    ExpectEmptyBar(dlg);
    EXPECT_FALSE(dlg.Port().Busy());
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
    CCommDlg dlg(&main, ToMain());
    dlg.show();
    dlg.m_pUploadData->click();
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
    CCommDlg dlg(&main, ToMain());
    dlg.show();
    dlg.m_pUploadData->click();
    const QString receiveErr = QStringLiteral("\n    Device Receive Err!    \n");
    ASSERT_TRUE(boxes.WaitFor(receiveErr));
    EXPECT_EQ(boxes.Last(receiveErr)->pos, 0);
    ExpectAllOn(dlg);
    EXPECT_FALSE(dlg.Port().Busy());
    EXPECT_EQ(boxes.Count(kSuccess), 0);
    EXPECT_EQ(std::memcmp(main.Block().data(), before.data(), vark::kBlockSize), 0);
}

TEST_F(UploadDialog, StalledReplyTimesOutAndTheNextUploadSucceeds) {
    const vark::RecordBlock five = Generated(5, 5);
    auto sim = StartSim(five, {"--fast", "--stall-after", "600"}, "five.vku");
    const vark::RecordBlock before = vark::SampleBlock();
    LoadMain(before);
    const int rowsBefore = main.RowCount();
    CCommDlg dlg(&main, ToMain());
    dlg.show();
    dlg.m_pUploadData->click();

    ASSERT_TRUE(boxes.WaitFor(kTimeout, 1, 6000));
    const Box& at = *boxes.Last(kTimeout);
    EXPECT_TRUE(at.refresh && at.upload && at.cancel);  // enabled before the box
    EXPECT_EQ(at.pos, 0);
    EXPECT_FALSE(dlg.Port().Busy());
    EXPECT_EQ(std::memcmp(main.Block().data(), before.data(), vark::kBlockSize), 0);
    EXPECT_EQ(main.RowCount(), rowsBefore);
    EXPECT_EQ(boxes.Count(kSuccess), 0);

    // The link still runs: a second attempt is accepted and completes.
    dlg.m_pUploadData->click();
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
        CCommDlg dlg(&main, ToMain());
        dlg.show();
        ASSERT_EQ(boxes.seen.size(), 2u);
        EXPECT_TRUE(boxes.seen[0].text.contains(QStringLiteral("Failed!")));
        EXPECT_EQ(boxes.seen[1].text, kFound);
        EXPECT_FALSE(dlg.Port().LinkUp());
        dlg.m_pUploadData->click();
        ASSERT_EQ(boxes.seen.size(), 3u);
        EXPECT_EQ(boxes.seen[2].text, kNoLink);
        EXPECT_EQ(boxes.seen[2].pos, 0);
        EXPECT_TRUE(boxes.seen[2].refresh && boxes.seen[2].upload && boxes.seen[2].cancel);
        ExpectAllOn(dlg);
        ExpectEmptyBar(dlg);
        EXPECT_FALSE(dlg.Port().Busy());
    }

    // A second request while one is under way: code 4, and the first goes on.
    const vark::RecordBlock three = Generated(3, 6);
    auto sim = StartSim(three, {"--rate", "1000"}, "busy.vku");
    boxes.seen.clear();
    CCommDlg dlg(&main, ToMain());
    dlg.show();
    dlg.m_pUploadData->click();
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
    auto dlg = std::make_unique<CCommDlg>(&main, ToMain());
    dlg->show();
    dlg->m_pUploadData->click();
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
    EXPECT_FALSE(dlg->Port().LinkUp());
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
    auto dlg = std::make_unique<CCommDlg>(&main, ToMain());
    dlg->show();
    const std::size_t seen = boxes.seen.size();

    // Enter on a focused button presses it: Refresh Dev looks again.
    QTest::keyClick(dlg->m_pRefreshDev, Qt::Key_Return);
    ASSERT_EQ(boxes.seen.size(), seen + 1);
    EXPECT_EQ(boxes.seen.back().text, kFound);
    // Enter that reaches the dialog itself is its OK action: nothing.
    QTest::keyClick(dlg.get(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(boxes.seen.size(), seen + 1);
    EXPECT_TRUE(dlg->isVisible());
    dlg->accept();
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_FALSE(dlg->m_pUploadData->isDefault());

    QTest::keyClick(dlg->m_pUploadData, Qt::Key_Enter, Qt::KeypadModifier);
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
    CCommDlg dlg(&main, ToMain());
    dlg.show();
    dlg.m_pUploadData->click();
    ASSERT_TRUE(boxes.WaitFor(kSuccess));
    EXPECT_EQ(main.RowCount(), static_cast<int>(vark::PinMapTable(ten).size()));

    auto simThree = StartSim(three, {"--fast"}, "three.vku");
    dlg.m_pRefreshDev->click();
    dlg.m_pUploadData->click();
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
    CCommDlg::SetDiscoveryOverride({});
    const QByteArray saved = qgetenv(vark::kPortEnvironment);
    qputenv(vark::kPortEnvironment, QByteArray::fromStdString(sim->device()));
    CCommDlg dlg(&main, ToMain());
    if (saved.isEmpty()) {
        qunsetenv(vark::kPortEnvironment);
    } else {
        qputenv(vark::kPortEnvironment, saved);
    }
    dlg.show();
    EXPECT_EQ(boxes.Texts(), QStringList{kFound});
    EXPECT_EQ(dlg.DeviceText(), QString::fromStdString("Kelvor VARK-u  Port:" + sim->device()));
    dlg.m_pUploadData->click();
    ASSERT_TRUE(boxes.WaitFor(kSuccess));
    EXPECT_EQ(std::memcmp(main.Block().data(), two.data(), vark::kBlockSize), 0);
}

TEST_F(UploadDialog, LongDevicePathConnectsAndItsCaptionIsElidedWithATooltip) {
    // Longer than a registry value may be; the device does not exist here.
    const std::string port =
        "/nonexistent/serial/by-id/"
        "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0";
    CCommDlg::SetDiscoveryOverride({});
    const QByteArray saved = qgetenv(vark::kPortEnvironment);
    qputenv(vark::kPortEnvironment, QByteArray::fromStdString(port));
    main.show();
    CCommDlg dlg(&main, ToMain());
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
    const QString shown = dlg.m_pDeviceText->text();
    EXPECT_NE(shown, caption);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Kelvor VARK-u  Port:/"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("port0"))) << shown.toStdString();
    EXPECT_LE(QFontMetrics(dlg.m_pDeviceText->font()).horizontalAdvance(shown),
              dlg.m_pDeviceText->width());
    EXPECT_EQ(dlg.m_pDeviceText->toolTip(), caption);

    // A short name is shown whole, without a tooltip.
    CCommDlg::SetDiscoveryOverride([] { return std::vector{Tester("/dev/ttyUSB10")}; });
    CCommDlg again(&main, ToMain());
    again.show();
    EXPECT_EQ(again.m_pDeviceText->text(), QStringLiteral("Kelvor VARK-u  Port:/dev/ttyUSB10"));
    EXPECT_TRUE(again.m_pDeviceText->toolTip().isEmpty());
    CCommDlg::SetDiscoveryOverride({});
}

TEST_F(UploadDialog, BoxesBeforeTheDialogIsShownBelongToTheVisibleMainWindow) {
    CCommDlg::SetDiscoveryOverride([] { return std::vector<vark::BridgePort>{}; });
    std::vector<const QWidget*> parents;
    const auto previous = vark::SetMessageInterceptor([&](QWidget* parent, const QString&) {
        parents.push_back(parent);
        return 0x400;
    });
    main.show();
    const QWidget* dialog = nullptr;
    {
        CCommDlg dlg(&main, ToMain());
        dialog = &dlg;
        dlg.show();                  // set-up's box: the dialog is not on screen yet
        dlg.m_pRefreshDev->click();  // now it is: the box is the dialog's
    }
    vark::SetMessageInterceptor(previous);
    CCommDlg::SetDiscoveryOverride({});
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
                auto* dlg = qobject_cast<CCommDlg*>(QApplication::activeModalWidget());
                ASSERT_NE(dlg, nullptr);
                dlg->m_pCancel->click();
            });
        }
    };
    bool started = false;
    vark::test::WhenModal<CCommDlg>([&](CCommDlg* dlg) {
        ASSERT_NE(dlg, nullptr);
        started = true;
        dlg->m_pUploadData->click();
    });
    main.Upload();
    EXPECT_TRUE(started);
    EXPECT_EQ(boxes.Texts(), (QStringList{kFound, kSuccess}));
    EXPECT_EQ(boxes.Last(kSuccess)->rows, 3) << "the list is refreshed before the success box";
    EXPECT_EQ(std::memcmp(main.Block().data(), three.data(), vark::kBlockSize), 0);
    EXPECT_EQ(main.RowCount(), static_cast<int>(vark::PinMapTable(three).size()));
    EXPECT_EQ(main.findChildren<CCommDlg*>().size(), 0);
}

}  // namespace
