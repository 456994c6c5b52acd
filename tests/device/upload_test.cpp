// The real TesterLink against vark-tester-sim over a real pseudo-terminal.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <set>
#include <thread>

#include "device/serial_line_posix.h"
#include "device/tester_link.h"
#include "records/record_file.h"
#include "records/sample_records.h"
#include "testing/recording_owner.h"
#include "testing/sim_process.h"

namespace vark {
namespace {

using namespace std::chrono_literals;
using test::SimProcess;
using test::TempDir;
using Kind = LinkOutcome::Kind;
using Fault = LinkOutcome::Fault;

BridgePort NamedPort(const std::string& path) {
    BridgePort port;
    port.path = path;
    return port;
}

RecordBlock TestBlock(int n) {
    RecordBlock block;
    ClearBlock(block);
    block.count = static_cast<std::uint8_t>(n);
    for (int i = 0; i < n; ++i) {
        RecordBuilder b(1 + (i * 11) % 40);
        b.Straight().Reserved(static_cast<std::uint8_t>(0xA0 + i % 16));
        if (i % 2) {
            b.Grounds();
        }
        block.slots[i] = b.Build();
    }
    return block;
}

// A simulator answering with TestBlock(n), plus the extra options.
struct Bench {
    Bench(int n, std::vector<std::string> extra,
          std::unique_ptr<SerialLine> line = MakeSystemSerialLine())
        : expected(TestBlock(n)), link(std::move(line), SystemPortNaming()) {
        const auto file = dir.path() / "sim.vku";
        WriteRecordFile(file, expected);
        extra.insert(extra.begin(), {"--file", file.string()});
        sim = std::make_unique<SimProcess>(extra);
        link.SetOwner(&owner);
        link.UsePort(NamedPort(sim->device()));
    }
    bool Start() { return !link.StartLink().has_value(); }
    bool Upload(std::chrono::milliseconds limit = 20s) {
        owner.Forget();
        if (link.Request() != Refusal::None) {
            return false;
        }
        owner.WaitForOutcome(limit);
        return owner.Received();
    }

