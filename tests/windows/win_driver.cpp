// Reads VARK-u.exe's windows back through Win32 from another process, the way
// a test harness must: window texts, styles, classes and ids, control
// geometry against the dialog units of the template's font, and the common
// controls' own messages (their structures go through the program's memory).
// Usage: vark-win-driver COMMAND [ARGS]; see main() for the commands. Prints
// one "ok:" line per passed check group and a "FAIL:" line per fault; the
// status is 1 when anything failed.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <string>
#include <vector>

namespace {

int g_failures = 0;

void Fail(const std::string& what) {
    std::printf("FAIL: %s\n", what.c_str());
    ++g_failures;
}

bool Check(bool ok, const std::string& what) {
    if (!ok) {
        Fail(what);
    }
    return ok;
}

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) {
        s.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return s;
}

std::wstring Text(HWND w) {
    wchar_t buf[512] = {};
    ::GetWindowTextW(w, buf, 512);
    return buf;
}

std::wstring ClassOf(HWND w) {
    wchar_t buf[128] = {};
    ::GetClassNameW(w, buf, 128);
    return buf;
}

DWORD Style(HWND w) {
    return static_cast<DWORD>(::GetWindowLongPtrW(w, GWL_STYLE));
}

DWORD ExStyle(HWND w) {
    return static_cast<DWORD>(::GetWindowLongPtrW(w, GWL_EXSTYLE));
}

// A top-level dialog window with this caption, visible; null when none.
HWND FindDialog(const std::wstring& caption, int* count = nullptr) {
    struct Search {
        std::wstring caption;
        HWND found = nullptr;
        int count = 0;
    } s{caption};
    ::EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            if (::IsWindowVisible(w) && ClassOf(w) == L"#32770" && Text(w) == s->caption) {
                if (!s->found) {
                    s->found = w;
                }
                ++s->count;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    if (count) {
        *count = s.count;
    }
    return s.found;
}

HWND WaitDialog(const std::wstring& caption, int ms) {
    for (int t = 0; t < ms; t += 50) {
        if (HWND w = FindDialog(caption)) {
            return w;
        }
        ::Sleep(50);
    }
    return nullptr;
}

// Memory in the window's process for the controls' structures.
class Remote {
  public:
    Remote(HWND w, std::size_t size) : size_(size) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(w, &pid);
        process_ =
            ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process_) {
            at_ =
                ::VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        }
    }
    ~Remote() {
        if (at_) {
            ::VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
        }
        if (process_) {
            ::CloseHandle(process_);
        }
    }
    bool ok() const { return at_ != nullptr; }
    LPARAM at(std::size_t offset = 0) const {
        return reinterpret_cast<LPARAM>(static_cast<char*>(at_) + offset);
    }
    void Write(const void* data, std::size_t n, std::size_t offset = 0) {
        ::WriteProcessMemory(process_, static_cast<char*>(at_) + offset, data, n, nullptr);
    }
    void Read(void* data, std::size_t n, std::size_t offset = 0) {
        ::ReadProcessMemory(process_, static_cast<char*>(at_) + offset, data, n, nullptr);
    }

  private:
    HANDLE process_ = nullptr;
    void* at_ = nullptr;
    std::size_t size_;
};

// Dialog units of a template font, measured as the dialog manager does: the
// average width of the 52 letters and the font's height.
struct Units {
    int x = 0;
    int y = 0;
};

Units UnitsOf(const wchar_t* face, int points) {
    HDC dc = ::GetDC(nullptr);
    LOGFONTW lf{};
    lf.lfHeight = -::MulDiv(points, ::GetDeviceCaps(dc, LOGPIXELSY), 72);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    HFONT font = ::CreateFontIndirectW(&lf);
    HGDIOBJ old = ::SelectObject(dc, font);
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc, &tm);
    SIZE size{};
    const wchar_t* letters = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    ::GetTextExtentPoint32W(dc, letters, 52, &size);
    ::SelectObject(dc, old);
    ::DeleteObject(font);
    ::ReleaseDC(nullptr, dc);
    return {static_cast<int>((size.cx / 26 + 1) / 2), static_cast<int>(tm.tmHeight)};
}

RECT InParent(HWND w) {
    RECT r{};
    ::GetWindowRect(w, &r);
    ::MapWindowPoints(nullptr, ::GetParent(w), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string Describe(const RECT& r) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "(%ld, %ld, %ld x %ld)", r.left, r.top, r.right - r.left,
                  r.bottom - r.top);
    return buf;
}

void CheckBox(HWND w, int x, int y, int cx, int cy, const std::string& name) {
    const RECT r = InParent(w);
    const RECT want{x, y, x + cx, y + cy};
    Check(::EqualRect(&r, &want), name + " at " + Describe(r) + ", not " + Describe(want));
}

