// The words of "Use as Golden for Part...": where the record came from, as
// the golden reference keeps it, and what the window says once it is kept.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "archive/run.h"

namespace vark {

inline constexpr char kMenuUseAsGoldenForPart[] = "Use as Golden for Part...";

// "test 005 of /srv/lots/run.vku"; "test 005 of records not saved to a
// file" for a block that came from elsewhere (an upload) and was not saved.
std::string GoldenSource(int row, const std::filesystem::path& file);

// "Test 005 is now the golden reference of part P-1." and, when it
// supersedes one, when and by whom that one was set.
std::string GoldenKeptText(int row, const archive::Golden& made,
                           const std::optional<archive::Golden>& before);

// "Test 005 was not kept as the golden reference of part P-1: REASON"
std::string GoldenRefusedText(int row, const std::string& part, const std::string& reason);

}  // namespace vark
