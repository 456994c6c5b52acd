// The bridge list on Linux: the kernel's USB serial devices, read from sysfs.
#pragma once

#include <string>
#include <vector>

#include "device/bridge_ports.h"

namespace vark {

// Every tty under <sysfsRoot>/class/tty whose device sits on a USB device,
// with that device's idVendor, idProduct, serial and product, and its node
// <devDir>/<name>; in tty name order. Attributes are read without waiting and
// only as much as an attribute can hold, so a tree that is not the kernel's
// (a FIFO, a huge file) cannot hold the walk up.
std::vector<BridgePort> ListBridgePorts(const std::string& sysfsRoot, const std::string& devDir);

}  // namespace vark