void CheckDlu(HWND w, Units u, int x, int y, int cx, int cy, const std::string& name) {
    CheckBox(w, ::MulDiv(x, u.x, 4), ::MulDiv(y, u.y, 8), ::MulDiv(cx, u.x, 4),
             ::MulDiv(cy, u.y, 8), name);
}

void CheckClientDlu(HWND w, Units u, int cx, int cy, const std::string& name) {
    RECT r{};
    ::GetClientRect(w, &r);
    Check(r.right == ::MulDiv(cx, u.x, 4) && r.bottom == ::MulDiv(cy, u.y, 8),
          name + " client " + Describe(r) + " is not " + std::to_string(cx) + " x " +
              std::to_string(cy) + " dialog units");
}

struct Expect {
    int id;
    const wchar_t* cls;
    const wchar_t* text;
    DWORD typeMask;  // the bits that make the control's type
    DWORD type;
    DWORD style;  // further bits that must be set
    DWORD ex;     // extended bits that must be set
};

void CheckControl(HWND w, const Expect& e) {
    const std::string name =
        "control " + std::to_string(e.id) + " \"" + Narrow(e.text ? e.text : L"") + "\"";
    if (!Check(w != nullptr, name + " missing")) {
        return;
    }
    Check(::GetDlgCtrlID(w) == e.id || (e.id == -1 && ::GetDlgCtrlID(w) == 0xFFFF),
          name + " has id " + std::to_string(::GetDlgCtrlID(w)));
    Check(_wcsicmp(ClassOf(w).c_str(), e.cls) == 0, name + " is a " + Narrow(ClassOf(w)));
    if (e.text) {
        Check(Text(w) == e.text, name + " reads \"" + Narrow(Text(w)) + "\"");
    }
    Check((Style(w) & e.typeMask) == e.type, name + " type bits");
    // Edits and list views trade a border for the sunken client edge.
    DWORD style = Style(w);
    if (ExStyle(w) & WS_EX_CLIENTEDGE) {
        style |= WS_BORDER;
    }
    char bits[64];
    std::snprintf(bits, sizeof bits, " lacks style bits %08lx", e.style & ~style);
    Check((style & e.style) == e.style, name + bits);
    std::snprintf(bits, sizeof bits, " lacks extended bits %08lx", e.ex & ~ExStyle(w));
    Check((ExStyle(w) & e.ex) == e.ex, name + bits);
}

// The main window, or the one marked with another instance's property name.
std::wstring g_instance = L"VARK-u";

HWND MainWindow() {
    HWND main = nullptr;
    ::EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            if (::IsWindowVisible(w) && ::GetPropW(w, g_instance.c_str())) {
                *reinterpret_cast<HWND*>(p) = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&main));
    if (!main) {
        Fail("no main window");
        std::exit(1);
    }
    return main;
}

HWND FocusOf(HWND w) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(w, nullptr), &info);
    return info.hwndFocus;
}

void CheckLayout(HWND main) {
    RECT c{};
    ::GetClientRect(main, &c);
    const int R = c.right, B = c.bottom, W = R - 20;
    CheckBox(::GetDlgItem(main, 0xE800), 3, 3, R - 6, 42, "toolbar");
    CheckBox(::GetDlgItem(main, 1000), 10, 53, W - 60, 20, "path edit");
    CheckBox(::GetDlgItem(main, 1001), R - 65, 53, 50, 20, "Open button");
    CheckBox(::GetDlgItem(main, 1002), 10, 83, W, 2, "divider");
    CheckBox(::GetDlgItem(main, 1003), 10, 93, W, B - 25 - 93, "list");
    CheckBox(::GetDlgItem(main, 0xE801), 0, B - 15, R, 15, "status bar");
}

