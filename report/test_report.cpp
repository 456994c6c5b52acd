#include "report/test_report.h"

#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <locale>
#include <new>
#include <sstream>

#include "records/record_block.h"
#include "platform/system.h"

namespace vark {
namespace {

constexpr int kLinesPerRecord = 6;
constexpr int kLinesPerPage = 30;
constexpr std::size_t kIdLimit = 15;
constexpr std::size_t kStateLimit = 100;
constexpr int kPenWidth = 3;
constexpr std::uint32_t kBlack = 0;

constexpr int kCentre = PT_HCENTER | PT_VCENTER;  // 3
constexpr int kLeft = PT_LEFT | PT_VCENTER;       // 10
constexpr int kRight = PT_RIGHT | PT_VCENTER;     // 6

// The page's pen, deleted on every way out of the page.
class PagePen {
  public:
    explicit PagePen(PageSurface* surface)
        : surface_(surface), pen_(surface ? surface->CreatePen(kPenWidth, kBlack) : 0) {}
    ~PagePen() {
        if (surface_ && pen_ != 0) {
            surface_->DeletePen(pen_);
        }
    }
    PagePen(const PagePen&) = delete;
    PagePen& operator=(const PagePen&) = delete;
    PenHandle get() const { return pen_; }

  private:
    PageSurface* surface_;
    PenHandle pen_;
};

void DrawPage(CPrintRX& rx, const ReportSources& src, const ReportLayout& lay, int rows, int p,
              int pages, int n) {
    rx.BeginPage();
    PagePen pen(rx.Surface());
    const int R = lay.R;
    const int mid = lay.mid;
    const int* y = lay.y;

    for (int i = 0; i <= n + 5; ++i) {
        rx.DrawLine(20, y[i], R, y[i], pen.get());
    }
    rx.DrawLine(20, y[0], 20, y[n + 5], pen.get());
    rx.DrawLine(mid, y[1], mid, y[3], pen.get());
    rx.DrawLine(60, y[3], 60, y[n + 4], pen.get());
    rx.DrawLine(110, y[3], 110, y[n + 4], pen.get());
    rx.DrawLine(mid, y[n + 4], mid, y[n + 5], pen.get());
    rx.DrawLine(R, y[0], R, y[n + 5], pen.get());

    rx.PrintText("ID", {23, y[3], 60, y[4]}, kCentre);
    rx.PrintText("Pin", {63, y[3], 110, y[4]}, kCentre);
    rx.PrintText("Pin State", {113, y[3], R, y[4]}, kCentre);

    // The list has one row per used slot, never more than 100: rows past it
    // are missing cells and print blank.
    auto cell = [&](int r, int c, std::size_t limit) -> std::string {
        if (r >= rows || !src.cell) {
            return {};
        }
        std::string s = src.cell(r, c);
        if (s.size() > limit) {
            s.resize(limit);
        }
        return s;
    };
    for (int l = 0; l < n; ++l) {
        const int r = (kLinesPerPage * p + l) / kLinesPerRecord;
        const int k = l % kLinesPerRecord;
        if (k == 0) {
            rx.PrintText(cell(r, 0, kIdLimit), {21, y[l + 4], 60, y[l + 5]}, kCentre);
            rx.PrintText(cell(r, 1, kIdLimit), {61, y[l + 4], 110, y[l + 5]}, kCentre);
        }
        rx.PrintText(cell(r, 2 + k, kStateLimit), {115, y[l + 4], R, y[l + 5]}, kLeft);
    }

    rx.PrintText("DevName: VARK-u", {23, y[0], R, y[1]}, kLeft);
    rx.PrintText("DevNO: ", {23, y[1], mid, y[2]}, kLeft);
    rx.PrintText("DevID:", {mid + 5, y[1], R, y[2]}, kLeft);
    rx.PrintText("Note: ", {23, y[2], R, y[3]}, kLeft);

    rx.PrintText("TestNO: ", {23, y[n + 4], mid, y[n + 5]}, kLeft);
    const std::optional<std::tm> now = src.clock ? src.clock() : vark::platform::LocalTimeNow();
    rx.PrintText(std::string(13, ' ') + FormatPrintTime(now), {mid + 5, y[n + 4], R, y[n + 5]},
                 kLeft);

    char buf[64];
    std::snprintf(buf, sizeof buf, "Page %d/%d    ", p + 1, pages);
    rx.PrintText(buf, {110, y[n + 5], R, y[n + 5] + 20}, kRight);

    rx.SelectFont(0, 2);
    rx.PrintText("VARK-u  Report", {20, 20, R, 60}, kCentre);
    rx.SelectFont(0, 0);

    rx.FinishPage();
}

}  // namespace

ReportLayout MakeReportLayout(int pageWidth, int pageHeight) {
    ReportLayout lay;
    lay.W = pageWidth;
    lay.H = pageHeight;
    lay.R = pageWidth - 20;
    lay.mid = pageWidth / 2;
    // The step is rounded to single precision and the product taken from that
    // rounded value in double precision: this puts y6 at 196 on an 842-point
    // page (a double step gives 197, and so does a product rounded to float).
    const float step = static_cast<float>(static_cast<double>(pageHeight - 80) / 36.0);
    lay.y[0] = 70;
    for (int i = 1; i <= 35; ++i) {
        lay.y[i] = 70 + static_cast<int>(static_cast<double>(step) * i);
    }
    return lay;
}

std::string FormatPrintTime(const std::optional<std::tm>& localTime) {
    if (!localTime) {
        return {};
    }
    // The classic locale, whatever the process's locale: 24-hour time with seconds.
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::put_time(&*localTime, "%Y-%m-%d  %X");
    if (!out) {
        return {};
    }
    std::string s = out.str();
    if (s.size() >= 64) {
        return {};
    }
    return s;
}

void PrintReport(const ReportSources& src) {
    if (src.count == 0) {
        if (src.message) {
            src.message(kNoDataMessage);
        }
        return;
    }
    // The list never holds more than 100 rows, whatever the count byte says.
    const int rows = std::min<int>(src.count, static_cast<int>(kMaxRecords));
    const int lines = kLinesPerRecord * rows;
    const int pages = (lines + kLinesPerPage - 1) / kLinesPerPage;
    const int lastLines = lines % kLinesPerPage == 0 ? kLinesPerPage : lines % kLinesPerPage;

    CPrintRX rx(src.printDialog);
    if (rx.SelectPrinter() != 0) {
        return;
    }
    // Running out of memory while building a text abandons the report; the
    // page's pen and the engine (fonts, dialog, printer) are released on the way.
    try {
        rx.BeginDoc();
        const ReportLayout lay = MakeReportLayout(rx.PageWidth(), rx.PageHeight());
        for (int p = 0; p < pages; ++p) {
            DrawPage(rx, src, lay, rows, p, pages, p == pages - 1 ? lastLines : kLinesPerPage);
        }
        rx.FinishDoc();
    } catch (const std::bad_alloc&) {
    }
}

}  // namespace vark
