// The single-instance hand-over among several users: user A puts a lock,
// a socket or a folder where user B's window program might look, and root
// plants things in B's own folder. Each user is a new process that drops to
// the user's id before the program starts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QLocalSocket>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "records/record_file.h"
#include "records/sample_records.h"
#include "tests/support/file_cases.h"
#include "tests/support/shared_scene.h"

namespace vark {
namespace {

namespace fs = std::filesystem;
using test::kUserA;
using test::kUserB;
using test::Slurp;

// One program started beside the test, its standard error kept in a file.
struct Running {
    std::unique_ptr<test::StartedProgram> program;
    fs::path log;

    // Waits until the log holds `text`; false after `timeoutMs` or when the
    // program ended without saying it.
    bool WaitFor(const std::string& text, int timeoutMs = 15000) const {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Log().find(text) == std::string::npos) {
            const bool ended = program->Wait(20).has_value();
            if (ended || std::chrono::steady_clock::now() > deadline) {
                return Log().find(text) != std::string::npos;
            }
        }
        return true;
    }
    std::string Log() const { return Slurp(log); }
};

class InstanceAmongUsers : public test::SharedSceneTest {
  protected:
    void SetUp() override {
        SharedSceneTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        const test::SharedScene& s = *scene_;
        // B has no $XDG_RUNTIME_DIR, and A made the folder that the toolkit
        // would use instead (runtime-NAME in the temporary folder) first, so
        // it is A's and the toolkit rejects it.
        const passwd* entry = ::getpwuid(kUserB);
        runtimeB_ = s.shared / ("runtime-" + std::string(entry ? entry->pw_name : ""));
        ASSERT_EQ(test::RunProgram({"/bin/mkdir", "-m", "0700", runtimeB_}, test::As(kUserA)), 0);
        // B's private file, in a folder only B can enter.
        const fs::path privateB = s.homeB / "private";
        fs::create_directory(privateB);
        order_ = privateB / "order-4711.vku";
        ASSERT_EQ(WriteRecordFile(order_, SampleBlock()), FileStatus::Ok);
        // The sample's first three records: told apart by the row count.
        RecordBlock three = SampleBlock();
        three.count = 3;
        later_ = privateB / "order-4712.vku";
        ASSERT_EQ(WriteRecordFile(later_, three), FileStatus::Ok);
        for (const fs::path& p : {privateB, order_, later_}) {
            ASSERT_EQ(::chown(p.c_str(), kUserB, kUserB), 0);
            ASSERT_EQ(::chmod(p.c_str(), p == privateB ? 0700 : 0600), 0);
        }
        heard_ = s.shared / "heard-by-a";
        ASSERT_TRUE(test::SharedScene::File(kUserA, heard_, 0644, ""));
    }

    // B's window program with `args`, started as B: no runtime folder, a
    // temporary folder shared by everyone, B's own home.
    Running StartB(std::vector<std::string> args, const std::string& home = {}) {
        args.insert(args.begin(), VARK_APP_BINARY);
        const fs::path log = dir_ / ("b-" + std::to_string(++runs_) + ".err");
        Running r;
        r.log = log;
        r.program = test::StartProgram(
            args, test::As(kUserB), {{}, log.string()},
            {"HOME=" + (home.empty() ? scene_->homeB.string() : home),
             "TMPDIR=" + scene_->shared.string(), "XDG_RUNTIME_DIR", "XDG_CACHE_HOME",
             "XDG_CONFIG_HOME", "XDG_DATA_HOME", "QT_QPA_PLATFORM=offscreen",
             "QT_LOGGING_RULES=vark.instance.info=true"});
        EXPECT_NE(r.program, nullptr);
        return r;
    }

    // The squatter with `args`, started as `uid`, once it holds its names.
    Running StartSquatter(std::vector<std::string> args, uid_t uid = kUserA) {
        args.insert(args.begin(), VARK_SQUATTER_BINARY);
        Running r;
        r.log = dir_ / ("squatter-" + std::to_string(++runs_) + ".err");
        r.program = test::StartProgram(args, test::As(uid), {{}, r.log.string()},
                                       {"QT_QPA_PLATFORM=offscreen"});
        EXPECT_TRUE(r.program && r.WaitFor("ready")) << r.Log();
        return r;
    }

    // The names B's window program took before this was mended: in the
    // temporary folder, after B's user id.
    fs::path SharedLock() const { return scene_->shared / "VARK-u-2002.lock"; }
    fs::path SharedSocket() const { return scene_->shared / "VARK-u-2002.instance"; }
    fs::path FolderOfB() const {
        return scene_->homeB / ".cache/vark-u" / ("instance-" + HostName());
    }
    static std::string HostName() {
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        return host;
    }

    // The window program's names that B left in the shared folder (the
    // toolkit may make a runtime folder of its own there).
    std::vector<std::string> BsThingsInShared() const {
        std::vector<std::string> found;
        for (const auto& e : fs::directory_iterator(scene_->shared)) {
            struct stat st {};
            if (::lstat(e.path().c_str(), &st) == 0 && st.st_uid == kUserB &&
                e.path().filename().string().starts_with("VARK-u")) {
                found.push_back(e.path().filename().string());
            }
        }
        return found;
    }

