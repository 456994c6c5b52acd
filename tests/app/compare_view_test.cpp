// The list's comparison with a good cable, read back from the model the view
// draws: context menu, row tints, tooltips and the status bar.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/compare_view.h"
#include "app/main_window.h"
#include "app/pin_map_model.h"
#include "app_test_support.h"
#include "records/pin_map.h"
#include "records/record_file.h"
#include "records/sample_records.h"

using vark::test::Child;

namespace {

using vark::CompareView;
using vark::test::MessageRecorder;
using vark::test::ScriptedFileDialogs;

class CompareWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        run = Write("run.vku", vark::ProductionRunBlock());
    }

    QString Write(const char* name, const vark::RecordBlock& block) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        EXPECT_EQ(vark::WriteRecordFile(QFile::encodeName(path).toStdString(), block),
                  vark::FileStatus::Ok);
        return path;
    }

    void Open(vark::MainWindow& dlg, const QString& path) {
        dialogs.openAnswer = path;
        dlg.OpenRecordFile();
    }

    static QVariant Data(const vark::MainWindow& dlg, int row, int col, int role) {
        return Child<QTableView>(dlg, "PinList")->model()->index(row, col).data(role);
    }
    static QColor Background(const vark::MainWindow& dlg, int row, int col = 2) {
        return Data(dlg, row, col, Qt::BackgroundRole).value<QColor>();
    }
    static QString ToolTip(const vark::MainWindow& dlg, int row, int col = 2) {
        return Data(dlg, row, col, Qt::ToolTipRole).toString();
    }
    static QString Status(const vark::MainWindow& dlg) {
        return Child<QStatusBar>(dlg, "StatusBar")->currentMessage();
    }

    static void ExpectNoMarks(const vark::MainWindow& dlg) {
        for (int r = 0; r < dlg.RowCount(); ++r) {
            EXPECT_FALSE(Background(dlg, r).isValid()) << r;
            EXPECT_EQ(ToolTip(dlg, r), dlg.CellText(r, 2)) << r;
        }
    }

    QTemporaryDir dir;
    QString run;
    MessageRecorder messages;
    ScriptedFileDialogs dialogs;
};

