// The History window over a real archive made by the test: the runs it
// lists and in which order, each filter, sorting, voided runs, amendments,
// export and opening a run into the main window.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPrintDialog>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/history_model.h"
#include "app/history_window.h"
#include "app/main_window.h"
#include "app/pin_map_model.h"
#include "app/statistics_pane.h"
#include "app_test_support.h"
#include "archive/sqlite_archive.h"
#include "records/record_file.h"
#include "records/sample_records.h"
#include "testing/scratch_dir.h"
#include "tests/app/print_to_file.h"

namespace vark::archive::test {

// A private folder that goes with the test.
class Scratch : public vark::test::ScratchDir {
  public:
    Scratch() : ScratchDir("vark-history-test-") {}
};

// `count` straight cables; `variant` marks the first record so that blocks
// of one shape differ in their bytes.
RecordBlock StraightBlock(int count, int pins = 10, int variant = 0) {
    RecordBlock b{};
    b.count = static_cast<std::uint8_t>(count);
    for (int i = 0; i < count; ++i) {
        RecordBuilder r(pins);
        r.Straight().Grounds();
        if (i == 0 && variant != 0) {
            r.Reserved(static_cast<std::uint8_t>(variant));
        }
        b.slots[i] = r.Build();
    }
    return b;
}

NewRun UploadRun(const RecordBlock& block, const std::string& serial = "SN1",
                 const std::string& lot = "") {
    NewRun run;
    run.started = NowMs();
    run.ended = run.started + 1700;
    run.station = "station-1";
    run.operatorName = "ann";
    run.source = Source::Upload;
    run.port = "/dev/ttyUSB0";
    run.testerSerial = serial;
    run.lot = lot;
    run.program = "test";
    run.block = block;
    return run;
}

}  // namespace vark::archive::test

namespace {

using vark::HistoryFilter;
using vark::HistoryWindow;
using vark::archive::NewRun;
using vark::archive::RunQuery;
using vark::archive::SqliteArchive;
using vark::test::Child;
using vark::test::MessageRecorder;
using Verdicts = RunQuery::Verdicts;

// Local noon of a day in March 2026.
vark::archive::TimeMs Noon(int day) {
    return QDateTime(QDate(2026, 3, day), QTime(12, 0)).toMSecsSinceEpoch();
}

vark::RecordBlock WithError(vark::RecordBlock block) {
    block.slots[1].bytes[0] = vark::kPinCountError;
    return block;
}

class HistoryWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        config.file = (dir / "archive.sqlite3").string();
        config.station = "station-9";
        config.operatorName = "quality";
        auto opened = SqliteArchive::Open(config.file);
        ASSERT_TRUE(opened) << opened.error().message;
        store = std::move(opened.value());
        const vark::TestRecord good = vark::RecordBuilder(10).Straight().Grounds().Build();
        // r1: all alike and like the reference; r2: some differ, one error;
        // r3: no reference; r4: no reference, a record in error.
        Add("r1", 2, "L1", "P1", "ann", "SN1", vark::archive::test::StraightBlock(5, 10, 1), good);
        Add("r2", 3, "L1", "P2", "bob", "SN2", vark::ProductionRunBlock(), good);
        Add("r3", 4, "L2", "P1", "ann", "SN1", vark::archive::test::StraightBlock(6, 10, 2), {});
        Add("r4", 5, "L2", "P2", "cid", "SN3",
            WithError(vark::archive::test::StraightBlock(4, 10, 3)), {});
        window.SetArchive(config);
    }

    void Add(const std::string& name, int day, const std::string& lot, const std::string& part,
             const std::string& op, const std::string& serial, const vark::RecordBlock& block,
             std::optional<vark::TestRecord> reference) {
        NewRun run = vark::archive::test::UploadRun(block, serial, lot);
        run.started = Noon(day);
        run.ended = run.started + 2000;
        run.part = part;
        run.operatorName = op;
        if (reference) {
            run.reference = reference;
            run.referenceLabel = "test 001";
        }
        const auto done = store->Commit(run);
        ASSERT_TRUE(done) << done.error().message;
        names[done->uuid] = name;
        uuids[name] = done->uuid;
        blocks[name] = block;
    }

    // The runs the list shows, by the test's names, in its order.
    std::vector<std::string> Listed() const {
        std::vector<std::string> out;
        const vark::HistoryModel* model = window.Model();
        for (int row = 0; row < model->rowCount(); ++row) {
            const auto it = names.find(model->Run(row)->uuid);
            out.push_back(it == names.end() ? model->Run(row)->uuid : it->second);
        }
        return out;
    }

    int RowOf(const std::string& name) const {
        const vark::HistoryModel* model = window.Model();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->Run(row)->uuid == uuids.at(name)) {
                return row;
            }
        }
        return -1;
    }

    vark::archive::test::Scratch dir;
    vark::archive::ArchiveConfig config;
    std::unique_ptr<SqliteArchive> store;
    std::map<std::string, std::string> names;  // UUID -> r1..r4
    std::map<std::string, std::string> uuids;
    std::map<std::string, vark::RecordBlock> blocks;
    MessageRecorder messages;
    HistoryWindow window;
};

