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

void PrintUsage(std::FILE* to) {
    auto commands = Registry();
    std::sort(commands.begin(), commands.end(),
              [](const Command& a, const Command& b) { return a.name < b.name; });
    std::string text =
        "usage: vark-cli COMMAND [ARGS]\n       vark-cli --help | --version\n\n"
        "A name after \"--\" is taken as a name even when it starts with '-'.\n\ncommands:\n";
    for (const Command& c : commands) {
        text += "  vark-cli " + std::string(c.name) + ' ' + std::string(c.usage) + "\n      " +
                std::string(c.help) + '\n';
    }
    std::fwrite(text.data(), 1, text.size(), to);
}

int Usage() {
    PrintUsage(stderr);
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

int FailWithReason(std::string_view message, const std::error_code& reason) {
    std::string text(message);
    if (reason) {
        text += "\n" + reason.message();
    }
    return Fail(text);
}

std::string Arguments::Value(std::string_view option, std::string fallback) const {
    const auto it = options.find(option);
    return it == options.end() ? fallback : it->second;
}

bool ParseArguments(const std::vector<std::string>& args,
                    std::initializer_list<std::string_view> valued,
                    std::initializer_list<std::string_view> flags, Arguments& out) {
    auto contains = [](std::initializer_list<std::string_view> set, std::string_view s) {
        return std::find(set.begin(), set.end(), s) != set.end();
    };
    bool namesOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (namesOnly || a.empty() || a[0] != '-' || a == "-") {
            if (a.empty()) {
                return false;
            }
            out.names.push_back(a);
            continue;
        }
        if (a == "--") {
            namesOnly = true;
            continue;
        }
        std::string name = a;
        std::string value;
        bool hasValue = false;
        if (const auto eq = a.find('='); a.starts_with("--") && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            hasValue = true;
        }
        if (contains(valued, name)) {
            if (!hasValue) {
                if (i + 1 >= args.size()) {
                    return false;
                }
                value = args[++i];
            }
            if (value.empty()) {
                return false;
            }
        } else if (!contains(flags, name) || hasValue) {
            return false;
        }
        if (!out.options.emplace(name, value).second) {
            return false;
        }
    }
    return true;
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
