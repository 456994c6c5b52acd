// The Print command of the main window: the block's records, as the list
// shows them, on paper.
#include <memory>
#include <string>

#include "app/message_box.h"
#include "app/print_dialog.h"
#include "app/vark_dlg.h"
#include "report/record_report.h"

void CVarkDlg::PrintReport() {
    vark::ReportHooks hooks;
    hooks.message = [this](const std::string& text) {
        vark::ShowMessage(this, QString::fromStdString(text));
    };
    auto outcome = std::make_shared<vark::PrintOutcome>();
    hooks.printDialog = [this, outcome]() -> std::unique_ptr<vark::PrinterChooser> {
        return std::make_unique<vark::DialogPrinterChooser>(this, nullptr, outcome);
    };
    vark::PrintReport(m_block, hooks);
    // A cancelled dialog says nothing; a job that was started but not
    // completed must not pass for a printed report.
    if (outcome->printerChosen && !outcome->completed) {
        vark::ShowMessage(this, QString::fromLatin1(vark::kPrintFailedMessage));
    }
}
