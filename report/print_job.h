// The print page engine: one print job laid out in points (1/72 inch) on the
// printable area, scaled to printer pixels, with a small font table, text in
// rectangles and straight lines.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "report/page_surface.h"

namespace vark {

// a * b / c with a 64-bit intermediate, rounded to nearest, halves away from
// zero. -1 when c is 0 or the result does not fit an int.
int MulDiv(int a, int b, int c);

inline constexpr int PT_HCENTER = 1;
inline constexpr int PT_VCENTER = 2;
inline constexpr int PT_RIGHT = 4;
inline constexpr int PT_LEFT = 8;

struct PrintRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

inline constexpr int kFontSets = 10;
inline constexpr int kFontVariants = 4;

// Makes the print dialog object when the engine needs one.
using ChooserFactory = std::function<std::unique_ptr<PrinterChooser>()>;

class PrintJob {
  public:
    explicit PrintJob(ChooserFactory makeDialog);
    virtual ~PrintJob();
    PrintJob(const PrintJob&) = delete;
    PrintJob& operator=(const PrintJob&) = delete;

    // With a device name the printer is made by name, else the dialog asks.
    int SelectPrinter(const std::optional<std::u16string>& device = std::nullopt);
    // Creates the next font set from `font`; leaves `font` at 25 points, weight 900.
    int AddFontSet(LogicalFont& font);
    int SelectFont(int set, int variant);
    int BeginDoc();
    int PageWidth();
    int PageHeight();
    int BeginPage();
    int DrawLine(int x1, int y1, int x2, int y2, PenHandle pen);
    int PrintText(const std::string& text, const PrintRect& rect, int flags);
    // The same for texts of any characters (names people typed): what the
    // 8-bit form draws once it has widened its bytes.
    int PrintText(const std::u16string& text, const PrintRect& rect, int flags);
    // The width of `text` in the selected font, in points.
    int TextWidth(const std::u16string& text);
    int FinishPage();
    void NextPage();
    int FinishDoc();

    // The job's surface for the caller's pens; null before a printer is chosen.
    PageSurface* Surface() const { return dc_; }
    int FontSetCount() const { return fontSets_; }
    int CurrentFontSet() const { return currentSet_; }
    int SelectedVariant(int set) const { return variant_[set]; }

  private:
    int Caps(DeviceCap cap) const;
    int X(int v) const { return MulDiv(v, Caps(DeviceCap::LogPixelsX), 72); }
    int Y(int v) const { return MulDiv(v, Caps(DeviceCap::LogPixelsY), 72); }

    PageSurface* dc_ = nullptr;             // printing context; null once detached
    std::unique_ptr<PageSurface> printer_;  // the job's context, however obtained
    std::array<std::array<FontHandle, kFontVariants>, kFontSets> fonts_{};
    int fontSets_ = 0;
    int currentSet_ = 0;
    std::array<int, kFontSets> variant_{};
    int pageWidth_ = 0;
    int pageHeight_ = 0;
    std::unique_ptr<PrinterChooser> dialog_;
    ChooserFactory makeDialog_;
};

}  // namespace vark
