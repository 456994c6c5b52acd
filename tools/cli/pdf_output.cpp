#include "tools/cli/pdf_output.h"

#include "report/qt_page_surface.h"
#include "tools/cli/cli.h"

namespace vark::cli {

PdfOutput::PdfOutput(std::string file, const std::string& pageSize)
    : file_(std::move(file)), letter_(pageSize == "Letter") {
    PrepareQtPlatform();
    app_ = std::make_unique<QGuiApplication>(argc_, argv_);
}

ChooserFactory PdfOutput::Chooser() {
    return [this]() -> std::unique_ptr<PrinterChooser> {
        auto chooser = std::make_unique<PdfFileChooser>(
            file_, letter_ ? PdfFileChooser::PageSize::Letter : PdfFileChooser::PageSize::A4);
        written_ = chooser->written();
        failure_ = chooser->failure();
        return chooser;
    };
}

int PdfOutput::Finish() const {
    if (!written_ || !*written_) {
        return Fail("cannot write " + file_ +
                    (failure_ && *failure_ ? ": " + failure_->message() : std::string()));
    }
    return kExitOk;
}

}  // namespace vark::cli
