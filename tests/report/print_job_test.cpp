#include "report/print_job.h"

#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <tuple>

#include "fakes.h"

namespace vark {
namespace {

using testing::ChooserLog;
using testing::MakeFake;

TEST(MulDivTest, RoundsHalvesAwayFromZeroWithWideIntermediate) {
    EXPECT_EQ(MulDiv(1, 1, 2), 1);
    EXPECT_EQ(MulDiv(3, 1, 2), 2);
    EXPECT_EQ(MulDiv(-1, 1, 2), -1);
    EXPECT_EQ(MulDiv(-3, 1, 2), -2);
    EXPECT_EQ(MulDiv(5, 1, -2), -3);
    EXPECT_EQ(MulDiv(-5, 1, -2), 3);
    EXPECT_EQ(MulDiv(10, 600, 72), 83);                     // 83.33
    EXPECT_EQ(MulDiv(20, 600, 72), 167);                    // 166.67
    EXPECT_EQ(MulDiv(4961, 72, 600), 595);                  // 595.32
    EXPECT_EQ(MulDiv(1 << 30, 1 << 10, 1 << 20), 1 << 20);  // a*b overflows 32 bits
    EXPECT_EQ(MulDiv(7, 3, 0), -1);
    EXPECT_EQ(MulDiv(std::numeric_limits<int>::max(), 4, 2), -1);
}

class PrintRxTest : public ::testing::Test {
  protected:
    std::shared_ptr<RecordingState> state = std::make_shared<RecordingState>();
    std::shared_ptr<ChooserLog> log = std::make_shared<ChooserLog>();

