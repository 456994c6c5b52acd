// The report on a real GDI context against the same report on the recording
// surface: the page engine's operations must reach GDI one for one, with the
// same coordinates, texts, fonts and pens, and GDI must draw them. The
// context is an enhanced metafile, so what GDI received can be read back.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "records/sample_records.h"
#include "report/gdi_page_surface_win.h"
#include "report/record_report.h"
#include "testing/recording_surface.h"

namespace vark {
namespace {

// One operation with the objects in force named by their order of creation
// (-1: the context's own), so two surfaces' handles need not agree.
struct Op {
    SurfaceOp op = SurfaceOp::DeviceCaps;
    int a = 0;
    int b = 0;
    int obj = -1;
    std::u16string text{};
    LogicalFont font{};
    bool operator==(const Op&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Op& o) {
    std::string text(o.text.begin(), o.text.end());
    return out << "op " << static_cast<int>(o.op) << " (" << o.a << ", " << o.b << ") obj " << o.obj
               << " \"" << text << "\" font " << o.font.height << "/" << o.font.weight;
}

// Turns a run of surface-level calls into Ops: selections become the state
// that the drawing operations carry.
class Canon {
  public:
    std::vector<Op> ops;

    void Caps(int cap, int value) { ops.push_back({SurfaceOp::DeviceCaps, cap, value}); }
    void Plain(SurfaceOp op, const std::u16string& text = {}) {
        ops.push_back({.op = op, .text = text});
    }
    void CreateFont(std::uintptr_t h, const LogicalFont& lf) {
        fonts_[h] = nFonts_;
        ops.push_back({.op = SurfaceOp::CreateFont, .obj = nFonts_++, .font = lf});
    }
    void CreatePen(std::uintptr_t h, int width, int colour) {
        pens_[h] = nPens_;
        ops.push_back({SurfaceOp::CreatePen, width, colour, nPens_++});
    }
    void SelectFont(std::uintptr_t h) { font_ = Find(fonts_, h); }
    void SelectPen(std::uintptr_t h) { pen_ = Find(pens_, h); }
    void DeleteFont(std::uintptr_t h) {
        ops.push_back({.op = SurfaceOp::DeleteFont, .obj = Find(fonts_, h)});
        fonts_.erase(h);
    }
    void DeletePen(std::uintptr_t h) {
        ops.push_back({.op = SurfaceOp::DeletePen, .obj = Find(pens_, h)});
        pens_.erase(h);
    }
    void Draw(SurfaceOp op, int x, int y) { ops.push_back({op, x, y, pen_}); }
    void Text(SurfaceOp op, int a, int b, const std::u16string& text) {
        ops.push_back({op, a, b, font_, text});
    }

