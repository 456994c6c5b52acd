// vark-cli's golden references, yields, failure Paretos and lot reports as a
// user meets them: uploads from the simulator and imports tagged with a part
// compared with its golden reference at once, numbers counted by hand, the
// lot report read back from its PDF.
#include <gtest/gtest.h>

#include <sstream>

#include "records/record_file.h"
#include "records/sample_records.h"
#include "testing/process.h"
#include "testing/sim_process.h"
#include "tests/tools/archive_cli_fixture.h"

namespace vark {
namespace {

using test::ProductionRun;
using test::Ran;
using test::Read;
namespace fs = std::filesystem;

// Tab-separated lines without the columns named in `skip` (0-based).
std::vector<std::string> Fields(const std::string& text, std::initializer_list<int> skip) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string row;
        int i = 0;
        for (std::string f; std::getline(fields, f, '\t'); ++i) {
            if (std::find(skip.begin(), skip.end(), i) == skip.end()) {
                row += (row.empty() ? "" : "|") + f;
            }
        }
        out.push_back(row);
    }
    return out;
}

class StatisticsCli : public test::ArchiveCli {
  protected:
    // Times said in UTC, whatever the machine's zone.
    Ran Utc(const std::string& args) { return Cli(args, "TZ=UTC"); }
};

TEST_F(StatisticsCli, AGoldenReferencePerPartSetShownAndListed) {
    SaveBlock("run.vku", ProductionRun(1));
    Ran r = Cli("archive golden set --part H-10 run.vku:1 --by quinn --note 'first cable'");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string first = r.out.substr(17, 36);
    EXPECT_EQ(r.out, "golden reference " + first + " of part H-10 set: test 001 of " +
                         (Dir() / "run.vku").string() +
                         " (10 pins)\n  A01-B01 A02-B02 A03-B03 A04-B04 A05-B05 A06-B06 A07-B07 "
                         "A08-B08 A09-B09 A10-B10 AGD-BGD\n");
    // Not a cable to compare with, and not a change.
    r = Cli("archive golden set --part H-10 run.vku:18");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Test 018 of run.vku cannot be the reference: it is a record in error (pin count "
              "255).\n");
    r = Cli("archive golden set --part H-10 run.vku:21");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Test 021 is not in run.vku (20 records).\n");
    r = Cli("archive golden set --part H-10 run.vku:2");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is wired like that already"), std::string::npos) << r.err;
    r = Cli("archive golden set --part H-10 run.vku:5");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string second = r.out.substr(17, 36);
    EXPECT_NE(r.out.find("  A01-B01 A02-B02 A03 A04-B04"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("it supersedes golden reference " + first + ", set "), std::string::npos);
    EXPECT_NE(r.out.find(" by quinn at "), std::string::npos);

    r = Cli("archive golden show --part H-10");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("part: H-10\ngolden: " + second + "\nset: ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nsource: test 005 of "), std::string::npos);
    EXPECT_NE(r.out.find("\npins: 10\nconnections: A01-B01 A02-B02 A03 A04-B04"),
              std::string::npos);
    EXPECT_NE(r.out.find("\nsupersedes: " + first + ", set "), std::string::npos);
    r = Cli("archive golden list --format json");
    ASSERT_EQ(r.status, 0);
    EXPECT_LT(r.out.find(second), r.out.find(first));
    EXPECT_NE(r.out.find("\"supersededBy\": \"" + second + "\""), std::string::npos);
    EXPECT_NE(r.out.find("\"note\": \"first cable\""), std::string::npos);
    r = Cli("archive golden list --part H-11");
    EXPECT_EQ(r.out, "GOLDEN\tPART\tSET\tBY\tSTATION\tPINS\tSOURCE\tSTATE\n");
    r = Cli("archive golden show --part H-11");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "part H-11 has no golden reference\n");
    for (const char* bad :
         {"archive golden", "archive golden set run.vku", "archive golden set --part P",
          "archive golden set --part P x.vku:0", "archive golden show",
          "archive golden list --format xml", "archive golden drop --part H-10"}) {
        EXPECT_EQ(Cli(bad).status, 2) << bad;
    }
    EXPECT_EQ(Cli("archive golden set --part P missing.vku").status, 1);
}

