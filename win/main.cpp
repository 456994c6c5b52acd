// VARK-u.exe: one instance per executable name; the main window's modal run
// is the program's life. A record file named on the command line (as the
// association passes it) is opened once the window shows.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include "win/main_window.h"
#include "win/single_instance.h"

namespace {

std::wstring FileArgument() {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::wstring file;
    if (argv != nullptr) {
        if (argc > 1) {
            // Relative to where the program was started, as a person means it.
            wchar_t full[MAX_PATH * 8];
            const DWORD n = ::GetFullPathNameW(argv[1], MAX_PATH * 8, full, nullptr);
            file = n > 0 && n < MAX_PATH * 8 ? std::wstring(full, n) : std::wstring(argv[1]);
        }
        ::LocalFree(argv);
    }
    return file;
}

}  // namespace

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
    vark::win::MainWindow window(name, FileArgument());
    window.DoModal();
    return 0;
}
