// The lot report as vark-cli writes it, read back from the PDF: its text and
// its pages; and the files it must not replace.
#include <gtest/gtest.h>

#include "records/sample_records.h"
#include "testing/process.h"
#include "tests/tools/archive_cli_fixture.h"

namespace vark {
namespace {

using test::ProductionRun;
using test::Ran;
using test::Read;
namespace fs = std::filesystem;

using LotReportCli = test::ArchiveCli;

TEST_F(LotReportCli, TheLotReportReadBackFromItsPdf) {
    SaveBlock("run.vku", ProductionRun(10));
    SaveBlock("more.vku", ProductionRun(11));
    ASSERT_EQ(Cli("archive golden set --part H-10 run.vku --by quinn").status, 0);
    ASSERT_EQ(Cli("archive import run.vku --lot 'LOT 7' --part H-10 --operator ann").status, 0);
    ASSERT_EQ(Cli("archive import more.vku --lot 'LOT 7' --part H-10 --operator bob").status, 0);
    Ran r = Cli("archive report --lot 'LOT 7' -o lot.pdf");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "report of lot LOT 7 written to lot.pdf\n");
    const std::string pdf = (Dir() / "lot.pdf").string();
    const auto info = test::RunShell("pdfinfo " + test::ShellQuote(pdf));
    ASSERT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("\nPages:           2\n"), std::string::npos) << info.out;
    const auto text = test::RunShell("pdftotext " + test::ShellQuote(pdf) + " -");
    ASSERT_EQ(text.status, 0);
    auto has = [&](const std::string& s) {
        EXPECT_NE(text.out.find(s), std::string::npos) << s << "\n" << text.out;
    };
    for (const char* s :
         {"VARK-u Lot Report", "LOT 7", "H-10", "quinn", "ann, bob", "2 counted", "40", "28", "12",
          "70.0 %", "Failure causes", "20 causes in 12 failed records", "missing A03-B03",
          "other pin count 12", "Failed records (12)",
          "differs: missing A01-B01 A02-B02; extra A01-B02 A02-B01",
          "other pin count: reference 10, record 12", "Page 1/2", "Page 2/2"}) {
        has(s);
    }
    has("test 001 of " + (Dir() / "run.vku").string());

    // What it must not replace, and what it cannot find.
    const std::string records = SaveBlock("records.vku", ProductionRun(12));
    const std::string before = Read(records);
    r = Cli("archive report --lot 'LOT 7' -o records.vku");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "records.vku is a record file, not replaced (--force replaces it)\n");
    EXPECT_EQ(Read(records), before);
    fs::copy_file(ArchiveFile(), Dir() / "copy.sqlite3");
    r = Cli("archive report --lot 'LOT 7' -o copy.sqlite3");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "copy.sqlite3 is a database, not replaced (--force replaces it)\n");
    r = Cli("archive report --lot 'LOT 7' --force -o " + ArchiveFile().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ArchiveFile().string() + " is the archive, not replaced\n");
    EXPECT_EQ(Cli("archive check").status, 0);
    r = Cli("archive report --lot 'LOT 7' --force -o records.vku");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Read(records).rfind("%PDF", 0), 0u);
    r = Cli("archive report --lot 'LOT 9' -o nine.pdf");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "no run of lot \"LOT 9\" in the archive\n");
    EXPECT_FALSE(fs::exists(Dir() / "nine.pdf"));
    r = Cli("archive report --lot 'LOT 7' -o no/such/folder/lot.pdf");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write no/such/folder/lot.pdf: "), std::string::npos) << r.err;
    for (const char* bad : {"archive report -o x.pdf", "archive report --lot L",
                            "archive report --lot L -o x.pdf --page-size A5"}) {
        EXPECT_EQ(Cli(bad).status, 2) << bad;
    }
}

}  // namespace
}  // namespace vark
