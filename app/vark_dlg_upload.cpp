// The Upload command of the main window.
#include "app/comm_dlg.h"
#include "app/vark_dlg.h"

void CVarkDlg::Upload() {
    // A new dialog each time: nothing (port, link, caption) carries over from
    // one opening to the next. A completed upload is handed back here and
    // shown in the list before the dialog says it succeeded.
    CCommDlg dlg(this, [this](const vark::RecordBlock& received) { SetBlock(received); });
    dlg.exec();
}
