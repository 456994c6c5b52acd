// The Print command's dialog, run headless and closed from a timer.
#include "app/print_dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QLineEdit>
#include <QPrintDialog>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <filesystem>

#include "records/sample_records.h"
#include "report/record_report.h"
#include "tests/app/print_to_file.h"

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
    RecordBlock block;
    ClearBlock(block);
    block.count = 3;
    ReportHooks hooks;
    hooks.message = [&](const std::string& m) { messages.push_back(m); };
    hooks.printDialog = [&]() -> std::unique_ptr<PrinterChooser> {
        return std::make_unique<DialogPrinterChooser>(nullptr, [&](QPrintDialog& d) {
            ++dialogs;
            QTimer::singleShot(0, &d, &QDialog::reject);
        });
    };
    PrintReport(block, hooks);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(messages.empty());
}

// Printing to a file chosen in the dialog (never the printer it opened on),
// the file name typed into the dialog's own field.
TEST(PrintDialogTest, AcceptedDialogPrintsToTheChosenFile) {
    const auto pdf = std::filesystem::temp_directory_path() /
                     ("vark-dialog-" + std::to_string(::getpid()) + ".pdf");
    std::filesystem::remove(pdf);
    RecordBlock block;
    ClearBlock(block);
    block.count = 6;
    block.slots[5] = RecordBuilder(3).Straight().Build();
    ReportHooks hooks;
    hooks.printDialog = [&]() -> std::unique_ptr<PrinterChooser> {
        return std::make_unique<DialogPrinterChooser>(nullptr, [&](QPrintDialog& d) {
            QTimer::singleShot(0, &d, [&d, &pdf] {
                if (!test::ChoosePrintToFile(d, QString::fromStdString(pdf.string()))) {
                    d.reject();
                    return;
                }
                d.accept();
                EXPECT_EQ(d.printer()->outputFormat(), QPrinter::PdfFormat);
            });
        });
    };
    PrintReport(block, hooks);
    ASSERT_TRUE(std::filesystem::exists(pdf));
    FILE* p = ::popen(("pdftotext " + pdf.string() + " -").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string text;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) {
        text.append(buf, n);
    }
    ::pclose(p);
    EXPECT_NE(text.find("Page 1/2"), std::string::npos) << text;
    EXPECT_NE(text.find("Page 2/2"), std::string::npos);
    EXPECT_NE(text.find("006"), std::string::npos);
    EXPECT_NE(text.find("A03-B03"), std::string::npos);
    std::filesystem::remove(pdf);
}

}  // namespace
}  // namespace vark
