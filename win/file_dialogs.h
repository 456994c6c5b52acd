// The common file dialogs of the Open and Save commands, with the record
// files' filter. Both give the chosen full path, or an empty one when the
// user cancelled.
#pragma once

#include <windows.h>

#include <string>

namespace vark::win {

// The filter both dialogs show: record files first, then all files.
std::wstring RecordFileFilter();

std::wstring AskOpenPath(HWND owner);
// `initialName`: the file name the dialog starts with.
std::wstring AskSavePath(HWND owner, const std::wstring& initialName);

}  // namespace vark::win
