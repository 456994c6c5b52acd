// The Upload command of the main window.
#include "app/comm_dlg.h"
#include "app/vark_dlg.h"

void CVarkDlg::Upload() {
    // A new dialog each time: nothing (port, link, caption) carries over from
    // one opening to the next. A completed upload fills m_block and refreshes
    // the list from inside the dialog; its result is not needed here.
    CCommDlg dlg(this);
    dlg.exec();
}
