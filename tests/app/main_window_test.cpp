#include <gtest/gtest.h>

#include <QAction>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSizeGrip>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <cstring>
#include <fstream>
#include <memory>

#include "app/main_window.h"
#include "app/pin_map_model.h"
#include "app_test_support.h"
#include "records/pin_map.h"
#include "records/record_file.h"
#include "records/sample_records.h"

using vark::test::Child;

namespace {

using vark::test::MessageRecorder;
using vark::test::ScriptedFileDialogs;

const QString kOpenFailed = QStringLiteral("\n    Open file failed!    \n");
const QString kDataErr = QStringLiteral("\n    File data err!    \n");
const QString kSaveFailed = QStringLiteral("\n    Save file failed!    \n");

std::filesystem::path Fs(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

vark::RecordBlock ThreeRecords() {
    vark::RecordBlock block;
    vark::ClearBlock(block);
    block.count = 3;
    block.slots[0] = vark::RecordBuilder(4).Straight().Grounds().Build();
    block.slots[1] = vark::RecordBuilder(2).Connect(1, 2).Connect(2, 1).Build();
    block.slots[2] = vark::RecordBuilder(12).Connect(1, 1).Connect(1, 11).Build();
    return block;
}

// Every cell of the list against the records layer's own table.
void ExpectListShows(const vark::MainWindow& dlg, const vark::RecordBlock& block) {
    const auto table = vark::PinMapTable(block);
    ASSERT_EQ(dlg.RowCount(), static_cast<int>(table.size()));
    ASSERT_EQ(Child<QTableView>(dlg, "PinList")->model()->rowCount(),
              static_cast<int>(table.size()));
    for (int r = 0; r < dlg.RowCount(); ++r) {
        for (int c = 0; c < vark::kListColumns; ++c) {
            const std::string& want =
                table[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
            EXPECT_EQ(dlg.CellText(r, c).toStdString(), want) << "row " << r << " col " << c;
            // What the view is given to draw is the same text.
            EXPECT_EQ(Child<QTableView>(dlg, "PinList")
                          ->model()
                          ->index(r, c)
                          .data()
                          .toString()
                          .toStdString(),
                      want);
        }
    }
}

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString PathIn(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QString WriteSample(const char* name, const vark::RecordBlock& block) const {
        const QString path = PathIn(name);
        EXPECT_EQ(vark::WriteRecordFile(Fs(path), block), vark::FileStatus::Ok);
        return path;
    }

    void WriteBytes(const QString& path, const std::string& bytes) const {
        std::ofstream out(Fs(path), std::ios::binary);
        out << bytes;
    }

    QTemporaryDir dir;
    MessageRecorder messages;
    ScriptedFileDialogs dialogs;
};

TEST_F(MainWindow, FreshWindowShowsColumnsAndNothingElse) {
    vark::MainWindow dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("VARK-u"));
    EXPECT_FALSE(dlg.windowIcon().isNull());

    QAbstractItemModel* model = Child<QTableView>(dlg, "PinList")->model();
    ASSERT_EQ(model->columnCount(), 8);
    const QStringList headers = {"ID ",       "Pin",       "Pin State", "Pin State",
                                 "Pin State", "Pin State", "Pin State", "Pin State"};
    const int widths[] = {45, 50, 360, 360, 360, 360, 360, 360};
    for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(model->headerData(c, Qt::Horizontal).toString(), headers[c]);
        EXPECT_EQ(Child<QTableView>(dlg, "PinList")->columnWidth(c), widths[c]);
    }
    EXPECT_TRUE(Child<QTableView>(dlg, "PinList")->showGrid());
    EXPECT_FALSE(Child<QTableView>(dlg, "PinList")->isSortingEnabled());
    EXPECT_FALSE(Child<QTableView>(dlg, "PinList")->horizontalHeader()->sectionsClickable());
    // The row header shows no row yet: the list has none.
    EXPECT_EQ(Child<QTableView>(dlg, "PinList")->verticalHeader()->count(), 0);
    EXPECT_EQ(Child<QTableView>(dlg, "PinList")->verticalHeader()->defaultSectionSize(), 20);
    EXPECT_EQ(Child<QTableView>(dlg, "PinList")->editTriggers(), QAbstractItemView::NoEditTriggers);

    EXPECT_EQ(dlg.RowCount(), 0);
    EXPECT_TRUE(Child<QLineEdit>(dlg, "PathEdit")->text().isEmpty());
    EXPECT_TRUE(dlg.Path().isEmpty());
    EXPECT_EQ(dlg.Block().count, 0);
    EXPECT_EQ(Child<QPushButton>(dlg, "OpenButton")->text(), QStringLiteral("Open"));

    EXPECT_TRUE(Child<QStatusBar>(dlg, "StatusBar")->isSizeGripEnabled());
    EXPECT_TRUE(Child<QStatusBar>(dlg, "StatusBar")->currentMessage().isEmpty());
}

TEST_F(MainWindow, ToolBarHasSixLabelledCommandsInGroups) {
    vark::MainWindow dlg;
    EXPECT_EQ(Child<QToolBar>(dlg, "ToolBar")->iconSize(), QSize(32, 32));
    EXPECT_EQ(Child<QToolBar>(dlg, "ToolBar")->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    QStringList items;
    for (QAction* a : Child<QToolBar>(dlg, "ToolBar")->actions()) {
        items << (a->isSeparator() ? QStringLiteral("|") : a->text());
        if (!a->isSeparator()) {
            EXPECT_FALSE(a->icon().isNull()) << a->text().toStdString();
            EXPECT_FALSE(a->icon().pixmap(32, 32).isNull());
            auto* button =
                qobject_cast<QToolButton*>(Child<QToolBar>(dlg, "ToolBar")->widgetForAction(a));
            ASSERT_NE(button, nullptr);
            EXPECT_TRUE(button->autoRaise());
        }
    }
    EXPECT_EQ(items.join(' '), QStringLiteral("Open Save Print | Upload | About | Exit"));
}

TEST_F(MainWindow, OpenFillsTheListWithThePinMapOfEveryRecord) {
    const vark::RecordBlock sample = vark::SampleBlock();
    dialogs.openAnswer = WriteSample("sample.vku", sample);
    vark::MainWindow dlg;
    dlg.CommandAction(vark::MainWindow::CmdOpen)->trigger();

    EXPECT_EQ(dialogs.openCalls, 1);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(Child<QLineEdit>(dlg, "PathEdit")->text(), dialogs.openAnswer);
    EXPECT_EQ(dlg.Path(), dialogs.openAnswer);
    EXPECT_EQ(std::memcmp(dlg.Block().data(), sample.data(), vark::StoredLength(sample)), 0);
    ASSERT_GT(dlg.RowCount(), 0);
    ExpectListShows(dlg, sample);
}

TEST_F(MainWindow, OpenButtonBesideThePathRunsTheSameCommand) {
    const vark::RecordBlock block = ThreeRecords();
    dialogs.openAnswer = WriteSample("three", block);  // any extension will do
    vark::MainWindow dlg;
    QTest::mouseClick(Child<QPushButton>(dlg, "OpenButton"), Qt::LeftButton);
    EXPECT_EQ(dialogs.openCalls, 1);
    EXPECT_EQ(Child<QLineEdit>(dlg, "PathEdit")->text(), dialogs.openAnswer);
    ExpectListShows(dlg, block);
    EXPECT_EQ(dlg.CellText(2, 2).toStdString(),
              "  A01-B01-B11  A02  A03  A04  A05  A06  A07  A08  A09  A10  A11");
    EXPECT_EQ(dlg.CellText(2, 3).toStdString(), "  A12  AGD");
}

TEST_F(MainWindow, CancelledDialogsChangeNothing) {
    vark::MainWindow dlg;
    dlg.SetBlock(ThreeRecords());
    dlg.RefreshPinMap();
    dlg.CommandAction(vark::MainWindow::CmdOpen)->trigger();
    dlg.CommandAction(vark::MainWindow::CmdSave)->trigger();
    EXPECT_EQ(dialogs.openCalls, 1);
    EXPECT_EQ(dialogs.saveCalls, 1);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(Child<QLineEdit>(dlg, "PathEdit")->text().isEmpty());
    ExpectListShows(dlg, ThreeRecords());
}

TEST_F(MainWindow, SaveThenOpenRestoresTheRecords) {
    vark::MainWindow saver;
    saver.SetBlock(ThreeRecords());
    saver.RefreshPinMap();
    dialogs.saveAnswer = PathIn("roundtrip");
    saver.CommandAction(vark::MainWindow::CmdSave)->trigger();

    const QString saved = PathIn("roundtrip.vku");
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(Child<QLineEdit>(saver, "PathEdit")->text(), saved);
    EXPECT_EQ(QFileInfo(saved).size(), 764);
    EXPECT_FALSE(QFileInfo::exists(PathIn("roundtrip")));
    // The offered name is the local time's.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Kelvor_\\d{8}_\\d{6}\\.vku$"))
                    .match(dialogs.lastDefaultName)
                    .hasMatch())
        << dialogs.lastDefaultName.toStdString();

    vark::MainWindow reader;
    dialogs.openAnswer = saved;
    reader.OpenRecordFile();
    EXPECT_EQ(reader.Block().count, 3);
    EXPECT_EQ(std::memcmp(reader.Block().data(), saver.Block().data(), 764 - 16), 0);
    ExpectListShows(reader, ThreeRecords());
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 8; ++c) {
            EXPECT_EQ(reader.CellText(r, c), saver.CellText(r, c));
        }
    }
}