    TempDir dir;
    RecordBlock expected;
    std::unique_ptr<SimProcess> sim;
    // The owner outlives the link, whose destruction stops its worker.
    test::RecordingOwner owner;
    TesterLink link;
};

bool SameSlots(const RecordBlock& a, const RecordBlock& b, int from, int to) {
    return std::memcmp(a.slots + from, b.slots + from, kRecordSize * (to - from)) == 0;
}

class UploadSizes : public ::testing::TestWithParam<int> {};

TEST_P(UploadSizes, OnePieceArrivesWhole) {
    const int n = GetParam();
    Bench b(n, {"--fast"});
    ASSERT_FALSE(b.sim->device().empty());
    ASSERT_TRUE(b.Start());
    ASSERT_TRUE(b.Upload());
    const RecordBlock& got = b.owner.Block();
    EXPECT_EQ(got.count, n);
    EXPECT_TRUE(SameSlots(got, b.expected, 0, n));
    EXPECT_EQ(b.link.RecordCount(), n);
    EXPECT_FALSE(b.link.Busy());
    EXPECT_EQ(b.owner.Finishes(), 1);
    EXPECT_NE(b.sim->log().find("received 3 bytes: 2a 00 3a"), std::string::npos);
    if (n <= 2) {
        // A reply that fits one read completes in its first pass: no progress.
        EXPECT_TRUE(b.owner.ProgressValues().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Device, UploadSizes, ::testing::Values(0, 1, 2, 100));

TEST(Upload, FromTheTesterDiscoveryChose) {
    Bench b(4, {"--fast"});
    BridgePort other = NamedPort("/dev/null");
    other.vendorId = 0x0403;
    BridgePort tester = NamedPort(b.sim->device());
    tester.vendorId = 0x10C4;
    tester.tester = true;
    const TesterChoice found = ChooseTester({tester, other});
    ASSERT_TRUE(found.Found());
    b.link.UsePort(*found.port);
    EXPECT_EQ(b.link.Port().path, b.sim->device());
    ASSERT_TRUE(b.Start());
    ASSERT_TRUE(b.Upload());
    EXPECT_TRUE(SameSlots(b.owner.Block(), b.expected, 0, 3));
}

TEST(Upload, SmallChunksReportEveryPassForFewRecords) {
    // 3 records in 40-byte pieces, about 200 bytes per poll: several passes.
    // The tester pauses after the count byte and 40 bytes, so the first pass
    // that reads finds less than a record however late the worker polls.
    Bench b(3, {"--rate", "2000", "--chunk", "40", "--stall-after", "41", "--resume-after", "400"});
    ASSERT_TRUE(b.Start());
    ASSERT_TRUE(b.Upload());
    EXPECT_TRUE(SameSlots(b.owner.Block(), b.expected, 0, 2));
    const auto values = b.owner.ProgressValues();
    ASSERT_GE(values.size(), 2u);
    for (std::size_t i = 0; i < values.size(); ++i) {
        // 20 x k / 3 for k = 0, 1, 2: 0, 6, 13.
        EXPECT_TRUE(values[i] == 0 || values[i] == 6 || values[i] == 13) << values[i];
        if (i) {
            EXPECT_GE(values[i], values[i - 1]);
        }
    }
    EXPECT_EQ(values.front(), 0);
    // The pause of 400 ms is silence, but far from the time-out.
    EXPECT_EQ(b.owner.Count(Kind::TimedOut), 0);
}

TEST(Upload, OneRecordInPiecesReportsZeroUntilComplete) {
    Bench b(1, {"--rate", "1000", "--chunk", "30"});
    ASSERT_TRUE(b.Start());
    ASSERT_TRUE(b.Upload());
    const auto values = b.owner.ProgressValues();
    EXPECT_GE(values.size(), 1u);
    for (int v : values) {
        EXPECT_EQ(v, 0);
    }
    EXPECT_EQ(b.owner.Block().count, 1);
}

TEST(Upload, ThirtyRecordsReportEveryPassUpToNineteen) {
    // Between 20 and 100 records a pass reports while (N / 20) x k < N, which
    // for 30 is every pass: values run up to 19, not only while k < 20.
    Bench b(30, {"--rate", "5000", "--chunk", "40"});
    ASSERT_TRUE(b.Start());
    ASSERT_TRUE(b.Upload());
    const auto values = b.owner.ProgressValues();
    ASSERT_FALSE(values.empty());
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_LE(values.back(), 19);
    // About two records a poll: the last pass before completion has k near
    // 28, value 18 or 19; a plain k < 20 would stop at 12. Room is left for
    // a poll that comes late on a busy machine.
    EXPECT_GE(values.back(), 16);
    EXPECT_TRUE(SameSlots(b.owner.Block(), b.expected, 0, 29));
}

TEST(Upload, HundredRecordsReportOnlyZeroToThree) {
    // About two records per poll (each value spans five), so every value
    // shows up even when a poll comes late.
    Bench b(100, {"--rate", "5000", "--chunk", "40"});
    ASSERT_TRUE(b.Start());
    ASSERT_TRUE(b.Upload());
    const auto values = b.owner.ProgressValues();
    EXPECT_EQ(std::set<int>(values.begin(), values.end()), (std::set<int>{0, 1, 2, 3}));
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_TRUE(SameSlots(b.owner.Block(), b.expected, 0, 99));
}

TEST(Upload, WrongChecksumsMarkTheirRecordsAsErrors) {
    Bench b(5, {"--fast", "--bad-checksum", "1,3"});
    ASSERT_TRUE(b.Start());
    ASSERT_TRUE(b.Upload());
    const RecordBlock& got = b.owner.Block();
    EXPECT_EQ(got.count, 5);
    for (int i = 0; i < 5; ++i) {
        if (i == 1 || i == 3) {
            EXPECT_EQ(got.slots[i].bytes[0], kPinCountError) << i;
            EXPECT_EQ(std::memcmp(got.slots[i].bytes + 1, b.expected.slots[i].bytes + 1, 246), 0);
        } else {
            EXPECT_EQ(std::memcmp(got.slots[i].bytes, b.expected.slots[i].bytes, kRecordSize), 0)
                << i;
        }
    }
}

TEST(Upload, CountAbove100IsALineErrorAndNothingElseFollows) {
    Bench b(3, {"--fast", "--count-byte", "101"});
    ASSERT_TRUE(b.Start());
    EXPECT_FALSE(b.Upload());
    ASSERT_EQ(b.owner.Finishes(), 1);
    EXPECT_EQ(b.owner.LastFinished()->outcome.kind, Kind::LineError);
    EXPECT_EQ(b.owner.LastFinished()->outcome.fault, Fault::ImpossibleCount);
    EXPECT_FALSE(b.link.Busy());
    // No time-out follows the failure.
    b.owner.Loop().RunFor(3200ms);
    EXPECT_EQ(b.owner.Finishes(), 1);
    // Only the count byte was taken: the records never reached the area, and
    // the next reply is a clean one.
    ASSERT_FALSE(b.Upload());
    EXPECT_EQ(b.owner.Count(Kind::LineError), 2);
}

TEST(Upload, BytesAfterTheReplyStayOutOfTheArea) {
    Bench b(2, {"--fast", "--extra-bytes", "600"});
    ASSERT_TRUE(b.Start());
    ASSERT_TRUE(b.Upload());
    EXPECT_TRUE(SameSlots(b.owner.Block(), b.expected, 0, 2));
    // Slots past the count keep what they held (zeros from construction).
    EXPECT_TRUE(SameSlots(b.owner.Block(), RecordBlock{}, 2, 100));
    // The next request drops them with its purge and gets a clean reply.
    ASSERT_TRUE(b.Upload());
    EXPECT_TRUE(SameSlots(b.owner.Block(), b.expected, 0, 2));
    EXPECT_TRUE(SameSlots(b.owner.Block(), RecordBlock{}, 2, 100));
}

TEST(Upload, StallTimesOutAndTheNextRequestPurgesLateBytes) {
    // 600 bytes, then silence; the rest comes 3.5 s later, after the time-out.
    Bench b(10, {"--fast", "--stall-after", "600", "--resume-after", "3500"});
    ASSERT_TRUE(b.Start());
    EXPECT_FALSE(b.Upload());
    ASSERT_EQ(b.owner.Count(Kind::TimedOut), 1);
    EXPECT_EQ(b.owner.Count(Kind::Received), 0);
    const auto lastProgress = b.owner.LastProgress();
    ASSERT_NE(lastProgress, nullptr);
    EXPECT_EQ(lastProgress->value, 4);  // k = 2 of 10
    // The silence counts from the last read, not from the request.
    const auto silence = b.owner.LastFinished()->at - lastProgress->at;
    EXPECT_GE(silence, 2950ms);
    EXPECT_LE(silence, 3400ms);
    EXPECT_FALSE(b.link.Busy());

    // Let the late bytes arrive, then ask again.
    b.owner.Loop().RunFor(1200ms);
    ASSERT_NE(b.sim->log().find("request 1: sent"), std::string::npos) << b.sim->log();
    ASSERT_TRUE(b.Upload());
    EXPECT_EQ(b.owner.Block().count, 10);
    EXPECT_TRUE(SameSlots(b.owner.Block(), b.expected, 0, 10));
}

TEST(Upload, RequestRightAfterTheTimeOutIsServed) {
    Bench b(5, {"--fast", "--stall-after", "600"});
    ASSERT_TRUE(b.Start());
    EXPECT_FALSE(b.Upload());
    ASSERT_EQ(b.owner.Count(Kind::TimedOut), 1);
    // At once: the new request must not be taken for the old one, nor time out.
    ASSERT_TRUE(b.Upload(6s));
    EXPECT_EQ(b.owner.Count(Kind::TimedOut), 1);
    EXPECT_EQ(b.owner.Block().count, 5);
    EXPECT_TRUE(SameSlots(b.owner.Block(), b.expected, 0, 5));
}

TEST(Upload, HangUpTimesOutAndAnUnwritableCommandToo) {
    Bench b(10, {"--fast", "--hangup-after", "300"});
    ASSERT_TRUE(b.Start());
    EXPECT_FALSE(b.Upload());
    EXPECT_EQ(b.owner.Count(Kind::TimedOut), 1);
    EXPECT_EQ(b.owner.Count(Kind::Received), 0);
    EXPECT_EQ(b.sim->Wait(), 0);

    // The command cannot be written to a hung-up line: the request is
    // abandoned quietly and ends when the time-out counted from the request
    // runs out; meanwhile it is still under way.
    const auto t0 = std::chrono::steady_clock::now();
    b.owner.Forget();
    ASSERT_EQ(b.link.Request(), Refusal::None);
    b.owner.Loop().RunFor(500ms);
    EXPECT_EQ(b.link.Request(), Refusal::Busy);
    ASSERT_TRUE(b.owner.WaitForOutcome(5s));
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(b.owner.Count(Kind::TimedOut), 2);
    EXPECT_GE(took, 2950ms);
    EXPECT_LE(took, 3600ms);
    EXPECT_FALSE(b.link.Busy());
}

TEST(Upload, NoAnswerTimesOutAndNothingMoreHappens) {
    Bench b(2, {"--no-answer"});
    ASSERT_TRUE(b.Start());
    EXPECT_FALSE(b.Upload());
    EXPECT_EQ(b.owner.Count(Kind::TimedOut), 1);
    EXPECT_TRUE(b.owner.ProgressValues().empty());
    // The worker left its receive phase: a new request is taken.
    b.owner.Loop().RunFor(200ms);
    EXPECT_EQ(b.link.Request(), Refusal::None);
    EXPECT_EQ(b.owner.Finishes(), 1);
}

TEST(Upload, RemovedPortEndsTheUploadAtOnce) {
    // 100 records at line speed: the removal comes long before the reply ends.
    Bench b(100, {});
    ASSERT_TRUE(b.Start());
    ASSERT_EQ(b.link.Request(), Refusal::None);
    ASSERT_TRUE(b.owner.Loop().RunUntil([&] { return !b.owner.ProgressValues().empty(); }, 5s));
    const auto t0 = std::chrono::steady_clock::now();
    b.link.PortRemoved();
    ASSERT_TRUE(b.owner.WaitForOutcome(2s));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 300ms) << "not left to the time-out";
    ASSERT_EQ(b.owner.Finishes(), 1);
    EXPECT_EQ(b.owner.LastFinished()->outcome.kind, Kind::LineError);
    EXPECT_EQ(b.owner.LastFinished()->outcome.fault, Fault::Unplugged);
    EXPECT_EQ(b.owner.LastFinished()->outcome.block, nullptr) << "no partial block is handed over";
    EXPECT_FALSE(b.link.Busy());

    // A request on the removed port ends the same way, without waiting.
    b.owner.Forget();
    ASSERT_EQ(b.link.Request(), Refusal::None);
    ASSERT_TRUE(b.owner.WaitForOutcome(1s));
    EXPECT_EQ(b.owner.LastFinished()->outcome.fault, Fault::Unplugged);

    // Started again on the tester's new port, the link serves as before.
    Bench back(3, {"--fast"});
    b.link.UsePort(NamedPort(back.sim->device()));
    ASSERT_TRUE(b.Start());
    ASSERT_TRUE(b.Upload());
    EXPECT_EQ(b.owner.Block().count, 3);
}

TEST(Upload, CancelledRequestEndsAsCancelled) {
    Bench b(100, {});
    ASSERT_TRUE(b.Start());
    b.link.CancelRequest();  // nothing under way: nothing happens
    b.owner.Loop().RunFor(150ms);
    EXPECT_EQ(b.owner.Finishes(), 0);
    ASSERT_EQ(b.link.Request(), Refusal::None);
    b.owner.Loop().RunFor(300ms);
    b.link.CancelRequest();
    ASSERT_TRUE(b.owner.WaitForOutcome(1s));
    EXPECT_EQ(b.owner.LastFinished()->outcome.kind, Kind::Cancelled);
    EXPECT_FALSE(b.link.Busy());
    EXPECT_TRUE(b.link.LinkUp()) << "only the request was called off";
}

TEST(Refusal, NoLinkAndNothingIsSent) {
    Bench b(2, {"--fast"});
    EXPECT_EQ(b.link.Request(), Refusal::NoLink);
    b.owner.Loop().RunFor(150ms);
    EXPECT_EQ(b.owner.Finishes(), 0);
    EXPECT_EQ(b.sim->log().find("received"), std::string::npos);
}

TEST(Refusal, BusyAndTheRunningUploadCompletes) {
    Bench b(20, {"--rate", "20000"});
    ASSERT_TRUE(b.Start());
    ASSERT_EQ(b.link.Request(), Refusal::None);
    b.owner.Loop().RunFor(150ms);
    EXPECT_EQ(b.link.Request(), Refusal::Busy);
    b.owner.WaitForOutcome(10s);
    EXPECT_EQ(b.owner.Count(Kind::Received), 1);
    EXPECT_EQ(b.owner.Finishes(), 1);
    EXPECT_TRUE(SameSlots(b.owner.Block(), b.expected, 0, 20));
    EXPECT_EQ(b.sim->log().find("request 2"), std::string::npos) << "one command on the wire";
}

TEST(Link, OpenFailureIsReportedWithThePortAndLeavesTheLinkDown) {
    Bench b(2, {"--fast"});
    PosixSerialLine holder;  // another program holds the port
    ASSERT_TRUE(holder.Open(b.sim->device(), nullptr, nullptr));
    const auto failed = b.link.StartLink();
    ASSERT_TRUE(failed.has_value());
    EXPECT_EQ(failed->kind, Kind::OpenFailed);
    EXPECT_EQ(failed->failure.step, PortFailure::Step::Open);
    EXPECT_EQ(failed->failure.port.path, b.sim->device());
    EXPECT_FALSE(failed->failure.reason.empty()) << "the system's reason comes along";
    EXPECT_FALSE(failed->failure.accessDenied);
    EXPECT_FALSE(b.link.LinkUp());
    EXPECT_EQ(b.link.Request(), Refusal::NoLink);

    b.link.UsePort(BridgePort{});
    const auto none = b.link.StartLink();
    ASSERT_TRUE(none.has_value());
    EXPECT_EQ(none->failure.step, PortFailure::Step::NoPort);
    EXPECT_EQ(none->failure.port.comNumber, 0);
}

TEST(Link, StopLinkDuringReceiveEndsQuietly) {
    Bench b(100, {"--rate", "20000"});
    ASSERT_TRUE(b.Start());
    ASSERT_EQ(b.link.Request(), Refusal::None);
    b.owner.Loop().RunFor(350ms);
    ASSERT_GE(b.owner.ProgressValues().size(), 1u);
    const auto t0 = std::chrono::steady_clock::now();
    b.link.StopLink();
    // The stop waits for the worker, not for the clock.
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 300ms);
    EXPECT_FALSE(b.link.LinkUp());
    EXPECT_EQ(b.link.WorkerId(), 0u);
    EXPECT_FALSE(b.link.Busy());
    // Nothing reaches the owner afterwards, not even calls queued before.
    b.owner.Loop().RunFor(300ms);
    EXPECT_EQ(b.owner.Finishes(), 0);
    // The worker closed the port: it can be opened again at once.
    PosixSerialLine again;
    EXPECT_TRUE(again.Open(b.sim->device(), nullptr, nullptr));
    again.Close();
    EXPECT_EQ(b.link.Request(), Refusal::NoLink);
    // A second stop finds no worker and returns at once.
    const auto t1 = std::chrono::steady_clock::now();
    b.link.StopLink();
    EXPECT_LT(std::chrono::steady_clock::now() - t1, 100ms);
}

TEST(Link, StopLinkFromInsideAProgressCallDoesNotDeadlock) {
    // The owner thread runs the progress handler, which stops the link while
    // the worker waits for that very handler to return.
    Bench b(100, {"--rate", "20000"});
    ASSERT_TRUE(b.Start());
    bool stopped = false;
    b.owner.onProgress = [&](int) {
        if (!stopped) {
            stopped = true;
            b.link.StopLink();
        }
    };
    ASSERT_EQ(b.link.Request(), Refusal::None);
    b.owner.Loop().RunUntil([&] { return stopped; }, 5s);
    ASSERT_TRUE(stopped);
    EXPECT_FALSE(b.link.LinkUp());
    b.owner.Loop().RunFor(300ms);
    EXPECT_EQ(b.owner.ProgressValues().size(), 1u);
    EXPECT_EQ(b.owner.Finishes(), 0);
}

TEST(Link, StopLinkWhileTheWorkerWaitsForABusyOwner) {
    // The owner thread does not run its loop, so the worker's outcome call
    // waits; the stop must release it.
    Bench b(2, {"--fast"});
    ASSERT_TRUE(b.Start());
    ASSERT_EQ(b.link.Request(), Refusal::None);
    std::this_thread::sleep_for(400ms);  // the worker is now waiting for this thread
    const auto t0 = std::chrono::steady_clock::now();
    b.link.StopLink();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1500ms);
    EXPECT_FALSE(b.link.LinkUp());
    // The call the worker had queued is dropped when the loop finally runs.
    b.owner.Loop().RunFor(200ms);
    EXPECT_TRUE(b.owner.events.empty());
}

TEST(Link, NewLinkKeepsTheAreaAndGetsAFreshWorker) {
    // Ten records, then three through the same link: slots 3..9 keep the
    // first upload; the count byte says they are not in use.
    Bench first(10, {"--fast"});
    ASSERT_TRUE(first.Start());
    const std::uint32_t id1 = first.link.WorkerId();
    ASSERT_TRUE(first.Upload());
    first.link.StopLink();

    TempDir dir;
    const RecordBlock three = [] {
        RecordBlock blk;
        ClearBlock(blk);
        blk.count = 3;
        for (int i = 0; i < 3; ++i) {
            blk.slots[i] = RecordBuilder(4).Connect(1, 2).Connect(2, 1).Build();
        }
        return blk;
    }();
    WriteRecordFile(dir.path() / "three.vku", three);
    SimProcess sim({"--file", (dir.path() / "three.vku").string(), "--fast"});
    first.link.UsePort(NamedPort(sim.device()));
    ASSERT_TRUE(first.Start());
    EXPECT_NE(first.link.WorkerId(), id1);
    ASSERT_TRUE(first.Upload());
    const RecordBlock& got = first.owner.Block();
    EXPECT_EQ(got.count, 3);
    EXPECT_TRUE(SameSlots(got, three, 0, 3));
    EXPECT_TRUE(SameSlots(got, first.expected, 3, 10));
}

// The real line with every operation passed on; a test's line changes some.
class RealLine : public SerialLine {
  public:
    bool Open(const std::string& d, std::string* r, int* e) override { return real_.Open(d, r, e); }
    bool IsOpen() const override { return real_.IsOpen(); }
    void Close() override { real_.Close(); }
    void SetQueueSizes(std::size_t in, std::size_t out) override { real_.SetQueueSizes(in, out); }
    void Purge(unsigned flags) override { real_.Purge(flags); }
    void RaiseRts() override { real_.RaiseRts(); }
    bool GetLineSettings(LineSettings& s) override { return real_.GetLineSettings(s); }
    bool SetLineSettings(const LineSettings& s) override { return real_.SetLineSettings(s); }
    bool ClearError(std::size_t* in) override { return real_.ClearError(in); }
    bool Write(const std::uint8_t* data, std::size_t size) override {
        return real_.Write(data, size);
    }
    long Read(std::uint8_t* data, std::size_t size) override { return real_.Read(data, size); }

