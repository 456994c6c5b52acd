// The About box, run modally from its template over the main window, and
// the placing of dialogs.
#pragma once

#include <windows.h>

namespace vark::win {

// Puts a dialog in the middle of its owner, or of the work area when it has
// none, kept on the owner's monitor.
void CentreWindow(HWND dialog);

// IDD_ABOUT: OK, Enter, Escape and the close box end it.
void RunAboutBox(HWND owner);

}  // namespace vark::win
