// The machinery under the channel: the wake event, the owner loop and the
// cancellable hand-off from the worker to the owner's thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "device/auto_reset_event.h"
#include "device/comm_defs.h"
#include "device/owner_loop.h"
#include "device/serial_owner.h"
#include "device/thread_messages.h"

namespace vark {
namespace {

using namespace std::chrono_literals;

TEST(AutoResetEvent, OneSignalLetsOneWaiterThrough) {
    AutoResetEvent e;
    e.Set();
    e.Set();  // not counted: still one pass
    EXPECT_TRUE(e.WaitFor(0ms));
    EXPECT_FALSE(e.WaitFor(20ms));
    std::thread t([&] {
        std::this_thread::sleep_for(30ms);
        e.Set();
    });
    EXPECT_TRUE(e.WaitFor(2s));
    t.join();
}

TEST(ThreadMessages, TakenByNumberOldestFirst) {
    ThreadMessageQueue q;
    q.Post(WM_COMM_REQUEST, 1);
    q.Post(WM_QUIT);
    q.Post(WM_COMM_REQUEST, 2);
    ThreadMessage m;
    EXPECT_TRUE(q.Take(WM_QUIT));
    EXPECT_FALSE(q.Take(WM_QUIT));
    ASSERT_TRUE(q.Take(WM_COMM_REQUEST, &m));
    EXPECT_EQ(m.wParam, 1u);
    ASSERT_TRUE(q.Take(WM_COMM_REQUEST, &m));
    EXPECT_EQ(m.wParam, 2u);
    EXPECT_EQ(q.Size(), 0u);
}

TEST(OwnerLoop, TimersRepeatRestartAndStop) {
    // A busy machine only makes firings late, so the firings are checked
    // against the clock: never before their time, never after the kill.
    using Clock = std::chrono::steady_clock;
    OwnerLoop loop;
    std::vector<Clock::time_point> fired;
    const auto record = [&] { fired.push_back(Clock::now()); };
    const auto set = Clock::now();
    loop.SetTimer(1, 50ms, record);
    ASSERT_TRUE(loop.RunUntil([&] { return fired.size() == 2; }, 5s));
    EXPECT_GE(fired[0] - set, 50ms);
    EXPECT_GE(fired[1] - fired[0], 50ms) << "the timer repeats a whole period on";
    // Restarting 30 ms after a firing moves the next one a whole period on
    // from the restart, past the 20 ms it had left.
    loop.RunFor(30ms);
    const std::size_t before = fired.size();
    const auto restart = Clock::now();
    loop.SetTimer(1, 50ms, record);
    ASSERT_TRUE(loop.RunUntil([&] { return fired.size() == before + 1; }, 5s));
    EXPECT_GE(fired.back() - restart, 50ms);
    loop.KillTimer(1);
    EXPECT_FALSE(loop.TimerActive(1));
    loop.RunFor(120ms);
    EXPECT_EQ(fired.size(), before + 1);
}

TEST(OwnerLoop, PostedCallsRunInOrderOnTheLoopThread) {
    OwnerLoop loop;
    std::vector<int> order;
    std::thread::id ran;
    std::thread poster([&] {
        for (int i = 0; i < 3; ++i) {
            loop.Post([&, i] {
                order.push_back(i);
                ran = std::this_thread::get_id();
            });
        }
    });
    poster.join();
    EXPECT_TRUE(loop.RunUntil([&] { return order.size() == 3; }, 1s));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(ran, std::this_thread::get_id());
}

// An owner whose loop is run by the test thread.
class TestOwner : public LoopOwner {};

TEST(OwnerHandOff, CallWaitsUntilTheOwnerHasRunIt) {
    TestOwner owner;
    OwnerHandOff handOff;
    std::atomic<bool> returned{false};
    int value = 0;  // written on the owner thread, read by the worker after Call
    int seen = -1;
    std::thread::id ranOn;
    std::thread worker([&] {
        const bool ok = handOff.Call(owner, [&] {
            ranOn = std::this_thread::get_id();
            std::this_thread::sleep_for(50ms);
            value = 42;
        });
        seen = ok ? value : -2;
        returned = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(returned) << "the worker stands still until the owner runs the call";
    owner.Loop().RunUntil([&] { return ranOn != std::thread::id(); }, 2s);
    worker.join();
    EXPECT_EQ(seen, 42);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(OwnerHandOff, CancelReleasesAWaitingWorkerAndDropsTheCall) {
    TestOwner owner;
    OwnerHandOff handOff;
    std::atomic<int> result{-1};
    bool ran = false;
    std::thread worker([&] { result = handOff.Call(owner, [&] { ran = true; }) ? 1 : 0; });
    std::this_thread::sleep_for(50ms);
    handOff.Cancel();  // from the owner thread, which is not running its loop
    worker.join();
    EXPECT_EQ(result, 0);
    owner.Loop().RunFor(50ms);
    EXPECT_FALSE(ran) << "a call given up by its worker never runs";

    // Cancelled: later calls return at once; reopened: they work again.
    EXPECT_FALSE(handOff.Call(owner, [&] { ran = true; }));
    handOff.Reopen();
    std::thread again([&] { result = handOff.Call(owner, [&] { ran = true; }) ? 1 : 0; });
    owner.Loop().RunUntil([&] { return ran; }, 2s);
    again.join();
    EXPECT_EQ(result, 1);
}

TEST(OwnerHandOff, CancelFromInsideTheRunningCall) {
    // The owner's handler itself ends the link: the worker must not wait for
    // the handler, which waits for the worker.
    TestOwner owner;
    OwnerHandOff handOff;
    std::atomic<bool> workerDone{false};
    std::thread worker([&] {
        handOff.Call(owner, [&] {
            handOff.Cancel();
            const auto until = std::chrono::steady_clock::now() + 2s;
            while (!workerDone && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(1ms);
            }
        });
        workerDone = true;
    });
    owner.Loop().RunFor(100ms);
    worker.join();
    EXPECT_TRUE(workerDone);
}

TEST(OwnerHandOff, QueuedCallOutlivesTheHandOff) {
    TestOwner owner;
    bool ran = false;
    {
        OwnerHandOff handOff;
        std::thread worker([&] { handOff.Call(owner, [&] { ran = true; }); });
        std::this_thread::sleep_for(30ms);
        handOff.Cancel();
        worker.join();
    }
    owner.Loop().RunFor(30ms);  // runs the stale call after the hand-off is gone
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace vark
