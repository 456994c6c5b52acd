// Bridges that come and go: the platform's notices of serial ports arriving
// and leaving, turned into the bridge list as it stands. The watch starts
// listening before it lists the bridges for the first time, so that nothing
// plugged in meanwhile is missed.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "device/bridge_ports.h"

namespace vark {

struct PortSnapshot {
    std::vector<BridgePort> ports;  // as ListBridgePorts gives them
    // Ports just arrived that the system is still setting up (its device
    // manager's rules, a modem manager probing them): not to be opened yet.
    std::set<std::string> settling;

    bool operator==(const PortSnapshot&) const = default;
    // The ports that may be opened now.
    std::vector<BridgePort> Settled() const;
};

class PortWatch {
  public:
    // Called on the watch's own thread: once with the first listing, then
    // after every change.
    using Listener = std::function<void(const PortSnapshot&)>;
    virtual ~PortWatch() = default;
};

// The platform's watch, started; null where the system offers none. It stops
// (and its listener is no longer called) when it is destroyed.
std::unique_ptr<PortWatch> StartPortWatch(PortWatch::Listener listener);

// What every platform's watch does with a new snapshot: the first one is
// told, later ones only when they differ from the one told before.
class SnapshotTeller {
  public:
    explicit SnapshotTeller(PortWatch::Listener listener) : listener_(std::move(listener)) {}
    void Tell(const PortSnapshot& snapshot);

  private:
    PortWatch::Listener listener_;
    PortSnapshot last_;
    bool told_ = false;
};

}  // namespace vark
