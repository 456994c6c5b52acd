// The window on an ordinary desktop, headless: palettes, keys, the warning
// strip, remembered places, the row header and the empty list's hint.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include "app/compare_view.h"
#include "app/file_dialogs.h"
#include "app/main_window.h"
#include "app/pin_list_view.h"
#include "app/pin_map_model.h"
#include "app/window_memory.h"
#include "app_test_support.h"
#include "archive/settings.h"
#include "records/record_file.h"
#include "records/sample_records.h"
#include "ui/contrast.h"

using vark::test::Child;

namespace {

using vark::test::MessageRecorder;
using vark::test::ScriptedFileDialogs;

vark::Rgb ToRgb(const QColor& c) {
    return {static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
            static_cast<std::uint8_t>(c.blue())};
}

QPalette DarkPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEC));
    p.setColor(QPalette::Base, QColor(0x2D, 0x2D, 0x2D));
    p.setColor(QPalette::Text, QColor(0xEE, 0xEE, 0xEC));
    p.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::ButtonText, QColor(0xEE, 0xEE, 0xEC));
    return p;
}

class DesktopWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        run = dir.filePath(QStringLiteral("run.vku"));
        ASSERT_EQ(
            vark::WriteRecordFile(QFile::encodeName(run).toStdString(), vark::ProductionRunBlock()),
            vark::FileStatus::Ok);
    }
    void TearDown() override {
        QApplication::setPalette(QPalette());
        vark::SetDialogFolder({});
    }

    void Open(vark::MainWindow& dlg, const QString& path) {
        dialogs.openAnswer = path;
        dlg.OpenRecordFile();
    }
    static vark::CompareView* Compare(vark::MainWindow& dlg) {
        return Child<vark::CompareView>(dlg, "CompareView");
    }
    static QAbstractItemModel* Model(vark::MainWindow& dlg) {
        return Child<QTableView>(dlg, "PinList")->model();
    }

    QTemporaryDir dir;
    QString run;
    MessageRecorder messages;
    ScriptedFileDialogs dialogs;
};

TEST_F(DesktopWindow, TintsFollowThePaletteAndStayReadable) {
    vark::MainWindow dlg;
    Open(dlg, run);
    Compare(dlg)->UseAsReference(0);
    // Rows 0, 4 and 17: the reference, a differing record and one in error.
    const int rows[] = {0, 4, 17};
    for (const QPalette& palette : {QPalette(QColor(0xEF, 0xEF, 0xEF)), DarkPalette()}) {
        QApplication::setPalette(palette);
        QCoreApplication::processEvents();
        const QPalette used = Child<QTableView>(dlg, "PinList")->palette();
        ASSERT_EQ(used.color(QPalette::Base), palette.color(QPalette::Base));
        for (int row : rows) {
            const QModelIndex at = Model(dlg)->index(row, 2);
            const QColor back = at.data(Qt::BackgroundRole).value<QColor>();
            const QColor text = at.data(Qt::ForegroundRole).value<QColor>();
            ASSERT_TRUE(back.isValid()) << row;
            EXPECT_EQ(text, used.color(QPalette::Text)) << row;
            EXPECT_GE(vark::ContrastRatio(ToRgb(back), ToRgb(text)), vark::kMinTextContrast)
                << row << " on base " << used.color(QPalette::Base).name().toStdString();
            EXPECT_NE(back, used.color(QPalette::Base)) << row;
        }
    }
    // Dark: no pale light-palette tint is left behind.
    const QColor dark = Model(dlg)->index(4, 2).data(Qt::BackgroundRole).value<QColor>();
    EXPECT_LT(dark.lightness(), 128) << dark.name().toStdString();
}

