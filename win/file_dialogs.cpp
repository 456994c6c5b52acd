#include "win/file_dialogs.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "ui/record_document.h"
#include "win/text.h"

namespace vark::win {
namespace {

// Long enough for any path the system takes; the dialog says when a chosen
// one does not fit, and the command then does nothing.
constexpr DWORD kPathRoom = 32768;

std::wstring Run(HWND owner, bool save, const std::wstring& initialName) {
    const std::wstring filter = RecordFileFilter();
    std::vector<wchar_t> file(kPathRoom, L'\0');
    initialName.copy(file.data(), std::min<std::size_t>(initialName.size(), kPathRoom - 1));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kPathRoom;
    // Without its dot: the dialog appends the extension as given.
    ofn.lpstrDefExt = L"vku";
    ofn.Flags = save ? OFN_READONLY | OFN_OVERWRITEPROMPT : OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    const BOOL chosen = save ? ::GetSaveFileNameW(&ofn) : ::GetOpenFileNameW(&ofn);
    if (!chosen) {
        return {};
    }
    return std::wstring(file.data());
}

}  // namespace

std::wstring RecordFileFilter() {
    // Entries and their patterns, each ended by a NUL, the list by another.
    std::wstring f;
    for (const char* part :
         {kRecordFilterName, kRecordFilterPattern, kAllFilesFilterName, kAllFilesFilterPattern}) {
        f += Wide(part);
        f += L'\0';
    }
    f += L'\0';
    return f;
}

std::wstring AskOpenPath(HWND owner) {
    return Run(owner, false, {});
}

std::wstring AskSavePath(HWND owner, const std::wstring& initialName) {
    return Run(owner, true, initialName);
}

}  // namespace vark::win
