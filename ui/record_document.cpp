#include "ui/record_document.h"

#include <cstring>
#include <system_error>

#include "records/record_file.h"

namespace vark {

std::string PrintOutcomeText(const PrintOutcome& outcome) {
    return outcome.printerChosen && !outcome.completed ? kPrintFailedMessage : "";
}

RecordDocument::RecordDocument() {
    ClearBlock(block_);
    // Room for every slot and one more, as the list always had.
    rows_.reserve(kMaxRecords + 1);
}

const std::string& RecordDocument::Cell(int row, int column) const {
    static const std::string none;
    if (row < 0 || column < 0 || column >= kListColumns ||
        static_cast<std::size_t>(row) >= rows_.size()) {
        return none;
    }
    return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

void RecordDocument::SetBlock(const RecordBlock& block) {
    block_.count = block.count;
    std::memcpy(block_.slots, block.slots, sizeof block_.slots);
    RefreshRows();
}

void RecordDocument::RefreshRows() {
    rows_ = PinMapTable(block_);
}

CommandResult RecordDocument::Open(const std::filesystem::path& file) {
    // The reader checks the whole header before it writes a byte, so a
    // refused file leaves the block as it was.
    const FileStatus status = ReadRecordFile(file, block_);
    if (status != FileStatus::Ok) {
        return {FileStatusMessage(status)};
    }
    path_ = file;
    RefreshRows();
    return {};
}

CommandResult RecordDocument::OpenBytes(std::string_view bytes) {
    const FileStatus status = ReadRecordBytes(bytes, block_);
    if (status != FileStatus::Ok) {
        return {FileStatusMessage(status)};
    }
    path_.clear();
    RefreshRows();
    return {};
}

std::string RecordDocument::DefaultSaveName(const std::tm& localTime) {
    return DefaultRecordFileName(localTime);
}

std::filesystem::path RecordDocument::SaveTarget(const std::filesystem::path& chosen) {
    // Compared in the system's own code units: bytes here, UTF-16 on Windows.
    using Char = std::filesystem::path::value_type;
    static constexpr Char kExt[] = {'.', 'v', 'k', 'u', 0};
    std::filesystem::path::string_type name = chosen.native();
    if (name.size() < 4 || name.compare(name.size() - 4, 4, kExt) != 0) {
        name += kExt;
    }
    return std::filesystem::path(std::move(name));
}

bool RecordDocument::AskBeforeReplacing(const std::filesystem::path& chosen,
                                        const std::filesystem::path& target) {
    std::error_code ec;
    return target != chosen && std::filesystem::exists(target, ec);
}

CommandResult RecordDocument::Save(const std::filesystem::path& target) {
    const FileStatus status = WriteRecordFile(target, block_);
    if (status != FileStatus::Ok) {
        return {FileStatusMessage(status)};
    }
    path_ = target;
    return {};
}

}  // namespace vark