TEST_F(MainWindow, SaveAppendsTheExtensionUnlessItIsExactlyVku) {
    vark::MainWindow dlg;
    dlg.SetBlock(ThreeRecords());
    const int rows = dlg.RowCount();
    Child<QTableView>(dlg, "PinList")->selectRow(1);
    struct Case {
        const char* chosen;
        const char* written;
    };
    for (const Case& c :
         {Case{"a.vku", "a.vku"}, Case{"b.VKU", "b.VKU.vku"}, Case{"c.txt", "c.txt.vku"}}) {
        dialogs.saveAnswer = PathIn(c.chosen);
        dlg.SaveRecordFile();
        EXPECT_EQ(Child<QLineEdit>(dlg, "PathEdit")->text(), PathIn(c.written)) << c.chosen;
        EXPECT_TRUE(QFileInfo::exists(PathIn(c.written))) << c.written;
    }
    EXPECT_FALSE(QFileInfo::exists(PathIn("b.VKU")));
    // Saving does not touch the list.
    EXPECT_EQ(dlg.RowCount(), rows);
    EXPECT_TRUE(Child<QTableView>(dlg, "PinList")->selectionModel()->isRowSelected(1, {}));
}

TEST_F(MainWindow, FailedOpenReportsAndKeepsBlockListAndPath) {
    const vark::RecordBlock shown = ThreeRecords();
    const QString good = WriteSample("good.vku", shown);
    const QString badMagic = PathIn("bad.vku");
    WriteBytes(badMagic, std::string("kelvorvark-u", 12) + std::string("\x01\x00\x00\x00\x00", 5));
    const QString tooShort = PathIn("short.vku");
    WriteBytes(tooShort, "KelvorVA");

    vark::MainWindow dlg;
    dialogs.openAnswer = good;
    dlg.OpenRecordFile();
    ASSERT_EQ(dlg.RowCount(), 3);

    struct Case {
        QString path;
        QString message;
    };
    for (const Case& c : {Case{PathIn("missing.vku"), kOpenFailed}, Case{dir.path(), kOpenFailed},
                          Case{badMagic, kDataErr}, Case{tooShort, kDataErr}}) {
        SCOPED_TRACE(c.path.toStdString());
        messages.messages.clear();
        dialogs.openAnswer = c.path;
        dlg.OpenRecordFile();
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].text, c.message);
        EXPECT_EQ(messages.messages[0].parent, &dlg);
        EXPECT_EQ(Child<QLineEdit>(dlg, "PathEdit")->text(), good);
        EXPECT_EQ(std::memcmp(dlg.Block().data(), shown.data(), vark::StoredLength(shown)), 0);
        ExpectListShows(dlg, shown);
    }
}

