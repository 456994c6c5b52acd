#include "report/record_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "fakes.h"
#include "records/pin_map.h"
#include "records/sample_records.h"

namespace vark {
namespace {

using testing::ChooserLog;
using testing::MakeFake;

struct Line {
    int x1, y1, x2, y2;
    bool operator==(const Line&) const = default;
};

struct Text {
    std::string text;
    int x, y;
    FontHandle font;
};

// A block of `count` straight cables with grounds, of 1, 2, 3 .. pins, so
// that every record prints differently.
RecordBlock Cables(int count) {
    RecordBlock block;
    ClearBlock(block);
    block.count = static_cast<std::uint8_t>(count);
    for (int i = 0; i < std::min(count, 100); ++i) {
        block.slots[i] = RecordBuilder(i % kMaxPins + 1).Straight().Grounds().Build();
    }
    return block;
}

std::string Id(int slot) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%03d", slot + 1);
    return buf;
}

// A report drawn on a 595 x 842 point page at one pixel per point, so every
// recorded coordinate is the report's own point value.
class ReportTest : public ::testing::Test {
  protected:
    std::shared_ptr<RecordingState> state = std::make_shared<RecordingState>();
    std::shared_ptr<ChooserLog> log = std::make_shared<ChooserLog>();
    std::vector<std::string> messages;
    ReportHooks hooks;

    void SetUp() override {
        state->config = {.dpiX = 72, .dpiY = 72, .horzRes = 595, .vertRes = 842, .charWidth = 1};
        hooks.message = [this](const std::string& m) { messages.push_back(m); };
        hooks.printDialog = MakeFake(state, log);
        hooks.clock = [] {
            std::tm tm{};
            tm.tm_year = 124;
            tm.tm_mon = 2;
            tm.tm_mday = 5;
            tm.tm_hour = 9;
            tm.tm_min = 7;
            tm.tm_sec = 3;
            return std::optional<std::tm>(tm);
        };
    }

    // Drawing calls split into pages (StartPage .. EndPage).
    std::vector<std::vector<SurfaceCall>> Pages() const {
        std::vector<std::vector<SurfaceCall>> pages;
        bool open = false;
        for (const SurfaceCall& c : state->calls) {
            if (c.op == SurfaceOp::StartPage) {
                pages.emplace_back();
                open = true;
            } else if (c.op == SurfaceOp::EndPage) {
                open = false;
            } else if (open) {
                pages.back().push_back(c);
            }
        }
        return pages;
    }
    static std::vector<Line> Lines(const std::vector<SurfaceCall>& page) {
        std::vector<Line> out;
        const SurfaceCall* move = nullptr;
        for (const SurfaceCall& c : page) {
            if (c.op == SurfaceOp::MoveTo) {
                move = &c;
            } else if (c.op == SurfaceOp::LineTo && move != nullptr) {
                out.push_back({move->a, move->b, c.a, c.b});
                move = nullptr;
            }
        }
        return out;
    }
    static std::vector<Text> Texts(const std::vector<SurfaceCall>& page) {
        std::vector<Text> out;
        for (const SurfaceCall& c : page) {
            if (c.op == SurfaceOp::TextOut) {
                out.push_back({Narrow(c.text), c.a, c.b, c.handle});
            }
        }
        return out;
    }
    static const Text* Find(const std::vector<Text>& texts, const std::string& s) {
        for (const Text& t : texts) {
            if (t.text == s) {
                return &t;
            }
        }
        return nullptr;
    }
    // Pin-state texts of a page, in order.
    static std::vector<std::string> StateCells(const std::vector<Text>& texts) {
        std::vector<std::string> out;
        for (const Text& t : texts) {
            if (t.x == 115) {
                out.push_back(t.text);
            }
        }
        return out;
    }

