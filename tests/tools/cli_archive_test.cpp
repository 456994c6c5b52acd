// vark-cli's archive as a user meets it: uploads from the simulator kept and
// exported byte for byte, imports, amendments and voids, lists, and the
// archives it must not write (newer, damaged, read-only, full, locked), each
// left as it was; writers at once, and a writer killed mid-commit.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <thread>

#include "records/record_file.h"
#include "records/sample_records.h"
#include "testing/sim_process.h"
#include "tests/tools/archive_cli_fixture.h"

extern char** environ;

namespace vark {
namespace {

using test::ArchiveCli;
using test::Distinct;
using test::Ran;
using test::Read;
namespace fs = std::filesystem;

TEST_F(ArchiveCli, AnUploadIsArchivedAndExportsAsTheFileItSaved) {
    test::SimProcess sim({"--fast", "--records", "100"});
    Ran r = Cli("upload --port " + sim.device() +
                " -o up --lot 'LOT 7' --part P-1 --operator bob --note 'first, \"quoted\"'");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string run = RunIn(r.out);
    ASSERT_FALSE(run.empty()) << r.out;
    EXPECT_NE(r.out.find("100 records saved to up.vku"), std::string::npos);

    r = Cli("archive export " + run.substr(0, 13) + " -o exported");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Read(Dir() / "exported.vku"), Read(Dir() / "up.vku"));
    EXPECT_EQ(Read(Dir() / "exported.vku").size(), 16u + 24901u);

    r = Cli("archive list --format csv");
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\"" + run + "\","), std::string::npos);
    EXPECT_NE(r.out.find("\"LOT 7\",\"P-1\",\"bob\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"" + sim.device() + "\""), std::string::npos);
    EXPECT_NE(r.out.find("\"first, \"\"quoted\"\"\"\r\n"), std::string::npos) << r.out;

    // The same memory again: kept, marked, counted once.
    r = Cli("upload --port " + sim.device() + " --lot 'LOT 7'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(", a repeat of run " + run), std::string::npos) << r.out;
    EXPECT_EQ(Runs(), 1);
    EXPECT_EQ(Runs("--repeats"), 2);
    r = Cli("archive check");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("1 runs (0 voided, 1 repeats), 100 records"), std::string::npos) << r.out;
}

TEST_F(ArchiveCli, ANotArchivedUploadStillSavesItsRecordsAndSaysWhy) {
    test::SimProcess sim({"--fast"});
    const std::string notArchive = SaveBlock("not-an-archive.vku", SampleBlock());
    const std::string before = Read(notArchive);
    Ran r = Cli("upload --port " + sim.device() + " -o up --archive " + notArchive);
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.err,
              "not archived: " + notArchive + " is not an archive (file is not a database)\n");
    EXPECT_NE(r.out.find("records saved to up.vku"), std::string::npos);
    EXPECT_TRUE(fs::exists(Dir() / "up.vku"));
    EXPECT_EQ(Read(notArchive), before);

    // Records that would go nowhere, and contradicting options, are wrong usage.
    EXPECT_EQ(Cli("upload --port " + sim.device() + " --no-archive").status, 2);
    EXPECT_EQ(Cli("upload --port " + sim.device() + " -o x --archive a --no-archive").status, 2);
    Settings("archive_enabled=false\n");
    EXPECT_EQ(Cli("upload --port " + sim.device()).status, 2);
    r = Cli("upload --port " + sim.device() + " -o off");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("archived"), std::string::npos);
    EXPECT_FALSE(fs::exists(ArchiveFile()));
}

TEST_F(ArchiveCli, ImportsKeepTheFileAndAFileImportedTwiceIsOneRun) {
    const std::string a = SaveBlock("a.vku", Distinct(1));
    const std::string b = SaveBlock("b.vku", Distinct(2));
    std::ofstream(Dir() / "bad.vku") << "not a record file";
    Ran r = Cli("archive import a.vku bad.vku b.vku --lot L1 --part P");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "bad.vku: File data err!\n");
    const std::string runA = RunIn(r.out);
    EXPECT_NE(r.out.find("b.vku: archived as run"), std::string::npos) << r.out;
    r = Cli("archive import a.vku --lot L2");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "a.vku: already archived as run " + runA + "\n");
    EXPECT_EQ(Runs(), 2);
    EXPECT_EQ(Runs("--lot L1"), 2);
    EXPECT_EQ(Runs("--lot L2"), 0);
    r = Cli("archive show " + runA);
    EXPECT_NE(r.out.find("source: import of " + a + " (SHA-256 "), std::string::npos) << r.out;
    r = Cli("archive export " + runA + " -o back.vku");
    EXPECT_EQ(Read(Dir() / "back.vku"), Read(a));
    // Opening a file archives nothing.
    EXPECT_EQ(Cli("show b.vku").status, 0);
    EXPECT_EQ(Runs(), 2);
}

