// report: the printed test report written to a PDF file, without a dialog.
#include <QGuiApplication>
#include <QString>
#include <string>

#include "records/record_file.h"
#include "report/qt_page_surface.h"
#include "report/record_report.h"
#include "tools/cli/cli.h"

namespace vark::cli {
namespace {

int Report(const std::vector<std::string>& args) {
    std::string file;
    std::string out;
    std::string size = "A4";
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o" && i + 1 < args.size()) {
            out = args[++i];
        } else if (a == "--page-size" && i + 1 < args.size()) {
            size = args[++i];
        } else if (a.rfind("--page-size=", 0) == 0) {
            size = a.substr(12);
        } else if (file.empty() && !a.empty() && a[0] != '-') {
            file = a;
        } else {
            return Usage();
        }
    }
    if (file.empty() || out.empty() || (size != "A4" && size != "Letter")) {
        return Usage();
    }

    // Read as the window's Open does: into a cleared block.
    RecordBlock block;
    ClearBlock(block);
    const FileStatus st = ReadRecordFile(file, block);
    if (st != FileStatus::Ok) {
        return Fail(FileStatusMessage(st));
    }

    PrepareQtPlatform();
    int argc = 1;
    char name[] = "vark-cli";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);

    std::string message;
    std::shared_ptr<bool> written;
    ReportHooks hooks;
    hooks.message = [&message](const std::string& text) { message = text; };
    hooks.printDialog = [&]() -> std::unique_ptr<PrinterChooser> {
        auto chooser = std::make_unique<PdfFileChooser>(
            QString::fromStdString(out),
            size == "Letter" ? PdfFileChooser::PageSize::Letter : PdfFileChooser::PageSize::A4);
        written = chooser->written();
        return chooser;
    };
    PrintReport(block, hooks);
    if (!message.empty()) {
        return Fail(message);
    }
    if (!written || !*written) {
        return Fail("cannot write " + out);
    }
    return kExitOk;
}

const Register kReport{{"report", "FILE -o OUT.pdf [--page-size A4|Letter]",
                        "print the test report of a record file to a PDF file (A4 unless told)",
                        Report}};

}  // namespace
}  // namespace vark::cli