using Names = std::vector<std::string>;

TEST_F(HistoryWindowTest, ListsRunsNewestFirstWithTheirCounts) {
    EXPECT_EQ(Listed(), (Names{"r4", "r3", "r2", "r1"}));
    EXPECT_EQ(Child<QLabel>(window, "RunCount")->text(), QStringLiteral("4 runs"));
    const vark::HistoryModel* m = window.Model();
    const QStringList r2 = [&] {
        QStringList cells;
        for (int c = 0; c < vark::kHistoryColumns; ++c) {
            cells << m->CellText(RowOf("r2"), c);
        }
        return cells;
    }();
    // The production run: 20 records, 14 like the reference, 5 otherwise
    // (other wiring or another pin count), one in error.
    EXPECT_EQ(r2, (QStringList{QStringLiteral("2026-03-03 12:00:00"), "L1", "P2", "bob",
                               "station-1", "SN2", "20", "14", "5", "1"}));
    EXPECT_EQ(m->CellText(RowOf("r1"), 7), QStringLiteral("5"));
    EXPECT_EQ(m->CellText(RowOf("r1"), 8), QStringLiteral("0"));
    // Not judged: no reference, so neither same nor differs.
    EXPECT_EQ(m->CellText(RowOf("r3"), 7), QStringLiteral("-"));
    EXPECT_EQ(m->CellText(RowOf("r3"), 8), QStringLiteral("-"));
    EXPECT_EQ(m->CellText(RowOf("r4"), 9), QStringLiteral("1"));
    EXPECT_EQ(Child<QTabWidget>(window, "HistoryTabs")->tabText(0), QStringLiteral("Runs"));
    EXPECT_FALSE(window.isModal());
}