TEST_F(ArchiveCli, AmendAndVoidKeepTheHistory) {
    SaveBlock("a.vku", Distinct(3));
    SaveBlock("b.vku", Distinct(4));
    const std::string run = RunIn(Cli("archive import a.vku --lot L-1 --operator ann").out);
    Cli("archive import b.vku --lot L-1");
    Ran r = Cli("archive amend " + run + " --lot L-2 --operator bob --why 'wrong lot' --by carol");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "run " + run + ": lot \"L-1\" -> \"L-2\"\nrun " + run +
                         ": operator \"ann\" -> \"bob\"\n");
    r = Cli("archive show " + run);
    EXPECT_NE(r.out.find("lot: L-2\n"), std::string::npos);
    EXPECT_NE(r.out.find("operator: bob\n"), std::string::npos);
    EXPECT_NE(r.out.find(" by carol at "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(": lot \"L-1\" -> \"L-2\" because wrong lot\n"), std::string::npos);
    EXPECT_EQ(Runs("--lot L-2"), 1);
    EXPECT_EQ(Runs("--lot L-1"), 1);
    EXPECT_EQ(Runs("--operator bob"), 1);

    r = Cli("archive void " + run.substr(0, 30) + " --why 'uploaded by mistake'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Runs(), 1);
    EXPECT_EQ(Runs("--voided"), 2);
    EXPECT_NE(Cli("archive list --voided").out.find("voided"), std::string::npos);
    EXPECT_EQ(Cli("archive void " + run + " --why again").status, 1);

    // Usage and naming.
    EXPECT_EQ(Cli("archive amend " + run + " --lot L-3").status, 2);  // no reason
    EXPECT_EQ(Cli("archive amend " + run + " --why x").status, 2);    // nothing to amend
    EXPECT_EQ(Cli("archive void " + run + " --lot x --why y").status, 2);
    r = Cli("archive amend 0 --lot L-3 --why x");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "0 names more than one run; give more of its UUID\n");
    r = Cli("archive show ffffffff");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "no run ffffffff in the archive\n");
    EXPECT_EQ(Cli("archive check").status, 0);
}

