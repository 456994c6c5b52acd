// The archive of 10,000 runs (1,000,000 records, 5 % failing) that the
// archive's benchmarks make once per run of the program; the window's
// statistics are measured over the same file.
#pragma once

#include <string>

namespace vark::bench {

// Its path, made on first use; empty with `error` set when it could not be.
std::string BigArchivePath(std::string& error);

}  // namespace vark::bench
