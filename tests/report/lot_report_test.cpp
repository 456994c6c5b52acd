// The lot report on the recording surface: what the title page says, the
// chart's bars and curve against the counts, pages numbered, the failed
// records wrapped inside their columns.
#include "report/lot_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "fakes.h"

namespace vark {
namespace {

using archive::FailedRecord;
using archive::LotSummary;
using testing::ChooserLog;
using testing::MakeFake;

constexpr archive::TimeMs kT0 = 1709625600000;  // 2024-03-05 08:00 UTC

FailedRecord Failed(int slot, const std::string& verdict, const std::string& missing = "",
                    const std::string& extra = "", const std::string& station = "S1") {
    return {"01900000-0000-7000-8000-000000000001",
            kT0,
            station,
            slot,
            10,
            10,
            verdict,
            missing,
            extra};
}

LotSummary Lot() {
    LotSummary lot;
    lot.lot = "L-7";
    lot.parts = {"P-10"};
    lot.stations = {"S1", "S2"};
    lot.operators = {"ann", "bob"};
    lot.first = kT0;
    lot.last = kT0 + 3600000;
    lot.runs = 2;
    lot.voided = 1;
    lot.repeats = 1;
    lot.totals.runs = 2;
    lot.totals.passed = 11;
    lot.totals.failed = 5;
    archive::Golden g;
    g.uuid = "01900000-0000-7000-8000-0000000000aa";
    g.part = "P-10";
    g.made = kT0 - 86400000;
    g.author = "quinn";
    g.station = "bench";
    g.source = "test 001 of /srv/golden.vku";
    lot.references.push_back({g, "", 2});
    lot.failed = {Failed(7, "differs", "A03-B03"), Failed(8, "differs", "", "A06-B07"),
                  Failed(4, "error"), Failed(5, "pin-count"), Failed(6, "differs", "A03-B03")};
    lot.failed[3].pinCount = 12;
    lot.pareto = archive::FailurePareto(lot.failed);
    return lot;
}

// A report on a 595 x 842 point page at one pixel per point, every
// character four points wide.
class LotReportTest : public ::testing::Test {
  protected:
    std::shared_ptr<RecordingState> state = std::make_shared<RecordingState>();
    std::shared_ptr<ChooserLog> log = std::make_shared<ChooserLog>();
    LotReportHooks hooks;

    void SetUp() override {
        state->config = {.dpiX = 72, .dpiY = 72, .horzRes = 595, .vertRes = 842, .charWidth = 4};
        hooks.printDialog = MakeFake(state, log);
        hooks.clock = [] {
            std::tm tm{};
            tm.tm_year = 124;
            tm.tm_mon = 2;
            tm.tm_mday = 6;
            tm.tm_hour = 9;
            return std::optional<std::tm>(tm);
        };
    }

    struct Text {
        std::u16string text;
        int x, y;
    };
    struct Stroke {
        int x1, y1, x2, y2;
        std::uint32_t colour;
    };
    struct Page {
        std::vector<Text> texts;
        std::vector<Stroke> strokes;

        std::vector<std::string> Narrowed() const {
            std::vector<std::string> out;
            for (const Text& t : texts) {
                out.push_back(Narrow(t.text));
            }
            return out;
        }
        // The text drawn right after `label`.
        std::string After(const std::string& label) const {
            const auto all = Narrowed();
            const auto it = std::find(all.begin(), all.end(), label);
            return it == all.end() || it + 1 == all.end() ? "<none>" : *(it + 1);
        }
        // The cause the chart's key gives for bar `rank`: its rows are rank,
        // cause, count, share and cumulative share, after the headings.
        std::string KeyCause(int rank) const {
            const auto all = Narrowed();
            const auto heading = std::find(all.begin(), all.end(), "Cumulative");
            const auto at = static_cast<std::size_t>(heading - all.begin()) +
                            5 * static_cast<std::size_t>(rank - 1) + 1;
            if (heading == all.end() || at + 1 >= all.size() || all[at] != std::to_string(rank)) {
                return "<none>";
            }
            return all[at + 1];
        }
        std::vector<Stroke> Of(std::uint32_t colour) const {
            std::vector<Stroke> out;
            std::copy_if(strokes.begin(), strokes.end(), std::back_inserter(out),
                         [&](const Stroke& s) { return s.colour == colour; });
            return out;
        }
    };