TEST_F(DesktopWindow, MarksShowAsSignsBesideTheTestNumberNotOnlyAsColour) {
    vark::MainWindow dlg;
    Open(dlg, run);
    QAbstractItemModel* model = Model(dlg);
    const auto header = [&](int row, int role = Qt::DisplayRole) {
        return model->headerData(row, Qt::Vertical, role).toString();
    };
    EXPECT_EQ(header(0), QStringLiteral("001"));
    EXPECT_EQ(header(4), QStringLiteral("005"));

    Compare(dlg)->UseAsReference(0);
    EXPECT_EQ(header(0), QStringLiteral("\u25CF 001"));
    EXPECT_EQ(header(1), QStringLiteral("002"));  // wired alike: no sign
    EXPECT_EQ(header(4), QStringLiteral("\u2260 005"));
    EXPECT_EQ(header(19), QStringLiteral("\u2260 020"));  // another pin count
    EXPECT_EQ(header(17), QStringLiteral("! 018"));
    // The row's tooltip on its header too, and words for a screen reader.
    EXPECT_EQ(header(4, Qt::ToolTipRole),
              QStringLiteral("005 differs: missing A03-B03\nReference: test 001"));
    EXPECT_EQ(header(4, Qt::AccessibleTextRole),
              QStringLiteral("Test 005, differs from the reference"));

    Compare(dlg)->ClearReference();
    EXPECT_EQ(header(0), QStringLiteral("001"));
    EXPECT_EQ(header(17), QStringLiteral("018"));
}

TEST_F(DesktopWindow, TestNumberStaysInViewWhenScrolledSideways) {
    vark::MainWindow dlg;
    dlg.show();
    Open(dlg, run);
    auto* list = Child<QTableView>(dlg, "PinList");
    QCoreApplication::processEvents();
    list->horizontalScrollBar()->setValue(list->horizontalScrollBar()->maximum());
    QCoreApplication::processEvents();
    ASSERT_GT(list->horizontalScrollBar()->value(), 45 + 50);  // the ID column is out of view
    QHeaderView* rows = list->verticalHeader();
    EXPECT_TRUE(rows->isVisible());
    EXPECT_GE(rows->width(), QFontMetrics(rows->font()).horizontalAdvance(QStringLiteral("000")));
    EXPECT_EQ(rows->sectionSize(0), 20);
    EXPECT_EQ(rows->model()->headerData(7, Qt::Vertical).toString(), dlg.CellText(7, 0));
    // The cells are the cells: eight columns, texts as before.
    EXPECT_EQ(list->model()->columnCount(), 8);
    EXPECT_EQ(list->model()->index(7, 0).data().toString(), QStringLiteral("008"));
}

TEST_F(DesktopWindow, EveryCommandHasItsKeyShownInItsTooltip) {
    vark::MainWindow dlg;
    const struct {
        vark::MainWindow::Command command;
        QKeySequence key;
    } expected[] = {
        {vark::MainWindow::CmdOpen, QKeySequence(Qt::CTRL | Qt::Key_O)},
        {vark::MainWindow::CmdSave, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {vark::MainWindow::CmdPrint, QKeySequence(Qt::CTRL | Qt::Key_P)},
        {vark::MainWindow::CmdUpload, QKeySequence(Qt::CTRL | Qt::Key_U)},
        {vark::MainWindow::CmdAbout, QKeySequence(Qt::Key_F1)},
        {vark::MainWindow::CmdExit, QKeySequence(Qt::CTRL | Qt::Key_Q)},
    };
    auto* bar = Child<QToolBar>(dlg, "ToolBar");
    for (const auto& e : expected) {
        QAction* action = dlg.CommandAction(e.command);
        EXPECT_TRUE(action->shortcuts().contains(e.key)) << action->text().toStdString();
        EXPECT_FALSE(action->shortcuts().contains(QKeySequence(Qt::Key_Escape)));
        // The label is unchanged; the tooltip names the key.
        const QString label = action->text();
        EXPECT_EQ(action->toolTip(), label + " (" + e.key.toString(QKeySequence::NativeText) + ")");
        auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), label);
        EXPECT_FALSE(button->accessibleName().isEmpty());
    }
}