TEST_F(StatisticsCli, AnUploadOfAPartIsComparedWithItsGoldenReferenceAtOnce) {
    SaveBlock("good.vku", ProductionRun(2));
    SaveBlock("upload.vku", ProductionRun(3));
    ASSERT_EQ(Cli("archive golden set --part H-10 good.vku --by quinn").status, 0);
    test::SimProcess sim({"--fast", "--file", (Dir() / "upload.vku").string()});
    Ran r = Cli("upload --port " + sim.device() + " --lot L1 --part H-10");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string run = RunIn(r.out);
    EXPECT_NE(r.out.find("\n  compared with golden reference of part H-10 (set "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(" by quinn): 14 same, 4 differs, 1 other pin count, 1 error\n"),
              std::string::npos)
        << r.out;
    r = Cli("archive show " + run);
    EXPECT_NE(r.out.find("\nreference: golden reference of part H-10"), std::string::npos);
    EXPECT_NE(r.out.find(": 14 same, 5 differ\ngolden: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\t10 pins\tA01-B01 A02-B02 A03 A04-B04 A05-B05 A06-B06 A07-B07 A08-B08 "
                         "A09-B09 A10-B10 AGD-BGD\tdiffers missing A03-B03\n"),
              std::string::npos)
        << r.out;

    // A bad cable made golden: most records disagree with it, which is said
    // and kept with the run.
    ASSERT_EQ(Cli("archive golden set --part BAD good.vku:5").status, 0);
    SaveBlock("again.vku", ProductionRun(4));
    test::SimProcess sim2({"--fast", "--file", (Dir() / "again.vku").string()});
    r = Cli("upload --port " + sim2.device() + " --part BAD");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string warning =
        "Warning: 14 of the 20 records are wired alike (first test 001) and unlike the "
        "reference: the reference itself may be the bad cable.";
    EXPECT_NE(r.out.find("\n  " + warning + "\n"), std::string::npos) << r.out;
    r = Cli("archive show " + RunIn(r.out));
    EXPECT_NE(r.out.find("\nwarning: " + warning + "\n"), std::string::npos) << r.out;
    r = Cli("archive list --format json --part BAD");
    EXPECT_NE(r.out.find("\"warning\": \"" + warning + "\""), std::string::npos) << r.out;

    // Without a part, or a part without a golden reference: not judged.
    SaveBlock("plain.vku", ProductionRun(5));
    r = Cli("archive import plain.vku --part NEW");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("compared"), std::string::npos) << r.out;
    EXPECT_EQ(Runs("--verdicts unjudged"), 1);
}