TEST_F(HistoryWindowTest, EachFilterNarrowsTheList) {
    struct Case {
        const char* what;
        HistoryFilter filter;
        Names shown;
    };
    auto with = [](auto set) {
        HistoryFilter f;
        set(f);
        return f;
    };
    const Case cases[] = {
        {"lot", with([](auto& f) { f.lot = "L1"; }), {"r2", "r1"}},
        {"lot with blanks around it", with([](auto& f) { f.lot = " L1 "; }), {"r2", "r1"}},
        {"part", with([](auto& f) { f.part = "P1"; }), {"r3", "r1"}},
        {"operator", with([](auto& f) { f.operatorName = "ann"; }), {"r3", "r1"}},
        {"tester", with([](auto& f) { f.tester = "SN2"; }), {"r2"}},
        {"text, any field", with([](auto& f) { f.text = "bob"; }), {"r2"}},
        {"text, letter case aside", with([](auto& f) { f.text = "l2"; }), {"r4", "r3"}},
        {"since", with([](auto& f) { f.since = Noon(4) - 1; }), {"r4", "r3"}},
        {"until", with([](auto& f) { f.until = Noon(3) + 1; }), {"r2", "r1"}},
        {"all same", with([](auto& f) { f.verdicts = Verdicts::AllSame; }), {"r1"}},
        {"some differ", with([](auto& f) { f.verdicts = Verdicts::SomeDiffer; }), {"r2"}},
        {"some in error", with([](auto& f) { f.verdicts = Verdicts::SomeErrors; }), {"r4", "r2"}},
        {"not judged", with([](auto& f) { f.verdicts = Verdicts::NotJudged; }), {"r4", "r3"}},
        {"two at once",
         with([](auto& f) {
             f.part = "P1";
             f.verdicts = Verdicts::NotJudged;
         }),
         {"r3"}},
        {"nothing matches", with([](auto& f) { f.lot = "L"; }), {}},
    };
    for (const Case& c : cases) {
        window.SetFilter(c.filter);
        EXPECT_EQ(Listed(), c.shown) << c.what;
        EXPECT_EQ(window.Filter(), c.filter) << c.what;
    }
    EXPECT_EQ(Child<QLabel>(window, "RunCount")->text(), QStringLiteral("No runs"));
    window.ClearFilter();
    EXPECT_EQ(Listed(), (Names{"r4", "r3", "r2", "r1"}));
}

TEST_F(HistoryWindowTest, TheControlsSetTheFilterAndFollowIt) {
    std::vector<HistoryFilter> seen;
    QObject::connect(&window, &HistoryWindow::filterChanged,
                     [&](const HistoryFilter& f) { seen.push_back(f); });
    QTest::keyClicks(Child<QLineEdit>(window, "FilterOperator"), "ann");
    EXPECT_EQ(Listed(), (Names{"r3", "r1"}));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().operatorName, "ann");

    // Dates are whole local days: from the 3rd to the 4th takes both days.
    Child<QDateEdit>(window, "FilterSince")->setDate(QDate(2026, 3, 3));
    Child<QDateEdit>(window, "FilterUntil")->setDate(QDate(2026, 3, 4));
    Child<QLineEdit>(window, "FilterOperator")->clear();
    EXPECT_EQ(Listed(), (Names{"r4", "r3", "r2", "r1"})) << "a day not ticked narrows nothing";
    Child<QCheckBox>(window, "FilterSinceOn")->setChecked(true);
    Child<QCheckBox>(window, "FilterUntilOn")->setChecked(true);
    EXPECT_EQ(Listed(), (Names{"r3", "r2"}));
    EXPECT_EQ(seen.back().since, QDateTime(QDate(2026, 3, 3), QTime(0, 0)).toMSecsSinceEpoch());
    EXPECT_EQ(seen.back().until, QDateTime(QDate(2026, 3, 5), QTime(0, 0)).toMSecsSinceEpoch());

    Child<QComboBox>(window, "FilterVerdict")->setCurrentIndex(2);  // Some differ
    EXPECT_EQ(Listed(), (Names{"r2"}));
    EXPECT_EQ(seen.back().verdicts, Verdicts::SomeDiffer);

    // Set from outside (a chart's bar): the controls show it, once announced.
    HistoryFilter lot;
    lot.lot = "L2";
    const std::size_t before = seen.size();
    window.SetFilter(lot);
    EXPECT_EQ(seen.size(), before + 1);
    EXPECT_EQ(seen.back(), lot);
    EXPECT_EQ(Child<QLineEdit>(window, "FilterLot")->text(), QStringLiteral("L2"));
    EXPECT_FALSE(Child<QCheckBox>(window, "FilterSinceOn")->isChecked());
    EXPECT_EQ(Child<QComboBox>(window, "FilterVerdict")->currentIndex(), 0);
    EXPECT_EQ(Listed(), (Names{"r4", "r3"}));
    window.SetFilter(lot);
    EXPECT_EQ(seen.size(), before + 1) << "the same filter again is no change";
}

