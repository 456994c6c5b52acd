// What vark-cli's reports share: a print job's output into a PDF file, with
// no dialog and no display, written the safe way (report/qt_page_surface.h).
#pragma once

#include <QGuiApplication>
#include <memory>
#include <string>
#include <system_error>

#include "report/print_job.h"

namespace vark::cli {

class PdfOutput {
  public:
    // `pageSize` is "A4" or "Letter". Makes the application fonts need.
    PdfOutput(std::string file, const std::string& pageSize);
    PdfOutput(const PdfOutput&) = delete;
    PdfOutput& operator=(const PdfOutput&) = delete;

    // What the print job calls for its dialog: the PDF file instead.
    ChooserFactory Chooser();
    // 0 when a whole document was written; otherwise the reason is on
    // standard error ("cannot write FILE: reason") and the status is 1.
    int Finish() const;

  private:
    std::string file_;
    bool letter_;
    int argc_ = 1;
    char name_[9] = "vark-cli";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QGuiApplication> app_;
    std::shared_ptr<bool> written_;
    std::shared_ptr<std::error_code> failure_;
};

}  // namespace vark::cli
