// vark-cli compare and groups: outputs and exit statuses a script gates on.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "records/record_file.h"
#include "records/sample_records.h"
#include "testing/process.h"
#include "tests/support/new_process.h"
#include "tests/tools/cli_test_support.h"

namespace vark {
namespace {

class CliCompare : public CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        run_ = Write("run.vku", ProductionRunBlock());
    }

    std::string Write(const std::string& name, const RecordBlock& block) {
        const std::string path = (dir_ / name).string();
        EXPECT_EQ(WriteRecordFile(path, block), FileStatus::Ok);
        return path;
    }

    // A block of `count` copies of one record.
    static RecordBlock Copies(const TestRecord& rec, int count) {
        RecordBlock block;
        ClearBlock(block);
        block.count = static_cast<std::uint8_t>(count);
        for (int d = 0; d < count; ++d) {
            block.slots[d] = rec;
        }
        return block;
    }

    std::string run_;
};

TEST_F(CliCompare, TextListsEveryRecordThenTheSummary) {
    const CliRun r = Cli("compare " + run_ + " --reference 1");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "001 same (reference)\n002 same\n003 same\n004 same\n"
              "005 differs: missing A03-B03\n006 same\n007 same\n008 same\n"
              "009 differs: extra A06-B07 A07-B06\n010 same\n011 same\n012 same\n"
              "013 differs: missing A01-B01 A02-B02; extra A01-B02 A02-B01\n014 same\n015 same\n"
              "016 differs: missing AGD-BGD\n017 same\n018 error\n019 same\n"
              "020 other pin count: reference 10, record 12\n"
              "14 same, 4 differs, 1 other pin count, 1 error\n");

    // Every record alike: status 0, for a script or a production line.
    const std::string good = Write("good.vku", Copies(RecordBuilder(3).Straight().Build(), 3));
    const CliRun ok = Cli("compare --reference=2 " + good);
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, "001 same\n002 same (reference)\n003 same\n3 same\n");
}

TEST_F(CliCompare, GoldenFileWithAndWithoutATestNumber) {
    RecordBlock golden = Copies(RecordBuilder(10).Straight().Grounds().Build(), 2);
    golden.slots[1] = RecordBuilder(10).Straight().Build();  // grounds open
    const std::string g = Write("gold.vku", golden);

    CliRun r = Cli("compare " + run_ + " --golden " + g);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out.substr(0, 9), "001 same\n");  // no "(reference)": it is not in FILE
    EXPECT_NE(r.out.find("\n016 differs: missing AGD-BGD\n"), std::string::npos);

    // Test 2 of the golden file has open grounds: most records disagree.
    r = Cli("compare " + run_ + " --golden " + g + ":2");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out.find("001 differs: extra AGD-BGD\n"), 0u);
    EXPECT_NE(r.out.find("\n016 same\n"), std::string::npos);
    EXPECT_NE(r.out.find("1 same, 17 differs, 1 other pin count, 1 error\nWarning: 14 of the 20 "
                         "records are wired alike (first test 001) and unlike the reference"),
              std::string::npos)
        << r.out;

    // A colon not followed by a number is part of the name; of several, the
    // last one may bring the number.
    std::filesystem::copy_file(g, dir_ / "a:b.vku");
    r = Cli("compare " + run_ + " --golden " + (dir_ / "a:b.vku").string());
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("14 same"), std::string::npos);
    r = Cli("compare " + run_ + " --golden " + (dir_ / "a:b.vku").string() + ":2");
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(r.out.find("001 differs: extra AGD-BGD\n"), 0u);
    r = Cli("compare " + run_ + " --golden " + g + ":");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Open file failed!\n");

    // The highest test number is a number like any other.
    r = Cli("compare " + run_ + " --golden " + g + ":100");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Test 100 is not in " + g + " (2 records).\n");
}

TEST_F(CliCompare, OutputThatCannotBeWrittenIsAFailure) {
    // Not "all same" (0) nor "some differ" (3): the result never arrived.
    for (const std::string format : {"text", "csv", "json"}) {
        const std::string err = (dir_ / "err").string();
        EXPECT_EQ(test::RunProgram(
                      {VARK_CLI_PATH, "compare", run_, "--reference", "1", "--format", format}, {},
                      {"/dev/full", err}),
                  1)
            << format;
        EXPECT_NE(Slurp(err).find("cannot write standard output"), std::string::npos) << format;
    }
    EXPECT_EQ(test::RunProgram({VARK_CLI_PATH, "groups", run_}, {}, {"/dev/full", "/dev/null"}), 1);
}

