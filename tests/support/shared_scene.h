// A small machine inside a test folder, for the cases where other users put
// things in the way: a shared folder like /tmp, root's private home, user B's
// home, and a block device node that leads to no device.
#pragma once

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/file_cases.h"
#include "tests/support/new_process.h"

namespace vark::test {

// Two ordinary users with no entry in the user database (the system only
// looks at the numbers): A plants links and files, B saves through them.
inline constexpr uid_t kUserA = 2001;
inline constexpr uid_t kUserB = 2002;

inline Conditions As(uid_t uid) {
    return AsUser(uid, uid);
}

// A block device major number that no driver has taken (one of those kept
// for local use), so that a node with it can be made safely: if anything did
// open it, the open would fail, and nothing could ever be written. 0 when
// every candidate is taken.
inline unsigned UnusedBlockMajor() {
    std::ifstream in("/proc/devices");
    std::set<unsigned> taken;
    std::string line;
    bool block = false;
    while (std::getline(in, line)) {
        if (line.starts_with("Block devices:")) {
            block = true;
            continue;
        }
        unsigned major = 0;
        if (block && std::istringstream(line) >> major) {
            taken.insert(major);
        }
    }
    for (unsigned major : {60u, 61u, 62u, 63u, 120u, 121u, 122u, 123u}) {
        if (!taken.contains(major)) {
            return major;
        }
    }
    return 0;
}

class SharedScene {
  public:
    explicit SharedScene(const std::filesystem::path& dir)
        : shared(dir / "tmp"),
          rootHome(dir / "root"),
          homeB(dir / "home-b"),
          devices(dir / "dev"),
          blockDevice(devices / "blk") {
        namespace fs = std::filesystem;
        for (const auto& d : {shared, rootHome, homeB, devices}) {
            fs::create_directories(d);
        }
        ok_ = ::chmod(shared.c_str(), 01777) == 0 && ::chmod(rootHome.c_str(), 0700) == 0 &&
              ::chown(homeB.c_str(), kUserB, kUserB) == 0 && ::chmod(homeB.c_str(), 0755) == 0 &&
              ::chmod(devices.c_str(), 0700) == 0;
        const unsigned major = UnusedBlockMajor();
        hasBlockDevice_ =
            major != 0 && ::mknod(blockDevice.c_str(), S_IFBLK | 0666, makedev(major, 0)) == 0;
    }

    // Whether the folders could be made (the test program must run as root).
    bool ok() const { return ok_; }
    // Whether the block device node could be made (root with CAP_MKNOD).
    bool hasBlockDevice() const { return hasBlockDevice_; }

    // A symbolic link made by `uid`.
    static bool Link(uid_t uid, const std::filesystem::path& target,
                     const std::filesystem::path& link) {
        return Shell(uid, "ln -s -- \"$1\" \"$2\"", {target.string(), link.string()});
    }
    // A file made by `uid` with `mode` and `text`.
    static bool File(uid_t uid, const std::filesystem::path& p, mode_t mode,
                     const std::string& text) {
        char octal[8];
        std::snprintf(octal, sizeof octal, "%o", static_cast<unsigned>(mode));
        return Shell(uid, "umask 077 && printf %s \"$1\" >\"$2\" && chmod \"$3\" \"$2\"",
                     {text, p.string(), octal});
    }
    static bool Fifo(uid_t uid, const std::filesystem::path& p) {
        return Shell(uid, "mkfifo -m 0666 -- \"$1\"", {p.string()});
    }

    std::filesystem::path shared;       // root's, sticky, writable by all
    std::filesystem::path rootHome;     // root's, 0700
    std::filesystem::path homeB;        // B's, 0755
    std::filesystem::path devices;      // root's, 0700
    std::filesystem::path blockDevice;  // in `devices`

  private:
    // `script` run by /bin/sh as `uid`, with `args` as $1, $2, ...
    static bool Shell(uid_t uid, const char* script, std::vector<std::string> args) {
        args.insert(args.begin(), {"/bin/sh", "-c", script, "sh"});
        return RunProgram(args, As(uid)) == 0;
    }

    bool ok_ = false;
    bool hasBlockDevice_ = false;
};

// A test with a fresh scene in a fresh folder of its own.
class SharedSceneTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = FreshTestDir("vark-shared-");
        scene_ = std::make_unique<SharedScene>(dir_);
        ASSERT_TRUE(scene_->ok()) << "the test program must run as root";
    }
    void TearDown() override {
        scene_.reset();
        std::filesystem::remove_all(dir_);
    }

    // Runs `argv` (argv[0] a full path) in a new program under `conditions`;
    // its status and what it wrote.
    struct Ran {
        int status = -1;
        std::string out;
        std::string err;
    };
    Ran Run(const std::vector<std::string>& argv, const Conditions& conditions = {}) const {
        const auto out = dir_ / "run.out";
        const auto err = dir_ / "run.err";
        Ran r;
        r.status = RunProgram(argv, conditions, {out.string(), err.string()});
        r.out = Slurp(out);
        r.err = Slurp(err);
        return r;
    }

    std::filesystem::path dir_;
    std::unique_ptr<SharedScene> scene_;
};

}  // namespace vark::test
