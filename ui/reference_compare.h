// The list's comparison with a good cable, without a toolkit: the reference
// (a row of the list or the first record of a golden file), what each row is
// marked as, its tooltip, the status summary, and the context menu's items.
// A window program maps the marks' roles to its own look.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "records/record_block.h"

namespace vark {

// What a row is to the comparison; the window chooses how each looks.
enum class MarkRole {
    None,       // wired like the reference, or no reference
    Reference,  // the reference itself
    Differs,    // wired otherwise, or another pin count
    Attention,  // no pin map to compare: a record in error or an empty slot
};

struct RowMark {
    MarkRole role = MarkRole::None;
    std::string toolTip;  // empty: the cell's own text
};

// The context menu's items, in order.
inline constexpr char kMenuUseAsReference[] = "Use as Reference";
inline constexpr char kMenuCompareGolden[] = "Compare with Golden File...";
inline constexpr char kMenuClearReference[] = "Clear Reference";

// UTF-8 text of a file's name without its folder, for messages.
std::string DisplayFileName(const std::filesystem::path& path);

class ReferenceCompare {
  public:
    // Compares the rows of `block`, which must outlive this.
    explicit ReferenceCompare(const RecordBlock& block);

    bool HasReference() const { return reference_.has_value(); }
    // The reference's row in the list; -1 for a golden file or none.
    int ReferenceRow() const;

    // The block was replaced: a reference taken from it goes, a golden
    // reference stays and every row is compared with it again.
    void ListReplaced();
    // Row `row` as the reference. An empty slot or a record in error is
    // refused: the returned text says why (empty when taken). Rows outside
    // the list are ignored.
    std::string UseRow(int row);
    // The first record of the file at `path` as the reference; the returned
    // text says why a file cannot serve (empty when taken).
    std::string UseGoldenFile(const std::filesystem::path& path);
    void Clear();

    // One mark per row (none without a reference).
    const std::vector<RowMark>& Marks() const { return marks_; }
    // "Reference: test 001. 14 same, 4 differs." and any warning; empty
    // without a reference.
    const std::string& Summary() const { return summary_; }
    // The summary's warning alone (its last part), empty when there is none.
    const std::string& Warning() const { return warning_; }

    // Whether the menu's items can be chosen, given the row under the pointer.
    static bool CanUseRow(int row, int rows) { return row >= 0 && row < rows; }
    bool CanClear() const { return HasReference(); }

  private:
    struct Reference {
        TestRecord record;
        int slot = 0;                  // its row, or its slot in the golden file
        std::filesystem::path golden;  // empty for a row of the list
    };
    void Recompute();
    std::string ReferenceName() const;

    const RecordBlock& block_;
    std::optional<Reference> reference_;
    std::vector<RowMark> marks_;
    std::string summary_;
    std::string warning_;
};

// Framed like the program's other messages.
std::string FramedMessage(const std::string& sentence);

}  // namespace vark
