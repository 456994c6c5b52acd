// The Win32 serial line where no tester is attached: the link's refusals and
// the texts it shows carry the COM number.
#include <gtest/gtest.h>

#include <chrono>

#include "device/comm_defs.h"
#include "device/owner_loop.h"
#include "device/serial_port.h"

namespace vark {
namespace {

TEST(WinSerialLineTest, PortsThatCannotBeOpenedLeaveTheLinkDown) {
    SerialPort port;
    LoopOwner owner(&port);
    ASSERT_EQ(port.Naming(), PortNaming::ComNumber);
    port.SetOwner(&owner);

    for (int number : {0, 255}) {
        port.SetPortNo(static_cast<std::uint8_t>(number));
        EXPECT_EQ(port.StartLink(), 0);
        EXPECT_EQ(owner.LastMessage(),
                  "\n    PortNO:" + std::to_string(number) + "  is Error!    \n");
    }

    // No such device in this prefix: the number, not a device path, is shown.
    port.SetPortNo(231);
    EXPECT_EQ(port.StartLink(), 0);
    EXPECT_EQ(owner.LastMessage(), "\n    Open COM:231 Failed!    \n");
    EXPECT_FALSE(port.LinkUp());

    EXPECT_EQ(port.SendRequest(COMM_CMD_UPLOAD), 0);
    ASSERT_NE(owner.Last(LoopOwner::Kind::Error), nullptr);
    EXPECT_EQ(owner.Last(LoopOwner::Kind::Error)->value, COMM_ERR_NO_LINK);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.StopLink(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300))
        << "stopping a link that is down must not pause";
}

}  // namespace
}  // namespace vark
