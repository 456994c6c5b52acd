#include "report/record_report.h"

#include <cstdio>
#include <iomanip>
#include <locale>
#include <new>
#include <sstream>

#include "platform/system.h"
#include "records/pin_map.h"

namespace vark {
namespace {

constexpr int kLinesPerRecord = 6;
constexpr int kLinesPerPage = 30;
constexpr std::uint32_t kBlack = 0;

constexpr int kCentre = PT_HCENTER | PT_VCENTER;  // 3
constexpr int kLeft = PT_LEFT | PT_VCENTER;       // 10
constexpr int kRight = PT_RIGHT | PT_VCENTER;     // 6

// The page's pen, deleted on every way out of the page.
class PagePen {
  public:
    explicit PagePen(PageSurface* surface)
        : surface_(surface),
          pen_(surface ? surface->CreatePen(kReportGeometry.penWidth, kBlack) : 0) {}
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

void DrawPage(PrintJob& rx, const RecordBlock& block, const ReportHooks& hooks,
              const ReportLayout& lay, int rows, int p, int pages, int n) {
    const ReportGeometry& g = kReportGeometry;
    rx.BeginPage();
    PagePen pen(rx.Surface());
    const int left = g.sideMargin;
    const int R = lay.R;
    const int mid = lay.mid;
    const int* y = lay.y;

    for (int i = 0; i <= n + 5; ++i) {
        rx.DrawLine(left, y[i], R, y[i], pen.get());
    }
    rx.DrawLine(left, y[0], left, y[n + 5], pen.get());
    rx.DrawLine(mid, y[1], mid, y[3], pen.get());
    rx.DrawLine(g.idColumnRight, y[3], g.idColumnRight, y[n + 4], pen.get());
    rx.DrawLine(g.pinColumnRight, y[3], g.pinColumnRight, y[n + 4], pen.get());
    rx.DrawLine(mid, y[n + 4], mid, y[n + 5], pen.get());
    rx.DrawLine(R, y[0], R, y[n + 5], pen.get());

    rx.PrintText("ID", {g.idHeadingLeft, y[3], g.idColumnRight, y[4]}, kCentre);
    rx.PrintText("Pin", {g.pinHeadingLeft, y[3], g.pinColumnRight, y[4]}, kCentre);
    rx.PrintText("Pin State", {g.stateHeadingLeft, y[3], R, y[4]}, kCentre);

    // Each record's row is built when its first line is drawn. Its texts fit
    // their cells: three and at most seven characters, map lines of at most
    // 64; a seventh map line has no list column and is not printed either.
    static const std::string kBlank;
    PinMapRow row;
    for (int l = 0; l < n; ++l) {
        const int r = (kLinesPerPage * p + l) / kLinesPerRecord;
        const int k = l % kLinesPerRecord;
        if (k == 0) {
            // Rows past the last used slot would be missing list cells: blank.
            row = r < rows ? BuildPinMapRow(block.slots[static_cast<std::size_t>(r)], r)
                           : PinMapRow{};
            rx.PrintText(row.id, {g.idCellLeft, y[l + 4], g.idColumnRight, y[l + 5]}, kCentre);
            rx.PrintText(row.pin, {g.pinCellLeft, y[l + 4], g.pinColumnRight, y[l + 5]}, kCentre);
        }
        const std::string& state = static_cast<std::size_t>(k) < row.lines.size()
                                       ? row.lines[static_cast<std::size_t>(k)]
                                       : kBlank;
        rx.PrintText(state, {g.stateCellLeft, y[l + 4], R, y[l + 5]}, kLeft);
    }

    rx.PrintText("DevName: VARK-u", {g.labelLeft, y[0], R, y[1]}, kLeft);
    rx.PrintText("DevNO: ", {g.labelLeft, y[1], mid, y[2]}, kLeft);
    rx.PrintText("DevID:", {mid + g.rightHalfInset, y[1], R, y[2]}, kLeft);
    rx.PrintText("Note: ", {g.labelLeft, y[2], R, y[3]}, kLeft);

    rx.PrintText("TestNO: ", {g.labelLeft, y[n + 4], mid, y[n + 5]}, kLeft);
    const std::optional<std::tm> now = hooks.clock ? hooks.clock() : vark::platform::LocalTimeNow();
    rx.PrintText(std::string(13, ' ') + FormatPrintTime(now),
                 {mid + g.rightHalfInset, y[n + 4], R, y[n + 5]}, kLeft);

    char buf[64];
    std::snprintf(buf, sizeof buf, "Page %d/%d    ", p + 1, pages);
    rx.PrintText(buf, {g.pageNumberLeft, y[n + 5], R, y[n + 5] + g.pageNumberHeight}, kRight);

    rx.SelectFont(0, 2);
    rx.PrintText("VARK-u  Report", {left, g.titleTop, R, g.titleBottom}, kCentre);
    rx.SelectFont(0, 0);

    rx.FinishPage();
}

}  // namespace

ReportLayout MakeReportLayout(int pageWidth, int pageHeight) {
    const ReportGeometry& g = kReportGeometry;
    ReportLayout lay;
    lay.W = pageWidth;
    lay.H = pageHeight;
    lay.R = pageWidth - g.sideMargin;
    lay.mid = pageWidth / 2;
    // The step is rounded to single precision and the product taken from that
    // rounded value in double precision: this puts y6 at 196 on an 842-point
    // page (a double step gives 197, and so does a product rounded to float).
    const float step = static_cast<float>(
        static_cast<double>(pageHeight - g.tableTop - g.bottomMargin) / kReportSteps);
    lay.y[0] = g.tableTop;
    for (int i = 1; i < kReportSteps; ++i) {
        lay.y[i] = g.tableTop + static_cast<int>(static_cast<double>(step) * i);
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

void PrintReport(const RecordBlock& block, const ReportHooks& hooks) {
    if (block.count == 0) {
        if (hooks.message) {
            hooks.message(kNoDataMessage);
        }
        return;
    }
    // One row per used slot, never more than 100, whatever the count byte says.
    const int rows = static_cast<int>(UsedSlots(block));
    const int lines = kLinesPerRecord * rows;
    const int pages = (lines + kLinesPerPage - 1) / kLinesPerPage;
    const int lastLines = lines % kLinesPerPage == 0 ? kLinesPerPage : lines % kLinesPerPage;

    PrintJob rx(hooks.printDialog);
    if (rx.SelectPrinter() != 0) {
        return;
    }
    // Running out of memory while building a text abandons the report; the
    // page's pen and the engine (fonts, dialog, printer) are released on the way.
    try {
        rx.BeginDoc();
        const ReportLayout lay = MakeReportLayout(rx.PageWidth(), rx.PageHeight());
        for (int p = 0; p < pages; ++p) {
            DrawPage(rx, block, hooks, lay, rows, p, pages,
                     p == pages - 1 ? lastLines : kLinesPerPage);
        }
        rx.FinishDoc();
    } catch (const std::bad_alloc&) {
    }
}

}  // namespace vark
