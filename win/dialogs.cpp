#include "win/dialogs.h"

#include <commctrl.h>

#include "win/resource.h"

namespace vark::win {
namespace {

INT_PTR CALLBACK AboutProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
                ::EndDialog(hwnd, LOWORD(wp));
                return TRUE;
            }
            break;
    }
    return FALSE;
}

INT_PTR CALLBACK UploadProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG: {
            HWND progress = ::GetDlgItem(hwnd, IDC_UPLOAD_PROGRESS);
            ::SendMessageW(progress, PBM_SETRANGE, 0, MAKELPARAM(1, 200));
            ::SendMessageW(progress, PBM_SETPOS, 0, 0);
            return TRUE;
        }
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case IDC_UPLOAD_CANCEL:
                case IDCANCEL:
                    ::EndDialog(hwnd, IDCANCEL);
                    return TRUE;
                case IDOK:
                    return TRUE;  // Enter with no button focused does nothing
            }
            break;
    }
    return FALSE;
}

}  // namespace

void RunAboutBox(HWND owner) {
    ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutProc,
                      0);
}

void RunUploadDialog(HWND owner) {
    ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_UPLOAD), owner, UploadProc,
                      0);
}

}  // namespace vark::win