    // Page p as the report drew it, one line per operation: from its start to
    // the next page or the end of the document, so the pen deleted after the
    // page is in. The engine's own calls (capabilities, measuring, pen
    // selection) are left out; fonts are named by their order of creation.
    std::vector<std::string> Transcript(std::size_t page) const {
        std::vector<FontHandle> fonts;
        for (const SurfaceCall& c : state->Of(SurfaceOp::CreateFont)) {
            fonts.push_back(c.handle);
        }
        auto fontName = [&](FontHandle h) {
            const auto it = std::find(fonts.begin(), fonts.end(), h);
            return it == fonts.end() ? std::string("?") : std::to_string(it - fonts.begin());
        };
        std::vector<std::string> out;
        std::size_t seen = 0;
        bool in = false;
        PenHandle pen = 0;
        const SurfaceCall* move = nullptr;
        for (const SurfaceCall& c : state->calls) {
            if (c.op == SurfaceOp::StartPage || c.op == SurfaceOp::EndDoc) {
                if (in) {
                    break;
                }
                in = c.op == SurfaceOp::StartPage && seen++ == page;
            }
            if (!in) {
                continue;
            }
            switch (c.op) {
                case SurfaceOp::StartPage:
                    out.push_back("start page");
                    break;
                case SurfaceOp::EndPage:
                    out.push_back("end page");
                    break;
                case SurfaceOp::CreatePen:
                    pen = c.handle;
                    out.push_back("pen " + std::to_string(c.a) + " colour " + std::to_string(c.b));
                    break;
                case SurfaceOp::DeletePen:
                    out.push_back(c.handle == pen ? "pen deleted" : "another pen deleted");
                    break;
                case SurfaceOp::SelectFont:
                    out.push_back("font " + fontName(c.handle));
                    break;
                case SurfaceOp::MoveTo:
                    move = &c;
                    break;
                case SurfaceOp::LineTo:
                    out.push_back(move == nullptr
                                      ? "line without a start"
                                      : "line " + std::to_string(move->a) + "," +
                                            std::to_string(move->b) + " " + std::to_string(c.a) +
                                            "," + std::to_string(c.b) +
                                            (c.handle == pen ? "" : " other pen"));
                    move = nullptr;
                    break;
                case SurfaceOp::TextOut:
                    out.push_back("text " + std::to_string(c.a) + "," + std::to_string(c.b) +
                                  " \"" + Narrow(c.text) + "\"" +
                                  (c.handle == fonts.at(0) ? "" : " font " + fontName(c.handle)));
                    break;
                default:
                    break;
            }
        }
        return out;
    }
};

TEST(ReportLayoutTest, SinglePrecisionBands) {
    const ReportLayout lay = MakeReportLayout(595, 842);
    EXPECT_EQ(lay.R, 575);
    EXPECT_EQ(lay.mid, 297);
    const int head[] = {70, 91, 112, 133, 154, 175, 196, 218};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(lay.y[i], head[i]) << i;
    }
    EXPECT_EQ(lay.y[35], 810);
    EXPECT_EQ(MakeReportLayout(612, 792).y[35], 70 + 692);  // Letter: 19.777.. * 35
    EXPECT_EQ(MakeReportLayout(612, 792).R, 592);
    EXPECT_EQ(MakeReportLayout(613, 792).mid, 306);
}

TEST_F(ReportTest, NoRecordsOnlySaysSo) {
    PrintReport(Cables(0), hooks);
    EXPECT_EQ(messages, (std::vector<std::string>{"\n    No Data to print!    \n"}));
    EXPECT_EQ(log->made, 0);
    EXPECT_TRUE(state->calls.empty());
}

TEST_F(ReportTest, CancelPrintsNothingAndSaysNothing) {
    hooks.printDialog = MakeFake(state, log, /*cancel=*/true);
    PrintReport(Cables(7), hooks);
    EXPECT_EQ(log->chosen, 1);
    EXPECT_EQ(log->destroyed, 1);
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(state->calls.empty());
}

