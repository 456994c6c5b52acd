// The print dialog of the Print command: Qt's QPrintDialog over a QPrinter.
// On Linux it also offers printing to a PDF file, so a report can be made on a
// machine without a printer.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "records/record_block.h"
#include "report/page_surface.h"
#include "ui/record_document.h"  // PrintOutcome

class QPrintDialog;
class QPrinter;
class QWidget;

namespace vark {

// Prints the test report of `block` through the print dialog over `parent`,
// saying so when a job was started but not completed.
void PrintBlockReport(QWidget* parent, const RecordBlock& block);

class DialogPrinterChooser : public PrinterChooser {
  public:
    // Called with the dialog just before it runs (tests close it from here).
    using BeforeExec = std::function<void(QPrintDialog&)>;

    explicit DialogPrinterChooser(QWidget* parent, BeforeExec beforeExec = {},
                                  std::shared_ptr<PrintOutcome> outcome = {});

    // Runs the dialog modally over the parent; null when the user cancels.
    std::unique_ptr<PageSurface> Choose() override;
    // A printer by its system name; null when there is no such printer.
    std::unique_ptr<PageSurface> ByName(const std::u16string& device) override;

  private:
    std::unique_ptr<PageSurface> Track(std::unique_ptr<QPrinter> printer);

    QWidget* parent_;
    BeforeExec beforeExec_;
    std::shared_ptr<PrintOutcome> outcome_;
};

}  // namespace vark