  protected:
    PosixSerialLine real_;
};

// A real line that holds the reply's last byte back until the worker's next
// pass after the one that read the rest: the byte comes exactly one pass
// late, however the machine schedules the simulator and the worker.
class LastByteOnePassLate : public RealLine {
  public:
    explicit LastByteOnePassLate(std::size_t replySize) : replySize_(replySize) {}
    // Each pass of the worker asks for the queue first.
    bool ClearError(std::size_t* in) override {
        if (read_ + 1 == replySize_) {
            released_ = true;
        }
        const bool ok = real_.ClearError(in);
        if (in != nullptr && !released_) {
            *in = std::min(*in, Allowed());
        }
        return ok;
    }
    long Read(std::uint8_t* data, std::size_t size) override {
        const long got = real_.Read(data, released_ ? size : std::min(size, Allowed()));
        read_ += got > 0 ? static_cast<std::size_t>(got) : 0;
        return got;
    }

  private:
    std::size_t Allowed() const { return replySize_ - 1 - read_; }
    const std::size_t replySize_;
    std::size_t read_ = 0;
    bool released_ = false;
};

TEST(LastByte, ArrivingLateIsKept) {
    // Only the last record's reserved byte is still to come: the reply is
    // complete by the count rule, yet that byte is waited for one more pass.
    for (int n : {1, 2, 30}) {
        SCOPED_TRACE(n);
        Bench b(n, {"--fast"}, std::make_unique<LastByteOnePassLate>(1 + kRecordSize * n));
        ASSERT_TRUE(b.Start());
        ASSERT_TRUE(b.Upload());
        const RecordBlock& got = b.owner.Block();
        EXPECT_EQ(got.count, n);
        EXPECT_TRUE(SameSlots(got, b.expected, 0, n));
        EXPECT_EQ(got.slots[n - 1].bytes[kRecordSize - 1], 0xA0 + (n - 1) % 16);
    }
}

TEST(LastByte, ReplyOneByteShortStillCompletes) {
    // A tester that never sends the reserved byte: 249 x N bytes in all.
    Bench b(3, {"--fast", "--stall-after", std::to_string(kRecordSize * 3)});
    ASSERT_TRUE(b.Start());
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(b.Upload());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s) << "long before the receive time-out";
    const RecordBlock& got = b.owner.Block();
    EXPECT_EQ(got.count, 3);
    EXPECT_TRUE(SameSlots(got, b.expected, 0, 2));
    EXPECT_EQ(std::memcmp(got.slots[2].bytes, b.expected.slots[2].bytes, kRecordSize - 1), 0);
    EXPECT_EQ(b.owner.Count(Kind::TimedOut), 0);
    EXPECT_FALSE(b.link.Busy());
}

