// The bridge list on Windows: the bridge devices from the bridge maker's
// library, each one's COM port from the registry's USB enumeration keys.
#include "device/bridge_ports_win.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

#include "device/bridge_library.h"
#include "device/bridge_ports.h"
#include "device/text_win.h"

namespace vark {
namespace win {

std::string CompositeKeyPath(std::uint16_t vid, std::uint16_t pid, const std::string& serial) {
    char head[40];
    std::snprintf(head, sizeof head, "Vid_%04x&Pid_%04x&Mi_00\\", vid, pid);
    return head + serial + "_00\\Device Parameters\\";
}

std::string PlainKeyPath(std::uint16_t vid, std::uint16_t pid, const std::string& serial) {
    char head[32];
    std::snprintf(head, sizeof head, "Vid_%04x&Pid_%04x\\", vid, pid);
    return head + serial + "\\Device Parameters\\";
}

std::uint8_t ParsePortNumber(const std::string& value) {
    if (value.size() < 3) {
        return kComNotFound;
    }
    // The letters become zeros and the whole is parsed as a decimal number;
    // as it now starts with a digit, blanks or a sign after the letters end it.
    std::string digits = value;
    digits[0] = digits[1] = digits[2] = '0';
    unsigned n = 0;
    for (std::size_t i = 0;
         i < digits.size() && std::isdigit(static_cast<unsigned char>(digits[i])); ++i) {
        n = (n * 10 + static_cast<unsigned>(digits[i] - '0')) & 0xFFFF;
    }
    return static_cast<std::uint8_t>(n & 0xFF);
}

}  // namespace win

namespace {

// The serial string (63 characters at most) and the product string (127),
// each read into its own buffer; the library gives no terminator.
constexpr std::size_t kSerialBuffer = 64;
constexpr std::size_t kProductBuffer = 128;
// The registry's "PortName" is read into 100 bytes of UTF-16, terminator included.
constexpr std::size_t kPortNameBuffer = 100;

std::string LibraryString(BridgeHandle h, std::size_t room,
                          BridgeStatus(__stdcall* read)(BridgeHandle, char*, std::uint8_t*, int)) {
    char buffer[kProductBuffer] = {};
    std::uint8_t length = 0;
    read(h, buffer, &length, 1);
    return std::string(buffer, std::min<std::size_t>(length, room - 1));
}

// The open USB enumeration key, HKLM\SYSTEM\CurrentControlSet\Enum\USB\.
class UsbEnumKey {
  public:
    UsbEnumKey() {
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\", 0, KEY_READ,
                            &system_) != ERROR_SUCCESS) {
            system_ = nullptr;
            return;
        }
        if (::RegOpenKeyW(system_, L"Enum\\USB\\", &usb_) != ERROR_SUCCESS) {
            usb_ = nullptr;
        }
    }
    ~UsbEnumKey() {
        if (usb_) {
            ::RegCloseKey(usb_);
        }
        if (system_) {
            ::RegCloseKey(system_);
        }
    }
    UsbEnumKey(const UsbEnumKey&) = delete;
    UsbEnumKey& operator=(const UsbEnumKey&) = delete;

    bool IsOpen() const { return usb_ != nullptr; }

    enum class Result { NoKey, NoValue, Value };
    // The "PortName" value of the key at `keyPath` below Enum\USB\.
    Result ReadPortName(const std::string& keyPath, std::string& value) const {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(usb_, win::Widen(keyPath).c_str(), 0, KEY_READ, &key) !=
            ERROR_SUCCESS) {
            return Result::NoKey;
        }
        wchar_t buffer[kPortNameBuffer / sizeof(wchar_t)] = {};
        DWORD size = sizeof buffer;
        DWORD type = 0;
        const LONG rc = ::RegQueryValueExW(key, L"PortName", nullptr, &type,
                                           reinterpret_cast<BYTE*>(buffer), &size);
        ::RegCloseKey(key);
        if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return Result::NoValue;  // also a value too long for the buffer
        }
        // A value stored without its terminator fills the buffer exactly; the
        // last character then gives way to the terminator the parse needs.
        std::size_t length = size / sizeof(wchar_t);
        if (length >= sizeof buffer / sizeof buffer[0]) {
            length = sizeof buffer / sizeof buffer[0] - 1;
        }
        buffer[length] = L'\0';
        std::size_t end = 0;
        while (end < length && buffer[end] != L'\0') {
            ++end;
        }
        value = win::Narrow(buffer, end);
        return Result::Value;
    }

  private:
    HKEY system_ = nullptr;
    HKEY usb_ = nullptr;
};

// The "PortName" of a device: the composite key first, the plain key only
// when the composite key does not exist. Empty when not found.
std::string LookupPortName(std::uint16_t vid, std::uint16_t pid, std::string serial) {
    const UsbEnumKey keys;
    if (!keys.IsOpen()) {
        return {};
    }
    std::replace(serial.begin(), serial.end(), ' ', '_');
    std::string value;
    auto result = keys.ReadPortName(win::CompositeKeyPath(vid, pid, serial), value);
    if (result == UsbEnumKey::Result::NoKey) {
        result = keys.ReadPortName(win::PlainKeyPath(vid, pid, serial), value);
    }
    return result == UsbEnumKey::Result::Value ? value : std::string();
}

}  // namespace

std::vector<BridgePort> ListBridgePorts() {
    std::vector<BridgePort> ports;
    std::uint32_t n = 0;
    if (BridgeDeviceCount(&n) != 0) {
        n = 0;
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        BridgeHandle h = nullptr;
        if (BridgeOpen(i, &h) != 0) {
            continue;
        }
        BridgePort port;
        if (BridgeVendorId(h, &port.vendorId) == 0 && BridgeProductId(h, &port.productId) == 0) {
            port.label = LibraryString(h, kProductBuffer, BridgeProductString);
            port.serial = LibraryString(h, kSerialBuffer, BridgeSerialString);
            const std::string value = LookupPortName(port.vendorId, port.productId, port.serial);
            port.comNumber = value.empty() ? kComNotFound : win::ParsePortNumber(value);
            port.path = value;
            port.tester = IsTesterPort(port, PortNaming::ComNumber);
            ports.push_back(std::move(port));
        }
        BridgeClose(h);
    }
    return ports;
}

std::optional<BridgePort> PortFromName(const std::string& name) {
    // "COM7" in any case names port 7; numbers that cannot be a port (0, 255)
    // are refused later by the link with its own message.
    if (name.size() < 4 || name.size() > 6 ||
        std::tolower(static_cast<unsigned char>(name[0])) != 'c' ||
        std::tolower(static_cast<unsigned char>(name[1])) != 'o' ||
        std::tolower(static_cast<unsigned char>(name[2])) != 'm') {
        return std::nullopt;
    }
    unsigned number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) {
            return std::nullopt;
        }
        number = number * 10 + static_cast<unsigned>(name[i] - '0');
    }
    if (number > 255) {
        return std::nullopt;
    }
    BridgePort port;
    port.path = name;
    port.comNumber = static_cast<std::uint8_t>(number);
    port.tester = true;
    return port;
}

}  // namespace vark
