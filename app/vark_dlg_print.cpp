// The Print command of the main window.
#include "app/vark_dlg.h"

void CVarkDlg::PrintReport() {
    // HOOK: the printed report (report layer) is called from here. Until it is
    // linked in, the toolbar's Print button is present and does nothing.
}