TEST_F(DesktopWindow, WarningReadsWholeInAStripThatCanBeClosed) {
    vark::MainWindow dlg;
    dlg.show();
    Open(dlg, run);
    auto* list = Child<QTableView>(dlg, "PinList");
    auto* strip = Child<QFrame>(dlg, "CompareWarning");
    auto* text = Child<QLabel>(dlg, "CompareWarningText");
    const QRect listAlone = list->geometry();
    EXPECT_FALSE(strip->isVisible());

    // The open-pin record as reference: most records disagree with it.
    Compare(dlg)->UseAsReference(4);
    QCoreApplication::processEvents();
    const QString warning = QStringLiteral(
        "Warning: 14 of the 20 records are wired alike (first test 001) and unlike the "
        "reference: the reference itself may be the bad cable.");
    ASSERT_TRUE(strip->isVisible());
    EXPECT_EQ(text->text(), warning);
    // Whole at the default size: every wrapped line fits the label.
    EXPECT_GE(text->height(), text->heightForWidth(text->width()));
    EXPECT_TRUE(strip->rect().contains(QRect(text->pos(), text->size())));
    // Above the list, which gives it room and keeps its sides.
    EXPECT_EQ(strip->geometry().top(), listAlone.top());
    EXPECT_EQ(list->geometry().top(), strip->geometry().bottom() + 1);
    EXPECT_EQ(list->geometry().bottom(), listAlone.bottom());
    // The status line says what it said before.
    EXPECT_TRUE(Child<QStatusBar>(dlg, "StatusBar")->currentMessage().endsWith(warning));

    QTest::mouseClick(Child<QToolButton>(dlg, "CompareWarningClose"), Qt::LeftButton);
    EXPECT_FALSE(strip->isVisible());
    EXPECT_EQ(list->geometry(), listAlone);
    // The same warning again stays closed; none at all leaves the list alone.
    Compare(dlg)->UseAsReference(4);
    EXPECT_FALSE(strip->isVisible());
    Compare(dlg)->UseAsReference(0);
    EXPECT_FALSE(strip->isVisible());
    EXPECT_EQ(list->geometry(), listAlone);
    // A warning after a closed one shows again.
    Compare(dlg)->UseAsReference(4);
    EXPECT_TRUE(strip->isVisible());
}

// The empty list shows its hint, a list with rows does not; neither the
// cells nor the rows ever hold it.
TEST_F(DesktopWindow, EmptyListShowsAQuietHintOnly) {
    vark::MainWindow dlg;
    dlg.show();
    auto* list = Child<QTableView>(dlg, "PinList");
    const QColor base = list->palette().color(QPalette::Base);
    const auto inkedPixels = [&] {
        QCoreApplication::processEvents();
        const QImage image = list->viewport()->grab().toImage();
        // Below the rows the sample's twenty rows take.
        int inked = 0;
        for (int y = 20 * 20 + 4; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                inked += QColor(image.pixel(x, y)) != base;
            }
        }
        return inked;
    };
    ASSERT_GT(list->viewport()->height(), 20 * 20 + 40) << "the window is too small to look";
    EXPECT_EQ(inkedPixels(), 0) << "the hint lies in the rows' place";
    const QImage empty = list->viewport()->grab().toImage();
    int hint = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < empty.width(); ++x) {
            hint += QColor(empty.pixel(x, y)) != base;
        }
    }
    EXPECT_GT(hint, 50);
    EXPECT_EQ(dlg.RowCount(), 0);
    EXPECT_TRUE(dlg.CellText(0, 0).isEmpty());

    Open(dlg, run);
    QCoreApplication::processEvents();
    const QImage full = list->viewport()->grab().toImage();
    // The first row's cells are drawn as ever: its ID cell holds "001".
    EXPECT_EQ(dlg.CellText(0, 0), QStringLiteral("001"));
    int below = 0;
    for (int y = 20 * 20 + 4; y < full.height(); ++y) {
        for (int x = 0; x < full.width(); ++x) {
            below += QColor(full.pixel(x, y)) != base;
        }
    }
    EXPECT_EQ(below, 0) << "the hint outlived the first record";
}

TEST_F(DesktopWindow, FirstShowFitsTheScreen) {
    vark::MainWindow dlg;
    dlg.resize(3000, 2000);
    dlg.show();
    QCoreApplication::processEvents();
    const QRect area = dlg.screen()->availableGeometry();
    EXPECT_TRUE(area.contains(dlg.frameGeometry())) << dlg.frameGeometry().width();
    EXPECT_GE(dlg.width(), 480);
    EXPECT_GE(dlg.height(), 360);
}

