#include "win/main_window.h"

#include <ctime>
#include <filesystem>
#include <utility>
#include <vector>

#include "platform/system.h"
#include "ui/main_layout.h"
#include "win/dialogs.h"
#include "win/file_dialogs.h"
#include "win/print_command.h"
#include "win/resource.h"
#include "win/text.h"
#include "win/upload_dialog.h"

namespace vark::win {
namespace {

constexpr int kToolbarIcons[] = {IDI_TB_OPEN,   IDI_TB_SAVE,  IDI_TB_PRINT,
                                 IDI_TB_UPLOAD, IDI_TB_ABOUT, IDI_TB_EXIT};
// Button labels by toolbar index; separators have none.
constexpr const wchar_t* kLabels[] = {L"Open", L"Save",  L"Print", nullptr, L"Upload",
                                      nullptr, L"About", nullptr,  L"Exit"};

struct Column {
    const wchar_t* header;
    int width;
};
constexpr Column kColumns[] = {{L"ID ", 45},        {L"Pin", 50},        {L"Pin State", 360},
                               {L"Pin State", 360}, {L"Pin State", 360}, {L"Pin State", 360},
                               {L"Pin State", 360}, {L"Pin State", 360}};

// The command ids of the toolbar resource, 0 for a separator.
std::vector<WORD> ToolbarItems(HINSTANCE module) {
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(IDR_TOOLBAR),
                                  MAKEINTRESOURCEW(RT_TOOLBAR_RESOURCE));
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const auto* words = loaded ? static_cast<const WORD*>(::LockResource(loaded)) : nullptr;
    const DWORD bytes = found ? ::SizeofResource(module, found) : 0;
    // version, width, height, count, then one id per item.
    if (words == nullptr || bytes < 8 || words[0] != 1 ||
        bytes < 8u + 2u * static_cast<DWORD>(words[3])) {
        return {};
    }
    return std::vector<WORD>(words + 4, words + 4 + words[3]);
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

// Posted once the window shows: the file of the command line is opened.
constexpr UINT kOpenStartFile = WM_APP + 1;

}  // namespace

MainWindow::MainWindow(std::wstring appName, std::wstring startFile)
    : startFile_(std::move(startFile)), appName_(std::move(appName)) {
    icon_ =
        static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_ICON),
                                        IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
}

MainWindow::~MainWindow() {
    // The controls are gone with the window; the lists they drew from go now.
    if (toolBarImages_) {
        ::ImageList_Destroy(toolBarImages_);
    }
    if (rowHeightImages_) {
        ::ImageList_Destroy(rowHeightImages_);
    }
    if (icon_) {
        ::DestroyIcon(icon_);
    }
}

INT_PTR MainWindow::DoModal() {
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr, Proc,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK MainWindow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<MainWindow*>(lp);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lp);
        self->window_ = hwnd;
    }
    return self ? self->Handle(msg, wp, lp) : FALSE;
}

int MainWindow::Dpi() const {
    static const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32"), "GetDpiForWindow")));
    const UINT dpi = getDpi && window_ ? getDpi(window_) : 0;
    return dpi ? static_cast<int>(dpi) : 96;
}

int MainWindow::Px(int v) const {
    return Scale(v, Dpi());
}

INT_PTR MainWindow::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_COMMAND:
            OnCommand(LOWORD(wp));
            return TRUE;
        case WM_SYSCOMMAND:
            if ((wp & 0xFFF0) == ID_SYS_ABOUT) {
                RunAbout();
                return TRUE;
            }
            return FALSE;
        case WM_SIZE:
            if (layoutReady_ == 1) {
                Layout();
            }
            return FALSE;
        case WM_SIZING:
            OnSizing(reinterpret_cast<RECT*>(lp));
            return TRUE;
        case WM_DPICHANGED: {
            // The system's suggestion keeps the window's place at the new DPI.
            const RECT* r = reinterpret_cast<const RECT*>(lp);
            ::SetWindowPos(window_, nullptr, r->left, r->top, r->right - r->left,
                           r->bottom - r->top, SWP_NOZORDER | SWP_NOACTIVATE);
            return TRUE;
        }
        case WM_PAINT:
            if (::IsIconic(window_)) {
                PaintIcon();
                return TRUE;
            }
            return FALSE;
        case kOpenStartFile:
            if (!startFile_.empty()) {
                OpenFile(std::exchange(startFile_, {}));
            }
            return TRUE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(icon_);
        case WM_DESTROY:
            ::RemovePropW(window_, appName_.c_str());
            return FALSE;
    }
    return FALSE;
}