// Every rule and every text of a page, where it lands and in which order, for
// one known record. Characters are 5 points wide, so a centred text moves
// when either edge of its rectangle does.
TEST_F(ReportTest, WholePageOperationByOperation) {
    state->config.charWidth = 5;
    RecordBlock block;
    ClearBlock(block);
    block.count = 1;
    block.slots[0] = RecordBuilder(4).Straight().Grounds().Build();
    PrintReport(block, hooks);
    ASSERT_EQ(state->Count(SurfaceOp::StartPage), 1u);
    const std::vector<std::string> expected = {
        "start page",
        "pen 3 colour 0",
        // Horizontal rules y0 .. y11, left border, header divider, column
        // dividers, footer divider, right border.
        "line 20,70 575,70",
        "line 20,91 575,91",
        "line 20,112 575,112",
        "line 20,133 575,133",
        "line 20,154 575,154",
        "line 20,175 575,175",
        "line 20,196 575,196",
        "line 20,218 575,218",
        "line 20,239 575,239",
        "line 20,260 575,260",
        "line 20,281 575,281",
        "line 20,302 575,302",
        "line 20,70 20,302",
        "line 297,91 297,133",
        "line 60,133 60,281",
        "line 110,133 110,281",
        "line 297,281 297,302",
        "line 575,70 575,302",
        // Column headings, centred in (23|63|113, y3, 60|110|R, y4).
        R"t(text 36,138 "ID")t",
        R"t(text 79,138 "Pin")t",
        R"t(text 322,138 "Pin State")t",
        // The record: ID in (21, .., 60, ..), Pin in (61, .., 110, ..),
        // pin-state lines from 115, left-aligned.
        R"t(text 33,159 "001")t",
        R"t(text 68,159 "(04pin)")t",
        R"t(text 115,159 "  A01-B01  A02-B02  A03-B03  A04-B04  AGD-BGD")t",
        R"t(text 115,180 "")t",
        R"t(text 115,202 "")t",
        R"t(text 115,223 "")t",
        R"t(text 115,244 "")t",
        R"t(text 115,265 "")t",
        // Header labels from 23, "DevID:" from mid + 5.
        R"t(text 23,75 "DevName: VARK-u")t",
        R"t(text 23,96 "DevNO: ")t",
        R"t(text 302,96 "DevID:")t",
        R"t(text 23,117 "Note: ")t",
        // Footer, page number right-aligned to R below the table, title.
        R"t(text 23,286 "TestNO: ")t",
        R"t(text 302,286 "             2024-03-05  09:07:03")t",
        R"t(text 515,307 "Page 1/1    ")t",
        "font 2",
        R"t(text 262,28 "VARK-u  Report" font 2)t",
        "font 0",
        "end page",
        "pen deleted",
    };
    const std::vector<std::string> got = Transcript(0);
    for (std::size_t i = 0; i < std::max(got.size(), expected.size()); ++i) {
        EXPECT_EQ(i < got.size() ? got[i] : "(nothing)",
                  i < expected.size() ? expected[i] : "(nothing)")
            << "operation " << i;
    }
}

// The second page of a six-record report: one record, numbered on its own.
TEST_F(ReportTest, LastPageOperationByOperation) {
    state->config.charWidth = 5;
    PrintReport(Cables(6), hooks);
    ASSERT_EQ(state->Count(SurfaceOp::StartPage), 2u);
    const std::vector<std::string> got = Transcript(1);
    ASSERT_EQ(got.size(), 43u);
    EXPECT_EQ(got[2], "line 20,70 575,70");
    EXPECT_EQ(got[13], "line 20,302 575,302");
    EXPECT_EQ(got[14], "line 20,70 20,302");
    EXPECT_EQ(got[23], R"t(text 33,159 "006")t");
    EXPECT_EQ(got[24], R"t(text 68,159 "(06pin)")t");
    EXPECT_EQ(got[37], R"t(text 515,307 "Page 2/2    ")t");
    EXPECT_EQ(got[42], "pen deleted");
    // Page one is full: 36 rules, the footer at y34 .. y35.
    const std::vector<std::string> first = Transcript(0);
    EXPECT_EQ(first[1 + 36], "line 20,810 575,810");
    EXPECT_NE(std::find(first.begin(), first.end(), R"t(text 23,794 "TestNO: ")t"), first.end());
    EXPECT_NE(std::find(first.begin(), first.end(), R"t(text 515,815 "Page 1/2    ")t"),
              first.end());
}

TEST_F(ReportTest, TitleInTheLargeVariantThenBackToNormal) {
    PrintReport(Cables(1), hooks);
    const auto fonts = state->Of(SurfaceOp::CreateFont);
    ASSERT_EQ(fonts.size(), 4u);
    const auto texts = Texts(Pages()[0]);
    const Text* title = Find(texts, "VARK-u  Report");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->font, fonts[2].handle);
    EXPECT_EQ(title->x, 20 + (555 / 2 - 14 / 2));
    EXPECT_EQ(title->y, 20 + (40 / 2 - 25 / 2));
    for (const Text& t : texts) {
        if (&t != title) {
            EXPECT_EQ(t.font, fonts[0].handle) << t.text;
        }
    }
    EXPECT_EQ(state->Of(SurfaceOp::SelectFont).back().handle, fonts[0].handle);
}