int CheckMain() {
    HWND main = MainWindow();
    const DWORD want = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME |
                       WS_MINIMIZEBOX | WS_MAXIMIZEBOX | DS_SETFONT;
    Check((Style(main) & want) == want, "main window styles");
    Check((ExStyle(main) & WS_EX_APPWINDOW) != 0, "main window not in the task bar");
    Check(::GetPropW(main, L"VARK-u") == reinterpret_cast<HANDLE>(1), "instance property");
    Check(Text(main) == L"VARK-u" && ClassOf(main) == L"#32770", "main window caption");
    CheckClientDlu(main, UnitsOf(L"MS Sans Serif", 8), 480, 360, "main window");

    CheckControl(::GetDlgItem(main, 1002),
                 {1002, L"Static", L"Static", SS_TYPEMASK, SS_LEFT, WS_GROUP, 0});
    CheckControl(::GetDlgItem(main, 1001),
                 {1001, L"Button", L"Open", BS_TYPEMASK, BS_PUSHBUTTON, WS_TABSTOP, 0});
    CheckControl(
        ::GetDlgItem(main, 1000),
        {1000, L"Edit", L"", 0, 0, WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_STATICEDGE});
    CheckControl(::GetDlgItem(main, 1003),
                 {1003, L"SysListView32", L"List1", LVS_TYPEMASK, LVS_REPORT,
                  LVS_ALIGNLEFT | WS_BORDER | WS_GROUP | WS_TABSTOP,
                  WS_EX_STATICEDGE | WS_EX_CLIENTEDGE | WS_EX_RIGHT});
    // Template order is tab order: the Open button first among the tab stops.
    Check(::GetWindow(main, GW_CHILD) == ::GetDlgItem(main, 1002), "divider first in order");
    Check(FocusOf(main) == ::GetDlgItem(main, 1001), "focus not on the Open button");

    HWND tb = ::GetDlgItem(main, 0xE800);
    if (Check(tb && ClassOf(tb) == TOOLBARCLASSNAMEW, "toolbar")) {
        const DWORD s = TBSTYLE_FLAT | TBSTYLE_LIST | TBSTYLE_TRANSPARENT | TBSTYLE_TOOLTIPS;
        Check((Style(tb) & s) == s, "toolbar styles");
        Check((::SendMessageW(tb, TB_GETEXTENDEDSTYLE, 0, 0) & TBSTYLE_EX_DRAWDDARROWS) != 0,
              "toolbar extended style");
        Check(::SendMessageW(tb, TB_GETIMAGELIST, 0, 0) != 0, "toolbar image list");
        const LRESULT size = ::SendMessageW(tb, TB_GETBUTTONSIZE, 0, 0);
        Check(LOWORD(size) == 80 && HIWORD(size) == 40,
              "button size " + std::to_string(LOWORD(size)) + " x " + std::to_string(HIWORD(size)));
        const int ids[] = {32771, 32772, 32773, 0, 32774, 0, 32777, 0, 32778};
        const wchar_t* labels[] = {L"Open", L"Save",  L"Print", nullptr, L"Upload",
                                   nullptr, L"About", nullptr,  L"Exit"};
        Check(::SendMessageW(tb, TB_BUTTONCOUNT, 0, 0) == 9, "nine toolbar items");
        Remote mem(tb, 4096);
        int image = 0;
        for (int i = 0; i < 9 && mem.ok(); ++i) {
            TBBUTTON b{};
            ::SendMessageW(tb, TB_GETBUTTON, i, mem.at());
            mem.Read(&b, sizeof b);
            const std::string item = "toolbar item " + std::to_string(i);
            if (ids[i] == 0) {
                Check((b.fsStyle & BTNS_SEP) != 0, item + " is no separator");
                continue;
            }
            Check(b.idCommand == ids[i], item + " command " + std::to_string(b.idCommand));
            Check(b.iBitmap == image++, item + " image " + std::to_string(b.iBitmap));
            wchar_t text[64] = {};
            const LRESULT n = ::SendMessageW(tb, TB_GETBUTTONTEXTW, ids[i], mem.at(1024));
            mem.Read(text, sizeof text - 2, 1024);
            Check(n > 0 && std::wstring(text) == labels[i], item + " label " + Narrow(text));
        }
    }

    HWND sb = ::GetDlgItem(main, 0xE801);
    if (Check(sb && ClassOf(sb) == STATUSCLASSNAMEW, "status bar")) {
        Check((Style(sb) & SBARS_SIZEGRIP) != 0, "status bar without a grip");
        Check(::SendMessageW(sb, SB_GETPARTS, 0, 0) == 1, "status bar panes");
        Check(Text(sb).empty(), "status bar text");
    }

    HWND list = ::GetDlgItem(main, 1003);
    Check(::SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) == LVS_EX_GRIDLINES,
          "list extended style");
    Check(::SendMessageW(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0) != 0, "row-height image list");
    Check(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 0, "list not empty");
    HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    Check(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) == 8, "eight columns");
    Remote mem(list, 4096);
    for (int i = 0; i < 8 && mem.ok(); ++i) {
        LVCOLUMNW col{};
        col.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
        col.pszText = reinterpret_cast<wchar_t*>(mem.at(1024));
        col.cchTextMax = 64;
        mem.Write(&col, sizeof col);
        ::SendMessageW(list, LVM_GETCOLUMNW, i, mem.at());
        mem.Read(&col, sizeof col);
        wchar_t text[64] = {};
        mem.Read(text, sizeof text - 2, 1024);
        const std::wstring want = i == 0 ? L"ID " : i == 1 ? L"Pin" : L"Pin State";
        const int width = i == 0 ? 45 : i == 1 ? 50 : 360;
        Check(text == want, "column " + std::to_string(i) + " reads \"" + Narrow(text) + "\"");
        Check(col.cx == width, "column " + std::to_string(i) + " width " + std::to_string(col.cx));
        Check((col.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_LEFT, "column alignment");
    }
    CheckLayout(main);
    return g_failures;
}

