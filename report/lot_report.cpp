#include "report/lot_report.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "platform/system.h"
#include "records/pin_map.h"
#include "report/record_report.h"

namespace vark {
namespace {

using archive::LotSummary;

// Font sets: 0 is the engine's own (10 points, and 25 for the title); 1 is
// 8 points for the chart and the footer; 2 is 14 points for headings.
enum class Font { Body, Bold, Title, Small, SmallBold, Heading };

std::pair<int, int> SetAndVariant(Font f) {
    switch (f) {
        case Font::Body:
            return {0, 0};
        case Font::Bold:
            return {0, 1};
        case Font::Title:
            return {0, 2};
        case Font::Small:
            return {1, 0};
        case Font::SmallBold:
            return {1, 1};
        case Font::Heading:
            return {2, 1};
    }
    return {0, 0};
}

enum class Pen { Rule, Grid, Bar, Curve };
constexpr int kPens = 4;

// Colours as 0x00BBGGRR.
constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kGridGrey = 0xD0D0D0;
constexpr std::uint32_t kBarBlue = 0xA06E46;
constexpr std::uint32_t kCurveRed = 0x2828C8;

constexpr int kLeftFlags = PT_LEFT | PT_VCENTER;
constexpr int kRightFlags = PT_RIGHT | PT_VCENTER;
constexpr int kCentreFlags = PT_HCENTER | PT_VCENTER;

// Where things go, in points from the top-left corner of the printable area.
constexpr int kSide = 36;
constexpr int kTitleTop = 20;
constexpr int kTitleBottom = 60;
constexpr int kContentTop = 76;
constexpr int kFooterRule = 36;  // above the bottom edge
constexpr int kLine = 14;        // a line of 10-point text
constexpr int kSmallLine = 11;   // a line of 8-point text
constexpr int kLabelWidth = 110;
constexpr int kChartHeight = 205;

// One drawing operation of a page, kept until the number of pages is known.
struct Op {
    enum class Kind { Text, Line, Fill } kind = Kind::Text;
    Font font = Font::Body;
    std::u16string text;
    PrintRect rect;
    int flags = 0;
    Pen pen = Pen::Rule;
};

std::string Percent(double share) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.1f %%", share * 100);
    return buf;
}

std::string Local(archive::TimeMs ms) {
    return archive::FormatTime(ms, "%Y-%m-%d %H:%M", true);
}

std::string Joined(const std::vector<std::string>& list) {
    std::string out;
    for (const std::string& s : list) {
        out += (out.empty() ? "" : ", ") + (s.empty() ? std::string("(none)") : s);
    }
    return out.empty() ? "(none)" : out;
}

std::string Runs(int n) {
    return std::to_string(n) + (n == 1 ? " run" : " runs");
}

// A step of 1, 2 or 5 times a power of ten giving at most five ticks.
std::int64_t NiceStep(std::int64_t max) {
    std::int64_t power = 1;
    while (true) {
        for (const std::int64_t m : {1, 2, 5}) {
            if (max <= 5 * m * power) {
                return m * power;
            }
        }
        power *= 10;
    }
}

class Layout {
  public:
    Layout(PrintJob& rx, int width, int height)
        : rx_(rx), W(width), H(height), L(kSide), R(width - kSide) {
        NewPage();
    }

    std::vector<std::vector<Op>>& Pages() { return pages_; }

    int Width(Font f, const std::u16string& s) {
        const auto [set, variant] = SetAndVariant(f);
        rx_.SelectFont(set, variant);
        return rx_.TextWidth(s);
    }

    // Lines of at most `width` points, broken between words, and inside a
    // word only when it alone is wider.
    std::vector<std::u16string> Wrap(Font f, const std::string& utf8, int width) {
        const std::u16string text = Utf16(utf8);
        std::vector<std::u16string> lines;
        std::u16string line;
        std::size_t pos = 0;
        while (pos <= text.size()) {
            std::size_t end = text.find(u' ', pos);
            if (end == std::u16string::npos) {
                end = text.size();
            }
            std::u16string word = text.substr(pos, end - pos);
            pos = end + 1;
            const std::u16string joined = line.empty() ? word : line + u' ' + word;
            if (Width(f, joined) <= width) {
                line = joined;
                continue;
            }
            if (!line.empty()) {
                lines.push_back(line);
            }
            line.clear();
            while (!word.empty() && Width(f, word) > width) {
                std::size_t fit = 1;
                while (fit < word.size() && Width(f, word.substr(0, fit + 1)) <= width) {
                    ++fit;
                }
                lines.push_back(word.substr(0, fit));
                word.erase(0, fit);
            }
            line = word;
        }
        if (!line.empty() || lines.empty()) {
            lines.push_back(line);
        }
        return lines;
    }