    std::vector<Page> Pages() const {
        std::vector<Page> pages;
        std::map<std::uintptr_t, std::uint32_t> colours;
        int x = 0;
        int y = 0;
        for (const SurfaceCall& c : state->calls) {
            switch (c.op) {
                case SurfaceOp::StartPage:
                    pages.emplace_back();
                    break;
                case SurfaceOp::CreatePen:
                    colours[c.handle] = static_cast<std::uint32_t>(c.b);
                    break;
                case SurfaceOp::MoveTo:
                    x = c.a;
                    y = c.b;
                    break;
                case SurfaceOp::LineTo:
                    pages.back().strokes.push_back({x, y, c.a, c.b, colours[c.handle]});
                    break;
                case SurfaceOp::TextOut:
                    pages.back().texts.push_back({c.text, c.a, c.b});
                    break;
                default:
                    break;
            }
        }
        return pages;
    }
};

constexpr std::uint32_t kBarBlue = 0xA06E46;
constexpr std::uint32_t kCurveRed = 0x2828C8;

TEST_F(LotReportTest, TheTitlePageSaysTheLotsFacts) {
    ASSERT_TRUE(PrintLotReport(Lot(), hooks));
    const auto pages = Pages();
    ASSERT_EQ(pages.size(), 2u);
    const Page& p = pages[0];
    EXPECT_EQ(p.After("Lot"), "L-7");
    EXPECT_EQ(p.After("Part number"), "P-10");
    EXPECT_EQ(p.After("Golden reference"),
              "test 001 of /srv/golden.vku, set " +
                  archive::FormatTime(kT0 - 86400000, "%Y-%m-%d %H:%M", true) +
                  " by quinn at bench (part P-10, 2 runs)");
    EXPECT_EQ(p.After("Stations"), "S1, S2");
    EXPECT_EQ(p.After("Operators"), "ann, bob");
    EXPECT_EQ(p.After("Period"), archive::FormatTime(kT0, "%Y-%m-%d %H:%M", true) + " to " +
                                     archive::FormatTime(kT0 + 3600000, "%Y-%m-%d %H:%M", true));
    EXPECT_EQ(p.After("Runs"), "2 counted; left out: 1 voided, 1 repeat");
    EXPECT_EQ(p.After("Counted records"), "16");
    EXPECT_EQ(p.After("Passed"), "11");
    EXPECT_EQ(p.After("Failed"), "5");
    EXPECT_EQ(p.After("First-pass yield"), "68.8 %");
    const auto all = p.Narrowed();
    EXPECT_EQ(std::count(all.begin(), all.end(), "Not judged"), 0);
    EXPECT_EQ(all.front(), "VARK-u  Lot Report");
    EXPECT_EQ(p.After("Failure causes")
                  .rfind("5 causes in 5 failed records: each missing or "
                         "extra connection",
                         0),
              0u);
    // The key under the chart, largest first.
    const auto key = std::find(all.begin(), all.end(), "Cumulative");
    ASSERT_LT(key + 5, all.end());
    EXPECT_EQ(std::vector<std::string>(key + 1, key + 6),
              (std::vector<std::string>{"1", "missing A03-B03", "2", "40.0 %", "40.0 %"}));
    EXPECT_EQ(p.KeyCause(4), "other pin count 12");
    EXPECT_EQ(all.back(), "Page 1/2");
    EXPECT_EQ(*(all.end() - 2), "Lot L-7    printed 2024-03-06  09:00:00");
}

TEST_F(LotReportTest, RunsNotJudgedAndOtherReferencesAreSaidAsSuch) {
    LotSummary lot = Lot();
    lot.references.push_back({std::nullopt, "test 001", 1});
    lot.runsNotJudged = 3;
    lot.totals.notJudged = 40;
    lot.warnings = {{"Warning: 6 of the 8 records are wired alike", 2}};
    ASSERT_TRUE(PrintLotReport(lot, hooks));
    const Page p = Pages()[0];
    const auto all = p.Narrowed();
    const auto refs = std::find(all.begin(), all.end(), "References");
    ASSERT_NE(refs, all.end());
    EXPECT_NE(std::find(refs, all.end(), "test 001 (1 run)"), all.end());
    EXPECT_NE(std::find(refs, all.end(), "none: 3 runs not judged"), all.end());
    EXPECT_EQ(p.After("Not judged"), "40 (runs without a reference)");
    EXPECT_NE(
        std::find(all.begin(), all.end(), "Warning: 6 of the 8 records are wired alike (2 runs)"),
        all.end());
    // Not judged is never a yield of its own.
    EXPECT_EQ(p.After("First-pass yield"), "68.8 %");
    lot.totals.passed = lot.totals.failed = 0;
    state->calls.clear();
    ASSERT_TRUE(PrintLotReport(lot, hooks));
    EXPECT_EQ(Pages()[0].After("First-pass yield"), "- (no record judged)");
}

TEST_F(LotReportTest, TheChartsBarsAndCurveFollowTheCounts) {
    ASSERT_TRUE(PrintLotReport(Lot(), hooks));
    const Page p = Pages()[0];
    // Each bar is filled with lines a point apart: its extent from them.
    std::map<int, std::pair<int, int>> bars;  // left -> top, bottom
    for (const Stroke& s : p.Of(kBarBlue)) {
        ASSERT_EQ(s.y1, s.y2);
        auto [it, fresh] = bars.try_emplace(s.x1, s.y1, s.y1);
        it->second.first = std::min(it->second.first, s.y1);
        it->second.second = std::max(it->second.second, s.y1);
    }
    // missing A03-B03 2, then error, extra A06-B07 and other pin count 12 once.
    ASSERT_EQ(bars.size(), 4u);
    std::vector<int> heights;
    int bottom = -1;
    for (const auto& [left, span] : bars) {
        heights.push_back(span.second - span.first + 2);
        if (bottom >= 0) {
            EXPECT_EQ(span.second, bottom);
        }
        bottom = span.second;
    }
    EXPECT_NEAR(heights[0], 2 * heights[1], 2);
    EXPECT_EQ(heights[1], heights[2]);
    EXPECT_EQ(heights[2], heights[3]);
    // The cumulative curve: rising, ending at 100 %, which is the scale's top
    // (the largest count, 2, is the scale's top too).
    std::vector<std::pair<int, int>> path;
    for (const Stroke& s : p.Of(kCurveRed)) {
        if (s.x1 != s.x2 && s.y1 != s.y2) {
            path.emplace_back(s.x2, s.y2);
        }
    }
    ASSERT_EQ(path.size(), 3u);
    EXPECT_GT(path[0].second, path[1].second);
    EXPECT_GT(path[1].second, path[2].second);
    EXPECT_EQ(path[2].second, bars.begin()->second.first - 1);
}

TEST_F(LotReportTest, ManyCausesFoldIntoTheLastBar) {
    LotSummary lot = Lot();
    lot.failed.clear();
    for (int i = 1; i <= 14; ++i) {
        for (int n = 0; n < i; ++n) {
            lot.failed.push_back(Failed(n % 100, "differs", "A" + std::to_string(10 + i) + "-B01"));
        }
    }
    lot.pareto = archive::FailurePareto(lot.failed);
    ASSERT_TRUE(PrintLotReport(lot, hooks));
    const Page p = Pages()[0];
    std::set<int> lefts;
    for (const Stroke& s : p.Of(kBarBlue)) {
        lefts.insert(s.x1);
    }
    EXPECT_EQ(lefts.size(), static_cast<std::size_t>(kLotReportBars));
    EXPECT_EQ(p.KeyCause(1), "missing A24-B01");
    EXPECT_EQ(p.KeyCause(10), "5 other causes");
}

TEST_F(LotReportTest, PagesAreNumberedAndEveryFailedRecordIsListed) {
    LotSummary lot = Lot();
    lot.failed.clear();
    for (int i = 0; i < 150; ++i) {
        lot.failed.push_back(Failed(i % 100, "differs", "A0" + std::to_string(i % 9 + 1) + "-B01",
                                    "", "S" + std::to_string(i)));
    }
    lot.pareto = archive::FailurePareto(lot.failed);
    ASSERT_TRUE(PrintLotReport(lot, hooks));
    const auto pages = Pages();
    ASSERT_GE(pages.size(), 4u);
    EXPECT_EQ(state->Count(SurfaceOp::StartPage), pages.size());
    EXPECT_EQ(state->Count(SurfaceOp::EndPage), pages.size());
    std::multiset<std::string> stations;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const auto all = pages[i].Narrowed();
        const std::string number =
            "Page " + std::to_string(i + 1) + "/" + std::to_string(pages.size());
        EXPECT_EQ(std::count(all.begin(), all.end(), number), 1) << number;
        if (i > 0) {
            EXPECT_EQ(all[1].rfind("Failed records (150)", 0), 0u) << all[1];
            EXPECT_EQ(all[1] == "Failed records (150)", i == 1);
        }
        for (const std::string& t : all) {
            if (i > 0 && t.size() > 1 && t[0] == 'S' &&
                std::isdigit(static_cast<unsigned char>(t[1]))) {
                stations.insert(t);
            }
        }
        // Nothing below the footer's rule but the footer.
        for (const Text& t : pages[i].texts) {
            EXPECT_LE(t.y, 842 - 36 + 14) << Narrow(t.text);
        }
    }
    EXPECT_EQ(stations.size(), 150u);
    EXPECT_EQ(stations.count("S149"), 1u);
}

TEST_F(LotReportTest, LongTextsWrapInsideTheirColumns) {
    LotSummary lot = Lot();
    std::string missing;
    for (int pin = 1; pin <= 30; ++pin) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%sA%02d-B%02d", pin > 1 ? " " : "", pin, pin);
        missing += buf;
    }
    lot.failed = {Failed(0, "differs", missing, "", "bench with a very long station name here")};
    lot.pareto = archive::FailurePareto(lot.failed);
    lot.references[0].golden->source = "test 001 of " + std::string(150, 'x') + ".vku";
    ASSERT_TRUE(PrintLotReport(lot, hooks));
    const auto pages = Pages();
    ASSERT_EQ(pages.size(), 2u);
    std::string joined;
    int lines = 0;
    for (const auto& page : pages) {
        for (const Text& t : page.texts) {
            // Every text ends inside the right margin (four points a character).
            EXPECT_LE(t.x + 4 * static_cast<int>(t.text.size()), 595 - 36) << Narrow(t.text);
            const std::string s = Narrow(t.text);
            if (&page == &pages[1] && (s.rfind("differs:", 0) == 0 || s.rfind("A", 0) == 0)) {
                joined += (joined.empty() ? "" : " ") + s;
                ++lines;
            }
        }
    }
    EXPECT_GT(lines, 2);
    EXPECT_EQ(joined, "differs: missing " + missing);
}

