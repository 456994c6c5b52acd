// A page surface that draws nothing and keeps every call with its arguments,
// for checking layouts without a printer. Text is measured by a fixed advance
// per character, so positions are predictable.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "report/page_surface.h"

namespace vark {

enum class SurfaceOp {
    DeviceCaps,
    StartDoc,
    EndDoc,
    StartPage,
    EndPage,
    CreateFont,
    SelectFont,
    DeleteFont,
    CreatePen,
    SelectPen,
    DeletePen,
    MoveTo,
    LineTo,
    MeasureText,
    TextOut,
    Release,  // the surface itself was destroyed (the context released)
};

struct SurfaceCall {
    SurfaceOp op = SurfaceOp::DeviceCaps;
    int a = 0;                  // x, width, capability index, or measured cx
    int b = 0;                  // y, colour, or measured cy
    std::uintptr_t handle = 0;  // font or pen handle involved (the new one for Create*)
    std::u16string text{};      // document name or text
    LogicalFont font{};         // CreateFont only
    int result = 0;
};

struct RecordingConfig {
    int dpiX = 600;
    int dpiY = 600;
    int horzRes = 4961;  // A4 width at 600 dpi, no margins
    int vertRes = 7016;
    int charWidth = 10;  // pixels per character
    int textHeight = 0;  // 0: the selected font's character height
    int startDocResult = 1;
    int startPageResult = 1;
    int endPageResult = 1;
    // When set, measures instead of the fixed advance: the text and the font
    // selected (null when none is), as another device measured them.
    std::function<TextExtent(const std::u16string&, const LogicalFont*)> measure{};
};

// Shared between the surface and the test, so it outlives the surface and the
// configuration can change while a job runs.
struct RecordingState {
    RecordingConfig config;
    std::vector<SurfaceCall> calls;

    std::vector<SurfaceCall> Of(SurfaceOp op) const;
    std::size_t Count(SurfaceOp op) const;
};

class RecordingSurface : public PageSurface {
  public:
    explicit RecordingSurface(std::shared_ptr<RecordingState> state);
    ~RecordingSurface() override;

    int DeviceCaps(DeviceCap cap) override;
    int StartDoc(const std::u16string& name) override;
    int EndDoc() override;
    int StartPage() override;
    int EndPage() override;
    FontHandle CreateFont(const LogicalFont& font) override;
    FontHandle SelectFont(FontHandle font) override;
    void DeleteFont(FontHandle font) override;
    PenHandle CreatePen(int width, std::uint32_t colour) override;
    PenHandle SelectPen(PenHandle pen) override;
    void DeletePen(PenHandle pen) override;
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    TextExtent MeasureText(const std::u16string& text) override;
    void TextOut(int x, int y, const std::u16string& text) override;

  private:
    void Add(SurfaceCall call) { state_->calls.push_back(std::move(call)); }

    std::shared_ptr<RecordingState> state_;
    std::vector<LogicalFont> fonts_;  // handle n is fonts_[n - kFontBase - 1]
    FontHandle selectedFont_ = 0;
    PenHandle selectedPen_ = kStockPen;
    std::uintptr_t nextPen_ = kPenBase;

  public:
    static constexpr std::uintptr_t kFontBase = 0x1000;
    static constexpr std::uintptr_t kPenBase = 0x2000;
    static constexpr PenHandle kStockPen = 0x1;  // selected before any pen
};

// Text of a recorded call, narrowed (the report prints ASCII only).
std::string Narrow(const std::u16string& text);

}  // namespace vark
