// vark-cli writing where another user can put things in the way: the cases
// of a shared folder like /tmp, as root and as user B.
#include <gtest/gtest.h>

#include "records/record_file.h"
#include "records/sample_records.h"
#include "tests/support/file_cases.h"
#include "tests/support/shared_scene.h"

namespace vark {
namespace {

namespace fs = std::filesystem;
using test::Facts;
using test::kUserA;
using test::kUserB;
using test::SharedScene;

class CliSharedFolder : public test::SharedSceneTest {
  protected:
    void SetUp() override {
        SharedSceneTest::SetUp();
        sample_ = dir_ / "sample.vku";
        ASSERT_EQ(WriteRecordFile(sample_, SampleBlock()), FileStatus::Ok);
        fs::permissions(sample_, fs::perms::all);
    }

    // vark-cli with `args` in a new program, as the test's user or as told.
    Ran Cli(std::vector<std::string> args, const test::Conditions& as = {}) const {
        args.insert(args.begin(), VARK_CLI_PATH);
        return Run(args, as);
    }
    std::vector<std::string> Report(const fs::path& out) const {
        return {"report", sample_.string(), "-o", out.string()};
    }
    static std::vector<std::string> SaveSample(const fs::path& out) {
        return {"save-sample", out.string()};
    }

    fs::path sample_;
};

TEST_F(CliSharedFolder, RootsReportAndSaveDoNotFollowAnotherUsersLinks) {
    const SharedScene& s = *scene_;
    const fs::path victim = s.rootHome / "victim.txt";
    test::Put(victim, "root's own words");
    ASSERT_EQ(::chmod(victim.c_str(), 0600), 0);
    ASSERT_TRUE(SharedScene::Link(kUserA, victim, s.shared / "report-root.pdf"));
    ASSERT_TRUE(SharedScene::Link(kUserA, s.rootHome / "created-by-vark.conf",
                                  s.shared / "sample-root.vku"));
    const auto before = Facts(victim);

    auto r = Cli(Report(s.shared / "report-root.pdf"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("made by another user is not followed"), std::string::npos) << r.err;
    r = Cli(SaveSample(s.shared / "sample-root.vku"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Save file failed!\na link in a shared folder made by another user is not "
              "followed\n");
    EXPECT_EQ(Facts(victim), before);
    EXPECT_FALSE(fs::exists(s.rootHome / "created-by-vark.conf"));
    EXPECT_TRUE(fs::is_symlink(s.shared / "report-root.pdf"));
}

TEST_F(CliSharedFolder, UserBsSaveDoesNotReplaceTheirProfileThroughALink) {
    const SharedScene& s = *scene_;
    const fs::path profile = s.homeB / ".profile";
    ASSERT_TRUE(SharedScene::File(kUserB, profile, 0644, "PATH=$HOME/bin:$PATH\n"));
    ASSERT_TRUE(SharedScene::Link(kUserA, profile, s.shared / "b-out.vku"));
    const auto before = Facts(profile);
    const auto r = Cli(SaveSample(s.shared / "b-out.vku"), test::As(kUserB));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(Facts(profile), before);

    // B's own link there still leads to B's file.
    ASSERT_TRUE(SharedScene::Link(kUserB, s.homeB / "kept.vku", s.shared / "mine.vku"));
    EXPECT_EQ(Cli(SaveSample(s.shared / "mine.vku"), test::As(kUserB)).status, 0);
    EXPECT_EQ(Facts(s.homeB / "kept.vku").bytes, Facts(sample_).bytes);
    EXPECT_EQ(Facts(s.homeB / "kept.vku").uid, kUserB);
}

TEST_F(CliSharedFolder, AnotherUsersOpenFileIsNotWritten) {
    const SharedScene& s = *scene_;
    const fs::path planted = s.shared / "report-root.pdf";
    ASSERT_TRUE(SharedScene::File(kUserA, planted, 0666, "A waits here"));
    const auto before = Facts(planted);
    const auto r = Cli(Report(planted));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("owned by another user is not written"), std::string::npos) << r.err;
    const fs::path records = s.shared / "sample.vku";
    ASSERT_TRUE(SharedScene::File(kUserA, records, 0666, "A waits here too"));
    const auto recordsBefore = Facts(records);
    EXPECT_EQ(Cli(SaveSample(records)).status, 1);
    EXPECT_EQ(Cli(SaveSample(records), test::As(kUserB)).status, 1);
    EXPECT_EQ(Facts(planted), before);
    EXPECT_EQ(Facts(records), recordsBefore);
}

TEST_F(CliSharedFolder, ABlockDeviceIsNeverWrittenAndOtherDevicesOnlyByName) {
    const SharedScene& s = *scene_;
    ASSERT_TRUE(s.hasBlockDevice()) << "making a device node needs root with CAP_MKNOD";
    ASSERT_TRUE(SharedScene::Link(kUserA, s.blockDevice, s.shared / "disk.pdf"));
    fs::create_symlink(s.blockDevice, dir_ / "disk.pdf");
    fs::create_symlink("/dev/null", dir_ / "null.pdf");

    // Refused before the node is opened: no system reason is given.
    auto r = Cli(Report(s.blockDevice));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("a block device is never written"), std::string::npos) << r.err;
    r = Cli(Report(dir_ / "disk.pdf"));
    EXPECT_NE(r.err.find("a block device is never written"), std::string::npos) << r.err;
    r = Cli(Report(s.shared / "disk.pdf"));
    EXPECT_EQ(r.status, 1);
    r = Cli(Report(dir_ / "null.pdf"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("only when named directly"), std::string::npos) << r.err;
    EXPECT_EQ(Cli(Report("/dev/null")).status, 0);
    EXPECT_TRUE(fs::is_block_file(s.blockDevice));
}

}  // namespace
}  // namespace vark