// A real line whose reads or writes are held up, as a line whose driver
// hangs would be; it records whether it was destroyed under a caller.
struct SlowLineState {
    std::atomic<int> inside{0};
    std::atomic<bool> destroyedUnderACall{false};
    std::atomic<bool> destroyed{false};
};

class SlowLine : public RealLine {
  public:
    SlowLine(std::shared_ptr<SlowLineState> state, bool slowRead, bool slowWrite)
        : state_(std::move(state)), slowRead_(slowRead), slowWrite_(slowWrite) {}
    ~SlowLine() override {
        state_->destroyedUnderACall = state_->inside.load() != 0;
        state_->destroyed = true;
    }
    bool Write(const std::uint8_t* data, std::size_t size) override {
        Hold(slowWrite_);
        const bool ok = real_.Write(data, size);
        --state_->inside;
        return ok;
    }
    long Read(std::uint8_t* data, std::size_t size) override {
        Hold(slowRead_);
        const long got = real_.Read(data, size);
        --state_->inside;
        return got;
    }

  private:
    void Hold(bool slow) {
        ++state_->inside;
        if (slow) {
            std::this_thread::sleep_for(1500ms);
        }
    }
    std::shared_ptr<SlowLineState> state_;
    bool slowRead_;
    bool slowWrite_;
};

