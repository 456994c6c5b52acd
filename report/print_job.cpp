#include "report/print_job.h"

#include <cstdint>
#include <limits>

namespace vark {

int MulDiv(int a, int b, int c) {
    if (c == 0) {
        return -1;
    }
    const std::int64_t p = static_cast<std::int64_t>(a) * b;
    std::int64_t q = p / c;
    const std::int64_t r = p % c;
    // Round half away from zero: compare twice the remainder with the divisor.
    const std::int64_t absR = r < 0 ? -r : r;
    const std::int64_t absC = c < 0 ? -static_cast<std::int64_t>(c) : c;
    if (2 * absR >= absC) {
        q += ((p < 0) != (c < 0)) ? -1 : 1;
    }
    if (q > std::numeric_limits<int>::max() || q < std::numeric_limits<int>::min()) {
        return -1;
    }
    return static_cast<int>(q);
}

PrintJob::PrintJob(ChooserFactory makeDialog) : makeDialog_(std::move(makeDialog)) {}

PrintJob::~PrintJob() {
    for (auto& set : fonts_) {
        for (FontHandle& f : set) {
            if (f != 0 && printer_) {
                printer_->DeleteFont(f);
            }
            f = 0;
        }
    }
    dialog_.reset();
    dc_ = nullptr;
    printer_.reset();
}

int PrintJob::Caps(DeviceCap cap) const {
    return dc_ ? dc_->DeviceCaps(cap) : 0;
}

int PrintJob::SelectPrinter(const std::optional<std::u16string>& device) {
    if (!dialog_ && makeDialog_) {
        dialog_ = makeDialog_();
    }
    if (!dialog_) {
        return -1;
    }
    std::unique_ptr<PageSurface> dc = device ? dialog_->ByName(*device) : dialog_->Choose();
    if (!dc) {
        return -1;  // cancelled, or no context: the dialog object stays until destruction
    }
    // A second successful choice replaces the first job's context.
    dc_ = nullptr;
    printer_ = std::move(dc);
    dc_ = printer_.get();
    dialog_.reset();

    LogicalFont font;
    font.height = -MulDiv(10, Caps(DeviceCap::LogPixelsY), 72);
    font.weight = kWeightNormal;
    font.charSet = kAnsiCharset;
    font.pitchAndFamily = kFixedPitch;
    font.faceName = u"Arial";
    AddFontSet(font);
    SelectFont(0, 0);
    return 0;
}

int PrintJob::AddFontSet(LogicalFont& font) {
    if (fontSets_ >= kFontSets) {
        return -1;
    }
    auto& set = fonts_[static_cast<std::size_t>(fontSets_)];
    auto create = [&](const LogicalFont& lf) -> FontHandle {
        return printer_ ? printer_->CreateFont(lf) : 0;
    };
    set[0] = create(font);
    font.weight = kWeightBlack;
    set[1] = create(font);
    font.weight = kWeightNormal;
    font.height = -MulDiv(25, Caps(DeviceCap::LogPixelsY), 72);
    set[2] = create(font);
    font.weight = kWeightBlack;
    set[3] = create(font);
    ++fontSets_;
    return 0;
}

int PrintJob::SelectFont(int set, int variant) {
    currentSet_ = set;
    // A set never created or a variant out of range selects nothing.
    if (set < 0 || set >= fontSets_ || variant < 0 || variant >= kFontVariants) {
        return 0;
    }
    variant_[static_cast<std::size_t>(set)] = variant;
    const FontHandle f = fonts_[static_cast<std::size_t>(set)][static_cast<std::size_t>(variant)];
    if (dc_ && f != 0) {
        dc_->SelectFont(f);
    }
    return 0;
}

int PrintJob::BeginDoc() {
    if (!dc_) {
        return -1;
    }
    // The resources hold no application title, so every job is unnamed.
    if (dc_->StartDoc(std::u16string()) == kSpError) {
        return -1;
    }
    pageWidth_ = dc_->DeviceCaps(DeviceCap::HorzRes);
    pageHeight_ = dc_->DeviceCaps(DeviceCap::VertRes);
    return 0;
}

int PrintJob::PageWidth() {
    return MulDiv(pageWidth_, 72, Caps(DeviceCap::LogPixelsX));
}

int PrintJob::PageHeight() {
    return MulDiv(pageHeight_, 72, Caps(DeviceCap::LogPixelsY));
}

int PrintJob::BeginPage() {
    if (!dc_) {
        return -1;
    }
    return dc_->StartPage() < 0 ? -1 : 0;
}

int PrintJob::DrawLine(int x1, int y1, int x2, int y2, PenHandle pen) {
    if (!dc_) {
        return 0;
    }
    const PenHandle old = dc_->SelectPen(pen);
    dc_->MoveTo(X(x1), Y(y1));
    dc_->LineTo(X(x2), Y(y2));
    dc_->SelectPen(old);
    return 0;
}

int PrintJob::PrintText(const std::string& text, const PrintRect& rect, int flags) {
    // Widen byte by byte: the report's texts are single-byte.
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    return PrintText(std::u16string(bytes, bytes + text.size()), rect, flags);
}

int PrintJob::TextWidth(const std::u16string& text) {
    return dc_ ? MulDiv(dc_->MeasureText(text).cx, 72, Caps(DeviceCap::LogPixelsX)) : 0;
}

int PrintJob::PrintText(const std::u16string& wide, const PrintRect& rect, int flags) {
    if (!dc_) {
        return 1;
    }
    const TextExtent size = dc_->MeasureText(wide);
    const int L = X(rect.left);
    const int Wd = X(rect.right - rect.left);
    const int T = Y(rect.top);
    const int Hd = Y(rect.bottom - rect.top);

    int x = L;
    if (flags & PT_HCENTER) {
        x = L + (Wd / 2 - size.cx / 2);
    } else if (flags & PT_RIGHT) {
        x = L + Wd - size.cx;
    }
    if (x < L) {
        x = L;
    }
    int y = T;
    if (flags & PT_VCENTER) {
        y = T + (Hd / 2 - size.cy / 2);
    }
    if (y < T) {
        y = T;
    }
    dc_->TextOut(x, y, wide);
    return 1;
}

int PrintJob::FinishPage() {
    return dc_ ? dc_->EndPage() : -1;
}

void PrintJob::NextPage() {
    if (dc_) {
        dc_->EndPage();
        dc_->StartPage();
    }
}

int PrintJob::FinishDoc() {
    if (dc_) {
        dc_->EndDoc();
    }
    // Detach only: the context itself is released with the engine.
    dc_ = nullptr;
    return 0;
}

}  // namespace vark
