// The Windows port watch under Wine: it registers for the COM port interface
// and lists the bridges at once; Wine sends no device notices of its own for
// serial ports, so the notices a real Windows sends are sent here by hand to
// the watch's window, which then lists the bridges again.
#include <windows.h>

#include <dbt.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "device/port_watch.h"
#include "tests/windows/win_test_support.h"

namespace vark {
namespace {

using namespace std::chrono_literals;

class Snapshots {
  public:
    PortWatch::Listener Listener() {
        return [this](const PortSnapshot& s) {
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.push_back(s);
            cv_.notify_all();
        };
    }
    bool WaitForCount(std::size_t n, std::chrono::milliseconds limit = 5s) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, limit, [&] { return seen_.size() >= n; });
    }
    std::vector<PortSnapshot> Seen() {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<PortSnapshot> seen_;
};

HWND WatchWindow() {
    return ::FindWindowExW(HWND_MESSAGE, nullptr, L"VarkPortWatch", nullptr);
}

// What Windows sends for the COM port interface arriving or leaving.
void Notice(WPARAM event, DWORD type) {
    DEV_BROADCAST_DEVICEINTERFACE_W notice{};
    notice.dbcc_size = sizeof notice;
    notice.dbcc_devicetype = type;
    ::SendMessageW(WatchWindow(), WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&notice));
}

TEST(WinPortWatch, ListsAtOnceAndAgainOnEveryPortNotice) {
    wintest::DeviceListFile list;
    list.Write({"10c4 ea60 WATCH1"});
    Snapshots snaps;
    auto watch = StartPortWatch(snaps.Listener());
    ASSERT_NE(watch, nullptr) << "registered for the COM port interface";
    ASSERT_TRUE(snaps.WaitForCount(1));
    ASSERT_EQ(snaps.Seen()[0].ports.size(), 1u);
    EXPECT_EQ(snaps.Seen()[0].ports[0].serial, "WATCH1");
    ASSERT_NE(WatchWindow(), nullptr);

    // A second bridge arrives.
    list.Write({"10c4 ea60 WATCH1", "0101 0002 WATCH2"});
    Notice(DBT_DEVICEARRIVAL, DBT_DEVTYP_DEVICEINTERFACE);
    ASSERT_TRUE(snaps.WaitForCount(2));
    EXPECT_EQ(snaps.Seen()[1].ports.size(), 2u);

    // A notice about something else, or one that changes nothing, says nothing.
    list.Write({"10c4 ea60 WATCH1"});
    Notice(DBT_DEVICEARRIVAL, DBT_DEVTYP_VOLUME);
    Notice(DBT_DEVICEARRIVAL + 100, DBT_DEVTYP_DEVICEINTERFACE);
    EXPECT_FALSE(snaps.WaitForCount(3, 300ms));

    // The second leaves.
    Notice(DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_DEVICEINTERFACE);
    ASSERT_TRUE(snaps.WaitForCount(3));
    EXPECT_EQ(snaps.Seen()[2].ports.size(), 1u);
    Notice(DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_DEVICEINTERFACE);
    EXPECT_FALSE(snaps.WaitForCount(4, 300ms)) << "the same list is not told twice";

    // Stopped, the watch's window is gone.
    watch.reset();
    EXPECT_EQ(WatchWindow(), nullptr);
}

}  // namespace
}  // namespace vark
