#include "records/record_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "records/pin_map.h"
#include "records/sample_records.h"
#include "tests/support/file_cases.h"

namespace vark {
namespace {

namespace fs = std::filesystem;

// Writes the sample block (with words[1] records when given) to words[0] in a
// process of its own; the file status is the result.
VARK_TEST_STEP(WriteSample) {
    RecordBlock block = SampleBlock();
    if (words.size() > 1) {
        block.count = static_cast<std::uint8_t>(std::stoi(words[1]));
    }
    return static_cast<int>(WriteRecordFile(words.at(0), block));
}

class RecordFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vku-test-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }

    static std::string Bytes(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void Put(const fs::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    }
    static std::string Header(std::uint32_t len, const char* magic = "KelvorVARK-u") {
        std::string h(magic, 12);
        for (int i = 0; i < 4; ++i)
            h += static_cast<char>((len >> (8 * i)) & 0xFF);
        return h;
    }
    static RecordBlock Filled(std::uint8_t value) {
        RecordBlock b;
        std::memset(b.data(), value, kBlockSize);
        return b;
    }

    fs::path dir_;
};

TEST_F(RecordFileTest, ThreeRecordsRoundTrip) {
    RecordBlock block = SampleBlock();
    block.count = 3;
    const fs::path p = dir_ / "three.vku";
    ASSERT_EQ(WriteRecordFile(p, block), FileStatus::Ok);
    const std::string bytes = Bytes(p);
    ASSERT_EQ(bytes.size(), 764u);
    EXPECT_EQ(bytes.substr(0, 12), "KelvorVARK-u");
    EXPECT_EQ(bytes.substr(12, 4), std::string("\xEC\x02\x00\x00", 4));
    EXPECT_EQ(bytes[16], 3);

    RecordBlock back;
    ClearBlock(back);
    ASSERT_EQ(ReadRecordFile(p, back), FileStatus::Ok);
    EXPECT_EQ(back.count, 3);
    EXPECT_EQ(std::memcmp(back.slots, block.slots, 3 * kRecordSize), 0);
    EXPECT_EQ(PinMapTable(back), PinMapTable(block));
}

TEST_F(RecordFileTest, EmptyAndFullBlockSizes) {
    RecordBlock block;
    ClearBlock(block);
    ASSERT_EQ(WriteRecordFile(dir_ / "e.vku", block), FileStatus::Ok);
    EXPECT_EQ(fs::file_size(dir_ / "e.vku"), 17u);
    block = Filled(0x11);
    block.count = 100;
    ASSERT_EQ(WriteRecordFile(dir_ / "f.vku", block), FileStatus::Ok);
    EXPECT_EQ(fs::file_size(dir_ / "f.vku"), 24917u);
}

TEST_F(RecordFileTest, ReadDoesNotClearUncoveredBytes) {
    RecordBlock block = Filled(0xAA);
    Put(dir_ / "zero.vku", Header(0));
    ASSERT_EQ(ReadRecordFile(dir_ / "zero.vku", block), FileStatus::Ok);
    EXPECT_EQ(std::memcmp(block.data(), Filled(0xAA).data(), kBlockSize), 0);

    // Length says 748 but the file ends after the count byte and 10 bytes.
    Put(dir_ / "short.vku", Header(748) + std::string(1, '\x03') + std::string(10, '\x01'));
    ASSERT_EQ(ReadRecordFile(dir_ / "short.vku", block), FileStatus::Ok);
    EXPECT_EQ(block.count, 3);
    EXPECT_EQ(block.slots[0].bytes[9], 0x01);
    EXPECT_EQ(block.slots[0].bytes[10], 0xAA);
    EXPECT_EQ(block.slots[1].bytes[0], 0xAA);
}

TEST_F(RecordFileTest, RefusedFilesLeaveTheBlockUntouched) {
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"short-magic", "KelvorVAR"},
        {"lower-case magic", Header(1, "kelvorvark-u") + std::string(1, '\0')},
        {"ends in length", std::string("KelvorVARK-u\x01\x00", 14)},
        {"length beyond block", Header(24902) + std::string(24902, '\0')},
        {"huge length", Header(0xFFFFFFFFu)},
        {"count above 100", Header(1) + std::string(1, '\x65')},
    };
    for (const auto& [name, bytes] : cases) {
        const fs::path p = dir_ / "bad.bin";
        Put(p, bytes);
        RecordBlock block = Filled(0x5C);
        EXPECT_EQ(ReadRecordFile(p, block), FileStatus::DataError) << name;
        EXPECT_EQ(std::memcmp(block.data(), Filled(0x5C).data(), kBlockSize), 0) << name;
    }
    // Exactly 24,901 bytes and a count of 100 are still accepted.
    RecordBlock full = Filled(0);
    Put(dir_ / "max.xyz", Header(24901) + std::string(1, '\x64') + std::string(24900, '\x07'));
    EXPECT_EQ(ReadRecordFile(dir_ / "max.xyz", full), FileStatus::Ok);
    EXPECT_EQ(full.count, 100);
    EXPECT_EQ(full.slots[99].bytes[248], 7);
}

