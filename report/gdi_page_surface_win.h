// The page surface over a Windows printer context: the page engine's
// operations as the GDI calls of the same names, in device pixels. Also the
// printer choice the engine asks for: the common print dialog, or a printer
// context made by device name.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "report/page_surface.h"

namespace vark {

// The GDI entry points the surface calls. Production uses the system's own;
// a test may pass its own table that watches each call on its way to them.
struct GdiCalls {
    int(WINAPI* startDoc)(HDC, const DOCINFOW*) = ::StartDocW;
    int(WINAPI* endDoc)(HDC) = ::EndDoc;
    int(WINAPI* startPage)(HDC) = ::StartPage;
    int(WINAPI* endPage)(HDC) = ::EndPage;
    int(WINAPI* getDeviceCaps)(HDC, int) = ::GetDeviceCaps;
    HFONT(WINAPI* createFontIndirect)(const LOGFONTW*) = ::CreateFontIndirectW;
    HPEN(WINAPI* createPen)(int, int, COLORREF) = ::CreatePen;
    HGDIOBJ(WINAPI* selectObject)(HDC, HGDIOBJ) = ::SelectObject;
    BOOL(WINAPI* deleteObject)(HGDIOBJ) = ::DeleteObject;
    BOOL(WINAPI* moveToEx)(HDC, int, int, LPPOINT) = ::MoveToEx;
    BOOL(WINAPI* lineTo)(HDC, int, int) = ::LineTo;
    BOOL(WINAPI* getTextExtentPoint32)(HDC, LPCWSTR, int, LPSIZE) = ::GetTextExtentPoint32W;
    BOOL(WINAPI* textOut)(HDC, int, int, LPCWSTR, int) = ::TextOutW;
    BOOL(WINAPI* deleteDC)(HDC) = ::DeleteDC;
};

// The LOGFONTW a logical font asks for; a face name longer than LOGFONTW
// holds is cut to its 31 characters.
LOGFONTW ToLogFont(const LogicalFont& font);

class GdiPageSurface : public PageSurface {
  public:
    // Takes the context over: it is released (DeleteDC) with the surface.
    explicit GdiPageSurface(HDC dc, const GdiCalls& calls = GdiCalls());
    ~GdiPageSurface() override;
    GdiPageSurface(const GdiPageSurface&) = delete;
    GdiPageSurface& operator=(const GdiPageSurface&) = delete;

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

    HDC dc() const { return dc_; }

  private:
    // GDI refuses to delete an object while a context holds it selected: the
    // context's own object goes back in first.
    void Unselect(HGDIOBJ object);

    HDC dc_;
    GdiCalls gdi_;
    std::wstring docName_;  // lives while the document runs
    HGDIOBJ font_ = nullptr;
    HGDIOBJ pen_ = nullptr;
    HGDIOBJ originalFont_ = nullptr;  // the context's own, displaced by the first selection
    HGDIOBJ originalPen_ = nullptr;
};

// The printer of a job: the common print dialog (print to file disabled, a
// context returned, opening on the default printer), or a context made by the
// printer's device name.
class GdiPrinterChooser : public PrinterChooser {
  public:
    explicit GdiPrinterChooser(HWND owner) : owner_(owner) {}
    std::unique_ptr<PageSurface> Choose() override;
    std::unique_ptr<PageSurface> ByName(const std::u16string& device) override;

  private:
    HWND owner_;
};

}  // namespace vark
