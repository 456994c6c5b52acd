// Text between the program's 8-bit strings and the wide strings of the Win32
// calls, in the system's ANSI code page (as the serial strings and port names
// come from the system).
#pragma once

#include <windows.h>

#include <string>

namespace vark::win {

inline std::wstring Widen(const std::string& s) {
    if (s.empty()) {
        return {};
    }
    const int size = static_cast<int>(s.size());
    const int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) {
        ::MultiByteToWideChar(CP_ACP, 0, s.data(), size, out.data(), n);
    }
    return out;
}

inline std::string Narrow(const wchar_t* s, std::size_t length) {
    if (length == 0) {
        return {};
    }
    const int size = static_cast<int>(length);
    const int n = ::WideCharToMultiByte(CP_ACP, 0, s, size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        ::WideCharToMultiByte(CP_ACP, 0, s, size, out.data(), n, nullptr, nullptr);
    }
    return out;
}

}  // namespace vark::win