    void Text(Font f, std::u16string text, PrintRect r, int flags) {
        Op op;
        op.kind = Op::Kind::Text;
        op.font = f;
        op.text = std::move(text);
        op.rect = r;
        op.flags = flags;
        pages_.back().push_back(std::move(op));
    }
    void Text(Font f, const std::string& utf8, PrintRect r, int flags) {
        Text(f, Utf16(utf8), r, flags);
    }

    void Line(Pen pen, int x1, int y1, int x2, int y2) {
        Op op;
        op.kind = Op::Kind::Line;
        op.pen = pen;
        op.rect = {x1, y1, x2, y2};
        pages_.back().push_back(std::move(op));
    }

    // A filled rectangle, outlined.
    void Box(Pen fill, PrintRect r) {
        if (r.bottom - r.top > 2 && r.right - r.left > 2) {
            Op op;
            op.kind = Op::Kind::Fill;
            op.pen = fill;
            op.rect = r;
            pages_.back().push_back(std::move(op));
        }
        Line(Pen::Rule, r.left, r.top, r.right, r.top);
        Line(Pen::Rule, r.right, r.top, r.right, r.bottom);
        Line(Pen::Rule, r.right, r.bottom, r.left, r.bottom);
        Line(Pen::Rule, r.left, r.bottom, r.left, r.top);
    }

    void NewPage() {
        pages_.emplace_back();
        y = kContentTop;
    }
    int Bottom() const { return H - kFooterRule - 8; }
    void EnsureRoom(int height) {
        if (y + height > Bottom() && y > kContentTop) {
            NewPage();
        }
    }

    PrintJob& rx_;
    const int W;
    const int H;
    const int L;
    const int R;
    int y = kContentTop;