// The client made W x H; then the layout must give the positions for that size.
int Resize(int w, int h) {
    HWND main = MainWindow();
    RECT r{0, 0, w, h};
    ::AdjustWindowRectEx(&r, Style(main), FALSE, ExStyle(main));
    ::SetWindowPos(main, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT c{};
    for (int t = 0; t < 100; ++t) {
        ::GetClientRect(main, &c);
        if (c.right == w && c.bottom == h) {
            break;
        }
        ::Sleep(50);
    }
    Check(c.right == w && c.bottom == h, "client " + Describe(c));
    CheckLayout(main);
    return g_failures;
}

// The frame the user drags is kept at least 480 x 360; the right and bottom
// edges give way, whichever edge is dragged.
int Sizing() {
    HWND main = MainWindow();
    struct Case {
        WPARAM edge;
        RECT in, out;
    } cases[] = {
        {WMSZ_LEFT, {300, 100, 500, 250}, {300, 100, 780, 460}},
        {WMSZ_TOPLEFT, {0, 0, 479, 359}, {0, 0, 480, 360}},
        {WMSZ_BOTTOMRIGHT, {10, 10, 700, 200}, {10, 10, 700, 370}},
        {WMSZ_RIGHT, {10, 10, 900, 800}, {10, 10, 900, 800}},
    };
    for (const Case& c : cases) {
        // The system carries the rectangle to the window's process and back.
        RECT got = c.in;
        ::SendMessageW(main, WM_SIZING, c.edge, reinterpret_cast<LPARAM>(&got));
        Check(::EqualRect(&got, &c.out), "sizing " + Describe(c.in) + " gave " + Describe(got));
    }
    return g_failures;
}

HWND OwnedDialog(const wchar_t* caption) {
    HWND main = MainWindow();
    HWND w = WaitDialog(caption, 10000);
    if (!w) {
        Fail("no \"" + Narrow(caption) + "\" dialog");
        std::exit(1);
    }
    Check(::GetWindow(w, GW_OWNER) == main, "dialog not owned by the main window");
    Check(!::IsWindowEnabled(main), "main window enabled under a modal dialog");
    return w;
}

std::vector<HWND> Children(HWND w) {
    std::vector<HWND> out;
    for (HWND c = ::GetWindow(w, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        out.push_back(c);
    }
    return out;
}

int CheckAbout() {
    HWND about = OwnedDialog(L"About VARK-u");
    const DWORD want = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    Check((Style(about) & want) == want, "About styles");
    const Units u = UnitsOf(L"MS Sans Serif", 8);
    CheckClientDlu(about, u, 235, 65, "About");
    const std::vector<HWND> c = Children(about);
    if (!Check(c.size() == 4, "About has " + std::to_string(c.size()) + " controls")) {
        return g_failures;
    }
    CheckControl(c[0], {-1, L"Static", nullptr, SS_TYPEMASK, SS_ICON, 0, 0});
    Check(::SendMessageW(c[0], STM_GETICON, 0, 0) != 0, "About shows no icon");
    const RECT icon = InParent(c[0]);
    Check(icon.left == ::MulDiv(11, u.x, 4) && icon.top == ::MulDiv(22, u.y, 8),
          "icon at " + Describe(icon));
    CheckControl(c[1], {-1, L"Static", L"Kelvor VARK-u   Version 2.0", SS_TYPEMASK, SS_LEFT,
                        SS_NOPREFIX | WS_GROUP, 0});
    CheckDlu(c[1], u, 42, 17, 119, 8, "version line");
    CheckControl(c[2], {-1, L"Static", L"(C) Kelvor. All rights reserved.", SS_TYPEMASK, SS_LEFT,
                        WS_GROUP, 0});
    CheckDlu(c[2], u, 42, 34, 119, 8, "rights line");
    CheckControl(c[3],
                 {IDOK, L"Button", L"OK", BS_TYPEMASK, BS_DEFPUSHBUTTON, WS_GROUP | WS_TABSTOP, 0});
    CheckDlu(c[3], u, 173, 14, 50, 18, "OK button");
    return g_failures;
}

int CheckUpload() {
    HWND dlg = OwnedDialog(L"Upload Data");
    const DWORD want =
        WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS;
    Check((Style(dlg) & want) == want, "Upload Data styles");
    const Units u = UnitsOf(L"MS Shell Dlg", 8);
    CheckClientDlu(dlg, u, 275, 142, "Upload Data");
    const std::vector<HWND> c = Children(dlg);
    if (!Check(c.size() == 6, "Upload Data has " + std::to_string(c.size()) + " controls")) {
        return g_failures;
    }
    // A themed progress bar draws its own frame and drops the border bit.
    CheckControl(c[0], {1004, PROGRESS_CLASSW, nullptr, 0, 0, 0, 0});
    CheckDlu(c[0], u, 33, 90, 133, 19, "progress bar");
    Check(::SendMessageW(c[0], PBM_GETRANGE, TRUE, 0) == 1 &&
              ::SendMessageW(c[0], PBM_GETRANGE, FALSE, 0) == 200,
          "progress range");
    Check(::SendMessageW(c[0], PBM_GETPOS, 0, 0) <= 1, "progress bar not empty");
    CheckControl(c[1], {-1, L"Button", L"", BS_TYPEMASK, BS_GROUPBOX, 0, 0});
    CheckDlu(c[1], u, 31, 22, 135, 53, "group box");
    const struct {
        int id;
        const wchar_t* text;
        int x, y, w, h;
    } buttons[] = {{1001, L"Refresh Dev", 195, 23, 58, 23},
                   {1005, L"Upload Data", 195, 58, 58, 21},
                   {1006, L"Cancel", 195, 89, 57, 22}};
    for (int i = 0; i < 3; ++i) {
        const auto& b = buttons[i];
        // No default button among them.
        CheckControl(c[2 + i],
                     {b.id, L"Button", b.text, BS_TYPEMASK, BS_PUSHBUTTON, WS_TABSTOP, 0});
        CheckDlu(c[2 + i], u, b.x, b.y, b.w, b.h, Narrow(b.text));
        // Without a tester Upload Data waits for a refresh that finds one.
        Check((::IsWindowEnabled(c[2 + i]) != 0) == (b.id != 1005),
              Narrow(b.text) + (b.id == 1005 ? " enabled" : " disabled"));
    }
    CheckControl(c[5], {1002, L"Static", L"No Device", SS_TYPEMASK, SS_LEFT, WS_GROUP, 0});
    CheckDlu(c[5], u, 50, 45, 101, 14, "device text");
    Check(FocusOf(dlg) == c[2], "focus not on Refresh Dev");
    return g_failures;
}

// The resources of an executable: icon formats, the toolbar and its bitmap,
// strings, the manifest and the version.
#pragma pack(push, 2)
struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bits;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

int CheckResources(const wchar_t* exe) {
    HMODULE m = ::LoadLibraryExW(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!Check(m != nullptr, "cannot load the executable's resources")) {
        return g_failures;
    }
    auto data = [m](int id, LPCWSTR type, DWORD* size) -> const BYTE* {
        HRSRC r = ::FindResourceW(m, MAKEINTRESOURCEW(id), type);
        *size = r ? ::SizeofResource(m, r) : 0;
        return r ? static_cast<const BYTE*>(::LockResource(::LoadResource(m, r))) : nullptr;
    };
    const struct {
        int id, bits;
    } icons[] = {{128, 24}, {131, 8}, {132, 8}, {133, 8}, {134, 8}, {137, 8}, {138, 8}};
    for (const auto& i : icons) {
        DWORD size = 0;
        const BYTE* g = data(i.id, RT_GROUP_ICON, &size);
        if (!Check(g && size >= 6 + sizeof(GroupEntry), "icon " + std::to_string(i.id))) {
            continue;
        }
        const auto* e = reinterpret_cast<const GroupEntry*>(g + 6);
        Check(e->width == 32 && e->height == 32 && e->bits == i.bits,
              "icon " + std::to_string(i.id) + " is " + std::to_string(e->width) + " px, " +
                  std::to_string(e->bits) + " bits");
    }
    DWORD size = 0;
    const auto* tb = reinterpret_cast<const WORD*>(data(129, MAKEINTRESOURCEW(241), &size));
    const WORD want[] = {1, 24, 24, 9, 32771, 32772, 32773, 0, 32774, 0, 32777, 0, 32778};
    Check(tb && size == sizeof want && std::equal(want, want + 13, tb), "toolbar resource");
    const auto* bmp = reinterpret_cast<const BITMAPINFOHEADER*>(data(129, RT_BITMAP, &size));
    Check(bmp && bmp->biWidth == 144 && bmp->biHeight == 24 && bmp->biBitCount == 4,
          "toolbar bitmap");
    const struct {
        int id;
        const wchar_t* text;
    } strings[] = {{101, L"&About vark..."},
                   {32771, L"File Open"},
                   {32772, L"File Save"},
                   {32773, L"File Print"}};
    for (const auto& s : strings) {
        wchar_t buf[64] = {};
        ::LoadStringW(m, s.id, buf, 64);
        Check(std::wstring(buf) == s.text, "string " + std::to_string(s.id));
    }
    const char* manifest = reinterpret_cast<const char*>(data(1, RT_MANIFEST, &size));
    const std::string text(manifest ? manifest : "", manifest ? size : 0);
    Check(text.find("Microsoft.Windows.Common-Controls") != std::string::npos &&
              text.find("version=\"6.0.0.0\"") != std::string::npos,
          "manifest: common controls 6");
    Check(text.find("PerMonitorV2") != std::string::npos, "manifest: per-monitor DPI");
    DWORD handle = 0;
    std::vector<BYTE> info(::GetFileVersionInfoSizeW(exe, &handle));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    if (Check(!info.empty() && ::GetFileVersionInfoW(exe, 0, info.size(), info.data()) &&
                  ::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len),
              "version information")) {
        Check(HIWORD(fixed->dwFileVersionMS) == VARK_VERSION_MAJOR &&
                  LOWORD(fixed->dwFileVersionMS) == VARK_VERSION_MINOR,
              "file version");
        wchar_t* product = nullptr;
        Check(::VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\ProductName",
                               reinterpret_cast<void**>(&product), &len) &&
                  std::wstring(product) == L"VARK-u",
              "product name");
    }
    ::FreeLibrary(m);
    return g_failures;
}

