#include "report/test_report.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// A report drawn on a 595 x 842 point page at one pixel per point, so every
// recorded coordinate is the report's own point value.
class ReportTest : public ::testing::Test {
  protected:
    std::shared_ptr<RecordingState> state = std::make_shared<RecordingState>();
    std::shared_ptr<ChooserLog> log = std::make_shared<ChooserLog>();
    std::vector<std::string> messages;
    std::vector<std::pair<int, int>> cellsRead;
    ReportSources src;

    void SetUp() override {
        state->config = {.dpiX = 72, .dpiY = 72, .horzRes = 595, .vertRes = 842, .charWidth = 1};
        src.cell = [this](int r, int c) {
            cellsRead.emplace_back(r, c);
            return "r" + std::to_string(r) + "c" + std::to_string(c);
        };
        src.message = [this](const std::string& m) { messages.push_back(m); };
        src.printDialog = MakeFake(state, log);
        src.clock = [] {
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
}

TEST_F(ReportTest, NoRecordsOnlySaysSo) {
    src.count = 0;
    PrintReport(src);
    EXPECT_EQ(messages, (std::vector<std::string>{"\n    No Data to print!    \n"}));
    EXPECT_EQ(log->made, 0);
    EXPECT_TRUE(state->calls.empty());
    EXPECT_TRUE(cellsRead.empty());
}

TEST_F(ReportTest, CancelPrintsNothingAndSaysNothing) {
    src.count = 7;
    src.printDialog = MakeFake(state, log, /*cancel=*/true);
    PrintReport(src);
    EXPECT_EQ(log->chosen, 1);
    EXPECT_EQ(log->destroyed, 1);
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(state->calls.empty());
    EXPECT_TRUE(cellsRead.empty());
}

TEST_F(ReportTest, OneRecordPage) {
    src.count = 1;
    PrintReport(src);
    EXPECT_TRUE(messages.empty());
    const auto pages = Pages();
    ASSERT_EQ(pages.size(), 1u);
    const ReportLayout lay = MakeReportLayout(595, 842);
    const int* y = lay.y;

    std::vector<Line> expected;
    for (int i = 0; i <= 11; ++i) {
        expected.push_back({20, y[i], 575, y[i]});
    }
    expected.push_back({20, y[0], 20, y[11]});
    expected.push_back({297, y[1], 297, y[3]});
    expected.push_back({60, y[3], 60, y[10]});
    expected.push_back({110, y[3], 110, y[10]});
    expected.push_back({297, y[10], 297, y[11]});
    expected.push_back({575, y[0], 575, y[11]});
    EXPECT_EQ(Lines(pages[0]), expected);

    const auto texts = Texts(pages[0]);
    std::vector<std::string> order;
    for (const Text& t : texts) {
        order.push_back(t.text);
    }
    const std::string stamp = std::string(13, ' ') + "2024-03-05  09:07:03";
    EXPECT_EQ(order,
              (std::vector<std::string>{"ID", "Pin", "Pin State", "r0c0", "r0c1", "r0c2", "r0c3",
                                        "r0c4", "r0c5", "r0c6", "r0c7", "DevName: VARK-u",
                                        "DevNO: ", "DevID:", "Note: ", "TestNO: ", stamp,
                                        "Page 1/1    ", "VARK-u  Report"}));

    // Font height 10 at 72 dpi, one pixel per character.
    const Text* id = Find(texts, "r0c0");
    EXPECT_EQ(id->x, 21 + (39 / 2 - 4 / 2));
    EXPECT_EQ(id->y, y[4] + ((y[5] - y[4]) / 2 - 5));
    const Text* state5 = Find(texts, "r0c7");
    EXPECT_EQ(state5->x, 115);
    EXPECT_EQ(state5->y, y[9] + ((y[10] - y[9]) / 2 - 5));
    const Text* page = Find(texts, "Page 1/1    ");
    EXPECT_EQ(page->x, 110 + (575 - 110) - 12);
    EXPECT_EQ(page->y, y[11] + 10 - 5);
    const Text* footer = Find(texts, stamp);
    EXPECT_EQ(footer->x, 302);
    EXPECT_EQ(footer->y, y[10] + ((y[11] - y[10]) / 2 - 5));
    EXPECT_EQ(Find(texts, "DevID:")->x, 302);
    EXPECT_EQ(Find(texts, "DevName: VARK-u")->y, 70 + (21 / 2 - 5));
}

TEST_F(ReportTest, TitleInTheLargeVariantThenBackToNormal) {
    src.count = 1;
    PrintReport(src);
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

// Five records a page, six lines each; the last page holds what is left.
TEST_F(ReportTest, PaginationByCount) {
    for (const int count : {5, 6, 13, 100}) {
        state->calls.clear();
        cellsRead.clear();
        src.count = static_cast<std::uint8_t>(count);
        PrintReport(src);
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
            EXPECT_EQ(static_cast<int>(StateCells(texts).size()), n);
            const std::string number =
                "Page " + std::to_string(p + 1) + "/" + std::to_string(total) + "    ";
            EXPECT_NE(Find(texts, number), nullptr) << number;
            const std::string first = "r" + std::to_string(5 * p);
            const std::string last = "r" + std::to_string(5 * p + records - 1);
            EXPECT_EQ(StateCells(texts).front(), first + "c2");
            EXPECT_EQ(StateCells(texts).back(), last + "c7");
            EXPECT_NE(Find(texts, last + "c0"), nullptr);
        }
        // Every list cell of every record is read exactly once.
        std::set<std::pair<int, int>> read(cellsRead.begin(), cellsRead.end());
        EXPECT_EQ(read.size(), 8u * count);
        EXPECT_EQ(cellsRead.size(), 8u * count);
        EXPECT_EQ(state->Count(SurfaceOp::StartDoc), 1u);
        EXPECT_EQ(state->Count(SurfaceOp::EndDoc), 1u);
    }
    EXPECT_EQ(MakeReportLayout(595, 842).y[35], 810);
}

TEST_F(ReportTest, CountAboveTheListNeverReadsPastItsLastRow) {
    src.count = 150;
    PrintReport(src);
    EXPECT_EQ(Pages().size(), 20u);
    for (const auto& [r, c] : cellsRead) {
        ASSERT_LT(r, 100);
        ASSERT_LT(c, 8);
    }
}

TEST_F(ReportTest, OnePenOfThreePixelsPerPage) {
    src.count = 11;  // three pages
    PrintReport(src);
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
    src.count = 12;
    src.cell = [](int r, int c) -> std::string {
        if (r == 7 && c == 4) {
            throw std::bad_alloc();
        }
        return "x";
    };
    EXPECT_NO_THROW(PrintReport(src));
    EXPECT_EQ(state->Count(SurfaceOp::StartPage), 2u);  // stopped inside page two
    EXPECT_EQ(state->Count(SurfaceOp::EndDoc), 0u);
    EXPECT_EQ(state->Count(SurfaceOp::CreatePen), state->Count(SurfaceOp::DeletePen));
    EXPECT_EQ(state->Count(SurfaceOp::DeleteFont), 4u);
    EXPECT_EQ(log->destroyed, 1);
    EXPECT_EQ(state->calls.back().op, SurfaceOp::Release);
}

TEST_F(ReportTest, LongCellsAreCutAndMissingCellsPrintBlank) {
    src.count = 1;
    src.cell = [](int, int c) {
        if (c < 2) {
            return std::string(20, c == 0 ? 'i' : 'p');
        }
        return c == 2 ? std::string(120, 's') : std::string();
    };
    PrintReport(src);
    const auto texts = Texts(Pages()[0]);
    EXPECT_NE(Find(texts, std::string(15, 'i')), nullptr);
    EXPECT_NE(Find(texts, std::string(15, 'p')), nullptr);
    const auto cells = StateCells(texts);
    ASSERT_EQ(cells.size(), 6u);
    EXPECT_EQ(cells[0], std::string(100, 's'));
    for (int k = 1; k < 6; ++k) {
        EXPECT_EQ(cells[k], "");
    }
}

TEST_F(ReportTest, PinMapListCellsOnPaper) {
    RecordBlock block;
    ClearBlock(block);
    block.count = 3;
    block.slots[0] = RecordBuilder(40).Straight().Grounds().Build();
    block.slots[1].bytes[0] = kPinCountError;
    block.slots[2] = RecordBuilder(4).Straight().Build();
    const auto table = PinMapTable(block);
    src.count = block.count;
    src.cell = [&table](int r, int c) { return table.at(r).at(c); };
    PrintReport(src);
    const auto texts = Texts(Pages()[0]);
    const auto cells = StateCells(texts);
    ASSERT_EQ(cells.size(), 18u);
    // The 40-pin cable fills all six cells: seven groups, the last six.
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(cells[k], table[0][2 + k]) << k;
        EXPECT_EQ(cells[k].size(), k < 5 ? 63u : 54u) << k;
    }
    EXPECT_EQ(cells[5].substr(cells[5].size() - 9), "  AGD-BGD");
    for (int k = 6; k < 12; ++k) {
        EXPECT_EQ(cells[k], "") << k;  // "(Err)" still takes six lines
    }
    EXPECT_EQ(cells[12], "  A01-B01  A02-B02  A03-B03  A04-B04  AGD");
    EXPECT_NE(Find(texts, "(Err)"), nullptr);
    EXPECT_NE(Find(texts, "003"), nullptr);
    EXPECT_NE(Find(texts, "(40pin)"), nullptr);
}

TEST_F(ReportTest, EachPageReadsTheClockAgain) {
    src.count = 6;
    int second = 58;
    int reads = 0;
    src.clock = [&] {
        ++reads;
        std::tm tm{};
        tm.tm_year = 126;
        tm.tm_mday = 1;
        tm.tm_hour = 23;
        tm.tm_min = 59;
        tm.tm_sec = second++;
        return std::optional<std::tm>(tm);
    };
    PrintReport(src);
    EXPECT_EQ(reads, 2);
    const auto pages = Pages();
    ASSERT_EQ(pages.size(), 2u);
    const std::string blanks(13, ' ');
    EXPECT_NE(Find(Texts(pages[0]), blanks + "2026-01-01  23:59:58"), nullptr);
    EXPECT_NE(Find(Texts(pages[1]), blanks + "2026-01-01  23:59:59"), nullptr);

    // No time to be had: the blanks alone.
    state->calls.clear();
    src.clock = [] { return std::optional<std::tm>(); };
    src.count = 1;
    PrintReport(src);
    EXPECT_NE(Find(Texts(Pages()[0]), blanks), nullptr);
}

TEST_F(ReportTest, ScaledToTheDeviceAtSixHundredDpi) {
    state->config = {};  // 600 dpi A4: 4961 x 7016 pixels, 595 x 842 points
    src.count = 1;
    PrintReport(src);
    const auto lines = Lines(Pages()[0]);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], (Line{167, 583, 4792, 583}));  // (20,70) to (575,70)
    EXPECT_EQ(lines[6], (Line{167, MulDiv(196, 600, 72), 4792, MulDiv(196, 600, 72)}));
}

}  // namespace
}  // namespace vark
