// What the tests of vark-cli's archive commands share: a private home with
// its data and settings folders, vark-cli run there through the shell, record
// files of their own, and the archive's rows read straight from the file.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "records/record_file.h"
#include "records/sample_records.h"
#include "testing/temp_dir.h"

namespace vark::test {

namespace fs = std::filesystem;

inline std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct Ran {
    int status;
    std::string out;
    std::string err;
};

// A block that no other test makes: `seed` sets the reserved byte of its first record.
inline RecordBlock Distinct(int seed, int count = 20) {
    RecordBlock b{};
    b.count = static_cast<std::uint8_t>(count);
    for (int i = 0; i < count; ++i) {
        b.slots[i] = RecordBuilder(10).Straight().Grounds().Reserved(i == 0 ? seed : 0).Build();
    }
    if (count > 1) {
        b.slots[1] =
            RecordBuilder(10).Straight().Reserved(static_cast<std::uint8_t>(seed >> 8)).Build();
    }
    return b;
}

// The production run (20 records of a 10-pin harness: 14 alike, an open, a
// short, a crossed pair, open grounds, an error, a 12-pin cable) with bytes
// of its own.
inline RecordBlock ProductionRun(int seed) {
    RecordBlock b = ProductionRunBlock();
    b.slots[1].bytes[kReservedOffset] = static_cast<std::uint8_t>(seed);
    return b;
}

class ArchiveCli : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        // Other users (the read-only case) must reach the archive's folder.
        fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
        fs::create_directories(dir_.path() / "config" / "vark-u");
    }

    fs::path Dir() const { return dir_.path(); }
    fs::path ArchiveFile() const { return Dir() / "data" / "vark-u" / "archive.sqlite3"; }
    std::string Env() const {
        return "XDG_DATA_HOME='" + (Dir() / "data").string() + "' XDG_CONFIG_HOME='" +
               (Dir() / "config").string() + "' VARK_ARCHIVE= ";
    }
    void Settings(const std::string& text) {
        std::ofstream(Dir() / "config" / "vark-u" / "vark-u.conf") << "[General]\n" << text;
    }

    // vark-cli through the shell, `prefix` before it (a limit, another user).
    Ran Cli(const std::string& args, const std::string& prefix = "") {
        const std::string cmd = "cd '" + Dir().string() + "' && " + Env() + prefix + " " +
                                VARK_CLI_PATH + " " + args + " >'" + (Dir() / "out").string() +
                                "' 2>'" + (Dir() / "err").string() + "'";
        const int rc = std::system(cmd.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, Read(Dir() / "out"), Read(Dir() / "err")};
    }

    std::string SaveBlock(const std::string& name, const RecordBlock& block) {
        const fs::path p = Dir() / name;
        EXPECT_EQ(WriteRecordFile(p, block), FileStatus::Ok);
        return p.string();
    }

    // The UUID in "... run UUID ...".
    static std::string RunIn(const std::string& text) {
        std::smatch m;
        static const std::regex kUuid(
            "run ([0-9a-f]{8}-[0-9a-f]{4}-7[0-9a-f]{3}-[0-9a-f]{4}-[0-9a-f]{12})");
        return std::regex_search(text, m, kUuid) ? m[1].str() : std::string();
    }

    int Runs(const std::string& extra = "") {
        const Ran r = Cli("archive list --format csv " + extra);
        EXPECT_EQ(r.status, 0) << r.err;
        return static_cast<int>(std::count(r.out.begin(), r.out.end(), '\n')) - 1;
    }

    // The archive's content as its rows, for "left as it was" (the file's
    // bytes are compared where no program may have opened it for writing).
    std::string Rows() {
        sqlite3* db = nullptr;
        std::string out;
        if (sqlite3_open_v2(ArchiveFile().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
            SQLITE_OK) {
            sqlite3_exec(
                db,
                "SELECT uuid, lot, hex(block) FROM run UNION ALL SELECT uuid, field, new_value "
                "FROM amendment UNION ALL SELECT run_id, slot, connections FROM record",
                [](void* o, int n, char** v, char**) {
                    for (int i = 0; i < n; ++i) {
                        *static_cast<std::string*>(o) += std::string(v[i] ? v[i] : "-") + "|";
                    }
                    *static_cast<std::string*>(o) += "\n";
                    return 0;
                },
                &out, nullptr);
        }
        sqlite3_close(db);
        return out;
    }

    test::TempDir dir_;
};

}  // namespace vark::test
