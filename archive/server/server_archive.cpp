#include "archive/server/server_archive.h"

#include <algorithm>
#include <cstring>

#include "archive/migrations.h"
#include "archive/server/pg_link.h"

namespace vark::archive {
namespace {

constexpr std::string_view kEngine = "postgresql";

std::string Ms(const std::string& column) {
    return "(extract(epoch FROM " + column + ") * 1000)::bigint";
}

// The current value of a field: its last amendment, else the run's own.
std::string Current(std::string_view field, std::string_view fallback) {
    return "COALESCE((SELECT a.new_value FROM amendment a WHERE a.run_uuid = r.uuid AND a.field "
           "= '" +
           std::string(field) +
           "' ORDER BY a.made_at DESC, a.station_seq DESC, a.uuid DESC LIMIT 1), " +
           std::string(fallback) + ")";
}

const std::string kSummaryColumns =
    "r.uuid, " + Ms("r.started_at") + ", " + Ms("r.ended_at") + ", r.station, " +
    Current("operator", "r.operator") + ", r.source, r.port, r.tester_serial, r.file_name, " +
    Current("lot", "r.lot") + ", " + Current("part", "r.part") + ", " + Current("note", "r.note") +
    ", " + Current("void", "'0'") +
    ", r.repeat_of, r.record_count, r.empty_count, r.error_count, r.same_count, "
    "r.differs_count, r.reference_label, r.golden, r.majority_warning";
constexpr int kSummaryColumnCount = 22;

RunSummary ReadSummary(const PgRows& q, int i) {
    RunSummary s;
    s.uuid = q.Text(i, 0);
    s.started = q.Int(i, 1);
    s.ended = q.Int(i, 2);
    s.station = q.Text(i, 3);
    s.operatorName = q.Text(i, 4);
    s.source = q.Text(i, 5) == "import" ? Source::Import : Source::Upload;
    s.port = q.Text(i, 6);
    s.testerSerial = q.Text(i, 7);
    s.fileName = q.Text(i, 8);
    s.lot = q.Text(i, 9);
    s.part = q.Text(i, 10);
    s.note = q.Text(i, 11);
    s.voided = q.Text(i, 12) == "1";
    s.repeatOf = q.Text(i, 13);
    s.records = static_cast<int>(q.Int(i, 14));
    s.empty = static_cast<int>(q.Int(i, 15));
    s.errors = static_cast<int>(q.Int(i, 16));
    s.same = q.IsNull(i, 17) ? -1 : static_cast<int>(q.Int(i, 17));
    s.differs = q.IsNull(i, 18) ? -1 : static_cast<int>(q.Int(i, 18));
    s.referenceLabel = q.Text(i, 19);
    s.goldenUuid = q.Text(i, 20);
    s.warning = q.Text(i, 21);
    return s;
}

struct Filter {
    std::string where;
    std::vector<std::optional<std::string>> params;
    std::string Param(std::string value) {
        params.emplace_back(std::move(value));
        return "$" + std::to_string(params.size());
    }
};

Filter BuildFilter(const RunQuery& query) {
    Filter f;
    std::vector<std::string> terms;
    auto amendable = [&](std::string_view column, const std::string& value) {
        if (value.empty()) {
            return;
        }
        const std::string p = f.Param(value);
        const std::string c(column);
        terms.push_back("r.uuid IN (SELECT uuid FROM run WHERE " + c + " = " + p +
                        " UNION SELECT run_uuid FROM amendment WHERE field = '" + c +
                        "' AND new_value = " + p + ") AND " + Current(column, "r." + c) + " = " +
                        p);
    };
    auto plain = [&](std::string_view column, const std::string& value) {
        if (!value.empty()) {
            terms.push_back("r." + std::string(column) + " = " + f.Param(value));
        }
    };
    amendable("lot", query.lot);
    amendable("part", query.part);
    amendable("operator", query.operatorName);
    plain("station", query.station);
    plain("tester_serial", query.testerSerial);
    if (!query.text.empty()) {
        std::string pattern = "%";
        for (const char c : query.text) {
            if (c == '%' || c == '_' || c == '\\') {
                pattern += '\\';
            }
            pattern += c;
        }
        const std::string p = f.Param(pattern + "%");
        std::string any;
        for (const std::string& column :
             {Current("lot", "r.lot"), Current("part", "r.part"), Current("operator", "r.operator"),
              Current("note", "r.note"), std::string("r.station"), std::string("r.tester_serial"),
              std::string("r.port"), std::string("r.file_name"), std::string("r.uuid::text")}) {
            any += (any.empty() ? "" : " OR ") + column + " ILIKE " + p;
        }
        terms.push_back("(" + any + ")");
    }
    switch (query.verdicts) {
        case RunQuery::Verdicts::Any:
            break;
        case RunQuery::Verdicts::AllSame:
            terms.push_back("r.same_count = r.record_count");
            break;
        case RunQuery::Verdicts::SomeDiffer:
            terms.push_back("r.differs_count > 0");
            break;
        case RunQuery::Verdicts::SomeErrors:
            terms.push_back("r.error_count > 0");
            break;
        case RunQuery::Verdicts::NotJudged:
            terms.push_back("r.same_count IS NULL");
            break;
    }
    if (query.since) {
        terms.push_back("r.started_at >= " + f.Param(PgTime(*query.since)) + "::timestamptz");
    }
    if (query.until) {
        terms.push_back("r.started_at < " + f.Param(PgTime(*query.until)) + "::timestamptz");
    }
    if (!query.withVoided) {
        terms.push_back(Current("void", "'0'") + " = '0'");
    }
    if (!query.withRepeats) {
        terms.push_back("r.repeat_of IS NULL");
    }
    for (std::size_t i = 0; i < terms.size(); ++i) {
        f.where += (i ? " AND " : " WHERE ") + terms[i];
    }
    return f;
}

std::optional<TestRecord> RecordOf(const std::string& bytes) {
    if (bytes.size() != kRecordSize) {
        return std::nullopt;
    }
    TestRecord r;
    std::memcpy(r.bytes, bytes.data(), kRecordSize);
    return r;
}

// The filter of the runs that count, whatever the query says about voided
// runs and repeats.
Filter CountedFilter(const RunQuery& query) {
    RunQuery counted = query;
    counted.withVoided = false;
    counted.withRepeats = false;
    return BuildFilter(counted);
}

// Goldens of one part follow each other in the order they were made; two made
// in the same millisecond by the order of their UUIDs, which are made in time
// order.
const std::string kGoldenColumns =
    "g.uuid, g.part, " + Ms("g.made_at") +
    ", g.station, g.author, g.source, g.note, g.record, g.connections, (SELECT n.uuid FROM golden "
    "n WHERE n.part = g.part AND (n.made_at, n.uuid) > (g.made_at, g.uuid) ORDER BY n.made_at, "
    "n.uuid LIMIT 1)";

}  // namespace

Result<ServerInitReport> InitServer(const std::string& url, const std::string& program,
                                    int timeoutSeconds) {
    auto link = PgLink::Connect(url, timeoutSeconds, "VARK-u server-init");
    if (!link) {
        return link.error();
    }
    PgLink& pg = **link;
    ServerInitReport report;
    report.server = pg.Name();
    auto fail = [&](Error e) {
        (void)pg.Exec("ROLLBACK");
        return e;
    };
    // One initialiser at a time; the others find the work done.
    if (Status st = pg.Exec("BEGIN; SELECT pg_advisory_xact_lock(7372617202212)"); !st) {
        return fail(st.error());
    }
    auto found =
        pg.Query("SELECT CASE WHEN to_regclass('schema_version') IS NULL THEN 0 ELSE 1 END");
    if (!found) {
        return fail(found.error());
    }
    if (found->Int(0, 0) == 1) {
        auto v = pg.Query("SELECT coalesce(max(version), 0) FROM schema_version");
        if (!v) {
            return fail(v.error());
        }
        report.before = static_cast<int>(v->Int(0, 0));
    }
    const int latest = LatestVersion(kEngine);
    if (report.before > latest) {
        return fail(Error{ErrorKind::Newer, "the server " + pg.Name() + " holds schema " +
                                                std::to_string(report.before) +
                                                ", made by a newer program (this "
                                                "one knows up to " +
                                                std::to_string(latest) +
                                                "); it is left untouched"});
    }
    for (const Migration& m : MigrationsFor(kEngine)) {
        if (m.version <= report.before) {
            continue;
        }
        if (Status st = pg.Exec(std::string(m.sql)); !st) {
            return fail(Error{st.error().kind, "upgrading the server failed at " +
                                                   std::string(m.name) + ": " +
                                                   st.error().message});
        }
        auto row = pg.Query("INSERT INTO schema_version (version, program) VALUES ($1, $2)",
                            {std::to_string(m.version), program});
        if (!row) {
            return fail(row.error());
        }
    }
    if (Status st = pg.Exec("COMMIT"); !st) {
        return fail(st.error());
    }
    report.after = std::max(latest, report.before);
    return report;
}

ServerArchive::ServerArchive(std::unique_ptr<PgLink> link) : link_(std::move(link)) {}
ServerArchive::~ServerArchive() = default;

const std::string& ServerArchive::Name() const {
    return link_->Name();
}

Result<std::unique_ptr<ServerArchive>> ServerArchive::Open(const std::string& url,
                                                           int timeoutSeconds) {
    auto link = PgLink::Connect(url, timeoutSeconds, "VARK-u reader");
    if (!link) {
        return link.error();
    }
    if (Status st = (*link)->Exec("SET default_transaction_read_only = on"); !st) {
        return st.error();
    }
    auto v = (*link)->Query("SELECT max(version) FROM schema_version");
    if (!v) {
        return Error{ErrorKind::Missing, "the server " + (*link)->Name() +
                                             " holds no archive (vark-cli archive server-init "
                                             "makes it)"};
    }
    return std::unique_ptr<ServerArchive>(new ServerArchive(std::move(link.value())));
}

Result<std::vector<RunSummary>> ServerArchive::List(const RunQuery& query) {
    Filter f = BuildFilter(query);
    using Key = RunQuery::SortKey;
    std::string key;
    switch (query.sort) {
        case Key::Started:
            break;
        case Key::Lot:
            key = Current("lot", "r.lot");
            break;
        case Key::Part:
            key = Current("part", "r.part");
            break;
        case Key::Operator:
            key = Current("operator", "r.operator");
            break;
        case Key::Station:
            key = "r.station";
            break;
        case Key::Tester:
            key = "r.tester_serial";
            break;
        case Key::Records:
            key = "r.record_count";
            break;
        case Key::Same:
            key = "r.same_count";
            break;
        case Key::Differs:
            key = "r.differs_count";
            break;
        case Key::Errors:
            key = "r.error_count";
            break;
    }
    const std::string direction = query.descending ? " DESC" : " ASC";
    std::string sql = "SELECT " + kSummaryColumns + " FROM run r" + f.where + " ORDER BY " +
                      (key.empty() ? "" : key + direction + ", ") + "r.started_at" + direction +
                      ", r.uuid" + direction;
    if (query.limit) {
        sql += " LIMIT " + f.Param(std::to_string(*query.limit));
    }
    sql += " OFFSET " + f.Param(std::to_string(query.offset));
    auto rows = link_->Query(sql, f.params);
    if (!rows) {
        return rows.error();
    }
    std::vector<RunSummary> out;
    out.reserve(static_cast<std::size_t>(rows->Count()));
    for (int i = 0; i < rows->Count(); ++i) {
        out.push_back(ReadSummary(*rows, i));
    }
    return out;
}

Result<std::int64_t> ServerArchive::CountRuns(const RunQuery& query) {
    const Filter f = BuildFilter(query);
    auto rows = link_->Query("SELECT count(*) FROM run r" + f.where, f.params);
    if (!rows) {
        return rows.error();
    }
    return rows->Int(0, 0);
}

Result<std::string> ServerArchive::Resolve(std::string_view name) {
    std::string prefix;
    for (const char c : name) {
        prefix += static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
    }
    const Error none{ErrorKind::NotFound, "no run " + std::string(name) + " on the server"};
    if (prefix.empty() || prefix.find_first_not_of("0123456789abcdef-") != std::string::npos) {
        return none;
    }
    auto rows =
        link_->Query("SELECT uuid FROM run WHERE uuid::text LIKE $1 || '%' LIMIT 2", {prefix});
    if (!rows) {
        return rows.error();
    }
    if (rows->Count() == 0) {
        return none;
    }
    if (rows->Count() > 1) {
        return Error{ErrorKind::Ambiguous,
                     std::string(name) + " names more than one run; give more of its UUID"};
    }
    return rows->Text(0, 0);
}

Result<RunDetails> ServerArchive::Show(std::string_view uuid) {
    RunDetails d;
    const std::string id(uuid);
    auto run = link_->Query("SELECT " + kSummaryColumns +
                                ", r.content_sha256, r.file_sha256, r.program, r.reference_record "
                                "FROM run r WHERE r.uuid = $1::uuid",
                            {id});
    if (!run) {
        return run.error();
    }
    if (run->Count() == 0) {
        return Error{ErrorKind::NotFound, "no run " + id + " on the server"};
    }
    d.run = ReadSummary(*run, 0);
    constexpr int c = kSummaryColumnCount;
    d.contentSha256 = run->Text(0, c);
    d.fileSha256 = run->Text(0, c + 1);
    d.program = run->Text(0, c + 2);
    d.reference = RecordOf(run->Bytes(0, c + 3));
    auto records = link_->Query(
        "SELECT slot, pin_count, state, checksum_ok, connections, verdict, missing, extra FROM "
        "record WHERE run_uuid = $1::uuid ORDER BY slot",
        {id});
    if (!records) {
        return records.error();
    }
    for (int i = 0; i < records->Count(); ++i) {
        d.records.push_back({static_cast<int>(records->Int(i, 0)),
                             static_cast<int>(records->Int(i, 1)), records->Text(i, 2),
                             records->Text(i, 3) == "t", records->Text(i, 4), records->Text(i, 5),
                             records->Text(i, 6), records->Text(i, 7)});
    }
    auto amendments =
        link_->Query("SELECT uuid, " + Ms("made_at") +
                         ", station, author, field, old_value, new_value, why FROM "
                         "amendment WHERE run_uuid = $1::uuid ORDER BY made_at, station_seq, uuid",
                     {id});
    if (!amendments) {
        return amendments.error();
    }
    for (int i = 0; i < amendments->Count(); ++i) {
        const PgRows& a = *amendments;
        d.amendments.push_back({a.Text(i, 0), a.Int(i, 1), a.Text(i, 2), a.Text(i, 3), a.Text(i, 4),
                                a.Text(i, 5), a.Text(i, 6), a.Text(i, 7)});
    }
    return d;
}

Result<std::string> ServerArchive::ExportBytes(std::string_view uuid) {
    auto rows = link_->Query("SELECT block FROM run WHERE uuid = $1::uuid", {std::string(uuid)});
    if (!rows) {
        return rows.error();
    }
    if (rows->Count() == 0) {
        return Error{ErrorKind::NotFound, "no run " + std::string(uuid) + " on the server"};
    }
    return RecordFileOf(rows->Bytes(0, 0));
}

Result<ArchiveCounts> ServerArchive::Counts() {
    ArchiveCounts c;
    auto rows = link_->Query(
        "SELECT count(*) FILTER (WHERE NOT voided AND repeat_of IS NULL), count(*) FILTER "
        "(WHERE voided), count(*) FILTER (WHERE NOT voided AND repeat_of IS NOT NULL), "
        "coalesce(sum(record_count) FILTER (WHERE NOT voided AND repeat_of IS NULL), 0), "
        "(SELECT count(*) FROM amendment) FROM (SELECT r.repeat_of, r.record_count, " +
        Current("void", "'0'") + " = '1' AS voided FROM run r) v");
    if (!rows) {
        return rows.error();
    }
    c.runs = rows->Int(0, 0);
    c.voided = rows->Int(0, 1);
    c.repeats = rows->Int(0, 2);
    c.records = rows->Int(0, 3);
    c.amendments = rows->Int(0, 4);
    return c;
}

Result<std::vector<RunTally>> ServerArchive::CountedRuns(const RunQuery& query) {
    const Filter f = CountedFilter(query);
    auto rows = link_->Query(
        "SELECT r.uuid, " + Ms("r.started_at") + ", " + Ms("r.ended_at") + ", " +
            Current("lot", "r.lot") + ", " + Current("part", "r.part") + ", r.station, " +
            Current("operator", "r.operator") +
            ", r.record_count, r.empty_count, r.error_count, r.same_count, r.differs_count, "
            "r.reference_label, r.golden, r.majority_warning FROM run r" +
            f.where + " ORDER BY r.started_at, r.uuid",
        f.params);
    if (!rows) {
        return rows.error();
    }
    std::vector<RunTally> out;
    out.reserve(static_cast<std::size_t>(rows->Count()));
    const PgRows& q = *rows;
    for (int i = 0; i < q.Count(); ++i) {
        RunTally t;
        t.uuid = q.Text(i, 0);
        t.started = q.Int(i, 1);
        t.ended = q.Int(i, 2);
        t.lot = q.Text(i, 3);
        t.part = q.Text(i, 4);
        t.station = q.Text(i, 5);
        t.operatorName = q.Text(i, 6);
        t.records = static_cast<int>(q.Int(i, 7));
        t.empty = static_cast<int>(q.Int(i, 8));
        t.errors = static_cast<int>(q.Int(i, 9));
        t.same = q.IsNull(i, 10) ? -1 : static_cast<int>(q.Int(i, 10));
        t.differs = q.IsNull(i, 11) ? -1 : static_cast<int>(q.Int(i, 11));
        t.referenceLabel = q.Text(i, 12);
        t.goldenUuid = q.Text(i, 13);
        t.warning = q.Text(i, 14);
        out.push_back(std::move(t));
    }
    return out;
}

Result<std::vector<FailedRecord>> ServerArchive::FailedRecords(const RunQuery& query) {
    const Filter f = CountedFilter(query);
    // Only judged runs with a failure are joined to their records; the pin
    // count of the reference is its record's first byte.
    const std::string where = f.where.empty() ? " WHERE " : f.where + " AND ";
    auto rows = link_->Query(
        "SELECT r.uuid, " + Ms("r.started_at") +
            ", r.station, c.slot, c.pin_count, c.verdict, c.missing, c.extra, CASE WHEN "
            "c.verdict = 'pin-count' AND r.reference_record IS NOT NULL THEN "
            "get_byte(r.reference_record, 0) ELSE 0 END FROM run r JOIN record c ON c.run_uuid = "
            "r.uuid" +
            where +
            "r.same_count IS NOT NULL AND (r.differs_count > 0 OR r.error_count > 0) AND "
            "c.verdict IN ('differs', 'pin-count', 'error') ORDER BY r.started_at, r.uuid, "
            "c.slot",
        f.params);
    if (!rows) {
        return rows.error();
    }
    std::vector<FailedRecord> out;
    out.reserve(static_cast<std::size_t>(rows->Count()));
    const PgRows& q = *rows;
    for (int i = 0; i < q.Count(); ++i) {
        FailedRecord r;
        r.run = q.Text(i, 0);
        r.started = q.Int(i, 1);
        r.station = q.Text(i, 2);
        r.slot = static_cast<int>(q.Int(i, 3));
        r.pinCount = static_cast<int>(q.Int(i, 4));
        r.verdict = q.Text(i, 5);
        r.missing = q.Text(i, 6);
        r.extra = q.Text(i, 7);
        r.referencePins = static_cast<int>(q.Int(i, 8));
        out.push_back(std::move(r));
    }
    return out;
}

Result<std::vector<Golden>> ServerArchive::Goldens(std::string_view part) {
    auto rows = link_->Query("SELECT " + kGoldenColumns +
                                 " FROM golden g WHERE $1 = '' OR g.part = $1 ORDER BY "
                                 "g.made_at DESC, g.uuid DESC",
                             {std::string(part)});
    if (!rows) {
        return rows.error();
    }
    std::vector<Golden> out;
    const PgRows& q = *rows;
    for (int i = 0; i < q.Count(); ++i) {
        Golden g;
        g.uuid = q.Text(i, 0);
        g.part = q.Text(i, 1);
        g.made = q.Int(i, 2);
        g.station = q.Text(i, 3);
        g.author = q.Text(i, 4);
        g.source = q.Text(i, 5);
        g.note = q.Text(i, 6);
        if (const auto r = RecordOf(q.Bytes(i, 7))) {
            g.record = *r;
        }
        g.connections = q.Text(i, 8);
        g.supersededBy = q.Text(i, 9);
        out.push_back(std::move(g));
    }
    return out;
}

}  // namespace vark::archive
