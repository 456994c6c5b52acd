// vark-cli as a user runs it: a real process, its output streams and status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "records/pin_map.h"
#include "records/record_file.h"
#include "records/sample_records.h"
#include "tests/tools/cli_test_support.h"

namespace vark {
namespace {

namespace fs = std::filesystem;

class CliTest : public CliFixture {
  protected:
    static std::string Expected(const RecordBlock& block) {
        std::string out;
        for (const auto& cells : PinMapTable(block)) {
            for (int c = 0; c < kListColumns; ++c)
                out += (c ? "\t" : "") + cells[c];
            out += '\n';
        }
        return out;
    }
};

TEST_F(CliTest, ShowPrintsEveryRowWithSevenTabs) {
    ASSERT_EQ(Cli("save-sample " + (dir_ / "s").string()).status, 0);
    ASSERT_TRUE(fs::exists(dir_ / "s.vku"));
    const CliRun r = Cli("show " + (dir_ / "s.vku").string());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, Expected(SampleBlock()));
    std::size_t lines = 0;
    for (std::size_t pos = 0; (pos = r.out.find('\n', pos)) != std::string::npos; ++pos)
        ++lines;
    EXPECT_EQ(lines, SampleBlock().count);
    for (std::size_t start = 0; start < r.out.size();) {
        const std::size_t end = r.out.find('\n', start);
        const std::string line = r.out.substr(start, end - start);
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 7) << line;
        start = end + 1;
    }
}

TEST_F(CliTest, ShowReadsIntoAClearedBlock) {
    // A short file: slots it does not cover read as zero (empty), not as leftovers.
    std::string bytes(kRecordMagic, 12);
    bytes += std::string("\x02\x00\x00\x00", 4) + "\x02";
    std::ofstream(dir_ / "short.dat", std::ios::binary) << bytes;
    const CliRun r = Cli("show " + (dir_ / "short.dat").string());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "001\t(Empty)\t\t\t\t\t\t\n002\t(Empty)\t\t\t\t\t\t\n");
}

TEST_F(CliTest, RefusedFilesGiveTheMessageAndStatusOne) {
    std::ofstream(dir_ / "bad.vku", std::ios::binary) << "kelvorvark-u\x01\x00\x00\x00\x00";
    CliRun r = Cli("show " + (dir_ / "bad.vku").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "File data err!\n");
    r = Cli("show " + (dir_ / "missing.vku").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Open file failed!\n");
    r = Cli("save-sample " + (dir_ / "no" / "dir" / "x").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Save file failed!\nNo such file or directory\n");
}

TEST_F(CliTest, OutputThatCannotBeWrittenIsAFailure) {
    ASSERT_EQ(Cli("save-sample " + (dir_ / "s").string()).status, 0);
    const std::string cmd = std::string(VARK_CLI_PATH) + " show " + (dir_ / "s.vku").string() +
                            " >/dev/full 2>" + (dir_ / "err").string();
    const int rc = std::system(cmd.c_str());
    EXPECT_EQ(WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, 1);
    EXPECT_NE(Slurp(dir_ / "err").find("cannot write standard output"), std::string::npos);
}

TEST_F(CliTest, WrongUsageGivesStatusTwo) {
    EXPECT_EQ(Cli("").status, 2);
    EXPECT_EQ(Cli("frobnicate").status, 2);
    EXPECT_EQ(Cli("show").status, 2);
    EXPECT_EQ(Cli("show a b").status, 2);
    EXPECT_EQ(Cli("export --format xml a.vku").status, 2);
    const CliRun r = Cli("export a.vku");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage"), std::string::npos);
}

TEST_F(CliTest, ExportCsvQuotesTheListCells) {
    RecordBlock block;
    ClearBlock(block);
    block.count = 2;
    block.slots[0] = RecordBuilder(4).Straight().Connect(2, 3).Connect(3, 2).Build();
    ASSERT_EQ(WriteRecordFile(dir_ / "two.vku", block), FileStatus::Ok);
    const CliRun r = Cli("export --format csv " + (dir_ / "two.vku").string());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(
        r.out,
        "\"ID\",\"Pin\",\"Pin State 1\",\"Pin State 2\",\"Pin State 3\",\"Pin State 4\","
        "\"Pin State 5\",\"Pin State 6\"\r\n"
        "\"001\",\"(04pin)\",\"  A01-B01  A02-A03-B02-B03  A04-B04  AGD\",\"\",\"\",\"\",\"\","
        "\"\"\r\n"
        "\"002\",\"(Empty)\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n");
}

TEST_F(CliTest, ExportJsonGivesGroupsStructurally) {
    RecordBlock block;
    ClearBlock(block);
    block.count = 1;
    block.slots[0] = RecordBuilder(2).Connect(1, 1).ToBGround(2).AGroundTo(2).Grounds().Build();
    ASSERT_EQ(WriteRecordFile(dir_ / "g.vku", block), FileStatus::Ok);
    const CliRun r = Cli("export --format=json " + (dir_ / "g.vku").string());
    EXPECT_EQ(r.status, 0);
    // A2 alone goes to BGD; A's ground has its own list (B2, BGD).
    EXPECT_NE(r.out.find("\"cells\": [\"  A01-B01  A02-BGD  AGD-B02-BGD\""), std::string::npos)
        << r.out;
    EXPECT_NE(
        r.out.find("{\"aPins\": [1], \"aGround\": false, \"bPins\": [1], \"bGround\": false}"),
        std::string::npos);
    EXPECT_NE(r.out.find("{\"aPins\": [], \"aGround\": true, \"bPins\": [2], \"bGround\": true}"),
              std::string::npos);
    EXPECT_NE(r.out.find("\"state\": \"ok\""), std::string::npos);
}

}  // namespace
}  // namespace vark
