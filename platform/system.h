#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

// System facts that the layers above the device link need, with no platform
// header leaking into them.
namespace vark::platform {

// A key that names the user running the program (the numeric user id on POSIX).
std::string CurrentUserKey();

// The present time as local calendar time; nothing when the clock or the
// time-zone conversion fails.
std::optional<std::tm> LocalTimeNow();

// The running program's own file, as an absolute path with links resolved;
// empty when the system does not say.
std::string ExecutablePath();

// Whether standard error is a terminal (a person watching, not a log or pipe).
bool StandardErrorIsTerminal();

// An environment variable's value (UTF-8); nothing when it is not set.
std::optional<std::string> EnvironmentValue(std::string_view name);

// The machine's name on the network; empty when the system does not say.
std::string HostName();

// The name the user logged in with; the user key when the system has none.
std::string LoginName();

// Where the user's settings live: $XDG_CONFIG_HOME, else ~/.config (POSIX);
// %APPDATA% (Windows).
std::string ConfigFolder();

// Where programs keep the user's data: $XDG_DATA_HOME, else ~/.local/share
// (POSIX); %LOCALAPPDATA% (Windows).
std::string DataFolder();

}  // namespace vark::platform
