#include "win/upload_dialog.h"

#include <commctrl.h>

#include <utility>

#include "win/dialogs.h"
#include "win/resource.h"
#include "win/text.h"

namespace vark::win {
namespace {

// One posted message runs one queued call.
constexpr UINT kRunCall = WM_APP + 1;

UploadSources Sources() {
    UploadSources sources;
    sources.named = PortNamedInEnvironment();
    return sources;
}

}  // namespace

UploadDialog::UploadDialog(ReceivedHandler onReceived)
    : session_(static_cast<UploadView&>(*this), std::move(onReceived), Sources()) {}

UploadDialog::~UploadDialog() = default;

INT_PTR UploadDialog::DoModal(HWND owner) {
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_UPLOAD), owner, Proc,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK UploadDialog::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<UploadDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<UploadDialog*>(lp);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lp);
        self->window_ = hwnd;
    }
    return self ? self->Handle(msg, wp, lp) : FALSE;
}

INT_PTR UploadDialog::Handle(UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG: {
            ::SendDlgItemMessageW(window_, IDC_UPLOAD_PROGRESS, PBM_SETRANGE32, kProgressMin,
                                  kProgressMax);
            CentreWindow(window_);
            // The connection attempt and its message come before the dialog
            // is first shown.
            session_.SetUp();
            // The box on the main window gave it back its input when it
            // closed; under this dialog it stays without.
            if (HWND owner = ::GetWindow(window_, GW_OWNER)) {
                ::EnableWindow(owner, FALSE);
            }
            ::SetFocus(::GetDlgItem(window_, IDC_REFRESH_DEV));
            return FALSE;  // the focus is set
        }
        case kRunCall:
            calls_.RunNext();
            return TRUE;
        case WM_CLOSE:
            // The close box: the link stops before the dialog ends.
            session_.Close();
            End();
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case IDC_REFRESH_DEV:
                    session_.RefreshDevice();
                    return TRUE;
                case IDC_UPLOAD_DATA:
                    session_.UploadData();
                    return TRUE;
                case IDC_UPLOAD_CANCEL:
                case IDCANCEL:  // Escape
                    End();
                    return TRUE;
                case IDOK:
                    return TRUE;  // Enter with no button focused does nothing
            }
            break;
    }
    return FALSE;
}

void UploadDialog::End() {
    session_.Ended();
    ::EndDialog(window_, IDCANCEL);
}

void UploadDialog::ShowButtons(const UploadButtons& buttons) {
    ::EnableWindow(::GetDlgItem(window_, IDC_REFRESH_DEV), buttons.refresh);
    ::EnableWindow(::GetDlgItem(window_, IDC_UPLOAD_DATA), buttons.upload);
    ::EnableWindow(::GetDlgItem(window_, IDC_UPLOAD_CANCEL), buttons.cancel);
}

void UploadDialog::ShowProgress(int position) {
    // Below the range the bar shows empty.
    ::SendDlgItemMessageW(window_, IDC_UPLOAD_PROGRESS, PBM_SETPOS, position, 0);
}

void UploadDialog::ShowCaption(const std::string& caption) {
    ::SetDlgItemTextW(window_, IDC_DEVICE_TEXT, Wide(caption).c_str());
}

void UploadDialog::ShowMessage(const std::string& text) {
    // Before the dialog is first shown its set-up's boxes sit on the main window.
    HWND owner = ::IsWindowVisible(window_) ? window_ : ::GetWindow(window_, GW_OWNER);
    ShowMessageBox(owner, text);
}

void UploadDialog::Post(std::function<void()> fn) {
    calls_.Push(std::move(fn));
    // A window that is gone takes no message: its queued calls go with it.
    ::PostMessageW(window_, kRunCall, 0, 0);
}

}  // namespace vark::win
