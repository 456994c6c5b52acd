#include <string>
#include <vector>

#include "tools/cli/cli.h"

int main(int argc, char** argv) {
    using namespace vark::cli;
    if (argc < 2) {
        return Usage();
    }
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        Usage();
        return kExitOk;
    }
    for (const Command& c : Registry()) {
        if (c.name == name) {
            return c.run(std::vector<std::string>(argv + 2, argv + argc));
        }
    }
    return Usage();
}