BOOL MainWindow::OnInitDialog() {
    // A second start finds this window by its property from now until it is
    // destroyed; the window is not shown before this returns.
    ::SetPropW(window_, appName_.c_str(), reinterpret_cast<HANDLE>(1));

    if (HMENU menu = ::GetSystemMenu(window_, FALSE)) {
        wchar_t text[64] = {};
        if (::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUT_MENU, text, 64) > 0) {
            ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(menu, MF_STRING, ID_SYS_ABOUT, text);
        }
    }
    ::SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    ::SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

    // Without its bars the window stands as it is: no columns, no layout.
    if (!CreateToolBar() || !CreateStatusBar()) {
        return TRUE;
    }
    pathEdit_ = ::GetDlgItem(window_, IDC_PATH);
    openButton_ = ::GetDlgItem(window_, IDC_OPEN);
    divider_ = ::GetDlgItem(window_, IDC_DIVIDER);
    list_ = ::GetDlgItem(window_, IDC_PIN_LIST);
    SetUpList();
    layoutReady_ = 1;
    Layout();
    CentreWindow(window_);
    // Its messages need the window on the screen.
    if (!startFile_.empty()) {
        ::PostMessageW(window_, kOpenStartFile, 0, 0);
    }
    return TRUE;  // the focus goes to the first tab stop, the Open button
}

bool MainWindow::CreateToolBar() {
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    // The layout places and sizes the bar: it neither aligns nor sizes itself.
    toolBar_ = ::CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                                 WS_CHILD | WS_VISIBLE | CCS_TOP | CCS_NOPARENTALIGN |
                                     CCS_NORESIZE | CCS_NODIVIDER | TBSTYLE_TOOLTIPS,
                                 0, 0, 0, 0, window_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDW_TOOLBAR)), module,
                                 nullptr);
    if (toolBar_ == nullptr) {
        return false;
    }
    const std::vector<WORD> items = ToolbarItems(module);
    if (items.empty()) {
        return false;
    }
    ::SendMessageW(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    std::vector<TBBUTTON> buttons;
    int image = 0;
    for (WORD id : items) {
        TBBUTTON b{};
        b.idCommand = id;
        b.fsState = TBSTATE_ENABLED;
        if (id == 0) {
            b.fsStyle = BTNS_SEP;
        } else {
            b.iBitmap = image++;
            b.fsStyle = BTNS_BUTTON;
        }
        b.iString = -1;
        buttons.push_back(b);
    }
    if (!::SendMessageW(toolBar_, TB_ADDBUTTONSW, buttons.size(),
                        reinterpret_cast<LPARAM>(buttons.data()))) {
        return false;
    }

    toolBarImages_ = ::ImageList_Create(32, 32, ILC_COLOR24 | ILC_MASK, 1, 1);
    for (int icon : kToolbarIcons) {
        HICON h = static_cast<HICON>(
            ::LoadImageW(module, MAKEINTRESOURCEW(icon), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
        if (h) {
            ::ImageList_AddIcon(toolBarImages_, h);
            ::DestroyIcon(h);
        }
    }
    ::SendMessageW(toolBar_, TB_SETBUTTONWIDTH, 0, MAKELPARAM(Px(40), Px(120)));
    ::SendMessageW(toolBar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(32, 32));
    ::SendMessageW(toolBar_, TB_SETBUTTONSIZE, 0, MAKELPARAM(Px(80), Px(40)));
    ::SendMessageW(toolBar_, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
    const LONG_PTR style = ::GetWindowLongPtrW(toolBar_, GWL_STYLE);
    ::SetWindowLongPtrW(toolBar_, GWL_STYLE,
                        style | TBSTYLE_FLAT | TBSTYLE_LIST | TBSTYLE_TRANSPARENT);
    ::SendMessageW(toolBar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(toolBarImages_));
    for (std::size_t i = 0; i < items.size() && i < std::size(kLabels); ++i) {
        if (items[i] == 0 || kLabels[i] == nullptr) {
            continue;
        }
        TBBUTTONINFOW info{};
        info.cbSize = sizeof info;
        info.dwMask = TBIF_TEXT | TBIF_BYINDEX;
        info.pszText = const_cast<wchar_t*>(kLabels[i]);
        ::SendMessageW(toolBar_, TB_SETBUTTONINFOW, i, reinterpret_cast<LPARAM>(&info));
    }
    return true;
}

bool MainWindow::CreateStatusBar() {
    statusBar_ = ::CreateWindowExW(
        0, STATUSCLASSNAMEW, nullptr,
        WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP | CCS_BOTTOM | CCS_NOPARENTALIGN | CCS_NORESIZE, 0,
        0, 0, 0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDW_STATUS_BAR)),
        ::GetModuleHandleW(nullptr), nullptr);
    if (statusBar_ == nullptr) {
        return false;
    }
    // One pane without text, reaching to the grip.
    int right[1] = {-1};
    return ::SendMessageW(statusBar_, SB_SETPARTS, std::size(right),
                          reinterpret_cast<LPARAM>(right)) != 0;
}

void MainWindow::SetUpList() {
    // An image list with no image, 20 pixels high: the rows take its height.
    rowHeightImages_ = ::ImageList_Create(1, Px(20), ILC_COLOR24 | ILC_MASK, 0, 0);
    ::SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES);
    ::SendMessageW(list_, LVM_SETIMAGELIST, LVSIL_SMALL,
                   reinterpret_cast<LPARAM>(rowHeightImages_));
    int index = 0;
    for (const Column& c : kColumns) {
        LVCOLUMNW col{};
        col.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        col.fmt = LVCFMT_LEFT;
        col.cx = Px(c.width);
        col.pszText = const_cast<wchar_t*>(c.header);
        col.iSubItem = index;
        ::SendMessageW(list_, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&col));
        ++index;
    }
}

