// "Use as Golden for Part..." of the list's context menu: a record of the
// window kept in the archive as a part's known-good cable, so that every
// later run of that part is compared with it.
#include <filesystem>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "app/message_box.h"
#include "app/part_dialog.h"
#include "archive/sqlite_archive.h"
#include "records/compare.h"
#include "records/pin_map.h"
#include "ui/golden_texts.h"
#include "ui/reference_compare.h"

namespace vark {

void MainWindow::UseAsGoldenForPart(int row) {
    const RecordBlock& block = doc_.Block();
    if (!ReferenceCompare::CanUseRow(row, static_cast<int>(UsedSlots(block)))) {
        return;
    }
    const TestRecord& record = block.slots[row];
    // Refused before asking: no part number makes an empty slot or a record
    // in error a good cable.
    if (const std::string problem = ReferenceProblem(record, "Test " + TestNumber(row));
        !problem.empty()) {
        ShowMessage(this, QString::fromStdString(FramedMessage(problem)));
        return;
    }
    const std::optional<QString> part = AskPartNumber(this);
    if (!part) {
        return;
    }
    const std::string partText = part->toStdString();
    auto refused = [&](const std::string& reason) {
        ShowMessage(this, QString::fromStdString(GoldenRefusedText(row, partText, reason)));
    };

    const archive::ArchiveConfig config =
        archiveConfig_ ? *archiveConfig_
        : archive_
            ? archive_->Config()  // the window's own, --archive and --no-archive included
            : archive::ResolveArchiveConfig(archive::LoadSettings(archive::SettingsFilePath()),
                                            archive::SystemSurroundings(), {});
    if (!config.enabled) {
        refused("the archive is turned off");
        return;
    }
    archive::OpenOptions options;
    options.busyTimeoutMs = config.busyTimeoutMs;
    auto opened = archive::SqliteArchive::Open(config.file, options);
    if (!opened) {
        refused(opened.error().message);
        return;
    }
    archive::SqliteArchive& store = *opened.value();
    const auto before = store.CurrentGolden(partText);
    if (!before) {
        refused(before.error().message);
        return;
    }
    archive::NewGolden golden;
    golden.part = partText;
    golden.record = record;
    std::error_code ec;
    const std::filesystem::path file =
        blockFile_.empty() ? blockFile_ : std::filesystem::absolute(blockFile_, ec);
    golden.source = GoldenSource(row, ec ? blockFile_ : file);
    golden.author = config.operatorName;
    golden.station = config.station;
    const auto made = store.SetGolden(golden);
    if (!made) {
        refused(made.error().message);
        return;
    }
    if (archive_ && !archiveConfig_) {
        archive_->ForwardSoon();
    }
    ShowMessage(this, QString::fromStdString(GoldenKeptText(row, *made, *before)));
}

}  // namespace vark
