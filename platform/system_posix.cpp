#include "platform/system.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

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

std::string ExecutablePath() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace vark::platform
