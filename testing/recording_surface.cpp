#include "testing/recording_surface.h"

#include <cstdlib>

namespace vark {

std::vector<SurfaceCall> RecordingState::Of(SurfaceOp op) const {
    std::vector<SurfaceCall> out;
    for (const SurfaceCall& c : calls) {
        if (c.op == op) {
            out.push_back(c);
        }
    }
    return out;
}

std::size_t RecordingState::Count(SurfaceOp op) const {
    std::size_t n = 0;
    for (const SurfaceCall& c : calls) {
        n += c.op == op ? 1 : 0;
    }
    return n;
}

RecordingSurface::RecordingSurface(std::shared_ptr<RecordingState> state)
    : state_(std::move(state)) {}

RecordingSurface::~RecordingSurface() {
    Add({SurfaceOp::Release});
}

int RecordingSurface::DeviceCaps(DeviceCap cap) {
    const RecordingConfig& c = state_->config;
    int v = 0;
    switch (cap) {
        case DeviceCap::LogPixelsX:
            v = c.dpiX;
            break;
        case DeviceCap::LogPixelsY:
            v = c.dpiY;
            break;
        case DeviceCap::HorzRes:
            v = c.horzRes;
            break;
        case DeviceCap::VertRes:
            v = c.vertRes;
            break;
    }
    Add({.op = SurfaceOp::DeviceCaps, .a = static_cast<int>(cap), .result = v});
    return v;
}

int RecordingSurface::StartDoc(const std::u16string& name) {
    const int r = state_->config.startDocResult;
    Add({.op = SurfaceOp::StartDoc, .text = name, .result = r});
    return r;
}

int RecordingSurface::EndDoc() {
    Add({.op = SurfaceOp::EndDoc, .result = 1});
    return 1;
}

int RecordingSurface::StartPage() {
    const int r = state_->config.startPageResult;
    Add({.op = SurfaceOp::StartPage, .result = r});
    return r;
}

int RecordingSurface::EndPage() {
    const int r = state_->config.endPageResult;
    Add({.op = SurfaceOp::EndPage, .result = r});
    return r;
}

FontHandle RecordingSurface::CreateFont(const LogicalFont& font) {
    fonts_.push_back(font);
    const FontHandle h = kFontBase + fonts_.size();
    Add({.op = SurfaceOp::CreateFont, .handle = h, .font = font});
    return h;
}

FontHandle RecordingSurface::SelectFont(FontHandle font) {
    const FontHandle old = selectedFont_;
    selectedFont_ = font;
    Add({.op = SurfaceOp::SelectFont, .handle = font});
    return old;
}

void RecordingSurface::DeleteFont(FontHandle font) {
    Add({.op = SurfaceOp::DeleteFont, .handle = font});
}

PenHandle RecordingSurface::CreatePen(int width, std::uint32_t colour) {
    const PenHandle h = ++nextPen_;
    Add({.op = SurfaceOp::CreatePen, .a = width, .b = static_cast<int>(colour), .handle = h});
    return h;
}

PenHandle RecordingSurface::SelectPen(PenHandle pen) {
    const PenHandle old = selectedPen_;
    selectedPen_ = pen;
    Add({.op = SurfaceOp::SelectPen, .handle = pen});
    return old;
}

void RecordingSurface::DeletePen(PenHandle pen) {
    Add({.op = SurfaceOp::DeletePen, .handle = pen});
}

void RecordingSurface::MoveTo(int x, int y) {
    Add({.op = SurfaceOp::MoveTo, .a = x, .b = y, .handle = selectedPen_});
}

void RecordingSurface::LineTo(int x, int y) {
    Add({.op = SurfaceOp::LineTo, .a = x, .b = y, .handle = selectedPen_});
}

TextExtent RecordingSurface::MeasureText(const std::u16string& text) {
    const RecordingConfig& c = state_->config;
    const LogicalFont* font =
        selectedFont_ > kFontBase && selectedFont_ <= kFontBase + fonts_.size()
            ? &fonts_[selectedFont_ - kFontBase - 1]
            : nullptr;
    TextExtent e;
    if (c.measure) {
        e = c.measure(text, font);
    } else {
        e = {c.charWidth * static_cast<int>(text.size()),
             c.textHeight != 0 ? c.textHeight : (font ? std::abs(font->height) : 0)};
    }
    Add({.op = SurfaceOp::MeasureText, .a = e.cx, .b = e.cy, .text = text});
    return e;
}

void RecordingSurface::TextOut(int x, int y, const std::u16string& text) {
    Add({.op = SurfaceOp::TextOut, .a = x, .b = y, .handle = selectedFont_, .text = text});
}

std::string Narrow(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t ch : text) {
        out.push_back(ch < 0x80 ? static_cast<char>(ch) : '?');
    }
    return out;
}

}  // namespace vark
