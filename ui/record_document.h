// What the main window holds and shows, without a toolkit: the program's one
// record block, the path of the record file last opened or saved (what the
// path field shows), and the list's rows built from the block. Its commands
// (Open, Save, Print) say what the window must tell the user; each window
// program only asks for paths and shows the results.
#pragma once

#include <array>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "records/pin_map.h"
#include "records/record_block.h"

namespace vark {

// The list's eight columns: "ID ", "Pin" and six times "Pin State", with
// their widths in pixels at 96 DPI.
struct ListColumn {
    const char* header;
    int width;
};
inline constexpr std::array<ListColumn, kListColumns> kListColumnSpecs = {{{"ID ", 45},
                                                                           {"Pin", 50},
                                                                           {"Pin State", 360},
                                                                           {"Pin State", 360},
                                                                           {"Pin State", 360},
                                                                           {"Pin State", 360},
                                                                           {"Pin State", 360},
                                                                           {"Pin State", 360}}};

using ListRow = std::array<std::string, kListColumns>;

// The two entries of the file dialogs: record files, then everything.
inline constexpr char kRecordFilterName[] = "VARK-u Files(*.vku)";
inline constexpr char kRecordFilterPattern[] = "*.vku";
inline constexpr char kAllFilesFilterName[] = "All Files(*.*)";
inline constexpr char kAllFilesFilterPattern[] = "*.*";

// Said when a printer was chosen but the document could not be completed
// (an unwritable output file, a printer that refused the job).
inline constexpr char kPrintFailedMessage[] = "\n    Print failed!    \n";

// What became of the job of one Print command.
struct PrintOutcome {
    bool printerChosen = false;
    bool completed = false;
};
// The message for it: none for a printed report or a cancelled dialog.
std::string PrintOutcomeText(const PrintOutcome& outcome);

// How a command ended: the message to show (empty for none).
struct CommandResult {
    std::string message;
    bool Ok() const { return message.empty(); }
};

class RecordDocument {
  public:
    RecordDocument();

    const RecordBlock& Block() const { return block_; }
    // The path field's text, as the file system names it; empty until a
    // file has been opened or saved.
    const std::filesystem::path& Path() const { return path_; }
    // One row per used slot, in slot order.
    const std::vector<ListRow>& Rows() const { return rows_; }
    // The text of a cell; empty outside the list.
    const std::string& Cell(int row, int column) const;

    // Replaces the block (count byte and all 100 slots), as a completed
    // upload does, and builds the rows again.
    void SetBlock(const RecordBlock& block);
    // The block no longer comes from the file shown: the path field empties.
    void ForgetPath() { path_.clear(); }
    // Builds the rows again from the block.
    void RefreshRows();

    // Reads `file` into the block. A refused file says why and leaves block,
    // path and rows as they were; a read file becomes the path shown and the
    // rows are built again.
    CommandResult Open(const std::filesystem::path& file);
    // The same for a record file's bytes that come from no file of their own
    // (an archived run): read as Open reads, and the path shown is emptied,
    // since no file on disk holds what the list shows.
    CommandResult OpenBytes(std::string_view bytes);

    // The save dialog's initial name for this local time:
    // Kelvor_20240305_140709.vku.
    static std::string DefaultSaveName(const std::tm& localTime);
    // The file a chosen name is saved as: ".vku" appended unless the name
    // already ends in exactly ".vku" (case matters).
    static std::filesystem::path SaveTarget(const std::filesystem::path& chosen);
    // Whether to ask before writing `target`: the dialog confirmed only the
    // name it was given, and the extension made another name that exists.
    static bool AskBeforeReplacing(const std::filesystem::path& chosen,
                                   const std::filesystem::path& target);
    // Writes the block to `target` (safely: a failed save leaves the old
    // file). Success makes it the path shown; the rows do not change.
    CommandResult Save(const std::filesystem::path& target);

  private:
    RecordBlock block_;
    std::filesystem::path path_;
    std::vector<ListRow> rows_;
};

}  // namespace vark