TEST_F(RecordFileTest, OpenFailures) {
    RecordBlock block = Filled(1);
    EXPECT_EQ(ReadRecordFile(dir_ / "missing.vku", block), FileStatus::OpenFailed);
    EXPECT_EQ(ReadRecordFile(dir_, block), FileStatus::OpenFailed);
    EXPECT_STREQ(FileStatusMessage(FileStatus::OpenFailed), "\n    Open file failed!    \n");
    EXPECT_STREQ(FileStatusMessage(FileStatus::DataError), "\n    File data err!    \n");
    EXPECT_STREQ(FileStatusMessage(FileStatus::SaveFailed), "\n    Save file failed!    \n");
}

TEST_F(RecordFileTest, SaveReplacesAWholeLongerFile) {
    const fs::path p = dir_ / "over.vku";
    Put(p, std::string(30000, 'x'));
    RecordBlock block;
    ClearBlock(block);
    ASSERT_EQ(WriteRecordFile(p, block), FileStatus::Ok);
    EXPECT_EQ(Bytes(p), Header(1) + std::string(1, '\0'));
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 1);
}

TEST_F(RecordFileTest, FailedSaveKeepsTheExistingFile) {
    // As an ordinary user in a folder it may not write: another user's file
    // is refused and stays whole; its own writable file is saved in place.
    const fs::path theirs = dir_ / "theirs.vku";
    const fs::path mine = dir_ / "mine.vku";
    Put(theirs, "precious");
    Put(mine, "mine");
    ASSERT_EQ(::chown(mine.c_str(), test::kNobody, test::kNobody), 0);
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    EXPECT_EQ(test::AsNobody("WriteSample", {theirs}), static_cast<int>(FileStatus::SaveFailed));
    EXPECT_EQ(Bytes(theirs), "precious");
    EXPECT_EQ(test::AsNobody("WriteSample", {mine}), static_cast<int>(FileStatus::Ok));
    RecordBlock back;
    ClearBlock(back);
    ASSERT_EQ(ReadRecordFile(mine, back), FileStatus::Ok);
    EXPECT_EQ(PinMapTable(back), PinMapTable(SampleBlock()));
    EXPECT_EQ(test::Facts(mine).uid, test::kNobody);
}

TEST_F(RecordFileTest, WhatIsNoRegularFileFailsToOpenAtOnce) {
    const fs::path fifo = dir_ / "f.vku";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    RecordBlock block = SampleBlock();
    const RecordBlock before = block;
    for (const fs::path& p : {fifo, fs::path("/dev/zero"), fs::path("/dev/null"), dir_}) {
        EXPECT_EQ(ReadRecordFile(p, block), FileStatus::OpenFailed) << p;
    }
    EXPECT_EQ(std::memcmp(block.data(), before.data(), kBlockSize), 0);
}

TEST_F(RecordFileTest, ShortWriteIsAFailureAndKeepsTheExistingFile) {
    // A file-size limit makes the writes fail part-way, as a full disk would.
    const fs::path p = dir_ / "keep.vku";
    Put(p, "precious");
    test::Conditions limited;
    limited.fileSizeLimit = 100;
    EXPECT_EQ(test::RunStep("WriteSample", {p, "100"}, limited),
              static_cast<int>(FileStatus::SaveFailed))
        << "a short write was reported as success";
    EXPECT_EQ(Bytes(p), "precious");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 1) << "temporary file left";
}

TEST_F(RecordFileTest, SaveIntoMissingDirectoryOrOntoADirectoryFails) {
    RecordBlock block = SampleBlock();
    EXPECT_EQ(WriteRecordFile(dir_ / "no" / "such.vku", block), FileStatus::SaveFailed);
    fs::create_directory(dir_ / "d.vku");
    EXPECT_EQ(WriteRecordFile(dir_ / "d.vku", block), FileStatus::SaveFailed);
}

TEST_F(RecordFileTest, SavingThroughALinkKeepsTheLinkAndPermissions) {
    const fs::path real = dir_ / "real.vku";
    Put(real, "old");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(real, dir_ / "link.vku");
    ASSERT_EQ(WriteRecordFile(dir_ / "link.vku", SampleBlock()), FileStatus::Ok);
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.vku"));
    EXPECT_EQ(Bytes(real).substr(0, 12), "KelvorVARK-u");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(RecordExtension, CaseSensitiveLastFourCharacters) {
    EXPECT_EQ(WithRecordExtension("/tmp/a.vku"), "/tmp/a.vku");
    EXPECT_EQ(WithRecordExtension("/tmp/a"), "/tmp/a.vku");
    EXPECT_EQ(WithRecordExtension("/tmp/a.VKU"), "/tmp/a.VKU.vku");
    EXPECT_EQ(WithRecordExtension("/tmp/a.vk"), "/tmp/a.vk.vku");
    EXPECT_EQ(WithRecordExtension("vku"), "vku.vku");
    EXPECT_EQ(WithRecordExtension(""), ".vku");
}

TEST(RecordExtension, DefaultNameFromLocalTime) {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 14;
    t.tm_min = 7;
    t.tm_sec = 9;
    EXPECT_EQ(DefaultRecordFileName(t), "Kelvor_20240305_140709.vku");
}

}  // namespace
}  // namespace vark
