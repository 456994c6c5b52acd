// Discovery on Linux: the kernel's USB serial devices as both sources.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "device/discovery.h"

namespace vark {

// The kernel's USB serial devices: every tty under <sysfs>/class/tty whose
// device sits on a USB device (idVendor, idProduct, serial read from it).
// As a PortNameSource it answers the key paths of those devices with their
// device node (<devDir>/<name>), so the same lookup finds a tty on Linux.
class SysfsUsbSerial : public SystemDeviceSources {
  public:
    struct Entry {
        std::string name;  // ttyUSB0
        std::string node;  // /dev/ttyUSB0
        std::uint16_t vid = 0;
        std::uint16_t pid = 0;
        std::string serial;
        bool composite = false;  // more than one interface on the USB device
    };

    explicit SysfsUsbSerial(std::filesystem::path sysfsRoot = "/sys",
                            std::filesystem::path devDir = "/dev");

    // Reads the tree again; the list is also read on the first use.
    void Rescan();
    const std::vector<Entry>& Entries();

    bool DeviceCount(std::uint32_t& count) override;
    bool OpenDevice(std::uint32_t index, Handle& handle) override;
    bool VendorId(Handle handle, std::uint16_t& vid) override;
    bool ProductId(Handle handle, std::uint16_t& pid) override;
    std::string SerialString(Handle handle) override;
    void CloseDevice(Handle handle) override;

    Result ReadPortName(const std::string& keyPath, std::string& value) override;
    bool ValueFits(const std::string& value) const override { return DevicePathFits(value); }

  private:
    const Entry* At(Handle handle);

    std::filesystem::path root_;
    std::filesystem::path dev_;
    std::vector<Entry> entries_;
    bool scanned_ = false;
};

}  // namespace vark
