// The station's archive on real SQLite files: what a run keeps, repeats and
// imports, amendments, lists, migrations, and the files it must refuse.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <set>

#include "archive/migrations.h"
#include "archive/sha256.h"
#include "archive/sqlite_archive.h"
#include "records/record_file.h"
#include "scratch.h"

namespace vark::archive {
namespace {

using test::Scratch;
using test::Slurp;
using test::StraightBlock;
using test::UploadRun;

std::unique_ptr<SqliteArchive> OpenOk(const std::string& path, OpenOptions options = {}) {
    auto a = SqliteArchive::Open(path, options);
    EXPECT_TRUE(a.ok()) << (a.ok() ? "" : a.error().message);
    return a.ok() ? std::move(a.value()) : nullptr;
}

// A plain connection, as another program (or an older one) would hold it.
struct Raw {
    explicit Raw(const std::string& path) { sqlite3_open(path.c_str(), &db); }
    ~Raw() { sqlite3_close(db); }
    int Exec(const std::string& sql) {
        return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    }
    std::int64_t Int(const std::string& sql) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
        std::int64_t v = -1;
        if (sqlite3_step(st) == SQLITE_ROW) {
            v = sqlite3_column_int64(st, 0);
        }
        sqlite3_finalize(st);
        return v;
    }
    sqlite3* db = nullptr;
};

TEST(SqliteArchive, ExportGivesTheRecordFileSaveWrites) {
    Scratch dir;
    auto a = OpenOk((dir / "a.sqlite3").string());
    ASSERT_TRUE(a);
    RecordBlock sample = SampleBlock();
    for (const RecordBlock& block :
         {sample, ProductionRunBlock(), StraightBlock(100, 40), StraightBlock(0)}) {
        const auto done = a->Commit(UploadRun(block));
        ASSERT_TRUE(done.ok()) << done.error().message;
        ASSERT_TRUE(WriteRecordFile(dir / "saved.vku", block) == FileStatus::Ok);
        const auto bytes = a->ExportBytes(done->uuid);
        ASSERT_TRUE(bytes.ok());
        EXPECT_EQ(*bytes, Slurp(dir / "saved.vku")) << int(block.count);
    }
    EXPECT_EQ(a->ExportBytes("01234567-0000-7000-8000-000000000000").error().kind,
              ErrorKind::NotFound);
}

TEST(SqliteArchive, KeepsEveryRunFieldAndARowPerUsedSlot) {
    Scratch dir;
    auto a = OpenOk((dir / "a.sqlite3").string());
    NewRun run = UploadRun(SampleBlock(), "SN 7", "LOT-1");
    run.part = "P-100";
    run.note = "first shift";
    run.started = 1700000000123;
    run.ended = 1700000001823;
    const auto done = a->Commit(run);
    ASSERT_TRUE(done.ok());
    EXPECT_EQ(done->uuid.size(), 36u);
    EXPECT_EQ(done->uuid[14], '7');  // a version 7 UUID, made here
    const auto d = a->Show(done->uuid);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d->run.started, 1700000000123);
    EXPECT_EQ(d->run.ended, 1700000001823);
    EXPECT_EQ(d->run.station, "station-1");
    EXPECT_EQ(d->run.operatorName, "ann");
    EXPECT_EQ(d->run.testerSerial, "SN 7");
    EXPECT_EQ(d->run.port, "/dev/ttyUSB0");
    EXPECT_EQ(d->run.lot, "LOT-1");
    EXPECT_EQ(d->run.part, "P-100");
    EXPECT_EQ(d->run.note, "first shift");
    EXPECT_EQ(d->run.same, -1);
    EXPECT_FALSE(d->reference.has_value());
    const RecordBlock sample = SampleBlock();
    ASSERT_EQ(d->records.size(), sample.count);
    EXPECT_EQ(d->run.records, sample.count);
    EXPECT_EQ(d->run.empty, 1);
    EXPECT_EQ(d->run.errors, 1);
    EXPECT_EQ(d->records[0].connections,
              "A01-B01 A02-B02 A03-B03 A04-B04 A05-B05 A06-B06 A07-B07 A08-B08 AGD-BGD");
    EXPECT_EQ(d->records[3].connections, "A01-B01 A02-A03-B02-B03 A04-B04 AGD-BGD");
    EXPECT_EQ(d->records[7].state, "error");
    EXPECT_EQ(d->records[8].state, "empty");
    EXPECT_EQ(d->records[8].connections, "");
    EXPECT_TRUE(d->records[0].checksumOk);
    EXPECT_EQ(d->contentSha256, ToHex(Sha256Of(RecordFileBytes(sample))));
}

