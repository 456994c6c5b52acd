// Run and amendment identifiers made by the station itself: UUID version 7
// (RFC 9562), whose leading 48 bits are the time in milliseconds, so that new
// runs land at the end of the archive's indexes and sort by time.
#pragma once

#include <string>

#include "archive/run.h"

namespace vark::archive {

// "0190f2a4-...": 36 characters, lower-case.
std::string NewUuid(TimeMs now);

// Whether `text` has the 36-character form of a UUID.
bool LooksLikeUuid(std::string_view text);

}  // namespace vark::archive
