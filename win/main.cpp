// VARK-u.exe: one instance per executable name; the main window's modal run
// is the program's life.
#include <windows.h>

#include <commctrl.h>

#include "win/main_window.h"
#include "win/single_instance.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring name = vark::win::ExecutableBaseName();
    if (!vark::win::ClaimSingleInstance(name)) {
        return 0;
    }
    // The control classes of the templates and the control bars.
    INITCOMMONCONTROLSEX classes{};
    classes.dwSize = sizeof classes;
    classes.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&classes);
    vark::win::MainWindow window(name);
    window.DoModal();
    return 0;
}