// Hand-counted: lot L1 holds an import and an upload of the production run
// (14 passed, 6 failed each) and a repeat of the upload; lot L2 holds a run
// without a part (not judged) and a voided one.
TEST_F(StatisticsCli, YieldsAndFailuresCountedByHand) {
    SaveBlock("run.vku", ProductionRun(6));
    SaveBlock("up.vku", ProductionRun(7));
    SaveBlock("sample.vku", SampleBlock());
    SaveBlock("void.vku", ProductionRun(8));
    ASSERT_EQ(Cli("archive golden set --part H-10 run.vku").status, 0);
    ASSERT_EQ(Cli("archive import run.vku --lot L1 --part H-10").status, 0);
    test::SimProcess sim({"--fast", "--file", (Dir() / "up.vku").string()});
    ASSERT_EQ(Cli("upload --port " + sim.device() + " --lot L1 --part H-10").status, 0);
    const Ran repeat = Cli("upload --port " + sim.device() + " --lot L1 --part H-10");
    ASSERT_NE(repeat.out.find("a repeat of run"), std::string::npos);
    ASSERT_EQ(Cli("archive import sample.vku --lot L2").status, 0);
    const std::string voided = RunIn(Cli("archive import void.vku --lot L2 --part H-10").out);
    ASSERT_EQ(Cli("archive void " + voided + " --why 'wrong cable'").status, 0);
    const int notJudged = SampleBlock().count - 1;  // its empty slot does not count
    const std::string nj = std::to_string(notJudged);

    Ran r = Utc("archive yield");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Fields(r.out, {1, 2}),
              (std::vector<std::string>{"LOT|RUNS|COUNTED|PASSED|FAILED|NOT JUDGED|YIELD",
                                        "L1|2|40|28|12|0|70.0 %", "L2|1|0|0|0|" + nj + "|-",
                                        "all|3|40|28|12|" + nj + "|70.0 %"}));
    r = Utc("archive yield --by part");
    EXPECT_EQ(Fields(r.out, {1, 2}),
              (std::vector<std::string>{"PART|RUNS|COUNTED|PASSED|FAILED|NOT JUDGED|YIELD",
                                        "(none)|1|0|0|0|" + nj + "|-", "H-10|2|40|28|12|0|70.0 %",
                                        "all|3|40|28|12|" + nj + "|70.0 %"}));
    r = Utc("archive yield --lot L1 --format csv");
    ASSERT_EQ(r.status, 0);
    const std::string csvHead =
        "\"Lot\",\"First\",\"Last\",\"Runs\",\"Counted\",\"Passed\",\"Failed\",\"Not "
        "judged\",\"Yield\"\r\n";
    EXPECT_EQ(r.out.rfind(csvHead, 0), 0u) << r.out;
    EXPECT_NE(r.out.find("Z\",\"2\",\"40\",\"28\",\"12\",\"0\",\"0.7000\"\r\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
    r = Utc("archive yield --by station --format json");
    EXPECT_NE(r.out.find("\"by\": \"station\""), std::string::npos);
    EXPECT_NE(r.out.find("\"total\": {\"first\": \""), std::string::npos);
    EXPECT_NE(r.out.find("\"runs\": 3, \"counted\": 40, \"passed\": 28, \"failed\": 12, "
                         "\"notJudged\": " +
                         nj + ", \"yield\": 0.7000}"),
              std::string::npos)
        << r.out;
    // Narrowed to nothing: a total of nothing, and no yield.
    r = Utc("archive yield --since 2999-01-01 --format json");
    EXPECT_NE(r.out.find("\"groups\": [],"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"yield\": null}"), std::string::npos);

    // Each of the ten causes twice, in two failed records of each run.
    r = Cli("archive failures --lot L1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "CAUSE\tCOUNT\tSHARE\tCUMULATIVE\n"
              "error\t2\t10.0 %\t10.0 %\n"
              "extra A01-B02\t2\t10.0 %\t20.0 %\n"
              "extra A02-B01\t2\t10.0 %\t30.0 %\n"
              "extra A06-B07\t2\t10.0 %\t40.0 %\n"
              "extra A07-B06\t2\t10.0 %\t50.0 %\n"
              "missing A01-B01\t2\t10.0 %\t60.0 %\n"
              "missing A02-B02\t2\t10.0 %\t70.0 %\n"
              "missing A03-B03\t2\t10.0 %\t80.0 %\n"
              "missing AGD-BGD\t2\t10.0 %\t90.0 %\n"
              "other pin count 12\t2\t10.0 %\t100.0 %\n"
              "20 causes in 12 failed records\n");
    r = Cli("archive failures --format csv --part H-10");
    EXPECT_EQ(r.out.rfind("\"Cause\",\"Kind\",\"Count\",\"Share\",\"Cumulative\"\r\n"
                          "\"error\",\"error\",\"2\",\"0.1000\",\"0.1000\"\r\n",
                          0),
              0u)
        << r.out;
    r = Cli("archive failures --format json --lot L2");
    EXPECT_EQ(r.out, "{\n  \"failedRecords\": 0,\n  \"causes\": 0,\n  \"rows\": []\n}\n");

    for (const char* bad :
         {"archive yield --by week", "archive yield --since yesterday", "archive yield x",
          "archive failures --by lot", "archive failures --format xml", "archive yield --lot"}) {
        EXPECT_EQ(Cli(bad).status, 2) << bad;
    }
}

TEST_F(StatisticsCli, DaysAreLocalDays) {
    SaveBlock("run.vku", ProductionRun(9));
    ASSERT_EQ(Cli("archive golden set --part H-10 run.vku").status, 0);
    ASSERT_EQ(Cli("archive import run.vku --lot L1 --part H-10").status, 0);
    const Ran utc = Utc("archive yield --by day");
    ASSERT_EQ(utc.status, 0);
    EXPECT_EQ(utc.out.rfind("DAY\tFIRST\t", 0), 0u);
    const std::string day = utc.out.substr(utc.out.find('\n') + 1, 10);
    const std::string listed = Cli("archive list --format json").out;
    const std::string started = "\"started\": \"";
    ASSERT_NE(listed.find(started), std::string::npos);
    EXPECT_EQ(day, listed.substr(listed.find(started) + started.size(), 10));
    // Fourteen hours on, the same moment is on another day, one way or the other.
    const Ran east = Cli("archive yield --by day", "TZ=XXX-14");
    const Ran west = Cli("archive yield --by day", "TZ=XXX+10");
    EXPECT_NE(east.out.substr(east.out.find('\n') + 1, 10),
              west.out.substr(west.out.find('\n') + 1, 10));
}

}  // namespace
}  // namespace vark