TEST(SqliteArchive, VerdictsAgainstTheReferenceAreKeptAndCounted) {
    Scratch dir;
    auto a = OpenOk((dir / "a.sqlite3").string());
    NewRun run = UploadRun(ProductionRunBlock());
    run.reference = run.block.slots[0];
    run.referenceLabel = "test 001";
    const auto done = a->Commit(run);
    ASSERT_TRUE(done.ok());
    const auto d = a->Show(done->uuid);
    ASSERT_TRUE(d.ok());
    ASSERT_TRUE(d->reference.has_value());
    EXPECT_EQ(std::memcmp(d->reference->bytes, run.block.slots[0].bytes, kRecordSize), 0);
    EXPECT_EQ(d->run.referenceLabel, "test 001");
    // The production run: 14 same, 4 differ, 1 other pin count, 1 error.
    EXPECT_EQ(d->run.same, 14);
    EXPECT_EQ(d->run.differs, 5);
    EXPECT_EQ(d->run.errors, 1);
    EXPECT_EQ(d->records[4].verdict, "differs");
    EXPECT_EQ(d->records[4].missing, "A03-B03");
    EXPECT_EQ(d->records[12].missing, "A01-B01 A02-B02");
    EXPECT_EQ(d->records[12].extra, "A01-B02 A02-B01");
    EXPECT_EQ(d->records[17].verdict, "error");
    EXPECT_EQ(d->records[19].verdict, "pin-count");
}

TEST(SqliteArchive, TheSameTesterMemoryTwiceIsARepeatCountedOnce) {
    Scratch dir;
    auto a = OpenOk((dir / "a.sqlite3").string());
    const RecordBlock block = StraightBlock(30);
    const auto first = a->Commit(UploadRun(block, "SN1"));
    const auto second = a->Commit(UploadRun(block, "SN1"));
    const auto third = a->Commit(UploadRun(block, "SN1"));
    const auto otherTester = a->Commit(UploadRun(block, "SN2"));
    const auto otherBytes = a->Commit(UploadRun(StraightBlock(30, 10, 1), "SN1"));
    ASSERT_TRUE(first.ok() && second.ok() && third.ok() && otherTester.ok() && otherBytes.ok());
    EXPECT_EQ(first->repeatOf, "");
    EXPECT_EQ(second->repeatOf, first->uuid);
    EXPECT_EQ(third->repeatOf, first->uuid);  // of the first, not of a repeat
    EXPECT_EQ(otherTester->repeatOf, "");
    EXPECT_EQ(otherBytes->repeatOf, "");
    EXPECT_NE(second->uuid, first->uuid);

    const auto counts = a->Counts();
    EXPECT_EQ(counts->runs, 3);
    EXPECT_EQ(counts->repeats, 2);
    EXPECT_EQ(counts->records, 90);
    EXPECT_EQ(a->List({})->size(), 3u);
    RunQuery all;
    all.withRepeats = true;
    const auto listed = a->List(all);
    ASSERT_EQ(listed->size(), 5u);
    EXPECT_EQ(a->Show(second->uuid)->run.repeatOf, first->uuid);
    // The repeat keeps its own bytes for export.
    EXPECT_EQ(*a->ExportBytes(second->uuid), RecordFileBytes(block));
}

TEST(SqliteArchive, AFileImportedTwiceIsOneRun) {
    Scratch dir;
    auto a = OpenOk((dir / "a.sqlite3").string());
    NewRun import = UploadRun(SampleBlock(), "");
    import.source = Source::Import;
    import.port.clear();
    import.fileName = "/tmp/sample.vku";
    const auto first = a->Commit(import);
    ASSERT_TRUE(first.ok());
    EXPECT_FALSE(first->alreadyArchived);
    import.lot = "another lot";
    const auto again = a->Commit(import);
    ASSERT_TRUE(again.ok());
    EXPECT_TRUE(again->alreadyArchived);
    EXPECT_EQ(again->uuid, first->uuid);
    // An uploaded block saved and imported later is that upload.
    const auto upload = a->Commit(UploadRun(ProductionRunBlock()));
    import.block = ProductionRunBlock();
    const auto saved = a->Commit(import);
    EXPECT_TRUE(saved->alreadyArchived);
    EXPECT_EQ(saved->uuid, upload->uuid);
    EXPECT_EQ(a->Counts()->runs, 2);
    EXPECT_EQ(a->Show(first->uuid)->run.lot, "");
}