TEST_F(CliCompare, JsonAndCsv) {
    const std::string two = Write("two.vku", [] {
        RecordBlock b;
        ClearBlock(b);
        b.count = 3;
        b.slots[0] = RecordBuilder(4).Straight().Grounds().Build();
        b.slots[1] = RecordBuilder(4).Straight().Connect(1, 2).ToBGround(4).Build();
        return b;
    }());
    CliRun r = Cli("compare " + two + " --reference 1 --format json");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out,
              "{\n  \"reference\": {\"file\": \"" + two +
                  "\", \"id\": \"001\", \"pinCount\": 4},\n  \"records\": [\n"
                  "    {\"id\": \"001\", \"verdict\": \"same\", \"pinCount\": 4, \"missing\": [], "
                  "\"extra\": []},\n"
                  "    {\"id\": \"002\", \"verdict\": \"differs\", \"pinCount\": 4, \"missing\": "
                  "[\"AGD-BGD\"], \"extra\": [\"A01-B02\", \"A04-BGD\"]},\n"
                  "    {\"id\": \"003\", \"verdict\": \"empty\", \"pinCount\": 0, \"missing\": [], "
                  "\"extra\": []}\n  ],\n"
                  "  \"summary\": {\"same\": 1, \"differs\": 1, \"pin-count\": 0, \"error\": 0, "
                  "\"empty\": 1}\n}\n");

    r = Cli("compare " + run_ + " --reference 13 --format=json");
    EXPECT_NE(r.out.find("\n  \"warning\": \"Warning: 14 of the 20 records"), std::string::npos);

    r = Cli("compare " + two + " --format csv --reference 1");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out,
              "\"ID\",\"Verdict\",\"Missing\",\"Extra\"\r\n\"001\",\"same\",\"\",\"\"\r\n"
              "\"002\",\"differs\",\"AGD-BGD\",\"A01-B02 A04-BGD\"\r\n"
              "\"003\",\"empty\",\"\",\"\"\r\n");
    EXPECT_EQ(r.err, "");
    // The table has no room for the warning: it goes to standard error.
    r = Cli("compare " + run_ + " --format csv --reference 5");
    EXPECT_NE(r.err.find("Warning: 14 of the 20"), std::string::npos);
}

TEST_F(CliCompare, JsonStaysValidForFileNamesThatAreNoUtf8) {
    // A stray byte, a cut-off sequence, a surrogate's encoding, then good text.
    const std::string name = "run-\xff\xc3(\xe2\x82x\xed\xa0\x80\xc3\xa9.vku";
    const std::string file = Write(name, ProductionRunBlock());
    const std::string shown =
        (dir_ / "").string() + "run-\uFFFD\uFFFD(\uFFFDx\uFFFD\uFFFD\uFFFD\u00e9.vku";
    std::string hex;
    for (unsigned char ch : file) {
        char buf[3];
        std::snprintf(buf, sizeof buf, "%02x", ch);
        hex += buf;
    }
    const CliRun r = Cli("compare '" + file + "' --reference 1 --format json");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out.rfind("{\n  \"reference\": {\"file\": \"" + shown + "\", \"fileBytes\": \"" +
                              hex + "\", \"id\": \"001\"",
                          0),
              0u)
        << r.out;
    // A strict reader takes it, and the bytes lead back to the file.
    std::ofstream(dir_ / "out.json", std::ios::binary) << r.out;
    const test::ProcessResult check = test::RunShell(
        "python3 -c 'import json, sys; d = json.load(open(sys.argv[1], \"rb\")); "
        "sys.stdout.buffer.write(bytes.fromhex(d[\"reference\"][\"fileBytes\"]))' " +
        (dir_ / "out.json").string() + " 2>&1");
    EXPECT_EQ(check.out, file);

    // A name that is UTF-8 has no second field.
    const std::string good = Write("gut-\xc3\xa9.vku", ProductionRunBlock());
    const CliRun plain = Cli("compare '" + good + "' --reference 1 --format json");
    EXPECT_NE(plain.out.find("\"file\": \"" + good + "\", \"id\""), std::string::npos) << plain.out;
}