  private:
    std::vector<std::vector<Op>> pages_;
};

// "Label" and its value, wrapped beside it.
void Fact(Layout& lay, const std::string& label, const std::string& value, Font font = Font::Body) {
    const int left = lay.L + kLabelWidth + 5;
    const auto lines = lay.Wrap(font, value, lay.R - left);
    const int step = font == Font::Heading ? 20 : kLine;
    lay.EnsureRoom(step * static_cast<int>(lines.size()));
    lay.Text(Font::Bold, label, {lay.L, lay.y, lay.L + kLabelWidth, lay.y + step}, kLeftFlags);
    for (const auto& line : lines) {
        lay.Text(font, line, {left, lay.y, lay.R, lay.y + step}, kLeftFlags);
        lay.y += step;
    }
}

// Text wrapped between `left` and the right margin, from the current line on.
void Paragraph(Layout& lay, Font font, const std::string& text, int left, int step) {
    for (const auto& line : lay.Wrap(font, text, lay.R - left)) {
        lay.Text(font, line, {left, lay.y, lay.R, lay.y + step}, kLeftFlags);
        lay.y += step;
    }
}

std::string ReferenceText(const LotSummary::Reference& ref) {
    if (!ref.golden) {
        return ref.label + " (" + Runs(ref.runs) + ")";
    }
    const archive::Golden& g = *ref.golden;
    return g.source + ", set " + Local(g.made) + " by " + g.author + " at " + g.station +
           " (part " + g.part + ", " + Runs(ref.runs) + ")";
}

void TitlePage(Layout& lay, const LotSummary& lot) {
    Fact(lay, "Lot", lot.lot.empty() ? "(none)" : lot.lot);
    Fact(lay, "Part number", Joined(lot.parts));
    std::vector<std::string> refs;
    for (const auto& r : lot.references) {
        refs.push_back(ReferenceText(r));
    }
    if (lot.runsNotJudged > 0) {
        refs.push_back("none: " + Runs(lot.runsNotJudged) + " not judged");
    }
    if (refs.empty()) {
        refs.push_back("none");
    }
    for (std::size_t i = 0; i < refs.size(); ++i) {
        Fact(lay, i == 0 ? (lot.references.size() > 1 ? "References" : "Golden reference") : "",
             refs[i]);
    }
    Fact(lay, "Stations", Joined(lot.stations));
    Fact(lay, "Operators", Joined(lot.operators));
    Fact(lay, "Period", lot.runs > 0 ? Local(lot.first) + " to " + Local(lot.last) : "-");
    std::string runs = std::to_string(lot.runs) + " counted";
    if (lot.voided > 0 || lot.repeats > 0) {
        runs += "; left out: " + std::to_string(lot.voided) + " voided, " +
                std::to_string(lot.repeats) + (lot.repeats == 1 ? " repeat" : " repeats");
    }
    Fact(lay, "Runs", runs);
    Fact(lay, "Counted records", std::to_string(lot.totals.Counted()));
    Fact(lay, "Passed", std::to_string(lot.totals.passed));
    Fact(lay, "Failed", std::to_string(lot.totals.failed));
    if (lot.totals.notJudged > 0) {
        Fact(lay, "Not judged",
             std::to_string(lot.totals.notJudged) + " (runs without a reference)");
    }
    lay.y += 4;
    const auto yield = lot.totals.Yield();
    Fact(lay, "First-pass yield", yield ? Percent(*yield) : "- (no record judged)", Font::Heading);
    for (const auto& [warning, n] : lot.warnings) {
        Fact(lay, "", warning + " (" + Runs(n) + ")");
    }
}

// The chart from `y` down; the layout goes on below its legend.
void Chart(Layout& lay, const archive::ParetoTop& top, int y) {
    const int x0 = lay.L + 34;
    const int x1 = lay.R - 40;
    const int yTop = y + 14;
    const int yBottom = y + kChartHeight - 34;
    const int ph = yBottom - yTop;
    const std::int64_t max = top.rows.empty() ? 1 : std::max<std::int64_t>(top.rows[0].count, 1);
    const std::int64_t step = NiceStep(max);
    const std::int64_t scale = (max + step - 1) / step * step;
    auto yOf = [&](double fraction) { return yBottom - static_cast<int>(ph * fraction + 0.5); };

    for (std::int64_t v = 0; v <= scale; v += step) {
        const int ty = yOf(static_cast<double>(v) / static_cast<double>(scale));
        if (v > 0) {
            lay.Line(Pen::Grid, x0, ty, x1, ty);
        }
        lay.Text(Font::Small, std::to_string(v), {lay.L, ty - 5, x0 - 4, ty + 5}, kRightFlags);
    }
    for (int q = 0; q <= 4; ++q) {
        const int ty = yOf(q / 4.0);
        lay.Line(Pen::Rule, x1, ty, x1 + 3, ty);
        lay.Text(Font::Small, std::to_string(q * 25) + " %", {x1 + 5, ty - 5, lay.R, ty + 5},
                 kLeftFlags);
    }
    lay.Line(Pen::Rule, x0, yTop, x0, yBottom);
    lay.Line(Pen::Rule, x1, yTop, x1, yBottom);
    lay.Line(Pen::Rule, x0, yBottom, x1, yBottom);

    const int n = static_cast<int>(top.rows.size());
    const int slot = (x1 - x0) / std::max(n, 1);
    const int bar = std::max(4, slot * 6 / 10);
    std::vector<std::pair<int, int>> curve;
    for (int i = 0; i < n; ++i) {
        const archive::ParetoRow& row = top.rows[static_cast<std::size_t>(i)];
        const int left = x0 + slot * i + (slot - bar) / 2;
        const int barTop = yOf(static_cast<double>(row.count) / static_cast<double>(scale));
        lay.Box(Pen::Bar, {left, barTop, left + bar, yBottom});
        lay.Text(Font::Small, std::to_string(row.count),
                 {left - 10, barTop - 11, left + bar + 10, barTop - 1}, kCentreFlags);
        lay.Text(Font::Small, std::to_string(i + 1), {left, yBottom + 2, left + bar, yBottom + 12},
                 kCentreFlags);
        curve.emplace_back(left + bar / 2, yOf(row.cumulative));
    }
    for (std::size_t i = 0; i < curve.size(); ++i) {
        const auto [cx, cy] = curve[i];
        if (i > 0) {
            lay.Line(Pen::Curve, curve[i - 1].first, curve[i - 1].second, cx, cy);
        }
        lay.Line(Pen::Curve, cx - 2, cy - 2, cx + 2, cy - 2);
        lay.Line(Pen::Curve, cx + 2, cy - 2, cx + 2, cy + 2);
        lay.Line(Pen::Curve, cx + 2, cy + 2, cx - 2, cy + 2);
        lay.Line(Pen::Curve, cx - 2, cy + 2, cx - 2, cy - 2);
    }
    lay.y = yBottom + 16;
    Paragraph(lay, Font::Small,
              "Bars: how often each cause was found (left scale). Line: their cumulative share "
              "(right scale).",
              x0, kSmallLine);
    lay.y += 6;
}

void Causes(Layout& lay, const archive::Pareto& pareto) {
    lay.EnsureRoom(40);
    lay.Text(Font::Heading, "Failure causes", {lay.L, lay.y, lay.R, lay.y + 20}, kLeftFlags);
    lay.y += 20;
    if (pareto.rows.empty()) {
        lay.Text(Font::Body, "No failed records.", {lay.L, lay.y, lay.R, lay.y + kLine},
                 kLeftFlags);
        lay.y += kLine;
        return;
    }
    Paragraph(lay, Font::Small,
              std::to_string(pareto.causes) + " causes in " + std::to_string(pareto.failedRecords) +
                  " failed records: each missing or extra connection of a record counts once, "
                  "another pin count and an error once.",
              lay.L, kSmallLine);
    lay.y += 2;
    const archive::ParetoTop top = archive::TopCauses(pareto, kLotReportBars);
    const int rows = static_cast<int>(top.rows.size());
    lay.EnsureRoom(kChartHeight + kSmallLine * (rows + 1));
    Chart(lay, top, lay.y);

    // The key: what each bar stands for.
    const int cRank = lay.L + 20;
    const int cCount = lay.R - 150;
    const int cShare = lay.R - 80;
    auto row = [&](Font f, const std::string& rank, const std::string& cause,
                   const std::string& count, const std::string& share, const std::string& cum) {
        lay.Text(f, rank, {lay.L, lay.y, cRank, lay.y + kSmallLine}, kRightFlags);
        lay.Text(f, cause, {cRank + 8, lay.y, cCount - 60, lay.y + kSmallLine}, kLeftFlags);
        lay.Text(f, count, {cCount - 60, lay.y, cCount, lay.y + kSmallLine}, kRightFlags);
        lay.Text(f, share, {cCount, lay.y, cShare, lay.y + kSmallLine}, kRightFlags);
        lay.Text(f, cum, {cShare, lay.y, lay.R, lay.y + kSmallLine}, kRightFlags);
        lay.y += kSmallLine;
    };
    row(Font::SmallBold, "#", "Cause", "Count", "Share", "Cumulative");
    lay.Line(Pen::Rule, lay.L, lay.y, lay.R, lay.y);
    lay.y += 1;
    for (int i = 0; i < rows; ++i) {
        const archive::ParetoRow& r = top.rows[static_cast<std::size_t>(i)];
        row(Font::Small, std::to_string(i + 1), r.cause, std::to_string(r.count), Percent(r.share),
            Percent(r.cumulative));
    }
}

void FailedRecords(Layout& lay, const LotSummary& lot) {
    if (lot.failed.empty()) {
        return;
    }
    const int cStation = lay.L + 92;
    const int cTest = cStation + 95;
    const int cResult = cTest + 34;
    bool continued = false;
    auto header = [&] {
        const std::string title = "Failed records (" + std::to_string(lot.failed.size()) + ")" +
                                  (continued ? ", continued" : "");
        lay.Text(Font::Heading, title, {lay.L, lay.y, lay.R, lay.y + 20}, kLeftFlags);
        lay.y += 24;
        lay.Text(Font::Bold, "Run started", {lay.L, lay.y, cStation, lay.y + kLine}, kLeftFlags);
        lay.Text(Font::Bold, "Station", {cStation, lay.y, cTest, lay.y + kLine}, kLeftFlags);
        lay.Text(Font::Bold, "Test", {cTest, lay.y, cResult, lay.y + kLine}, kLeftFlags);
        lay.Text(Font::Bold, "Result", {cResult, lay.y, lay.R, lay.y + kLine}, kLeftFlags);
        lay.y += kLine;
        lay.Line(Pen::Rule, lay.L, lay.y, lay.R, lay.y);
        lay.y += 2;
        continued = true;
    };
    lay.NewPage();
    header();
    for (const archive::FailedRecord& r : lot.failed) {
        const auto station = lay.Wrap(Font::Body, r.station, cTest - cStation - 6);
        const auto result = lay.Wrap(Font::Body, FailureText(r), lay.R - cResult);
        const int lines = static_cast<int>(std::max(station.size(), result.size()));
        const int height = lines * kLine + 2;
        if (lay.y + height > lay.Bottom()) {
            lay.NewPage();
            header();
        }
        lay.Text(Font::Body, Local(r.started), {lay.L, lay.y, cStation, lay.y + kLine}, kLeftFlags);
        lay.Text(Font::Body, TestNumber(r.slot), {cTest, lay.y, cResult, lay.y + kLine},
                 kLeftFlags);
        for (int i = 0; i < lines; ++i) {
            const int top = lay.y + i * kLine;
            const auto at = static_cast<std::size_t>(i);
            if (at < station.size()) {
                lay.Text(Font::Body, station[at], {cStation, top, cTest, top + kLine}, kLeftFlags);
            }
            if (at < result.size()) {
                lay.Text(Font::Body, result[at], {cResult, top, lay.R, top + kLine}, kLeftFlags);
            }
        }
        lay.y += height;
        lay.Line(Pen::Grid, lay.L, lay.y - 1, lay.R, lay.y - 1);
    }
}

int PenWidth(Pen pen, int dpi) {
    switch (pen) {
        case Pen::Rule:
            return std::max(1, dpi / 200);
        case Pen::Grid:
            return std::max(1, dpi / 300);
        case Pen::Bar:
            // Two points: lines a point apart, a point inside the bar's
            // edges, fill it to its outline (their round ends included).
            return MulDiv(2, dpi, 72);
        case Pen::Curve:
            return std::max(1, dpi / 60);
    }
    return 1;
}

std::uint32_t PenColour(Pen pen) {
    switch (pen) {
        case Pen::Rule:
            return kBlack;
        case Pen::Grid:
            return kGridGrey;
        case Pen::Bar:
            return kBarBlue;
        case Pen::Curve:
            return kCurveRed;
    }
    return kBlack;
}

// The page's pens, deleted on every way out of the page.
class PagePens {
  public:
    explicit PagePens(PageSurface* surface) : surface_(surface) {
        const int dpi = surface ? surface->DeviceCaps(DeviceCap::LogPixelsX) : 72;
        for (int i = 0; i < kPens; ++i) {
            const Pen p = static_cast<Pen>(i);
            pens_[i] = surface ? surface->CreatePen(PenWidth(p, dpi), PenColour(p)) : 0;
        }
    }
    ~PagePens() {
        for (const PenHandle pen : pens_) {
            if (surface_ && pen != 0) {
                surface_->DeletePen(pen);
            }
        }
    }
    PagePens(const PagePens&) = delete;
    PagePens& operator=(const PagePens&) = delete;
    PenHandle operator[](Pen p) const { return pens_[static_cast<int>(p)]; }

