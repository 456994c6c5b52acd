#include "platform/system.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

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

namespace vark::platform {

std::optional<std::string> EnvironmentValue(std::string_view name) {
    const char* v = std::getenv(std::string(name).c_str());
    return v ? std::optional<std::string>(v) : std::nullopt;
}

std::string HostName() {
    char buf[256] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0) {
        return {};
    }
    return buf;
}

std::string LoginName() {
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr && found->pw_name[0] != '\0') {
        return found->pw_name;
    }
    return CurrentUserKey();
}

namespace {

// An XDG base folder: the variable when it holds an absolute path, else the
// fallback under the home folder.
std::string XdgFolder(const char* variable, const char* underHome) {
    if (auto v = EnvironmentValue(variable); v && !v->empty() && (*v)[0] == '/') {
        return *v;
    }
    std::string home;
    if (auto h = EnvironmentValue("HOME"); h && !h->empty()) {
        home = *h;
    } else {
        std::vector<char> buf(16384);
        passwd pw{};
        passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found) {
            home = found->pw_dir;
        }
    }
    return home + underHome;
}

}  // namespace

std::string ConfigFolder() {
    return XdgFolder("XDG_CONFIG_HOME", "/.config");
}

std::string DataFolder() {
    return XdgFolder("XDG_DATA_HOME", "/.local/share");
}

}  // namespace vark::platform
