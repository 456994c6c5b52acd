// UTF-8 (the shared layers' texts) to and from the system's UTF-16.
#pragma once

#include <windows.h>

#include <string>

namespace vark::win {

inline std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) {
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(),
                              n);
    }
    return out;
}

// A message box of the program: caption "VARK-u", OK only.
inline void ShowMessageBox(HWND owner, const std::string& text) {
    ::MessageBoxW(owner, Wide(text).c_str(), L"VARK-u", MB_OK);
}

}  // namespace vark::win
