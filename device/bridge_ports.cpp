#include "device/bridge_ports.h"

namespace vark {

bool IsAcceptedVendor(std::uint16_t vendorId) {
    return vendorId == kVendorSiliconBridge || vendorId == kVendorAlternate;
}

bool IsTesterPort(const BridgePort& port, PortNaming naming) {
    if (!IsAcceptedVendor(port.vendorId)) {
        return false;
    }
    if (naming == PortNaming::ComNumber) {
        return port.comNumber > 1 && port.comNumber < kComNotFound;
    }
    return !port.path.empty();
}

TesterChoice ChooseTester(const std::vector<BridgePort>& ports) {
    TesterChoice choice;
    for (const BridgePort& p : ports) {
        if (!IsAcceptedVendor(p.vendorId)) {
            continue;
        }
        // Every accepted bridge takes the port, counted or not: the last wins.
        choice.port = p;
        if (p.tester) {
            ++choice.count;
        }
    }
    return choice;
}

std::optional<BridgePort> AttachedTester(const std::vector<BridgePort>& ports) {
    for (auto it = ports.rbegin(); it != ports.rend(); ++it) {
        if (it->tester) {
            return *it;
        }
    }
    return std::nullopt;
}

}  // namespace vark
