// One running program per executable name: a named semaphore takes the name,
// and a second start finds the first's main window by its window property
// and brings it (or the dialog it shows) to the front.
#pragma once

#include <windows.h>

#include <string>

namespace vark::win {

// The executable's file name without folder and extension ("VARK-u").
std::wstring ExecutableBaseName();

// True when this process is the first of its name; it then keeps the name
// until it exits. False after handing the focus to the running instance.
bool ClaimSingleInstance(const std::wstring& name);

// The top-level window carrying the property `name`, topmost first; null
// when there is none.
HWND FindMarkedWindow(const std::wstring& name);

}  // namespace vark::win
