// The History window's statistics, golden references kept from the main
// window and the printed lot report, over a real archive file made here and
// counted by hand.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractBarSeries>
#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QFile>
#include <QImage>
#include <QLineSeries>
#include <QMenu>
#include <QPrintDialog>
#include <QProcess>
#include <QRegularExpression>
#include <QScatterSeries>
#include <QSvgRenderer>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/compare_view.h"
#include "app/lot_report_print.h"
#include "app/main_window.h"
#include "app/part_dialog.h"
#include "app/statistics_pane.h"
#include "app_test_support.h"
#include "archive/sqlite_archive.h"
#include "records/record_file.h"
#include "records/sample_records.h"
#include "tests/app/print_to_file.h"

namespace {

using vark::RunFilter;
using vark::StatisticsPane;
using vark::TestRecord;
using vark::archive::NewRun;
using vark::archive::SqliteArchive;
using vark::archive::TimeMs;
using vark::test::Child;
using vark::test::MessageRecorder;
using vark::test::WhenModal;

// Days are local days: the charts are read in one zone.
class Zone {
  public:
    explicit Zone(const char* tz) {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        old_ = had_ ? old : "";
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~Zone() {
        if (had_) {
            ::setenv("TZ", old_.c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

  private:
    bool had_ = false;
    std::string old_;
};

TestRecord Harness(int open = 0) {
    vark::RecordBuilder b(10);
    for (int i = 1; i <= 10; ++i) {
        if (i != open) {
            b.Connect(i, i);
        }
    }
    return b.Grounds().Build();
}

TestRecord InError() {
    TestRecord r = Harness();
    r.bytes[0] = vark::kPinCountError;
    return r;
}

vark::RecordBlock Block(std::vector<TestRecord> records, int salt) {
    vark::RecordBlock b{};
    b.count = static_cast<std::uint8_t>(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        b.slots[i] = records[i];
    }
    b.slots[0].bytes[vark::kReservedOffset] = static_cast<std::uint8_t>(salt);
    return b;
}

std::vector<TestRecord> Good(int n) {
    return std::vector<TestRecord>(static_cast<std::size_t>(n), Harness());
}

std::vector<TestRecord> operator+(std::vector<TestRecord> a, const std::vector<TestRecord>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

constexpr TimeMs kDay1 = 1709625600000;  // 2024-03-05 08:00 UTC
constexpr TimeMs kHour = 3600000;

NewRun Upload(const vark::RecordBlock& block, const std::string& lot, TimeMs started,
              bool withReference = true) {
    NewRun run;
    run.started = started;
    run.ended = started + 60000;
    run.station = "S1";
    run.operatorName = "ann";
    run.port = "/dev/ttyUSB0";
    run.testerSerial = "SN-1";
    run.lot = lot;
    run.part = "P-1";
    run.program = "test";
    run.block = block;
    if (withReference) {
        run.reference = Harness();
        run.referenceLabel = "test 001";
    }
    return run;
}

QString PdfText(const QString& pdf, bool pages = false) {
    QProcess p;
    if (pages) {
        p.start(QStringLiteral("pdfinfo"), {pdf});
    } else {
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    }
    p.waitForFinished(20000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The production counted by hand (UTC):
//   day 1  lot ZULU   10 records: 8 same, open pin 3, one in error     8 passed 2 failed
//          lot ZULU    5 slots: 4 same, one empty                      4 passed
//          (the first upload once more from the same tester: a repeat, left out)
//   day 2  lot ALPHA   6 records, no reference                         6 not judged
//          lot ALPHA   4 records: 2 same, 2 open pin 3                 2 passed 2 failed
//          lot VOID    3 records, voided                               left out
// ZULU 12 of 14 (85.7 %), ALPHA 2 of 4 (50.0 %); causes: missing A03-B03 3, error 1.
class Statistics : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("archive.sqlite3")).toStdString();
        auto opened = SqliteArchive::Open(path);
        ASSERT_TRUE(opened) << opened.error().message;
        archive = std::move(opened.value());
        const auto first = Block(Good(8) + std::vector{Harness(3), InError()}, 1);
        ASSERT_TRUE(archive->Commit(Upload(first, "ZULU", kDay1)));
        ASSERT_TRUE(archive->Commit(
            Upload(Block(Good(4) + std::vector{TestRecord{}}, 2), "ZULU", kDay1 + 2 * kHour)));
        const auto repeat = archive->Commit(Upload(first, "ZULU", kDay1 + 3 * kHour));
        ASSERT_TRUE(repeat);
        ASSERT_FALSE(repeat->repeatOf.empty());
        const TimeMs day2 = kDay1 + 24 * kHour;
        ASSERT_TRUE(archive->Commit(Upload(Block(Good(6), 3), "ALPHA", day2, false)));
        ASSERT_TRUE(archive->Commit(Upload(Block(Good(2) + std::vector{Harness(3), Harness(3)}, 4),
                                           "ALPHA", day2 + kHour)));
        const auto voided = archive->Commit(Upload(Block(Good(3), 5), "VOID", day2 + 2 * kHour));
        ASSERT_TRUE(voided);
        ASSERT_TRUE(archive->Amend(voided->uuid, {{"void", "1"}}, "wrong cable", "ann", "S1"));
    }

    static std::vector<qreal> Values(QBarSet* set) {
        std::vector<qreal> out;
        for (int i = 0; i < set->count(); ++i) {
            out.push_back(set->at(i));
        }
        return out;
    }
    // The first set of bars: yields, causes; the second: the lots with nothing judged.
    static QBarSet* Bars(const StatisticsPane& pane, StatisticsPane::Chart chart, int set = 0) {
        for (QAbstractSeries* s : pane.View(chart)->chart()->series()) {
            if (auto* bars = qobject_cast<QAbstractBarSeries*>(s)) {
                return bars->barSets().value(set);
            }
        }
        return nullptr;
    }
    static QLineSeries* Line(const StatisticsPane& pane, StatisticsPane::Chart chart) {
        for (QAbstractSeries* s : pane.View(chart)->chart()->series()) {
            if (s->type() == QAbstractSeries::SeriesTypeLine) {
                return static_cast<QLineSeries*>(s);
            }
        }
        return nullptr;
    }
    static QStringList Categories(const StatisticsPane& pane, StatisticsPane::Chart chart) {
        for (QAbstractAxis* a : pane.View(chart)->chart()->axes(Qt::Horizontal)) {
            if (auto* c = qobject_cast<QBarCategoryAxis*>(a)) {
                return c->categories();
            }
        }
        return {};
    }

    Zone utc{"UTC0"};
    QTemporaryDir dir;
    std::string path;
    std::unique_ptr<SqliteArchive> archive;
    MessageRecorder messages;
};

TEST_F(Statistics, ChartsShowTheHandCountedProduction) {
    StatisticsPane pane(archive.get());
    EXPECT_EQ(Categories(pane, StatisticsPane::LotChart), QStringList({"ZULU", "ALPHA"}));
    const auto lots = Values(Bars(pane, StatisticsPane::LotChart));
    ASSERT_EQ(lots.size(), 2u);
    EXPECT_NEAR(lots[0], 100.0 * 12 / 14, 1e-9);
    EXPECT_NEAR(lots[1], 50.0, 1e-9);

    QLineSeries* days = Line(pane, StatisticsPane::DayChart);
    ASSERT_NE(days, nullptr);
    ASSERT_EQ(days->count(), 2);
    EXPECT_NEAR(days->at(0).y(), 100.0 * 12 / 14, 1e-9);
    EXPECT_NEAR(days->at(1).y(), 50.0, 1e-9);
    EXPECT_EQ(days->at(1).x(), 1);
    auto* dayAxis = qobject_cast<QCategoryAxis*>(
        pane.View(StatisticsPane::DayChart)->chart()->axes(Qt::Horizontal).value(0));
    ASSERT_NE(dayAxis, nullptr);
    EXPECT_EQ(dayAxis->categoriesLabels(), QStringList({"03-05", "03-06"}));
    EXPECT_EQ(dayAxis->titleText(), "2024");

    EXPECT_EQ(Categories(pane, StatisticsPane::CauseChart),
              QStringList({"missing A03-B03", "error"}));
    EXPECT_EQ(Values(Bars(pane, StatisticsPane::CauseChart)), (std::vector<qreal>{3, 1}));
    QLineSeries* cumulative = Line(pane, StatisticsPane::CauseChart);
    ASSERT_NE(cumulative, nullptr);
    ASSERT_EQ(cumulative->count(), 2);
    EXPECT_DOUBLE_EQ(cumulative->at(0).y(), 75.0);
    EXPECT_DOUBLE_EQ(cumulative->at(1).y(), 100.0);

    EXPECT_EQ(pane.Summary(), "4 runs: 14 of 18 records passed (77.8 %), 4 failed, 6 not judged.");

    // The counted numbers are a hover away.
    Q_EMIT Bars(pane, StatisticsPane::LotChart)->hovered(true, 1);
    EXPECT_EQ(pane.View(StatisticsPane::LotChart)->toolTip(),
              "Lot ALPHA: 2 of 4 passed (50.0 %), 2 failed, 6 not judged; 2 runs");
    Q_EMIT Bars(pane, StatisticsPane::LotChart)->hovered(false, 1);
    EXPECT_TRUE(pane.View(StatisticsPane::LotChart)->toolTip().isEmpty());
}

TEST_F(Statistics, ANewFilterRedrawsEveryChart) {
    StatisticsPane pane(archive.get());
    RunFilter filter;
    filter.lot = "ALPHA";
    pane.SetFilter(filter);
    EXPECT_EQ(Categories(pane, StatisticsPane::LotChart), QStringList({"ALPHA"}));
    EXPECT_EQ(Line(pane, StatisticsPane::DayChart)->count(), 1);
    EXPECT_EQ(Values(Bars(pane, StatisticsPane::CauseChart)), (std::vector<qreal>{2}));

    EXPECT_EQ(Values(Bars(pane, StatisticsPane::LotChart, 1)), (std::vector<qreal>{0}));

    // Runs without a reference are not judged, never passed: no yield, no
    // point, a column of its own.
    filter.verdicts = RunFilter::Verdicts::NotJudged;
    pane.SetFilter(filter);
    EXPECT_EQ(Values(Bars(pane, StatisticsPane::LotChart)), (std::vector<qreal>{0}));
    EXPECT_EQ(Values(Bars(pane, StatisticsPane::LotChart, 1)), (std::vector<qreal>{100}));
    EXPECT_EQ(Line(pane, StatisticsPane::DayChart)->count(), 0);
    EXPECT_TRUE(Categories(pane, StatisticsPane::CauseChart).isEmpty());
    EXPECT_EQ(pane.Summary(), "1 run: 0 of 0 records passed, 0 failed, 6 not judged.");

    filter.lot = "NONE";
    pane.SetFilter(filter);
    EXPECT_EQ(pane.Summary(), "No runs.");
    EXPECT_TRUE(Categories(pane, StatisticsPane::LotChart).isEmpty());
}

TEST_F(Statistics, ClickingABarNarrowsTheFilter) {
    StatisticsPane pane(archive.get());
    RunFilter start;
    start.part = "P-1";
    pane.SetFilter(start);
    pane.resize(1000, 800);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));

    std::vector<RunFilter> narrowed;
    QObject::connect(&pane, &StatisticsPane::filterNarrowed,
                     [&](const RunFilter& f) { narrowed.push_back(f); });

    // A real click in the middle of ALPHA's bar.
    QChartView* view = pane.View(StatisticsPane::LotChart);
    QChart* chart = view->chart();
    const QPointF inBar = chart->mapToPosition(QPointF(1, 25), chart->series().first());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->mapFromScene(chart->mapToScene(inBar)));
    ASSERT_EQ(narrowed.size(), 1u);
    EXPECT_EQ(narrowed[0].lot, "ALPHA");
    EXPECT_EQ(narrowed[0].part, "P-1");

    // The second day's point: the local day, whole.
    QChartView* days = pane.View(StatisticsPane::DayChart);
    QScatterSeries* points = nullptr;
    for (QAbstractSeries* s : days->chart()->series()) {
        if (s->type() == QAbstractSeries::SeriesTypeScatter) {
            points = static_cast<QScatterSeries*>(s);
        }
    }
    ASSERT_NE(points, nullptr);
    const QPointF onPoint = days->chart()->mapToPosition(points->at(1), points);
    QTest::mouseClick(days->viewport(), Qt::LeftButton, {},
                      days->mapFromScene(days->chart()->mapToScene(onPoint)));
    ASSERT_EQ(narrowed.size(), 2u);
    EXPECT_EQ(narrowed[1].since, kDay1 + 16 * kHour);  // 2024-03-06 00:00 UTC
    EXPECT_EQ(narrowed[1].until, kDay1 + 40 * kHour);

    // An error cause narrows to the runs with a record in error.
    Q_EMIT Bars(pane, StatisticsPane::CauseChart)->clicked(1);
    ASSERT_EQ(narrowed.size(), 3u);
    EXPECT_EQ(narrowed[2].verdicts, RunFilter::Verdicts::SomeErrors);

    // The runs list follows with the filter; the pane reads it again.
    pane.SetFilter(narrowed[0]);
    EXPECT_EQ(Categories(pane, StatisticsPane::LotChart), QStringList({"ALPHA"}));
}

TEST_F(Statistics, ManyLotsShowTheNewestAndTheirBarsStandForThem) {
    vark::archive::OpenOptions quick;
    quick.durable = false;
    auto opened =
        SqliteArchive::Open(dir.filePath(QStringLiteral("many.sqlite3")).toStdString(), quick);
    ASSERT_TRUE(opened);
    const int lots = StatisticsPane::kMostLots + 5;
    for (int n = 0; n < lots; ++n) {
        // Lot L44 first: the newest lots are the ones named first.
        const std::string lot = "L" + std::to_string(lots - 1 - n);
        ASSERT_TRUE(
            opened.value()->Commit(Upload(Block(Good(1 + n % 3), n + 10), lot, kDay1 + n * kHour)));
    }
    StatisticsPane pane(opened.value().get());
    const QStringList shown = Categories(pane, StatisticsPane::LotChart);
    ASSERT_EQ(shown.size(), StatisticsPane::kMostLots);
    EXPECT_EQ(shown.front(), "L39");
    EXPECT_EQ(shown.back(), "L0");
    EXPECT_EQ(pane.View(StatisticsPane::LotChart)->chart()->title(),
              "Yield per lot (newest 40 of 45)");

    std::vector<RunFilter> narrowed;
    QObject::connect(&pane, &StatisticsPane::filterNarrowed,
                     [&](const RunFilter& f) { narrowed.push_back(f); });
    Q_EMIT Bars(pane, StatisticsPane::LotChart)->clicked(0);
    ASSERT_EQ(narrowed.size(), 1u);
    EXPECT_EQ(narrowed[0].lot, "L39");
    Q_EMIT Bars(pane, StatisticsPane::LotChart)->hovered(true, StatisticsPane::kMostLots - 1);
    EXPECT_TRUE(pane.View(StatisticsPane::LotChart)->toolTip().startsWith("Lot L0: "));
}

TEST_F(Statistics, AnArchiveThatCannotBeReadLeavesNoChartsOfTheFilterBefore) {
    const std::string copy = dir.filePath(QStringLiteral("copy.sqlite3")).toStdString();
    ASSERT_TRUE(archive->BackupTo(copy));
    vark::archive::OpenOptions read;
    read.mode = vark::archive::OpenOptions::Mode::Read;
    auto opened = SqliteArchive::Open(copy, read);
    ASSERT_TRUE(opened) << opened.error().message;
    StatisticsPane pane(opened.value().get());
    ASSERT_EQ(Categories(pane, StatisticsPane::LotChart).size(), 2);

    // The file is damaged under the open archive (another program, a bad disk).
    QFile file(QString::fromStdString(copy));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.write(QByteArray(static_cast<int>(file.size()), 'x'));
    file.close();
    RunFilter filter;
    filter.lot = "ZULU";
    pane.SetFilter(filter);
    EXPECT_TRUE(pane.Summary().startsWith("The archive could not be read: "))
        << pane.Summary().toStdString();
    EXPECT_TRUE(Categories(pane, StatisticsPane::LotChart).isEmpty());
    EXPECT_TRUE(Categories(pane, StatisticsPane::CauseChart).isEmpty());
    EXPECT_EQ(Line(pane, StatisticsPane::DayChart)->count(), 0);
}

TEST_F(Statistics, ExportsEachChartAsPngAndSvg) {
    StatisticsPane pane(archive.get());
    pane.resize(1000, 800);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    for (auto chart :
         {StatisticsPane::LotChart, StatisticsPane::DayChart, StatisticsPane::CauseChart}) {
        SCOPED_TRACE(chart);
        const QString png = dir.filePath(QStringLiteral("chart%1.png").arg(chart));
        const QString svg = dir.filePath(QStringLiteral("chart%1.svg").arg(chart));
        ASSERT_EQ(pane.Export(chart, png), QString());
        ASSERT_EQ(pane.Export(chart, svg), QString());
        QImage image(png);
        ASSERT_FALSE(image.isNull());
        EXPECT_GE(image.width(), pane.View(chart)->width());
        QSvgRenderer renderer(svg);
        EXPECT_TRUE(renderer.isValid());
        QFile file(svg);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        EXPECT_TRUE(
            text.contains(chart == StatisticsPane::CauseChart ? "missing A03-B03" : "Yield per"));
    }

    // Through the chart's menu; a failed write says so and leaves nothing.
    QString asked;
    StatisticsPane::SetExportDialog([&](QWidget*, const QString& name) {
        asked = name;
        return dir.filePath(QStringLiteral("no-such-folder/lots"));
    });
    QMenu* menu = pane.View(StatisticsPane::LotChart)->findChild<QMenu*>("ChartMenu");
    ASSERT_NE(menu, nullptr);
    menu->actions().at(1)->trigger();
    StatisticsPane::SetExportDialog({});
    EXPECT_EQ(asked, "yield-per-lot.svg");
    ASSERT_EQ(messages.Texts().size(), 1);
    EXPECT_TRUE(messages.Texts()[0].startsWith("The chart was not saved to lots.svg: "))
        << messages.Texts()[0].toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("no-such-folder"))));

    // An existing image is replaced whole.
    const QString png = dir.filePath(QStringLiteral("chart0.png"));
    QFile::resize(png, 10);
    ASSERT_EQ(pane.Export(StatisticsPane::LotChart, png), QString());
    EXPECT_FALSE(QImage(png).isNull());
}

