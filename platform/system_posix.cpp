#include "platform/system.h"

#include <unistd.h>

namespace vark::platform {

std::string CurrentUserKey() {
    return std::to_string(static_cast<unsigned long long>(::getuid()));
}

std::optional<std::tm> LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    if (now == static_cast<std::time_t>(-1) || ::localtime_r(&now, &tm) == nullptr) {
        return std::nullopt;
    }
    return tm;
}

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace vark::platform
