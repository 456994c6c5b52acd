// The USB-to-UART bridges the system has, as one portable list, and the rules
// that pick the tester from it. Each platform makes the list its own way
// (bridge_ports_linux.cpp from sysfs, bridge_ports_win.cpp from the bridge
// maker's library and the registry); the rules here are the same everywhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vark {

inline constexpr std::uint16_t kVendorSiliconBridge = 0x10C4;
inline constexpr std::uint16_t kVendorAlternate = 0x0101;
// Any product of these two vendors is taken for the tester.
bool IsAcceptedVendor(std::uint16_t vendorId);

// How the platform names a port: by COM number ("\\.\COM5") or by the
// device node that is opened ("/dev/ttyUSB0").
enum class PortNaming { ComNumber, DeviceNode };
PortNaming SystemPortNaming();

// COM numbers: 0 for none yet, kComNotFound when the lookup failed; only 1 to
// 254 can be opened, and only 2 to 254 count as a tester's port.
inline constexpr std::uint8_t kComNotFound = 255;

struct BridgePort {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string serial;  // the device's serial-number string, as it gives it
    // What is opened: a device node, or a COM name ("COM5"); empty when the
    // system names no port for the bridge.
    std::string path;
    std::uint8_t comNumber = 0;  // with COM naming: the port's number
    bool tester = false;         // an accepted vendor on a port that can serve
    std::string label;           // for people: the product as the device names itself

    bool operator==(const BridgePort&) const = default;
};

// Whether `port` can serve as the tester's: an accepted vendor on a port that
// opens (a COM number from 2 to 254, or a device node).
bool IsTesterPort(const BridgePort& port, PortNaming naming);

// What discovery finds in a list: how many bridges are testers, and the port
// of the last bridge of an accepted vendor in list order, whatever its port,
// which the link then opens (or refuses with its own failure).
struct TesterChoice {
    unsigned count = 0;
    std::optional<BridgePort> port;
    bool Found() const { return count != 0; }
};
TesterChoice ChooseTester(const std::vector<BridgePort>& ports);

// The last bridge of the list that is a tester: what a person would call the
// attached tester.
std::optional<BridgePort> AttachedTester(const std::vector<BridgePort>& ports);

// The system's bridges, in the platform's order.
std::vector<BridgePort> ListBridgePorts();

// A port named by a person (a command line, the VARK_PORT variable): a COM
// name ("COM7", any case) on Windows, a device path elsewhere. Nothing when
// the name cannot be a port.
std::optional<BridgePort> PortFromName(const std::string& name);

}  // namespace vark