TEST_F(Statistics, FollowsADarkPalette) {
    StatisticsPane pane(archive.get());
    EXPECT_EQ(pane.View(StatisticsPane::LotChart)->chart()->theme(), QChart::ChartThemeLight);
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    pane.setPalette(dark);
    for (auto chart :
         {StatisticsPane::LotChart, StatisticsPane::DayChart, StatisticsPane::CauseChart}) {
        EXPECT_EQ(pane.View(chart)->chart()->theme(), QChart::ChartThemeDark);
    }
    // A new filter keeps the theme.
    pane.SetFilter(RunFilter{});
    EXPECT_EQ(pane.View(StatisticsPane::CauseChart)->chart()->theme(), QChart::ChartThemeDark);
}

// --- Use as Golden for Part ----------------------------------------------

class Golden : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        config.file = dir.filePath(QStringLiteral("archive.sqlite3")).toStdString();
        config.station = "bench-2";
        config.operatorName = "bob";
        window.SetArchiveConfig(config);
        window.SetBlock(Block(std::vector{Harness(), Harness(4), InError(), TestRecord{}}, 0));
        previous = vark::SetPartNumberDialog([this](QWidget*) {
            ++asked;
            return answer;
        });
    }
    void TearDown() override { vark::SetPartNumberDialog(previous); }

    void UseRow(int row) {
        QTableView* list = Child<QTableView>(window, "PinList");
        list->setCurrentIndex(list->model()->index(row, 0));
        Child<vark::CompareView>(window, "CompareView")->UseAsGoldenAction()->trigger();
    }

    std::unique_ptr<SqliteArchive> Open() {
        auto opened = SqliteArchive::Open(config.file);
        EXPECT_TRUE(opened) << opened.error().message;
        return opened ? std::move(opened.value()) : nullptr;
    }

    QTemporaryDir dir;
    vark::archive::ArchiveConfig config;
    vark::MainWindow window;
    MessageRecorder messages;
    std::optional<QString> answer = QStringLiteral("P-9");
    int asked = 0;
    vark::PartNumberDialog previous;
};