void MainWindow::Layout() {
    RECT client{};
    ::GetClientRect(window_, &client);
    const MainLayout m =
        ComputeLayout(client.right - client.left, client.bottom - client.top, Dpi());
    const auto place = [](HWND w, const Box& b) {
        ::MoveWindow(w, b.x, b.y, b.width, b.height, TRUE);
    };
    place(toolBar_, m.toolBar);
    place(pathEdit_, m.pathEdit);
    place(openButton_, m.openButton);
    place(divider_, m.divider);
    place(list_, m.list);
    ::InvalidateRect(list_, nullptr, FALSE);
    place(statusBar_, m.statusBar);
    ::InvalidateRect(window_, nullptr, TRUE);
    ::UpdateWindow(window_);
}

void MainWindow::OnSizing(RECT* frame) {
    // Always the right and the bottom edge move, whichever edge is dragged.
    const int w = Px(kMinFrameWidth);
    const int h = Px(kMinFrameHeight);
    if (frame->right - frame->left < w) {
        frame->right = frame->left + w;
    }
    if (frame->bottom - frame->top < h) {
        frame->bottom = frame->top + h;
    }
}

void MainWindow::PaintIcon() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(window_, &ps);
    ::SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int cx = ::GetSystemMetrics(SM_CXICON);
    const int cy = ::GetSystemMetrics(SM_CYICON);
    RECT r{};
    ::GetClientRect(window_, &r);
    ::DrawIcon(dc, (r.right - r.left - cx + 1) / 2, (r.bottom - r.top - cy + 1) / 2, icon_);
    ::EndPaint(window_, &ps);
}

void MainWindow::OnCommand(UINT id) {
    switch (id) {
        case IDC_OPEN:
        case ID_TB_OPEN:
            OpenRecordFile();
            break;
        case ID_TB_SAVE:
            SaveRecordFile();
            break;
        case ID_TB_PRINT:
            PrintBlock(window_, doc_.Block());
            break;
        case ID_TB_UPLOAD:
            RunUpload();
            break;
        case ID_TB_ABOUT:
            RunAbout();
            break;
        case ID_TB_EXIT:
        case IDCANCEL:  // Escape and the close box
            ::EndDialog(window_, IDCANCEL);
            break;
        default:
            // IDOK (Enter with no button focused) does nothing.
            break;
    }
}

void MainWindow::RunAbout() {
    RunAboutBox(window_);
}

void MainWindow::RunUpload() {
    // A new dialog each time: nothing carries over from one opening to the
    // next. A completed upload shows in the list before the dialog says so.
    UploadDialog dialog([this](const RecordBlock& received) {
        doc_.SetBlock(received);
        ShowRows();
    });
    dialog.DoModal(window_);
}

void MainWindow::OpenRecordFile() {
    const std::wstring path = AskOpenPath(window_);
    if (!path.empty()) {
        OpenFile(path);
    }
}

bool MainWindow::OpenFile(const std::wstring& path) {
    const CommandResult result = doc_.Open(std::filesystem::path(path));
    if (!result.Ok()) {
        ShowMessageBox(window_, result.message);
        return false;
    }
    ShowPath();
    ShowRows();
    return true;
}

void MainWindow::SaveRecordFile() {
    const std::tm local = platform::LocalTimeNow().value_or(std::tm{});
    const std::wstring chosen = AskSavePath(window_, Wide(RecordDocument::DefaultSaveName(local)));
    if (chosen.empty()) {
        return;
    }
    const std::filesystem::path target = RecordDocument::SaveTarget(std::filesystem::path(chosen));
    // The dialog confirmed only the name it gave; the extension made another.
    if (RecordDocument::AskBeforeReplacing(std::filesystem::path(chosen), target)) {
        const std::wstring ask = target.wstring() + L" already exists.\nDo you want to replace it?";
        if (::MessageBoxW(window_, ask.c_str(), L"VARK-u", MB_YESNO | MB_DEFBUTTON2) != IDYES) {
            return;
        }
    }
    const CommandResult result = doc_.Save(target);
    if (!result.Ok()) {
        ShowMessageBox(window_, result.message);
        return;
    }
    // The block is unchanged, so the list needs no refresh.
    ShowPath();
}

void MainWindow::ShowPath() {
    ::SetWindowTextW(pathEdit_, doc_.Path().wstring().c_str());
}

void MainWindow::ShowRows() {
    ::SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
    const std::vector<ListRow>& rows = doc_.Rows();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < kListColumns; ++c) {
            std::wstring text = Wide(rows[r][static_cast<std::size_t>(c)]);
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(r);
            item.iSubItem = c;
            item.pszText = text.data();
            ::SendMessageW(list_, c == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, r,
                           reinterpret_cast<LPARAM>(&item));
        }
    }
    ::SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list_, nullptr, TRUE);
}

}  // namespace vark::win
