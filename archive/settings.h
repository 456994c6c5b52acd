// The program's settings file, shared by the window (which writes it through
// QSettings in INI format) and vark-cli, and the archive configuration
// resolved from it, the environment and the command line.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vark::archive {

// What QSettings writes in INI format: "[General]" for keys without a group,
// "[group]" for the others (read as "group/key"), string values with their
// quoting and escapes. Lists, byte arrays and other variants are left out.
class IniSettings {
  public:
    static IniSettings Parse(std::string_view text);

    // A plain string value; nothing when absent or not a plain string.
    std::optional<std::string> String(std::string_view key) const;
    // "true"/"false" (also 1/0, yes/no, on/off); nothing otherwise.
    std::optional<bool> Bool(std::string_view key) const;
    std::optional<int> Int(std::string_view key) const;

  private:
    std::map<std::string, std::string, std::less<>> values_;
};

// The settings file: $XDG_CONFIG_HOME/vark-u/vark-u.conf (~/.config/...), or
// vark-u.ini under %APPDATA%\vark-u on Windows, where QSettings puts it.
std::string SettingsFilePath();

// Reads the settings file; a missing or unreadable file gives no settings.
IniSettings LoadSettings(const std::string& path);

// The archive as a program should use it.
struct ArchiveConfig {
    bool enabled = true;
    std::string file;
    std::string station;
    std::string operatorName;
    int busyTimeoutMs = 5000;
    // The factory server the station forwards to (libpq's URL or connection
    // string, never with a password); empty: none.
    std::string server;
};

// What the command line says, overriding everything else.
struct ArchiveOverrides {
    std::optional<std::string> file;  // --archive FILE
    bool disabled = false;            // --no-archive
    std::optional<std::string> operatorName;
    std::optional<std::string> station;
    std::optional<std::string> server;  // --server URL ("" turns it off)
};

// Facts of the machine and the environment the resolution reads.
struct Surroundings {
    std::function<std::optional<std::string>(std::string_view)> environment;
    std::string dataFolder;  // $XDG_DATA_HOME, %LOCALAPPDATA%
    std::string hostName;
    std::string loginName;
};

// The system's own surroundings, through the platform layer.
Surroundings SystemSurroundings();

// Command line first, then the environment (VARK_ARCHIVE names a file and
// turns the archive on), then the settings (archive_file, archive_enabled,
// station, operator, archive_wait_ms, server; VARK_ARCHIVE_SERVER names the
// server, an empty one none), then the defaults: the file
// vark-u/archive.sqlite3 in the data folder, the host name, the login name.
ArchiveConfig ResolveArchiveConfig(const IniSettings& settings, const Surroundings& around,
                                   const ArchiveOverrides& overrides);

}  // namespace vark::archive