TEST_F(Golden, KeepsTheRecordForItsPartAndLaterUploadsAreComparedWithIt) {
    UseRow(1);
    ASSERT_EQ(messages.Texts(), QStringList({"Test 002 is now the golden reference of part P-9."}));
    auto store = Open();
    ASSERT_TRUE(store);
    const auto kept = store->CurrentGolden("P-9");
    ASSERT_TRUE(kept && *kept);
    const vark::archive::Golden& g = **kept;
    EXPECT_TRUE(std::equal(std::begin(g.record.bytes), std::end(g.record.bytes),
                           std::begin(window.Block().slots[1].bytes)));
    EXPECT_EQ(g.author, "bob");
    EXPECT_EQ(g.station, "bench-2");
    EXPECT_EQ(g.source, "test 002 of records not saved to a file");
    EXPECT_NEAR(static_cast<double>(g.made), static_cast<double>(vark::archive::NowMs()), 60000);

    // An upload of part P-9 without a reference of its own is judged by it.
    NewRun later = Upload(Block(std::vector{Harness(4), Harness()}, 7), "L", kDay1, false);
    later.part = "P-9";
    const auto done = store->Commit(later);
    ASSERT_TRUE(done) << done.error().message;
    EXPECT_EQ(done->goldenUuid, g.uuid);
    ASSERT_TRUE(done->comparison);
    const auto shown = store->Show(done->uuid);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->run.same, 1);
    EXPECT_EQ(shown->run.differs, 1);

    // Another cable, from a file, supersedes it; the old one stays for the run above.
    const QString file = dir.filePath(QStringLiteral("good.vku"));
    ASSERT_EQ(vark::WriteRecordFile(QFile::encodeName(file).toStdString(), window.Block()),
              vark::FileStatus::Ok);
    ASSERT_TRUE(window.OpenFile(file));
    UseRow(0);
    ASSERT_EQ(messages.Texts().size(), 2);
    EXPECT_TRUE(messages.Texts()[1].startsWith(
        "Test 001 is now the golden reference of part P-9.\nIt supersedes the one set "))
        << messages.Texts()[1].toStdString();
    const auto all = store->Goldens("P-9");
    ASSERT_TRUE(all);
    ASSERT_EQ(all->size(), 2u);
    EXPECT_EQ((*all)[1].uuid, g.uuid);
    EXPECT_EQ((*all)[0].source, "test 001 of " + file.toStdString());
    // An upload replaces the file's block: its records are no longer the file's.
    window.SetBlock(Block(Good(2), 9));
    answer = QStringLiteral("P-10");
    UseRow(1);
    const auto fromUpload = store->CurrentGolden("P-10");
    ASSERT_TRUE(fromUpload && *fromUpload);
    EXPECT_EQ((*fromUpload)->source, "test 002 of records not saved to a file");
    EXPECT_EQ((*all)[1].supersededBy, (*all)[0].uuid);
}