TEST_F(LotReportTest, NamesPeopleTypedKeepTheirCharacters) {
    LotSummary lot = Lot();
    lot.lot = "Łódź-5";
    lot.operators = {"Zoë", "李"};
    ASSERT_TRUE(PrintLotReport(lot, hooks));
    std::set<std::u16string> texts;
    const auto pages = Pages();
    for (const Text& t : pages[0].texts) {
        texts.insert(t.text);
    }
    EXPECT_TRUE(texts.count(u"Łódź-5"));
    EXPECT_TRUE(texts.count(u"Zoë, 李"));
}

TEST_F(LotReportTest, ALotWithoutFailuresIsOnePage) {
    LotSummary lot = Lot();
    lot.failed.clear();
    lot.pareto = {};
    lot.totals.passed = 16;
    lot.totals.failed = 0;
    ASSERT_TRUE(PrintLotReport(lot, hooks));
    const auto pages = Pages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].After("Failure causes"), "No failed records.");
    EXPECT_EQ(pages[0].After("First-pass yield"), "100.0 %");
    EXPECT_TRUE(pages[0].Of(kBarBlue).empty());
}

TEST_F(LotReportTest, ACancelledDialogPrintsNothing) {
    hooks.printDialog = MakeFake(state, log, true);
    EXPECT_FALSE(PrintLotReport(Lot(), hooks));
    EXPECT_EQ(state->Count(SurfaceOp::StartDoc), 0u);
    EXPECT_EQ(log->made, 1);
    EXPECT_EQ(log->destroyed, 1);
}

