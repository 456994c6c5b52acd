// report: the printed test report written to a PDF file, without a dialog.
#include <string>

#include "platform/file_io.h"
#include "records/record_file.h"
#include "report/record_report.h"
#include "tools/cli/cli.h"
#include "tools/cli/pdf_output.h"

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

    PdfOutput pdf(out, size);
    std::string message;
    ReportHooks hooks;
    hooks.message = [&message](const std::string& text) { message = text; };
    hooks.printDialog = pdf.Chooser();
    PrintReport(block, hooks);
    if (!message.empty()) {
        return Fail(message);
    }
    return pdf.Finish();
}

const Register kReport{{"report", "FILE -o OUT.pdf [--page-size A4|Letter] [--force]",
                        "print the test report of a record file to a PDF file (A4 unless told)",
                        Report}};

}  // namespace
}  // namespace vark::cli