TEST(SqliteArchive, AmendmentsAddRowsAndTheLastOneIsTheValue) {
    Scratch dir;
    auto a = OpenOk((dir / "a.sqlite3").string());
    const auto run = a->Commit(UploadRun(StraightBlock(5), "SN1", "L-1"));
    const auto other = a->Commit(UploadRun(StraightBlock(6), "SN1", "L-1"));
    ASSERT_TRUE(run.ok() && other.ok());
    auto made = a->Amend(run->uuid, {{"lot", "L-2"}, {"operator", "bob"}}, "mistyped", "carol",
                         "station-9");
    ASSERT_TRUE(made.ok()) << made.error().message;
    ASSERT_EQ(made->size(), 2u);
    EXPECT_EQ((*made)[0].oldValue, "L-1");
    EXPECT_EQ((*made)[0].newValue, "L-2");
    ASSERT_TRUE(a->Amend(run->uuid, {{"lot", "L-3"}}, "again", "carol", "station-9").ok());

    const auto d = a->Show(run->uuid);
    EXPECT_EQ(d->run.lot, "L-3");
    EXPECT_EQ(d->run.operatorName, "bob");
    ASSERT_EQ(d->amendments.size(), 3u);
    EXPECT_EQ(d->amendments[2].oldValue, "L-2");
    EXPECT_EQ(d->amendments[2].author, "carol");
    EXPECT_EQ(d->amendments[2].station, "station-9");
    EXPECT_EQ(d->amendments[2].why, "again");

    // Lists go by the current value: the old lot no longer finds the run,
    // an intermediate value neither.
    RunQuery q;
    q.lot = "L-1";
    ASSERT_EQ(a->List(q)->size(), 1u);
    EXPECT_EQ(a->List(q)->front().uuid, other->uuid);
    q.lot = "L-2";
    EXPECT_TRUE(a->List(q)->empty());
    q.lot = "L-3";
    ASSERT_EQ(a->List(q)->size(), 1u);
    EXPECT_EQ(a->CountRuns(q).value(), 1);
    RunQuery byOperator;
    byOperator.operatorName = "ann";
    EXPECT_EQ(a->List(byOperator)->size(), 1u);

    // Refused, with nothing written.
    EXPECT_EQ(a->Amend(run->uuid, {{"lot", "L-3"}}, "same", "c", "s").error().kind,
              ErrorKind::Invalid);
    EXPECT_EQ(a->Amend(run->uuid, {{"lot", "L-4"}}, "  ", "c", "s").error().kind,
              ErrorKind::Invalid);
    EXPECT_EQ(a->Amend(run->uuid, {{"station", "x"}}, "why", "c", "s").error().kind,
              ErrorKind::Invalid);
    EXPECT_EQ(a->Amend(run->uuid, {{"part", "P"}, {"lot", "L-3"}}, "why", "c", "s").error().kind,
              ErrorKind::Invalid);
    EXPECT_EQ(a->Show(run->uuid)->run.part, "");
    EXPECT_EQ(a->Counts()->amendments, 3);
}

TEST(SqliteArchive, AVoidedRunIsKeptButLeftOutOfListsAndCounts) {
    Scratch dir;
    auto a = OpenOk((dir / "a.sqlite3").string());
    const auto kept = a->Commit(UploadRun(StraightBlock(5), "SN1", "L"));
    const auto mistake = a->Commit(UploadRun(StraightBlock(7), "SN1", "L"));
    ASSERT_TRUE(a->Amend(mistake->uuid, {{"void", "1"}}, "wrong cable", "ann", "s").ok());
    EXPECT_EQ(a->Amend(mistake->uuid, {{"void", "1"}}, "again", "ann", "s").error().kind,
              ErrorKind::Invalid);
    RunQuery q;
    q.lot = "L";
    ASSERT_EQ(a->List(q)->size(), 1u);
    EXPECT_EQ(a->List(q)->front().uuid, kept->uuid);
    q.withVoided = true;
    EXPECT_EQ(a->List(q)->size(), 2u);
    EXPECT_EQ(a->Counts()->runs, 1);
    EXPECT_EQ(a->Counts()->voided, 1);
    EXPECT_EQ(a->Counts()->records, 5);
    EXPECT_TRUE(a->Show(mistake->uuid)->run.voided);
    EXPECT_TRUE(a->ExportBytes(mistake->uuid).ok());
    // Voiding is undone the same way, by a further amendment.
    ASSERT_TRUE(a->Amend(mistake->uuid, {{"void", "0"}}, "right after all", "ann", "s").ok());
    EXPECT_EQ(a->Counts()->runs, 2);
}