TEST_F(ArchiveCli, ListsInEachFormatNewestFirst) {
    SaveBlock("a.vku", Distinct(5));
    SaveBlock("b.vku", Distinct(6));
    const std::string first = RunIn(Cli("archive import a.vku --lot 'L\t1' --part P").out);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const std::string second = RunIn(Cli("archive import b.vku --lot L2").out);
    Ran r = Cli("archive list");
    ASSERT_EQ(r.status, 0);
    const auto lines = std::count(r.out.begin(), r.out.end(), '\n');
    EXPECT_EQ(lines, 3);
    EXPECT_EQ(r.out.rfind("RUN\tSTARTED\tLOT\tPART\tOPERATOR\tSTATION\tTESTER\t", 0), 0u);
    EXPECT_LT(r.out.find(second), r.out.find(first));
    for (std::size_t pos = 0, line = 0; line < 3; ++line) {
        const std::size_t end = r.out.find('\n', pos);
        const std::string row = r.out.substr(pos, end - pos);
        EXPECT_EQ(std::count(row.begin(), row.end(), '\t'), 10) << row;
        pos = end + 1;
    }
    r = Cli("archive list --format json --limit 1");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("[\n  {\"run\": \"" + second + "\", \"started\": \"", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find(first), std::string::npos);
    EXPECT_NE(r.out.find("\"source\": \"import\""), std::string::npos);
    r = Cli("archive list --format json --lot 'L\t1'");
    EXPECT_NE(r.out.find("\"lot\": \"L\\u00091\""), std::string::npos) << r.out;
    r = Cli("archive list --format csv --offset 1");
    EXPECT_EQ(r.out.rfind("\"Run\",\"Started\",", 0), 0u);
    EXPECT_NE(r.out.find(first), std::string::npos);
    EXPECT_EQ(r.out.find(second), std::string::npos);
    EXPECT_EQ(Runs("--since 2000-01-01 --until 2999-12-31"), 2);
    EXPECT_EQ(Runs("--text l2"), 1);
    EXPECT_EQ(Runs("--verdicts unjudged"), 2);
    EXPECT_EQ(Runs("--verdicts same"), 0);
    r = Cli("archive list --format csv --sort lot --ascending");
    EXPECT_LT(r.out.find(first), r.out.find(second)) << r.out;  // "L\t1" before "L2"
    r = Cli("archive list --format csv --sort lot");
    EXPECT_LT(r.out.find(second), r.out.find(first)) << r.out;
    EXPECT_EQ(Runs("--until 2000-01-01T10:00Z"), 0);
    EXPECT_EQ(Runs("--since 2999-01-01"), 0);
    for (const char* bad :
         {"--since 2024-13-01", "--until yesterday", "--limit -1", "--format xml", "--limit",
          "--lot", "--sort size", "--verdicts good", "--ascending x"}) {
        EXPECT_EQ(Cli(std::string("archive list ") + bad).status, 2) << bad;
    }
    EXPECT_EQ(Cli("archive").status, 2);
    EXPECT_EQ(Cli("archive frobnicate").status, 2);
    r = Cli("archive --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("backup FILE"), std::string::npos);
}

TEST_F(ArchiveCli, ReadingCommandsNeverCreateAnArchive) {
    for (const char* cmd :
         {"archive list", "archive check", "archive show 01", "archive backup x"}) {
        const Ran r = Cli(cmd);
        EXPECT_EQ(r.status, 1) << cmd;
        EXPECT_EQ(r.err, "there is no archive at " + ArchiveFile().string() + "\n") << cmd;
    }
    EXPECT_FALSE(fs::exists(Dir() / "data"));
}

TEST_F(ArchiveCli, CheckAndBackup) {
    SaveBlock("a.vku", Distinct(7));
    Cli("archive import a.vku");
    Ran r = Cli("archive backup copy.sqlite3");
    ASSERT_EQ(r.status, 0) << r.err;
    r = Cli("archive check --archive copy.sqlite3");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "copy.sqlite3: schema 4, 1 runs (0 voided, 0 repeats), 20 records, 0 "
              "amendments\nok\n");
    const std::string before = Read(Dir() / "copy.sqlite3");
    r = Cli("archive backup copy.sqlite3");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "copy.sqlite3 exists; a backup never replaces a file\n");
    EXPECT_EQ(Read(Dir() / "copy.sqlite3"), before);
}

