// The About box and the Upload Data dialog, each run modally from its
// template over the main window.
#pragma once

#include <windows.h>

namespace vark::win {

// Puts a dialog in the middle of its owner, or of the work area when it has
// none, kept on the owner's monitor.
void CentreWindow(HWND dialog);

// IDD_ABOUT: OK, Enter, Escape and the close box end it.
void RunAboutBox(HWND owner);

// IDD_UPLOAD with its progress bar set to 1 ... 200 and empty. Cancel,
// Escape and the close box end it; Enter does nothing.
void RunUploadDialog(HWND owner);

}  // namespace vark::win
