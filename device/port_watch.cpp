#include "device/port_watch.h"

namespace vark {

std::vector<BridgePort> PortSnapshot::Settled() const {
    std::vector<BridgePort> out;
    for (const BridgePort& p : ports) {
        if (settling.count(p.path) == 0) {
            out.push_back(p);
        }
    }
    return out;
}

}  // namespace vark
