#include "app/lot_report_print.h"

#include <memory>

#include "app/message_box.h"
#include "app/print_dialog.h"
#include "archive/statistics.h"
#include "report/lot_report.h"
#include "ui/record_document.h"

namespace vark {

bool PrintLotReportOf(QWidget* parent, archive::ArchiveReader& reader,
                      archive::StatisticsSource& source, const std::string& lot) {
    const auto summary = archive::GatherLot(reader, source, lot);
    if (!summary) {
        ShowMessage(parent,
                    QString::fromStdString("The report of lot " + lot +
                                           " was not printed: " + summary.error().message + "."));
        return false;
    }
    auto outcome = std::make_shared<PrintOutcome>();
    LotReportHooks hooks;
    hooks.printDialog = [parent, outcome]() -> std::unique_ptr<PrinterChooser> {
        return std::make_unique<DialogPrinterChooser>(parent, nullptr, outcome);
    };
    PrintLotReport(*summary, hooks);
    // A job that was started but not completed must not pass for a printed report.
    if (const std::string failed = PrintOutcomeText(*outcome); !failed.empty()) {
        ShowMessage(parent, QString::fromStdString(failed));
        return false;
    }
    return outcome->printerChosen;
}

}  // namespace vark