TEST_F(MainWindow, FailedSaveReportsAndKeepsThePath) {
    vark::MainWindow dlg;
    dlg.SetBlock(ThreeRecords());
    dialogs.saveAnswer = PathIn("first.vku");
    dlg.SaveRecordFile();
    ASSERT_TRUE(messages.messages.empty());

    dialogs.saveAnswer = PathIn("no-such-dir/x.vku");
    dlg.SaveRecordFile();
    ASSERT_EQ(messages.Texts(), QStringList{kSaveFailed});
    EXPECT_EQ(messages.messages[0].parent, &dlg);
    EXPECT_EQ(Child<QLineEdit>(dlg, "PathEdit")->text(), PathIn("first.vku"));
    EXPECT_EQ(dlg.Block().count, 3);
}

TEST_F(MainWindow, RefreshFollowsTheBlock) {
    vark::MainWindow dlg;
    dlg.SetBlock(vark::SampleBlock());
    dlg.RefreshPinMap();
    ExpectListShows(dlg, vark::SampleBlock());
    Child<QTableView>(dlg, "PinList")->selectRow(0);

    vark::RecordBlock block = vark::SampleBlock();
    block.count = 1;
    dlg.SetBlock(block);
    EXPECT_EQ(dlg.RowCount(), 1);
    EXPECT_FALSE(Child<QTableView>(dlg, "PinList")->selectionModel()->hasSelection());

    block.count = 0;
    dlg.SetBlock(block);
    EXPECT_EQ(dlg.RowCount(), 0);
    EXPECT_TRUE(dlg.CellText(0, 0).isEmpty());
    EXPECT_TRUE(dlg.CellText(-1, 9).isEmpty());
}

