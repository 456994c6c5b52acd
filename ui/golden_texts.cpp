#include "ui/golden_texts.h"

#include "records/pin_map.h"

namespace vark {

std::string GoldenSource(int row, const std::filesystem::path& file) {
    // The same words vark-cli keeps for a golden reference set from a file.
    // UTF-8 on every platform (a narrow string() may throw on Windows).
    const std::u8string name = file.u8string();
    return "test " + TestNumber(row) + " of " +
           (file.empty() ? std::string("records not saved to a file")
                         : std::string(reinterpret_cast<const char*>(name.data()), name.size()));
}

std::string GoldenKeptText(int row, const archive::Golden& made,
                           const std::optional<archive::Golden>& before) {
    std::string text =
        "Test " + TestNumber(row) + " is now the golden reference of part " + made.part + ".";
    if (before) {
        text += "\nIt supersedes the one set " +
                archive::FormatTime(before->made, "%Y-%m-%d %H:%M", true) + " by " +
                (before->author.empty() ? std::string("(unknown)") : before->author) +
                ", which stays for the runs compared with it.";
    }
    return text;
}

std::string GoldenRefusedText(int row, const std::string& part, const std::string& reason) {
    std::string text = "Test " + TestNumber(row) +
                       " was not kept as the golden reference of part " + part + ": " + reason;
    if (text.back() != '.') {
        text += '.';
    }
    return text;
}

}  // namespace vark