// Where to click a toolbar button, in screen pixels.
int ButtonCentre(int id) {
    HWND tb = ::GetDlgItem(MainWindow(), 0xE800);
    Remote mem(tb, sizeof(RECT));
    RECT r{};
    if (!::SendMessageW(tb, TB_GETRECT, id, mem.at())) {
        Fail("no toolbar button " + std::to_string(id));
        return 1;
    }
    mem.Read(&r, sizeof r);
    ::MapWindowPoints(tb, nullptr, reinterpret_cast<POINT*>(&r), 2);
    std::printf("%ld %ld\n", (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    return 0;
}

std::string Utf8(const std::wstring& w) {
    if (w.empty()) {
        return {};
    }
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr,
                                        0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                          nullptr);
    return out;
}

// A text on one line: line ends written as \n.
std::string OneLine(const std::wstring& w) {
    std::string out;
    for (char c : Utf8(w)) {
        if (c == '\n') {
            out += "\\n";
        } else if (c != '\r') {
            out += c;
        }
    }
    return out;
}

// The list's rows, one line each, cells separated by tabs, in UTF-8.
int Rows() {
    HWND list = ::GetDlgItem(MainWindow(), 1003);
    const int rows = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    Remote mem(list, 8192);
    std::string out;
    for (int r = 0; r < rows && mem.ok(); ++r) {
        for (int c = 0; c < 8; ++c) {
            LVITEMW item{};
            item.iSubItem = c;
            item.pszText = reinterpret_cast<wchar_t*>(mem.at(1024));
            item.cchTextMax = 3000;
            mem.Write(&item, sizeof item);
            const LRESULT n = ::SendMessageW(list, LVM_GETITEMTEXTW, r, mem.at());
            std::wstring text(static_cast<std::size_t>(n), L'\0');
            mem.Read(text.data(), static_cast<std::size_t>(n) * sizeof(wchar_t), 1024);
            out += (c ? "\t" : "") + Utf8(text);
        }
        out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

// A message box of the program (caption "VARK-u", not the main window).
HWND FindMessageBox() {
    struct Search {
        HWND found = nullptr;
    } s;
    ::EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            if (::IsWindowVisible(w) && ClassOf(w) == L"#32770" && Text(w) == L"VARK-u" &&
                !::GetPropW(w, g_instance.c_str())) {
                reinterpret_cast<Search*>(p)->found = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

std::wstring MessageText(HWND box) {
    for (HWND c : Children(box)) {
        if (ClassOf(c) == L"Static" && (Style(c) & SS_TYPEMASK) != SS_ICON && !Text(c).empty()) {
            return Text(c);
        }
    }
    return {};
}

// message [MS] [BUTTON]: waits for a message box, prints its text and the
// window that owns it, and presses the button (OK unless given).
int Message(int ms, int button) {
    HWND box = nullptr;
    for (int t = 0; t < ms && !(box = FindMessageBox()); t += 50) {
        ::Sleep(50);
    }
    if (!box) {
        std::printf("no message box\n");
        return 1;
    }
    HWND owner = ::GetWindow(box, GW_OWNER);
    std::printf("%s|%s\n", OneLine(MessageText(box)).c_str(),
                owner ? Narrow(Text(owner)).c_str() : "");
    std::fflush(stdout);
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, button)));
    for (int t = 0; t < 10000 && ::IsWindow(box) && ::IsWindowVisible(box); t += 50) {
        ::Sleep(50);
    }
    return 0;
}

// The Upload Data dialog as a line: buttons enabled, bar position, caption.
std::string UploadLine(HWND dlg) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "refresh=%d upload=%d cancel=%d progress=%d device=%s",
                  ::IsWindowEnabled(::GetDlgItem(dlg, 1001)) ? 1 : 0,
                  ::IsWindowEnabled(::GetDlgItem(dlg, 1005)) ? 1 : 0,
                  ::IsWindowEnabled(::GetDlgItem(dlg, 1006)) ? 1 : 0,
                  static_cast<int>(::SendDlgItemMessageW(dlg, 1004, PBM_GETPOS, 0, 0)),
                  Narrow(Text(::GetDlgItem(dlg, 1002))).c_str());
    return buf;
}