TEST_F(Golden, RefusalsSayWhyAndKeepNothing) {
    struct Case {
        const char* what;
        int row;
        std::optional<QString> answer;
        bool enabled;
        const char* file;  // empty: the archive of the fixture
        int asks;
        const char* message;  // start of it; empty: no message
    } cases[] = {
        {"record in error", 2, QStringLiteral("P-9"), true, "", 0, "\n    Test 003 "},
        {"empty slot", 3, QStringLiteral("P-9"), true, "", 0, "\n    Test 004 "},
        {"cancelled", 0, std::nullopt, true, "", 1, ""},
        {"no part number", 0, QString(), true, "", 1,
         "Test 001 was not kept as the golden reference of part : a golden reference needs a "
         "part number."},
        {"archive off", 0, QStringLiteral("P-9"), false, "", 1,
         "Test 001 was not kept as the golden reference of part P-9: the archive is turned off."},
        {"archive cannot be made", 0, QStringLiteral("P-9"), true, "plain/archive.sqlite3", 1,
         "Test 001 was not kept as the golden reference of part P-9: "},
    };
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages.messages.clear();
        asked = 0;
        answer = c.answer;
        vark::archive::ArchiveConfig cfg = config;
        cfg.enabled = c.enabled;
        if (*c.file) {
            cfg.file = dir.filePath(QString::fromLatin1(c.file)).toStdString();
        }
        window.SetArchiveConfig(cfg);
        UseRow(c.row);
        EXPECT_EQ(asked, c.asks);
        if (*c.message) {
            ASSERT_EQ(messages.Texts().size(), 1);
            EXPECT_TRUE(messages.Texts()[0].startsWith(QString::fromUtf8(c.message)))
                << messages.Texts()[0].toStdString();
        } else {
            EXPECT_TRUE(messages.Texts().isEmpty());
        }
    }
    if (QFile::exists(QString::fromStdString(config.file))) {
        auto store = Open();
        ASSERT_TRUE(store);
        const auto all = store->Goldens("");
        ASSERT_TRUE(all);
        EXPECT_TRUE(all->empty());
    }
}