TEST(SqliteArchive, ArchivedRowsCannotBeChangedOrDeleted) {
    Scratch dir;
    const std::string path = (dir / "a.sqlite3").string();
    auto a = OpenOk(path);
    const auto run = a->Commit(UploadRun(StraightBlock(3)));
    ASSERT_TRUE(a->Amend(run->uuid, {{"note", "n"}}, "why", "a", "s").ok());
    Raw raw(path);
    for (const char* sql :
         {"UPDATE run SET lot = 'x'", "DELETE FROM run", "UPDATE record SET pin_count = 1",
          "DELETE FROM record", "UPDATE amendment SET why = 'x'", "DELETE FROM amendment",
          "UPDATE run_block SET block = x'00'", "DELETE FROM run_block",
          "INSERT INTO record (run_id, slot, pin_count, state, checksum_ok, connections) VALUES "
          "(1, 5, 4, 'fine', 1, '')"}) {
        EXPECT_NE(raw.Exec(sql), SQLITE_OK) << sql;
    }
    EXPECT_EQ(raw.Int("SELECT count(*) FROM record"), 3);
}

TEST(SqliteArchive, ListsFilterSortAndPage) {
    Scratch dir;
    auto a = OpenOk((dir / "a.sqlite3").string());
    std::vector<std::string> uuids;
    for (int i = 0; i < 6; ++i) {
        NewRun run = UploadRun(StraightBlock(2, 10, i + 1), i % 2 ? "SN-B" : "SN-A",
                               i < 3 ? "early" : "late");
        run.part = i % 3 == 0 ? "P1" : "P2";
        run.station = i == 5 ? "bench-2" : "bench-1";
        run.started = 1700000000000 + i * 60000;
        run.ended = run.started + 100;
        uuids.push_back(a->Commit(run)->uuid);
    }
    auto ids = [&](const RunQuery& q) {
        std::vector<std::string> out;
        const auto runs = a->List(q);
        for (const auto& r : *runs) {
            out.push_back(r.uuid);
        }
        return out;
    };
    RunQuery q;
    EXPECT_EQ(ids(q), (std::vector<std::string>{uuids[5], uuids[4], uuids[3], uuids[2], uuids[1],
                                                uuids[0]}));
    q.descending = false;
    q.limit = 2;
    q.offset = 1;
    EXPECT_EQ(ids(q), (std::vector<std::string>{uuids[1], uuids[2]}));
    q = {};
    q.lot = "late";
    q.part = "P2";
    EXPECT_EQ(ids(q), (std::vector<std::string>{uuids[5], uuids[4]}));
    q.testerSerial = "SN-A";
    q.station = "bench-1";
    EXPECT_EQ(ids(q), (std::vector<std::string>{uuids[4]}));
    q.station = "bench-2";
    EXPECT_TRUE(ids(q).empty());
    q = {};
    q.since = 1700000000000 + 2 * 60000;
    q.until = 1700000000000 + 4 * 60000;
    EXPECT_EQ(ids(q), (std::vector<std::string>{uuids[3], uuids[2]}));
    EXPECT_EQ(a->CountRuns(q).value(), 2);
    q = {};
    q.limit = 0;
    EXPECT_TRUE(ids(q).empty());
}

TEST(SqliteArchive, ListsFindTextVerdictsAndSortByAnyColumn) {
    Scratch dir;
    auto a = OpenOk((dir / "a.sqlite3").string());
    // Judged with faults, judged all the same, not judged.
    NewRun faulty = UploadRun(ProductionRunBlock(), "SN-9", "Lot_A%");
    faulty.reference = faulty.block.slots[0];
    faulty.note = "night shift";
    NewRun clean = UploadRun(StraightBlock(7), "SN-1", "lot-b");
    clean.reference = clean.block.slots[0];
    NewRun plain = UploadRun(StraightBlock(3, 10, 5), "SN-1", "LOT-C");
    plain.operatorName = "zoe";
    const std::string f = a->Commit(faulty)->uuid;
    const std::string c = a->Commit(clean)->uuid;
    const std::string p = a->Commit(plain)->uuid;
    ASSERT_TRUE(a->Amend(c, {{"part", "P-NEW"}}, "why", "a", "s").ok());
    auto ids = [&](const RunQuery& q) {
        std::vector<std::string> out;
        const auto runs = a->List(q);
        for (const auto& r : *runs) {
            out.push_back(r.uuid);
        }
        return out;
    };
    using V = std::vector<std::string>;
    RunQuery q;
    q.text = "NIGHT";
    EXPECT_EQ(ids(q), V{f});
    q.text = "lot_a%";  // its own % and _ are not wildcards
    EXPECT_EQ(ids(q), V{f});
    q.text = "lot_b";  // would find lot-b were _ a wildcard
    EXPECT_TRUE(ids(q).empty());
    q.text = "p-new";  // an amended value
    EXPECT_EQ(ids(q), V{c});
    q.text = p.substr(9);  // past the time part, which runs made together share
    EXPECT_EQ(ids(q), V{p});
    q = {};
    q.verdicts = RunQuery::Verdicts::SomeDiffer;
    EXPECT_EQ(ids(q), V{f});
    q.verdicts = RunQuery::Verdicts::SomeErrors;
    EXPECT_EQ(ids(q), V{f});
    q.verdicts = RunQuery::Verdicts::AllSame;
    EXPECT_EQ(ids(q), V{c});
    q.verdicts = RunQuery::Verdicts::NotJudged;
    EXPECT_EQ(ids(q), V{p});
    EXPECT_EQ(a->CountRuns(q).value(), 1);
    q = {};
    q.sort = RunQuery::SortKey::Records;
    EXPECT_EQ(ids(q), (V{f, c, p}));
    q.descending = false;
    EXPECT_EQ(ids(q), (V{p, c, f}));
    q.sort = RunQuery::SortKey::Operator;  // ann, ann, zoe: ties oldest first
    EXPECT_EQ(ids(q), (V{f, c, p}));
    q.sort = RunQuery::SortKey::Part;  // "", "", "P-NEW"
    EXPECT_EQ(ids(q), (V{f, p, c}));
    q.sort = RunQuery::SortKey::Differs;  // NULL first, then 0, then 5
    EXPECT_EQ(ids(q), (V{p, c, f}));
}