TEST_F(HistoryWindowTest, AHeaderClickSortsTheWholeArchiveByThatColumn) {
    window.show();
    QHeaderView* header = window.RunsList()->horizontalHeader();
    auto click = [&](int column) {
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    click(3);  // Operator; ties newest first is only for the default order
    EXPECT_EQ(Listed(), (Names{"r1", "r3", "r2", "r4"}));
    click(3);
    EXPECT_EQ(Listed(), (Names{"r4", "r2", "r3", "r1"}));
    click(6);  // Records: 4, 5, 6, 20
    EXPECT_EQ(Listed(), (Names{"r4", "r1", "r3", "r2"}));
    // The order holds when the filter changes.
    HistoryFilter f;
    f.part = "P1";
    window.SetFilter(f);
    EXPECT_EQ(Listed(), (Names{"r1", "r3"}));
    EXPECT_EQ(window.Query().sort, RunQuery::SortKey::Records);
}

TEST_F(HistoryWindowTest, AVoidedRunIsKeptButHiddenUnlessAsked) {
    EXPECT_FALSE(window.VoidRun(RowOf("r2"), "  ")) << "a reason is required";
    EXPECT_EQ(messages.Texts(), QStringList{QString::fromLatin1(vark::kGiveReason)});
    EXPECT_EQ(store->Counts()->amendments, 0);

    ASSERT_TRUE(window.VoidRun(RowOf("r2"), "uploaded by mistake"));
    EXPECT_EQ(Listed(), (Names{"r4", "r3", "r1"}));
    EXPECT_EQ(Child<QLabel>(window, "RunCount")->text(), QStringLiteral("3 runs"));
    Child<QCheckBox>(window, "ShowVoided")->setChecked(true);
    EXPECT_EQ(Listed(), (Names{"r4", "r3", "r2", "r1"}));
    EXPECT_TRUE(window.Model()->Run(RowOf("r2"))->voided);
    EXPECT_TRUE(window.Model()
                    ->data(window.Model()->index(RowOf("r2"), 1), Qt::ToolTipRole)
                    .toString()
                    .startsWith(QStringLiteral("Voided")));
    window.SelectRow(RowOf("r2"));
    EXPECT_FALSE(Child<QPushButton>(window, "VoidRun")->isEnabled());

    const auto shown = store->Show(uuids["r2"]);
    ASSERT_TRUE(shown);
    ASSERT_EQ(shown->amendments.size(), 1u);
    EXPECT_EQ(shown->amendments[0].field, "void");
    EXPECT_EQ(shown->amendments[0].why, "uploaded by mistake");
    EXPECT_EQ(shown->amendments[0].author, "quality");
    EXPECT_EQ(shown->amendments[0].station, "station-9");
    EXPECT_EQ(shown->records.size(), 20u) << "its records stay";
}

TEST_F(HistoryWindowTest, AnAmendmentShowsTheNewValueAndTheArchiveKeepsTheOld) {
    window.show();
    window.SelectRow(RowOf("r3"));
    vark::test::WhenModal<QDialog>([](QDialog* d) {
        ASSERT_NE(d, nullptr);
        auto* field = Child<QComboBox>(*d, "AmendField");
        auto* value = Child<QLineEdit>(*d, "AmendValue");
        field->setCurrentIndex(field->findText(QStringLiteral("Lot")));
        EXPECT_EQ(value->text(), QStringLiteral("L2")) << "the current value to start from";
        value->setText(QStringLiteral("L9 "));
        Child<QLineEdit>(*d, "AmendWhy")->setText(QStringLiteral("label misread"));
        d->accept();
    });
    Child<QPushButton>(window, "AmendRun")->click();
    EXPECT_TRUE(messages.Texts().isEmpty()) << messages.Texts().join('|').toStdString();
    EXPECT_EQ(window.Model()->CellText(RowOf("r3"), 1), QStringLiteral("L9"));

    const auto shown = store->Show(uuids["r3"]);
    ASSERT_TRUE(shown);
    ASSERT_EQ(shown->amendments.size(), 1u);
    EXPECT_EQ(shown->amendments[0].oldValue, "L2");
    EXPECT_EQ(shown->amendments[0].newValue, "L9");
    EXPECT_EQ(shown->amendments[0].why, "label misread");
    // Found by its current value only.
    RunQuery byOld;
    byOld.text = "L2";
    EXPECT_EQ(store->CountRuns(byOld).value(), 1);  // r4 only: current values count
    HistoryFilter f;
    f.lot = "L9";
    window.SetFilter(f);
    EXPECT_EQ(Listed(), (Names{"r3"}));
    f.lot = "L2";
    window.SetFilter(f);
    EXPECT_EQ(Listed(), (Names{"r4"}));
}

TEST_F(HistoryWindowTest, AnAmendmentThatChangesNothingOrGivesNoReasonIsRefused) {
    const int row = RowOf("r1");
    EXPECT_FALSE(window.AmendRun(row, "lot", "L1", "same again"));
    EXPECT_FALSE(window.AmendRun(row, "lot", "L7", ""));
    EXPECT_EQ(messages.Texts(), (QStringList{QString::fromLatin1(vark::kNothingChanged),
                                             QString::fromLatin1(vark::kGiveReason)}));
    EXPECT_EQ(store->Counts()->amendments, 0);
    EXPECT_EQ(window.Model()->CellText(row, 1), QStringLiteral("L1"));
}

TEST_F(HistoryWindowTest, ExportWritesTheReceivedBytesUnderTheNameSaveWouldHaveOffered) {
    vark::test::ScriptedFileDialogs dialogs;
    dialogs.saveAnswer = QString::fromStdString((dir / "exported").string());
    ASSERT_TRUE(window.ExportRun(RowOf("r2")));
    EXPECT_EQ(dialogs.lastDefaultName, QStringLiteral("Kelvor_20260303_120000.vku"));
    const std::string written = vark::test::ReadWhole(dir / "exported.vku");
    EXPECT_EQ(written, vark::archive::RecordFileBytes(blocks["r2"]));
    EXPECT_EQ(written, store->ExportBytes(uuids["r2"]).value());
    EXPECT_TRUE(messages.Texts().isEmpty());
}

TEST_F(HistoryWindowTest, AnExportThatCannotBeWrittenSaysSoAndLeavesNoFile) {
    vark::test::ScriptedFileDialogs dialogs;
    const auto target = dir / "no-such-folder" / "run.vku";
    dialogs.saveAnswer = QString::fromStdString(target.string());
    EXPECT_FALSE(window.ExportRun(RowOf("r1")));
    EXPECT_EQ(
        messages.Texts(),
        QStringList{QString::fromLatin1(vark::FileStatusMessage(vark::FileStatus::SaveFailed))});
    EXPECT_FALSE(std::filesystem::exists(target.parent_path()));
}

TEST_F(HistoryWindowTest, OpeningARunIntoTheMainWindowShowsWhatOpeningItsFileShows) {
    vark::test::ScriptedFileDialogs dialogs;
    dialogs.saveAnswer = QString::fromStdString((dir / "r2.vku").string());
    ASSERT_TRUE(window.ExportRun(RowOf("r2")));
    vark::MainWindow fromFile;
    ASSERT_TRUE(fromFile.OpenFile(dialogs.saveAnswer));

    vark::MainWindow main;
    main.SetArchiveConfig(config);
    main.ShowHistory();
    HistoryWindow* history = main.History();
    ASSERT_NE(history, nullptr);
    history->SelectRow(RowOf("r2"));
    Child<QPushButton>(*history, "OpenRun")->click();
    ASSERT_EQ(main.RowCount(), 20);
    ASSERT_EQ(main.RowCount(), fromFile.RowCount());
    for (int row = 0; row < main.RowCount(); ++row) {
        for (int col = 0; col < vark::kListColumns; ++col) {
            EXPECT_EQ(main.CellText(row, col), fromFile.CellText(row, col)) << row << "," << col;
        }
    }
    EXPECT_EQ(main.Block().count, 20);
    EXPECT_TRUE(main.Path().isEmpty()) << "no file holds the run";
    EXPECT_TRUE(messages.Texts().isEmpty());
}

TEST_F(HistoryWindowTest, CtrlHAndTheListsMenuOpenOneHistoryWindow) {
    vark::MainWindow main;
    main.SetArchiveConfig(config);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    QTest::keyClick(&main, Qt::Key_H, Qt::ControlModifier);
    HistoryWindow* history = main.History();
    ASSERT_NE(history, nullptr);
    EXPECT_TRUE(history->isVisible());
    EXPECT_TRUE(history->isWindow());
    EXPECT_EQ(history->parent(), &main) << "kept by the main window";
    EXPECT_EQ(history->Model()->rowCount(), 4);
    auto* menu = Child<QMenu>(main, "PinListMenu");
    EXPECT_TRUE(menu->actions().contains(main.HistoryAction()));
    EXPECT_EQ(main.HistoryAction()->text(), QStringLiteral("History..."));

    // Also with the focus in the path field, whose text stays as it was.
    history->close();
    auto* path = Child<QLineEdit>(main, "PathEdit");
    path->setText(QStringLiteral("abc"));
    path->setFocus();
    QTest::keyClick(path, Qt::Key_H, Qt::ControlModifier);
    EXPECT_TRUE(history->isVisible());
    EXPECT_EQ(path->text(), QStringLiteral("abc"));

    // A run archived while the window was closed is there when it comes back.
    history->close();
    Add("r5", 6, "L3", "P1", "dan", "SN1", vark::archive::test::StraightBlock(3, 10, 5), {});
    main.HistoryAction()->trigger();
    EXPECT_EQ(main.History(), history);
    EXPECT_EQ(history->Model()->rowCount(), 5);
}

// The Statistics tab counts what the runs list's filter selects, and a bar
// clicked there narrows the list.
TEST_F(HistoryWindowTest, TheStatisticsTabFollowsTheFilterAndNarrowsIt) {
    vark::MainWindow main;
    main.SetArchiveConfig(config);
    main.showHistory();
    HistoryWindow* history = main.History();
    ASSERT_NE(history, nullptr);
    QTabWidget* tabs = history->Tabs();
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("Statistics"));
    auto* pane = qobject_cast<vark::StatisticsPane*>(tabs->widget(1));
    ASSERT_NE(pane, nullptr);
    ASSERT_EQ(pane->Charts().lots.size(), 2u) << pane->Summary().toStdString();

    vark::HistoryFilter onlyL1 = history->Filter();
    onlyL1.lot = "L1";
    history->SetFilter(onlyL1);
    EXPECT_EQ(pane->Filter().lot, "L1");
    ASSERT_EQ(pane->Charts().lots.size(), 1u);

    tabs->setCurrentIndex(1);
    vark::RunFilter toL2 = pane->Filter();
    toL2.lot = "L2";
    Q_EMIT pane->filterNarrowed(toL2);
    EXPECT_EQ(history->Filter().lot, "L2");
    EXPECT_EQ(tabs->currentIndex(), 0) << "the narrowed runs list is shown";
    EXPECT_EQ(history->Model()->rowCount(), 2);
}

