#include "app/print_dialog.h"

#include <QFile>
#include <QPrintDialog>
#include <QPrinter>
#include <QString>
#include <memory>
#include <string>

#include "app/message_box.h"
#include "report/qt_page_surface.h"
#include "report/record_report.h"

namespace vark {

DialogPrinterChooser::DialogPrinterChooser(QWidget* parent, BeforeExec beforeExec,
                                           std::shared_ptr<PrintOutcome> outcome)
    : parent_(parent), beforeExec_(std::move(beforeExec)), outcome_(std::move(outcome)) {}

std::unique_ptr<PageSurface> DialogPrinterChooser::Track(std::unique_ptr<QPrinter> printer) {
    // Printing to a file replaces that file only with a complete document.
    const QString file =
        printer->outputFormat() == QPrinter::PdfFormat ? printer->outputFileName() : QString();
    auto surface = std::make_unique<QtPageSurface>(std::move(printer));
    if (!file.isEmpty()) {
        surface->DeliverTo(QFile::encodeName(file).toStdString());
    }
    if (outcome_) {
        outcome_->printerChosen = true;
        surface->setOnFinished([outcome = outcome_](bool ok) { outcome->completed = ok; });
    }
    return surface;
}

std::unique_ptr<PageSurface> DialogPrinterChooser::Choose() {
    // No printer preselected: the dialog opens on the system's default one.
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPrintDialog dialog(printer.get(), parent_);
    // Copies, ranges and selection are not used: each page is drawn once.
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    if (beforeExec_) {
        beforeExec_(dialog);
    }
    if (dialog.exec() != QDialog::Accepted || !printer->isValid()) {
        return nullptr;
    }
    return Track(std::move(printer));
}

std::unique_ptr<PageSurface> DialogPrinterChooser::ByName(const std::u16string& device) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    const QString name = QString::fromStdU16String(device);
    printer->setPrinterName(name);
    if (name.isEmpty() || printer->printerName() != name || !printer->isValid()) {
        return nullptr;
    }
    return Track(std::move(printer));
}

void PrintBlockReport(QWidget* parent, const RecordBlock& block) {
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
