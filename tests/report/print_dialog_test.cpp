// The Print command's dialog, run headless and closed from a timer.
#include "app/print_dialog.h"

#include <gtest/gtest.h>

#include <QPrintDialog>
#include <QTimer>
#include <QWidget>

#include "report/test_report.h"

namespace vark {
namespace {

TEST(PrintDialogTest, RejectedDialogGivesNoPrinter) {
    QWidget parent;
    bool shown = false;
    DialogPrinterChooser chooser(&parent, [&](QPrintDialog& dialog) {
        shown = true;
        EXPECT_TRUE(dialog.testOption(QAbstractPrintDialog::PrintToFile));
        QTimer::singleShot(0, &dialog, &QDialog::reject);
    });
    EXPECT_EQ(chooser.Choose(), nullptr);
    EXPECT_TRUE(shown);
}

TEST(PrintDialogTest, UnknownPrinterNameGivesNoPrinter) {
    DialogPrinterChooser chooser(nullptr);
    EXPECT_EQ(chooser.ByName(u"vark-no-such-printer"), nullptr);
    EXPECT_EQ(chooser.ByName(u""), nullptr);
}

TEST(PrintDialogTest, CancelledReportShowsNothing) {
    int dialogs = 0;
    std::vector<std::string> messages;
    ReportSources src;
    src.count = 3;
    src.cell = [](int, int) { return std::string("x"); };
    src.message = [&](const std::string& m) { messages.push_back(m); };
    src.printDialog = [&]() -> std::unique_ptr<PrinterChooser> {
        return std::make_unique<DialogPrinterChooser>(nullptr, [&](QPrintDialog& d) {
            ++dialogs;
            QTimer::singleShot(0, &d, &QDialog::reject);
        });
    };
    PrintReport(src);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace vark