  private:
    PageSurface* surface_;
    PenHandle pens_[kPens] = {};
};

void DrawPage(PrintJob& rx, const Layout& lay, const std::vector<Op>& ops, int page, int pages,
              const std::string& footer) {
    rx.BeginPage();
    PagePens pens(rx.Surface());
    rx.SelectFont(0, 2);
    rx.PrintText("VARK-u  Lot Report", {lay.L, kTitleTop, lay.R, kTitleBottom}, kCentreFlags);
    for (const Op& op : ops) {
        switch (op.kind) {
            case Op::Kind::Text: {
                const auto [set, variant] = SetAndVariant(op.font);
                rx.SelectFont(set, variant);
                rx.PrintText(op.text, op.rect, op.flags);
                break;
            }
            case Op::Kind::Line:
                rx.DrawLine(op.rect.left, op.rect.top, op.rect.right, op.rect.bottom, pens[op.pen]);
                break;
            case Op::Kind::Fill:
                // Lines a point apart with a pen two points wide.
                for (int y = op.rect.top + 1; y < op.rect.bottom; ++y) {
                    rx.DrawLine(op.rect.left + 1, y, op.rect.right - 1, y, pens[op.pen]);
                }
                break;
        }
    }
    const int rule = lay.H - kFooterRule;
    rx.DrawLine(lay.L, rule, lay.R, rule, pens[Pen::Rule]);
    rx.SelectFont(1, 0);
    rx.PrintText(Utf16(footer), {lay.L, rule + 2, lay.R - 80, rule + 14}, kLeftFlags);
    char number[32];
    std::snprintf(number, sizeof number, "Page %d/%d", page + 1, pages);
    rx.PrintText(number, {lay.R - 80, rule + 2, lay.R, rule + 14}, kRightFlags);
    rx.SelectFont(0, 0);
    rx.FinishPage();
}

void AddFontSet(PrintJob& rx, int points) {
    LogicalFont font;
    font.height = -MulDiv(points, rx.Surface()->DeviceCaps(DeviceCap::LogPixelsY), 72);
    font.weight = kWeightNormal;
    font.charSet = kAnsiCharset;
    font.faceName = u"Arial";
    rx.AddFontSet(font);
}

}  // namespace

