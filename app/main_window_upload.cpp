// The Upload command of the main window.
#include "app/main_window.h"
#include "app/upload_dialog.h"

namespace vark {

void MainWindow::Upload() {
    // A new dialog each time: nothing (port, link, caption) carries over from
    // one opening to the next. A completed upload is handed back here and
    // shown in the list before the dialog says it succeeded.
    UploadDialog dlg(
        this, [this](const RecordBlock& received) { SetBlock(received); }, watch_);
    dlg.exec();
}

}  // namespace vark