TEST(SqliteArchive, RunsAreNamedByAnUnambiguousStart) {
    Scratch dir;
    auto a = OpenOk((dir / "a.sqlite3").string());
    const auto one = a->Commit(UploadRun(StraightBlock(1)));
    EXPECT_EQ(a->Resolve(one->uuid.substr(0, 8)).value(), one->uuid);
    std::string upper = one->uuid;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(a->Resolve(upper).value(), one->uuid);
    const auto two = a->Commit(UploadRun(StraightBlock(2)));
    // Every UUID made in these centuries starts with a 0.
    EXPECT_EQ(a->Resolve("0").error().kind, ErrorKind::Ambiguous);
    EXPECT_EQ(a->Resolve(two->uuid).value(), two->uuid);
    EXPECT_EQ(a->Resolve("ffff").error().kind, ErrorKind::NotFound);
    EXPECT_EQ(a->Resolve("").error().kind, ErrorKind::NotFound);
    EXPECT_EQ(a->Resolve("0%").error().kind, ErrorKind::NotFound);
}

// The schema is a sequence of released files: changing one would leave the
// archives already made by it behind.
TEST(Migrations, ReleasedFilesStayAsTheyWere) {
    const auto all = MigrationsFor("sqlite");
    ASSERT_GE(all.size(), 3u);
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].version, static_cast<int>(i + 1)) << all[i].name;
    }
    EXPECT_EQ(ToHex(Sha256Of(all[0].sql)),
              "fd1aeee3667a1199fbb66baea150dd967d5fee01d94c39d95b7bd3dd0a567d5b");
    EXPECT_EQ(ToHex(Sha256Of(all[1].sql)),
              "cbcf2bd86269f2e88d05d100e73872886d6462b85e46db27edc301927bd54f51");
    EXPECT_EQ(ToHex(Sha256Of(all[2].sql)),
              "adb02a7313eeab574d8b740439d73877abea52e6bffd8ea462238fd7154c653e");
}

TEST(Migrations, AVersionOneArchiveIsCopiedThenUpgradedKeepingItsRuns) {
    Scratch dir;
    const std::string path = (dir / "old.sqlite3").string();
    {
        // An archive as the first release left it, with one run.
        Raw raw(path);
        ASSERT_EQ(raw.Exec(std::string(MigrationsFor("sqlite")[0].sql)), SQLITE_OK);
        ASSERT_EQ(raw.Exec("INSERT INTO schema_version VALUES (1, 1, 'old');"
                           "INSERT INTO run (uuid, started_ms, ended_ms, station, operator, "
                           "source, program, content_sha256, record_count, empty_count, "
                           "error_count, lot) VALUES ('01890000-0000-7000-8000-000000000001', 5, "
                           "6, 's', 'o', 'upload', 'old', '" +
                           ToHex(Sha256Of(RecordFileBytes(RecordBlock{}))) +
                           "', 0, 0, 0, 'L-old');"
                           "INSERT INTO run_block VALUES (1, 0, x'00')"),
                  SQLITE_OK);
    }
    const std::string before = Slurp(path);
    auto a = OpenOk(path);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->SchemaVersion(), LatestVersion("sqlite"));
    ASSERT_FALSE(a->BackupBeforeMigration().empty());
    {
        Raw copy(a->BackupBeforeMigration());
        EXPECT_EQ(copy.Int("SELECT max(version) FROM schema_version"), 1);
        EXPECT_EQ(copy.Int("SELECT count(*) FROM run WHERE lot = 'L-old'"), 1);
    }
    RunQuery q;
    q.lot = "L-old";
    ASSERT_EQ(a->List(q)->size(), 1u);
    EXPECT_TRUE(a->Commit(UploadRun(StraightBlock(4), "SN", "L-new")).ok());
    EXPECT_TRUE(a->Check()->ok());
    Raw raw(path);
    EXPECT_EQ(raw.Int("SELECT count(*) FROM schema_version"), LatestVersion("sqlite"));
    EXPECT_EQ(raw.Int("SELECT count(*) FROM sqlite_schema WHERE name = 'run_lot'"), 1);
    a.reset();
    // Opened again: nothing more to migrate, no further copy.
    auto again = OpenOk(path);
    EXPECT_TRUE(again->BackupBeforeMigration().empty());
    EXPECT_NE(Slurp(path), before);
}

