#include "platform/file_io.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <optional>
#include <ostream>
#include <vector>

#include "tests/support/file_cases.h"

namespace vark::platform {
namespace {

namespace fs = std::filesystem;
using test::AsNobody;
using test::Facts;
using test::kNobody;
using test::Put;

const std::string kOld = "old content, kept byte for byte";
const std::string kNew(24917, 'n');

// Saves the new content to words[0] in a process of its own; the error's value
// is the result (0 on success).
VARK_TEST_STEP(SaveNew) {
    return ReplaceFileContents(words.at(0), kNew).value();
}

class FileIo : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = test::FreshTestDir("vark-io-"); }
    void TearDown() override { fs::remove_all(dir_); }

    // Whether a temporary file of a save was left behind.
    bool TempLeft(const fs::path& folder) const {
        for (const auto& e : fs::directory_iterator(folder)) {
            if (e.path().filename().string().starts_with(kTempFilePrefix)) {
                return true;
            }
        }
        return false;
    }
    // The error's value (0 on success).
    static int Save(const fs::path& p, const std::string& bytes) {
        return ReplaceFileContents(p.string(), bytes).value();
    }

    fs::path dir_;
};

TEST_F(FileIo, WriteProtectedFileIsRefusedBeforeAnythingIsWritten) {
    const fs::path f = dir_ / "f.vku";
    Put(f, kOld);
    ASSERT_EQ(::chown(f.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(f.c_str(), 0444), 0);
    const auto before = Facts(f);
    EXPECT_EQ(AsNobody("SaveNew", {f}), EACCES);
    EXPECT_EQ(Facts(f), before);
    EXPECT_FALSE(TempLeft(dir_));
}

TEST_F(FileIo, WritableFileInALockedFolderIsWrittenInPlace) {
    const fs::path locked = dir_ / "locked";
    fs::create_directory(locked);
    const fs::path f = locked / "f.vku";
    Put(f, std::string(30000, 'o'));  // longer than the new content: cut to length
    ASSERT_EQ(::chown(f.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(f.c_str(), 0640), 0);
    ASSERT_EQ(::chmod(locked.c_str(), 0755), 0);
    const auto before = Facts(f);
    ASSERT_EQ(AsNobody("SaveNew", {f}), 0);
    auto after = Facts(f);
    EXPECT_EQ(after.bytes, kNew);
    after.bytes = before.bytes;
    EXPECT_EQ(after, before);  // same file, mode, owner
}

TEST_F(FileIo, HardLinkedFileIsWrittenThroughEveryName) {
    const fs::path a = dir_ / "a.vku";
    const fs::path b = dir_ / "b.vku";
    Put(a, kOld);
    fs::create_hard_link(a, b);
    ASSERT_EQ(Save(a, kNew), 0);
    EXPECT_EQ(Facts(a).bytes, kNew);
    EXPECT_EQ(Facts(b).bytes, kNew);
    EXPECT_EQ(Facts(a).links, 2u);
    EXPECT_EQ(Facts(a).inode, Facts(b).inode);
    EXPECT_FALSE(TempLeft(dir_));
}

TEST_F(FileIo, ReplacedFileKeepsOwnerGroupAndModeAndIsNeverWidened) {
    // Root saving over another user's private file.
    const fs::path f = dir_ / "theirs.vku";
    Put(f, kOld);
    ASSERT_EQ(::chown(f.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(f.c_str(), 0600), 0);
    ASSERT_EQ(Save(f, kNew), 0);
    auto after = Facts(f);
    EXPECT_EQ(after.bytes, kNew);
    EXPECT_EQ(after.uid, kNobody);
    EXPECT_EQ(after.gid, kNobody);
    EXPECT_EQ(after.mode, 0600u);

    // A user who may write root's shared file but cannot give a new file
    // root's ownership: the file is written in place and stays root's.
    const fs::path shared = dir_ / "shared.vku";
    Put(shared, kOld);
    ASSERT_EQ(::chown(shared.c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0666), 0);
    ASSERT_EQ(AsNobody("SaveNew", {shared}), 0);
    after = Facts(shared);
    EXPECT_EQ(after.bytes, kNew);
    EXPECT_EQ(after.uid, 0u);
    EXPECT_EQ(after.mode, 0666u);

    // A new file gets 0666 less the umask.
    const mode_t mask = ::umask(022);
    ASSERT_EQ(Save(dir_ / "new.vku", kNew), 0);
    ::umask(mask);
    EXPECT_EQ(Facts(dir_ / "new.vku").mode, 0644u);
    EXPECT_FALSE(TempLeft(dir_));
}

TEST_F(FileIo, LinksAreFollowedAndKeptAndNonRegularTargetsNeverReplaced) {
    const fs::path dangling = dir_ / "dangling.vku";
    const fs::path relative = dir_ / "relative.vku";
    const fs::path chain = dir_ / "chain.vku";
    fs::create_symlink(dir_ / "sub" / "made.vku", dangling);
    fs::create_directory(dir_ / "sub");
    Put(dir_ / "sub" / "real.vku", kOld);
    fs::create_symlink("sub/real.vku", relative);
    // A link to a link in a linked folder, relative to where each one lies.
    fs::create_directory_symlink("sub", dir_ / "subdir");
    fs::create_symlink("real.vku", dir_ / "sub" / "again.vku");
    fs::create_symlink("subdir/again.vku", chain);

    EXPECT_EQ(Save(dangling, kNew), 0);
    EXPECT_EQ(Save(relative, kNew), 0);
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(Facts(dir_ / "sub" / "made.vku").bytes, kNew);
    EXPECT_TRUE(fs::is_symlink(relative));
    EXPECT_EQ(Facts(dir_ / "sub" / "real.vku").bytes, kNew);
    EXPECT_EQ(Save(chain, kOld), 0);
    EXPECT_EQ(Facts(dir_ / "sub" / "real.vku").bytes, kOld);
    EXPECT_TRUE(fs::is_symlink(chain));
    EXPECT_TRUE(fs::is_symlink(dir_ / "sub" / "again.vku"));

    // A FIFO nobody reads fails at once instead of waiting for a reader.
    const fs::path fifo = dir_ / "fifo.vku";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    EXPECT_EQ(Save(fifo, kNew), ENXIO);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(Save(dir_, kNew), EISDIR);
    EXPECT_EQ(ReplaceFileContents("", kNew), std::errc::invalid_argument);
    EXPECT_FALSE(TempLeft(dir_));
    EXPECT_FALSE(TempLeft(dir_ / "sub"));
}

TEST_F(FileIo, NamesAreLookedUpAsTheSystemLooksThemUp) {
    fs::create_directories(dir_ / "a" / "b");
    Put(dir_ / "a" / "f.vku", kOld);
    // ".." after a linked folder is the parent of where the link leads.
    fs::create_directory_symlink(dir_ / "a" / "b", dir_ / "to-b");
    EXPECT_EQ(Save(dir_ / "to-b" / ".." / "f.vku", kNew), 0);
    EXPECT_EQ(Facts(dir_ / "a" / "f.vku").bytes, kNew);
    EXPECT_EQ(Save(fs::path(dir_.string() + "//a/./b//g.vku"), kNew), 0);
    EXPECT_EQ(Facts(dir_ / "a" / "b" / "g.vku").bytes, kNew);

    // Relative to the working folder.
    const fs::path cwd = fs::current_path();
    fs::current_path(dir_ / "a");
    EXPECT_EQ(ReplaceFileContents("rel.vku", kNew).value(), 0);
    EXPECT_EQ(ReplaceFileContents("b/../rel2.vku", kNew).value(), 0);
    fs::current_path(cwd);
    EXPECT_EQ(Facts(dir_ / "a" / "rel.vku").bytes, kNew);
    EXPECT_EQ(Facts(dir_ / "a" / "rel2.vku").bytes, kNew);

    // A trailing slash asks for a folder; a file on the way is no folder.
    EXPECT_EQ(Save(fs::path((dir_ / "a" / "f.vku").string() + "/"), kNew), ENOTDIR);
    EXPECT_EQ(Save(fs::path((dir_ / "a").string() + "/"), kNew), EISDIR);
    EXPECT_EQ(Save(fs::path((dir_ / "new").string() + "/"), kNew), ENOENT);
    EXPECT_EQ(Save(dir_ / "a" / "f.vku" / "x.vku", kNew), ENOTDIR);
    EXPECT_EQ(Save(dir_ / "missing" / "x.vku", kNew), ENOENT);
    EXPECT_EQ(ReplaceFileContents("/", kNew), std::errc::is_a_directory);

    // Links in a circle end, as the system's do.
    fs::create_symlink("loop2.vku", dir_ / "loop1.vku");
    fs::create_symlink("loop1.vku", dir_ / "loop2.vku");
    EXPECT_EQ(Save(dir_ / "loop1.vku", kNew), ELOOP);
    EXPECT_FALSE(TempLeft(dir_));
    EXPECT_FALSE(TempLeft(dir_ / "a"));
}

TEST_F(FileIo, AFolderOnTheWayThatTheUserMayNotSearchIsRefused) {
    const fs::path closed = dir_ / "closed";
    fs::create_directory(closed);
    Put(closed / "f.vku", kOld);
    ASSERT_EQ(::chmod((closed / "f.vku").c_str(), 0666), 0);
    ASSERT_EQ(::chmod(closed.c_str(), 0700), 0);
    EXPECT_EQ(AsNobody("SaveNew", {closed / "f.vku"}), EACCES);
    EXPECT_EQ(Facts(closed / "f.vku").bytes, kOld);
    // Search without read is enough to save there.
    ASSERT_EQ(::chmod(closed.c_str(), 0711), 0);
    EXPECT_EQ(AsNobody("SaveNew", {closed / "f.vku"}), 0);
    EXPECT_EQ(Facts(closed / "f.vku").bytes, kNew);
}

TEST_F(FileIo, NamesUpToTheLongestLegalOneAreSaved) {
    for (std::size_t len : {243u, 250u, 255u}) {
        const fs::path f = dir_ / std::string(len, 'L');
        EXPECT_EQ(Save(f, kNew), 0) << len;
        EXPECT_EQ(Save(f, kOld), 0) << len;
        EXPECT_EQ(Facts(f).bytes, kOld);
    }
    EXPECT_EQ(Save(dir_ / std::string(256, 'L'), kNew), ENAMETOOLONG);
    // Bytes that are no UTF-8 go through unchanged.
    const fs::path odd = dir_ / "r\xff.vku";
    EXPECT_EQ(Save(odd, kNew), 0);
    EXPECT_TRUE(fs::exists(odd));
}

TEST_F(FileIo, FullDiskFailsAndLeavesTheOldFileWhole) {
    test::FullDisk disk(dir_ / "disk");
    const fs::path kept = disk.dir() / "kept.vku";
    const fs::path linked = disk.dir() / "linked.vku";
    const fs::path fresh = disk.dir() / "fresh.vku";
    Put(kept, kOld);
    Put(linked, kOld);
    fs::create_hard_link(linked, disk.dir() / "other-name.vku");
    disk.Fill();
    const auto keptBefore = Facts(kept);
    const auto linkedBefore = Facts(linked);

    EXPECT_NE(disk.Run("SaveNew", {kept}), 0);
    EXPECT_NE(disk.Run("SaveNew", {linked}), 0);  // in place
    EXPECT_NE(disk.Run("SaveNew", {fresh}), 0);
    EXPECT_EQ(Facts(kept), keptBefore);
    EXPECT_EQ(Facts(linked), linkedBefore);
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_FALSE(TempLeft(disk.dir()));
}

const char* OpName(FileOp op) {
    switch (op) {
        case FileOp::Write:
            return "write";
        case FileOp::SyncFile:
            return "sync-file";
        case FileOp::Rename:
            return "rename";
        case FileOp::SyncFolder:
            return "sync-folder";
        case FileOp::Reserve:
            return "reserve";
        case FileOp::Truncate:
            return "truncate";
    }
    return "?";
}

}  // namespace

void PrintTo(FileOp op, std::ostream* os) {
    *os << OpName(op);
}

namespace {

using Ops = std::vector<FileOp>;

// Records the operations of the saves made while it lives (a run of writes as
// one) and makes the operation `failing` fail with `failWith`.
class OpRecorder {
  public:
    OpRecorder() {
        previous_ = SetFileOpObserver([this](FileOp op, int error) {
            if (op != FileOp::Write || ops.empty() || ops.back() != FileOp::Write) {
                ops.push_back(op);
            }
            return op == failing && error == 0 ? failWith : error;
        });
    }
    ~OpRecorder() { SetFileOpObserver(previous_); }
    OpRecorder(const OpRecorder&) = delete;
    OpRecorder& operator=(const OpRecorder&) = delete;

    Ops ops;
    std::optional<FileOp> failing;
    int failWith = EIO;

  private:
    FileOpObserver previous_;
};

// Only these operations show whether a power cut can cost the old file; no
// test on a real disk can see them.
TEST_F(FileIo, TheNewFileIsFlushedBeforeTheRenameAndTheFolderAfterIt) {
    const fs::path f = dir_ / "f.vku";
    {
        OpRecorder rec;
        ASSERT_EQ(Save(f, kOld), 0);
        EXPECT_EQ(rec.ops,
                  (Ops{FileOp::Write, FileOp::SyncFile, FileOp::Rename, FileOp::SyncFolder}));
    }
    OpRecorder rec;
    ASSERT_EQ(Save(f, kNew), 0);
    EXPECT_EQ(rec.ops, (Ops{FileOp::Write, FileOp::SyncFile, FileOp::Rename, FileOp::SyncFolder}));
    EXPECT_EQ(Facts(f).bytes, kNew);
}

TEST_F(FileIo, AFailedWriteOrFlushKeepsTheOldFileAndEveryFailureIsSaid) {
    const fs::path f = dir_ / "f.vku";
    Put(f, kOld);
    const auto before = Facts(f);
    // (The observer hears of an operation after it ran: a rename cannot be
    // made to fail before it.)
    for (FileOp op : {FileOp::Write, FileOp::SyncFile}) {
        OpRecorder rec;
        rec.failing = op;
        EXPECT_EQ(Save(f, kNew), EIO) << OpName(op);
        EXPECT_EQ(Facts(f), before) << OpName(op);
        EXPECT_FALSE(TempLeft(dir_)) << OpName(op);
        EXPECT_EQ(rec.ops.back(), op) << "went on after a failed " << OpName(op);
    }
    // The new content is in place, but may not survive a power cut: said too.
    OpRecorder rec;
    rec.failing = FileOp::SyncFolder;
    EXPECT_EQ(Save(f, kNew), EIO);
    EXPECT_FALSE(TempLeft(dir_));
}

TEST_F(FileIo, InPlaceTheSpaceIsReservedFirstAndAFailedReservationLeavesTheOldLength) {
    // A second name makes the save write in place.
    const fs::path a = dir_ / "a.vku";
    Put(a, kOld);
    fs::create_hard_link(a, dir_ / "b.vku");
    const auto before = Facts(a);
    {
        // The reservation grows the file, then says the disk is full (as
        // one that failed part-way does): the old length comes back.
        OpRecorder rec;
        rec.failing = FileOp::Reserve;
        rec.failWith = ENOSPC;
        EXPECT_EQ(Save(a, kNew), ENOSPC);
        EXPECT_EQ(rec.ops, (Ops{FileOp::Reserve, FileOp::Truncate}));
        EXPECT_EQ(Facts(a), before);
    }
    for (FileOp op : {FileOp::Truncate, FileOp::SyncFile}) {
        OpRecorder rec;
        rec.failing = op;
        EXPECT_EQ(Save(a, kNew), EIO) << OpName(op);
    }
    OpRecorder rec;
    ASSERT_EQ(Save(a, kOld), 0);
    EXPECT_EQ(rec.ops, (Ops{FileOp::Reserve, FileOp::Write, FileOp::Truncate, FileOp::SyncFile}));
    EXPECT_EQ(Facts(dir_ / "b.vku").bytes, kOld);
    EXPECT_EQ(Facts(a).links, 2u);
}

TEST_F(FileIo, OnlyRegularFilesAreReadAndNothingWaits) {
    std::string out = "stale";
    const fs::path f = dir_ / "f";
    Put(f, kOld);
    ASSERT_FALSE(ReadFileStart(f.string(), 5, out));
    EXPECT_EQ(out, kOld.substr(0, 5));
    ASSERT_FALSE(ReadFileStart(f.string(), 1000, out));
    EXPECT_EQ(out, kOld);

    const fs::path fifo = dir_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    const fs::path sock = dir_ / "sock";
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sock.c_str());
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadFileStart(fifo.string(), 100, out), std::errc::invalid_argument);
    EXPECT_EQ(ReadFileStart(sock.string(), 100, out), std::errc::invalid_argument);
    EXPECT_EQ(ReadFileStart("/dev/zero", 100, out), std::errc::invalid_argument);
    EXPECT_EQ(ReadFileStart(dir_.string(), 100, out), std::errc::is_a_directory);
    EXPECT_EQ(ReadFileStart((dir_ / "missing").string(), 100, out),
              std::errc::no_such_file_or_directory);
    EXPECT_TRUE(out.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    ::close(s);
}

}  // namespace
}  // namespace vark::platform
