// Command registry of vark-cli. Each command family lives in its own source
// file and registers itself, so the device and report layers can add theirs
// without touching the others.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vark::cli {

// Exit statuses shared by all commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct Command {
    std::string_view name;
    std::string_view usage;  // arguments after the name, for the usage text
    std::string_view help;   // one line
    int (*run)(const std::vector<std::string>& args);
};

std::vector<Command>& Registry();

struct Register {
    explicit Register(Command c) { Registry().push_back(c); }
};

// Prints the usage of every command to standard error; returns kExitUsage.
int Usage();

// A system message without its framing line breaks and blanks, for one-line output.
std::string Unframed(std::string_view message);

// Reports a failure message on standard error and returns kExitFailed.
int Fail(std::string_view message);

// Flushes standard output; a failed write (a full disk, a closed pipe) is
// said on standard error rather than passed over as success.
int FinishOutput();

}  // namespace vark::cli