TEST_F(CliCompare, ReferencesThatCannotServeAndFilesThatCannotBeRead) {
    CliRun r = Cli("compare " + run_ + " --reference 100");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Test 100 is not in " + run_ + " (20 records).\n");
    r = Cli("compare " + run_ + " --reference 18");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "Test 018 cannot be the reference: it is a record in error (pin count 255).\n");
    r = Cli("compare " + run_ + " --reference 21");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Test 021 is not in " + run_ + " (20 records).\n");

    RecordBlock empty = Copies(RecordBuilder(0).Build(), 1);
    const std::string e = Write("empty.vku", empty);
    r = Cli("compare " + run_ + " --golden " + e);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Test 001 of " + e +
                         " cannot be the reference: it is an empty slot (no test stored).\n");

    r = Cli("compare " + (dir_ / "missing.vku").string() + " --reference 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Open file failed!\n");
    r = Cli("compare " + run_ + " --golden " + (dir_ / "missing.vku").string() + ":3");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Open file failed!\n");
}

TEST_F(CliCompare, WrongUsageGivesStatusTwo) {
    for (const std::string& args : std::vector<std::string>{
             std::string("compare"),
             "compare " + run_,
             "compare " + run_ + " --reference 1 --golden " + run_,
             "compare " + run_ + " --reference 0",
             "compare " + run_ + " --reference 101",
             "compare " + run_ + " --reference 1x",
             "compare " + run_ + " --golden " + run_ + ":0",
             "compare " + run_ + " --golden :3",
             "compare " + run_ + " --reference 1 --format xml",
             "compare " + run_ + " " + run_ + " --reference 1",
             "compare " + run_ + " --reference",
             "compare " + run_ + " --reference 1 --reference 2",
             "compare '' --reference 1",
             std::string("groups"),
             "groups " + run_ + " --format csv",
             "groups " + run_ + " --bogus",
         }) {
        const CliRun r = Cli(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("usage"), std::string::npos) << args;
    }
}

TEST_F(CliCompare, GroupsLargestFirstWithOutliers) {
    CliRun r = Cli("groups " + run_);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "group 1: 14 records, 10 pins: 001 002 003 004 006 007 008 010 011 012 014 015 017 "
              "019\n"
              "group 2, outlier: 1 record, 10 pins: 005\n"
              "  against group 1: differs: missing A03-B03\n"
              "group 3, outlier: 1 record, 10 pins: 009\n"
              "  against group 1: differs: extra A06-B07 A07-B06\n"
              "group 4, outlier: 1 record, 10 pins: 013\n"
              "  against group 1: differs: missing A01-B01 A02-B02; extra A01-B02 A02-B01\n"
              "group 5, outlier: 1 record, 10 pins: 016\n"
              "  against group 1: differs: missing AGD-BGD\n"
              "group 6, outlier: 1 record, 12 pins: 020\n"
              "  against group 1: other pin count: reference 10, record 12\n"
              "error, outlier: 018\n"
              "6 outliers of 20 records\n");

    r = Cli("groups --format json " + run_);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("{\"tests\": [\"005\"], \"pinCount\": 10, \"outlier\": true, \"verdict\": "
                         "\"differs\", \"missing\": [\"A03-B03\"], \"extra\": []}"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"errors\": [\"018\"],\n  \"empty\": []\n}\n"), std::string::npos);
    EXPECT_NE(r.out.find("\"outliers\": 6"), std::string::npos);

    // An empty block has no groups and no outliers.
    RecordBlock none;
    ClearBlock(none);
    r = Cli("groups " + Write("none.vku", none));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "0 outliers of 0 records\n");

    EXPECT_EQ(Cli("groups " + (dir_ / "missing.vku").string()).status, 1);
    EXPECT_EQ(Cli("save-sample-run " + (dir_ / "again").string()).status, 0);
    EXPECT_EQ(Slurp(dir_ / "again.vku"), Slurp(run_));
}

}  // namespace
}  // namespace vark
