#include <windows.h>

#include <io.h>

#include <cstdio>

#include "platform/system.h"

namespace vark::platform {

std::string CurrentUserKey() {
    // The user's security identifier would be the exact key; the account name
    // is what the rest of the program can show and is unique on one machine.
    wchar_t name[257];
    DWORD size = sizeof name / sizeof name[0];
    if (!::GetUserNameW(name, &size) || size == 0) {
        return "user";
    }
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(size - 1), nullptr, 0,
                                        nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(size - 1), out.data(), n, nullptr,
                              nullptr);
    }
    return out;
}

std::optional<std::tm> LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    if (now == static_cast<std::time_t>(-1) || ::localtime_s(&tm, &now) != 0) {
        return std::nullopt;
    }
    return tm;
}

std::string ExecutablePath() {
    wchar_t path[32768];
    const DWORD size = ::GetModuleFileNameW(nullptr, path, sizeof path / sizeof path[0]);
    if (size == 0 || size >= sizeof path / sizeof path[0]) {
        return {};
    }
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(size), nullptr, 0,
                                        nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(size), out.data(), n, nullptr,
                              nullptr);
    }
    return out;
}

bool StandardErrorIsTerminal() {
    return ::_isatty(::_fileno(stderr)) != 0;
}

}  // namespace vark::platform

namespace vark::platform {
namespace {

std::string Utf8(const wchar_t* text, int length) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    }
    return out;
}

std::wstring Wide(std::string_view text) {
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) {
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                              n);
    }
    return out;
}

}  // namespace

std::optional<std::string> EnvironmentValue(std::string_view name) {
    const std::wstring wname = Wide(name);
    const DWORD size = ::GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
    if (size == 0) {
        return std::nullopt;
    }
    std::wstring value(size, L'\0');
    const DWORD got = ::GetEnvironmentVariableW(wname.c_str(), value.data(), size);
    return Utf8(value.data(), static_cast<int>(got));
}

std::string HostName() {
    wchar_t name[256];
    DWORD size = sizeof name / sizeof name[0];
    if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &size)) {
        size = sizeof name / sizeof name[0];
        if (!::GetComputerNameW(name, &size)) {
            return {};
        }
    }
    return Utf8(name, static_cast<int>(size));
}

std::string LoginName() {
    return CurrentUserKey();
}

std::string ConfigFolder() {
    return EnvironmentValue("APPDATA").value_or("");
}

std::string DataFolder() {
    return EnvironmentValue("LOCALAPPDATA").value_or("");
}

}  // namespace vark::platform
