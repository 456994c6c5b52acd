// What the benchmark files share beyond blocks: the archive of 10,000 runs
// (made once, on first use) and the program's one QApplication.
#pragma once

#include <string>

class QApplication;

namespace vark::bench {

// The path of the archive of 10,000 runs of 100 records; empty, with the
// reason in `error`, when it could not be made.
std::string BigArchivePath(std::string& error);

// The QApplication of the window benchmarks, offscreen unless a platform
// was given.
QApplication& BenchApp();

}  // namespace vark::bench
