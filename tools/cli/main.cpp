#include <cstdio>
#include <string>
#include <vector>

#include "tools/cli/cli.h"
#include "vark_version.h"

int main(int argc, char** argv) {
    using namespace vark::cli;
    if (argc < 2) {
        return Usage();
    }
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        // Asked for, so it goes to standard output like any other result.
        PrintUsage(stdout);
        return FinishOutput();
    }
    if (name == "--version") {
        std::printf("vark-cli %s\n", VARK_VERSION);
        return FinishOutput();
    }
    for (const Command& c : Registry()) {
        if (c.name == name) {
            return c.run(std::vector<std::string>(argv + 2, argv + argc));
        }
    }
    return Usage();
}
