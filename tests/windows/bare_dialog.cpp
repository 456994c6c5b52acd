// The yardstick VARK-u.exe's start-up is measured against: a bare Win32
// dialog of the main window's size with one line of text and an OK button,
// from a template built in memory, with the system's defaults and nothing
// else. Escape, OK and the close box end it.
#include <windows.h>

#include <cstring>
#include <vector>

namespace {

void Put(std::vector<WORD>& t, const wchar_t* s) {
    for (; *s; ++s) {
        t.push_back(static_cast<WORD>(*s));
    }
    t.push_back(0);
}

void Align(std::vector<WORD>& t) {
    if (t.size() % 2) {
        t.push_back(0);
    }
}

void Item(std::vector<WORD>& t, DWORD style, short x, short y, short cx, short cy, WORD id,
          WORD cls, const wchar_t* text) {
    Align(t);
    DLGITEMTEMPLATE item{style | WS_CHILD | WS_VISIBLE, 0, x, y, cx, cy, id};
    const auto* w = reinterpret_cast<const WORD*>(&item);
    t.insert(t.end(), w, w + sizeof item / 2);
    t.push_back(0xFFFF);
    t.push_back(cls);
    Put(t, text);
    t.push_back(0);
}

INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_INITDIALOG) {
        return TRUE;
    }
    if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        ::EndDialog(hwnd, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    std::vector<WORD> t;
    DLGTEMPLATE head{
        WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_SETFONT, 0, 2, 0, 0, 480, 360};
    const auto* w = reinterpret_cast<const WORD*>(&head);
    t.insert(t.end(), w, w + sizeof head / 2);
    t.push_back(0);  // no menu
    t.push_back(0);  // the dialog class
    Put(t, L"Bare dialog");
    t.push_back(8);
    Put(t, L"MS Sans Serif");
    Item(t, SS_LEFT, 10, 10, 200, 8, 0xFFFF, 0x0082, L"A plain dialog with a line of text.");
    Item(t, BS_DEFPUSHBUTTON | WS_TABSTOP, 420, 10, 50, 14, IDOK, 0x0080, L"OK");
    Align(t);
    return static_cast<int>(::DialogBoxIndirectParamW(
        instance, reinterpret_cast<const DLGTEMPLATE*>(t.data()), nullptr, Proc, 0));
}
