// The drawing operations a printed page needs from the platform, in the
// platform's own terms: pixels, logical fonts, pens, documents and pages.
// The page engine works only through this interface, so its arithmetic can be
// checked against a surface that records the calls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vark {

// Device-capability indices.
enum class DeviceCap {
    LogPixelsX,  // pixels per logical inch across
    LogPixelsY,  // pixels per logical inch down
    HorzRes,     // printable width in pixels
    VertRes,     // printable height in pixels
};

inline constexpr std::uint8_t kAnsiCharset = 0;
inline constexpr std::uint8_t kFixedPitch = 1;
inline constexpr int kWeightNormal = 400;
inline constexpr int kWeightBlack = 900;

// A font request. A negative height asks for that character height in pixels;
// a positive one for that cell height.
struct LogicalFont {
    int height = 0;
    int width = 0;
    int escapement = 0;
    int orientation = 0;
    int weight = 0;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    std::uint8_t charSet = 0;
    std::uint8_t outPrecision = 0;
    std::uint8_t clipPrecision = 0;
    std::uint8_t quality = 0;
    std::uint8_t pitchAndFamily = 0;
    std::u16string faceName{};

    bool operator==(const LogicalFont&) const = default;
};

// Opaque handles; 0 is "none".
using FontHandle = std::uintptr_t;
using PenHandle = std::uintptr_t;

struct TextExtent {
    int cx = 0;
    int cy = 0;
};

inline constexpr int kSpError = -1;  // StartDoc refused

class PageSurface {
  public:
    virtual ~PageSurface() = default;

    virtual int DeviceCaps(DeviceCap cap) = 0;

    // Greater than 0 on success, kSpError when refused.
    virtual int StartDoc(const std::u16string& name) = 0;
    virtual int EndDoc() = 0;
    // Greater than 0 on success, 0 or negative on failure.
    virtual int StartPage() = 0;
    virtual int EndPage() = 0;

    virtual FontHandle CreateFont(const LogicalFont& font) = 0;  // 0 on failure
    virtual FontHandle SelectFont(FontHandle font) = 0;          // the previous one
    virtual void DeleteFont(FontHandle font) = 0;

    // Solid pens; width in device pixels, colour as 0x00BBGGRR.
    virtual PenHandle CreatePen(int width, std::uint32_t colour) = 0;
    virtual PenHandle SelectPen(PenHandle pen) = 0;  // the previous one
    virtual void DeletePen(PenHandle pen) = 0;

    virtual void MoveTo(int x, int y) = 0;
    virtual void LineTo(int x, int y) = 0;

    // Size of the whole text in the selected font, in pixels.
    virtual TextExtent MeasureText(const std::u16string& text) = 0;
    // Draws the text with its top-left corner at (x, y).
    virtual void TextOut(int x, int y, const std::u16string& text) = 0;
};

// How a print job gets its printer: the modal print dialog, or a printer
// named by the caller. Either gives a surface, or none when the user
// cancelled or no printer context could be made.
class PrinterChooser {
  public:
    virtual ~PrinterChooser() = default;
    virtual std::unique_ptr<PageSurface> Choose() = 0;
    virtual std::unique_ptr<PageSurface> ByName(const std::u16string& device) = 0;
};

}  // namespace vark
