#pragma once

#include <ctime>
#include <optional>
#include <string>

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

}  // namespace vark::platform