std::u16string Utf16(const std::string& utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
    std::size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char lead = byte(i);
        int extra = lead < 0x80                    ? 0
                    : lead >= 0xC2 && lead <= 0xDF ? 1
                    : (lead & 0xF0) == 0xE0        ? 2
                    : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                   : -1;
        char32_t cp = extra == 0   ? lead
                      : extra == 1 ? lead & 0x1F
                      : extra == 2 ? lead & 0x0F
                                   : lead & 0x07;
        std::size_t n = 1;
        bool ok = extra >= 0;
        for (int k = 0; ok && k < extra; ++k, ++n) {
            if (i + n >= utf8.size() || (byte(i + n) & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (byte(i + n) & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if (ok && ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                   (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))) {
            ok = false;
        }
        if (!ok) {
            out += u'\uFFFD';
            i += std::max<std::size_t>(n, 1);
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += n;
    }
    return out;
}

std::string FailureText(const archive::FailedRecord& r) {
    if (r.verdict == "differs") {
        std::string out = "differs:";
        if (!r.missing.empty()) {
            out += " missing " + r.missing;
        }
        if (!r.extra.empty()) {
            out += (r.missing.empty() ? " extra " : "; extra ") + r.extra;
        }
        return out;
    }
    if (r.verdict == "pin-count") {
        return "other pin count: reference " + std::to_string(r.referencePins) + ", record " +
               std::to_string(r.pinCount);
    }
    return r.verdict;
}

bool PrintLotReport(const archive::LotSummary& lot, const LotReportHooks& hooks) {
    PrintJob rx(hooks.printDialog);
    if (rx.SelectPrinter() != 0) {
        return false;
    }
    // Running out of memory abandons the report; the engine releases its
    // fonts and printer on the way out.
    try {
        AddFontSet(rx, 8);
        AddFontSet(rx, 14);
        rx.BeginDoc();
        Layout lay(rx, rx.PageWidth(), rx.PageHeight());
        TitlePage(lay, lot);
        lay.y += 12;
        Causes(lay, lot.pareto);
        FailedRecords(lay, lot);

        const std::optional<std::tm> now = hooks.clock ? hooks.clock() : platform::LocalTimeNow();
        const std::string footer = "Lot " + lot.lot + "    printed " + FormatPrintTime(now);
        const auto& pages = lay.Pages();
        for (std::size_t p = 0; p < pages.size(); ++p) {
            DrawPage(rx, lay, pages[p], static_cast<int>(p), static_cast<int>(pages.size()),
                     footer);
        }
        rx.FinishDoc();
    } catch (const std::bad_alloc&) {
    }
    return true;
}

}  // namespace vark