// A file the program must not write: each is refused and left byte for byte.
TEST(SqliteArchive, RefusesNewerForeignAndDamagedFilesLeavingThemAsTheyWere) {
    Scratch dir;
    const std::string newer = (dir / "newer.sqlite3").string();
    {
        auto a = OpenOk(newer);
        ASSERT_TRUE(a->Commit(UploadRun(StraightBlock(3))).ok());
    }
    {
        Raw raw(newer);
        ASSERT_EQ(raw.Exec("INSERT INTO schema_version VALUES (99, 1, 'future')"), SQLITE_OK);
    }
    const std::string foreign = (dir / "foreign.sqlite3").string();
    {
        Raw raw(foreign);
        ASSERT_EQ(raw.Exec("CREATE TABLE t (x); INSERT INTO t VALUES (1)"), SQLITE_OK);
    }
    const std::string records = (dir / "records.vku").string();
    ASSERT_EQ(WriteRecordFile(records, SampleBlock()), FileStatus::Ok);
    const std::string damaged = (dir / "damaged.sqlite3").string();
    {
        auto a = OpenOk(damaged);
        for (int i = 0; i < 20; ++i) {
            ASSERT_TRUE(a->Commit(UploadRun(StraightBlock(50, 10, i + 1))).ok());
        }
    }
    {
        // Pages past the first overwritten: the header reads, the tables do not.
        std::string bytes = Slurp(damaged);
        ASSERT_GT(bytes.size(), 40000u);
        for (std::size_t i = 4096; i < bytes.size(); i += 4096) {
            std::memset(bytes.data() + i, 0x5A, 100);
        }
        std::ofstream(damaged, std::ios::binary | std::ios::trunc) << bytes;
    }
    struct Case {
        std::string path;
        ErrorKind kind;
    };
    for (const Case& c :
         {Case{newer, ErrorKind::Newer}, Case{foreign, ErrorKind::NotArchive},
          Case{records, ErrorKind::NotArchive}, Case{damaged, ErrorKind::Corrupt}}) {
        const std::string before = Slurp(c.path);
        for (auto mode : {OpenOptions::Mode::Write, OpenOptions::Mode::Read}) {
            OpenOptions options;
            options.mode = mode;
            auto a = SqliteArchive::Open(c.path, options);
            if (a.ok()) {
                // A damage the opening did not meet shows on the first write.
                const auto done = a.value()->Commit(UploadRun(StraightBlock(9)));
                ASSERT_FALSE(done.ok()) << c.path;
                EXPECT_EQ(done.error().kind, c.kind) << done.error().message;
            } else {
                EXPECT_EQ(a.error().kind, c.kind) << c.path << ": " << a.error().message;
                EXPECT_NE(a.error().message.find(c.path), std::string::npos);
            }
        }
        EXPECT_EQ(Slurp(c.path), before) << c.path;
        // Reading a WAL archive may leave its empty side files, nothing more.
        EXPECT_EQ(Slurp(c.path + "-wal"), "") << c.path;
    }
    EXPECT_NE(SqliteArchive::Open(newer).error().message.find("newer version"), std::string::npos);
}

TEST(SqliteArchive, ReadingNeverCreates) {
    Scratch dir;
    OpenOptions read;
    read.mode = OpenOptions::Mode::Read;
    const std::string path = (dir / "sub" / "none.sqlite3").string();
    EXPECT_EQ(SqliteArchive::Open(path, read).error().kind, ErrorKind::Missing);
    EXPECT_FALSE(std::filesystem::exists(dir / "sub"));
    // Writing makes the folders and the file.
    EXPECT_TRUE(OpenOk(path));
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(SqliteArchive, AWriterHeldUpTooLongFailsAndChangesNothing) {
    Scratch dir;
    const std::string path = (dir / "a.sqlite3").string();
    OpenOptions quick;
    quick.busyTimeoutMs = 200;
    auto a = OpenOk(path, quick);
    ASSERT_TRUE(a->Commit(UploadRun(StraightBlock(3))).ok());
    Raw other(path);
    ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), SQLITE_OK);
    const auto held = a->Commit(UploadRun(StraightBlock(4)));
    ASSERT_FALSE(held.ok());
    EXPECT_EQ(held.error().kind, ErrorKind::Busy);
    EXPECT_NE(held.error().message.find("200 ms"), std::string::npos) << held.error().message;
    const auto runs = a->List({});
    EXPECT_EQ(runs->size(), 1u);  // reading goes on meanwhile
    ASSERT_EQ(other.Exec("COMMIT"), SQLITE_OK);
    EXPECT_TRUE(a->Commit(UploadRun(StraightBlock(4))).ok());
    EXPECT_EQ(a->Counts()->runs, 2);
}

