// The port watch and the link against USB serial bridges that umockdev plugs
// in and pulls out: real sysfs walks, real udev events through libudev's
// monitor, and the node a pseudo-terminal with the tester simulator behind
// it. Runs under umockdev-wrapper.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "device/bridge_ports.h"
#include "device/port_watch.h"
#include "device/tester_link.h"
#include "testing/recording_owner.h"
#include "testing/sim_process.h"
#include "tests/support/usb_testbed.h"

namespace vark {
namespace {

using namespace std::chrono_literals;
using test::UsbTestbed;

// Every snapshot the watch delivers, kept for the test thread.
class Snapshots {
  public:
    PortWatch::Listener Listener() {
        return [this](const PortSnapshot& s) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                seen_.push_back(s);
                cv_.notify_all();
                // Held: the watch's thread stands still here, and what comes
                // meanwhile waits in the monitor for it.
                cv_.wait(lock, [this] { return !hold_; });
            }
        };
    }
    void Hold(bool hold) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            hold_ = hold;
        }
        cv_.notify_all();
    }
    // Waits for a snapshot (the latest) that satisfies `ok`.
    bool WaitFor(const std::function<bool(const PortSnapshot&)>& ok,
                 std::chrono::milliseconds limit = 5s) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, limit, [&] { return !seen_.empty() && ok(seen_.back()); });
    }
    PortSnapshot Last() {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_.empty() ? PortSnapshot{} : seen_.back();
    }
    std::size_t Count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_.size();
    }
    // Inside WaitFor's condition, which holds the lock.
    std::size_t CountUnlocked() const { return seen_.size(); }
    // Whether a snapshot after the first `from` lacked `path`.
    bool SawWithout(const std::string& path, std::size_t from) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::size_t i = from; i < seen_.size(); ++i) {
            bool has = false;
            for (const BridgePort& p : seen_[i].ports) {
                has = has || p.path == path;
            }
            if (!has) {
                return true;
            }
        }
        return false;
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<PortSnapshot> seen_;
    bool hold_ = false;
};

bool Has(const PortSnapshot& s, const std::string& path) {
    for (const BridgePort& p : s.ports) {
        if (p.path == path) {
            return true;
        }
    }
    return false;
}

UsbTestbed::Bridge Bridge(const std::string& tty, const std::string& usb, const std::string& pty) {
    UsbTestbed::Bridge b;
    b.tty = tty;
    b.usb = usb;
    b.pty = pty;
    return b;
}

TEST(PortWatch, BridgesPresentAtStartAndThoseThatComeAndGo) {
    UsbTestbed bed;
    bed.Plug(Bridge("ttyUSB0", "1-1", "/dev/null"));
    Snapshots snaps;
    auto watch = StartPortWatch(snaps.Listener());
    ASSERT_NE(watch, nullptr);
    ASSERT_TRUE(snaps.WaitFor([](const PortSnapshot& s) { return Has(s, "/dev/ttyUSB0"); }))
        << "the bridge plugged in before the start is in the first listing";
    const PortSnapshot first = snaps.Last();
    ASSERT_EQ(first.ports.size(), 1u);
    EXPECT_EQ(first.ports[0].vendorId, 0x10C4);
    EXPECT_EQ(first.ports[0].serial, "0001");
    EXPECT_EQ(first.ports[0].label, "CP2102 USB to UART Bridge Controller");
    EXPECT_TRUE(first.ports[0].tester);
    EXPECT_TRUE(first.settling.empty());

    UsbTestbed::Bridge other = Bridge("ttyUSB1", "1-2", "/dev/null");
    other.vendor = "0403";
    other.product = "6001";
    bed.Plug(other);
    ASSERT_TRUE(snaps.WaitFor([](const PortSnapshot& s) { return Has(s, "/dev/ttyUSB1"); }));
    EXPECT_FALSE(snaps.Last().ports.back().tester) << "another vendor's bridge";
    EXPECT_EQ(AttachedTester(snaps.Last().ports)->path, "/dev/ttyUSB0");

    bed.Unplug("ttyUSB0");
    ASSERT_TRUE(snaps.WaitFor([](const PortSnapshot& s) { return !Has(s, "/dev/ttyUSB0"); }));
    EXPECT_FALSE(AttachedTester(snaps.Last().ports));

    // Back again, under the same name.
    bed.Plug(Bridge("ttyUSB0", "1-1", "/dev/null"));
    ASSERT_TRUE(snaps.WaitFor([](const PortSnapshot& s) { return Has(s, "/dev/ttyUSB0"); }));

    // Out and in again while the watch is busy, so that both events wait for
    // it together: the removal is still told on its own, and no one takes
    // the port for one that stayed.
    snaps.Hold(true);
    const std::size_t before = snaps.Count();
    bed.Plug(Bridge("ttyUSB5", "1-5", "/dev/null"));
    ASSERT_TRUE(snaps.WaitFor([&](const PortSnapshot&) { return snaps.CountUnlocked() > before; }));
    bed.Unplug("ttyUSB0");
    bed.Plug(Bridge("ttyUSB0", "1-1", "/dev/null"));
    std::this_thread::sleep_for(100ms);
    snaps.Hold(false);
    ASSERT_TRUE(snaps.WaitFor([&](const PortSnapshot& s) {
        return Has(s, "/dev/ttyUSB0") && snaps.CountUnlocked() >= before + 3;
    }));
    EXPECT_TRUE(snaps.SawWithout("/dev/ttyUSB0", before + 1));
    bed.Unplug("ttyUSB5");

    // Destroyed, the watch calls no more.
    watch.reset();
    const std::size_t count = snaps.Count();
    bed.Unplug("ttyUSB1");
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(snaps.Count(), count);
}

