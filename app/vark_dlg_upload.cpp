// The Upload command of the main window.
#include "app/vark_dlg.h"

void CVarkDlg::Upload() {
    // HOOK: the Upload Data dialog (CCommDlg) is run here, modally, with this
    // window as its parent; a completed upload fills m_block and calls
    // RefreshPinMap. Until it is linked in, the Upload button does nothing.
}