// --- Print Lot Report ----------------------------------------------------

TEST_F(Statistics, PrintsTheLotReportToTheChosenFile) {
    QWidget parent;
    const QString pdf = dir.filePath(QStringLiteral("lot.pdf"));
    WhenModal<QPrintDialog>([&](QPrintDialog* d) {
        ASSERT_NE(d, nullptr);
        if (!vark::test::ChoosePrintToFile(*d, pdf)) {
            d->reject();
            return;
        }
        d->accept();
    });
    EXPECT_TRUE(vark::PrintLotReportOf(&parent, *archive, *archive, "ZULU"));
    EXPECT_TRUE(messages.Texts().isEmpty()) << messages.Texts().join("|").toStdString();
    const QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains("ZULU")) << text.toStdString();
    EXPECT_TRUE(text.contains("85.7 %")) << text.toStdString();
    EXPECT_TRUE(text.contains("missing A03-B03")) << text.toStdString();
    EXPECT_FALSE(text.contains("ALPHA"));
    EXPECT_TRUE(PdfText(pdf, true).contains(QRegularExpression("Pages:\\s+2\\b")))
        << PdfText(pdf, true).toStdString();

    // From the lot chart's menu, for the lot under the pointer only.
    StatisticsPane pane(archive.get(), nullptr, archive.get());
    QMenu* menu = pane.View(StatisticsPane::LotChart)->findChild<QMenu*>("ChartMenu");
    ASSERT_NE(menu, nullptr);
    QAction* print = menu->findChild<QAction*>("PrintLotReport");
    ASSERT_NE(print, nullptr);
    EXPECT_EQ(print->text(), "Print Lot Report");
    Q_EMIT menu->aboutToShow();
    EXPECT_FALSE(print->isEnabled());
    Q_EMIT Bars(pane, StatisticsPane::LotChart)->hovered(true, 1);
    Q_EMIT menu->aboutToShow();
    EXPECT_TRUE(print->isEnabled());
    const QString alpha = dir.filePath(QStringLiteral("alpha.pdf"));
    WhenModal<QPrintDialog>([&](QPrintDialog* d) {
        ASSERT_NE(d, nullptr);
        if (!vark::test::ChoosePrintToFile(*d, alpha)) {
            d->reject();
            return;
        }
        d->accept();
    });
    print->trigger();
    const QString alphaText = PdfText(alpha);
    EXPECT_TRUE(alphaText.contains("ALPHA")) << alphaText.toStdString();
    EXPECT_FALSE(alphaText.contains("ZULU"));

    // An unknown lot is said before any dialog.
    bool dialog = false;
    WhenModal<QPrintDialog>(
        [&](QPrintDialog* d) {
            if (d) {
                dialog = true;
                d->reject();
            }
        },
        300);
    EXPECT_FALSE(vark::PrintLotReportOf(&parent, *archive, *archive, "NOPE"));
    QTest::qWait(400);
    EXPECT_FALSE(dialog);
    ASSERT_EQ(messages.Texts().size(), 1);
    EXPECT_EQ(messages.Texts()[0],
              "The report of lot NOPE was not printed: no run of lot \"NOPE\" in the archive.");
}

}  // namespace
