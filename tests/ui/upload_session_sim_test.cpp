// The Upload dialog's rules over the real link to the tester simulator on a
// pseudo-terminal: a whole upload, and a reply that stalls.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "records/record_file.h"
#include "records/sample_records.h"
#include "testing/sim_process.h"
#include "ui/upload_session.h"
#include "upload_view_recorder.h"

namespace vark {
namespace {

using test::SimProcess;
using test::UploadViewRecorder;

const std::string kSuccess = "\n      Receive success !     \n";
const std::string kTimeout = "\n  Receive timeout, Please refresh device!  \n";

RecordBlock Hundred() {
    RecordBlock b;
    ClearBlock(b);
    b.count = 100;
    for (int i = 0; i < 100; ++i) {
        b.slots[i] = RecordBuilder(2 + i % 39).Straight().Grounds().Build();
    }
    return b;
}

class UploadSessionSim : public ::testing::Test {
  protected:
    std::unique_ptr<SimProcess> Start(const RecordBlock& block, std::vector<std::string> args) {
        const auto file = dir.path() / "sim.vku";
        EXPECT_EQ(WriteRecordFile(file, block), FileStatus::Ok);
        args.insert(args.begin(), {"--file", file.string()});
        auto sim = std::make_unique<SimProcess>(args);
        EXPECT_FALSE(sim->device().empty());
        return sim;
    }
    UploadSources Named(const SimProcess& sim) {
        UploadSources s;
        s.named = PortFromName(sim.device());
        return s;
    }
    test::TempDir dir;
    UploadViewRecorder view;
};

TEST_F(UploadSessionSim, HundredRecordsWithProgressThenTheSuccessBox) {
    const RecordBlock hundred = Hundred();
    auto sim = Start(hundred, {"--fast"});
    RecordBlock got{};
    UploadSession session(
        view, [&](const RecordBlock& b) { got = b; }, Named(*sim));
    session.SetUp();
    ASSERT_TRUE(session.LinkUp());
    view.positions.clear();
    session.UploadData();
    EXPECT_EQ(view.buttons, (UploadButtons{false, false, false}));
    ASSERT_TRUE(view.PumpUntil([&] { return view.MessagesSaying(kSuccess) == 1; }));
    EXPECT_EQ(std::memcmp(&got, &hundred, kBlockSize), 0);
    EXPECT_EQ(view.boxes.back().position, 200);
    // 10 first; then rising tens up to 190; 200 at the end and empty again.
    ASSERT_GE(view.positions.size(), 4u);
    EXPECT_EQ(view.positions.front(), 10);
    EXPECT_EQ(view.positions[view.positions.size() - 2], 200);
    EXPECT_EQ(view.positions.back(), 0);
    for (std::size_t i = 1; i + 2 < view.positions.size(); ++i) {
        EXPECT_EQ(view.positions[i] % 10, 0);
        EXPECT_GE(view.positions[i], std::max(20, view.positions[i - 1]));
        EXPECT_LE(view.positions[i], 190);
    }
    EXPECT_EQ(view.buttons, (UploadButtons{true, true, true}));
    EXPECT_FALSE(session.Uploading());
}

TEST_F(UploadSessionSim, StalledReplyTimesOutAndTheNextUploadIsTaken) {
    const RecordBlock five = ProductionRunBlock();
    auto sim = Start(five, {"--fast", "--stall-after", "600"});
    int handOvers = 0;
    UploadSession session(
        view, [&](const RecordBlock&) { ++handOvers; }, Named(*sim));
    session.SetUp();
    session.UploadData();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(view.PumpUntil([&] { return view.MessagesSaying(kTimeout) == 1; }, 8000));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2900));
    EXPECT_EQ(view.boxes.back().buttons, (UploadButtons{true, true, true}));
    EXPECT_EQ(view.boxes.back().position, 0);
    EXPECT_EQ(handOvers, 0);

    session.UploadData();
    ASSERT_TRUE(view.PumpUntil([&] { return view.MessagesSaying(kSuccess) == 1; }));
    EXPECT_EQ(handOvers, 1);
}

// The upload is kept after the owner has it and before the success box,
// with where and when it came from; what keeping it says comes after the box.
TEST_F(UploadSessionSim, AnUploadIsKeptBeforeTheSuccessBoxAndItsTroubleSaidAfter) {
    auto sim = Start(ProductionRunBlock(), {"--fast"});
    std::vector<std::string> order;
    UploadFacts facts;
    UploadSources sources = Named(*sim);
    // A port named by hand: the serial string is the bridge's the system lists there.
    BridgePort bridge = *sources.named;
    bridge.serial = "VARK 0099";
    sources.lister = [bridge] { return std::vector<BridgePort>{bridge}; };
    UploadSession session(
        view, [&](const RecordBlock&) { order.push_back("received"); }, sources);
    session.SetKeepHandler([&](const RecordBlock& block, const UploadFacts& f) {
        order.push_back("kept " + std::to_string(block.count) + " after " +
                        std::to_string(view.MessagesSaying(kSuccess)) + " boxes");
        facts = f;
        return std::string("not kept");
    });
    session.SetUp();
    const auto before = std::chrono::system_clock::now();
    session.UploadData();
    ASSERT_TRUE(view.PumpUntil([&] { return view.MessagesSaying("not kept") == 1; }));
    EXPECT_EQ(order, (std::vector<std::string>{"received", "kept 20 after 0 boxes"}));
    ASSERT_GE(view.boxes.size(), 2u);
    EXPECT_EQ(view.boxes[view.boxes.size() - 2].text, kSuccess);
    EXPECT_EQ(view.boxes.back().buttons, (UploadButtons{true, true, true}));
    EXPECT_EQ(facts.port, sim->device());
    EXPECT_EQ(facts.testerSerial, "VARK 0099");
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(before.time_since_epoch()).count();
    EXPECT_GE(facts.startedMs, ms);
    EXPECT_GE(facts.endedMs, facts.startedMs);

    // Kept without trouble: nothing after the box.
    session.SetKeepHandler([&](const RecordBlock&, const UploadFacts&) {
        order.push_back("kept");
        return std::string();
    });
    const std::size_t boxes = view.boxes.size();
    session.UploadData();
    ASSERT_TRUE(view.PumpUntil([&] { return view.MessagesSaying(kSuccess) == 2; }));
    EXPECT_EQ(view.boxes.size(), boxes + 1);
    EXPECT_EQ(order.back(), "kept");
}

TEST_F(UploadSessionSim, CloseBoxStopsTheLinkAndPauses) {
    auto sim = Start(Hundred(), {"--rate", "3000"});
    int handOvers = 0;
    UploadSession session(
        view, [&](const RecordBlock&) { ++handOvers; }, Named(*sim));
    session.SetUp();
    session.UploadData();
    ASSERT_TRUE(view.PumpUntil([&] { return view.position >= 20; }));
    const auto start = std::chrono::steady_clock::now();
    session.Close();
    session.Ended();
    EXPECT_GE(std::chrono::steady_clock::now() - start, kStopPause);
    EXPECT_FALSE(session.LinkUp());
    view.PumpUntil([] { return false; }, 300);
    EXPECT_EQ(handOvers, 0);
    EXPECT_EQ(view.MessagesSaying(kSuccess), 0);
}

}  // namespace
}  // namespace vark
