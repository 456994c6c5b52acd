// What the window says about the archive, without a toolkit: the details an
// upload is archived with (as the Upload Data dialog asks for them), the
// status bar's words for the archive's state and the message for an upload
// that could not be archived.
#pragma once

#include <cstdint>
#include <string>

namespace vark {

// The Upload Data dialog's "Run details" group: its title and field labels.
inline constexpr char kRunDetailsTitle[] = "Run details";
inline constexpr char kLotLabel[] = "Work order / lot";
inline constexpr char kPartLabel[] = "Part number";
inline constexpr char kOperatorLabel[] = "Operator";

// Where the window remembers the details between uploads, in the settings
// file vark-cli reads too ([upload] group). The station-wide `operator` key
// is left to whoever configures the station.
inline constexpr char kLotSetting[] = "upload/lot";
inline constexpr char kPartSetting[] = "upload/part";
inline constexpr char kOperatorSetting[] = "upload/operator";

struct RunDetails {
    std::string lot;
    std::string part;
    std::string operatorName;
    bool operator==(const RunDetails&) const = default;
};

// The details as typed: blanks around each value go, and line breaks and
// tabs become blanks (a value is one line in lists and files). An empty
// operator is `defaultOperator`.
RunDetails CleanRunDetails(const RunDetails& typed, const std::string& defaultOperator);

// The details the dialog opens with: those remembered, the operator being
// `defaultOperator` when none was remembered.
RunDetails OpeningRunDetails(const RunDetails& remembered, const std::string& defaultOperator);

// What the status bar knows of the forwarding to the factory server.
struct ServerState {
    std::string name;            // as shown, without secrets; empty: no server configured
    bool known = false;          // a try has told how things stand
    bool sending = false;        // something new was archived since that try
    std::int64_t waiting = 0;    // runs, corrections and golden references
    std::int64_t conflicts = 0;  // runs the server holds otherwise
    // "3 runs waiting for the server (last try 10:42: connection refused)"
    std::string waitingText;
    std::string lastError;  // the last try's failure in full; empty when it worked
};

// What the status bar knows of the archive.
struct ArchiveState {
    enum class Kind : std::uint8_t {
        Off,         // turned off by the settings or --no-archive
        Counting,    // being read
        Ready,       // `runs` counted (0 for an archive not made yet)
        Unreadable,  // `reason` says why
    } kind = Kind::Counting;
    std::int64_t runs = 0;
    std::string file;
    std::string reason;
    // Why the window's last upload was not archived; empty when it was (or
    // none was tried).
    std::string notArchived;
    ServerState server{};
};

// 1204 -> "1,204".
std::string GroupedCount(std::int64_t n);

// "Archive: 1,204 runs", "Archive: 1 run", "Archive: off", "Archive: unreadable";
// after an upload that was not archived, "(last upload NOT archived)" follows.
// With a server: what waits for it when anything does (or differs there),
// else the count and "(server up to date)" once a try has said so.
std::string ArchiveStatusText(const ArchiveState& state);
// The longer story behind it, for the tooltip: the file, and why it is off
// or cannot be read; the server, and the last try's failure in full.
std::string ArchiveStatusTip(const ArchiveState& state);

// Said after the success box when the received records could not be
// archived; `reason` is the archive's own sentence.
std::string NotArchivedText(const std::string& reason);

}  // namespace vark