TEST_F(HistoryWindowTest, ReprintPrintsTheRunsReportThroughThePrintDialog) {
    const QString pdf = QString::fromStdString((dir / "reprint.pdf").string());
    vark::test::WhenModal<QPrintDialog>([&](QPrintDialog* d) {
        ASSERT_NE(d, nullptr);
        if (vark::test::ChoosePrintToFile(*d, pdf)) {
            d->accept();
        } else {
            d->reject();
        }
    });
    window.show();
    window.SelectRow(RowOf("r2"));
    Child<QPushButton>(window, "ReprintRun")->click();
    EXPECT_TRUE(messages.Texts().isEmpty()) << messages.Texts().join('|').toStdString();
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(20000));
    const QString printed = QString::fromUtf8(text.readAllStandardOutput()).simplified();
    // Each record's cells as the list shows the run, in order.
    vark::MainWindow shown;
    shown.SetBlock(blocks["r2"]);
    ASSERT_EQ(shown.RowCount(), 20);
    qsizetype at = 0;
    for (int r = 0; r < shown.RowCount(); ++r) {
        for (int c : {0, 1, 2}) {
            const QString cell = shown.CellText(r, c).simplified();
            if (cell.isEmpty()) {
                continue;
            }
            const qsizetype found = printed.indexOf(cell, at);
            ASSERT_GE(found, 0) << "row " << r << " col " << c << ": " << cell.toStdString();
            at = found;
        }
    }
}

