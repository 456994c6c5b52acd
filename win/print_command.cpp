#include "win/print_command.h"

#include <memory>
#include <string>
#include <utility>

#include "report/gdi_page_surface_win.h"
#include "report/record_report.h"
#include "ui/record_document.h"
#include "win/text.h"

namespace vark::win {
namespace {

// Passes every operation on to the printer's surface and notes whether the
// document was completed.
class TrackedSurface : public PageSurface {
  public:
    TrackedSurface(std::unique_ptr<PageSurface> inner, std::shared_ptr<PrintOutcome> outcome)
        : inner_(std::move(inner)), outcome_(std::move(outcome)) {}

    int DeviceCaps(DeviceCap cap) override { return inner_->DeviceCaps(cap); }
    int StartDoc(const std::u16string& name) override { return inner_->StartDoc(name); }
    int EndDoc() override {
        const int r = inner_->EndDoc();
        outcome_->completed = r > 0;
        return r;
    }
    int StartPage() override { return inner_->StartPage(); }
    int EndPage() override { return inner_->EndPage(); }
    FontHandle CreateFont(const LogicalFont& font) override { return inner_->CreateFont(font); }
    FontHandle SelectFont(FontHandle font) override { return inner_->SelectFont(font); }
    void DeleteFont(FontHandle font) override { inner_->DeleteFont(font); }
    PenHandle CreatePen(int width, std::uint32_t colour) override {
        return inner_->CreatePen(width, colour);
    }
    PenHandle SelectPen(PenHandle pen) override { return inner_->SelectPen(pen); }
    void DeletePen(PenHandle pen) override { inner_->DeletePen(pen); }
    void MoveTo(int x, int y) override { inner_->MoveTo(x, y); }
    void LineTo(int x, int y) override { inner_->LineTo(x, y); }
    TextExtent MeasureText(const std::u16string& text) override {
        return inner_->MeasureText(text);
    }
    void TextOut(int x, int y, const std::u16string& text) override { inner_->TextOut(x, y, text); }

  private:
    std::unique_ptr<PageSurface> inner_;
    std::shared_ptr<PrintOutcome> outcome_;
};

class TrackedChooser : public PrinterChooser {
  public:
    TrackedChooser(HWND owner, std::shared_ptr<PrintOutcome> outcome)
        : gdi_(owner), outcome_(std::move(outcome)) {}
    std::unique_ptr<PageSurface> Choose() override { return Track(gdi_.Choose()); }
    std::unique_ptr<PageSurface> ByName(const std::u16string& device) override {
        return Track(gdi_.ByName(device));
    }

  private:
    std::unique_ptr<PageSurface> Track(std::unique_ptr<PageSurface> surface) {
        if (!surface) {
            return nullptr;
        }
        outcome_->printerChosen = true;
        outcome_->completed = false;
        return std::make_unique<TrackedSurface>(std::move(surface), outcome_);
    }

    GdiPrinterChooser gdi_;
    std::shared_ptr<PrintOutcome> outcome_;
};

}  // namespace

void PrintBlock(HWND owner, const RecordBlock& block) {
    ReportHooks hooks;
    hooks.message = [owner](const std::string& text) { ShowMessageBox(owner, text); };
    auto outcome = std::make_shared<PrintOutcome>();
    hooks.printDialog = [owner, outcome]() -> std::unique_ptr<PrinterChooser> {
        return std::make_unique<TrackedChooser>(owner, outcome);
    };
    PrintReport(block, hooks);
    // A cancelled dialog says nothing; a job that was started but not
    // completed must not pass for a printed report.
    if (const std::string failed = PrintOutcomeText(*outcome); !failed.empty()) {
        ShowMessageBox(owner, failed);
    }
}

}  // namespace vark::win