class HeldUpLine : public ::testing::TestWithParam<bool> {};

TEST_P(HeldUpLine, StopIsBoundedAndTheWorkerNeverOutlivesThePort) {
    const bool slowRead = GetParam();
    TempDir dir;
    WriteRecordFile(dir.path() / "sim.vku", TestBlock(20));
    SimProcess sim({"--file", (dir.path() / "sim.vku").string(), "--rate", "20000"});
    auto state = std::make_shared<SlowLineState>();
    test::RecordingOwner owner;
    auto link = std::make_unique<TesterLink>(std::make_unique<SlowLine>(state, slowRead, !slowRead),
                                             PortNaming::DeviceNode);
    link->SetOwner(&owner);
    link->UsePort(NamedPort(sim.device()));
    ASSERT_FALSE(link->StartLink().has_value());
    ASSERT_EQ(link->Request(), Refusal::None);
    // Until the worker is inside the held-up call.
    const auto limit = std::chrono::steady_clock::now() + 3s;
    while (state->inside.load() == 0 && std::chrono::steady_clock::now() < limit) {
        owner.Loop().RunFor(5ms);
    }
    ASSERT_GT(state->inside.load(), 0);

    const auto t0 = std::chrono::steady_clock::now();
    link->StopLink();
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(took, 700ms) << "the worker is still held up";
    EXPECT_LT(took, 1200ms) << "the stop is bounded";

    link.reset();
    EXPECT_TRUE(state->destroyed.load());
    EXPECT_FALSE(state->destroyedUnderACall.load()) << "the worker outlived its link";
    EXPECT_EQ(state->inside.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Link, HeldUpLine, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Read" : "Write"; });

}  // namespace
}  // namespace vark
