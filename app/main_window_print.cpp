// The Print command of the main window: the block's records, as the list
// shows them, on paper.
#include "app/main_window.h"
#include "app/print_dialog.h"

namespace vark {

void MainWindow::PrintReport() {
    PrintBlockReport(this, doc_.Block());
}

}  // namespace vark