// Five records a page, six lines each; the last page holds what is left, and
// line l of page p shows map line l mod 6 of record (30 p + l) div 6.
TEST_F(ReportTest, PaginationByCount) {
    for (const int count : {5, 6, 13, 100}) {
        state->calls.clear();
        const RecordBlock block = Cables(count);
        PrintReport(block, hooks);
        const auto pages = Pages();
        const int total = (count + 4) / 5;
        ASSERT_EQ(static_cast<int>(pages.size()), total) << count;
        for (int p = 0; p < total; ++p) {
            const int records = std::min(5, count - 5 * p);
            const int n = 6 * records;
            const auto texts = Texts(pages[p]);
            const auto lines = Lines(pages[p]);
            ASSERT_EQ(static_cast<int>(lines.size()), n + 6 + 6) << count << " page " << p;
            // The last horizontal rule closes the footer; the borders reach it.
            const int bottom = MakeReportLayout(595, 842).y[n + 5];
            EXPECT_EQ(lines[n + 5], (Line{20, bottom, 575, bottom}));
            EXPECT_EQ(lines[n + 6], (Line{20, 70, 20, bottom}));
            EXPECT_EQ(lines.back(), (Line{575, 70, 575, bottom}));
            const std::string number =
                "Page " + std::to_string(p + 1) + "/" + std::to_string(total) + "    ";
            EXPECT_NE(Find(texts, number), nullptr) << number;

            std::vector<std::string> want;
            for (int l = 0; l < n; ++l) {
                const int r = (30 * p + l) / 6;
                const PinMapRow row = BuildPinMapRow(block.slots[r], r);
                want.push_back(l % 6 < static_cast<int>(row.lines.size()) ? row.lines[l % 6] : "");
                if (l % 6 == 0) {
                    EXPECT_NE(Find(texts, Id(r)), nullptr) << Id(r);
                    EXPECT_NE(Find(texts, row.pin), nullptr) << row.pin;
                }
            }
            EXPECT_EQ(StateCells(texts), want) << count << " page " << p;
        }
        EXPECT_EQ(state->Count(SurfaceOp::StartDoc), 1u);
        EXPECT_EQ(state->Count(SurfaceOp::EndDoc), 1u);
    }
}

TEST_F(ReportTest, CountAboveTheSlotsPrintsTheHundredSlots) {
    RecordBlock block = Cables(100);
    block.count = 150;
    PrintReport(block, hooks);
    const auto pages = Pages();
    ASSERT_EQ(pages.size(), 20u);
    const auto last = Texts(pages.back());
    EXPECT_NE(Find(last, "100"), nullptr);
    EXPECT_EQ(Find(last, "101"), nullptr);
    EXPECT_NE(Find(last, "Page 20/20    "), nullptr);
}

TEST_F(ReportTest, OnePenOfThreePixelsPerPage) {
    PrintReport(Cables(11), hooks);  // three pages
    const auto pens = state->Of(SurfaceOp::CreatePen);
    ASSERT_EQ(pens.size(), 3u);
    for (const auto& p : pens) {
        EXPECT_EQ(p.a, 3);
        EXPECT_EQ(p.b, 0);
    }
    // Created after the page starts, deleted after it ends, used by every rule.
    int page = -1;
    bool penLive = false;
    PenHandle pen = 0;
    for (const SurfaceCall& c : state->calls) {
        switch (c.op) {
            case SurfaceOp::StartPage:
                ++page;
                EXPECT_FALSE(penLive);
                break;
            case SurfaceOp::CreatePen:
                penLive = true;
                pen = c.handle;
                EXPECT_EQ(pen, pens[static_cast<std::size_t>(page)].handle);
                break;
            case SurfaceOp::LineTo:
                EXPECT_TRUE(penLive);
                EXPECT_EQ(c.handle, pen);
                break;
            case SurfaceOp::EndPage:
                EXPECT_TRUE(penLive);
                break;
            case SurfaceOp::DeletePen:
                EXPECT_EQ(c.handle, pen);
                penLive = false;
                break;
            default:
                break;
        }
    }
    EXPECT_FALSE(penLive);
    EXPECT_EQ(state->Count(SurfaceOp::DeletePen), 3u);
    // The engine went too: its fonts and then its printer.
    EXPECT_EQ(state->Count(SurfaceOp::DeleteFont), 4u);
    EXPECT_EQ(state->calls.back().op, SurfaceOp::Release);
}

TEST_F(ReportTest, OutOfMemoryAbandonsTheReportAndReleasesEverything) {
    int reads = 0;
    hooks.clock = [&reads]() -> std::optional<std::tm> {
        if (++reads == 2) {
            throw std::bad_alloc();  // while page two builds its footer
        }
        return std::tm{};
    };
    EXPECT_NO_THROW(PrintReport(Cables(12), hooks));
    EXPECT_EQ(state->Count(SurfaceOp::StartPage), 2u);  // stopped inside page two
    EXPECT_EQ(state->Count(SurfaceOp::EndPage), 1u);
    EXPECT_EQ(state->Count(SurfaceOp::EndDoc), 0u);
    EXPECT_EQ(state->Count(SurfaceOp::CreatePen), state->Count(SurfaceOp::DeletePen));
    EXPECT_EQ(state->Count(SurfaceOp::DeleteFont), 4u);
    EXPECT_EQ(log->destroyed, 1);
    EXPECT_EQ(state->calls.back().op, SurfaceOp::Release);
}

