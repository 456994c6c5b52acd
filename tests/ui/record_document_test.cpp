// The main window's block, path and rows, and what its commands say.
#include "ui/record_document.h"

#include <gtest/gtest.h>

#include <cstring>

#include "records/pin_map.h"
#include "records/record_file.h"
#include "records/sample_records.h"
#include "testing/scratch_dir.h"

namespace vark {
namespace {

using test::ReadWhole;
using test::ScratchDir;
using test::WriteWhole;

const std::string kOpenFailed = "\n    Open file failed!    \n";
const std::string kDataErr = "\n    File data err!    \n";
const std::string kSaveFailed = "\n    Save file failed!    \n";

RecordBlock Three() {
    RecordBlock b = SampleBlock();
    b.count = 3;
    return b;
}

bool SameUsedBytes(const RecordBlock& a, const RecordBlock& b) {
    return a.count == b.count && std::memcmp(&a, &b, StoredLength(a)) == 0;
}

TEST(RecordDocument, FreshDocumentHasNoRowsAndNoPath) {
    RecordDocument doc;
    EXPECT_EQ(doc.Block().count, 0);
    EXPECT_TRUE(doc.Rows().empty());
    EXPECT_TRUE(doc.Path().empty());
    EXPECT_EQ(doc.Cell(0, 0), "");
    // The columns as the list makes them.
    EXPECT_STREQ(kListColumnSpecs[0].header, "ID ");
    EXPECT_EQ(kListColumnSpecs[0].width, 45);
    EXPECT_STREQ(kListColumnSpecs[1].header, "Pin");
    EXPECT_EQ(kListColumnSpecs[1].width, 50);
    for (std::size_t c = 2; c < kListColumnSpecs.size(); ++c) {
        EXPECT_STREQ(kListColumnSpecs[c].header, "Pin State");
        EXPECT_EQ(kListColumnSpecs[c].width, 360);
    }
}

TEST(RecordDocument, RowsFollowTheBlockCellsOutsideAreEmpty) {
    RecordDocument doc;
    doc.SetBlock(SampleBlock());
    ASSERT_EQ(doc.Rows(), PinMapTable(SampleBlock()));
    EXPECT_EQ(doc.Cell(0, 0), "001");
    EXPECT_EQ(doc.Cell(-1, 0), "");
    EXPECT_EQ(doc.Cell(0, 8), "");
    EXPECT_EQ(doc.Cell(static_cast<int>(doc.Rows().size()), 0), "");

    // A block with fewer records keeps the slots beyond its count, as an
    // upload leaves them; the rows show only the used ones.
    RecordBlock one = SampleBlock();
    one.count = 1;
    doc.SetBlock(one);
    EXPECT_EQ(doc.Rows().size(), 1u);
    const RecordBlock sample = SampleBlock();
    EXPECT_EQ(std::memcmp(&doc.Block().slots[1], &sample.slots[1], kRecordSize), 0);
}

TEST(RecordDocument, SaveThenOpenShowsTheSameRowsAndPath) {
    ScratchDir dir;
    RecordDocument saver;
    saver.SetBlock(Three());
    const auto target = RecordDocument::SaveTarget(dir / "run");
    EXPECT_EQ(target, dir / "run.vku");
    ASSERT_TRUE(saver.Save(target).Ok());
    EXPECT_EQ(saver.Path(), target);
    EXPECT_EQ(ReadWhole(target).size(), 764u);

    RecordDocument reader;
    ASSERT_TRUE(reader.Open(target).Ok());
    EXPECT_EQ(reader.Path(), target);
    EXPECT_TRUE(SameUsedBytes(reader.Block(), saver.Block()));
    EXPECT_EQ(reader.Rows(), saver.Rows());
}

TEST(RecordDocument, RefusedFilesLeaveBlockRowsAndPath) {
    ScratchDir dir;
    const auto good = dir / "good.vku";
    ASSERT_EQ(WriteRecordFile(good, Three()), FileStatus::Ok);
    WriteWhole(dir / "bad.vku", std::string("kelvorvark-u\x01\0\0\0\0", 17));
    WriteWhole(dir / "short.vku", "KelvorVA");

    RecordDocument doc;
    ASSERT_TRUE(doc.Open(good).Ok());
    const auto rows = doc.Rows();
    struct Case {
        std::filesystem::path file;
        std::string message;
    };
    for (const Case& c : {Case{dir / "missing.vku", kOpenFailed}, Case{dir.path(), kOpenFailed},
                          Case{dir / "bad.vku", kDataErr}, Case{dir / "short.vku", kDataErr}}) {
        SCOPED_TRACE(c.file.string());
        EXPECT_EQ(doc.Open(c.file).message, c.message);
        EXPECT_EQ(doc.Path(), good);
        EXPECT_TRUE(SameUsedBytes(doc.Block(), Three()));
        EXPECT_EQ(doc.Rows(), rows);
    }
}

TEST(RecordDocument, StoredLengthZeroKeepsTheBlockButTakesThePath) {
    ScratchDir dir;
    const auto empty = dir / "nothing.dat";
    WriteWhole(empty, std::string("KelvorVARK-u\0\0\0\0", 16));
    RecordDocument doc;
    doc.SetBlock(Three());
    ASSERT_TRUE(doc.Open(empty).Ok());
    EXPECT_EQ(doc.Path(), empty);
    EXPECT_EQ(doc.Block().count, 3);
    EXPECT_EQ(doc.Rows().size(), 3u);
}

TEST(RecordDocument, FailedSaveSaysSoAndKeepsThePath) {
    ScratchDir dir;
    RecordDocument doc;
    doc.SetBlock(Three());
    ASSERT_TRUE(doc.Save(dir / "first.vku").Ok());
    EXPECT_EQ(doc.Save(dir / "no-such-dir" / "x.vku").message, kSaveFailed);
    // A folder in the way of the name.
    std::filesystem::create_directory(dir / "taken.vku");
    EXPECT_EQ(doc.Save(dir / "taken.vku").message, kSaveFailed);
    EXPECT_EQ(doc.Path(), dir / "first.vku");
    EXPECT_EQ(ReadWhole(dir / "first.vku").size(), 764u);
}

TEST(RecordDocument, SaveTargetAppendsTheExtensionUnlessExactlyVku) {
    EXPECT_EQ(RecordDocument::SaveTarget("a.vku"), std::filesystem::path("a.vku"));
    EXPECT_EQ(RecordDocument::SaveTarget("b.VKU"), std::filesystem::path("b.VKU.vku"));
    EXPECT_EQ(RecordDocument::SaveTarget("c.txt"), std::filesystem::path("c.txt.vku"));
    EXPECT_EQ(RecordDocument::SaveTarget("vku"), std::filesystem::path("vku.vku"));
    EXPECT_EQ(RecordDocument::SaveTarget("x"), std::filesystem::path("x.vku"));
    EXPECT_EQ(RecordDocument::SaveTarget(".vku"), std::filesystem::path(".vku"));
    // Names in any script keep their characters.
    const std::filesystem::path wide(u8"Prüfung_\u6D4B\u8BD5");
    EXPECT_EQ(RecordDocument::SaveTarget(wide),
              std::filesystem::path(u8"Prüfung_\u6D4B\u8BD5.vku"));
}

TEST(RecordDocument, AsksBeforeReplacingOnlyANameTheDialogDidNotConfirm) {
    ScratchDir dir;
    WriteWhole(dir / "old.vku", "x");
    // The dialog confirmed "old": the file written is old.vku, which exists.
    EXPECT_TRUE(RecordDocument::AskBeforeReplacing(dir / "old", dir / "old.vku"));
    // The dialog itself confirmed old.vku.
    EXPECT_FALSE(RecordDocument::AskBeforeReplacing(dir / "old.vku", dir / "old.vku"));
    EXPECT_FALSE(RecordDocument::AskBeforeReplacing(dir / "new", dir / "new.vku"));
}

TEST(RecordDocument, DefaultSaveNameIsTheLocalTime) {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 14;
    t.tm_min = 7;
    t.tm_sec = 9;
    EXPECT_EQ(RecordDocument::DefaultSaveName(t), "Kelvor_20240305_140709.vku");
}

TEST(RecordDocument, PrintOutcomeSaysOnlyAFailedJob) {
    EXPECT_EQ(PrintOutcomeText({false, false}), "");  // dialog cancelled
    EXPECT_EQ(PrintOutcomeText({true, true}), "");
    EXPECT_EQ(PrintOutcomeText({true, false}), "\n    Print failed!    \n");
}

}  // namespace
}  // namespace vark
