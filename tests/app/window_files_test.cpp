// The window's Open and Save with the files users meet: protections, links,
// owners, full disks, odd names and things that are not files.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>

#include "app/main_window.h"
#include "app_test_support.h"
#include "records/record_file.h"
#include "records/sample_records.h"
#include "tests/support/file_cases.h"

using vark::test::Child;

namespace {

namespace fs = std::filesystem;
using vark::test::Facts;
using vark::test::kNobody;
using vark::test::Put;

const QString kSaveFailed = QStringLiteral("\n    Save file failed!    \n");
const QString kOpenFailed = QStringLiteral("\n    Open file failed!    \n");

// The window's Save to `path`: 0 when it said nothing and showed the path, 1
// when it said only that the save failed.
int SaveThroughWindow(vark::MainWindow& dlg, vark::test::MessageRecorder& messages,
                      vark::test::ScriptedFileDialogs& dialogs, const fs::path& path) {
    messages.messages.clear();
    dialogs.saveAnswer = QFile::decodeName(path.c_str());
    dlg.SaveRecordFile();
    if (!messages.messages.empty()) {
        return messages.Texts() == QStringList{kSaveFailed} ? 1 : 2;
    }
    return Child<QLineEdit>(dlg, "PathEdit")->text() == dialogs.saveAnswer ? 0 : 3;
}

// The same in a process of its own (another user, a full disk), by a new
// window holding the sample block.
VARK_TEST_STEP(WindowSave) {
    vark::test::MessageRecorder messages;
    vark::test::ScriptedFileDialogs dialogs;
    vark::MainWindow dlg;
    dlg.SetBlock(vark::SampleBlock());
    return SaveThroughWindow(dlg, messages, dialogs, words.at(0));
}

class WindowFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        dir = fs::path(tmp.path().toStdString());
        fs::permissions(dir, fs::perms::all);
        dlg.SetBlock(vark::SampleBlock());
    }
    int Save(const fs::path& path) { return SaveThroughWindow(dlg, messages, dialogs, path); }
    std::string Saved() const {
        std::string bytes;
        vark::RecordBlock b = vark::SampleBlock();
        const auto len = vark::StoredLength(b);
        bytes.assign(vark::kRecordMagic, 12);
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>((len >> (8 * i)) & 0xFF);
        bytes.append(reinterpret_cast<const char*>(b.data()), len);
        return bytes;
    }

    QTemporaryDir tmp;
    fs::path dir;
    vark::test::MessageRecorder messages;
    vark::test::ScriptedFileDialogs dialogs;
    vark::MainWindow dlg;
};

