#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>

namespace vark::fuzz {
namespace {
const char* currentInput = nullptr;
}

void SetCurrentInput(const char* name) {
    currentInput = name;
}

void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "invariant broken: %s (%s:%d)%s%s\n", what, file, line,
                 currentInput != nullptr ? " on input " : "",
                 currentInput != nullptr ? currentInput : "");
    std::fflush(stderr);
    // abort, not exit: libFuzzer saves the input of a crash.
    std::abort();
}

}  // namespace vark::fuzz
