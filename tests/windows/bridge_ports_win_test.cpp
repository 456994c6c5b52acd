// The Windows bridge list through the bridge library (the stand-in DLL,
// bound by ordinal) and the real Win32 registry calls, with the shared rules
// that pick the tester from it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/bridge_ports.h"
#include "device/bridge_ports_win.h"
#include "device/tester_link.h"
#include "tests/windows/win_test_support.h"

namespace vark {
namespace {

using wintest::DropKey;
using wintest::PutKey;

class WinDiscoveryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Serials unique to this run, so keys of an earlier run cannot answer.
        tag_ = "T" + std::to_string(::GetCurrentProcessId()) + "x" + std::to_string(++counter_);
    }
    void TearDown() override {
        for (const auto& k : keys_) {
            DropKey(k);
        }
    }

    std::string Serial(const std::string& name) const { return tag_ + name; }

    // The plain key of a device with its PortName (null: key without value).
    void Plain(const std::string& vidPid, const std::string& serial, const char* value) {
        const std::string key = vidPid + "\\" + serial;
        keys_.push_back(key);
        PutKey(key + "\\Device Parameters", value);
    }
    void Composite(const std::string& vidPid, const std::string& serial, const char* value) {
        const std::string key = vidPid + "&Mi_00\\" + serial + "_00";
        keys_.push_back(key);
        PutKey(key + "\\Device Parameters", value);
    }

    struct Outcome {
        bool found;
        int portNo;
        unsigned count;
    };
    Outcome Discover(const std::vector<std::string>& devices) {
        list_.Write(devices);
        const TesterChoice c = ChooseTester(ListBridgePorts());
        return {c.Found(), c.port ? c.port->comNumber : 0, c.count};
    }

    static inline int counter_ = 0;
    std::string tag_;
    std::vector<std::string> keys_;
    wintest::DeviceListFile list_;
};

TEST_F(WinDiscoveryTest, OneTesterIsCountedOnlyOnAUsablePort) {
    Plain("Vid_10c4&Pid_ea60", Serial("A"), "COM5");
    Plain("Vid_10c4&Pid_ea60", Serial("B"), "COM1");
    auto r = Discover({"10c4 ea60 " + Serial("A")});
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.portNo, 5);
    EXPECT_EQ(r.count, 1u);

    r = Discover({"10c4 ea60 " + Serial("B")});
    EXPECT_FALSE(r.found) << "COM1 is not a tester's port";
    EXPECT_EQ(r.portNo, 1);
}

TEST_F(WinDiscoveryTest, TheLastAcceptedDeviceSetsThePort) {
    Plain("Vid_10c4&Pid_ea60", Serial("A"), "COM5");
    Plain("Vid_10c4&Pid_ea60", Serial("C"), "COM7");
    auto r = Discover({"10c4 ea60 " + Serial("A"), "10c4 ea60 " + Serial("C")});
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.count, 2u);
    EXPECT_EQ(r.portNo, 7);

    // The second tester has no registry entry: still found, but the port is
    // the lookup's failure, which the link then refuses with its message.
    list_.Write({"10c4 ea60 " + Serial("A"), "10c4 ea60 " + Serial("none")});
    const TesterChoice c = ChooseTester(ListBridgePorts());
    EXPECT_TRUE(c.Found());
    ASSERT_TRUE(c.port);
    EXPECT_EQ(c.port->comNumber, 255);
    TesterLink link;
    link.UsePort(*c.port);
    const auto failed = link.StartLink();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->failure.step, PortFailure::Step::NoPort);
    EXPECT_EQ(failed->failure.port.comNumber, 255);
}

TEST_F(WinDiscoveryTest, TheListSaysWhatEachBridgeIs) {
    Plain("Vid_10c4&Pid_ea60", Serial("A"), "COM5");
    Plain("Vid_0403&Pid_6001", Serial("F"), "COM9");
    list_.Write(
        {"10c4 ea60 " + Serial("A"), "0403 6001 " + Serial("F"), "0101 0002 " + Serial("X")});
    const std::vector<BridgePort> ports = ListBridgePorts();
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].vendorId, 0x10C4);
    EXPECT_EQ(ports[0].productId, 0xEA60);
    EXPECT_EQ(ports[0].serial, Serial("A"));
    EXPECT_EQ(ports[0].path, "COM5");
    EXPECT_EQ(ports[0].comNumber, 5);
    EXPECT_TRUE(ports[0].tester);
    EXPECT_EQ(ports[0].label, "VARK-u bridge") << "the library's product string";
    EXPECT_EQ(ports[1].path, "COM9");
    EXPECT_FALSE(ports[1].tester) << "another vendor";
    EXPECT_EQ(ports[2].path, "");
    EXPECT_EQ(ports[2].comNumber, 255);
    EXPECT_FALSE(ports[2].tester) << "no port";
    EXPECT_EQ(AttachedTester(ports)->path, "COM5");
}

