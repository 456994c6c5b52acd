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

void SnapshotTeller::Tell(const PortSnapshot& snapshot) {
    if (told_ && snapshot == last_) {
        return;
    }
    told_ = true;
    last_ = snapshot;
    listener_(snapshot);
}

}  // namespace vark
