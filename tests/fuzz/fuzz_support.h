// What every fuzz target shares: the libFuzzer entry point it defines and a
// check that stops the run on a broken invariant, so that libFuzzer saves the
// input and the corpus test fails.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace vark::fuzz {

[[noreturn]] void Fail(const char* what, const char* file, int line);

// Named in a failure message by the corpus runner; libFuzzer names it itself.
void SetCurrentInput(const char* name);

}  // namespace vark::fuzz

#define FUZZ_CHECK(cond) ((cond) ? (void)0 : ::vark::fuzz::Fail(#cond, __FILE__, __LINE__))
