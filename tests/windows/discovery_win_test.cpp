// Discovery through the bridge library (the stand-in DLL, bound by ordinal)
// and the real Win32 registry calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/owner_loop.h"
#include "device/serial_port.h"
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
        SerialPort port;
        LoopOwner owner(&port);
        const bool found = port.Discover(&owner);
        const int portNo = port.PortNo();
        const unsigned count = port.EnumerateDevices();
        return {found, portNo, count};
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
    SerialPort port;
    LoopOwner owner(&port);
    EXPECT_TRUE(port.Discover(&owner));
    EXPECT_EQ(port.PortNo(), 255);
    EXPECT_EQ(port.StartLink(), 0);
    EXPECT_EQ(owner.LastMessage(), "\n    PortNO:255  is Error!    \n");
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
