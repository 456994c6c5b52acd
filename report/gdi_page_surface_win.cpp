#include "report/gdi_page_surface_win.h"

#include <commdlg.h>

#include <algorithm>

namespace vark {
namespace {

HGDIOBJ Obj(std::uintptr_t handle) {
    return reinterpret_cast<HGDIOBJ>(handle);
}

std::uintptr_t Handle(HGDIOBJ object) {
    return reinterpret_cast<std::uintptr_t>(object);
}

const wchar_t* Wide(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

int Length(const std::u16string& s) {
    return static_cast<int>(std::min<std::size_t>(s.size(), 0x7FFFFFFF));
}

}  // namespace

LOGFONTW ToLogFont(const LogicalFont& font) {
    LOGFONTW lf{};
    lf.lfHeight = font.height;
    lf.lfWidth = font.width;
    lf.lfEscapement = font.escapement;
    lf.lfOrientation = font.orientation;
    lf.lfWeight = font.weight;
    lf.lfItalic = font.italic ? 1 : 0;
    lf.lfUnderline = font.underline ? 1 : 0;
    lf.lfStrikeOut = font.strikeOut ? 1 : 0;
    lf.lfCharSet = font.charSet;
    lf.lfOutPrecision = font.outPrecision;
    lf.lfClipPrecision = font.clipPrecision;
    lf.lfQuality = font.quality;
    lf.lfPitchAndFamily = font.pitchAndFamily;
    const std::size_t n = std::min<std::size_t>(font.faceName.size(), LF_FACESIZE - 1);
    std::copy_n(font.faceName.begin(), n, lf.lfFaceName);
    lf.lfFaceName[n] = L'\0';
    return lf;
}

GdiPageSurface::GdiPageSurface(HDC dc, const GdiCalls& calls) : dc_(dc), gdi_(calls) {}

GdiPageSurface::~GdiPageSurface() {
    if (dc_ == nullptr) {
        return;
    }
    // Put the context's own objects back so that none of ours stays held.
    if (originalFont_ != nullptr) {
        gdi_.selectObject(dc_, originalFont_);
    }
    if (originalPen_ != nullptr) {
        gdi_.selectObject(dc_, originalPen_);
    }
    gdi_.deleteDC(dc_);
}

int GdiPageSurface::DeviceCaps(DeviceCap cap) {
    int index = 0;
    switch (cap) {
        case DeviceCap::LogPixelsX:
            index = LOGPIXELSX;
            break;
        case DeviceCap::LogPixelsY:
            index = LOGPIXELSY;
            break;
        case DeviceCap::HorzRes:
            index = HORZRES;
            break;
        case DeviceCap::VertRes:
            index = VERTRES;
            break;
    }
    return gdi_.getDeviceCaps(dc_, index);
}

int GdiPageSurface::StartDoc(const std::u16string& name) {
    docName_.assign(name.begin(), name.end());
    DOCINFOW doc{};
    // The structure's own size: 20 bytes in a 32-bit program, 40 in this one.
    doc.cbSize = sizeof doc;
    doc.lpszDocName = docName_.c_str();
    return gdi_.startDoc(dc_, &doc);
}

int GdiPageSurface::EndDoc() {
    return gdi_.endDoc(dc_);
}

int GdiPageSurface::StartPage() {
    return gdi_.startPage(dc_);
}

int GdiPageSurface::EndPage() {
    return gdi_.endPage(dc_);
}

FontHandle GdiPageSurface::CreateFont(const LogicalFont& font) {
    const LOGFONTW lf = ToLogFont(font);
    return Handle(gdi_.createFontIndirect(&lf));
}

FontHandle GdiPageSurface::SelectFont(FontHandle font) {
    if (font == 0) {
        return 0;
    }
    HGDIOBJ old = gdi_.selectObject(dc_, Obj(font));
    if (old == nullptr || old == HGDI_ERROR) {
        return 0;
    }
    if (originalFont_ == nullptr) {
        originalFont_ = old;
    }
    font_ = Obj(font);
    return Handle(old);
}

void GdiPageSurface::DeleteFont(FontHandle font) {
    if (font == 0) {
        return;
    }
    Unselect(Obj(font));
    gdi_.deleteObject(Obj(font));
}

PenHandle GdiPageSurface::CreatePen(int width, std::uint32_t colour) {
    return Handle(gdi_.createPen(PS_SOLID, width, static_cast<COLORREF>(colour)));
}

PenHandle GdiPageSurface::SelectPen(PenHandle pen) {
    // No pen: the context's own (a black one-pixel pen).
    HGDIOBJ wanted = pen != 0 ? Obj(pen) : originalPen_;
    if (wanted == nullptr) {
        wanted = ::GetStockObject(BLACK_PEN);
    }
    HGDIOBJ old = gdi_.selectObject(dc_, wanted);
    if (old == nullptr || old == HGDI_ERROR) {
        return 0;
    }
    if (originalPen_ == nullptr) {
        originalPen_ = old;
    }
    pen_ = wanted;
    return Handle(old);
}

void GdiPageSurface::DeletePen(PenHandle pen) {
    if (pen == 0) {
        return;
    }
    Unselect(Obj(pen));
    gdi_.deleteObject(Obj(pen));
}

void GdiPageSurface::Unselect(HGDIOBJ object) {
    if (object == font_ && originalFont_ != nullptr) {
        gdi_.selectObject(dc_, originalFont_);
        font_ = originalFont_;
    } else if (object == pen_ && originalPen_ != nullptr) {
        gdi_.selectObject(dc_, originalPen_);
        pen_ = originalPen_;
    }
}

void GdiPageSurface::MoveTo(int x, int y) {
    gdi_.moveToEx(dc_, x, y, nullptr);
}

void GdiPageSurface::LineTo(int x, int y) {
    gdi_.lineTo(dc_, x, y);
}

TextExtent GdiPageSurface::MeasureText(const std::u16string& text) {
    SIZE size{};
    if (!gdi_.getTextExtentPoint32(dc_, Wide(text), Length(text), &size)) {
        return {};
    }
    return {static_cast<int>(size.cx), static_cast<int>(size.cy)};
}

void GdiPageSurface::TextOut(int x, int y, const std::u16string& text) {
    gdi_.textOut(dc_, x, y, Wide(text), Length(text));
}

std::unique_ptr<PageSurface> GdiPrinterChooser::Choose() {
    PRINTDLGW pd{};
    pd.lStructSize = sizeof pd;
    pd.hwndOwner = owner_;
    // The report prints every page of the block: no page range, no selection.
    pd.Flags = PD_RETURNDC | PD_DISABLEPRINTTOFILE | PD_NOPAGENUMS | PD_NOSELECTION;
    const BOOL chosen = ::PrintDlgW(&pd);
    if (pd.hDevMode != nullptr) {
        ::GlobalFree(pd.hDevMode);
    }
    if (pd.hDevNames != nullptr) {
        ::GlobalFree(pd.hDevNames);
    }
    if (!chosen || pd.hDC == nullptr) {
        return nullptr;
    }
    return std::make_unique<GdiPageSurface>(pd.hDC);
}

std::unique_ptr<PageSurface> GdiPrinterChooser::ByName(const std::u16string& device) {
    HDC dc = ::CreateDCW(nullptr, Wide(device), nullptr, nullptr);
    if (dc == nullptr) {
        return nullptr;
    }
    return std::make_unique<GdiPageSurface>(dc);
}

}  // namespace vark