TEST_F(MainWindow, HundredFortyPinRecordsFillSixPinStateColumns) {
    vark::MainWindow dlg;
    vark::RecordBlock block;
    vark::ClearBlock(block);
    block.count = 100;
    for (auto& slot : block.slots) {
        slot = vark::RecordBuilder(40).Straight().Grounds().Build();
    }
    dlg.SetBlock(block);
    ASSERT_EQ(dlg.RowCount(), 100);
    EXPECT_EQ(dlg.CellText(99, 0), QStringLiteral("100"));
    EXPECT_EQ(dlg.CellText(99, 1), QStringLiteral("(40pin)"));
    EXPECT_TRUE(dlg.CellText(99, 7).endsWith(QStringLiteral("  AGD-BGD")));
    ExpectListShows(dlg, dlg.Block());
}

// --- keys and ending the run ---------------------------------------------

class MainWindowKeys : public MainWindow {
  protected:
    void ShowActive(vark::MainWindow& dlg) {
        dlg.show();
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    }
};

TEST_F(MainWindowKeys, FocusStartsOnTheOpenButtonAndEnterRunsOpen) {
    vark::MainWindow dlg;
    ShowActive(dlg);
    EXPECT_EQ(QApplication::focusWidget(), Child<QPushButton>(dlg, "OpenButton"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(dialogs.openCalls, 1);
    QTest::keyClick(Child<QPushButton>(dlg, "OpenButton"), Qt::Key_Enter);
    EXPECT_EQ(dialogs.openCalls, 2);
}

TEST_F(MainWindowKeys, EnterDoesNothingOnTheListOrThePath) {
    dialogs.openAnswer = WriteSample("s.vku", ThreeRecords());
    vark::MainWindow dlg;
    ShowActive(dlg);
    for (QWidget* target : {static_cast<QWidget*>(Child<QTableView>(dlg, "PinList")),
                            static_cast<QWidget*>(Child<QLineEdit>(dlg, "PathEdit"))}) {
        target->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), target);
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter);
        QApplication::processEvents();
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(dlg.result(), 0);
    }
    EXPECT_EQ(dialogs.openCalls, 0);
    EXPECT_EQ(dialogs.saveCalls, 0);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(MainWindowKeys, EscapeEndsTheRun) {
    vark::MainWindow dlg;
    QTimer::singleShot(0, &dlg, [&] {
        Child<QTableView>(dlg, "PinList")->setFocus();
        QTest::keyClick(Child<QTableView>(dlg, "PinList"), Qt::Key_Escape);
    });
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(MainWindowKeys, ExitCommandEndsTheRun) {
    vark::MainWindow dlg;
    QTimer::singleShot(0, &dlg, [&] {
        auto* exit = Child<QToolBar>(dlg, "ToolBar")
                         ->widgetForAction(dlg.CommandAction(vark::MainWindow::CmdExit));
        QTest::mouseClick(exit, Qt::LeftButton);
    });
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(MainWindowKeys, CloseBoxEndsTheRun) {
    vark::MainWindow dlg;
    QTimer::singleShot(0, &dlg, [&] { dlg.close(); });
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    EXPECT_FALSE(dlg.isVisible());
}

// --- the real file dialogs --------------------------------------------------

// Types `path` into the dialog's name field and accepts; a dialog that will
// not accept is cancelled so that the test fails instead of waiting.
void AnswerFileDialog(QFileDialog* fd, const QString& path) {
    auto* name = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!name) {
        ADD_FAILURE() << "file dialog without a name field";
        QMetaObject::invokeMethod(fd, "reject");
        return;
    }
    name->setText(path);
    QMetaObject::invokeMethod(fd, "accept");
    if (fd->isVisible()) {
        ADD_FAILURE() << "file dialog did not accept " << path.toStdString();
        QMetaObject::invokeMethod(fd, "reject");
    }
}

struct DialogSeen {
    bool shown = false;
    QStringList filters;
    QString suffix;
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
    bool confirmsOverwrite = false;
    QStringList preselected;
    QWidget* parent = nullptr;
};

TEST(FileDialogs, SaveAndOpenUseQtDialogsWithTheRecordFilters) {
    QTemporaryDir dir;
    MessageRecorder messages;
    vark::MainWindow dlg;
    dlg.show();
    dlg.SetBlock(ThreeRecords());

    auto seen = std::make_shared<DialogSeen>();
    const QString target = dir.filePath(QStringLiteral("real"));
    vark::test::WhenModal<QFileDialog>([seen, target](QFileDialog* fd) {
        ASSERT_NE(fd, nullptr);
        seen->shown = true;
        seen->filters = fd->nameFilters();
        seen->suffix = fd->defaultSuffix();
        seen->mode = fd->acceptMode();
        seen->confirmsOverwrite = !fd->testOption(QFileDialog::DontConfirmOverwrite);
        seen->preselected = fd->selectedFiles();
        seen->parent = fd->parentWidget();
        AnswerFileDialog(fd, target);
    });
    dlg.SaveRecordFile();
    ASSERT_TRUE(seen->shown);
    const QStringList filters = {QStringLiteral("VARK-u Files(*.vku)"),
                                 QStringLiteral("All Files(*.*)")};
    EXPECT_EQ(seen->filters, filters);
    EXPECT_EQ(seen->suffix, QStringLiteral("vku"));
    EXPECT_EQ(seen->mode, QFileDialog::AcceptSave);
    EXPECT_TRUE(seen->confirmsOverwrite);
    ASSERT_EQ(seen->preselected.size(), 1);
    EXPECT_TRUE(QFileInfo(seen->preselected[0]).fileName().startsWith(QStringLiteral("Kelvor_")));
    EXPECT_EQ(seen->parent, &dlg);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(Child<QLineEdit>(dlg, "PathEdit")->text(), target + QStringLiteral(".vku"));

    vark::MainWindow reader;
    reader.show();
    auto opened = std::make_shared<DialogSeen>();
    const QString saved = target + QStringLiteral(".vku");
    vark::test::WhenModal<QFileDialog>([opened, saved](QFileDialog* fd) {
        ASSERT_NE(fd, nullptr);
        opened->shown = true;
        opened->filters = fd->nameFilters();
        opened->mode = fd->acceptMode();
        AnswerFileDialog(fd, saved);
    });
    reader.OpenRecordFile();
    ASSERT_TRUE(opened->shown);
    EXPECT_EQ(opened->filters, filters);
    EXPECT_EQ(opened->mode, QFileDialog::AcceptOpen);
    EXPECT_EQ(Child<QLineEdit>(reader, "PathEdit")->text(), saved);
    ExpectListShows(reader, ThreeRecords());
}

// --- the one message box ---------------------------------------------------

TEST(MessageBox, ShowsTheTextExactlyWithCaptionOkOnlyAndNoIcon) {
    QWidget owner;
    owner.show();
    const QString text = QStringLiteral("\n    File data err!    \n");
    QString caption, shown;
    QMessageBox::Icon icon = QMessageBox::Warning;
    QStringList buttons;
    Qt::WindowModality modality = Qt::NonModal;
    QWidget* parent = nullptr;
    vark::test::WhenModal<QMessageBox>([&](QMessageBox* box) {
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        shown = box->text();
        icon = box->icon();
        modality = box->windowModality();
        parent = box->parentWidget();
        for (QAbstractButton* b : box->buttons()) {
            buttons << b->text().remove('&');
        }
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_EQ(vark::ShowMessage(&owner, text), QMessageBox::Ok);
    EXPECT_EQ(caption, QStringLiteral("VARK-u"));
    EXPECT_EQ(shown, text);
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(buttons, QStringList{QStringLiteral("OK")});
    EXPECT_EQ(parent, &owner);
    EXPECT_EQ(modality, Qt::WindowModal);
}

}  // namespace
