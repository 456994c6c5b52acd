// The control with the keyboard focus shows it from the start, in every
// window of the program, not only once the Tab key has been used: the
// toolkit's style draws the focus frame only after keyboard navigation.
#pragma once

namespace vark {

// From now on; once is enough, more is harmless.
void KeepFocusVisible();

}  // namespace vark
