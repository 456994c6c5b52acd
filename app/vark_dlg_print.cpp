// The Print command of the main window: the list, as shown, on paper.
#include <memory>
#include <string>

#include "app/message_box.h"
#include "app/print_dialog.h"
#include "app/vark_dlg.h"
#include "report/test_report.h"

void CVarkDlg::PrintReport() {
    vark::ReportSources sources;
    sources.count = m_block.count;
    // The report prints what the list shows, cell by cell.
    sources.cell = [this](int row, int col) { return CellText(row, col).toStdString(); };
    sources.message = [this](const std::string& text) {
        vark::ShowMessage(this, QString::fromStdString(text));
    };
    auto outcome = std::make_shared<vark::PrintOutcome>();
    sources.printDialog = [this, outcome]() -> std::unique_ptr<vark::PrinterChooser> {
        return std::make_unique<vark::DialogPrinterChooser>(this, nullptr, outcome);
    };
    vark::PrintReport(sources);
    // A cancelled dialog says nothing; a job that was started but not
    // completed must not pass for a printed report.
    if (outcome->printerChosen && !outcome->completed) {
        vark::ShowMessage(this, QString::fromLatin1(vark::kPrintFailedMessage));
    }
}