TEST(SqliteArchive, CheckFindsHalfRunsAndAlteredBytes) {
    Scratch dir;
    const std::string path = (dir / "a.sqlite3").string();
    auto a = OpenOk(path);
    const auto halved = a->Commit(UploadRun(StraightBlock(3)));
    const auto altered = a->Commit(UploadRun(StraightBlock(3, 10, 1)));
    const auto report = a->Check();
    ASSERT_TRUE(report.ok());
    EXPECT_TRUE(report->ok());
    EXPECT_EQ(report->counts.runs, 2);
    {
        // What a program writing rows one by one, outside one transaction,
        // could leave; and bytes changed behind the archive's back.
        Raw raw(path);
        ASSERT_EQ(
            raw.Exec("DROP TRIGGER record_kept_on_delete; DROP TRIGGER run_block_kept_on_update"),
            SQLITE_OK);
        ASSERT_EQ(raw.Exec("DELETE FROM record WHERE slot = 2 AND run_id = (SELECT id FROM run "
                           "WHERE uuid = '" +
                           halved->uuid + "')"),
                  SQLITE_OK);
        ASSERT_EQ(raw.Exec("UPDATE run_block SET block = CAST(substr(block, 1, 100) || x'77' || "
                           "substr(block, 102) AS BLOB) WHERE run_id = (SELECT id FROM run WHERE "
                           "uuid = '" +
                           altered->uuid + "')"),
                  SQLITE_OK);
    }
    const auto bad = a->Check();
    ASSERT_TRUE(bad.ok());
    EXPECT_FALSE(bad->ok());
    ASSERT_EQ(bad->problems.size(), 2u);
    EXPECT_NE(bad->problems[0].find(halved->uuid), std::string::npos) << bad->problems[0];
    EXPECT_NE(bad->problems[1].find(altered->uuid), std::string::npos) << bad->problems[1];
}

TEST(SqliteArchive, BackupIsACompleteNewFile) {
    Scratch dir;
    auto a = OpenOk((dir / "a.sqlite3").string());
    const auto run = a->Commit(UploadRun(SampleBlock()));
    const std::string copy = (dir / "copy.sqlite3").string();
    ASSERT_TRUE(a->BackupTo(copy).ok());
    auto b = OpenOk(copy);
    EXPECT_EQ(*b->ExportBytes(run->uuid), *a->ExportBytes(run->uuid));
    EXPECT_TRUE(b->Check()->ok());
    // An existing file is never replaced.
    const std::string taken = (dir / "taken").string();
    std::ofstream(taken) << "mine";
    EXPECT_EQ(a->BackupTo(taken).error().kind, ErrorKind::Invalid);
    EXPECT_EQ(Slurp(taken), "mine");
    EXPECT_FALSE(a->BackupTo((dir / "no" / "such" / "folder.sqlite3").string()).ok());
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_NE(e.path().filename().string().rfind(".vark-", 0), 0u) << e.path();
    }
}

}  // namespace
}  // namespace vark::archive

