// The Upload command of the main window.
#include "app/main_window.h"
#include "app/station_archive.h"
#include "app/upload_dialog.h"

#include <QStatusBar>

namespace vark {

void MainWindow::Upload() {
    // A new dialog each time: nothing (port, link, caption) carries over from
    // one opening to the next but the Run details, kept in the settings. A
    // completed upload is handed back here, shown in the list and archived
    // before the dialog says it succeeded.
    UploadDialog dlg(
        this, [this](const RecordBlock& received) { SetBlock(received); }, watch_);
    const bool archiving = archive_ && archive_->Enabled();
    if (archive_) {
        dlg.SetRunDetails(
            OpeningRunDetails(archive_->RememberedDetails(), archive_->Config().operatorName),
            archiving);
    } else {
        dlg.SetRunDetails({}, false);
    }
    if (archiving) {
        dlg.SetKeepHandler([this, &dlg](const RecordBlock& block, const UploadFacts& facts) {
            return KeepUpload(block, facts, dlg.TypedRunDetails());
        });
    }
    dlg.exec();
    if (archiving) {
        // Typed and not uploaded with: still the details of the next run.
        const RunDetails typed =
            CleanRunDetails(dlg.TypedRunDetails(), archive_->Config().operatorName);
        if (typed !=
                CleanRunDetails(archive_->RememberedDetails(), archive_->Config().operatorName) &&
            !archive_->RememberDetails(typed)) {
            statusBar_->showMessage(
                QStringLiteral("The Run details could not be kept in the settings file."));
        }
    }
}

}  // namespace vark
