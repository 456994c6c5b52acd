// The report through Qt into real PDF files, read back with poppler's tools.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFontInfo>
#include <QPrinter>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "records/pin_map.h"
#include "records/record_file.h"
#include "records/sample_records.h"
#include "report/qt_page_surface.h"
#include "report/record_report.h"
#include "testing/process.h"

namespace vark {
namespace {

namespace fs = std::filesystem;

// Runs `cmd` through the shell, standard error with standard output.
test::ProcessResult Shell(const std::string& cmd) {
    return test::RunShell(cmd + " 2>&1");
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) {
        out.push_back(w);
    }
    return out;
}

std::vector<std::string> SplitPages(const std::string& text) {
    std::vector<std::string> pages;
    std::size_t pos = 0;
    for (std::size_t ff; (ff = text.find('\f', pos)) != std::string::npos; pos = ff + 1) {
        pages.push_back(text.substr(pos, ff - pos));
    }
    return pages;
}

class QtReportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vark-report-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    static std::string Cli() { return VARK_CLI; }

    fs::path dir_;
};

TEST_F(QtReportTest, ArialResolvesToAMetricCompatibleFace) {
    LogicalFont lf;
    lf.height = -83;
    lf.weight = 400;
    lf.pitchAndFamily = kFixedPitch;
    lf.faceName = u"Arial";
    const QFont normal = QtPageSurface::ToQFont(lf);
    const QFontInfo info(normal);
    EXPECT_TRUE(info.family() == "Liberation Sans" || info.family() == "Arial")
        << info.family().toStdString();
    EXPECT_EQ(info.pixelSize(), 83);
    EXPECT_EQ(normal.weight(), QFont::Normal);
    EXPECT_FALSE(info.italic());
    lf.weight = 900;
    EXPECT_EQ(QtPageSurface::ToQFont(lf).weight(), QFont::Black);
}

TEST_F(QtReportTest, PdfPrinterCapabilities) {
    for (auto [size, w, h] : {std::tuple{PdfFileChooser::PageSize::A4, 4958, 7017},
                              std::tuple{PdfFileChooser::PageSize::Letter, 5100, 6600}}) {
        PdfFileChooser chooser(QString::fromStdString(Path("caps.pdf")), size);
        auto s = chooser.Choose();
        ASSERT_TRUE(s);
        EXPECT_EQ(s->DeviceCaps(DeviceCap::LogPixelsX), 600);
        EXPECT_EQ(s->DeviceCaps(DeviceCap::LogPixelsY), 600);
        EXPECT_EQ(s->DeviceCaps(DeviceCap::HorzRes), w);
        EXPECT_EQ(s->DeviceCaps(DeviceCap::VertRes), h);
        // Qt's A4 is 595 x 842 whole points, so the report sees the same page.
        EXPECT_EQ(MulDiv(w, 72, 600), size == PdfFileChooser::PageSize::A4 ? 595 : 612);
        EXPECT_EQ(MulDiv(h, 72, 600), size == PdfFileChooser::PageSize::A4 ? 842 : 792);
    }
    EXPECT_FALSE(PdfFileChooser(QString(), PdfFileChooser::PageSize::A4).Choose());
}

TEST_F(QtReportTest, TextExtentFollowsTheSelectedFont) {
    PdfFileChooser chooser(QString::fromStdString(Path("m.pdf")), PdfFileChooser::PageSize::A4);
    auto s = chooser.Choose();
    LogicalFont lf;
    lf.height = -83;
    lf.weight = 400;
    lf.faceName = u"Arial";
    const FontHandle small = s->CreateFont(lf);
    lf.height = -208;
    const FontHandle large = s->CreateFont(lf);
    s->SelectFont(small);
    const TextExtent a = s->MeasureText(u"VARK-u  Report");
    s->SelectFont(large);
    const TextExtent b = s->MeasureText(u"VARK-u  Report");
    EXPECT_GT(a.cx, 0);
    EXPECT_GE(a.cy, 83);
    EXPECT_NEAR(static_cast<double>(b.cx) / a.cx, 208.0 / 83.0, 0.05);
    // Liberation Sans is metric-compatible with Arial: "0" advances 0.556 em.
    s->SelectFont(small);
    EXPECT_NEAR(s->MeasureText(u"0000000000").cx, 10 * 0.556 * 83, 10);
    s->DeleteFont(small);
    s->DeleteFont(large);
}

