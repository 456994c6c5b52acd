// The Upload dialog's rules on the real link, with ports that are not there
// and outcomes as the link reports them; the same on every platform.
#include "ui/upload_session.h"

#include <gtest/gtest.h>

#include <cstring>

#include "records/sample_records.h"
#include "ui/link_texts.h"
#include "upload_view_recorder.h"

namespace vark {
namespace {

using test::UploadViewRecorder;

const std::string kFound = "\n    Device  connection is successful!    \n";
const std::string kNotFound = "\n    Device connection failed!    \n";
const std::string kSuccess = "\n      Receive success !     \n";
const std::string kTimeout = "\n  Receive timeout, Please refresh device!  \n";
const std::string kNoLink = "\n    Please Refresh Device!    \n";

constexpr UploadButtons kAllOn{true, true, true};
constexpr UploadButtons kNoDeviceButtons{true, false, true};
constexpr UploadButtons kAllOff{false, false, false};

// A tester's bridge on a port that names nothing on this system.
BridgePort MissingPort() {
#ifdef _WIN32
    BridgePort port = *PortFromName("COM200");
#else
    BridgePort port = *PortFromName("/nonexistent/ttyVARK");
#endif
    port.vendorId = kVendorSiliconBridge;
    port.productId = 0xEA60;
    return port;
}

UploadSources Lister(std::vector<BridgePort>* ports, bool follow = false) {
    UploadSources s;
    s.lister = [ports] { return *ports; };
    s.follow = follow;
    return s;
}

LinkOutcome Outcome(LinkOutcome::Kind kind, LinkOutcome::Fault fault = LinkOutcome::Fault::None) {
    LinkOutcome o;
    o.kind = kind;
    o.fault = fault;
    return o;
}

TEST(UploadSession, NoTesterIsToldBeforeTheCaptionAndUploadStaysOff) {
    std::vector<BridgePort> none;
    UploadViewRecorder view;
    UploadSession session(view, {}, Lister(&none));
    session.SetUp();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, kNotFound);
    EXPECT_EQ(view.boxes[0].position, 0);  // the bar is empty before the box
    EXPECT_EQ(view.buttons, kNoDeviceButtons);
    EXPECT_EQ(view.caption, "No Device");
    EXPECT_EQ(session.Caption(), "No Device");
    EXPECT_EQ(view.log.back(), "caption No Device");  // set after the box
    EXPECT_FALSE(session.LinkUp());
}

TEST(UploadSession, PortThatWillNotOpenConnectsInWordsAndUploadIsRefused) {
    std::vector<BridgePort> ports{MissingPort()};
    UploadViewRecorder view;
    UploadSession session(view, {}, Lister(&ports));
    session.SetUp();
    // The port's own failure, then the connection box, the old caption up
    // meanwhile; the caption names the port only once both are closed.
    ASSERT_EQ(view.boxes.size(), 2u);
    EXPECT_EQ(view.boxes[0].text.rfind("\n    Open ", 0), 0u) << view.boxes[0].text;
    EXPECT_EQ(view.boxes[1].text, kFound);
    EXPECT_EQ(view.boxes[1].caption, "No Device");
    EXPECT_EQ(view.caption, DeviceCaption(ports[0], SystemPortNaming()));
    EXPECT_EQ(view.buttons, kAllOn);
    EXPECT_FALSE(session.LinkUp());

    // Upload Data: everything off and the bar at 10, then the refusal brings
    // the buttons back and empties the bar before its box.
    view.log.clear();
    session.UploadData();
    const std::vector<std::string> expected = {"buttons ---", "progress 10", "progress 0",
                                               "buttons RUC", "message " + kNoLink};
    EXPECT_EQ(view.log, expected);
    EXPECT_EQ(view.boxes.back().buttons, kAllOn);

    // Refresh Dev finds nothing now: Upload Data goes off.
    ports.clear();
    session.RefreshDevice();
    EXPECT_EQ(view.boxes.back().text, kNotFound);
    EXPECT_EQ(view.boxes.back().caption, DeviceCaption(MissingPort(), SystemPortNaming()));
    EXPECT_EQ(view.caption, "No Device");
    EXPECT_EQ(view.buttons, kNoDeviceButtons);
}

TEST(UploadSession, OnlyProgressValuesTwoToTwentyMoveTheBar) {
    for (int v = -1; v <= 21; ++v) {
        EXPECT_EQ(ProgressPosition(v).has_value(), v >= 2 && v <= 20) << v;
    }
    EXPECT_EQ(ProgressPosition(2), 20);
    EXPECT_EQ(ProgressPosition(19), 190);
    EXPECT_EQ(ProgressPosition(20), 200);

    std::vector<BridgePort> none;
    UploadViewRecorder view;
    UploadSession session(view, {}, Lister(&none));
    session.SetUp();
    session.OnProgress(5);
    EXPECT_EQ(session.ProgressPos(), 50);
    session.OnProgress(1);
    session.OnProgress(0);
    session.OnProgress(21);
    EXPECT_EQ(session.ProgressPos(), 50);
    EXPECT_EQ(view.position, 50);
}

TEST(UploadSession, CompletedUploadReachesTheOwnerBeforeTheSuccessBox) {
    std::vector<BridgePort> none;
    UploadViewRecorder view;
    RecordBlock received = SampleBlock();
    RecordBlock handed{};
    int handOvers = 0;
    UploadSession session(
        view,
        [&](const RecordBlock& b) {
            handed = b;
            ++handOvers;
            EXPECT_TRUE(view.boxes.size() == 1u);  // only the connection box so far
        },
        Lister(&none));
    session.SetUp();
    view.ShowButtons(kAllOff);  // as during an upload
    LinkOutcome done = Outcome(LinkOutcome::Kind::Received);
    done.block = &received;
    session.OnFinished(done);
    ASSERT_EQ(handOvers, 1);
    EXPECT_EQ(std::memcmp(&handed, &received, kBlockSize), 0);
    ASSERT_EQ(view.boxes.back().text, kSuccess);
    EXPECT_EQ(view.boxes.back().position, 200);
    EXPECT_EQ(view.boxes.back().buttons, kAllOff);  // back only after the box
    EXPECT_EQ(view.position, 0);
    EXPECT_EQ(view.buttons, kAllOn);
}

TEST(UploadSession, FailedUploadsBringTheButtonsBackBeforeTheirBox) {
    std::vector<BridgePort> none;
    UploadViewRecorder view;
    int handOvers = 0;
    UploadSession session(
        view, [&](const RecordBlock&) { ++handOvers; }, Lister(&none));
    session.SetUp();
    struct Case {
        LinkOutcome outcome;
        std::string text;
    };
    for (const Case& c :
         {Case{Outcome(LinkOutcome::Kind::TimedOut), kTimeout},
          Case{Outcome(LinkOutcome::Kind::LineError, LinkOutcome::Fault::ImpossibleCount),
               "\n    Device Receive Err!    \n"},
          Case{Outcome(LinkOutcome::Kind::Cancelled), "\n    Upload cancelled!    \n"}}) {
        view.ShowButtons(kAllOff);
        view.ShowProgress(120);
        session.OnFinished(c.outcome);
        EXPECT_EQ(view.boxes.back().text, c.text);
        EXPECT_EQ(view.boxes.back().buttons, kAllOn);
        EXPECT_EQ(view.boxes.back().position, 0);
    }
    // Pulled out under the upload: No Device, Upload Data off, before the box.
    session.OnFinished(Outcome(LinkOutcome::Kind::LineError, LinkOutcome::Fault::Unplugged));
    EXPECT_EQ(view.boxes.back().text, "\n    Device disconnected during upload!    \n");
    EXPECT_EQ(view.boxes.back().buttons, kNoDeviceButtons);
    EXPECT_EQ(view.boxes.back().caption, "No Device");
    EXPECT_EQ(handOvers, 0);
}

TEST(UploadSession, AnEndedDialogDropsLateProgressAndOutcomes) {
    std::vector<BridgePort> none;
    UploadViewRecorder view;
    int handOvers = 0;
    UploadSession session(
        view, [&](const RecordBlock&) { ++handOvers; }, Lister(&none));
    session.SetUp();
    const std::size_t boxes = view.boxes.size();
    session.Ended();
    RecordBlock block = SampleBlock();
    LinkOutcome done = Outcome(LinkOutcome::Kind::Received);
    done.block = &block;
    session.OnProgress(7);
    session.OnFinished(done);
    EXPECT_EQ(handOvers, 0);
    EXPECT_EQ(view.boxes.size(), boxes);
    EXPECT_EQ(session.ProgressPos(), 0);
    // Shown again, it takes them again.
    session.Shown();
    session.OnProgress(7);
    EXPECT_EQ(session.ProgressPos(), 70);
}

TEST(UploadSession, FollowsATesterPluggedInAndPulledOut) {
    std::vector<BridgePort> ports;
    UploadViewRecorder view;
    UploadSession session(view, {}, Lister(&ports, true));
    // Before set-up the dialog does not act on the bridges.
    session.PortsChanged({});
    EXPECT_TRUE(view.boxes.empty());
    session.SetUp();
    ASSERT_EQ(view.boxes.size(), 1u);

    // Plugged in, but still being set up by the system: not opened yet.
    const BridgePort port = MissingPort();
    ports = {port};
    PortSnapshot settling;
    settling.ports = ports;
    settling.settling = {port.path};
    session.PortsChanged(settling);
    EXPECT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.caption, "No Device");

