// Golden references, yields and failure Paretos on a real archive file,
// against numbers counted by hand: repeats, voided runs, empty slots, runs
// without a reference, a golden reference superseded half-way.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <ctime>
#include <map>

#include "archive/sqlite_archive.h"
#include "archive/statistics.h"
#include "records/sample_records.h"
#include "scratch.h"

namespace vark::archive {
namespace {

using test::Scratch;

// Local time is the process's: each case that groups by day says its zone
// (POSIX TZ: "XXX-2" is two hours east of UTC).
class Zone {
  public:
    explicit Zone(const char* tz) {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        old_ = had_ ? old : "";
        Set(tz);
    }
    ~Zone() { Set(had_ ? old_.c_str() : nullptr); }

  private:
    static void Set(const char* tz) {
#ifdef _WIN32
        _putenv_s("TZ", tz ? tz : "");
        _tzset();
#else
        if (tz) {
            ::setenv("TZ", tz, 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
#endif
    }

    bool had_ = false;
    std::string old_;
};

// A 10-pin harness with grounds; `open` leaves a pin unconnected, `shortA`
// joins side-A pin `shortA` to side-B pin `shortB` as well.
TestRecord Harness(int open = 0, int shortA = 0, int shortB = 0) {
    RecordBuilder b(10);
    for (int i = 1; i <= 10; ++i) {
        if (i != open) {
            b.Connect(i, i);
        }
    }
    if (shortA != 0) {
        b.Connect(shortA, shortB);
    }
    return b.Grounds().Build();
}

TestRecord Twelve() {
    return RecordBuilder(12).Straight().Grounds().Build();
}

TestRecord InError() {
    TestRecord r = Harness();
    r.bytes[0] = kPinCountError;
    return r;
}

TestRecord EmptySlot() {
    return TestRecord{};
}

// `n` good harnesses, then the others; `salt` makes the bytes the block's own.
RecordBlock Block(int good, std::vector<TestRecord> others, int salt) {
    RecordBlock b{};
    std::vector<TestRecord> all(static_cast<std::size_t>(good), Harness());
    all.insert(all.end(), others.begin(), others.end());
    b.count = static_cast<std::uint8_t>(all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        b.slots[i] = all[i];
    }
    b.slots[0].bytes[kReservedOffset] = static_cast<std::uint8_t>(salt);
    return b;
}

constexpr TimeMs kT0 = 1709625600000;  // 2024-03-05 08:00 UTC
constexpr TimeMs kHour = 3600000;

NewRun Upload(const RecordBlock& block, const std::string& lot, const std::string& part,
              const std::string& station, const std::string& op, TimeMs started) {
    NewRun run;
    run.started = started;
    run.ended = started + 60000;
    run.station = station;
    run.operatorName = op;
    run.source = Source::Upload;
    run.port = "/dev/ttyUSB0";
    run.testerSerial = "SN-1";
    run.lot = lot;
    run.part = part;
    run.program = "test";
    run.block = block;
    return run;
}

NewGolden GoldenOf(const std::string& part, const TestRecord& record, const std::string& by) {
    NewGolden g;
    g.part = part;
    g.record = record;
    g.source = "test 001 of golden.vku";
    g.author = by;
    g.station = "bench";
    return g;
}

// Seven uploads of two lots, counted by hand:
//   run  lot part  station op   reference   records            passed failed not judged
//   1    L1  P-10  S1      ann  golden 1    7 good, open 3,    7      2      -
//                                           short 6-7, empty
//   2    L1  P-10  S1      ann  (a repeat of run 1: left out)
//   3    L1  P-10  S2      bob  golden 1    4 good, error,     4      3      -
//                                           12 pins, open 3
//   4    L1  P-10  S1      ann  (voided: left out)
//   5    L2  -     S1      ann  none        3 good, empty, err -      -      4
//   -    golden 2 of P-10 set: a harness with pin 3 open
//   6    L2  P-10  S2      bob  golden 2    6 good, 2 open 3   2      6      -
//   7    L2  P-10  S1      ann  its own     3 good, open 5     3      1      -
class Production : public ::testing::Test {
  protected:
    void SetUp() override {
        auto opened = SqliteArchive::Open((dir_ / "a.sqlite3").string());
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        a_ = std::move(opened.value());
        const auto g1 = a_->SetGolden(GoldenOf("P-10", Harness(), "quinn"));
        ASSERT_TRUE(g1.ok()) << g1.error().message;
        golden1_ = g1->uuid;

        const RecordBlock b1 = Block(7, {Harness(3), Harness(0, 6, 7), EmptySlot()}, 1);
        run_[1] = Commit(Upload(b1, "L1", "P-10", "S1", "ann", kT0));
        run_[2] = Commit(Upload(b1, "L1", "P-10", "S1", "ann", kT0 + kHour / 2));
        run_[3] = Commit(Upload(Block(4, {InError(), Twelve(), Harness(3)}, 3), "L1", "P-10", "S2",
                                "bob", kT0 + kHour));
        run_[4] =
            Commit(Upload(Block(5, {Harness(3)}, 4), "L1", "P-10", "S1", "ann", kT0 + 2 * kHour));
        ASSERT_TRUE(a_->Amend(run_[4], {{"void", "1"}}, "wrong cable", "ann", "S1").ok());
        // 23:00 UTC: the 5th in UTC, the 6th two hours east.
        run_[5] = Commit(
            Upload(Block(3, {EmptySlot(), InError()}, 5), "L2", "", "S1", "ann", kT0 + 15 * kHour));

        const auto g2 = a_->SetGolden(GoldenOf("P-10", Harness(3), "rita"));
        ASSERT_TRUE(g2.ok()) << g2.error().message;
        golden2_ = g2->uuid;
        run_[6] = Commit(Upload(Block(6, {Harness(3), Harness(3)}, 6), "L2", "P-10", "S2", "bob",
                                kT0 + 17 * kHour));
        NewRun own = Upload(Block(3, {Harness(5)}, 7), "L2", "P-10", "S1", "ann", kT0 + 18 * kHour);
        own.reference = Harness();
        own.referenceLabel = "test 001";
        run_[7] = Commit(own);
    }

    std::string Commit(const NewRun& run) {
        const auto done = a_->Commit(run);
        EXPECT_TRUE(done.ok()) << done.error().message;
        return done.ok() ? done->uuid : std::string();
    }

    YieldTable Table(YieldGrouping by, const RunQuery& q = {}) {
        const auto runs = a_->CountedRuns(q);
        EXPECT_TRUE(runs.ok()) << runs.error().message;
        return Yields(runs.ok() ? *runs : std::vector<RunTally>{}, by);
    }

    // "key passed/failed/not judged (runs)" per row, then the total.
    static std::vector<std::string> Lines(const YieldTable& t) {
        std::vector<std::string> out;
        auto line = [](const YieldRow& r) {
            return r.key + " " + std::to_string(r.passed) + "/" + std::to_string(r.failed) + "/" +
                   std::to_string(r.notJudged) + " (" + std::to_string(r.runs) + ")";
        };
        for (const YieldRow& r : t.rows) {
            out.push_back(line(r));
        }
        out.push_back(line(t.total));
        return out;
    }

    Pareto ParetoOf(const RunQuery& q = {}) {
        const auto failed = a_->FailedRecords(q);
        EXPECT_TRUE(failed.ok()) << failed.error().message;
        return FailurePareto(failed.ok() ? *failed : std::vector<FailedRecord>{});
    }

    Scratch dir_;
    std::unique_ptr<SqliteArchive> a_;
    std::string golden1_;
    std::string golden2_;
    std::map<int, std::string> run_;
};

using Texts = std::vector<std::string>;

TEST_F(Production, YieldsByLotPartStationAndOperator) {
    EXPECT_EQ(Lines(Table(YieldGrouping::Lot)),
              (Texts{"L1 11/5/0 (2)", "L2 5/7/4 (3)", " 16/12/4 (5)"}));
    EXPECT_EQ(Lines(Table(YieldGrouping::Part)),
              (Texts{" 0/0/4 (1)", "P-10 16/12/0 (4)", " 16/12/4 (5)"}));
    EXPECT_EQ(Lines(Table(YieldGrouping::Station)),
              (Texts{"S1 10/3/4 (3)", "S2 6/9/0 (2)", " 16/12/4 (5)"}));
    EXPECT_EQ(Lines(Table(YieldGrouping::Operator)),
              (Texts{"ann 10/3/4 (3)", "bob 6/9/0 (2)", " 16/12/4 (5)"}));
    const YieldTable byLot = Table(YieldGrouping::Lot);
    EXPECT_DOUBLE_EQ(*byLot.rows[0].Yield(), 11.0 / 16);
    EXPECT_EQ(byLot.rows[0].Counted(), 16);
    EXPECT_EQ(byLot.rows[0].first, kT0);
    EXPECT_EQ(byLot.rows[0].last, kT0 + kHour + 60000);
    // Runs without a reference are never a yield, not even 0 %.
    EXPECT_FALSE(Table(YieldGrouping::Part).rows[0].Yield().has_value());
}

TEST_F(Production, DaysAreTheStationsLocalDays) {
    {
        Zone utc("UTC");
        EXPECT_EQ(Lines(Table(YieldGrouping::Day)),
                  (Texts{"2024-03-05 11/5/4 (3)", "2024-03-06 5/7/0 (2)", " 16/12/4 (5)"}));
    }
    Zone east("XXX-2");
    EXPECT_EQ(Lines(Table(YieldGrouping::Day)),
              (Texts{"2024-03-05 11/5/0 (2)", "2024-03-06 5/7/4 (3)", " 16/12/4 (5)"}));
}

TEST_F(Production, YieldsPerRunOldestFirstAndNarrowedByTheQuery) {
    const YieldTable perRun = Table(YieldGrouping::Run);
    ASSERT_EQ(perRun.rows.size(), 5u);
    EXPECT_EQ(perRun.rows[0].key, run_[1]);
    EXPECT_EQ(perRun.rows[1].key, run_[3]);
    EXPECT_EQ(perRun.rows[4].key, run_[7]);
    EXPECT_EQ(perRun.rows[2].notJudged, 4);
    RunQuery q;
    q.station = "S2";
    q.since = kT0 + 10 * kHour;
    EXPECT_EQ(Lines(Table(YieldGrouping::Lot, q)), (Texts{"L2 2/6/0 (1)", " 2/6/0 (1)"}));
    // Asking for voided runs and repeats does not make them count.
    q = {};
    q.lot = "L1";
    q.withVoided = true;
    q.withRepeats = true;
    EXPECT_EQ(Lines(Table(YieldGrouping::Lot, q)), (Texts{"L1 11/5/0 (2)", " 11/5/0 (2)"}));
}

TEST_F(Production, AmendedLotsMoveTheirRunsAndAmendedPartsDoNotJudgeThem) {
    ASSERT_TRUE(a_->Amend(run_[3], {{"lot", "L3"}}, "typo", "ann", "S1").ok());
    ASSERT_TRUE(a_->Amend(run_[5], {{"part", "P-10"}}, "forgot", "ann", "S1").ok());
    EXPECT_EQ(Lines(Table(YieldGrouping::Lot)),
              (Texts{"L1 7/2/0 (1)", "L3 4/3/0 (1)", "L2 5/7/4 (3)", " 16/12/4 (5)"}));
    EXPECT_EQ(Lines(Table(YieldGrouping::Part)), (Texts{"P-10 16/12/4 (5)", " 16/12/4 (5)"}));
    // Voiding one more run, and undoing the first voiding.
    ASSERT_TRUE(a_->Amend(run_[7], {{"void", "1"}}, "test run", "ann", "S1").ok());
    ASSERT_TRUE(a_->Amend(run_[4], {{"void", "0"}}, "was right", "ann", "S1").ok());
    EXPECT_EQ(Lines(Table(YieldGrouping::Lot)),
              (Texts{"L1 12/3/0 (2)", "L3 4/3/0 (1)", "L2 2/6/4 (2)", " 18/12/4 (5)"}));
}

TEST_F(Production, TheParetoCountsEachConnectionLargestFirst) {
    const Pareto p = ParetoOf();
    EXPECT_EQ(p.failedRecords, 12);
    EXPECT_EQ(p.causes, 12);
    std::vector<std::string> rows;
    for (const ParetoRow& r : p.rows) {
        rows.push_back(r.cause + " " + std::to_string(r.count));
    }
    EXPECT_EQ(rows, (Texts{"extra A03-B03 6", "missing A03-B03 2", "error 1", "extra A06-B07 1",
                           "missing A05-B05 1", "other pin count 12 1"}));
    EXPECT_EQ(p.rows[0].kind, CauseKind::Extra);
    EXPECT_EQ(p.rows[2].kind, CauseKind::Error);
    EXPECT_EQ(p.rows[5].kind, CauseKind::PinCount);
    EXPECT_DOUBLE_EQ(p.rows[0].share, 0.5);
    EXPECT_DOUBLE_EQ(p.rows[1].cumulative, 8.0 / 12);
    EXPECT_DOUBLE_EQ(p.rows.back().cumulative, 1.0);

    RunQuery q;
    q.lot = "L1";
    const Pareto l1 = ParetoOf(q);
    EXPECT_EQ(l1.failedRecords, 5);
    ASSERT_EQ(l1.rows.size(), 4u);
    EXPECT_EQ(l1.rows[0].cause, "missing A03-B03");
    EXPECT_EQ(l1.rows[0].count, 2);

    const auto failed = a_->FailedRecords(q);
    ASSERT_EQ(failed->size(), 5u);
    EXPECT_EQ((*failed)[0].run, run_[1]);
    EXPECT_EQ((*failed)[0].slot, 7);
    EXPECT_EQ((*failed)[0].missing, "A03-B03");
    EXPECT_EQ((*failed)[3].verdict, "pin-count");
    EXPECT_EQ((*failed)[3].pinCount, 12);
    EXPECT_EQ((*failed)[3].referencePins, 10);
    EXPECT_EQ((*failed)[3].station, "S2");
}

TEST(ParetoTop, FoldsTheRestIntoOneRow) {
    std::vector<FailedRecord> failed;
    for (int i = 1; i <= 5; ++i) {
        for (int n = 0; n < i; ++n) {
            failed.push_back(
                {"r", 0, "s", 0, 10, 10, "differs", "A0" + std::to_string(i) + "-B01", ""});
        }
    }
    const Pareto p = FailurePareto(failed);
    ASSERT_EQ(p.rows.size(), 5u);
    const ParetoTop top = TopCauses(p, 3);
    ASSERT_EQ(top.rows.size(), 3u);
    EXPECT_EQ(top.rows[0].cause, "missing A05-B01");
    EXPECT_EQ(top.rows[2].cause, "3 other causes");
    EXPECT_EQ(top.rows[2].kind, CauseKind::Others);
    EXPECT_EQ(top.rows[2].count, 6);
    EXPECT_EQ(top.folded, 3);
    EXPECT_DOUBLE_EQ(top.rows[2].cumulative, 1.0);
    EXPECT_EQ(TopCauses(p, 5).rows.size(), 5u);
    EXPECT_EQ(TopCauses(p, 5).folded, 0);
    EXPECT_TRUE(FailurePareto({}).rows.empty());
}

TEST_F(Production, EachRunKeepsTheGoldenReferenceItWasComparedWith) {
    const auto one = a_->Show(run_[1]);
    EXPECT_EQ(one->run.goldenUuid, golden1_);
    EXPECT_EQ(one->run.referenceLabel.rfind("golden reference of part P-10 (set ", 0), 0u)
        << one->run.referenceLabel;
    EXPECT_NE(one->run.referenceLabel.find(" by quinn)"), std::string::npos);
    EXPECT_EQ(one->run.warning, "");
    const auto six = a_->Show(run_[6]);
    EXPECT_EQ(six->run.goldenUuid, golden2_);
    EXPECT_EQ(six->run.same, 2);
    EXPECT_EQ(six->records[0].verdict, "differs");
    EXPECT_EQ(six->records[0].extra, "A03-B03");
    EXPECT_TRUE(SameWiring(*six->reference, Harness(3)));
    // Six of the eight are wired alike and unlike golden 2: said and kept.
    EXPECT_EQ(six->run.warning,
              "Warning: 6 of the 8 records are wired alike (first test 001) and unlike the "
              "reference: the reference itself may be the bad cable.");
    // A run's own reference is what it was compared with.
    const auto seven = a_->Show(run_[7]);
    EXPECT_EQ(seven->run.goldenUuid, "");
    EXPECT_EQ(seven->run.referenceLabel, "test 001");
    EXPECT_EQ(seven->run.same, 3);
    // No part, no reference.
    EXPECT_EQ(a_->Show(run_[5])->run.same, -1);

    const auto listed = a_->List({});
    ASSERT_TRUE(listed.ok());
    EXPECT_EQ(listed->front().uuid, run_[7]);
    EXPECT_EQ((*listed)[1].goldenUuid, golden2_);
}

TEST_F(Production, TheCommitSaysTheComparisonItArchived) {
    const auto done = a_->Commit(
        Upload(Block(2, {Harness(0, 1, 2)}, 9), "L4", "P-10", "S1", "ann", kT0 + 20 * kHour));
    ASSERT_TRUE(done.ok());
    EXPECT_EQ(done->goldenUuid, golden2_);
    ASSERT_TRUE(done->comparison.has_value());
    EXPECT_EQ(SummaryText(*done->comparison), "0 same, 3 differs");
    EXPECT_EQ(done->warning.rfind("Warning: 2 of the 3 records", 0), 0u) << done->warning;
    const auto plain = a_->Commit(Upload(Block(2, {}, 10), "L4", "P-77", "S1", "ann", kT0));
    EXPECT_FALSE(plain->comparison.has_value());
    EXPECT_EQ(plain->goldenUuid, "");
}

TEST_F(Production, GoldenReferencesAreKeptWithWhoAndWhenNewestFirst) {
    const auto all = a_->Goldens("P-10");
    ASSERT_TRUE(all.ok());
    ASSERT_EQ(all->size(), 2u);
    EXPECT_EQ((*all)[0].uuid, golden2_);
    EXPECT_EQ((*all)[0].supersededBy, "");
    EXPECT_EQ((*all)[1].uuid, golden1_);
    EXPECT_EQ((*all)[1].supersededBy, golden2_);
    EXPECT_EQ((*all)[1].author, "quinn");
    EXPECT_EQ((*all)[1].station, "bench");
    EXPECT_EQ((*all)[1].source, "test 001 of golden.vku");
    EXPECT_EQ((*all)[0].connections,
              "A01-B01 A02-B02 A03 A04-B04 A05-B05 A06-B06 A07-B07 A08-B08 A09-B09 A10-B10 "
              "AGD-BGD");
    EXPECT_LE((*all)[1].made, (*all)[0].made);
    EXPECT_EQ(a_->CurrentGolden("P-10").value()->uuid, golden2_);
    EXPECT_FALSE(a_->CurrentGolden("P-11").value().has_value());
    EXPECT_TRUE(a_->Goldens("P-11")->empty());

    // Refused, with nothing written.
    auto refused = [&](const NewGolden& g) {
        const auto r = a_->SetGolden(g);
        EXPECT_FALSE(r.ok());
        return r.ok() ? std::string() : r.error().message;
    };
    EXPECT_EQ(refused(GoldenOf("", Harness(), "x")), "a golden reference needs a part number");
    EXPECT_NE(refused(GoldenOf("P-11", EmptySlot(), "x")).find("empty slot"), std::string::npos);
    EXPECT_NE(refused(GoldenOf("P-11", InError(), "x")).find("in error"), std::string::npos);
    // Wired like the current one: bytes that differ elsewhere change nothing.
    TestRecord again = Harness(3);
    again.bytes[kReservedOffset] = 9;
    EXPECT_NE(refused(GoldenOf("P-10", again, "x")).find("is wired like that already"),
              std::string::npos);
    EXPECT_EQ(a_->Goldens("")->size(), 2u);
    // Going back to the first wiring is a new golden reference.
    ASSERT_TRUE(a_->SetGolden(GoldenOf("P-10", Harness(), "sam")).ok());
    EXPECT_EQ(a_->Goldens("")->size(), 3u);
}

TEST_F(Production, TheLotSummaryHasWhatItsReportShows) {
    const auto l1 = GatherLot(*a_, *a_, "L1");
    ASSERT_TRUE(l1.ok()) << l1.error().message;
    EXPECT_EQ(l1->runs, 2);
    EXPECT_EQ(l1->voided, 1);
    EXPECT_EQ(l1->repeats, 1);
    EXPECT_EQ(l1->parts, (Texts{"P-10"}));
    EXPECT_EQ(l1->stations, (Texts{"S1", "S2"}));
    EXPECT_EQ(l1->operators, (Texts{"ann", "bob"}));
    EXPECT_EQ(l1->first, kT0);
    EXPECT_EQ(l1->last, kT0 + kHour + 60000);
    EXPECT_EQ(l1->totals.passed, 11);
    EXPECT_EQ(l1->totals.failed, 5);
    ASSERT_EQ(l1->references.size(), 1u);
    EXPECT_EQ(l1->references[0].golden->uuid, golden1_);
    EXPECT_EQ(l1->references[0].golden->author, "quinn");
    EXPECT_EQ(l1->references[0].runs, 2);
    EXPECT_EQ(l1->runsNotJudged, 0);
    EXPECT_EQ(l1->failed.size(), 5u);
    EXPECT_EQ(l1->pareto.causes, 5);

    const auto l2 = GatherLot(*a_, *a_, "L2");
    ASSERT_TRUE(l2.ok());
    EXPECT_EQ(l2->parts, (Texts{"", "P-10"}));
    ASSERT_EQ(l2->references.size(), 2u);
    EXPECT_EQ(l2->references[0].golden->uuid, golden2_);
    EXPECT_FALSE(l2->references[1].golden.has_value());
    EXPECT_EQ(l2->references[1].label, "test 001");
    EXPECT_EQ(l2->runsNotJudged, 1);
    ASSERT_EQ(l2->warnings.size(), 1u);
    EXPECT_EQ(l2->warnings[0].second, 1);

    EXPECT_EQ(GatherLot(*a_, *a_, "L9").error().kind, ErrorKind::NotFound);
    // A lot of voided runs only is still a lot.
    ASSERT_TRUE(a_->Amend(run_[5], {{"lot", "L5"}}, "why", "a", "s").ok());
    ASSERT_TRUE(a_->Amend(run_[5], {{"void", "1"}}, "why", "a", "s").ok());
    const auto l5 = GatherLot(*a_, *a_, "L5");
    ASSERT_TRUE(l5.ok());
    EXPECT_EQ(l5->runs, 0);
    EXPECT_EQ(l5->voided, 1);
    EXPECT_FALSE(l5->totals.Yield().has_value());
}

}  // namespace
}  // namespace vark::archive
