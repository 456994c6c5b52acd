// The rules that pick the tester from the bridge list, the same on every
// platform; this file runs in the native tests and under Wine.
#include <gtest/gtest.h>

#include <vector>

#include "device/bridge_ports.h"

namespace vark {
namespace {

BridgePort Com(std::uint16_t vid, std::uint8_t number) {
    BridgePort p;
    p.vendorId = vid;
    p.comNumber = number;
    p.path = number == kComNotFound ? "" : "COM" + std::to_string(number);
    p.tester = IsTesterPort(p, PortNaming::ComNumber);
    return p;
}

BridgePort Node(std::uint16_t vid, const std::string& path) {
    BridgePort p;
    p.vendorId = vid;
    p.path = path;
    p.tester = IsTesterPort(p, PortNaming::DeviceNode);
    return p;
}

TEST(TesterRules, VendorDecidesAndProductDoesNot) {
    EXPECT_TRUE(IsAcceptedVendor(0x10C4));
    EXPECT_TRUE(IsAcceptedVendor(0x0101));
    EXPECT_FALSE(IsAcceptedVendor(0x0403));
    EXPECT_FALSE(IsAcceptedVendor(0x10C5));
    BridgePort any = Node(0x0101, "/dev/ttyUSB3");
    any.productId = 0x1234;
    EXPECT_TRUE(IsTesterPort(any, PortNaming::DeviceNode));
    EXPECT_FALSE(IsTesterPort(Node(0x0403, "/dev/ttyUSB0"), PortNaming::DeviceNode));
    EXPECT_FALSE(IsTesterPort(Node(0x10C4, ""), PortNaming::DeviceNode));
}

TEST(TesterRules, ComNumbersThatCountAsATestersPort) {
    EXPECT_FALSE(Com(0x10C4, 0).tester);
    EXPECT_FALSE(Com(0x10C4, 1).tester) << "COM1 is never the tester's";
    EXPECT_TRUE(Com(0x10C4, 2).tester);
    EXPECT_TRUE(Com(0x10C4, 254).tester);
    EXPECT_FALSE(Com(0x10C4, kComNotFound).tester);
}

TEST(TesterRules, TheLastAcceptedBridgeGivesThePortCountedOrNot) {
    // One tester on COM5.
    TesterChoice c = ChooseTester({Com(0x10C4, 5)});
    EXPECT_EQ(c.count, 1u);
    ASSERT_TRUE(c.port);
    EXPECT_EQ(c.port->comNumber, 5);

    // Only COM1: not found, yet COM1 is the port.
    c = ChooseTester({Com(0x10C4, 1)});
    EXPECT_FALSE(c.Found());
    ASSERT_TRUE(c.port);
    EXPECT_EQ(c.port->comNumber, 1);

    // A second tester without a port: found once, and its failed lookup
    // is the port (which the link then refuses with its own failure).
    c = ChooseTester({Com(0x10C4, 5), Com(0x0101, kComNotFound)});
    EXPECT_EQ(c.count, 1u);
    EXPECT_EQ(c.port->comNumber, kComNotFound);

    // COM5 and COM7, in that order: two, and the second's port.
    c = ChooseTester({Com(0x10C4, 5), Com(0x0101, 7)});
    EXPECT_EQ(c.count, 2u);
    EXPECT_EQ(c.port->comNumber, 7);

    // Another vendor after them changes nothing.
    c = ChooseTester({Com(0x10C4, 5), Com(0x0101, 7), Com(0x0403, 9)});
    EXPECT_EQ(c.count, 2u);
    EXPECT_EQ(c.port->comNumber, 7);

    // Nothing accepted: no port at all.
    c = ChooseTester({Com(0x0403, 9)});
    EXPECT_FALSE(c.Found());
    EXPECT_FALSE(c.port);
    EXPECT_FALSE(ChooseTester({}).port);
}

TEST(TesterRules, TheAttachedTesterIsTheLastThatServes) {
    EXPECT_FALSE(AttachedTester({}));
    EXPECT_FALSE(AttachedTester({Node(0x0403, "/dev/ttyUSB0")}));
    const auto t = AttachedTester(
        {Node(0x10C4, "/dev/ttyUSB0"), Node(0x10C4, "/dev/ttyUSB1"), Node(0x0403, "/dev/ttyUSB2")});
    ASSERT_TRUE(t);
    EXPECT_EQ(t->path, "/dev/ttyUSB1");
    // A tester whose port cannot serve is passed over for one that can.
    EXPECT_EQ(AttachedTester({Com(0x10C4, 5), Com(0x10C4, kComNotFound)})->comNumber, 5);
}

TEST(TesterRules, PortsNamedByPeople) {
    EXPECT_FALSE(PortFromName(""));
    if (SystemPortNaming() == PortNaming::ComNumber) {
        EXPECT_EQ(PortFromName("COM7")->comNumber, 7);
        EXPECT_EQ(PortFromName("com12")->comNumber, 12);
        EXPECT_EQ(PortFromName("COM0")->comNumber, 0) << "refused by the link, not here";
        EXPECT_FALSE(PortFromName("COM256"));
        EXPECT_FALSE(PortFromName("COMX"));
        EXPECT_FALSE(PortFromName("/dev/ttyUSB0"));
    } else {
        EXPECT_EQ(PortFromName("/dev/pts/3")->path, "/dev/pts/3");
        EXPECT_EQ(PortFromName("COM7")->path, "COM7") << "a relative path, as given";
    }
}

}  // namespace
}  // namespace vark
