// vark-cli's files as users meet them: protections, links, owners, full
// disks, odd names and things that are not files, run as root and as an
// ordinary user.
#include <gtest/gtest.h>

#include <chrono>

#include "records/record_file.h"
#include "records/sample_records.h"
#include "tests/support/file_cases.h"

namespace vark {
namespace {

namespace fs = std::filesystem;
using test::Facts;
using test::kNobody;
using test::Put;

class CliFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = test::FreshTestDir("vark-cli-files-");
        Put(dir_ / "s.vku", "");
        ASSERT_EQ(WriteRecordFile(dir_ / "s.vku", SampleBlock()), FileStatus::Ok);
        fs::permissions(dir_ / "s.vku", fs::perms::all);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs vark-cli with `args` (shell words) and returns its status; its
    // standard error is kept in err_.
    int Cli(const std::string& args, const std::string& prefix = {}) {
        const std::string errFile = (dir_ / "err").string();
        const std::string cmd =
            prefix + std::string(VARK_CLI_PATH) + " " + args + " >/dev/null 2>" + errFile;
        const int rc = std::system(cmd.c_str());
        err_ = test::Slurp(errFile);
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    // Runs vark-cli with `args` in a new process under `conditions` (an
    // ordinary user, a full disk); its standard error is kept in err_.
    int CliUnder(const test::Conditions& conditions, std::vector<std::string> args) {
        args.insert(args.begin(), VARK_CLI_PATH);
        const std::string errFile = (dir_ / "err").string();
        const int status = test::RunProgram(args, conditions, {"/dev/null", errFile});
        err_ = test::Slurp(errFile);
        return status;
    }
    int CliAsNobody(std::vector<std::string> args) {
        return CliUnder(test::Nobody(), std::move(args));
    }
    int CliOnFullDisk(const test::FullDisk& disk, std::vector<std::string> args) {
        return CliUnder(disk.Limits(), std::move(args));
    }
    std::string Q(const fs::path& p) const { return "'" + p.string() + "'"; }

    fs::path dir_;
    std::string err_;
};

TEST_F(CliFiles, ProtectedFilesAreRefusedAndWritableOnesSavedInPlace) {
    const fs::path ro = dir_ / "ro.vku";
    Put(ro, "old");
    ASSERT_EQ(::chown(ro.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(ro.c_str(), 0444), 0);
    const auto roBefore = Facts(ro);
    EXPECT_EQ(CliAsNobody({"save-sample", ro}), 1);
    EXPECT_EQ(err_.substr(0, 18), "Save file failed!\n");
    EXPECT_EQ(Facts(ro), roBefore);

    const fs::path locked = dir_ / "locked";
    fs::create_directory(locked);
    const fs::path mine = locked / "mine.vku";
    Put(mine, "old");
    ASSERT_EQ(::chown(mine.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(mine.c_str(), 0640), 0);
    ASSERT_EQ(::chmod(locked.c_str(), 0755), 0);
    const auto mineBefore = Facts(mine);
    EXPECT_EQ(CliAsNobody({"save-sample", mine}), 0) << err_;
    const auto mineAfter = Facts(mine);
    EXPECT_EQ(mineAfter.bytes, test::Slurp(dir_ / "s.vku"));
    EXPECT_EQ(mineAfter.inode, mineBefore.inode);
    EXPECT_EQ(mineAfter.mode, 0640u);
    EXPECT_EQ(mineAfter.uid, kNobody);
}

TEST_F(CliFiles, LinksOwnersAndLongNamesAreKept) {
    const fs::path a = dir_ / "a.vku";
    Put(a, "old");
    fs::create_hard_link(a, dir_ / "b.vku");
    ASSERT_EQ(::chown(a.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(a.c_str(), 0600), 0);
    EXPECT_EQ(Cli("save-sample " + Q(a)), 0);
    EXPECT_EQ(Facts(dir_ / "b.vku").bytes, test::Slurp(dir_ / "s.vku"));
    EXPECT_EQ(Facts(a).links, 2u);
    EXPECT_EQ(Facts(a).uid, kNobody);
    EXPECT_EQ(Facts(a).mode, 0600u);

    fs::create_symlink("/dev/null", dir_ / "null.vku");
    fs::create_symlink("/dev/full", dir_ / "full.vku");
    fs::create_symlink("made.vku", dir_ / "dangling.vku");
    // Devices are written only by their own names (see the report's cases).
    EXPECT_EQ(Cli("save-sample " + Q(dir_ / "null.vku")), 1);
    EXPECT_EQ(Cli("save-sample " + Q(dir_ / "full.vku")), 1);
    EXPECT_EQ(err_,
              "Save file failed!\na device or FIFO is written only when named directly, not "
              "through a link\n");
    EXPECT_EQ(Cli("save-sample " + Q(dir_ / "dangling.vku")), 0);
    EXPECT_TRUE(fs::is_symlink(dir_ / "null.vku"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "full.vku"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.vku"));
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    EXPECT_EQ(Facts(dir_ / "made.vku").bytes, test::Slurp(dir_ / "s.vku"));

    const std::string longName = std::string(251, 'L') + ".vku";
    EXPECT_EQ(Cli("save-sample " + Q(dir_ / longName)), 0) << err_;
    EXPECT_EQ(Cli("save-sample " + Q(dir_ / longName)), 0) << err_;
    EXPECT_TRUE(fs::exists(dir_ / longName));
}

TEST_F(CliFiles, FullDiskFailsTheSaveAndTheReportAndKeepsOldFiles) {
    test::FullDisk disk(dir_ / "disk");
    fs::permissions(disk.dir(), fs::perms::all);
    const fs::path oldRecords = disk.dir() / "old.vku";
    const fs::path oldPdf = disk.dir() / "old.pdf";
    Put(oldRecords, "old records");
    Put(oldPdf, "%PDF old report");
    disk.Fill();
    const auto recordsBefore = Facts(oldRecords);
    const auto pdfBefore = Facts(oldPdf);

    EXPECT_EQ(CliOnFullDisk(disk, {"save-sample", oldRecords}), 1);
    EXPECT_EQ(err_.substr(0, 18), "Save file failed!\n");
    EXPECT_EQ(CliOnFullDisk(disk, {"report", dir_ / "s.vku", "-o", oldPdf}), 1);
    EXPECT_NE(err_.find("cannot write"), std::string::npos) << err_;
    EXPECT_EQ(CliOnFullDisk(disk, {"report", dir_ / "s.vku", "-o", disk.dir() / "new.pdf"}), 1);
    EXPECT_EQ(Facts(oldRecords), recordsBefore);
    EXPECT_EQ(Facts(oldPdf), pdfBefore);
    EXPECT_FALSE(fs::exists(disk.dir() / "new.pdf"));

    EXPECT_EQ(Cli("report " + Q(dir_ / "s.vku") + " -o /dev/full"), 1);
    EXPECT_EQ(Cli("report " + Q(dir_ / "s.vku") + " -o /dev/null"), 0);
}

TEST_F(CliFiles, ReportNamesPassByteForByteAndRecordFilesAreNotOverwritten) {
    const std::string s = Q(dir_ / "s.vku");
    EXPECT_EQ(Cli("report " + s + " -o \"" + dir_.string() + "/$(printf 'r\\377.pdf')\""), 0);
    EXPECT_EQ(test::Slurp(dir_ / "r\xff.pdf").substr(0, 5), "%PDF-");
    EXPECT_FALSE(fs::exists(dir_ / "r\xEF\xBF\xBD.pdf"));

    const std::string records = test::Slurp(dir_ / "s.vku");
    fs::copy_file(dir_ / "s.vku", dir_ / "copy.vku");
    EXPECT_EQ(Cli("report " + s + " -o " + Q(dir_ / "copy.vku")), 1);
    EXPECT_EQ(test::Slurp(dir_ / "copy.vku"), records);
    EXPECT_EQ(Cli("report " + s + " -o " + Q(dir_ / "copy.vku") + " --force"), 0);
    EXPECT_EQ(test::Slurp(dir_ / "copy.vku").substr(0, 5), "%PDF-");

    // A report over an existing PDF keeps its mode and owner.
    Put(dir_ / "old.pdf", "%PDF old");
    ASSERT_EQ(::chown((dir_ / "old.pdf").c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod((dir_ / "old.pdf").c_str(), 0604), 0);
    EXPECT_EQ(Cli("report " + s + " -o " + Q(dir_ / "old.pdf")), 0);
    EXPECT_EQ(Facts(dir_ / "old.pdf").uid, kNobody);
    EXPECT_EQ(Facts(dir_ / "old.pdf").mode, 0604u);
    EXPECT_GT(Facts(dir_ / "old.pdf").bytes.size(), 1000u);
}

TEST_F(CliFiles, WhatIsNoFileIsRefusedAtOnce) {
    ASSERT_EQ(::mkfifo((dir_ / "f.vku").c_str(), 0666), 0);
    const auto start = std::chrono::steady_clock::now();
    for (const std::string cmd : {"show", "export --format csv", "report"}) {
        const std::string extra = cmd == "report" ? " -o " + Q(dir_ / "r.pdf") : "";
        EXPECT_EQ(Cli(cmd + " " + Q(dir_ / "f.vku") + extra, "timeout 20 "), 1) << cmd;
        EXPECT_EQ(err_, "Open file failed!\n") << cmd;
    }
    EXPECT_EQ(Cli("show /dev/zero"), 1);
    EXPECT_EQ(Cli("show " + Q(dir_)), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}

TEST_F(CliFiles, ArgumentsEmptyNamesDashesHelpAndVersion) {
    EXPECT_EQ(Cli("save-sample ''"), 2);
    EXPECT_EQ(Cli("show ''"), 2);
    EXPECT_EQ(Cli("report " + Q(dir_ / "s.vku") + " -o ''"), 2);
    EXPECT_FALSE(fs::exists(".vku"));
    // Without "--" a leading dash is an option (unknown ones are wrong usage).
    EXPECT_EQ(Cli("save-sample --help"), 2);
    EXPECT_FALSE(fs::exists("--help.vku"));

    const fs::path cwd = fs::current_path();
    fs::current_path(dir_);
    EXPECT_EQ(Cli("save-sample -- -x"), 0);
    EXPECT_EQ(Cli("show -- -x.vku"), 0);
    EXPECT_EQ(Cli("export --format csv -- -x.vku"), 0);
    EXPECT_EQ(Cli("report -o -r.pdf -- -x.vku"), 0) << err_;
    EXPECT_EQ(Cli("report -- -x.vku -o r.pdf"), 2);  // after "--", "-o" is a name
    fs::current_path(cwd);
    EXPECT_TRUE(fs::exists(dir_ / "-x.vku"));
    EXPECT_TRUE(fs::exists(dir_ / "-r.pdf"));

    EXPECT_EQ(Cli("--version"), 0);
    EXPECT_EQ(Cli("--help"), 0);
    EXPECT_EQ(Cli("--bogus"), 2);
}

}  // namespace
}  // namespace vark
