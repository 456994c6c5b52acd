#include "app/font_warmup.h"

#include <fontconfig/fontconfig.h>

namespace vark {

// Loading the configuration twice at once is safe: the library keeps the
// first and drops the other.
FontWarmUp::FontWarmUp() : thread_([] { FcInit(); }) {}

FontWarmUp::~FontWarmUp() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

}  // namespace vark