// Archives the program must not write: refused by every command, with the
// reason, and left exactly as they were.
TEST_F(ArchiveCli, NewerAndDamagedArchivesAreRefusedAndLeftAsTheyWere) {
    SaveBlock("a.vku", Distinct(8));
    SaveBlock("b.vku", Distinct(9));
    for (int i = 0; i < 30; ++i) {
        SaveBlock("many.vku", Distinct(100 + i, 100));
        ASSERT_EQ(Cli("archive import many.vku").status, 0);
    }
    ASSERT_EQ(Cli("archive import a.vku").status, 0);
    const fs::path newer = Dir() / "newer.sqlite3";
    const fs::path damaged = Dir() / "damaged.sqlite3";
    fs::copy_file(ArchiveFile(), newer);
    fs::copy_file(ArchiveFile(), damaged);
    {
        sqlite3* db = nullptr;
        sqlite3_open(newer.c_str(), &db);
        ASSERT_EQ(sqlite3_exec(db, "INSERT INTO schema_version VALUES (99, 0, 'future')", nullptr,
                               nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
        std::string bytes = Read(damaged);
        for (std::size_t i = 8192; i < bytes.size(); i += 4096) {
            std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(i), 64, '\x5a');
        }
        std::ofstream(damaged, std::ios::binary | std::ios::trunc) << bytes;
    }
    test::SimProcess sim({"--fast"});
    for (const fs::path& file : {newer, damaged}) {
        const std::string before = Read(file);
        const std::string opt = " --archive " + file.string();
        const Ran import = Cli("archive import b.vku" + opt);
        EXPECT_EQ(import.status, 1) << file;
        const Ran upload = Cli("upload --port " + sim.device() + " -o up" + opt);
        EXPECT_EQ(upload.status, 4) << upload.err;
        EXPECT_EQ(upload.err.rfind("not archived: ", 0), 0u) << upload.err;
        EXPECT_EQ(Cli("archive amend 0 --lot x --why y" + opt).status, 1);
        const Ran check = Cli("archive check" + opt);
        EXPECT_EQ(check.status, 1) << check.out;
        EXPECT_EQ(Read(file), before) << file;
        if (file == newer) {
            EXPECT_NE(import.err.find("newer version of the program (schema 99, this one knows up "
                                      "to 4); it is left untouched"),
                      std::string::npos)
                << import.err;
        } else {
            EXPECT_NE(upload.err.find("is damaged"), std::string::npos) << upload.err;
        }
    }
}

// Root writes whatever the modes say: the other user is a new process,
// started with its privileges dropped before vark-cli runs.
TEST_F(ArchiveCli, AReadOnlyArchiveIsReadButNotWritten) {
    SaveBlock("a.vku", Distinct(10));
    SaveBlock("b.vku", Distinct(11));
    ASSERT_EQ(Cli("archive import a.vku --lot L").status, 0);
    fs::permissions(Dir() / "b.vku", fs::perms::all);
    const std::string before = Rows();
    const std::string bytes = Read(ArchiveFile());
    const std::string nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    Ran r = Cli("archive import b.vku", nobody);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot be written"), std::string::npos) << r.err;
    test::SimProcess sim({"--fast"});
    ::chmod(sim.device().c_str(), 0666);
    r = Cli("upload --port " + sim.device() + " --lot L", nobody);
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_EQ(r.err.rfind(
                  "not archived: the archive " + ArchiveFile().string() + " cannot be written", 0),
              0u)
        << r.err;
    EXPECT_EQ(Rows(), before);
    EXPECT_EQ(Read(ArchiveFile()), bytes);
    r = Cli("archive list --lot L", nobody);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
}

// A full disk two ways: a file-size limit set on a new process before
// vark-cli runs, and a small file system filled up (where this user may
// mount one).
TEST_F(ArchiveCli, AFullDiskFailsTheWriteAndLeavesTheArchiveWhole) {
    SaveBlock("a.vku", Distinct(12));
    SaveBlock("big.vku", Distinct(13, 100));
    ASSERT_EQ(Cli("archive import a.vku").status, 0);
    const std::string before = Rows();
    // Room for SQLite's shared-memory file (32 KB) and a little more, not for
    // the write-ahead log of a run of 100 records, whatever the archive's size.
    const std::string limited =
        "sh -c 'trap \"\" XFSZ; exec prlimit --fsize=" + std::to_string(32768 + 4096) +
        " \"$0\" \"$@\"'";
    Ran r = Cli("archive import big.vku", limited);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "big.vku: not archived: the archive " + ArchiveFile().string() +
                         " could not be written (disk I/O error)\n");
    EXPECT_EQ(Rows(), before);
    EXPECT_EQ(Cli("archive check").status, 0);

    const fs::path small = Dir() / "small";
    fs::create_directories(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=512k,mode=0777") != 0) {
        return;  // the file-size limit above stands for the full disk here
    }
    struct Unmount {
        fs::path p;
        ~Unmount() { ::umount2(p.c_str(), MNT_DETACH); }
    } unmount{small};
    const std::string opt = " --archive " + (small / "archive.sqlite3").string();
    ASSERT_EQ(Cli("archive import a.vku" + opt).status, 0);
    {
        std::ofstream filler(small / "filler", std::ios::binary);
        const std::string chunk(4096, 'x');
        while (filler.write(chunk.data(), chunk.size()) && filler.flush()) {
        }
    }
    const std::string full = Read(small / "archive.sqlite3");
    r = Cli("archive import big.vku" + opt);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is full"), std::string::npos) << r.err;
    EXPECT_EQ(Read(small / "archive.sqlite3"), full);
    fs::remove(small / "filler");
    EXPECT_EQ(Cli("archive check" + opt).status, 0);
    r = Cli("archive import big.vku" + opt);
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(ArchiveCli, AnArchiveHeldTooLongByAnotherWriterIsSaidAndUntouched) {
    SaveBlock("a.vku", Distinct(14));
    SaveBlock("b.vku", Distinct(15));
    ASSERT_EQ(Cli("archive import a.vku").status, 0);
    Settings("archive_wait_ms=300\n");
    const std::string before = Rows();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(ArchiveFile().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    Ran r = Cli("archive import b.vku");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "b.vku: not archived: the archive " + ArchiveFile().string() +
                         " was held by another program for more than 300 ms\n");
    test::SimProcess sim({"--fast"});
    r = Cli("upload --port " + sim.device());
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find("held by another program"), std::string::npos);
    // Lists go on while a writer holds the archive.
    EXPECT_EQ(Runs(), 1);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(Rows(), before);
    // A writer that finishes within the wait is waited for.
    Settings("");
    ASSERT_EQ(sqlite3_open(ArchiveFile().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::thread release([db] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    });
    r = Cli("archive import b.vku");
    release.join();
    sqlite3_close(db);
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(ArchiveCli, WritersAtOnceLoseNothing) {
    constexpr int kWriters = 3;
    constexpr int kFiles = 8;
    std::string script;
    for (int w = 0; w < kWriters; ++w) {
        script += "( ";
        for (int f = 0; f < kFiles; ++f) {
            const std::string name = "w" + std::to_string(w) + "-" + std::to_string(f) + ".vku";
            SaveBlock(name, Distinct(1000 + w * 100 + f, 100));
            script += std::string(VARK_CLI_PATH) + " archive import " + name + " || echo FAILED; ";
        }
        script += ") & ";
    }
    script += "wait";
    const Ran r = Cli("", "sh -c '" + script + "' #");
    EXPECT_EQ(r.out.find("FAILED"), std::string::npos) << r.out << r.err;
    EXPECT_EQ(Runs(), kWriters * kFiles);
    EXPECT_EQ(Cli("archive check").status, 0);
}

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const fs::path& out, const fs::path& err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> envStrings = env;
    for (char** e = environ; *e != nullptr; ++e) {
        envStrings.emplace_back(*e);
    }
    std::vector<char*> argv;
    std::vector<char*> envp;
    auto copy = args;
    for (auto& a : copy) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    for (auto& e : envStrings) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

TEST_F(ArchiveCli, KillingAWriterMidCommitLosesNothingCommitted) {
    SaveBlock("a.vku", Distinct(16));
    ASSERT_EQ(Cli("archive import a.vku").status, 0);
    const std::vector<std::string> env = {"XDG_DATA_HOME=" + (Dir() / "data").string(),
                                          "XDG_CONFIG_HOME=" + (Dir() / "config").string()};
    // Stopped inside its transaction, every row written, COMMIT not yet.
    const std::string held = SaveBlock("held.vku", Distinct(17, 100));
    const pid_t pid = Spawn({VARK_CLI_PATH, "archive", "import", held},
                            {env[0], env[1], "VARK_TEST_HOLD_COMMIT_MS=30000"}, Dir() / "held.out",
                            Dir() / "held.err");
    ASSERT_GT(pid, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Read(Dir() / "held.err").find("holding the commit") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(Read(Dir() / "held.err").find("holding the commit"), std::string::npos);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    Ran check = Cli("archive check");
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_NE(check.out.find("1 runs"), std::string::npos) << check.out;

    // Killed at whatever moment: what was said to be archived is there, the
    // rest is not there at all.
    std::mt19937 random(12345);
    std::set<std::string> said;
    for (int i = 0; i < 15; ++i) {
        const std::string file =
            SaveBlock("k" + std::to_string(i) + ".vku", Distinct(2000 + i, 100));
        const fs::path out = Dir() / ("k" + std::to_string(i) + ".out");
        const pid_t p =
            Spawn({VARK_CLI_PATH, "archive", "import", file}, env, out, Dir() / "k.err");
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
        ::kill(p, SIGKILL);
        ::waitpid(p, &status, 0);
        const std::string run = RunIn(Read(out));
        if (!run.empty()) {
            said.insert(run);
        }
    }
    check = Cli("archive check");
    EXPECT_EQ(check.status, 0) << check.out;
    const std::string listed = Cli("archive list").out;
    for (const std::string& run : said) {
        EXPECT_NE(listed.find(run), std::string::npos) << run;
    }
    EXPECT_EQ(Cli("archive import " + held).status, 0);
}

}  // namespace
}  // namespace vark
