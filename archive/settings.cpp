#include "archive/settings.h"

#include <algorithm>
#include <charconv>

#include "platform/file_io.h"
#include "platform/system.h"

namespace vark::archive {
namespace {

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// QSettings' value syntax: quoted parts, backslash escapes (\n, \t, \", \\,
// \xHHHH for a code unit, \0), and unquoted commas between the items of a
// list. Nothing for a list: only plain strings are taken.
std::optional<std::string> Unescape(std::string_view raw) {
    std::string out;
    bool quoted = false;
    bool list = false;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (c == ',' && !quoted) {
            list = true;
            continue;
        }
        if (c == ';' && !quoted) {
            break;  // the rest of the line is a comment
        }
        if (c != '\\' || i + 1 == raw.size()) {
            out += c;
            continue;
        }
        const char e = raw[++i];
        switch (e) {
            case 'a':
                out += '\a';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'v':
                out += '\v';
                break;
            case '0':
                out += '\0';
                break;
            case 'x': {
                unsigned code = 0;
                int digits = 0;
                while (i + 1 < raw.size() && digits < 4 && HexValue(raw[i + 1]) >= 0) {
                    code = code * 16 + static_cast<unsigned>(HexValue(raw[++i]));
                    ++digits;
                }
                AppendUtf8(out, code);
                break;
            }
            default:
                out += e;  // \" \\ \' \? and any other character stand for themselves
        }
    }
    if (list) {
        return std::nullopt;
    }
    return out;
}

}  // namespace

IniSettings IniSettings::Parse(std::string_view text) {
    IniSettings s;
    std::string group;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            group = std::string(Trim(line.substr(1, line.size() - 2)));
            if (group == "General") {
                group.clear();
            }
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) {
            continue;
        }
        const std::string key = std::string(Trim(line.substr(0, eq)));
        const std::string_view raw = Trim(line.substr(eq + 1));
        // Byte arrays, variants and other types QSettings marks with '@';
        // "@@" stands for a string that starts with '@'.
        std::string_view value = raw;
        if (!raw.empty() && raw[0] == '@') {
            if (raw.size() < 2 || raw[1] != '@') {
                continue;
            }
            value = raw.substr(1);
        }
        auto plain = Unescape(value);
        if (!plain || key.empty()) {
            continue;
        }
        s.values_[group.empty() ? key : group + "/" + key] = std::move(*plain);
    }
    return s;
}

std::optional<std::string> IniSettings::String(std::string_view key) const {
    const auto it = values_.find(key);
    return it == values_.end() ? std::nullopt : std::optional<std::string>(it->second);
}

std::optional<bool> IniSettings::Bool(std::string_view key) const {
    auto v = String(key);
    if (!v) {
        return std::nullopt;
    }
    std::string s = *v;
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (s == "true" || s == "1" || s == "yes" || s == "on") {
        return true;
    }
    if (s == "false" || s == "0" || s == "no" || s == "off") {
        return false;
    }
    return std::nullopt;
}

std::optional<int> IniSettings::Int(std::string_view key) const {
    const auto v = String(key);
    int n = 0;
    if (!v || v->empty() ||
        std::from_chars(v->data(), v->data() + v->size(), n).ptr != v->data() + v->size()) {
        return std::nullopt;
    }
    return n;
}

std::string SettingsFilePath() {
#ifdef _WIN32
    return platform::ConfigFolder() + "\\vark-u\\vark-u.ini";
#else
    return platform::ConfigFolder() + "/vark-u/vark-u.conf";
#endif
}

IniSettings LoadSettings(const std::string& path) {
    std::string text;
    // A settings file is small; a larger one is not ours.
    if (platform::ReadFileStart(path, 1 << 20, text)) {
        return {};
    }
    return IniSettings::Parse(text);
}

Surroundings SystemSurroundings() {
    Surroundings s;
    s.environment = [](std::string_view name) { return platform::EnvironmentValue(name); };
    s.dataFolder = platform::DataFolder();
    s.hostName = platform::HostName();
    s.loginName = platform::LoginName();
    return s;
}

ArchiveConfig ResolveArchiveConfig(const IniSettings& settings, const Surroundings& around,
                                   const ArchiveOverrides& overrides) {
    ArchiveConfig c;
#ifdef _WIN32
    constexpr const char* kDefaultFile = "\\vark-u\\archive.sqlite3";
#else
    constexpr const char* kDefaultFile = "/vark-u/archive.sqlite3";
#endif
    c.file = around.dataFolder + kDefaultFile;
    c.enabled = settings.Bool("archive_enabled").value_or(true);
    if (auto f = settings.String("archive_file"); f && !f->empty()) {
        c.file = *f;
    }
    if (auto env = around.environment ? around.environment("VARK_ARCHIVE") : std::nullopt;
        env && !env->empty()) {
        c.file = *env;
        c.enabled = true;
    }
    if (overrides.file) {
        c.file = *overrides.file;
        c.enabled = true;
    }
    if (overrides.disabled) {
        c.enabled = false;
    }
    c.station = overrides.station.value_or(settings.String("station").value_or(""));
    if (c.station.empty()) {
        c.station = around.hostName;
    }
    c.operatorName = overrides.operatorName.value_or(settings.String("operator").value_or(""));
    if (c.operatorName.empty()) {
        c.operatorName = around.loginName;
    }
    if (auto wait = settings.Int("archive_wait_ms"); wait && *wait >= 0) {
        c.busyTimeoutMs = *wait;
    }
    c.server = settings.String("server").value_or("");
    if (auto env = around.environment ? around.environment("VARK_ARCHIVE_SERVER") : std::nullopt;
        env) {
        c.server = *env;
    }
    if (overrides.server) {
        c.server = *overrides.server;
    }
    return c;
}

}  // namespace vark::archive