int UploadState() {
    HWND dlg = FindDialog(L"Upload Data");
    if (!dlg) {
        std::printf("no Upload Data dialog\n");
        return 1;
    }
    std::printf("%s\n", UploadLine(dlg).c_str());
    return 0;
}

// press CAPTION ID: the dialog's button, as a click sends it.
int Press(const std::wstring& caption, int id) {
    HWND dlg = FindDialog(caption);
    if (!dlg) {
        return 1;
    }
    return ::PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                          reinterpret_cast<LPARAM>(::GetDlgItem(dlg, id)))
               ? 0
               : 1;
}

// watch-upload MS [ID]: presses the button ID of the Upload dialog (none: 0),
// then prints its states, each once, as they change, until a message box
// shows (which is left up) or MS pass.
int WatchUpload(int ms, int press) {
    std::string last;
    const ULONGLONG pressed = ::GetTickCount64();
    if (press != 0 && Press(L"Upload Data", press) != 0) {
        std::printf("no Upload Data dialog\n");
        return 1;
    }
    for (int t = 0; t < ms; t += 10) {
        HWND dlg = FindDialog(L"Upload Data");
        if (!dlg) {
            std::printf("no Upload Data dialog\n");
            return 1;
        }
        const std::string line = UploadLine(dlg);
        if (line != last) {
            std::printf("%s\n", line.c_str());
            last = line;
        }
        if (FindMessageBox()) {
            // From the press to the box that ends it.
            std::printf("elapsed_s=%.3f\n", (::GetTickCount64() - pressed) / 1000.0);
            return 0;
        }
        ::Sleep(10);
    }
    std::printf("no message box\n");
    return 1;
}

