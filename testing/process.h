// Runs a program as a user would, through the shell, and keeps what it said.
#pragma once

#include <string>

namespace vark::test {

struct ProcessResult {
    int status = -1;  // exit status; -1 when it did not exit normally
    std::string out;  // standard output, with standard error after "2>&1"
};

// Runs `command` with /bin/sh and collects its standard output.
ProcessResult RunShell(const std::string& command);

// `s` quoted as one word for /bin/sh.
std::string ShellQuote(const std::string& s);

}  // namespace vark::test
