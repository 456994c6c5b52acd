// report: the printed test report written to a PDF file, without a dialog.
#include <QGuiApplication>
#include <QString>
#include <string>

#include "platform/file_io.h"
#include "records/record_file.h"
#include "report/qt_page_surface.h"
#include "report/record_report.h"
#include "tools/cli/cli.h"

namespace vark::cli {
namespace {

int Report(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(args, {"-o", "--page-size"}, {"--force"}, a) || a.names.size() != 1 ||
        !a.Has("-o")) {
        return Usage();
    }
    const std::string& file = a.names[0];
    const std::string out = a.Value("-o");
    const std::string size = a.Value("--page-size", "A4");
    if (size != "A4" && size != "Letter") {
        return Usage();
    }
    // A slip of the options must not turn the records into a report.
    std::string start;
    if (!a.Has("--force") && !vark::platform::ReadFileStart(out, sizeof kRecordMagic, start) &&
        StartsWithRecordMagic(start)) {
        return Fail(out + " is a record file, not replaced (--force replaces it)");
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
    std::shared_ptr<std::error_code> failure;
    ReportHooks hooks;
    hooks.message = [&message](const std::string& text) { message = text; };
    hooks.printDialog = [&]() -> std::unique_ptr<PrinterChooser> {
        auto chooser = std::make_unique<PdfFileChooser>(out, size == "Letter"
                                                                 ? PdfFileChooser::PageSize::Letter
                                                                 : PdfFileChooser::PageSize::A4);
        written = chooser->written();
        failure = chooser->failure();
        return chooser;
    };
    PrintReport(block, hooks);
    if (!message.empty()) {
        return Fail(message);
    }
    if (!written || !*written) {
        return Fail("cannot write " + out +
                    (failure && *failure ? ": " + failure->message() : std::string()));
    }
    return kExitOk;
}

const Register kReport{{"report", "FILE -o OUT.pdf [--page-size A4|Letter] [--force]",
                        "print the test report of a record file to a PDF file (A4 unless told)",
                        Report}};

}  // namespace
}  // namespace vark::cli