TEST_F(CompareWindow, RowTintsTooltipsAndStatusAgainstARowOfTheList) {
    vark::MainWindow dlg;
    Open(dlg, run);
    const auto cells = vark::PinMapTable(dlg.Block());
    Child<vark::CompareView>(dlg, "CompareView")->UseAsReference(0);

    ASSERT_TRUE(Child<vark::CompareView>(dlg, "CompareView")->HasReference());
    EXPECT_EQ(Child<vark::CompareView>(dlg, "CompareView")->ReferenceRow(), 0);
    for (int c = 0; c < vark::kListColumns; ++c) {
        EXPECT_EQ(Background(dlg, 0, c), CompareView::ReferenceColor()) << c;
    }
    EXPECT_EQ(ToolTip(dlg, 0), "Reference: every row is compared with this test.");
    EXPECT_EQ(Background(dlg, 4), CompareView::DiffersColor());
    EXPECT_EQ(ToolTip(dlg, 4, 0), "005 differs: missing A03-B03\nReference: test 001");
    EXPECT_EQ(ToolTip(dlg, 12),
              "013 differs: missing A01-B01 A02-B02; extra A01-B02 A02-B01\nReference: test 001");
    EXPECT_EQ(Background(dlg, 19), CompareView::DiffersColor());
    EXPECT_EQ(ToolTip(dlg, 19),
              "020 other pin count: reference 10, record 12\nReference: test 001");
    EXPECT_EQ(Background(dlg, 17), CompareView::NoMapColor());
    EXPECT_EQ(ToolTip(dlg, 17), "018 error\nReference: test 001");
    // Rows wired like the reference keep their look and their cell tooltip.
    EXPECT_FALSE(Background(dlg, 1).isValid());
    EXPECT_EQ(ToolTip(dlg, 1, 2), dlg.CellText(1, 2));
    EXPECT_EQ(Status(dlg), "Reference: test 001. 14 same, 4 differs, 1 other pin count, 1 error.");

    // Not one cell text changes.
    ASSERT_EQ(dlg.RowCount(), 20);
    for (int r = 0; r < dlg.RowCount(); ++r) {
        for (int c = 0; c < vark::kListColumns; ++c) {
            EXPECT_EQ(Data(dlg, r, c, Qt::DisplayRole).toString().toStdString(),
                      cells[r][static_cast<std::size_t>(c)]);
        }
    }

    // The open-pin record as reference: most records disagree with it.
    Child<vark::CompareView>(dlg, "CompareView")->UseAsReference(4);
    EXPECT_EQ(Background(dlg, 4), CompareView::ReferenceColor());
    EXPECT_EQ(Background(dlg, 0), CompareView::DiffersColor());
    EXPECT_EQ(ToolTip(dlg, 0), "001 differs: extra A03-B03\nReference: test 005");
    EXPECT_TRUE(Status(dlg).startsWith("Reference: test 005. 1 same, 17 differs"));
    EXPECT_TRUE(Status(dlg).contains(
        "Warning: 14 of the 20 records are wired alike (first test 001) and unlike the reference"))
        << Status(dlg).toStdString();
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(CompareWindow, EmptyAndErrorRowsAreRefusedWithAMessage) {
    vark::RecordBlock block = vark::ProductionRunBlock();
    block.slots[2] = vark::RecordBuilder(0).Build();
    vark::MainWindow dlg;
    Open(dlg, Write("holes.vku", block));

    Child<vark::CompareView>(dlg, "CompareView")->UseAsReference(17);
    Child<vark::CompareView>(dlg, "CompareView")->UseAsReference(2);
    EXPECT_EQ(messages.Texts(),
              QStringList({"\n    Test 018 cannot be the reference: it is a record in error (pin "
                           "count 255).    \n",
                           "\n    Test 003 cannot be the reference: it is an empty slot (no test "
                           "stored).    \n"}));
    EXPECT_FALSE(Child<vark::CompareView>(dlg, "CompareView")->HasReference());
    EXPECT_TRUE(Status(dlg).isEmpty());
    ExpectNoMarks(dlg);

    // A refused row leaves a reference already set as it was.
    Child<vark::CompareView>(dlg, "CompareView")->UseAsReference(1);
    Child<vark::CompareView>(dlg, "CompareView")->UseAsReference(17);
    EXPECT_EQ(Child<vark::CompareView>(dlg, "CompareView")->ReferenceRow(), 1);
    EXPECT_EQ(Background(dlg, 2), CompareView::NoMapColor());
    EXPECT_EQ(ToolTip(dlg, 2), "003 empty\nReference: test 002");
}

TEST_F(CompareWindow, GoldenReferenceSurvivesANewListARowReferenceDoesNot) {
    vark::MainWindow dlg;
    Open(dlg, run);
    Child<vark::CompareView>(dlg, "CompareView")->UseAsReference(1);
    Open(dlg, run);  // the list is replaced, even by the same file
    EXPECT_FALSE(Child<vark::CompareView>(dlg, "CompareView")->HasReference());
    EXPECT_TRUE(Status(dlg).isEmpty());
    ExpectNoMarks(dlg);
    EXPECT_FALSE(Child<vark::CompareView>(dlg, "CompareView")->ClearReferenceAction()->isEnabled());

    // A golden file: its first record; no row of the list is the reference.
    const QString gold = Write("gold.vku", [] {
        vark::RecordBlock b;
        vark::ClearBlock(b);
        b.count = 1;
        b.slots[0] = vark::RecordBuilder(10).Straight().Grounds().Build();
        return b;
    }());
    dialogs.openAnswer = gold;
    Child<vark::CompareView>(dlg, "CompareView")->CompareGoldenAction()->trigger();
    EXPECT_EQ(Child<vark::CompareView>(dlg, "CompareView")->ReferenceRow(), -1);
    EXPECT_FALSE(Background(dlg, 0).isValid());
    EXPECT_EQ(ToolTip(dlg, 4),
              "005 differs: missing A03-B03\nReference: test 001 of the golden "
              "file gold.vku");
    EXPECT_EQ(Status(dlg),
              "Reference: test 001 of the golden file gold.vku. 14 same, 4 differs, 1 "
              "other pin count, 1 error.");
    EXPECT_TRUE(Child<vark::CompareView>(dlg, "CompareView")->ClearReferenceAction()->isEnabled());

    // A new block (as an upload brings) is compared with it at once.
    vark::RecordBlock other;
    vark::ClearBlock(other);
    other.count = 2;
    other.slots[0] = vark::RecordBuilder(10).Straight().Build();
    other.slots[1] = vark::RecordBuilder(10).Straight().Grounds().Build();
    dlg.SetBlock(other);
    EXPECT_EQ(Background(dlg, 0), CompareView::DiffersColor());
    EXPECT_EQ(ToolTip(dlg, 0),
              "001 differs: missing AGD-BGD\nReference: test 001 of the golden "
              "file gold.vku");
    EXPECT_FALSE(Background(dlg, 1).isValid());
    EXPECT_EQ(Status(dlg), "Reference: test 001 of the golden file gold.vku. 1 same, 1 differs.");
    EXPECT_EQ(Child<QStatusBar>(dlg, "StatusBar")->toolTip(), Status(dlg));

    Child<vark::CompareView>(dlg, "CompareView")->ClearReferenceAction()->trigger();
    EXPECT_FALSE(Child<vark::CompareView>(dlg, "CompareView")->HasReference());
    EXPECT_TRUE(Status(dlg).isEmpty());
    EXPECT_TRUE(Child<QStatusBar>(dlg, "StatusBar")->toolTip().isEmpty());
    ExpectNoMarks(dlg);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(CompareWindow, GoldenFilesThatCannotServe) {
    vark::MainWindow dlg;
    Open(dlg, run);
    Child<vark::CompareView>(dlg, "CompareView")->UseAsReference(0);

    dialogs.openAnswer.clear();  // cancelled: nothing changes
    Child<vark::CompareView>(dlg, "CompareView")->CompareWithGoldenFile();
    EXPECT_EQ(Child<vark::CompareView>(dlg, "CompareView")->ReferenceRow(), 0);

    dialogs.openAnswer = dir.filePath("missing.vku");
    Child<vark::CompareView>(dlg, "CompareView")->CompareWithGoldenFile();
    vark::RecordBlock none;
    vark::ClearBlock(none);
    dialogs.openAnswer = Write("none.vku", none);
    Child<vark::CompareView>(dlg, "CompareView")->CompareWithGoldenFile();
    none.count = 1;
    dialogs.openAnswer = Write("hole.vku", none);
    Child<vark::CompareView>(dlg, "CompareView")->CompareWithGoldenFile();
    EXPECT_EQ(messages.Texts(),
              QStringList({"\n    Open file failed!    \n",
                           "\n    The golden file none.vku holds no records.    \n",
                           "\n    Test 001 of hole.vku cannot be the reference: it is an empty "
                           "slot (no test stored).    \n"}));
    // The reference in force stays.
    EXPECT_EQ(Child<vark::CompareView>(dlg, "CompareView")->ReferenceRow(), 0);
    EXPECT_EQ(Background(dlg, 0), CompareView::ReferenceColor());
}

TEST_F(CompareWindow, ContextMenuOnTheList) {
    vark::MainWindow dlg;
    dlg.resize(1000, 700);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    Open(dlg, run);
    QTableView* list = Child<QTableView>(dlg, "PinList");
    const QPoint onRow3 = list->visualRect(list->model()->index(2, 1)).center();

    QStringList texts;
    bool useEnabled = false;
    bool clearEnabled = true;
    // Reads the menu while it is up, then picks `pick` (or closes it).
    auto whenMenu = [&](const QString& pick) {
        vark::test::WhenPopup<QMenu>([&, pick](QMenu* menu) {
            ASSERT_NE(menu, nullptr);
            texts.clear();
            for (QAction* a : menu->actions()) {
                texts << a->text();
                if (a->text() == "Use as Reference") {
                    useEnabled = a->isEnabled();
                }
                if (a->text() == "Clear Reference") {
                    clearEnabled = a->isEnabled();
                }
            }
            for (QAction* a : menu->actions()) {
                if (!a->isSeparator() && a->text() == pick) {
                    menu->setActiveAction(a);
                    QTest::keyClick(menu, Qt::Key_Return);
                    return;
                }
            }
            menu->close();
        });
    };

    whenMenu("Use as Reference");
    Q_EMIT list->customContextMenuRequested(onRow3);
    EXPECT_EQ(texts,
              QStringList({"Use as Reference", "Use as Golden for Part...",
                           "Compare with Golden File...", "Clear Reference", "", "History..."}));
    EXPECT_TRUE(useEnabled);
    EXPECT_FALSE(clearEnabled);
    EXPECT_EQ(Child<vark::CompareView>(dlg, "CompareView")->ReferenceRow(), 2);
    EXPECT_EQ(list->currentIndex().row(), 2);
    EXPECT_EQ(Background(dlg, 2), CompareView::ReferenceColor());

    // Below the last row there is no row to take.
    whenMenu(QString());
    Q_EMIT list->customContextMenuRequested(QPoint(5, list->viewport()->height() - 2));
    EXPECT_FALSE(useEnabled);
    EXPECT_TRUE(clearEnabled);

    whenMenu("Clear Reference");
    Q_EMIT list->customContextMenuRequested(onRow3);
    EXPECT_FALSE(Child<vark::CompareView>(dlg, "CompareView")->HasReference());
    EXPECT_FALSE(Background(dlg, 2).isValid());
    EXPECT_EQ(list->contextMenuPolicy(), Qt::CustomContextMenu);
}

}  // namespace
