#include "ui/reference_compare.h"

#include "records/compare.h"
#include "records/pin_map.h"
#include "records/record_file.h"

namespace vark {

std::string DisplayFileName(const std::filesystem::path& path) {
    const std::u8string name = path.filename().u8string();
    return std::string(name.begin(), name.end());
}

std::string FramedMessage(const std::string& sentence) {
    return "\n    " + sentence + "    \n";
}

ReferenceCompare::ReferenceCompare(const RecordBlock& block) : block_(block) {}

int ReferenceCompare::ReferenceRow() const {
    return reference_ && reference_->golden.empty() ? reference_->slot : -1;
}

void ReferenceCompare::ListReplaced() {
    if (reference_ && reference_->golden.empty()) {
        reference_.reset();
    }
    Recompute();
}

std::string ReferenceCompare::UseRow(int row) {
    if (!CanUseRow(row, static_cast<int>(UsedSlots(block_)))) {
        return {};
    }
    const TestRecord& record = block_.slots[row];
    const std::string problem = ReferenceProblem(record, "Test " + TestNumber(row));
    if (!problem.empty()) {
        return FramedMessage(problem);
    }
    reference_ = Reference{record, row, {}};
    Recompute();
    return {};
}

std::string ReferenceCompare::UseGoldenFile(const std::filesystem::path& path) {
    RecordBlock golden;
    ClearBlock(golden);
    const FileStatus status = ReadRecordFile(path, golden);
    if (status != FileStatus::Ok) {
        return FileStatusMessage(status);
    }
    const std::string file = DisplayFileName(path);
    if (UsedSlots(golden) == 0) {
        return FramedMessage("The golden file " + file + " holds no records.");
    }
    const std::string problem = ReferenceProblem(golden.slots[0], "Test 001 of " + file);
    if (!problem.empty()) {
        return FramedMessage(problem);
    }
    reference_ = Reference{golden.slots[0], 0, path};
    Recompute();
    return {};
}

void ReferenceCompare::Clear() {
    reference_.reset();
    Recompute();
}

std::string ReferenceCompare::ReferenceName() const {
    const std::string number = TestNumber(reference_->slot);
    if (reference_->golden.empty()) {
        return "test " + number;
    }
    return "test " + number + " of the golden file " + DisplayFileName(reference_->golden);
}

void ReferenceCompare::Recompute() {
    marks_.clear();
    summary_.clear();
    warning_.clear();
    if (!reference_) {
        return;
    }
    const Wiring wiring = ReadWiring(reference_->record);
    const BlockComparison comparison = CompareBlock(block_, wiring);
    const std::string warning = MajorityWarning(block_, GroupBlock(block_), wiring);
    const std::string name = ReferenceName();

    marks_.resize(comparison.records.size());
    for (std::size_t d = 0; d < marks_.size(); ++d) {
        const RecordComparison& c = comparison.records[d];
        RowMark& mark = marks_[d];
        if (static_cast<int>(d) == ReferenceRow()) {
            mark.role = MarkRole::Reference;
            mark.toolTip = "Reference: every row is compared with this test.";
            continue;
        }
        if (c.verdict == Verdict::Same) {
            continue;
        }
        mark.role = c.verdict == Verdict::Differs || c.verdict == Verdict::PinCount
                        ? MarkRole::Differs
                        : MarkRole::Attention;
        mark.toolTip =
            TestNumber(static_cast<int>(d)) + " " + DescribeComparison(c) + "\nReference: " + name;
    }
    summary_ = "Reference: " + name + ". " + SummaryText(comparison) + ".";
    if (!warning.empty()) {
        summary_ += " " + warning;
    }
    warning_ = warning;
}

}  // namespace vark