TEST(PortWatch, APortModemManagerWillProbeIsLeftAloneUntilItIsDone) {
    UsbTestbed bed;
    Snapshots snaps;
    auto watch = StartPortWatch(snaps.Listener());
    ASSERT_NE(watch, nullptr);
    ASSERT_TRUE(snaps.WaitFor([](const PortSnapshot&) { return true; }));

    // The package's rule keeps ModemManager off: settled at once.
    UsbTestbed::Bridge kept = Bridge("ttyUSB0", "1-1", "/dev/null");
    kept.properties = {{"ID_MM_CANDIDATE", "1"}, {"ID_MM_DEVICE_IGNORE", "1"}};
    bed.Plug(kept);
    ASSERT_TRUE(snaps.WaitFor([](const PortSnapshot& s) { return Has(s, "/dev/ttyUSB0"); }));
    EXPECT_TRUE(snaps.Last().settling.empty());

    // Without the rule ModemManager probes the port: listed, not to be opened.
    UsbTestbed::Bridge probed = Bridge("ttyUSB1", "1-2", "/dev/null");
    probed.properties = {{"ID_MM_CANDIDATE", "1"}};
    const auto plugged = std::chrono::steady_clock::now();
    bed.Plug(probed);
    ASSERT_TRUE(snaps.WaitFor([](const PortSnapshot& s) { return Has(s, "/dev/ttyUSB1"); }));
    EXPECT_EQ(snaps.Last().settling, std::set<std::string>{"/dev/ttyUSB1"});
    const auto settled = snaps.Last().Settled();
    ASSERT_EQ(settled.size(), 1u);
    EXPECT_EQ(settled[0].path, "/dev/ttyUSB0");

    // Its probe over, it may be opened.
    ASSERT_TRUE(snaps.WaitFor([](const PortSnapshot& s) { return s.settling.empty(); }, 15s));
    EXPECT_GE(std::chrono::steady_clock::now() - plugged, 9s);
    EXPECT_TRUE(Has(snaps.Last(), "/dev/ttyUSB1"));

    // Pulled out while it settles: gone, and nothing is left waiting.
    bed.Plug(Bridge("ttyUSB2", "1-3", "/dev/null"));
    UsbTestbed::Bridge again = Bridge("ttyUSB3", "1-4", "/dev/null");
    again.properties = {{"ID_MM_CANDIDATE", "1"}};
    bed.Plug(again);
    ASSERT_TRUE(
        snaps.WaitFor([](const PortSnapshot& s) { return s.settling.count("/dev/ttyUSB3"); }));
    bed.Unplug("ttyUSB3");
    ASSERT_TRUE(snaps.WaitFor(
        [](const PortSnapshot& s) { return !Has(s, "/dev/ttyUSB3") && s.settling.empty(); }));
}

TEST(HotplugLink, UploadsThroughTheNodeAndAnUnplugEndsTheUploadAtOnce) {
    UsbTestbed bed;
    test::SimProcess sim({"--records", "100"});  // at line speed: 6.5 s
    ASSERT_FALSE(sim.device().empty());
    Snapshots snaps;
    auto watch = StartPortWatch(snaps.Listener());
    ASSERT_NE(watch, nullptr);
    bed.Plug(Bridge("ttyUSB0", "1-1", sim.device()));
    ASSERT_TRUE(snaps.WaitFor([](const PortSnapshot& s) { return Has(s, "/dev/ttyUSB0"); }));

    test::RecordingOwner owner;
    TesterLink link;
    link.SetOwner(&owner);
    const TesterChoice found = ChooseTester(snaps.Last().Settled());
    ASSERT_TRUE(found.Found());
    link.UsePort(*found.port);
    ASSERT_FALSE(link.StartLink().has_value()) << "the node opens as a tty";
    ASSERT_EQ(link.Request(), Refusal::None);
    ASSERT_TRUE(owner.Loop().RunUntil([&] { return !owner.ProgressValues().empty(); }, 5s));

    const auto pulled = std::chrono::steady_clock::now();
    bed.Unplug("ttyUSB0");
    // What the Upload dialog does when its tester leaves the list.
    ASSERT_TRUE(snaps.WaitFor([](const PortSnapshot& s) { return !Has(s, "/dev/ttyUSB0"); }));
    link.PortRemoved();
    ASSERT_TRUE(owner.WaitForOutcome(2s));
    EXPECT_LT(std::chrono::steady_clock::now() - pulled, 1s) << "not left to the time-out";
    EXPECT_EQ(owner.LastFinished()->outcome.kind, LinkOutcome::Kind::LineError);
    EXPECT_EQ(owner.LastFinished()->outcome.fault, LinkOutcome::Fault::Unplugged);
    EXPECT_EQ(owner.Count(LinkOutcome::Kind::Received), 0);
    link.StopLink();

    // Plugged in again: a new link on the node serves a whole upload.
    test::SimProcess fast({"--records", "7", "--fast"});
    bed.Plug(Bridge("ttyUSB0", "1-1", fast.device()));
    ASSERT_TRUE(snaps.WaitFor([](const PortSnapshot& s) { return Has(s, "/dev/ttyUSB0"); }));
    link.UsePort(*ChooseTester(snaps.Last().Settled()).port);
    ASSERT_FALSE(link.StartLink().has_value());
    owner.Forget();
    ASSERT_EQ(link.Request(), Refusal::None);
    ASSERT_TRUE(owner.WaitForOutcome(10s));
    ASSERT_TRUE(owner.Received());
    EXPECT_EQ(owner.Block().count, 7);
}

}  // namespace
}  // namespace vark
