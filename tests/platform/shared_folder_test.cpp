// Saving where other users can put things in the way: links and files in a
// shared folder like /tmp, links to devices. Root saves in this process; user
// B saves in a new process of its own.
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/file_io.h"
#include "tests/support/file_cases.h"
#include "tests/support/shared_scene.h"

namespace vark::platform {
namespace {

namespace fs = std::filesystem;
using test::Facts;
using test::kUserA;
using test::kUserB;
using test::Put;
using test::SharedScene;

const std::string kOld = "old content";
const std::string kNew = "new content";

// A step's result for a save's outcome: 0, the system's error number, or a
// refusal offset past every error number.
constexpr int kRefused = 200;
int Result(std::error_code ec) {
    return ec.category() == NameRefusalCategory() ? kRefused + ec.value() : ec.value();
}
int Result(NameRefusal r) {
    return Result(make_error_code(r));
}

// words: "replace" or "append", then the name.
VARK_TEST_STEP(SaveOrAppend) {
    if (words.at(0) == "replace") {
        return Result(ReplaceFileContents(words.at(1), kNew));
    }
    int fd = -1;
    if (const auto ec = OpenForAppending(words.at(1), fd)) {
        return Result(ec);
    }
    const bool ok = ::write(fd, kNew.data(), kNew.size()) == static_cast<ssize_t>(kNew.size());
    return ::close(fd) == 0 && ok ? 0 : EIO;
}

class SharedFolder : public test::SharedSceneTest {
  protected:
    static std::error_code Save(const fs::path& p) { return ReplaceFileContents(p.string(), kNew); }
    // A save by `uid` in a process of its own.
    static int SaveAs(uid_t uid, const fs::path& p, const char* mode = "replace") {
        return test::RunStep("SaveOrAppend", {mode, p.string()}, test::As(uid));
    }
};

TEST_F(SharedFolder, AnotherUsersLinkIsNotFollowed) {
    const SharedScene& s = *scene_;
    // A link to root's private file, a dangling one into root's home, a
    // folder link, and one to B's own profile.
    const fs::path victim = s.rootHome / "victim.txt";
    Put(victim, kOld);
    ASSERT_EQ(::chmod(victim.c_str(), 0600), 0);
    ASSERT_TRUE(SharedScene::Link(kUserA, victim, s.shared / "report-root.pdf"));
    ASSERT_TRUE(SharedScene::Link(kUserA, s.rootHome / "created.conf", s.shared / "sample.vku"));
    ASSERT_TRUE(SharedScene::Link(kUserA, s.rootHome, s.shared / "reports"));
    const fs::path profile = s.homeB / ".profile";
    ASSERT_TRUE(SharedScene::File(kUserB, profile, 0644, kOld));
    ASSERT_TRUE(SharedScene::Link(kUserA, profile, s.shared / "b-out.vku"));
    const auto victimBefore = Facts(victim);
    const auto profileBefore = Facts(profile);

    EXPECT_EQ(Save(s.shared / "report-root.pdf"), NameRefusal::kForeignLink);
    EXPECT_EQ(Save(s.shared / "sample.vku"), NameRefusal::kForeignLink);
    EXPECT_EQ(Save(s.shared / "reports" / "r.pdf"), std::errc::permission_denied);
    EXPECT_EQ(SaveAs(kUserB, s.shared / "b-out.vku"), Result(NameRefusal::kForeignLink));
    EXPECT_EQ(SaveAs(kUserB, s.shared / "b-out.vku", "append"), Result(NameRefusal::kForeignLink));

    EXPECT_EQ(Facts(victim), victimBefore);
    EXPECT_EQ(Facts(profile), profileBefore);
    EXPECT_FALSE(fs::exists(s.rootHome / "created.conf"));
    EXPECT_FALSE(fs::exists(s.rootHome / "r.pdf"));
    for (const char* link : {"report-root.pdf", "sample.vku", "reports", "b-out.vku"}) {
        EXPECT_TRUE(fs::is_symlink(s.shared / link)) << link;
        EXPECT_EQ(Facts(s.shared / link).isLink, true);
    }
}

TEST_F(SharedFolder, TheUsersOwnLinksAndTheFolderOwnersAreFollowed) {
    const SharedScene& s = *scene_;
    const fs::path mine = s.homeB / "mine.vku";
    const fs::path offered = s.homeB / "offered.vku";
    ASSERT_TRUE(SharedScene::File(kUserB, mine, 0640, kOld));
    ASSERT_TRUE(SharedScene::File(kUserB, offered, 0640, kOld));
    ASSERT_TRUE(SharedScene::Link(kUserB, mine, s.shared / "mine.vku"));
    // The folder is root's: root's links in it are as good as the folder.
    fs::create_symlink(offered, s.shared / "offered.vku");
    fs::create_symlink(s.rootHome / "root.vku", s.shared / "root.vku");

    EXPECT_EQ(SaveAs(kUserB, s.shared / "mine.vku"), 0);
    EXPECT_EQ(SaveAs(kUserB, s.shared / "offered.vku"), 0);
    EXPECT_FALSE(Save(s.shared / "root.vku"));
    for (const fs::path& p : {mine, offered}) {
        const auto f = Facts(p);
        EXPECT_EQ(f.bytes, kNew) << p;
        EXPECT_EQ(f.uid, kUserB) << p;
        EXPECT_EQ(f.mode, 0640u) << p;
    }
    EXPECT_EQ(Facts(s.rootHome / "root.vku").bytes, kNew);
    for (const char* link : {"mine.vku", "offered.vku", "root.vku"}) {
        EXPECT_TRUE(fs::is_symlink(s.shared / link)) << link;
    }
}

TEST_F(SharedFolder, AnotherUsersFileIsNotWrittenTheUsersAndTheFolderOwnersAre) {
    const SharedScene& s = *scene_;
    const fs::path planted = s.shared / "shared.pdf";
    ASSERT_TRUE(SharedScene::File(kUserA, planted, 0666, kOld));
    const fs::path fifo = s.shared / "fifo.pdf";
    ASSERT_TRUE(SharedScene::Fifo(kUserA, fifo));
    const auto before = Facts(planted);

    EXPECT_EQ(Save(planted), NameRefusal::kForeignFile);
    EXPECT_EQ(Save(planted), std::errc::permission_denied);
    EXPECT_EQ(SaveAs(kUserB, planted), Result(NameRefusal::kForeignFile));
    EXPECT_EQ(SaveAs(kUserB, planted, "append"), Result(NameRefusal::kForeignFile));
    EXPECT_EQ(Save(fifo), NameRefusal::kForeignFile);
    EXPECT_EQ(Facts(planted), before);

    // B's own file there is replaced as anywhere; root's (the folder's owner)
    // is written in place, since B may not rename over it, and stays root's.
    const fs::path own = s.shared / "own.vku";
    ASSERT_TRUE(SharedScene::File(kUserB, own, 0600, kOld));
    EXPECT_EQ(SaveAs(kUserB, own), 0);
    EXPECT_EQ(Facts(own).bytes, kNew);
    EXPECT_EQ(Facts(own).uid, kUserB);
    const fs::path roots = s.shared / "roots.vku";
    Put(roots, kOld);
    ASSERT_EQ(::chmod(roots.c_str(), 0666), 0);
    const auto rootsBefore = Facts(roots);
    EXPECT_EQ(SaveAs(kUserB, roots), 0);
    EXPECT_EQ(Facts(roots).bytes, kNew);
    EXPECT_EQ(Facts(roots).inode, rootsBefore.inode);
    EXPECT_EQ(Facts(roots).uid, 0u);
    EXPECT_EQ(SaveAs(kUserB, roots, "append"), 0);
    EXPECT_EQ(Facts(roots).bytes, kNew + kNew);
}

TEST_F(SharedFolder, DevicesOnlyByTheirOwnNameAndNeverABlockDevice) {
    const SharedScene& s = *scene_;
    ASSERT_TRUE(s.hasBlockDevice()) << "making a device node needs root with CAP_MKNOD";
    // The refusal comes before any open: opening this node would fail with
    // the system's own reason (no such device, or not permitted).
    EXPECT_EQ(Save(s.blockDevice), NameRefusal::kBlockDevice);
    fs::create_symlink(s.blockDevice, dir_ / "disk.pdf");
    EXPECT_EQ(Save(dir_ / "disk.pdf"), NameRefusal::kBlockDevice);
    ASSERT_TRUE(SharedScene::Link(kUserA, s.blockDevice, s.shared / "dev.pdf"));
    EXPECT_EQ(Save(s.shared / "dev.pdf"), NameRefusal::kForeignLink);
    int fd = -1;
    EXPECT_EQ(OpenForAppending(s.blockDevice.string(), fd), NameRefusal::kBlockDevice);
    EXPECT_EQ(fd, -1);

    fs::create_symlink("/dev/null", dir_ / "null.vku");
    fs::create_symlink("/dev/full", dir_ / "full.vku");
    EXPECT_EQ(Save(dir_ / "null.vku"), NameRefusal::kDeviceThroughLink);
    EXPECT_EQ(Save(dir_ / "full.vku"), NameRefusal::kDeviceThroughLink);
    EXPECT_EQ(Save(dir_ / "full.vku"), std::errc::operation_not_permitted);
    EXPECT_EQ(OpenForAppending((dir_ / "null.vku").string(), fd), NameRefusal::kDeviceThroughLink);
    EXPECT_FALSE(ReplaceFileContents("/dev/null", kNew));
    EXPECT_EQ(ReplaceFileContents("/dev/full", kNew), std::errc::no_space_on_device);
    EXPECT_TRUE(fs::is_symlink(dir_ / "null.vku"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_block_file(s.blockDevice));
}

}  // namespace
}  // namespace vark::platform
