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
    sources.printDialog = [this]() -> std::unique_ptr<vark::PrinterChooser> {
        return std::make_unique<vark::DialogPrinterChooser>(this);
    };
    vark::PrintReport(sources);
}
