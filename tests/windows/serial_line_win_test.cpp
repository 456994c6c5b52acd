// The Win32 serial line where no tester is attached: the link's failures
// carry the COM number, and a link that is down refuses requests.
#include <gtest/gtest.h>

#include <chrono>

#include "device/tester_link.h"

namespace vark {
namespace {

BridgePort Com(std::uint8_t number) {
    BridgePort p;
    p.comNumber = number;
    return p;
}

TEST(WinSerialLineTest, PortsThatCannotBeOpenedLeaveTheLinkDown) {
    TesterLink link;
    ASSERT_EQ(link.Naming(), PortNaming::ComNumber);

    for (int number : {0, 255}) {
        link.UsePort(Com(static_cast<std::uint8_t>(number)));
        const auto failed = link.StartLink();
        ASSERT_TRUE(failed);
        EXPECT_EQ(failed->failure.step, PortFailure::Step::NoPort);
        EXPECT_EQ(failed->failure.port.comNumber, number);
    }

    // No such device in this prefix.
    link.UsePort(Com(231));
    const auto failed = link.StartLink();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->failure.step, PortFailure::Step::Open);
    EXPECT_EQ(failed->failure.port.comNumber, 231);
    EXPECT_FALSE(link.LinkUp());
    EXPECT_EQ(link.Request(), Refusal::NoLink);

    const auto start = std::chrono::steady_clock::now();
    link.StopLink();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300))
        << "stopping a link that is down must not pause";
}

}  // namespace
}  // namespace vark
