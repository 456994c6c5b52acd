// What the file tests of every layer share: the facts of a file after a save,
// running a step as an unprivileged user, and a small full file system.
#pragma once

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/new_process.h"

namespace vark::test {

struct FileFacts {
    bool exists = false;
    bool isLink = false;
    std::string bytes;
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    nlink_t links = 0;
    ino_t inode = 0;
    bool operator==(const FileFacts&) const = default;
};

// An empty folder of the running test's own, open to every user (the cases
// that lock it do so themselves).
inline std::filesystem::path FreshTestDir(const std::string& prefix) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() /
                         (prefix + std::to_string(::getpid()) + "-" +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::all);
    return dir;
}

inline std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void Put(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

// Facts of the name itself (a link is not followed for isLink, followed for the rest).
inline FileFacts Facts(const std::filesystem::path& p) {
    FileFacts f;
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) {
        return f;
    }
    f.exists = true;
    f.isLink = S_ISLNK(st.st_mode);
    if (::stat(p.c_str(), &st) == 0) {
        f.mode = st.st_mode & 07777;
        f.uid = st.st_uid;
        f.gid = st.st_gid;
        f.links = st.st_nlink;
        f.inode = st.st_ino;
        if (S_ISREG(st.st_mode)) {
            f.bytes = Slurp(p);
        }
    }
    return f;
}

inline void PrintTo(const FileFacts& f, std::ostream* os) {
    *os << (f.exists ? "" : "missing ") << (f.isLink ? "link " : "") << f.bytes.size()
        << " bytes, mode " << std::oct << f.mode << std::dec << ", " << f.uid << ":" << f.gid
        << ", " << f.links << " links";
}

// Runs the step `name` (VARK_TEST_STEP) with `words` in a new process as user
// and group 65534. Root ignores file modes, so permission cases run this way
// even in CI.
inline int AsNobody(const std::string& name, const std::vector<std::string>& words) {
    return RunStep(name, words, Nobody());
}

// A folder whose file system is full. A 64 KiB tmpfs filled up when this
// process may mount one; otherwise an ordinary folder, and the steps' new
// processes have files limited to 512 bytes (less than any case writes),
// which fails writes the same way.
// VARK_TEST_FULL_DISK_BY_LIMIT=1 takes the second way even where mounting
// works, so that both are tried on any machine.
class FullDisk {
  public:
    explicit FullDisk(std::filesystem::path dir) : dir_(std::move(dir)) {
        std::filesystem::create_directories(dir_);
        const char* byLimit = std::getenv("VARK_TEST_FULL_DISK_BY_LIMIT");
        mounted_ = (byLimit == nullptr || std::string(byLimit) != "1") &&
                   ::mount("tmpfs", dir_.c_str(), "tmpfs", 0, "size=64k,mode=0777") == 0;
    }
    ~FullDisk() {
        if (mounted_) {
            ::umount2(dir_.c_str(), MNT_DETACH);
        }
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    const std::filesystem::path& dir() const { return dir_; }
    bool mounted() const { return mounted_; }

    // Takes every free block left (after the files of the case are in place).
    void Fill() {
        if (!mounted_) {
            return;
        }
        std::FILE* f = std::fopen((dir_ / "filler").c_str(), "wb");
        static const std::string kChunk(512, 'x');
        while (f != nullptr && std::fwrite(kChunk.data(), 1, kChunk.size(), f) == kChunk.size() &&
               std::fflush(f) == 0) {
        }
        if (f != nullptr) {
            std::fclose(f);
        }
    }

    // What a process needs to meet the full disk (as user 65534 when asked).
    Conditions Limits(bool asNobody = false) const {
        Conditions c = asNobody ? Nobody() : Conditions{};
        c.fileSizeLimit = mounted_ ? 0 : 512;
        return c;
    }
    // Runs the step `name` with `words` in a new process that meets the full disk.
    int Run(const std::string& name, const std::vector<std::string>& words,
            bool asNobody = false) const {
        return RunStep(name, words, Limits(asNobody));
    }

  private:
    std::filesystem::path dir_;
    bool mounted_ = false;
};

}  // namespace vark::test