// The common file dialog over the main window (explorer style: the file
// name box cmb13, the filter box cmb1, the read-only box chx1).
HWND FileDialog(int ms) {
    HWND main = MainWindow();
    for (int t = 0; t < ms; t += 50) {
        HWND found = nullptr;
        ::EnumWindows(
            [](HWND w, LPARAM p) -> BOOL {
                if (::IsWindowVisible(w) && ClassOf(w) == L"#32770" && ::GetDlgItem(w, 0x47c)) {
                    *reinterpret_cast<HWND*>(p) = w;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&found));
        if (found) {
            Check(::GetWindow(found, GW_OWNER) == main, "file dialog not owned by the window");
            return found;
        }
        ::Sleep(50);
    }
    return nullptr;
}

// file-dialog open|save PATH: checks the dialog's filter, initial name and
// read-only box, then chooses PATH (a Windows path; "-": cancels).
int ChooseFile(const std::wstring& kind, const std::wstring& path) {
    HWND dlg = FileDialog(20000);
    if (!dlg) {
        Fail("no file dialog");
        return g_failures;
    }
    HWND filter = ::GetDlgItem(dlg, 0x470);
    std::vector<std::wstring> entries;
    const int n = static_cast<int>(::SendMessageW(filter, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        // A system control's own message: the system carries the text over.
        wchar_t text[128] = {};
        if (::SendMessageW(filter, CB_GETLBTEXTLEN, i, 0) < 127) {
            ::SendMessageW(filter, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        }
        entries.push_back(text);
    }
    Check(
        entries == std::vector<std::wstring>{L"VARK-u Files(*.vku)", L"All Files(*.*)"},
        "file dialog filters: " + [&] {
            std::string all;
            for (const auto& e : entries) {
                all += "\"" + Narrow(e) + "\" ";
            }
            return all;
        }());
    Check(::SendMessageW(filter, CB_GETCURSEL, 0, 0) == 0, "file dialog: first filter chosen");
    HWND name = ::GetDlgItem(dlg, 0x47c);
    wchar_t nameText[1024] = {};
    ::SendMessageW(name, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(nameText));
    const std::wstring initial = nameText;
    HWND readOnly = ::GetDlgItem(dlg, 0x410);
    if (kind == L"save") {
        // Kelvor_YYYYMMDD_HHMMSS.vku
        bool ok = initial.size() == 26 && initial.rfind(L"Kelvor_", 0) == 0 &&
                  initial.substr(22) == L".vku" && initial[15] == L'_';
        for (std::size_t i : {7u, 8u, 9u, 10u, 11u, 12u, 13u, 14u, 16u, 17u, 18u, 19u, 20u, 21u}) {
            ok = ok && i < initial.size() && iswdigit(initial[i]);
        }
        Check(ok, "save dialog's initial name \"" + Narrow(initial) + "\"");
        // OFN_READONLY checks the box; save dialogs do not show it.
        Check(readOnly && ::SendMessageW(readOnly, BM_GETCHECK, 0, 0) == BST_CHECKED,
              "save dialog: read-only box not checked");
    } else {
        Check(initial.empty(), "open dialog's initial name \"" + Narrow(initial) + "\"");
        Check(!readOnly || !::IsWindowVisible(readOnly), "open dialog shows the read-only box");
    }
    if (path == L"-") {
        ::PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
    } else {
        ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        ::PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(dlg, IDOK)));
    }
    return g_failures;
}

// Which window has the foreground, how many main windows there are, and
// whether the first is minimised.
int State() {
    int mains = 0;
    HWND main = FindDialog(L"VARK-u", &mains);
    HWND fg = ::GetForegroundWindow();
    std::printf("mains=%d iconic=%d foreground=%s\n", mains, main ? ::IsIconic(main) : -1,
                fg ? Narrow(Text(fg)).c_str() : "");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // --instance NAME first: the window of the program started as NAME.exe.
    if (argc > 2 && std::wstring(argv[1]) == L"--instance") {
        g_instance = argv[2];
        argv += 2;
        argc -= 2;
    }
    const std::wstring cmd = argc > 1 ? argv[1] : L"";
    auto arg = [&](int i) { return argc > i ? _wtoi(argv[i]) : 0; };
    int status = 0;
    if (cmd == L"check-main") {
        status = CheckMain();
    } else if (cmd == L"check-about") {
        status = CheckAbout();
    } else if (cmd == L"check-upload") {
        status = CheckUpload();
    } else if (cmd == L"check-resources" && argc > 2) {
        status = CheckResources(argv[2]);
    } else if (cmd == L"resize") {
        status = Resize(arg(2), arg(3));
    } else if (cmd == L"sizing") {
        status = Sizing();
    } else if (cmd == L"button-centre") {
        return ButtonCentre(arg(2));
    } else if (cmd == L"wait" && argc > 2) {
        // wait CAPTION [MS]: until a dialog with this caption shows.
        return WaitDialog(argv[2], argc > 3 ? arg(3) : 20000) ? 0 : 1;
    } else if (cmd == L"gone" && argc > 2) {
        for (int t = 0; t < (argc > 3 ? arg(3) : 10000); t += 50) {
            if (!FindDialog(argv[2])) {
                return 0;
            }
            ::Sleep(50);
        }
        return 1;
    } else if (cmd == L"close" && argc > 2) {
        // close CAPTION: the dialog's close box.
        HWND w = FindDialog(argv[2]);
        return w && ::PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
    } else if (cmd == L"minimize") {
        ::ShowWindow(MainWindow(), SW_MINIMIZE);
        return 0;
    } else if (cmd == L"syscommand") {
        ::PostMessageW(MainWindow(), WM_SYSCOMMAND, arg(2), 0);
        return 0;
    } else if (cmd == L"command") {
        ::PostMessageW(MainWindow(), WM_COMMAND, arg(2), 0);
        return 0;
    } else if (cmd == L"state") {
        return State();
    } else if (cmd == L"rows") {
        return Rows();
    } else if (cmd == L"path") {
        // An edit keeps its own text: asked for, not the window's caption.
        wchar_t text[4096] = {};
        ::SendMessageW(::GetDlgItem(MainWindow(), 1000), WM_GETTEXT, 4096,
                       reinterpret_cast<LPARAM>(text));
        std::printf("%s\n", Utf8(text).c_str());
        return 0;
    } else if (cmd == L"message") {
        return Message(argc > 2 ? arg(2) : 20000, argc > 3 ? arg(3) : IDOK);
    } else if (cmd == L"upload-state") {
        return UploadState();
    } else if (cmd == L"watch-upload") {
        return WatchUpload(arg(2), arg(3));
    } else if (cmd == L"press" && argc > 3) {
        return Press(argv[2], arg(3));
    } else if (cmd == L"file-dialog" && argc > 3) {
        status = ChooseFile(argv[2], argv[3]);
    } else {
        std::fputs(
            "usage: vark-win-driver check-main|check-about|check-upload|"
            "check-resources EXE|resize W H|sizing|button-centre ID|wait CAPTION [MS]|"
            "gone CAPTION [MS]|close CAPTION|minimize|syscommand ID|command ID|state|rows|path|"
            "message [MS] [BUTTON]|upload-state|watch-upload MS|press CAPTION ID|"
            "file-dialog open|save PATH\n",
            stderr);
        return 2;
    }
    if (status == 0) {
        std::printf("ok: %s\n", Narrow(cmd).c_str());
    }
    return status ? 1 : 0;
}
