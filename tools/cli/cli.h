// Command registry of vark-cli. Each command family lives in its own source
// file and registers itself, so the device and report layers can add theirs
// without touching the others.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
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

// The arguments of one command: options with their values, then the names.
struct Arguments {
    std::map<std::string, std::string, std::less<>> options;  // flags map to ""
    std::vector<std::string> names;

    bool Has(std::string_view option) const { return options.count(option) != 0; }
    std::string Value(std::string_view option, std::string fallback = {}) const;
};

// Splits `args`. `valued` options take the next argument (or `--opt=value`);
// `flags` take none. `--` ends the options: everything after it is a name,
// even when it starts with '-'. Returns false on wrong usage: an unknown
// option, a missing or empty value, an empty name, an option given twice.
bool ParseArguments(const std::vector<std::string>& args,
                    std::initializer_list<std::string_view> valued,
                    std::initializer_list<std::string_view> flags, Arguments& out);

// The usage of every command.
void PrintUsage(std::FILE* to);

// Prints the usage to standard error for wrong usage; returns kExitUsage.
int Usage();

// A system message without its framing line breaks and blanks, for one-line output.
std::string Unframed(std::string_view message);

// Reports a failure message on standard error and returns kExitFailed.
int Fail(std::string_view message);

// A file failure: the program's message, then the system's reason on the next line.
int FailWithReason(std::string_view message, const std::error_code& reason);

// Flushes standard output; a failed write (a full disk, a closed pipe) is
// said on standard error rather than passed over as success.
int FinishOutput();

}  // namespace vark::cli
