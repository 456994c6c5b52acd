// Where discovery learns about testers: a source of USB-to-UART bridge
// devices (the chip maker's device list) and a source of "PortName" values by
// registry key path. The lookup rules sit in SerialPort and in the
// helpers below; the sources only answer questions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vark {

inline constexpr std::uint16_t kVendorSiliconBridge = 0x10C4;
inline constexpr std::uint16_t kVendorAlternate = 0x0101;
inline bool IsAcceptedVendor(std::uint16_t vid) {
    return vid == kVendorSiliconBridge || vid == kVendorAlternate;
}

inline constexpr std::uint8_t kPortNotFound = 255;
inline constexpr std::size_t kSerialBufferSize = 64;     // serial string, terminator included
inline constexpr std::size_t kPortNameBufferSize = 100;  // bytes of UTF-16, terminator included

class BridgeDeviceSource {
  public:
    using Handle = std::uintptr_t;
    virtual ~BridgeDeviceSource() = default;

    // Number of attached bridge devices; false when it cannot be known.
    virtual bool DeviceCount(std::uint32_t& count) = 0;
    virtual bool OpenDevice(std::uint32_t index, Handle& handle) = 0;
    virtual bool VendorId(Handle handle, std::uint16_t& vid) = 0;
    virtual bool ProductId(Handle handle, std::uint16_t& pid) = 0;
    // The serial-number string, 8-bit characters, at most 63 of them.
    virtual std::string SerialString(Handle handle) = 0;
    virtual void CloseDevice(Handle handle) = 0;
};

class PortNameSource {
  public:
    enum class Result { NoKey, NoValue, Value };
    virtual ~PortNameSource() = default;

    // False when HKLM\SYSTEM\CurrentControlSet\ or its Enum\USB\ cannot be opened.
    // Every successful open is followed by one CloseUsbEnumKey.
    virtual bool OpenUsbEnumKey() { return true; }
    virtual void CloseUsbEnumKey() {}
    // The "PortName" value of the key at `keyPath` under
    // SYSTEM\CurrentControlSet\Enum\USB\ (paths compare case-insensitively).
    virtual Result ReadPortName(const std::string& keyPath, std::string& value) = 0;
    // Whether `value` can be read whole: the registry's value buffer holds
    // 100 bytes of UTF-16, terminator included.
    virtual bool ValueFits(const std::string& value) const {
        return (value.size() + 1) * 2 <= kPortNameBufferSize;
    }
};

// Device paths (a /dev/serial/by-id/... name is about 90 characters) are
// bounded by the file system's path limit, not by the registry's buffer.
bool DevicePathFits(const std::string& value);

// The two key paths of a device under Enum\USB\, composite form first.
// `serial` is used as given (spaces already replaced).
std::string CompositeKeyPath(std::uint16_t vid, std::uint16_t pid, const std::string& serial);
std::string PlainKeyPath(std::uint16_t vid, std::uint16_t pid, const std::string& serial);

// Spaces become "_", in place, as registry key names have them.
void ReplaceSpaces(std::string& serial);

// The port number in a "PortName" value such as COM5: the first three
// characters are taken as letters and zeroed, the whole parsed as a decimal
// number up to the first non-digit, low 8 bits kept (COM300 gives 44). Values
// shorter than three characters give kPortNotFound.
std::uint8_t ParsePortNumber(const std::string& value);

// The "PortName" value for a device: composite key first, the plain key only
// when the composite key does not exist. Empty when not found.
std::string LookupPortValue(PortNameSource& names, std::uint16_t vid, std::uint16_t pid,
                            std::string& serial);

// A device list given in advance, for a port named on a command line and for
// tests of the programs above this layer (a tester "found" on a pty). Each
// device answers its plain key path (composite when asked) with `portValue`.
class FixedDeviceList : public BridgeDeviceSource, public PortNameSource {
  public:
    struct Device {
        std::uint16_t vid = kVendorSiliconBridge;
        std::uint16_t pid = 0xEA60;
        std::string serial;
        std::string portValue;  // "COM5", or a device node
        bool composite = false;
    };
    FixedDeviceList() = default;
    explicit FixedDeviceList(std::vector<Device> devices) : devices_(std::move(devices)) {}
    void Add(Device d) { devices_.push_back(std::move(d)); }

    bool DeviceCount(std::uint32_t& count) override;
    bool OpenDevice(std::uint32_t index, Handle& handle) override;
    bool VendorId(Handle handle, std::uint16_t& vid) override;
    bool ProductId(Handle handle, std::uint16_t& pid) override;
    std::string SerialString(Handle handle) override;
    void CloseDevice(Handle) override {}
    Result ReadPortName(const std::string& keyPath, std::string& value) override;
    bool ValueFits(const std::string& value) const override { return DevicePathFits(value); }

  private:
    std::vector<Device> devices_;
};

// The system's own device sources: one object answers both questions. Each
// platform's discovery_<platform>.cpp makes it, and the build picks one.
class SystemDeviceSources : public BridgeDeviceSource, public PortNameSource {};
std::unique_ptr<SystemDeviceSources> MakeSystemDeviceSources();

// Whether a device with these ids and serial (spaces not yet replaced) has
// the key path `keyPath`, composite or plain as it has one, compared without
// case: how a source without a registry answers ReadPortName.
bool HasKeyPath(const std::string& keyPath, std::uint16_t vid, std::uint16_t pid,
                std::string serial, bool composite);

}  // namespace vark
