// Registry keys and a bridge device list for tests that run under Wine: the
// keys are real ones under HKLM\SYSTEM\CurrentControlSet\Enum\USB, the device
// list is the file the stand-in bridge library serves.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vark::wintest {

inline std::wstring Widen(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

inline constexpr const wchar_t* kUsbEnum = L"SYSTEM\\CurrentControlSet\\Enum\\USB";

// Creates Enum\USB\<path> and, unless `value` is null, its "PortName".
inline void PutKey(const std::string& path, const char* value) {
    HKEY key = nullptr;
    const std::wstring full = std::wstring(kUsbEnum) + L"\\" + Widen(path);
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, full.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    if (value) {
        const std::wstring v = Widen(value);
        ASSERT_EQ(
            ::RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                             static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
    }
    ::RegCloseKey(key);
}

// Removes Enum\USB\<path> with everything below it.
inline void DropKey(const std::string& path) {
    const std::wstring full = std::wstring(kUsbEnum) + L"\\" + Widen(path);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, full.c_str());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, full.c_str());
}

// Writes the stand-in library's device list and points it there.
class DeviceListFile {
  public:
    DeviceListFile() {
        path_ = std::filesystem::temp_directory_path() /
                ("vark-bridge-" + std::to_string(::GetCurrentProcessId()) + ".txt");
        Write({});
    }
    ~DeviceListFile() {
        ::SetEnvironmentVariableA("VARK_BRIDGE_DEVICES", nullptr);
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    void Write(const std::vector<std::string>& lines) {
        std::ofstream out(path_, std::ios::trunc);
        for (const auto& l : lines) {
            out << l << '\n';
        }
        out.close();
        ::SetEnvironmentVariableA("VARK_BRIDGE_DEVICES", path_.string().c_str());
    }

  private:
    std::filesystem::path path_;
};

}  // namespace vark::wintest