  private:
    static int Find(const std::map<std::uintptr_t, int>& m, std::uintptr_t h) {
        const auto it = m.find(h);
        return it == m.end() ? -1 : it->second;
    }
    std::map<std::uintptr_t, int> fonts_, pens_;
    int nFonts_ = 0, nPens_ = 0, font_ = -1, pen_ = -1;
};

Canon FromRecording(const RecordingState& state) {
    Canon c;
    for (const SurfaceCall& call : state.calls) {
        switch (call.op) {
            case SurfaceOp::DeviceCaps:
                c.Caps(call.a, call.result);
                break;
            case SurfaceOp::StartDoc:
                c.Plain(call.op, call.text);
                break;
            case SurfaceOp::EndDoc:
            case SurfaceOp::StartPage:
            case SurfaceOp::EndPage:
            case SurfaceOp::Release:
                c.Plain(call.op);
                break;
            case SurfaceOp::CreateFont:
                c.CreateFont(call.handle, call.font);
                break;
            case SurfaceOp::SelectFont:
                c.SelectFont(call.handle);
                break;
            case SurfaceOp::DeleteFont:
                c.DeleteFont(call.handle);
                break;
            case SurfaceOp::CreatePen:
                c.CreatePen(call.handle, call.a, call.b);
                break;
            case SurfaceOp::SelectPen:
                c.SelectPen(call.handle);
                break;
            case SurfaceOp::DeletePen:
                c.DeletePen(call.handle);
                break;
            case SurfaceOp::MoveTo:
            case SurfaceOp::LineTo:
                c.Draw(call.op, call.a, call.b);
                break;
            case SurfaceOp::MeasureText:
            case SurfaceOp::TextOut:
                c.Text(call.op, call.a, call.b, call.text);
                break;
        }
    }
    return c;
}

// The watch on the GDI calls: each is recorded, then made for real.
struct Watch {
    Canon canon;
    std::vector<std::string> failures;
    HENHMETAFILE metafile = nullptr;
    int releases = 0;
    std::map<std::pair<std::u16string, int>, TextExtent> measured;  // by text and font
    std::vector<LOGFONTW> logFonts;
};
Watch* g_watch = nullptr;

LogicalFont FromLogFont(const LOGFONTW& lf) {
    LogicalFont f;
    f.height = lf.lfHeight;
    f.width = lf.lfWidth;
    f.escapement = lf.lfEscapement;
    f.orientation = lf.lfOrientation;
    f.weight = lf.lfWeight;
    f.italic = lf.lfItalic != 0;
    f.underline = lf.lfUnderline != 0;
    f.strikeOut = lf.lfStrikeOut != 0;
    f.charSet = lf.lfCharSet;
    f.outPrecision = lf.lfOutPrecision;
    f.clipPrecision = lf.lfClipPrecision;
    f.quality = lf.lfQuality;
    f.pitchAndFamily = lf.lfPitchAndFamily;
    for (const wchar_t* p = lf.lfFaceName; *p; ++p) {
        f.faceName.push_back(static_cast<char16_t>(*p));
    }
    return f;
}

std::u16string U16(const wchar_t* s, int n) {
    return std::u16string(reinterpret_cast<const char16_t*>(s), static_cast<std::size_t>(n));
}

int WINAPI WStartDoc(HDC dc, const DOCINFOW* doc) {
    if (doc->cbSize != sizeof(DOCINFOW) || doc->lpszOutput || doc->lpszDatatype || doc->fwType) {
        g_watch->failures.push_back("document description");
    }
    g_watch->canon.Plain(SurfaceOp::StartDoc, U16(doc->lpszDocName, lstrlenW(doc->lpszDocName)));
    return ::StartDocW(dc, doc);
}
int WINAPI WEndDoc(HDC dc) {
    g_watch->canon.Plain(SurfaceOp::EndDoc);
    return ::EndDoc(dc);
}
int WINAPI WStartPage(HDC dc) {
    g_watch->canon.Plain(SurfaceOp::StartPage);
    return ::StartPage(dc);
}
int WINAPI WEndPage(HDC dc) {
    g_watch->canon.Plain(SurfaceOp::EndPage);
    return ::EndPage(dc);
}
int WINAPI WGetDeviceCaps(HDC dc, int index) {
    const int v = ::GetDeviceCaps(dc, index);
    int cap = -1;
    switch (index) {
        case LOGPIXELSX:
            cap = static_cast<int>(DeviceCap::LogPixelsX);
            break;
        case LOGPIXELSY:
            cap = static_cast<int>(DeviceCap::LogPixelsY);
            break;
        case HORZRES:
            cap = static_cast<int>(DeviceCap::HorzRes);
            break;
        case VERTRES:
            cap = static_cast<int>(DeviceCap::VertRes);
            break;
    }
    g_watch->canon.Caps(cap, v);
    return v;
}
HFONT WINAPI WCreateFontIndirect(const LOGFONTW* lf) {
    HFONT f = ::CreateFontIndirectW(lf);
    g_watch->canon.CreateFont(reinterpret_cast<std::uintptr_t>(f), FromLogFont(*lf));
    g_watch->logFonts.push_back(*lf);
    return f;
}
HPEN WINAPI WCreatePen(int style, int width, COLORREF colour) {
    if (style != PS_SOLID) {
        g_watch->failures.push_back("pen style");
    }
    HPEN p = ::CreatePen(style, width, colour);
    g_watch->canon.CreatePen(reinterpret_cast<std::uintptr_t>(p), width, static_cast<int>(colour));
    return p;
}
HGDIOBJ WINAPI WSelectObject(HDC dc, HGDIOBJ obj) {
    const DWORD type = ::GetObjectType(obj);
    HGDIOBJ old = ::SelectObject(dc, obj);
    if (old == nullptr || old == HGDI_ERROR) {
        g_watch->failures.push_back("select refused");
    }
    if (type == OBJ_FONT) {
        g_watch->canon.SelectFont(reinterpret_cast<std::uintptr_t>(obj));
    } else if (type == OBJ_PEN) {
        g_watch->canon.SelectPen(reinterpret_cast<std::uintptr_t>(obj));
    } else {
        g_watch->failures.push_back("select of an object that is neither font nor pen");
    }
    return old;
}
BOOL WINAPI WDeleteObject(HGDIOBJ obj) {
    const DWORD type = ::GetObjectType(obj);
    const BOOL ok = ::DeleteObject(obj);
    if (!ok || ::GetObjectType(obj) != 0) {
        g_watch->failures.push_back("object not deleted");
    }
    if (type == OBJ_FONT) {
        g_watch->canon.DeleteFont(reinterpret_cast<std::uintptr_t>(obj));
    } else if (type == OBJ_PEN) {
        g_watch->canon.DeletePen(reinterpret_cast<std::uintptr_t>(obj));
    } else {
        g_watch->failures.push_back("delete of an object that is neither font nor pen");
    }
    return ok;
}
BOOL WINAPI WMoveToEx(HDC dc, int x, int y, LPPOINT old) {
    g_watch->canon.Draw(SurfaceOp::MoveTo, x, y);
    return ::MoveToEx(dc, x, y, old);
}
BOOL WINAPI WLineTo(HDC dc, int x, int y) {
    g_watch->canon.Draw(SurfaceOp::LineTo, x, y);
    return ::LineTo(dc, x, y);
}
BOOL WINAPI WGetTextExtentPoint32(HDC dc, LPCWSTR text, int n, LPSIZE size) {
    const BOOL ok = ::GetTextExtentPoint32W(dc, text, n, size);
    const std::u16string t = U16(text, n);
    g_watch->canon.Text(SurfaceOp::MeasureText, size->cx, size->cy, t);
    const Op& op = g_watch->canon.ops.back();
    g_watch->measured[{t, op.obj}] = {static_cast<int>(size->cx), static_cast<int>(size->cy)};
    if (!ok || (n > 0 && size->cx <= 0)) {
        g_watch->failures.push_back("text not measured");
    }
    return ok;
}
BOOL WINAPI WTextOut(HDC dc, int x, int y, LPCWSTR text, int n) {
    g_watch->canon.Text(SurfaceOp::TextOut, x, y, U16(text, n));
    return ::TextOutW(dc, x, y, text, n);
}
BOOL WINAPI WDeleteDC(HDC dc) {
    // A metafile context is released by closing it, which hands the metafile over.
    g_watch->canon.Plain(SurfaceOp::Release);
    ++g_watch->releases;
    g_watch->metafile = ::CloseEnhMetaFile(dc);
    return g_watch->metafile != nullptr;
}

GdiCalls Watched() {
    GdiCalls c;
    c.startDoc = WStartDoc;
    c.endDoc = WEndDoc;
    c.startPage = WStartPage;
    c.endPage = WEndPage;
    c.getDeviceCaps = WGetDeviceCaps;
    c.createFontIndirect = WCreateFontIndirect;
    c.createPen = WCreatePen;
    c.selectObject = WSelectObject;
    c.deleteObject = WDeleteObject;
    c.moveToEx = WMoveToEx;
    c.lineTo = WLineTo;
    c.getTextExtentPoint32 = WGetTextExtentPoint32;
    c.textOut = WTextOut;
    c.deleteDC = WDeleteDC;
    return c;
}

// Gives the engine a metafile context behind the watched calls.
class MetafileChooser : public PrinterChooser {
  public:
    std::unique_ptr<PageSurface> Choose() override {
        HDC dc = ::CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
        if (dc == nullptr) {
            return nullptr;
        }
        return std::make_unique<GdiPageSurface>(dc, Watched());
    }
    std::unique_ptr<PageSurface> ByName(const std::u16string&) override { return nullptr; }
};

class RecordingChooser : public PrinterChooser {
  public:
    explicit RecordingChooser(std::shared_ptr<RecordingState> s) : state_(std::move(s)) {}
    std::unique_ptr<PageSurface> Choose() override {
        return std::make_unique<RecordingSurface>(state_);
    }
    std::unique_ptr<PageSurface> ByName(const std::u16string&) override { return nullptr; }