    std::unique_ptr<vark::PrintJob> Selected(int dpi = 600) {
        state->config.dpiX = dpi;
        state->config.dpiY = dpi;
        auto rx = std::make_unique<vark::PrintJob>(MakeFake(state, log));
        EXPECT_EQ(rx->SelectPrinter(), 0);
        return rx;
    }
    // Where the last TextOut put its text.
    std::pair<int, int> LastTextAt() const {
        const auto outs = state->Of(SurfaceOp::TextOut);
        return outs.empty() ? std::pair{-1, -1} : std::pair{outs.back().a, outs.back().b};
    }
};

TEST_F(PrintRxTest, FontSetZeroAtBothResolutions) {
    for (auto [dpi, small, large] : {std::tuple{600, -83, -208}, std::tuple{300, -42, -104}}) {
        state = std::make_shared<RecordingState>();
        auto rx = Selected(dpi);
        const auto fonts = state->Of(SurfaceOp::CreateFont);
        ASSERT_EQ(fonts.size(), 4u) << dpi;
        const int heights[] = {small, small, large, large};
        const int weights[] = {400, 900, 400, 900};
        for (int v = 0; v < 4; ++v) {
            EXPECT_EQ(fonts[v].font.height, heights[v]) << dpi << " variant " << v;
            EXPECT_EQ(fonts[v].font.weight, weights[v]);
            EXPECT_EQ(fonts[v].font.faceName, u"Arial");
            EXPECT_EQ(fonts[v].font.pitchAndFamily, kFixedPitch);
            EXPECT_EQ(fonts[v].font.charSet, kAnsiCharset);
            EXPECT_FALSE(fonts[v].font.italic || fonts[v].font.underline ||
                         fonts[v].font.strikeOut);
            EXPECT_EQ(fonts[v].font.width, 0);
        }
        // Set 0, variant 0 is left selected.
        EXPECT_EQ(state->Of(SurfaceOp::SelectFont).back().handle, fonts[0].handle);
        EXPECT_EQ(rx->FontSetCount(), 1);
        EXPECT_EQ(rx->CurrentFontSet(), 0);
    }
}

TEST_F(PrintRxTest, PageSizeInPointsAsksResolutionEachTime) {
    auto rx = Selected();
    EXPECT_EQ(rx->PageWidth(), 0);  // before the document
    state->config.horzRes = 4800;
    ASSERT_EQ(rx->BeginDoc(), 0);
    EXPECT_EQ(rx->PageWidth(), 576);
    EXPECT_EQ(rx->PageHeight(), 842);  // 7016 pixels
    state->config.dpiX = 300;          // never cached
    EXPECT_EQ(rx->PageWidth(), 1152);

    state = std::make_shared<RecordingState>();
    rx = Selected();
    state->config.horzRes = 4961;
    rx->BeginDoc();
    EXPECT_EQ(rx->PageWidth(), 595);
}

TEST_F(PrintRxTest, DocumentIsUnnamedAndRefusalLeavesSizeUnread) {
    auto rx = Selected();
    ASSERT_EQ(rx->BeginDoc(), 0);
    const auto docs = state->Of(SurfaceOp::StartDoc);
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_TRUE(docs[0].text.empty());

    state = std::make_shared<RecordingState>();
    rx = Selected();
    state->config.startDocResult = kSpError;
    EXPECT_EQ(rx->BeginDoc(), -1);
    EXPECT_EQ(rx->PageWidth(), 0);
    EXPECT_EQ(rx->PageHeight(), 0);
}

TEST_F(PrintRxTest, PageResultsPassedOrMapped) {
    auto rx = Selected();
    rx->BeginDoc();
    EXPECT_EQ(rx->BeginPage(), 0);
    state->config.endPageResult = -7;
    EXPECT_EQ(rx->FinishPage(), -7);
    state->config.endPageResult = 3;
    EXPECT_EQ(rx->FinishPage(), 3);
    state->config.startPageResult = -1;
    EXPECT_EQ(rx->BeginPage(), -1);
    state->config.startPageResult = 0;
    EXPECT_EQ(rx->BeginPage(), 0);

    const std::size_t before = state->calls.size();
    rx->NextPage();
    std::vector<SurfaceOp> ops;
    for (std::size_t i = before; i < state->calls.size(); ++i) {
        ops.push_back(state->calls[i].op);
    }
    EXPECT_EQ(ops, (std::vector<SurfaceOp>{SurfaceOp::EndPage, SurfaceOp::StartPage}));
}

TEST_F(PrintRxTest, TextPlacementAtSixHundredDpi) {
    auto rx = Selected();
    state->config.charWidth = 100;
    state->config.textHeight = 100;
    const std::string ten = "0123456789";   // 1000 pixels wide
    const PrintRect rect{20, 20, 575, 60};  // L 167, Wd 4625, T 167, Hd 333

    EXPECT_EQ(rx->PrintText(ten, rect, PT_HCENTER), 1);
    EXPECT_EQ(LastTextAt(), (std::pair{1979, 167}));
    rx->PrintText(ten, rect, PT_HCENTER | PT_VCENTER);
    EXPECT_EQ(LastTextAt(), (std::pair{1979, 167 + 166 - 50}));
    rx->PrintText(ten, rect, PT_RIGHT);
    EXPECT_EQ(LastTextAt(), (std::pair{167 + 4625 - 1000, 167}));
    rx->PrintText(ten, rect, PT_HCENTER | PT_RIGHT);  // 5: centre wins
    EXPECT_EQ(LastTextAt(), (std::pair{1979, 167}));
    rx->PrintText(ten, rect, PT_LEFT);
    EXPECT_EQ(LastTextAt(), (std::pair{167, 167}));
    rx->PrintText(ten, rect, 0x30);  // unknown bits
    EXPECT_EQ(LastTextAt(), (std::pair{167, 167}));
    EXPECT_EQ(Narrow(state->Of(SurfaceOp::TextOut).back().text), ten);

    // Bytes above 0x7F widen to the same code point, not sign-extended.
    rx->PrintText("caf\xE9\xFF", rect, PT_LEFT);
    EXPECT_EQ(state->Of(SurfaceOp::TextOut).back().text, u"caf\u00E9\u00FF");
    EXPECT_EQ(state->Of(SurfaceOp::MeasureText).back().text, u"caf\u00E9\u00FF");
}

TEST_F(PrintRxTest, OddCentringAndClampingAtOnePixelPerPoint) {
    auto rx = Selected(72);
    state->config.charWidth = 3;
    state->config.textHeight = 3;
    rx->PrintText("a", {10, 40, 15, 45}, PT_HCENTER | PT_VCENTER);  // Wd 5, cx 3
    EXPECT_EQ(LastTextAt(), (std::pair{11, 41}));

    // Wider and taller than the rectangle: pinned to its left and top, not clipped.
    state->config.textHeight = 50;
    rx->PrintText("wide text", {10, 40, 15, 45}, PT_HCENTER | PT_VCENTER);
    EXPECT_EQ(LastTextAt(), (std::pair{10, 40}));
    rx->PrintText("wide text", {10, 40, 15, 45}, PT_RIGHT);
    EXPECT_EQ(LastTextAt(), (std::pair{10, 40}));
    EXPECT_EQ(Narrow(state->Of(SurfaceOp::TextOut).back().text), "wide text");
}

TEST_F(PrintRxTest, ScaledWidthNotDifferenceOfEdges) {
    auto rx = Selected();
    state->config.charWidth = 0;
    state->config.textHeight = 0;
    // left 1 -> 8 (8.33), width 1 -> 8; X(2) = 17 (16.67), so X(r)-X(l) would be 9.
    rx->PrintText("x", {1, 0, 2, 0}, PT_RIGHT);
    EXPECT_EQ(LastTextAt().first, 8 + 8);
}

TEST_F(PrintRxTest, DrawLineUsesCallersPenAndRestoresThePrevious) {
    auto rx = Selected();
    PageSurface* s = rx->Surface();
    const PenHandle pen = s->CreatePen(3, 0);
    const std::size_t before = state->calls.size();
    EXPECT_EQ(rx->DrawLine(20, 70, 575, 91, pen), 0);
    std::vector<SurfaceCall> c;
    for (std::size_t i = before; i < state->calls.size(); ++i) {
        if (state->calls[i].op != SurfaceOp::DeviceCaps) {
            c.push_back(state->calls[i]);
        }
    }
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[0].op, SurfaceOp::SelectPen);
    EXPECT_EQ(c[0].handle, pen);
    EXPECT_EQ(c[1].op, SurfaceOp::MoveTo);
    EXPECT_EQ(std::pair(c[1].a, c[1].b), std::pair(167, 583));
    EXPECT_EQ(c[1].handle, pen);
    EXPECT_EQ(c[2].op, SurfaceOp::LineTo);
    EXPECT_EQ(std::pair(c[2].a, c[2].b), std::pair(4792, 758));
    EXPECT_EQ(c[3].op, SurfaceOp::SelectPen);
    EXPECT_EQ(c[3].handle, RecordingSurface::kStockPen);
    s->DeletePen(pen);
}

TEST_F(PrintRxTest, TenFontSetsAndTheCallersFontChanged) {
    auto rx = Selected(300);
    LogicalFont lf;
    lf.height = -20;
    lf.weight = 700;
    lf.italic = true;
    lf.faceName = u"Liberation Serif";
    EXPECT_EQ(rx->AddFontSet(lf), 0);
    EXPECT_EQ(lf.height, -104);
    EXPECT_EQ(lf.weight, 900);
    EXPECT_TRUE(lf.italic);
    EXPECT_EQ(lf.faceName, u"Liberation Serif");
    auto created = state->Of(SurfaceOp::CreateFont);
    ASSERT_EQ(created.size(), 8u);
    EXPECT_EQ(created[4].font.height, -20);
    EXPECT_EQ(created[4].font.weight, 700);
    EXPECT_EQ(created[5].font.weight, 900);
    EXPECT_EQ(created[6].font.height, -104);
    EXPECT_EQ(created[6].font.weight, 400);
    EXPECT_TRUE(created[7].font.italic);

    for (int i = 2; i < kFontSets; ++i) {
        EXPECT_EQ(rx->AddFontSet(lf), 0) << i;
    }
    LogicalFont eleventh = lf;
    eleventh.height = -1;
    EXPECT_EQ(rx->AddFontSet(eleventh), -1);
    EXPECT_EQ(eleventh.height, -1);  // untouched
    EXPECT_EQ(rx->FontSetCount(), 10);
    EXPECT_EQ(state->Count(SurfaceOp::CreateFont), 40u);

    // Selecting picks the font of that set and variant.
    rx->SelectFont(1, 2);
    EXPECT_EQ(state->Of(SurfaceOp::SelectFont).back().handle, created[6].handle);
    EXPECT_EQ(rx->CurrentFontSet(), 1);
    EXPECT_EQ(rx->SelectedVariant(1), 2);
    EXPECT_EQ(rx->SelectedVariant(0), 0);
}

TEST_F(PrintRxTest, ResourcesReleasedOnceOnEveryPath) {
    struct Path {
        const char* name;
        bool cancel;
        bool byName;
        bool finish;
    };
    for (const Path p :
         {Path{"finished", false, false, true}, Path{"unfinished", false, false, false},
          Path{"cancelled", true, false, false}, Path{"by name", false, true, true}}) {
        state = std::make_shared<RecordingState>();
        log = std::make_shared<ChooserLog>();
        std::size_t dialogGoneAt = 0;
        {
            vark::PrintJob rx(MakeFake(state, log, p.cancel));
            const int r = p.byName ? rx.SelectPrinter(u"printer") : rx.SelectPrinter();
            EXPECT_EQ(r, p.cancel ? -1 : 0) << p.name;
            // The dialog object goes as soon as a printer is chosen; after a
            // failure it stays until the engine goes.
            EXPECT_EQ(log->destroyed, p.cancel ? 0 : 1) << p.name;
            if (!p.cancel) {
                rx.BeginDoc();
                rx.BeginPage();
                rx.PrintText("x", {0, 0, 10, 10}, 0);
                rx.FinishPage();
                if (p.finish) {
                    EXPECT_EQ(rx.FinishDoc(), 0);
                    // Detached: nothing more reaches the printer.
                    const std::size_t n = state->calls.size();
                    rx.PrintText("late", {0, 0, 10, 10}, 0);
                    EXPECT_EQ(state->calls.size(), n);
                }
            }
            dialogGoneAt = log->destroyedAtCall;
        }
        EXPECT_EQ(log->made, 1) << p.name;
        EXPECT_EQ(log->destroyed, 1) << p.name;
        EXPECT_EQ(state->Count(SurfaceOp::Release), p.cancel ? 0u : 1u) << p.name;
        if (p.cancel) {
            EXPECT_TRUE(state->calls.empty());  // nothing reached a printer
            continue;
        }
        EXPECT_LT(dialogGoneAt, state->calls.size());
        // Every font created is deleted once, before the context goes.
        std::multiset<std::uintptr_t> created, deleted;
        for (const auto& c : state->Of(SurfaceOp::CreateFont))
            created.insert(c.handle);
        for (const auto& c : state->Of(SurfaceOp::DeleteFont))
            deleted.insert(c.handle);
        EXPECT_EQ(created, deleted) << p.name;
        EXPECT_EQ(created.size(), 4u);
        EXPECT_EQ(state->calls.back().op, SurfaceOp::Release) << p.name;
    }
    EXPECT_EQ(log->byName, (std::vector<std::u16string>{u"printer"}));
}

TEST_F(PrintRxTest, FailedPrinterByNameKeepsDialogUntilDestruction) {
    {
        vark::PrintJob rx(MakeFake(state, log));
        EXPECT_EQ(rx.SelectPrinter(u"no such printer"), -1);
        EXPECT_EQ(rx.Surface(), nullptr);
        // A second attempt reuses the same dialog object.
        EXPECT_EQ(rx.SelectPrinter(), 0);
        EXPECT_EQ(log->made, 1);
    }
    EXPECT_EQ(log->destroyed, 1);
    EXPECT_EQ(state->Count(SurfaceOp::Release), 1u);
}

}  // namespace
}  // namespace vark