    // Settled: the dialog connects as Refresh Dev does.
    PortSnapshot settled;
    settled.ports = ports;
    session.PortsChanged(settled);
    ASSERT_EQ(view.boxes.size(), 3u);
    EXPECT_EQ(view.boxes[2].text, kFound);
    EXPECT_EQ(view.caption, DeviceCaption(port, SystemPortNaming()));
    EXPECT_EQ(view.buttons, kAllOn);

    // Pulled out: No Device without a box.
    ports.clear();
    session.PortsChanged({});
    EXPECT_EQ(view.boxes.size(), 3u);
    EXPECT_EQ(view.caption, "No Device");
    EXPECT_EQ(view.buttons, kNoDeviceButtons);
    EXPECT_EQ(view.position, 0);
}

TEST(UploadSession, BridgesChangingWhileABoxIsUpWaitForIt) {
    std::vector<BridgePort> ports;
    UploadViewRecorder view;
    UploadSession session(view, {}, Lister(&ports, true));
    const BridgePort port = MissingPort();
    PortSnapshot plugged;
    plugged.ports = {port};
    // The tester arrives while the "failed" box of set-up is up.
    view.onBox = [&](const UploadViewRecorder::Box& box) {
        if (box.text == kNotFound) {
            ports = {port};
            session.PortsChanged(plugged);
        }
    };
    session.SetUp();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.caption, "No Device");
    // Once the box is closed the dialog acts on it, through its own loop.
    ASSERT_TRUE(view.PumpUntil([&] { return view.boxes.size() == 3u; }));
    EXPECT_EQ(view.boxes[2].text, kFound);
    EXPECT_EQ(view.caption, DeviceCaption(port, SystemPortNaming()));
}

TEST(UploadSession, NamedPortIsTheTesterWhateverTheBridges) {
    std::vector<BridgePort> none;
    UploadViewRecorder view;
    UploadSources sources = Lister(&none, true);
    sources.named = MissingPort();
    UploadSession session(view, {}, sources);
    session.SetUp();
    ASSERT_EQ(view.boxes.size(), 2u);
    EXPECT_EQ(view.boxes[1].text, kFound);
    // Not followed: an empty bridge list does not take it away.
    session.PortsChanged({});
    EXPECT_EQ(view.caption, DeviceCaption(*sources.named, SystemPortNaming()));
    EXPECT_EQ(view.buttons, kAllOn);
}

}  // namespace
}  // namespace vark