TEST_F(WindowFiles, ProtectedFilesAreRefusedAndOthersKeepOwnerModeAndLinks) {
    const fs::path ro = dir / "ro.vku";
    Put(ro, "old");
    ASSERT_EQ(::chown(ro.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(ro.c_str(), 0444), 0);
    const auto roBefore = Facts(ro);
    EXPECT_EQ(vark::test::AsNobody("WindowSave", {ro}), 1);
    EXPECT_EQ(Facts(ro), roBefore);

    const fs::path locked = dir / "locked";
    fs::create_directory(locked);
    const fs::path mine = locked / "mine.vku";
    Put(mine, "old");
    ASSERT_EQ(::chown(mine.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(locked.c_str(), 0755), 0);
    EXPECT_EQ(vark::test::AsNobody("WindowSave", {mine}), 0);
    EXPECT_EQ(Facts(mine).bytes, Saved());

    const fs::path theirs = dir / "theirs.vku";
    Put(theirs, "old");
    fs::create_hard_link(theirs, dir / "other.vku");
    ASSERT_EQ(::chown(theirs.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(theirs.c_str(), 0600), 0);
    EXPECT_EQ(Save(theirs), 0);
    const auto after = Facts(theirs);
    EXPECT_EQ(after.bytes, Saved());
    EXPECT_EQ(Facts(dir / "other.vku").bytes, Saved());
    EXPECT_EQ(after.links, 2u);
    EXPECT_EQ(after.uid, kNobody);
    EXPECT_EQ(after.mode, 0600u);
}

TEST_F(WindowFiles, LinksToDevicesAreRefusedAndMissingTargetsCreated) {
    fs::create_symlink("/dev/full", dir / "full.vku");
    fs::create_symlink("/dev/null", dir / "null.vku");
    fs::create_symlink("made.vku", dir / "dangling.vku");
    EXPECT_EQ(Save(dir / "full.vku"), 1);
    EXPECT_EQ(Save(dir / "null.vku"), 1);
    EXPECT_EQ(Save(dir / "dangling.vku"), 0);
    for (const char* link : {"full.vku", "null.vku", "dangling.vku"}) {
        EXPECT_TRUE(fs::is_symlink(dir / link)) << link;
    }
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    EXPECT_EQ(Facts(dir / "made.vku").bytes, Saved());
}

TEST_F(WindowFiles, FullDiskSaysSaveFailedAndKeepsTheOldFile) {
    vark::test::FullDisk disk(dir / "disk");
    const fs::path old = disk.dir() / "old.vku";
    Put(old, "old records");
    disk.Fill();
    const auto before = Facts(old);
    EXPECT_EQ(disk.Run("WindowSave", {old}), 1);
    EXPECT_EQ(disk.Run("WindowSave", {disk.dir() / "new.vku"}), 1);
    EXPECT_EQ(Facts(old), before);
    EXPECT_FALSE(fs::exists(disk.dir() / "new.vku"));
}

TEST_F(WindowFiles, TheLongestLegalNamesAreSavedAndOpened) {
    // Qt's file names are text: bytes that are no UTF-8 cannot come out of its
    // dialogs unchanged, so only vark-cli can be asked for those.
    for (const std::string& name :
         {std::string(251, 'L') + ".vku", std::string("\xc3\xa9t\xc3\xa9.vku")}) {
        EXPECT_EQ(Save(dir / name), 0);
        EXPECT_EQ(Save(dir / name), 0);
        EXPECT_EQ(Facts(dir / name).bytes, Saved());
        dlg.SetBlock(vark::RecordBlock{});
        dialogs.openAnswer = QFile::decodeName((dir / name).c_str());
        dlg.OpenRecordFile();
        EXPECT_TRUE(messages.messages.empty());
        EXPECT_EQ(dlg.Block().count, vark::SampleBlock().count);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 2);
}

TEST_F(WindowFiles, WhatIsNoRegularFileFailsToOpenAtOnce) {
    ASSERT_EQ(::mkfifo((dir / "f.vku").c_str(), 0666), 0);
    const auto start = std::chrono::steady_clock::now();
    for (const fs::path& p : {dir / "f.vku", fs::path("/dev/zero"), dir}) {
        messages.messages.clear();
        dialogs.openAnswer = QFile::decodeName(p.c_str());
        dlg.OpenRecordFile();
        EXPECT_EQ(messages.Texts(), QStringList{kOpenFailed}) << p;
        EXPECT_TRUE(Child<QLineEdit>(dlg, "PathEdit")->text().isEmpty());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(FileDialogFilters, AllFilesShowsNamesWithoutADot) {
    QTemporaryDir tmp;
    const QString noDot = tmp.filePath(QStringLiteral("nodot"));
    Put(noDot.toStdString(), "x");
    Put(tmp.filePath(QStringLiteral("a.vku")).toStdString(), "x");
    vark::test::MessageRecorder messages;
    vark::MainWindow dlg;
    bool checked = false;
    vark::test::WhenModal<QFileDialog>([&](QFileDialog* fd) {
        ASSERT_NE(fd, nullptr);
        fd->setDirectory(tmp.path());
        auto* model = fd->findChild<QFileSystemModel*>();
        auto* types = fd->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(model, nullptr);
        ASSERT_NE(types, nullptr);
        auto shown = [&](const QString& path) {
            const QModelIndex i = model->index(path);
            return i.isValid() && (model->flags(i) & Qt::ItemIsEnabled) &&
                   QDir::match(model->nameFilters(), QFileInfo(path).fileName());
        };
        EXPECT_FALSE(shown(noDot));
        types->setCurrentIndex(1);
        // What a click gives: the index, then the text.
        Q_EMIT types->activated(1);
        Q_EMIT types->textActivated(types->itemText(1));
        EXPECT_EQ(types->currentText(), QStringLiteral("All Files(*.*)"));
        EXPECT_TRUE(shown(noDot));
        EXPECT_TRUE(shown(tmp.filePath(QStringLiteral("a.vku"))));
        checked = true;
        fd->reject();
    });
    dlg.OpenRecordFile();
    EXPECT_TRUE(checked);
}

}  // namespace
