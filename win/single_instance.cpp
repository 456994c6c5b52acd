#include "win/single_instance.h"

namespace vark::win {

std::wstring ExecutableBaseName() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) {
            return L"VARK-u";
        }
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    std::wstring base = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const std::size_t dot = base.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0) {
        base.resize(dot);
    }
    return base;
}

HWND FindMarkedWindow(const std::wstring& name) {
    for (HWND w = ::GetWindow(::GetDesktopWindow(), GW_CHILD); ::IsWindow(w);
         w = ::GetWindow(w, GW_HWNDNEXT)) {
        if (::GetPropW(w, name.c_str()) != nullptr) {
            return w;
        }
    }
    return nullptr;
}

namespace {

// The window's modal dialog when it shows one: a visible, enabled window it
// owns. Wine does not track the last active pop-up of another process's
// window, so a disabled owner is looked behind as well.
HWND FrontPopup(HWND owner) {
    HWND popup = ::GetLastActivePopup(owner);
    if (popup != nullptr && popup != owner) {
        return popup;
    }
    if (::IsWindowEnabled(owner)) {
        return owner;
    }
    struct Search {
        HWND owner;
        HWND found;
    } s{owner, owner};
    ::EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            if (::GetWindow(w, GW_OWNER) == s->owner && ::IsWindowVisible(w) &&
                ::IsWindowEnabled(w)) {
                s->found = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

}  // namespace

bool ClaimSingleInstance(const std::wstring& name) {
    // Never waited on nor released: it only holds the name, until the
    // process ends. A failed creation runs the program as the first.
    HANDLE semaphore = ::CreateSemaphoreW(nullptr, 1, 1, name.c_str());
    if (semaphore == nullptr || ::GetLastError() != ERROR_ALREADY_EXISTS) {
        return true;
    }
    ::CloseHandle(semaphore);
    HWND running = FindMarkedWindow(name);
    if (running == nullptr) {
        return false;
    }
    if (::IsIconic(running)) {
        ::ShowWindow(running, SW_RESTORE);
    }
    ::SetForegroundWindow(running);
    // A modal dialog of the running window comes to the front over it.
    ::SetForegroundWindow(FrontPopup(running));
    return false;
}

}  // namespace vark::win