TEST_F(DesktopWindow, MemoryKeepsTheArchiveSettingsOfTheSameFile) {
    const QString file = dir.filePath(QStringLiteral("conf/vark-u.conf"));
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("conf"))));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[General]\narchive_file=/srv/runs/archive.sqlite3\nstation=Bench 2\n");
    }
    {
        vark::WindowMemory memory(file);
        EXPECT_EQ(memory.WindowPlace(), std::nullopt);
        memory.SetWindowPlace({{120, 80}, {900, 640}, true});
        memory.SetLastFolder(QStringLiteral("/srv/runs/lot 7"));
        memory.SetLastGoldenFile(QStringLiteral("/srv/golden/A.vku"));
        ASSERT_TRUE(memory.Save());
    }
    const vark::WindowMemory again(file);
    const auto place = again.WindowPlace();
    ASSERT_TRUE(place.has_value());
    EXPECT_EQ(place->frameTopLeft, QPoint(120, 80));
    EXPECT_EQ(place->clientSize, QSize(900, 640));
    EXPECT_TRUE(place->maximized);
    EXPECT_EQ(again.LastFolder(), QStringLiteral("/srv/runs/lot 7"));
    EXPECT_EQ(again.LastGoldenFile(), QStringLiteral("/srv/golden/A.vku"));
    // The archive's reader still finds its own settings.
    const auto ini = vark::archive::LoadSettings(QFile::encodeName(file).toStdString());
    EXPECT_EQ(ini.String("archive_file"), "/srv/runs/archive.sqlite3");
    EXPECT_EQ(ini.String("station"), "Bench 2");
}

TEST_F(DesktopWindow, MemoryRefusesNonsenseAndSaysWhenItCannotWrite) {
    const QString file = dir.filePath(QStringLiteral("vark-u.conf"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[window]\nx=10\ny=zz\nwidth=800\nheight=600\n");
    }
    EXPECT_EQ(vark::WindowMemory(file).WindowPlace(), std::nullopt);
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[window]\nx=10\ny=10\nwidth=-800\nheight=600\n");
    }
    EXPECT_EQ(vark::WindowMemory(file).WindowPlace(), std::nullopt);

    // A folder where the file should be: nothing can be written there.
    const QString blocked = dir.filePath(QStringLiteral("blocked.conf"));
    ASSERT_TRUE(QDir().mkpath(blocked));
    vark::WindowMemory memory(blocked);
    memory.SetLastFolder(QStringLiteral("/tmp"));
    EXPECT_FALSE(memory.Save());
    EXPECT_FALSE(vark::WindowMemory(QString()).Save());
}

TEST_F(DesktopWindow, WindowRemembersFoldersAndTheGoldenFile) {
    const QString file = dir.filePath(QStringLiteral("vark-u.conf"));
    const QString golden = dir.filePath(QStringLiteral("golden/good.vku"));
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("golden"))));
    ASSERT_EQ(
        vark::WriteRecordFile(QFile::encodeName(golden).toStdString(), vark::ProductionRunBlock()),
        vark::FileStatus::Ok);
    {
        vark::WindowMemory memory(file);
        vark::MainWindow dlg;
        dlg.SetMemory(&memory);
        Open(dlg, run);
        EXPECT_EQ(vark::DialogFolder(), dir.path());
        dialogs.openAnswer = golden;
        Compare(dlg)->CompareWithGoldenFile();
        ASSERT_TRUE(Compare(dlg)->HasReference());
        // A refused open changes nothing.
        Open(dlg, dir.filePath(QStringLiteral("missing.vku")));
        EXPECT_EQ(vark::DialogFolder(), dir.path());
        dlg.SetMemory(nullptr);
    }
    // Written at once, not only when the window ends.
    const QSettings written(file, QSettings::IniFormat);
    EXPECT_EQ(written.value(QStringLiteral("files/last_folder")).toString(), dir.path());
    EXPECT_EQ(written.value(QStringLiteral("compare/golden_file")).toString(), golden);

    vark::SetDialogFolder({});
    vark::WindowMemory memory(file);
    vark::MainWindow dlg;
    dlg.SetMemory(&memory);
    EXPECT_EQ(vark::DialogFolder(), dir.path());
    dlg.SetMemory(nullptr);
}

}  // namespace