// The command-line report of the sample file holds every list cell, the
// title and the page numbers, page by page in order.
TEST_F(QtReportTest, CliReportOfTheSampleFile) {
    const std::string sample = Path("sample.vku");
    const std::string pdf = Path("out.pdf");
    ASSERT_EQ(Shell(Cli() + " save-sample " + sample).status, 0);
    const test::ProcessResult run = Shell("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                          Cli() + " report " + sample + " -o " + pdf);
    ASSERT_EQ(run.status, 0) << run.out;

    RecordBlock block;
    ClearBlock(block);
    ASSERT_EQ(ReadRecordFile(sample, block), FileStatus::Ok);
    const auto table = PinMapTable(block);
    const int pages = (static_cast<int>(table.size()) + 4) / 5;

    const test::ProcessResult text = Shell("pdftotext -layout " + pdf + " -");
    ASSERT_EQ(text.status, 0);
    const auto pageTexts = SplitPages(text.out);
    ASSERT_EQ(static_cast<int>(pageTexts.size()), pages);
    const std::regex date(R"(\d{4}-\d\d-\d\d)"), time(R"(\d\d:\d\d:\d\d)");
    for (int p = 0; p < pages; ++p) {
        std::vector<std::string> expected = {"VARK-u", "Report", "DevName:", "VARK-u",
                                             "DevNO:", "DevID:", "Note:",    "ID",
                                             "Pin",    "Pin",    "State"};
        for (std::size_t r = 5 * p; r < table.size() && r < 5u * (p + 1); ++r) {
            for (const std::string& cell : table[r]) {
                for (const std::string& w : Words(cell)) {
                    expected.push_back(w);
                }
            }
        }
        const std::vector<std::string> got = Words(pageTexts[p]);
        ASSERT_EQ(got.size(), expected.size() + 5) << pageTexts[p];
        EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + expected.size()), expected)
            << "page " << p + 1;
        const std::size_t f = expected.size();
        EXPECT_EQ(got[f], "TestNO:");
        EXPECT_TRUE(std::regex_match(got[f + 1], date)) << got[f + 1];
        EXPECT_TRUE(std::regex_match(got[f + 2], time)) << got[f + 2];
        EXPECT_EQ(got[f + 3], "Page");
        EXPECT_EQ(got[f + 4], std::to_string(p + 1) + "/" + std::to_string(pages));
    }

    const test::ProcessResult fonts = Shell("pdffonts " + pdf);
    EXPECT_NE(fonts.out.find("LiberationSans"), std::string::npos) << fonts.out;
    const test::ProcessResult info = Shell("pdfinfo " + pdf);
    EXPECT_NE(info.out.find("595 x 842"), std::string::npos) << info.out;
}

// Where the words land: the title centred between the margins, every text
// inside its band. Word boxes are in points from the top of the sheet.
TEST_F(QtReportTest, TextSitsInsideItsBands) {
    RecordBlock block;
    ClearBlock(block);
    block.count = 1;
    block.slots[0] = RecordBuilder(4).Straight().Grounds().Build();
    const std::string file = Path("one.vku");
    ASSERT_EQ(WriteRecordFile(file, block), FileStatus::Ok);
    const std::string pdf = Path("one.pdf");
    ASSERT_EQ(Shell(Cli() + " report " + file + " -o " + pdf).status, 0);
    const test::ProcessResult html = Shell("pdftotext -bbox " + pdf + " -");
    ASSERT_EQ(html.status, 0);

    struct Box {
        double x0, y0, x1, y1;
    };
    std::map<std::string, Box> boxes;
    const std::regex word(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    for (auto it = std::sregex_iterator(html.out.begin(), html.out.end(), word);
         it != std::sregex_iterator(); ++it) {
        boxes.emplace((*it)[5].str(), Box{std::stod((*it)[1]), std::stod((*it)[2]),
                                          std::stod((*it)[3]), std::stod((*it)[4])});
    }
    ASSERT_TRUE(boxes.count("Report") && boxes.count("DevName:") && boxes.count("001"));
    const ReportLayout lay = MakeReportLayout(595, 842);
    const Box vark = boxes.at("VARK-u");
    const Box report = boxes.at("Report");
    EXPECT_NEAR((vark.x0 + report.x1) / 2, (20 + 575) / 2.0, 2.0);
    EXPECT_GE(vark.y0, 20);
    EXPECT_LE(vark.y1, 60);
    auto inBand = [&](const std::string& w, int top, int bottom) {
        ASSERT_TRUE(boxes.count(w)) << w;
        EXPECT_GE(boxes.at(w).y0, top) << w;
        EXPECT_LE(boxes.at(w).y1, bottom) << w;
    };
    inBand("DevName:", lay.y[0], lay.y[1]);
    inBand("DevID:", lay.y[1], lay.y[2]);
    inBand("State", lay.y[3], lay.y[4]);
    inBand("001", lay.y[4], lay.y[5]);
    inBand("(04pin)", lay.y[4], lay.y[5]);
    inBand("A01-B01", lay.y[4], lay.y[5]);
    inBand("TestNO:", lay.y[10], lay.y[11]);
    inBand("1/1", lay.y[11], lay.y[11] + 20);
    EXPECT_GE(boxes.at("001").x0, 21);
    EXPECT_LE(boxes.at("001").x1, 60);
    EXPECT_NEAR(boxes.at("A01-B01").x0, 115 + 2 * 2.78, 1.0);  // two leading blanks
    EXPECT_LE(boxes.at("1/1").x1, 575);
}

TEST_F(QtReportTest, CliReportOptionsAndFailures) {
    RecordBlock block;
    ClearBlock(block);
    const std::string empty = Path("empty.vku");
    ASSERT_EQ(WriteRecordFile(empty, block), FileStatus::Ok);
    const std::string pdf = Path("none.pdf");
    test::ProcessResult run = Shell(Cli() + " report " + empty + " -o " + pdf);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("No Data to print!"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(pdf));

    const std::string sample = Path("s.vku");
    ASSERT_EQ(WriteRecordFile(sample, SampleBlock()), FileStatus::Ok);
    run = Shell(Cli() + " report " + sample + " -o " + Path("no/such/dir/x.pdf"));
    EXPECT_EQ(run.status, 1) << run.out;

    run = Shell(Cli() + " report " + sample + " -o " + Path("letter.pdf") + " --page-size Letter");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(Shell("pdfinfo " + Path("letter.pdf")).out.find("612 x 792"), std::string::npos);

    EXPECT_EQ(Shell(Cli() + " report " + sample).status, 2);
    EXPECT_EQ(Shell(Cli() + " report " + sample + " -o x.pdf --page-size A5").status, 2);
    run = Shell(Cli() + " report " + Path("missing.vku") + " -o " + Path("m.pdf"));
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(fs::exists(Path("m.pdf")));
}

}  // namespace
}  // namespace vark