    fs::path runtimeB_;
    fs::path order_;
    fs::path later_;
    fs::path heard_;
    int runs_ = 0;
};

TEST_F(InstanceAmongUsers, ALiveLockAndListenerOfAnotherUserGetNothing) {
    Running a = StartSquatter(
        {"--lock", SharedLock(), "--listen", SharedSocket(), "--record", heard_.string()});
    Running b = StartB({order_});
    EXPECT_TRUE(b.WaitFor("file opened: \"" + order_.string() + "\"")) << b.Log();
    EXPECT_TRUE(b.Log().find("first instance") != std::string::npos) << b.Log();
    // B's next start finds B's window, not A's listener.
    Running again = StartB({later_});
    EXPECT_EQ(again.program->Wait(15000), 0) << again.Log();
    EXPECT_TRUE(b.WaitFor(later_.string() + "\", 3 rows")) << b.Log();
    EXPECT_EQ(Slurp(heard_), "");

    // The names live in a folder of B's own that nobody else may enter.
    struct stat st {};
    ASSERT_EQ(::lstat(FolderOfB().c_str(), &st), 0) << FolderOfB();
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_uid, kUserB);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_TRUE(fs::exists(FolderOfB() / "VARK-u-2002.lock"));
    EXPECT_EQ(BsThingsInShared(), std::vector<std::string>{});
}

TEST_F(InstanceAmongUsers, AStaleLockOfAnotherUserDoesNotKeepTheWindowAway) {
    {
        Running a = StartSquatter({"--lock", SharedLock()});
        a.program->Stop();  // the lock stays, naming a process that is gone
    }
    ASSERT_TRUE(fs::exists(SharedLock()));
    Running b = StartB({});
    EXPECT_TRUE(b.WaitFor("window shown")) << b.Log();
    EXPECT_EQ(b.program->Wait(0), std::nullopt) << "the window ended";
}

TEST_F(InstanceAmongUsers, ASquattedSocketNameDoesNotTakeLaterStarts) {
    Running a = StartSquatter({"--listen", SharedSocket(), "--record", heard_.string()});
    Running b = StartB({});
    ASSERT_TRUE(b.WaitFor("window shown")) << b.Log();
    Running click = StartB({order_});
    EXPECT_EQ(click.program->Wait(15000), 0) << click.Log();
    EXPECT_TRUE(b.WaitFor("file opened: \"" + order_.string() + "\"")) << b.Log();
    EXPECT_EQ(Slurp(heard_), "");
}

TEST_F(InstanceAmongUsers, WithoutAPrivateFolderEachStartRunsItsOwnWindowAndSaysSo) {
    // No runtime folder, and a home where B may not make folders (the shared
    // folder itself): no folder is good enough.
    Running first = StartB({}, scene_->shared.string());
    EXPECT_TRUE(first.WaitFor("window shown")) << first.Log();
    EXPECT_NE(first.Log().find("running without single instance"), std::string::npos)
        << first.Log();
    Running second = StartB({order_}, scene_->shared.string());
    EXPECT_TRUE(second.WaitFor("file opened: \"" + order_.string() + "\"")) << second.Log();
    EXPECT_EQ(BsThingsInShared(), std::vector<std::string>{});
}

TEST_F(InstanceAmongUsers, ALockOfAnotherUserInTheUsersOwnFolderIsNotTrusted) {
    {
        Running made = StartB({});  // makes B's folder
        ASSERT_TRUE(made.WaitFor("window shown")) << made.Log();
    }
    fs::remove(FolderOfB() / "VARK-u-2002.lock");
    // Root's live process holds the lock there: B's start does not take it
    // for B's window, and opens its file in a window of its own.
    Running planted =
        StartSquatter({"--in", FolderOfB().string(), "--lock", "VARK-u-2002.lock"}, 0);
    Running b = StartB({order_});
    EXPECT_TRUE(b.WaitFor("file opened: \"" + order_.string() + "\"")) << b.Log();
    EXPECT_NE(b.Log().find("is not this user's"), std::string::npos) << b.Log();
    EXPECT_NE(b.Log().find("no hand-over"), std::string::npos) << b.Log();
}

TEST_F(InstanceAmongUsers, TheWindowTakesNothingFromAnotherUserAndHandsNothingToOne) {
    Running b = StartB({});
    ASSERT_TRUE(b.WaitFor("window shown")) << b.Log();
    const fs::path socket = FolderOfB() / "VARK-u-2002.instance";
    ASSERT_TRUE(fs::is_socket(socket));

    // Root reaches B's socket (through the open folder: its path is too long
    // for a socket's); the window hears nothing from another user.
    const int folder = ::open(FolderOfB().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    QLocalSocket root;
    root.connectToServer(QStringLiteral("/proc/self/fd/%1/VARK-u-2002.instance").arg(folder));
    ASSERT_TRUE(root.waitForConnected(2000));
    // The window may close the connection before the lines are even sent.
    root.write("open " + QByteArray(order_.c_str()) + "\nactivate\n");
    root.waitForBytesWritten(2000);
    EXPECT_FALSE(root.waitForReadyRead(1500) && root.bytesAvailable() > 0);
    EXPECT_TRUE(b.WaitFor("refused a connection from uid 0")) << b.Log();
    EXPECT_EQ(b.Log().find("open request"), std::string::npos) << b.Log();
    ::close(folder);

    // A listener of root's in B's place, its socket given to B: B's next
    // start gives it nothing and says that the file was not handed over.
    fs::remove(socket);
    Running planted = StartSquatter({"--in", FolderOfB().string(), "--listen",
                                     "VARK-u-2002.instance", "--record", heard_.string()},
                                    0);
    ASSERT_EQ(::chown(socket.c_str(), kUserB, kUserB), 0);
    Running click = StartB({order_});
    EXPECT_EQ(click.program->Wait(15000), 1) << click.Log();
    EXPECT_NE(click.Log().find("listener is uid 0"), std::string::npos) << click.Log();
    EXPECT_NE(click.Log().find("was not handed to the running window"), std::string::npos);
    EXPECT_EQ(Slurp(heard_), "");
}

}  // namespace
}  // namespace vark