TEST_F(LotReportTest, EveryFontAndPenIsReleased) {
    ASSERT_TRUE(PrintLotReport(Lot(), hooks));
    EXPECT_EQ(state->Count(SurfaceOp::CreatePen), state->Count(SurfaceOp::DeletePen));
    EXPECT_EQ(state->Count(SurfaceOp::CreateFont), 12u);
    EXPECT_EQ(state->Count(SurfaceOp::DeleteFont), 12u);
    EXPECT_EQ(state->Count(SurfaceOp::Release), 1u);
    EXPECT_EQ(state->Count(SurfaceOp::EndDoc), 1u);
}

TEST(LotReportText, FailuresInTheComparisonsWords) {
    EXPECT_EQ(FailureText(Failed(0, "differs", "A03-B03 A04-B04", "A03-B04")),
              "differs: missing A03-B03 A04-B04; extra A03-B04");
    EXPECT_EQ(FailureText(Failed(0, "differs", "", "AGD-B02")), "differs: extra AGD-B02");
    FailedRecord other = Failed(0, "pin-count");
    other.pinCount = 12;
    EXPECT_EQ(FailureText(other), "other pin count: reference 10, record 12");
    EXPECT_EQ(FailureText(Failed(0, "error")), "error");
}

TEST(LotReportText, Utf8BecomesUtf16AndBadBytesAMark) {
    EXPECT_EQ(Utf16("A03"), u"A03");
    EXPECT_EQ(Utf16("Zo\xc3\xab"), u"Zoë");
    EXPECT_EQ(Utf16("\xe6\x9d\x8e"), u"李");
    EXPECT_EQ(Utf16("\xf0\x9f\x94\x8c"), u"\U0001F50C");
    EXPECT_EQ(Utf16("a\xff"
                    "b"),
              u"a\uFFFDb");
    EXPECT_EQ(Utf16("a\xc3"), u"a\uFFFD");
    EXPECT_EQ(Utf16("\xc0\xaf"), u"\uFFFD\uFFFD");  // overlong
    EXPECT_EQ(Utf16("\xed\xa0\x80"), u"\uFFFD");    // a surrogate's bytes
}

}  // namespace
}  // namespace vark
