// The simulator's log file where another user can put things in the way.
#include <gtest/gtest.h>

#include "testing/process.h"
#include "tests/support/file_cases.h"
#include "tests/support/shared_scene.h"

namespace vark {
namespace {

namespace fs = std::filesystem;
using test::Facts;
using test::kUserA;
using test::SharedScene;
using test::ShellQuote;

class SimLog : public test::SharedSceneTest {
  protected:
    // The simulator with its log at `log`, ended after a second when it
    // started; its exit status (124 for "ended") and standard error.
    static test::ProcessResult Sim(const fs::path& log) {
        return test::RunShell("timeout 1 " + std::string(VARK_SIM_PATH) + " --fast --log " +
                              ShellQuote(log.string()) + " 2>&1 >/dev/null");
    }
};

TEST_F(SimLog, AnotherUsersLinkOrFileInASharedFolderIsRefused) {
    const SharedScene& s = *scene_;
    const fs::path victim = s.rootHome / "fuzz-victim";
    test::Put(victim, "root's");
    ASSERT_TRUE(SharedScene::Link(kUserA, victim, s.shared / "sim.log"));
    ASSERT_TRUE(SharedScene::Link(kUserA, s.rootHome / "made", s.shared / "dangling.log"));
    ASSERT_TRUE(SharedScene::File(kUserA, s.shared / "theirs.log", 0666, "A's\n"));
    const auto before = Facts(s.shared / "theirs.log");

    auto r = Sim(s.shared / "sim.log");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("vark-tester-sim: cannot open " + (s.shared / "sim.log").string() +
                              ": a link in a shared folder made by another user is not followed",
                          0),
              0u)
        << r.out;
    EXPECT_EQ(Sim(s.shared / "dangling.log").status, 1);
    EXPECT_EQ(Sim(s.shared / "theirs.log").status, 1);
    ASSERT_TRUE(s.hasBlockDevice()) << "making a device node needs root with CAP_MKNOD";
    EXPECT_EQ(Sim(s.blockDevice).status, 1);
    EXPECT_EQ(test::Slurp(victim), "root's");
    EXPECT_FALSE(fs::exists(s.rootHome / "made"));
    EXPECT_EQ(Facts(s.shared / "theirs.log"), before);
}

TEST_F(SimLog, TheUsersOwnLogIsAppendedToAndANewOneCreated) {
    const fs::path log = scene_->shared / "own.log";
    test::Put(log, "earlier run\n");
    auto r = Sim(log);
    EXPECT_EQ(r.status, 124) << r.out;
    const std::string text = test::Slurp(log);
    EXPECT_EQ(text.rfind("earlier run\nvark-tester-sim: /dev/pts/", 0), 0u) << text;

    const fs::path fresh = dir_ / "fresh.log";
    const mode_t mask = ::umask(022);
    r = Sim(fresh);
    ::umask(mask);
    EXPECT_EQ(r.status, 124) << r.out;
    EXPECT_EQ(Facts(fresh).mode, 0644u);
    EXPECT_NE(test::Slurp(fresh).find("records"), std::string::npos);
}

}  // namespace
}  // namespace vark
