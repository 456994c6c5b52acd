// The machinery under the link: the owner loop and the cancellable hand-off
// from the worker to the owner's thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "device/link_owner.h"
#include "device/loop_owner.h"
#include "device/owner_loop.h"

namespace vark {
namespace {

using namespace std::chrono_literals;

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

TEST(OwnerLoop, RunUntilGivesUpAtItsLimit) {
    OwnerLoop loop;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(loop.RunUntil([] { return false; }, 80ms));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 80ms);
    // A call posted later still runs when the loop runs again.
    bool ran = false;
    std::thread poster([&] {
        std::this_thread::sleep_for(30ms);
        loop.Post([&] { ran = true; });
    });
    EXPECT_TRUE(loop.RunUntil([&] { return ran; }, 2s));
    poster.join();
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