TEST_F(HistoryWindowTest, AnArchiveHeldByAnotherProgramChangesNothingAndSaysWhy) {
    config.busyTimeoutMs = 100;
    window.SetArchive(config);
    // Another program holds the write lock throughout.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(config.file.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(window.AmendRun(RowOf("r1"), "lot", "L5", "typo"));
    EXPECT_FALSE(window.VoidRun(RowOf("r1"), "mistake"));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    ASSERT_EQ(messages.Texts().size(), 2);
    for (const QString& text : messages.Texts()) {
        EXPECT_TRUE(text.startsWith(QStringLiteral("Nothing was changed: "))) << text.toStdString();
    }
    EXPECT_EQ(store->Counts()->amendments, 0);
    EXPECT_EQ(Listed(), (Names{"r4", "r3", "r2", "r1"}));
    EXPECT_EQ(window.Model()->CellText(RowOf("r1"), 1), QStringLiteral("L1"));
}

TEST(HistoryWindowArchive, ADamagedArchiveIsSaidAndLeftAsItWas) {
    vark::archive::test::Scratch dir;
    vark::archive::ArchiveConfig config;
    config.file = (dir / "archive.sqlite3").string();
    const std::string garbage(8192, 'x');
    { std::ofstream(config.file, std::ios::binary) << garbage; }
    HistoryWindow window;
    window.SetArchive(config);
    EXPECT_EQ(window.Model()->rowCount(), 0);
    EXPECT_TRUE(Child<QLabel>(window, "RunCount")
                    ->text()
                    .startsWith(QStringLiteral("The archive cannot be read: ")))
        << Child<QLabel>(window, "RunCount")->text().toStdString();
    EXPECT_EQ(vark::test::ReadWhole(config.file), garbage);
    EXPECT_EQ(std::filesystem::directory_iterator(dir.path())->path().filename(),
              "archive.sqlite3");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(HistoryWindowArchive, WithoutAnArchiveYetItSaysSoAndMakesNone) {
    vark::archive::test::Scratch dir;
    vark::archive::ArchiveConfig config;
    config.file = (dir / "sub" / "archive.sqlite3").string();
    HistoryWindow window;
    window.SetArchive(config);
    EXPECT_EQ(window.Model()->rowCount(), 0);
    EXPECT_TRUE(Child<QLabel>(window, "RunCount")
                    ->text()
                    .startsWith(QStringLiteral("No runs are archived yet")));
    EXPECT_FALSE(std::filesystem::exists(dir / "sub"));
    EXPECT_FALSE(Child<QPushButton>(window, "OpenRun")->isEnabled());
}

TEST(HistoryWindowArchive, PagesComeAsTheListScrollsWithoutARunTwice) {
    vark::archive::test::Scratch dir;
    vark::archive::ArchiveConfig config;
    config.file = (dir / "archive.sqlite3").string();
    vark::archive::OpenOptions quick;
    quick.durable = false;
    auto store = std::move(SqliteArchive::Open(config.file, quick).value());
    const int kRuns = vark::HistoryModel::kPageSize * 2 + 50;
    for (int n = 0; n < kRuns; ++n) {
        NewRun run = vark::archive::test::UploadRun(
            vark::archive::test::StraightBlock(1 + n % 7, 10, 1 + n / 7), "SN1");
        run.started = Noon(1) + n * 60000LL;
        ASSERT_TRUE(store->Commit(run));
    }
    // Neither a voided run nor a repeat counts.
    NewRun voided = vark::archive::test::UploadRun(vark::archive::test::StraightBlock(9), "SN3");
    voided.started = Noon(1) - 60000;
    const auto voidedRun = store->Commit(voided);
    ASSERT_TRUE(voidedRun);
    ASSERT_TRUE(store->Amend(voidedRun->uuid, {{"void", "1"}}, "mistake", "quality", "s"));
    NewRun repeat = voided;
    repeat.started += 1000;
    for (int i = 0; i < 2; ++i) {
        const auto again = store->Commit(repeat);
        ASSERT_TRUE(again);
        EXPECT_FALSE(again->repeatOf.empty());
    }

    HistoryWindow window;
    window.SetArchive(config);
    vark::HistoryModel* model = window.Model();
    EXPECT_EQ(model->rowCount(), vark::HistoryModel::kPageSize);
    EXPECT_EQ(model->Total(), kRuns);
    EXPECT_EQ(Child<QLabel>(window, "RunCount")->text(), QStringLiteral("%1 runs").arg(kRuns));
    HistoryFilter f;
    f.withVoided = true;
    window.SetFilter(f);
    EXPECT_EQ(model->Total(), kRuns + 1);
    f.withRepeats = true;
    window.SetFilter(f);
    EXPECT_EQ(model->Total(), kRuns + 3);
    f = HistoryFilter{};
    f.tester = "SN1";
    window.SetFilter(f);
    EXPECT_EQ(model->Total(), kRuns);
    f.text = "sn3";
    window.SetFilter(f);
    EXPECT_EQ(model->Total(), 0);
    window.ClearFilter();
    ASSERT_TRUE(model->canFetchMore({}));
    // A newer run arrives between two pages: the rest move down by one.
    NewRun late = vark::archive::test::UploadRun(vark::archive::test::StraightBlock(2), "SN2");
    late.started = Noon(20);
    ASSERT_TRUE(store->Commit(late));
    while (model->canFetchMore({})) {
        model->fetchMore({});
    }
    std::set<std::string> seen;
    vark::archive::TimeMs previous = Noon(19);
    for (int row = 0; row < model->rowCount(); ++row) {
        EXPECT_TRUE(seen.insert(model->Run(row)->uuid).second) << "row " << row << " twice";
        EXPECT_LT(model->Run(row)->started, previous) << "row " << row;
        previous = model->Run(row)->started;
    }
    EXPECT_EQ(model->rowCount(), kRuns) << "each of the runs listed at the start";
    // Listed anew: the new run first, as many rows as before, the rest to come.
    window.Reload();
    EXPECT_EQ(model->Run(0)->uuid, store->List({}).value().front().uuid);
    EXPECT_EQ(model->rowCount(), kRuns);
    ASSERT_TRUE(model->canFetchMore({}));
    model->fetchMore({});
    EXPECT_EQ(model->rowCount(), kRuns + 1);
    EXPECT_FALSE(model->canFetchMore({}));
}

}  // namespace
