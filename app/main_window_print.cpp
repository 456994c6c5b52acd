// The Print command of the main window: the block's records, as the list
// shows them, on paper.
#include <memory>
#include <string>

#include "app/main_window.h"
#include "app/message_box.h"
#include "app/print_dialog.h"
#include "report/record_report.h"

namespace vark {

void MainWindow::PrintReport() {
    PrintBlock(this, doc_.Block());
}

void MainWindow::PrintBlock(QWidget* parent, const RecordBlock& block) {
    ReportHooks hooks;
    hooks.message = [parent](const std::string& text) {
        vark::ShowMessage(parent, QString::fromStdString(text));
    };
    auto outcome = std::make_shared<PrintOutcome>();
    hooks.printDialog = [parent, outcome]() -> std::unique_ptr<PrinterChooser> {
        return std::make_unique<DialogPrinterChooser>(parent, nullptr, outcome);
    };
    vark::PrintReport(block, hooks);
    // A cancelled dialog says nothing; a job that was started but not
    // completed must not pass for a printed report.
    if (const std::string failed = PrintOutcomeText(*outcome); !failed.empty()) {
        vark::ShowMessage(parent, QString::fromStdString(failed));
    }
}

}  // namespace vark