// The list has six map columns; a record with more map lines shows its first
// six, on paper as on screen.
TEST_F(ReportTest, MapLinesPastTheSixthAreNotPrinted) {
    RecordBlock block;
    ClearBlock(block);
    block.count = 2;
    RecordBuilder wide(40);
    for (int a = 1; a <= 40; ++a) {
        for (int b = a; b <= 40; ++b) {
            wide.Connect(a, b);  // forty groups of different lengths
        }
    }
    block.slots[0] = wide.Build();
    block.slots[1] = RecordBuilder(2).Straight().Build();
    const PinMapRow row = BuildPinMapRow(block.slots[0], 0);
    ASSERT_GT(row.lines.size(), 6u);
    PrintReport(block, hooks);
    const auto cells = StateCells(Texts(Pages()[0]));
    ASSERT_EQ(cells.size(), 12u);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(cells[k], row.lines[k]) << k;
    }
    EXPECT_EQ(cells[6], "  A01-B01  A02-B02  AGD");  // the next record, on its own lines
}

TEST_F(ReportTest, PinMapRowsOnPaper) {
    RecordBlock block;
    ClearBlock(block);
    block.count = 4;
    block.slots[0] = RecordBuilder(40).Straight().Grounds().Build();
    block.slots[1].bytes[0] = kPinCountError;
    block.slots[2] = RecordBuilder(4).Straight().Build();
    block.slots[3].bytes[0] = 0;      // empty slot
    block.slots[3].bytes[10] = 0xFF;  // whatever else it holds
    PrintReport(block, hooks);
    const auto texts = Texts(Pages()[0]);
    const auto cells = StateCells(texts);
    ASSERT_EQ(cells.size(), 24u);
    // The 40-pin cable fills all six cells: seven groups, the last six.
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(cells[k].size(), k < 5 ? 63u : 54u) << k;
    }
    EXPECT_EQ(cells[0].substr(0, 18), "  A01-B01  A02-B02");
    EXPECT_EQ(cells[5].substr(cells[5].size() - 9), "  AGD-BGD");
    for (int k = 6; k < 12; ++k) {
        EXPECT_EQ(cells[k], "") << k;  // "(Err)" still takes six lines
    }
    EXPECT_EQ(cells[12], "  A01-B01  A02-B02  A03-B03  A04-B04  AGD");
    for (int k = 18; k < 24; ++k) {
        EXPECT_EQ(cells[k], "") << k;  // and so does "(Empty)"
    }
    for (const char* s : {"001", "(40pin)", "002", "(Err)", "003", "(04pin)", "004", "(Empty)"}) {
        EXPECT_NE(Find(texts, s), nullptr) << s;
    }
}

TEST_F(ReportTest, EachPageReadsTheClockAgain) {
    int second = 58;
    int reads = 0;
    hooks.clock = [&] {
        ++reads;
        std::tm tm{};
        tm.tm_year = 126;
        tm.tm_mday = 1;
        tm.tm_hour = 23;
        tm.tm_min = 59;
        tm.tm_sec = second++;
        return std::optional<std::tm>(tm);
    };
    PrintReport(Cables(6), hooks);
    EXPECT_EQ(reads, 2);
    const auto pages = Pages();
    ASSERT_EQ(pages.size(), 2u);
    const std::string blanks(13, ' ');
    EXPECT_NE(Find(Texts(pages[0]), blanks + "2026-01-01  23:59:58"), nullptr);
    EXPECT_NE(Find(Texts(pages[1]), blanks + "2026-01-01  23:59:59"), nullptr);

    // No time to be had: the blanks alone.
    state->calls.clear();
    hooks.clock = [] { return std::optional<std::tm>(); };
    PrintReport(Cables(1), hooks);
    EXPECT_NE(Find(Texts(Pages()[0]), blanks), nullptr);
}

TEST_F(ReportTest, ScaledToTheDeviceAtSixHundredDpi) {
    state->config = {};  // 600 dpi A4: 4961 x 7016 pixels, 595 x 842 points
    PrintReport(Cables(1), hooks);
    const auto lines = Lines(Pages()[0]);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], (Line{167, 583, 4792, 583}));  // (20,70) to (575,70)
    EXPECT_EQ(lines[6], (Line{167, MulDiv(196, 600, 72), 4792, MulDiv(196, 600, 72)}));
}

}  // namespace
}  // namespace vark
