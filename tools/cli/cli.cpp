#include "tools/cli/cli.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace vark::cli {

std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

int Usage() {
    auto commands = Registry();
    std::sort(commands.begin(), commands.end(),
              [](const Command& a, const Command& b) { return a.name < b.name; });
    std::cerr << "usage: vark-cli COMMAND [ARGS]\n\ncommands:\n";
    for (const Command& c : commands) {
        std::cerr << "  vark-cli " << c.name << ' ' << c.usage << "\n      " << c.help << '\n';
    }
    return kExitUsage;
}

std::string Unframed(std::string_view message) {
    // Messages may span several lines (a reason after the framed text): trim
    // each line and drop empty ones.
    std::string out;
    std::size_t pos = 0;
    while (pos <= message.size()) {
        std::size_t end = message.find('\n', pos);
        if (end == std::string_view::npos) {
            end = message.size();
        }
        std::string_view line = message.substr(pos, end - pos);
        const auto first = line.find_first_not_of(' ');
        if (first != std::string_view::npos) {
            line = line.substr(first, line.find_last_not_of(' ') - first + 1);
            if (!out.empty()) {
                out += '\n';
            }
            out += line;
        }
        pos = end + 1;
    }
    return out;
}

int Fail(std::string_view message) {
    std::cerr << Unframed(message) << '\n';
    return kExitFailed;
}

}  // namespace vark::cli

namespace vark::cli {

int FinishOutput() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        return Fail(std::string("cannot write standard output: ") + std::strerror(errno));
    }
    return kExitOk;
}

}  // namespace vark::cli
