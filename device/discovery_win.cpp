// Discovery on Windows: the bridge devices from the bridge maker's library,
// their "PortName" from the registry's USB enumeration keys.
#include <windows.h>

#include <string>

#include "device/bridge_library.h"
#include "device/discovery.h"
#include "device/text_win.h"

namespace vark {
namespace {

using win::Narrow;
using win::Widen;

class WindowsDeviceSources : public SystemDeviceSources {
  public:
    ~WindowsDeviceSources() override { CloseUsbEnumKey(); }

    bool DeviceCount(std::uint32_t& count) override {
        count = 0;
        return BridgeDeviceCount(&count) == 0;
    }

    bool OpenDevice(std::uint32_t index, Handle& handle) override {
        BridgeHandle h = nullptr;
        if (BridgeOpen(index, &h) != 0) {
            return false;
        }
        handle = reinterpret_cast<Handle>(h);
        return true;
    }

    bool VendorId(Handle handle, std::uint16_t& vid) override {
        return BridgeVendorId(reinterpret_cast<BridgeHandle>(handle), &vid) == 0;
    }

    bool ProductId(Handle handle, std::uint16_t& pid) override {
        return BridgeProductId(reinterpret_cast<BridgeHandle>(handle), &pid) == 0;
    }

    std::string SerialString(Handle handle) override {
        char buffer[kSerialBufferSize] = {};
        std::uint8_t length = 0;
        BridgeSerialString(reinterpret_cast<BridgeHandle>(handle), buffer, &length, 1);
        // The library gives no terminator; a length past the buffer is cut.
        return std::string(buffer, length < kSerialBufferSize ? length : kSerialBufferSize - 1);
    }

    void CloseDevice(Handle handle) override {
        BridgeClose(reinterpret_cast<BridgeHandle>(handle));
    }

    bool OpenUsbEnumKey() override {
        CloseUsbEnumKey();
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\", 0, KEY_READ,
                            &system_) != ERROR_SUCCESS) {
            system_ = nullptr;
            return false;
        }
        if (::RegOpenKeyW(system_, L"Enum\\USB\\", &usb_) != ERROR_SUCCESS) {
            usb_ = nullptr;
            CloseUsbEnumKey();
            return false;
        }
        return true;
    }

    void CloseUsbEnumKey() override {
        if (usb_) {
            ::RegCloseKey(usb_);
            usb_ = nullptr;
        }
        if (system_) {
            ::RegCloseKey(system_);
            system_ = nullptr;
        }
    }

    Result ReadPortName(const std::string& keyPath, std::string& value) override {
        if (!usb_) {
            return Result::NoKey;
        }
        HKEY key = nullptr;
        if (::RegOpenKeyExW(usb_, Widen(keyPath).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return Result::NoKey;
        }
        wchar_t buffer[kPortNameBufferSize / sizeof(wchar_t)] = {};
        DWORD size = sizeof buffer;
        DWORD type = 0;
        const LONG rc = ::RegQueryValueExW(key, L"PortName", nullptr, &type,
                                           reinterpret_cast<BYTE*>(buffer), &size);
        ::RegCloseKey(key);
        if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return Result::NoValue;
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
        value = Narrow(buffer, end);
        return Result::Value;
    }

  private:
    HKEY system_ = nullptr;
    HKEY usb_ = nullptr;
};

}  // namespace

std::unique_ptr<SystemDeviceSources> MakeSystemDeviceSources() {
    return std::make_unique<WindowsDeviceSources>();
}

}  // namespace vark