namespace vark::archive {
namespace {

// The outbox for the factory server: what waits, in the order it must be
// sent, with the values as first archived.
TEST(Outbox, QueuesEveryRunCorrectionAndGoldenWithItsTransaction) {
    Scratch dir;
    auto a = OpenOk((dir / "a.sqlite3").string());
    ASSERT_TRUE(a);
    NewGolden g;
    g.part = "P";
    g.record = ProductionRunBlock().slots[0];
    g.source = "test 001";
    g.author = "q";
    ASSERT_TRUE(a->SetGolden(g).ok());
    const auto run = a->Commit(UploadRun(StraightBlock(3), "SN", "L-typo"));
    ASSERT_TRUE(run.ok());
    ASSERT_TRUE(a->Amend(run->uuid, {{"lot", "L-1"}, {"void", "1"}}, "why", "q", "s").ok());
    // Refused or adding nothing: nothing queued either.
    EXPECT_FALSE(a->Amend(run->uuid, {{"lot", "L-1"}}, "again", "q", "s").ok());
    NewRun imported = UploadRun(StraightBlock(3, 10, 9));
    imported.source = Source::Import;
    imported.testerSerial.clear();
    imported.fileName = "f.vku";
    ASSERT_TRUE(a->Commit(imported).ok());
    EXPECT_TRUE(a->Commit(imported)->alreadyArchived);

    const auto state = a->Outbox();
    ASSERT_TRUE(state.ok());
    EXPECT_EQ(state->goldens, 1);
    EXPECT_EQ(state->runs, 2);
    EXPECT_EQ(state->amendments, 2);
    EXPECT_FALSE(state->lastTry.has_value());
    const auto pending = a->PendingOutbox(10);
    ASSERT_TRUE(pending.ok());
    ASSERT_EQ(pending->size(), 5u);
    const char* kinds[] = {"golden", "run", "amendment", "amendment", "run"};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ((*pending)[i].kind, kinds[i]) << i;
    }
    const StoredRun& stored = *(*pending)[1].run;
    EXPECT_EQ(stored.lot, "L-typo");  // as archived; the amendment travels on its own
    EXPECT_EQ(stored.records.size(), 3u);
    EXPECT_EQ(RecordFileOf(stored.block), a->ExportBytes(run->uuid).value());
    EXPECT_EQ((*pending)[2].amendedRun, run->uuid);
    EXPECT_LT((*pending)[2].amendmentSeq, (*pending)[3].amendmentSeq);
    EXPECT_EQ(a->PendingOutbox(2, (*pending)[1].id)->front().id, (*pending)[2].id);
    EXPECT_TRUE(a->Check()->ok());
}

TEST(Outbox, MarksOnlyAddAndTheFirstMarkStays) {
    Scratch dir;
    const std::string path = (dir / "a.sqlite3").string();
    auto a = OpenOk(path);
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(a->Commit(UploadRun(StraightBlock(2, 10, i))).ok());
    }
    const auto pending = a->PendingOutbox(10).value();
    ASSERT_TRUE(a->NoteForwardTry(1000, "connection refused").ok());
    EXPECT_EQ(a->Outbox()->lastError, "connection refused");
    ASSERT_TRUE(a->MarkForwarded({{pending[0].id, false}, {pending[1].id, true}}, 2000).ok());
    // Sent again by a second forwarder: the conflict stays a conflict.
    ASSERT_TRUE(a->MarkForwarded({{pending[1].id, false}}, 3000).ok());
    const auto state = a->Outbox().value();
    EXPECT_EQ(state.runs, 1);
    EXPECT_EQ(state.conflicts, 1);
    ASSERT_EQ(state.conflictRuns.size(), 1u);
    EXPECT_EQ(state.conflictRuns[0], pending[1].uuid);
    EXPECT_EQ(state.lastTry, 3000);
    EXPECT_EQ(state.lastError, "");
    EXPECT_EQ(state.lastSent, 3000);
    EXPECT_EQ(a->PendingOutbox(10)->size(), 1u);
    a.reset();
    Raw raw(path);
    EXPECT_NE(raw.Exec("UPDATE outbox_done SET outcome = 'sent'"), SQLITE_OK);
    EXPECT_NE(raw.Exec("DELETE FROM outbox"), SQLITE_OK);
    EXPECT_EQ(raw.Int("SELECT count(*) FROM outbox"), 3);
}

TEST(Outbox, AnArchiveFromBeforeTheOutboxQueuesWhatItHolds) {
    Scratch dir;
    const std::string path = (dir / "a.sqlite3").string();
    std::vector<std::string> runs;
    {
        auto a = OpenOk(path);
        NewGolden g;
        g.part = "P";
        g.record = ProductionRunBlock().slots[0];
        g.source = "s";
        g.author = "q";
        ASSERT_TRUE(a->SetGolden(g).ok());
        for (int i = 1; i <= 3; ++i) {
            runs.push_back(a->Commit(UploadRun(StraightBlock(2, 10, i))).value().uuid);
        }
        ASSERT_TRUE(a->Amend(runs[0], {{"note", "n"}}, "why", "q", "s").ok());
    }
    {
        // As the version before the outbox left it.
        Raw raw(path);
        ASSERT_EQ(raw.Exec("DROP TABLE outbox_done; DROP TABLE forward_try; DROP TABLE outbox; "
                           "DELETE FROM schema_version WHERE version = 4"),
                  SQLITE_OK);
    }
    auto a = OpenOk(path);
    ASSERT_TRUE(a);
    EXPECT_FALSE(a->BackupBeforeMigration().empty());
    const auto pending = a->PendingOutbox(10).value();
    ASSERT_EQ(pending.size(), 5u);
    EXPECT_EQ(pending[0].kind, "golden");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(pending[1 + i].uuid, runs[i]);
    }
    EXPECT_EQ(pending[4].kind, "amendment");
}

}  // namespace
}  // namespace vark::archive