TEST(WinPortName, NumbersAfterThreeLetters) {
    const std::pair<std::string, int> cases[] = {
        {"COM1", 1}, {"COM12", 12}, {"COM300", 44}, {"com7", 7},
        {"COM", 0},  {"CO", 255},   {"COM 5", 0},   {"XYZ9x", 9},
    };
    for (const auto& [value, number] : cases) {
        EXPECT_EQ(win::ParsePortNumber(value), number) << value;
    }
    EXPECT_EQ(win::PlainKeyPath(0x10C4, 0xEA60, "AB_12"),
              "Vid_10c4&Pid_ea60\\AB_12\\Device Parameters\\");
    EXPECT_EQ(win::CompositeKeyPath(0x10C4, 0xEA60, "AB_12"),
              "Vid_10c4&Pid_ea60&Mi_00\\AB_12_00\\Device Parameters\\");
}

TEST_F(WinDiscoveryTest, VendorDecidesAndProductDoesNot) {
    Plain("Vid_10c4&Pid_ea60", Serial("A"), "COM5");
    Plain("Vid_0403&Pid_6001", Serial("F"), "COM9");
    Plain("Vid_0101&Pid_1234", Serial("G"), "COM6");
    auto r = Discover({"10c4 ea60 " + Serial("A"), "0403 6001 " + Serial("F")});
    EXPECT_EQ(r.count, 1u);
    EXPECT_EQ(r.portNo, 5) << "another vendor's device must not change the port";

    r = Discover({"0101 1234 " + Serial("G")});
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.portNo, 6);

    r = Discover({"0403 6001 " + Serial("F")});
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.portNo, 0);
}

TEST_F(WinDiscoveryTest, KeyPathsAndValues) {
    // Spaces in the serial name the key with "_".
    Plain("Vid_10c4&Pid_ea60", Serial("AB_12"), "COM12");
    auto r = Discover({"10c4 ea60 " + Serial("AB 12")});
    EXPECT_EQ(r.portNo, 12);

    // The composite key wins over the plain one.
    Composite("Vid_10c4&Pid_ea61", Serial("M"), "COM8");
    Plain("Vid_10c4&Pid_ea61", Serial("M"), "COM9");
    r = Discover({"10c4 ea61 " + Serial("M")});
    EXPECT_EQ(r.portNo, 8);

    // A composite key without the value is not passed over for the plain one.
    Composite("Vid_10c4&Pid_ea62", Serial("N"), nullptr);
    Plain("Vid_10c4&Pid_ea62", Serial("N"), "COM9");
    r = Discover({"10c4 ea62 " + Serial("N")});
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.portNo, 255);

    // Only the low 8 bits of the number count.
    Plain("Vid_10c4&Pid_ea60", Serial("H"), "COM300");
    r = Discover({"10c4 ea60 " + Serial("H")});
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.portNo, 44);

    // Too short to hold a port name.
    Plain("Vid_10c4&Pid_ea60", Serial("S"), "CO");
    r = Discover({"10c4 ea60 " + Serial("S")});
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.portNo, 255);

    // A value longer than the 100-byte buffer cannot be read.
    Plain("Vid_10c4&Pid_ea60", Serial("L"), ("COM5" + std::string(60, ' ')).c_str());
    r = Discover({"10c4 ea60 " + Serial("L")});
    EXPECT_EQ(r.portNo, 255);
}

TEST_F(WinDiscoveryTest, DevicesThatCannotBeOpenedOrAreMissingAreSkipped) {
    Plain("Vid_10c4&Pid_ea60", Serial("A"), "COM5");
    auto r = Discover({"!10c4 ea60 " + Serial("A")});
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.portNo, 0);

    r = Discover({});
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.portNo, 0);

    // A serial of 63 characters is read whole; the library gives no more.
    const std::string longSerial = Serial(std::string(63 - Serial("").size(), 'Z'));
    Plain("Vid_10c4&Pid_ea60", longSerial, "COM4");
    r = Discover({"10c4 ea60 " + longSerial + "TAIL"});
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.portNo, 4);
}

}  // namespace
}  // namespace vark