  private:
    std::shared_ptr<RecordingState> state_;
};

std::optional<std::tm> FixedTime() {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 9;
    t.tm_min = 7;
    t.tm_sec = 3;
    return t;
}

RecordBlock Cables(int count, int slots, int pins) {
    RecordBlock block;
    ClearBlock(block);
    block.count = static_cast<std::uint8_t>(count);
    for (int i = 0; i < slots; ++i) {
        block.slots[static_cast<std::size_t>(i)] =
            RecordBuilder(pins ? pins : i % kMaxPins + 1).Straight().Grounds().Build();
    }
    return block;
}

struct Sample {
    const char* name;
    RecordBlock block;
    int pages;
};

std::vector<Sample> Samples() {
    return {
        {"sample", SampleBlock(), 2},
        {"production-run", ProductionRunBlock(), 4},
        {"one", Cables(1, 1, 8), 1},
        {"five", Cables(5, 5, 0), 1},
        {"six", Cables(6, 6, 0), 2},
        {"hundred-40-pin", Cables(100, 100, 40), 20},
        {"count-byte-150", Cables(150, 100, 0), 20},
    };
}

// What GDI itself recorded in the metafile: the drawn lines and texts.
std::vector<Op> Drawn(HENHMETAFILE mf) {
    std::vector<Op> out;
    ::EnumEnhMetaFile(
        nullptr, mf,
        [](HDC, HANDLETABLE*, const ENHMETARECORD* rec, int, LPARAM data) -> int {
            auto& ops = *reinterpret_cast<std::vector<Op>*>(data);
            if (rec->iType == EMR_MOVETOEX) {
                const auto* r = reinterpret_cast<const EMRMOVETOEX*>(rec);
                ops.push_back({SurfaceOp::MoveTo, r->ptl.x, r->ptl.y});
            } else if (rec->iType == EMR_LINETO) {
                const auto* r = reinterpret_cast<const EMRLINETO*>(rec);
                ops.push_back({SurfaceOp::LineTo, r->ptl.x, r->ptl.y});
            } else if (rec->iType == EMR_EXTTEXTOUTW) {
                const auto* r = reinterpret_cast<const EMREXTTEXTOUTW*>(rec);
                const auto* s = reinterpret_cast<const wchar_t*>(
                    reinterpret_cast<const BYTE*>(rec) + r->emrtext.offString);
                ops.push_back({SurfaceOp::TextOut, r->emrtext.ptlReference.x,
                               r->emrtext.ptlReference.y, -1,
                               U16(s, static_cast<int>(r->emrtext.nChars))});
            }
            return 1;
        },
        &out, nullptr);
    return out;
}

std::vector<Op> DrawingOnly(const std::vector<Op>& ops) {
    std::vector<Op> out;
    for (Op o : ops) {
        if (o.op == SurfaceOp::MoveTo || o.op == SurfaceOp::LineTo || o.op == SurfaceOp::TextOut) {
            o.obj = -1;
            out.push_back(o);
        }
    }
    return out;
}

TEST(GdiPageSurface, TheReportReachesGdiAsTheRecordingSurfaceSeesItForEverySampleBlock) {
    for (const Sample& sample : Samples()) {
        SCOPED_TRACE(sample.name);
        Watch watch;
        g_watch = &watch;
        ReportHooks gdiHooks;
        gdiHooks.clock = FixedTime;
        gdiHooks.printDialog = [] { return std::make_unique<MetafileChooser>(); };
        PrintReport(sample.block, gdiHooks);
        g_watch = nullptr;
        EXPECT_EQ(watch.failures, std::vector<std::string>{});
        ASSERT_EQ(watch.releases, 1) << "the context is released once";
        ASSERT_NE(watch.metafile, nullptr);

        // The recording surface, asked the same questions, gets the answers
        // this context gave: its capabilities and its text extents.
        auto state = std::make_shared<RecordingState>();
        for (const Op& op : watch.canon.ops) {
            if (op.op != SurfaceOp::DeviceCaps) {
                continue;
            }
            switch (static_cast<DeviceCap>(op.a)) {
                case DeviceCap::LogPixelsX:
                    state->config.dpiX = op.b;
                    break;
                case DeviceCap::LogPixelsY:
                    state->config.dpiY = op.b;
                    break;
                case DeviceCap::HorzRes:
                    state->config.horzRes = op.b;
                    break;
                case DeviceCap::VertRes:
                    state->config.vertRes = op.b;
                    break;
            }
        }
        // Font n of the recording is font n of the context.
        std::vector<LogicalFont> created;
        for (const Op& op : watch.canon.ops) {
            if (op.op == SurfaceOp::CreateFont) {
                created.push_back(op.font);
            }
        }
        state->config.measure = [&](const std::u16string& text, const LogicalFont* font) {
            int index = -1;
            for (std::size_t i = 0; font && i < created.size(); ++i) {
                if (created[i] == *font) {
                    index = static_cast<int>(i);
                    break;
                }
            }
            const auto it = watch.measured.find({text, index});
            return it == watch.measured.end() ? TextExtent{-1, -1} : it->second;
        };
        ReportHooks recHooks;
        recHooks.clock = FixedTime;
        recHooks.printDialog = [state] { return std::make_unique<RecordingChooser>(state); };
        PrintReport(sample.block, recHooks);

        const std::vector<Op> expected = FromRecording(*state).ops;
        ASSERT_EQ(watch.canon.ops.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(watch.canon.ops[i], expected[i]) << "operation " << i;
        }
        EXPECT_EQ(static_cast<int>(state->Count(SurfaceOp::StartPage)), sample.pages);

        // GDI drew exactly these lines and texts, where the engine put them.
        const std::vector<Op> drawn = Drawn(watch.metafile);
        EXPECT_EQ(drawn, DrawingOnly(expected));
        EXPECT_GE(drawn.size(), 50u);
        ::DeleteEnhMetaFile(watch.metafile);
    }
}

TEST(GdiPageSurface, FontsReachGdiWithEveryFieldAndTheFaceCutToWhatGdiHolds) {
    LogicalFont f;
    f.height = -83;
    f.width = 7;
    f.escapement = 900;
    f.orientation = 450;
    f.weight = 900;
    f.italic = true;
    f.underline = true;
    f.strikeOut = true;
    f.charSet = 2;
    f.outPrecision = 3;
    f.clipPrecision = 4;
    f.quality = 5;
    f.pitchAndFamily = 1;
    f.faceName = u"A face name much longer than thirty-one characters";
    const LOGFONTW lf = ToLogFont(f);
    LogicalFont back = FromLogFont(lf);
    EXPECT_EQ(back.faceName, f.faceName.substr(0, 31));
    back.faceName = f.faceName;
    EXPECT_EQ(back, f);
}

TEST(GdiPageSurface, DeletingTheSelectedFontAndPenLeavesTheContextUsable) {
    HDC dc = ::CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(dc, nullptr);
    HENHMETAFILE mf = nullptr;
    {
        GdiCalls calls;
        static HENHMETAFILE* out;
        out = &mf;
        calls.deleteDC = [](HDC d) -> BOOL { return (*out = ::CloseEnhMetaFile(d)) != nullptr; };
        GdiPageSurface surface(dc, calls);
        LogicalFont lf;
        lf.height = -20;
        lf.faceName = u"Arial";
        const FontHandle font = surface.CreateFont(lf);
        const PenHandle pen = surface.CreatePen(3, 0);
        ASSERT_NE(font, 0u);
        ASSERT_NE(pen, 0u);
        const FontHandle ownFont = surface.SelectFont(font);
        const PenHandle ownPen = surface.SelectPen(pen);
        EXPECT_EQ(::GetObjectType(reinterpret_cast<HGDIOBJ>(ownFont)),
                  static_cast<DWORD>(OBJ_FONT));
        EXPECT_EQ(::GetObjectType(reinterpret_cast<HGDIOBJ>(ownPen)), static_cast<DWORD>(OBJ_PEN));
        surface.DeleteFont(font);
        surface.DeletePen(pen);
        EXPECT_EQ(::GetObjectType(reinterpret_cast<HGDIOBJ>(font)), 0u) << "font still alive";
        EXPECT_EQ(::GetObjectType(reinterpret_cast<HGDIOBJ>(pen)), 0u) << "pen still alive";
        EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), reinterpret_cast<HGDIOBJ>(ownFont));
        EXPECT_EQ(::GetCurrentObject(dc, OBJ_PEN), reinterpret_cast<HGDIOBJ>(ownPen));
        // Text still measures and draws in the context's own font.
        EXPECT_GT(surface.MeasureText(u"Pin State").cx, 0);
        // Pen 0 is the context's own pen.
        EXPECT_EQ(surface.SelectPen(0), ownPen);
    }
    ASSERT_NE(mf, nullptr);
    ::DeleteEnhMetaFile(mf);
}

TEST(GdiPrinterChooser, APrinterThatDoesNotExistGivesNoSurface) {
    GdiPrinterChooser chooser(nullptr);
    EXPECT_EQ(chooser.ByName(u"No such printer 7f3a"), nullptr);
}

}  // namespace
}  // namespace vark
