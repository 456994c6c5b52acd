#include "archive/sqlite_archive.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "archive/migrations.h"
#include "archive/sha256.h"
#include "archive/uuid.h"
#include "platform/file_io.h"
#include "records/record_file.h"

namespace vark::archive {
namespace {

namespace fs = std::filesystem;

// Paths are UTF-8 throughout, as SQLite takes them.
fs::path PathOf(const std::string& utf8) {
#ifdef _WIN32
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return fs::path(utf8);
#endif
}

std::string Utf8Of(const fs::path& path) {
#ifdef _WIN32
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
#else
    return path.string();
#endif
}

// A prepared statement of the connection's cache, reset and unbound when the
// use ends, so that no read stays open while the connection writes.
class Query {
  public:
    explicit Query(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~Query() {
        if (stmt_ != nullptr) {
            sqlite3_reset(stmt_);
            sqlite3_clear_bindings(stmt_);
        }
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    explicit operator bool() const { return stmt_ != nullptr; }
    Query& Bind(int i, std::string_view text) {
        sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Query& Bind(int i, std::int64_t v) {
        sqlite3_bind_int64(stmt_, i, v);
        return *this;
    }
    Query& BindBlob(int i, const void* data, std::size_t size) {
        sqlite3_bind_blob(stmt_, i, data, static_cast<int>(size), SQLITE_TRANSIENT);
        return *this;
    }
    Query& BindNull(int i) {
        sqlite3_bind_null(stmt_, i);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return sqlite3_step(stmt_); }
    std::string Text(int col) const {
        const auto* p = sqlite3_column_text(stmt_, col);
        return p ? std::string(reinterpret_cast<const char*>(p),
                               static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col)))
                 : std::string();
    }
    std::string Blob(int col) const {
        const void* p = sqlite3_column_blob(stmt_, col);
        return p ? std::string(static_cast<const char*>(p),
                               static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col)))
                 : std::string();
    }
    std::int64_t Int(int col) const { return sqlite3_column_int64(stmt_, col); }
    bool IsNull(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }
    void Reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }

  private:
    sqlite3_stmt* stmt_;
};

// The current value of a field: its last amendment, else the run's own.
std::string Current(std::string_view field, std::string_view fallback) {
    return "COALESCE((SELECT a.new_value FROM amendment a WHERE a.run_id = r.id AND a.field = '" +
           std::string(field) + "' ORDER BY a.id DESC LIMIT 1), " + std::string(fallback) + ")";
}

const std::string kSummaryColumns =
    "r.uuid, r.started_ms, r.ended_ms, r.station, " + Current("operator", "r.operator") +
    ", r.source, r.port, r.tester_serial, r.file_name, " + Current("lot", "r.lot") + ", " +
    Current("part", "r.part") + ", " + Current("note", "r.note") + ", " + Current("void", "'0'") +
    ", (SELECT o.uuid FROM run o WHERE o.id = r.repeat_of), r.record_count, r.empty_count, "
    "r.error_count, r.same_count, r.differs_count, r.reference_label, "
    "(SELECT g.uuid FROM golden g WHERE g.id = r.golden_id), r.majority_warning";
constexpr int kSummaryColumnCount = 22;

RunSummary ReadSummary(const Query& q) {
    RunSummary s;
    s.uuid = q.Text(0);
    s.started = q.Int(1);
    s.ended = q.Int(2);
    s.station = q.Text(3);
    s.operatorName = q.Text(4);
    s.source = q.Text(5) == "import" ? Source::Import : Source::Upload;
    s.port = q.Text(6);
    s.testerSerial = q.Text(7);
    s.fileName = q.Text(8);
    s.lot = q.Text(9);
    s.part = q.Text(10);
    s.note = q.Text(11);
    s.voided = q.Text(12) == "1";
    s.repeatOf = q.Text(13);
    s.records = static_cast<int>(q.Int(14));
    s.empty = static_cast<int>(q.Int(15));
    s.errors = static_cast<int>(q.Int(16));
    s.same = q.IsNull(17) ? -1 : static_cast<int>(q.Int(17));
    s.differs = q.IsNull(18) ? -1 : static_cast<int>(q.Int(18));
    s.referenceLabel = q.Text(19);
    s.goldenUuid = q.Text(20);
    s.warning = q.Text(21);
    return s;
}

std::optional<TestRecord> RecordOf(const std::string& bytes) {
    if (bytes.size() != kRecordSize) {
        return std::nullopt;
    }
    TestRecord r;
    std::memcpy(r.bytes, bytes.data(), kRecordSize);
    return r;
}

// How a run names the golden reference it was compared with.
std::string GoldenLabel(const std::string& part, const std::string& author, TimeMs made) {
    return "golden reference of part " + part + " (set " +
           FormatTime(made, "%Y-%m-%dT%H:%M:%SZ", false) + " by " + author + ")";
}

// The WHERE clause of a query, with its values in binding order.
struct Filter {
    std::string where;
    std::vector<std::string> texts;
    std::vector<std::int64_t> times;
};

// `inStartOrder`: the rows are wanted newest (or oldest) first, a page at a
// time. The repeat term then stays off the index of counted runs, which the
// planner would otherwise take and then sort every run of the archive for
// one page, instead of walking the index of start times and stopping.
Filter BuildFilter(const RunQuery& query, bool inStartOrder = false) {
    Filter f;
    std::vector<std::string> terms;
    // Amendable fields: the runs that had the value, or were given it later,
    // narrowed to those whose current value it is.
    auto amendable = [&](std::string_view column, const std::string& value) {
        if (value.empty()) {
            return;
        }
        f.texts.push_back(value);
        const std::string p = "?" + std::to_string(f.texts.size());
        terms.push_back("r.id IN (SELECT id FROM run WHERE " + std::string(column) + " = " + p +
                        " UNION SELECT run_id FROM amendment WHERE field = '" +
                        std::string(column) + "' AND new_value = " + p + ") AND " +
                        Current(column, "r." + std::string(column)) + " = " + p);
    };
    auto plain = [&](std::string_view column, const std::string& value) {
        if (value.empty()) {
            return;
        }
        f.texts.push_back(value);
        terms.push_back("r." + std::string(column) + " = ?" + std::to_string(f.texts.size()));
    };
    amendable("lot", query.lot);
    amendable("part", query.part);
    amendable("operator", query.operatorName);
    plain("station", query.station);
    plain("tester_serial", query.testerSerial);
    if (!query.text.empty()) {
        // LIKE with the pattern's own characters escaped; it ignores the
        // case of ASCII letters.
        std::string pattern = "%";
        for (const char c : query.text) {
            if (c == '%' || c == '_' || c == '\\') {
                pattern += '\\';
            }
            pattern += c;
        }
        f.texts.push_back(pattern + "%");
        const std::string p = "?" + std::to_string(f.texts.size());
        std::string any;
        for (const std::string& column :
             {Current("lot", "r.lot"), Current("part", "r.part"), Current("operator", "r.operator"),
              Current("note", "r.note"), std::string("r.station"), std::string("r.tester_serial"),
              std::string("r.port"), std::string("r.file_name"), std::string("r.uuid")}) {
            any += (any.empty() ? "" : " OR ") + column + " LIKE " + p + " ESCAPE '\\'";
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
    // Times take the numbers from 21 on, after any texts.
    if (query.since) {
        f.times.push_back(*query.since);
        terms.push_back("r.started_ms >= ?" + std::to_string(20 + f.times.size()));
    }
    if (query.until) {
        f.times.push_back(*query.until);
        terms.push_back("r.started_ms < ?" + std::to_string(20 + f.times.size()));
    }
    if (!query.withVoided) {
        terms.push_back(Current("void", "'0'") + " = '0'");
    }
    if (!query.withRepeats) {
        terms.push_back(inStartOrder ? "+r.repeat_of IS NULL" : "r.repeat_of IS NULL");
    }
    for (std::size_t i = 0; i < terms.size(); ++i) {
        f.where += (i ? " AND " : " WHERE ") + terms[i];
    }
    return f;
}

void BindFilter(Query& q, const Filter& f) {
    for (std::size_t i = 0; i < f.texts.size(); ++i) {
        q.Bind(static_cast<int>(i + 1), f.texts[i]);
    }
    for (std::size_t i = 0; i < f.times.size(); ++i) {
        q.Bind(static_cast<int>(21 + i), f.times[i]);
    }
}

std::string RandomSuffix() {
    std::random_device device;
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string out;
    for (int i = 0; i < 6; ++i) {
        out += kChars[device() % 36];
    }
    return out;
}

}  // namespace

SqliteArchive::SqliteArchive(sqlite3* db, std::string path, OpenOptions options)
    : db_(db), path_(std::move(path)), options_(std::move(options)) {}

SqliteArchive::~SqliteArchive() {
    for (auto& [sql, stmt] : statements_) {
        sqlite3_finalize(stmt);
    }
    sqlite3_close_v2(db_);
}

Error SqliteArchive::Fail(int rc, std::string_view doing) const {
    const int primary = rc & 0xFF;
    const int sys = db_ != nullptr ? sqlite3_system_errno(db_) : 0;
    const std::string sysText = sys != 0 ? std::system_category().message(sys) : std::string();
    const std::string what = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    const std::string prefix = doing.empty() ? std::string() : std::string(doing) + ": ";
    switch (primary) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return {ErrorKind::Busy, prefix + "the archive " + path_ +
                                         " was held by another program for more than " +
                                         std::to_string(options_.busyTimeoutMs) + " ms"};
        case SQLITE_READONLY:
            return {ErrorKind::ReadOnly, prefix + "the archive " + path_ + " cannot be written (" +
                                             (sysText.empty() ? what : sysText) + ")"};
        case SQLITE_FULL:
            return {ErrorKind::Full, prefix + "the disk holding the archive " + path_ + " is full" +
                                         (sysText.empty() ? "" : " (" + sysText + ")")};
        case SQLITE_NOTADB:
            return {ErrorKind::NotArchive, prefix + path_ + " is not an archive (" + what + ")"};
        case SQLITE_CORRUPT:
            return {ErrorKind::Corrupt,
                    prefix + "the archive " + path_ + " is damaged (" + what + ")"};
        case SQLITE_IOERR: {
            // SQLite says ENOSPC as SQLITE_FULL; other failed writes (a file-size
            // limit, a quota, a failing disk) come as I/O errors whose errno
            // it does not keep. Little room left on the volume is a full disk.
            std::error_code ec;
            const auto room = std::filesystem::space(
                PathOf(path_).parent_path().empty() ? fs::path(".") : PathOf(path_).parent_path(),
                ec);
            if (!ec && room.available < (1u << 20)) {
                return {ErrorKind::Full,
                        prefix + "the disk holding the archive " + path_ + " is full"};
            }
            return {ErrorKind::Io, prefix + "the archive " + path_ + " could not be written (" +
                                       what + (sysText.empty() ? "" : ": " + sysText) + ")"};
        }
        default:
            return {ErrorKind::Io, prefix + "the archive " + path_ + ": " + what +
                                       (sysText.empty() ? "" : " (" + sysText + ")")};
    }
}

sqlite3_stmt* SqliteArchive::Statement(std::string_view sql, int& rc) {
    for (auto& [text, stmt] : statements_) {
        if (text == sql) {
            rc = SQLITE_OK;
            return stmt;
        }
    }
    sqlite3_stmt* stmt = nullptr;
    rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                            SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        return nullptr;
    }
    statements_.emplace_back(std::string(sql), stmt);
    return stmt;
}

template <class Bind, class Row>
Status SqliteArchive::EachRow(std::string_view sql, Bind&& bind, Row&& row) {
    int rc = SQLITE_OK;
    Query q(Statement(sql, rc));
    if (!q) {
        return Fail(rc, "");
    }
    bind(q);
    while ((rc = q.Step()) == SQLITE_ROW) {
        row(q);
    }
    if (rc != SQLITE_DONE) {
        return Fail(rc, "");
    }
    return Done{};
}

constexpr auto kNoBinding = [](Query&) {};

Result<std::unique_ptr<SqliteArchive>> SqliteArchive::Open(const std::string& path,
                                                           const OpenOptions& options) {
    std::error_code ec;
    const fs::path file = PathOf(path);
    const bool exists = fs::exists(file, ec);
    int flags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
    if (options.mode == OpenOptions::Mode::Read) {
        if (!exists) {
            return Error{ErrorKind::Missing, "there is no archive at " + path};
        }
        flags |= SQLITE_OPEN_READONLY;
    } else {
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        if (!exists && file.has_parent_path()) {
            fs::create_directories(file.parent_path(), ec);
            if (ec) {
                return Error{
                    ec == std::errc::permission_denied ? ErrorKind::ReadOnly : ErrorKind::Io,
                    "cannot make the archive's folder " + Utf8Of(file.parent_path()) + " (" +
                        ec.message() + ")"};
            }
        }
    }
    if (exists && fs::is_directory(file, ec)) {
        return Error{ErrorKind::NotArchive, path + " is a folder, not an archive"};
    }
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    std::unique_ptr<SqliteArchive> archive(new SqliteArchive(db, path, options));
    if (rc != SQLITE_OK) {
        if ((rc & 0xFF) == SQLITE_CANTOPEN) {
            const int sys = db ? sqlite3_system_errno(db) : 0;
            return Error{sys == EACCES ? ErrorKind::ReadOnly : ErrorKind::Io,
                         "cannot open the archive " + path +
                             (sys ? " (" + std::system_category().message(sys) + ")" : "")};
        }
        return archive->Fail(rc, "");
    }
    // Set before anything else touches the file, so that even the first
    // read waits for a writer rather than failing.
    sqlite3_busy_timeout(db, options.busyTimeoutMs);
    if (Status st = archive->Prepare(); !st) {
        return st.error();
    }
    return archive;
}

Status SqliteArchive::Prepare() {
    readOnly_ = sqlite3_db_readonly(db_, "main") == 1;
    int rc = sqlite3_exec(db_, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return Fail(rc, "");
    }
    // Reading the schema reads the file's header: a file that is not a
    // database, or is damaged there, is refused here before any write.
    bool hasVersionTable = false;
    int tables = 0;
    if (Status st = EachRow("SELECT name FROM sqlite_schema WHERE type = 'table'", kNoBinding,
                            [&](const Query& q) {
                                ++tables;
                                hasVersionTable = hasVersionTable || q.Text(0) == "schema_version";
                            });
        !st) {
        return st;
    }
    if (tables > 0 && !hasVersionTable) {
        return Error{ErrorKind::NotArchive,
                     path_ + " is a database of another program, not an archive"};
    }
    if (hasVersionTable) {
        Query q(Statement("SELECT max(version) FROM schema_version", rc));
        if (!q || (rc = q.Step()) != SQLITE_ROW) {
            return Fail(rc, "");
        }
        version_ = static_cast<int>(q.Int(0));
    }
    const int latest = LatestVersion(kEngine);
    if (version_ > latest) {
        return Error{ErrorKind::Newer, "the archive " + path_ +
                                           " was written by a newer version of the program "
                                           "(schema " +
                                           std::to_string(version_) + ", this one knows up to " +
                                           std::to_string(latest) + "); it is left untouched"};
    }
    if (options_.mode == OpenOptions::Mode::Read) {
        if (version_ == 0) {
            return Error{ErrorKind::Missing, "there is no archive in " + path_ + " yet"};
        }
        sqlite3_exec(db_, "PRAGMA query_only = 1", nullptr, nullptr, nullptr);
        return Done{};
    }
    if (readOnly_) {
        return Error{ErrorKind::ReadOnly, "the archive " + path_ +
                                              " cannot be written (the file is read-only to "
                                              "this user)"};
    }
    {
        Query q(Statement("PRAGMA journal_mode = WAL", rc));
        if (!q || (rc = q.Step()) != SQLITE_ROW) {
            return Fail(rc, "");
        }
    }
    rc = sqlite3_exec(db_,
                      options_.durable ? "PRAGMA synchronous = FULL" : "PRAGMA synchronous = OFF",
                      nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return Fail(rc, "");
    }
    if (version_ < latest) {
        return Migrate();
    }
    return Done{};
}

Status SqliteArchive::Migrate() {
    const int latest = LatestVersion(kEngine);
    if (version_ >= 1) {
        // A copy of the old archive first: a migration that goes wrong, or
        // a program that turns out wrong, must not cost the old data.
        const std::string backup = path_ + ".v" + std::to_string(version_) + "-" +
                                   FormatTime(NowMs(), "%Y%m%dT%H%M%SZ", false) + "-" +
                                   RandomSuffix() + ".backup";
        if (Status st = BackupTo(backup); !st) {
            return Error{st.error().kind,
                         "no copy could be taken before upgrading the archive, "
                         "so it was left as it is: " +
                             st.error().message};
        }
        migrationBackup_ = backup;
    }
    int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return Fail(rc, "");
    }
    auto rollback = [&](int code) {
        const Error e = Fail(code, "upgrading the archive failed");
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return e;
    };
    // Another program may have migrated while this one waited.
    int current = 0;
    {
        Query q(Statement("SELECT count(*) FROM sqlite_schema WHERE name = 'schema_version'", rc));
        if (!q || (rc = q.Step()) != SQLITE_ROW) {
            return rollback(rc);
        }
        if (q.Int(0) != 0) {
            Query v(Statement("SELECT max(version) FROM schema_version", rc));
            if (!v || (rc = v.Step()) != SQLITE_ROW) {
                return rollback(rc);
            }
            current = static_cast<int>(v.Int(0));
        }
    }
    for (const Migration& m : MigrationsFor(kEngine)) {
        if (m.version <= current) {
            continue;
        }
        const std::string sql(m.sql);
        rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            return rollback(rc);
        }
        Query q(
            Statement("INSERT INTO schema_version (version, applied_ms, program) "
                      "VALUES (?1, ?2, ?3)",
                      rc));
        if (!q) {
            return rollback(rc);
        }
        q.Bind(1, std::int64_t{m.version}).Bind(2, NowMs()).Bind(3, options_.program);
        if ((rc = q.Step()) != SQLITE_DONE) {
            return rollback(rc);
        }
    }
    rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return rollback(rc);
    }
    version_ = latest;
    return Done{};
}

Status SqliteArchive::BackupTo(const std::string& target) {
    std::error_code ec;
    const fs::path to = PathOf(target);
    if (fs::exists(to, ec) || fs::is_symlink(to, ec)) {
        return Error{ErrorKind::Invalid, target + " exists; a backup never replaces a file"};
    }
    const fs::path folder = to.has_parent_path() ? to.parent_path() : fs::path(".");
    const fs::path temp = folder / (std::string(platform::kTempFilePrefix) + RandomSuffix());
    const std::string tempName = Utf8Of(temp);
    sqlite3* dest = nullptr;
    int rc = sqlite3_open_v2(tempName.c_str(), &dest,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXRESCODE,
                             nullptr);
    auto cleanUp = [&] {
        sqlite3_close_v2(dest);
        std::error_code ignored;
        fs::remove(temp, ignored);
        fs::remove(PathOf(tempName + "-journal"), ignored);
    };
    std::string failure;
    ErrorKind kind = ErrorKind::Io;
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(dest, options_.busyTimeoutMs);
        sqlite3_exec(dest, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
        sqlite3_backup* b = sqlite3_backup_init(dest, "main", db_, "main");
        if (b == nullptr) {
            rc = sqlite3_errcode(dest);
        } else {
            rc = sqlite3_backup_step(b, -1);
            const int finish = sqlite3_backup_finish(b);
            if (rc == SQLITE_DONE) {
                rc = finish;
            }
        }
    }
    if (rc != SQLITE_OK) {
        const int sys = dest ? sqlite3_system_errno(dest) : 0;
        const int primary = rc & 0xFF;
        kind = primary == SQLITE_FULL                                     ? ErrorKind::Full
               : primary == SQLITE_BUSY                                   ? ErrorKind::Busy
               : primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY ? ErrorKind::ReadOnly
                                                                          : ErrorKind::Io;
#ifndef _WIN32
        if (sys == ENOSPC || sys == EFBIG) {
            kind = ErrorKind::Full;
        }
#endif
        failure = "cannot write the copy " + target + " (" +
                  (sys ? std::system_category().message(sys) : std::string(sqlite3_errstr(rc))) +
                  ")";
        cleanUp();
        return Error{kind, failure};
    }
    if (sqlite3_close(dest) != SQLITE_OK) {
        cleanUp();
        return Error{ErrorKind::Io, "cannot finish the copy " + target};
    }
    dest = nullptr;
    // A link fails when the name was taken meanwhile, where a rename would
    // replace what is there.
    fs::create_hard_link(temp, to, ec);
    if (ec == std::errc::file_exists) {
        cleanUp();
        return Error{ErrorKind::Invalid, target + " exists; a backup never replaces a file"};
    }
    if (ec) {
        ec.clear();
        fs::rename(temp, to, ec);
    }
    if (ec) {
        cleanUp();
        return Error{ErrorKind::Io, "cannot name the copy " + target + " (" + ec.message() + ")"};
    }
    fs::remove(temp, ec);
    return Done{};
}

Result<std::int64_t> SqliteArchive::RunId(std::string_view uuid) {
    int rc = SQLITE_OK;
    Query q(Statement("SELECT id FROM run WHERE uuid = ?1", rc));
    if (!q) {
        return Fail(rc, "");
    }
    q.Bind(1, uuid);
    rc = q.Step();
    if (rc == SQLITE_ROW) {
        return q.Int(0);
    }
    if (rc == SQLITE_DONE) {
        return Error{ErrorKind::NotFound, "no run " + std::string(uuid) + " in the archive"};
    }
    return Fail(rc, "");
}

Result<std::vector<RunSummary>> SqliteArchive::List(const RunQuery& query) {
    const Filter f = BuildFilter(query, query.sort == RunQuery::SortKey::Started);
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
    const std::string sql = "SELECT " + kSummaryColumns + " FROM run r" + f.where + " ORDER BY " +
                            (key.empty() ? "" : key + direction + ", ") + "r.started_ms" +
                            direction + ", r.id" + direction + " LIMIT ?30 OFFSET ?31";
    std::vector<RunSummary> out;
    const Status st = EachRow(
        sql,
        [&](Query& q) {
            BindFilter(q, f);
            q.Bind(30, std::int64_t{query.limit ? *query.limit : -1});
            q.Bind(31, std::int64_t{query.offset});
        },
        [&](const Query& q) { out.push_back(ReadSummary(q)); });
    if (!st) {
        return st.error();
    }
    return out;
}

Result<std::int64_t> SqliteArchive::CountRuns(const RunQuery& query) {
    const Filter f = BuildFilter(query);
    int rc = SQLITE_OK;
    Query q(Statement("SELECT count(*) FROM run r" + f.where, rc));
    if (!q) {
        return Fail(rc, "");
    }
    BindFilter(q, f);
    if ((rc = q.Step()) != SQLITE_ROW) {
        return Fail(rc, "");
    }
    return q.Int(0);
}

Result<std::string> SqliteArchive::Resolve(std::string_view name) {
    std::string prefix;
    for (const char c : name) {
        prefix += static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
    }
    if (prefix.empty() || prefix.find_first_not_of("0123456789abcdef-") != std::string::npos) {
        return Error{ErrorKind::NotFound, "no run " + std::string(name) + " in the archive"};
    }
    // A range on the unique index rather than LIKE, which would scan.
    std::vector<std::string> found;
    if (const Status st = EachRow(
            "SELECT uuid FROM run WHERE uuid >= ?1 AND uuid < ?1 || '~' ORDER BY uuid LIMIT 2",
            [&](Query& q) { q.Bind(1, prefix); },
            [&](const Query& q) { found.push_back(q.Text(0)); });
        !st) {
        return st.error();
    }
    if (found.empty()) {
        return Error{ErrorKind::NotFound, "no run " + std::string(name) + " in the archive"};
    }
    if (found.size() > 1) {
        return Error{ErrorKind::Ambiguous,
                     std::string(name) + " names more than one run; give more of its UUID"};
    }
    return found.front();
}

Result<RunDetails> SqliteArchive::Show(std::string_view uuid) {
    RunDetails d;
    int rc = SQLITE_OK;
    std::int64_t id = 0;
    {
        Query q(Statement("SELECT " + kSummaryColumns +
                              ", r.content_sha256, r.file_sha256, r.program, r.reference_record, "
                              "r.id FROM run r WHERE r.uuid = ?1",
                          rc));
        if (!q) {
            return Fail(rc, "");
        }
        q.Bind(1, uuid);
        rc = q.Step();
        if (rc == SQLITE_DONE) {
            return Error{ErrorKind::NotFound, "no run " + std::string(uuid) + " in the archive"};
        }
        if (rc != SQLITE_ROW) {
            return Fail(rc, "");
        }
        d.run = ReadSummary(q);
        constexpr int c = kSummaryColumnCount;
        d.contentSha256 = q.Text(c);
        d.fileSha256 = q.Text(c + 1);
        d.program = q.Text(c + 2);
        d.reference = RecordOf(q.Blob(c + 3));
        id = q.Int(c + 4);
    }
    const auto byRun = [id](Query& q) { q.Bind(1, id); };
    Status st = EachRow(
        "SELECT slot, pin_count, state, checksum_ok, connections, verdict, missing, extra FROM "
        "record WHERE run_id = ?1 ORDER BY slot",
        byRun, [&](const Query& q) {
            d.records.push_back({static_cast<int>(q.Int(0)), static_cast<int>(q.Int(1)), q.Text(2),
                                 q.Int(3) != 0, q.Text(4), q.Text(5), q.Text(6), q.Text(7)});
        });
    if (st) {
        st = EachRow(
            "SELECT uuid, made_ms, station, author, field, old_value, new_value, why FROM "
            "amendment WHERE run_id = ?1 ORDER BY id",
            byRun, [&](const Query& q) {
                d.amendments.push_back({q.Text(0), q.Int(1), q.Text(2), q.Text(3), q.Text(4),
                                        q.Text(5), q.Text(6), q.Text(7)});
            });
    }
    if (!st) {
        return st.error();
    }
    return d;
}

Result<std::string> SqliteArchive::ExportBytes(std::string_view uuid) {
    int rc = SQLITE_OK;
    Query q(Statement(
        "SELECT b.block FROM run r JOIN run_block b ON b.run_id = r.id WHERE r.uuid = ?1", rc));
    if (!q) {
        return Fail(rc, "");
    }
    q.Bind(1, uuid);
    rc = q.Step();
    if (rc == SQLITE_DONE) {
        return Error{ErrorKind::NotFound, "no run " + std::string(uuid) + " in the archive"};
    }
    if (rc != SQLITE_ROW) {
        return Fail(rc, "");
    }
    return RecordFileOf(q.Blob(0));
}

Result<ArchiveCounts> SqliteArchive::Counts() {
    // All runs from an index alone; then the few that amendments voided,
    // taken away again.
    ArchiveCounts c;
    std::int64_t repeats = 0;
    Status st = EachRow(
        "SELECT repeat_of IS NOT NULL, count(*), coalesce(sum(record_count), 0) FROM run "
        "GROUP BY 1",
        kNoBinding, [&](const Query& q) {
            if (q.Int(0) != 0) {
                repeats = q.Int(1);
            } else {
                c.runs = q.Int(1);
                c.records = q.Int(2);
            }
        });
    if (st) {
        st = EachRow(
            "SELECT r.repeat_of IS NOT NULL, r.record_count FROM run r WHERE r.id IN "
            "(SELECT run_id FROM amendment WHERE field = 'void') AND " +
                Current("void", "'0'") + " = '1'",
            kNoBinding, [&](const Query& q) {
                ++c.voided;
                if (q.Int(0) != 0) {
                    --repeats;
                } else {
                    --c.runs;
                    c.records -= q.Int(1);
                }
            });
    }
    if (st) {
        st = EachRow("SELECT count(*) FROM amendment", kNoBinding,
                     [&](const Query& q) { c.amendments = q.Int(0); });
    }
    if (!st) {
        return st.error();
    }
    c.repeats = repeats;
    return c;
}

Result<Committed> SqliteArchive::Commit(const NewRun& run) {
    const std::string content = RecordFileBytes(run.block);
    const std::string sha = ToHex(Sha256Of(content));

    int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return Fail(rc, "");
    }
    auto rollback = [&](int code) {
        const Error e = Fail(code, "");
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return e;
    };
    Committed out;
    std::int64_t repeatOf = 0;
    {
        Query q(Statement(run.source == Source::Import
                              ? "SELECT id, uuid FROM run WHERE content_sha256 = ?1 AND "
                                "repeat_of IS NULL ORDER BY id LIMIT 1"
                              : "SELECT id, uuid FROM run WHERE content_sha256 = ?1 AND "
                                "source = 'upload' AND tester_serial = ?2 AND repeat_of IS NULL "
                                "ORDER BY id LIMIT 1",
                          rc));
        if (!q) {
            return rollback(rc);
        }
        q.Bind(1, sha);
        if (run.source == Source::Upload) {
            q.Bind(2, run.testerSerial);
        }
        rc = q.Step();
        if (rc == SQLITE_ROW) {
            repeatOf = q.Int(0);
            out.repeatOf = q.Text(1);
        } else if (rc != SQLITE_DONE) {
            return rollback(rc);
        }
    }
    if (run.source == Source::Import && repeatOf != 0) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        out.uuid = out.repeatOf;
        out.repeatOf.clear();
        out.alreadyArchived = true;
        return out;
    }
    // The reference: the run's own, else its part's golden reference as it
    // is now, read inside the transaction that archives the verdicts.
    std::optional<TestRecord> reference = run.reference;
    out.referenceLabel = run.referenceLabel;
    std::int64_t goldenId = 0;
    if (!reference && !run.part.empty()) {
        Query q(
            Statement("SELECT id, uuid, record, author, made_ms FROM golden WHERE part = ?1 "
                      "ORDER BY id DESC LIMIT 1",
                      rc));
        if (!q) {
            return rollback(rc);
        }
        q.Bind(1, run.part);
        rc = q.Step();
        if (rc == SQLITE_ROW) {
            reference = RecordOf(q.Blob(2));
            goldenId = q.Int(0);
            out.goldenUuid = q.Text(1);
            out.referenceLabel = GoldenLabel(run.part, q.Text(3), q.Int(4));
        } else if (rc != SQLITE_DONE) {
            return rollback(rc);
        }
    }
    const std::vector<RecordRow> rows = BuildRecordRows(run.block, reference);
    int empties = 0;
    int errors = 0;
    int same = 0;
    int differs = 0;
    for (const RecordRow& r : rows) {
        empties += r.state == "empty";
        errors += r.state == "error";
        same += r.verdict == "same";
        differs += r.verdict == "differs" || r.verdict == "pin-count";
    }
    if (reference) {
        const Wiring wiring = ReadWiring(*reference);
        out.comparison = CompareBlock(run.block, wiring);
        out.warning = MajorityWarning(run.block, GroupBlock(run.block), wiring);
    }
    const TimeMs now = NowMs();
    out.uuid = NewUuid(now);
    std::int64_t id = 0;
    {
        Query q(Statement(
            "INSERT INTO run (uuid, started_ms, ended_ms, station, operator, source, port, "
            "tester_serial, file_name, file_sha256, lot, part, note, program, reference_label, "
            "reference_record, content_sha256, repeat_of, record_count, empty_count, "
            "error_count, same_count, differs_count, golden_id, majority_warning) VALUES (?1, "
            "?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?18, ?19, ?20, "
            "?21, ?22, ?23, ?24, ?25, ?26)",
            rc));
        if (!q) {
            return rollback(rc);
        }
        const TimeMs started = run.started != 0 ? run.started : now;
        q.Bind(1, out.uuid).Bind(2, started).Bind(3, std::max(run.ended, started));
        q.Bind(4, run.station).Bind(5, run.operatorName).Bind(6, SourceName(run.source));
        q.Bind(7, run.port)
            .Bind(8, run.testerSerial)
            .Bind(9, run.fileName)
            .Bind(10, run.fileSha256);
        q.Bind(11, run.lot).Bind(12, run.part).Bind(13, run.note).Bind(14, run.program);
        q.Bind(15, out.referenceLabel);
        if (reference) {
            q.BindBlob(16, reference->bytes, kRecordSize);
        } else {
            q.BindNull(16);
        }
        q.Bind(18, sha);
        if (repeatOf != 0) {
            q.Bind(19, repeatOf);
        } else {
            q.BindNull(19);
        }
        q.Bind(20, static_cast<std::int64_t>(rows.size())).Bind(21, std::int64_t{empties});
        q.Bind(22, std::int64_t{errors});
        if (reference) {
            q.Bind(23, std::int64_t{same}).Bind(24, std::int64_t{differs});
        } else {
            q.BindNull(23).BindNull(24);
        }
        if (goldenId != 0) {
            q.Bind(25, goldenId);
        } else {
            q.BindNull(25);
        }
        q.Bind(26, out.warning);
        if ((rc = q.Step()) != SQLITE_DONE) {
            return rollback(rc);
        }
        id = sqlite3_last_insert_rowid(db_);
    }
    if ((rc = Queue("run", out.uuid, now)) != SQLITE_DONE) {
        return rollback(rc);
    }
    {
        Query q(Statement("INSERT INTO run_block (run_id, record_count, block) VALUES (?1, ?2, ?3)",
                          rc));
        if (!q) {
            return rollback(rc);
        }
        q.Bind(1, id).Bind(2, static_cast<std::int64_t>(rows.size()));
        q.BindBlob(3, content.data() + kRecordHeaderSize, content.size() - kRecordHeaderSize);
        if ((rc = q.Step()) != SQLITE_DONE) {
            return rollback(rc);
        }
    }
    {
        Query q(
            Statement("INSERT INTO record (run_id, slot, pin_count, state, checksum_ok, "
                      "connections, verdict, missing, extra) VALUES (?1, ?2, ?3, ?4, ?5, ?6, "
                      "?7, ?8, ?9)",
                      rc));
        if (!q) {
            return rollback(rc);
        }
        for (const RecordRow& r : rows) {
            q.Bind(1, id).Bind(2, std::int64_t{r.slot}).Bind(3, std::int64_t{r.pinCount});
            q.Bind(4, r.state).Bind(5, std::int64_t{r.checksumOk}).Bind(6, r.connections);
            if (r.verdict.empty()) {
                q.BindNull(7);
            } else {
                q.Bind(7, r.verdict);
            }
            q.Bind(8, r.missing).Bind(9, r.extra);
            if ((rc = q.Step()) != SQLITE_DONE) {
                return rollback(rc);
            }
            q.Reset();
        }
    }
    if (beforeCommit_) {
        beforeCommit_();
    }
    rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return rollback(rc);
    }
    return out;
}

Result<std::vector<Amendment>> SqliteArchive::Amend(std::string_view uuid,
                                                    const std::vector<Change>& changes,
                                                    const std::string& why,
                                                    const std::string& author,
                                                    const std::string& station) {
    if (changes.empty()) {
        return Error{ErrorKind::Invalid, "nothing to amend"};
    }
    for (const auto& [field, value] : changes) {
        if (!IsAmendableField(field)) {
            return Error{ErrorKind::Invalid, "\"" + field + "\" cannot be amended"};
        }
        if (field == "void" && value != "0" && value != "1") {
            return Error{ErrorKind::Invalid, "a run is voided (1) or not (0)"};
        }
    }
    if (why.find_first_not_of(" \t\r\n") == std::string::npos) {
        return Error{ErrorKind::Invalid, "an amendment needs a reason"};
    }
    int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return Fail(rc, "");
    }
    auto rollback = [&](Error e) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return e;
    };
    const auto id = RunId(uuid);
    if (!id) {
        return rollback(id.error());
    }
    std::vector<Amendment> made;
    for (const auto& [field, value] : changes) {
        std::string old;
        {
            const std::string column = field == "void" ? "'0'" : "r." + field;
            Query q(
                Statement("SELECT " + Current(field, column) + " FROM run r WHERE r.id = ?1", rc));
            if (!q) {
                return rollback(Fail(rc, ""));
            }
            q.Bind(1, *id);
            if ((rc = q.Step()) != SQLITE_ROW) {
                return rollback(Fail(rc, ""));
            }
            old = q.Text(0);
        }
        if (old == value) {
            return rollback(
                Error{ErrorKind::Invalid,
                      field == "void"
                          ? (old == "1" ? "the run is voided already" : "the run is not voided")
                          : "the " + field + " is \"" + old + "\" already"});
        }
        const TimeMs now = NowMs();
        Amendment a{NewUuid(now), now, station, author, field, old, value, why};
        Query q(
            Statement("INSERT INTO amendment (uuid, run_id, made_ms, station, author, field, "
                      "old_value, new_value, why) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
                      rc));
        if (!q) {
            return rollback(Fail(rc, ""));
        }
        q.Bind(1, a.uuid).Bind(2, *id).Bind(3, a.made).Bind(4, a.station).Bind(5, a.author);
        q.Bind(6, a.field).Bind(7, a.oldValue).Bind(8, a.newValue).Bind(9, a.why);
        if ((rc = q.Step()) != SQLITE_DONE ||
            (rc = Queue("amendment", a.uuid, now)) != SQLITE_DONE) {
            return rollback(Fail(rc, ""));
        }
        made.push_back(std::move(a));
    }
    rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return rollback(Fail(rc, ""));
    }
    return made;
}

Result<CheckReport> SqliteArchive::Check() {
    CheckReport report;
    report.schemaVersion = version_;
    auto& problems = report.problems;
    Status st = EachRow("PRAGMA integrity_check(20)", kNoBinding, [&](const Query& q) {
        if (q.Text(0) != "ok") {
            problems.push_back(q.Text(0));
        }
    });
    if (st) {
        st = EachRow("PRAGMA foreign_key_check", kNoBinding, [&](const Query& q) {
            problems.push_back("row " + q.Text(1) + " of " + q.Text(0) +
                               " refers to a missing row of " + q.Text(2));
        });
    }
    if (st) {
        // Every run whole: as many records as its count, its bytes matching
        // its count and its fingerprint.
        st = EachRow(
            "SELECT r.uuid, r.record_count, (SELECT count(*) FROM record c WHERE c.run_id = "
            "r.id), b.block, r.content_sha256, b.record_count FROM run r LEFT JOIN run_block b "
            "ON b.run_id = r.id ORDER BY r.id",
            kNoBinding, [&](const Query& q) {
                const std::string run = "run " + q.Text(0);
                const std::int64_t count = q.Int(1);
                if (q.Int(2) != count) {
                    problems.push_back(run + " has " + std::to_string(q.Int(2)) + " of its " +
                                       std::to_string(count) + " records");
                }
                const std::string block = q.Blob(3);
                if (block.empty() || static_cast<unsigned char>(block[0]) != count ||
                    q.Int(5) != count ||
                    block.size() != 1 + kRecordSize * static_cast<std::size_t>(count)) {
                    problems.push_back(run + ": its bytes do not match its records");
                } else if (ToHex(Sha256Of(RecordFileOf(block))) != q.Text(4)) {
                    problems.push_back(run + ": its bytes differ from its fingerprint");
                }
            });
    }
    if (!st) {
        return st.error();
    }
    auto counts = Counts();
    if (!counts) {
        return counts.error();
    }
    report.counts = *counts;
    return report;
}

namespace {

const std::string kGoldenColumns =
    "g.uuid, g.part, g.made_ms, g.station, g.author, g.source, g.note, g.record, g.connections, "
    "(SELECT n.uuid FROM golden n WHERE n.part = g.part AND n.id > g.id ORDER BY n.id LIMIT 1)";

Golden ReadGolden(const Query& q) {
    Golden g;
    g.uuid = q.Text(0);
    g.part = q.Text(1);
    g.made = q.Int(2);
    g.station = q.Text(3);
    g.author = q.Text(4);
    g.source = q.Text(5);
    g.note = q.Text(6);
    if (const auto r = RecordOf(q.Blob(7))) {
        g.record = *r;
    }
    g.connections = q.Text(8);
    g.supersededBy = q.Text(9);
    return g;
}

// The filter of the runs that count, whatever the query says about voided
// runs and repeats; its WHERE clause always has a term.
Filter CountedFilter(const RunQuery& query) {
    RunQuery counted = query;
    counted.withVoided = false;
    counted.withRepeats = false;
    return BuildFilter(counted);
}

}  // namespace

Result<std::vector<Golden>> SqliteArchive::Goldens(std::string_view part) {
    std::vector<Golden> out;
    const Status st = EachRow(
        "SELECT " + kGoldenColumns +
            " FROM golden g WHERE ?1 = '' OR g.part = ?1 ORDER BY g.id DESC",
        [&](Query& q) { q.Bind(1, part); }, [&](const Query& q) { out.push_back(ReadGolden(q)); });
    if (!st) {
        return st.error();
    }
    return out;
}

Result<std::optional<Golden>> SqliteArchive::CurrentGolden(std::string_view part) {
    std::optional<Golden> out;
    const Status st = EachRow(
        "SELECT " + kGoldenColumns + " FROM golden g WHERE g.part = ?1 ORDER BY g.id DESC LIMIT 1",
        [&](Query& q) { q.Bind(1, part); }, [&](const Query& q) { out = ReadGolden(q); });
    if (!st) {
        return st.error();
    }
    return out;
}

Result<Golden> SqliteArchive::SetGolden(const NewGolden& golden) {
    if (golden.part.empty()) {
        return Error{ErrorKind::Invalid, "a golden reference needs a part number"};
    }
    if (const std::string problem = ReferenceProblem(golden.record, "The record");
        !problem.empty()) {
        return Error{ErrorKind::Invalid, problem};
    }
    int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return Fail(rc, "");
    }
    auto rollback = [&](Error e) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return e;
    };
    const auto current = CurrentGolden(golden.part);
    if (!current) {
        return rollback(current.error());
    }
    if (*current && SameWiring((*current)->record, golden.record)) {
        const Golden& c = **current;
        return rollback(Error{ErrorKind::Invalid, "the golden reference of part " + golden.part +
                                                      " is wired like that already (set " +
                                                      FormatTime(c.made, "%Y-%m-%d %H:%M", true) +
                                                      " by " + c.author + ")"});
    }
    Golden made;
    const TimeMs now = NowMs();
    made.made = golden.made != 0 ? golden.made : now;
    made.uuid = NewUuid(now);
    made.part = golden.part;
    made.station = golden.station;
    made.author = golden.author;
    made.source = golden.source;
    made.note = golden.note;
    made.record = golden.record;
    made.connections = ConnectionWords(golden.record);
    {
        Query q(
            Statement("INSERT INTO golden (uuid, part, made_ms, station, author, source, note, "
                      "pin_count, connections, record) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, "
                      "?9, ?10)",
                      rc));
        if (!q) {
            return rollback(Fail(rc, ""));
        }
        q.Bind(1, made.uuid).Bind(2, made.part).Bind(3, made.made).Bind(4, made.station);
        q.Bind(5, made.author).Bind(6, made.source).Bind(7, made.note);
        q.Bind(8, std::int64_t{made.record.PinCount()}).Bind(9, made.connections);
        q.BindBlob(10, made.record.bytes, kRecordSize);
        if ((rc = q.Step()) != SQLITE_DONE ||
            (rc = Queue("golden", made.uuid, made.made)) != SQLITE_DONE) {
            return rollback(Fail(rc, ""));
        }
    }
    rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return rollback(Fail(rc, ""));
    }
    return made;
}

Result<std::vector<RunTally>> SqliteArchive::CountedRuns(const RunQuery& query) {
    const Filter f = CountedFilter(query);
    std::vector<RunTally> out;
    const Status st = EachRow(
        "SELECT r.uuid, r.started_ms, r.ended_ms, " + Current("lot", "r.lot") + ", " +
            Current("part", "r.part") + ", r.station, " + Current("operator", "r.operator") +
            ", r.record_count, r.empty_count, r.error_count, r.same_count, r.differs_count, "
            "r.reference_label, (SELECT g.uuid FROM golden g WHERE g.id = r.golden_id), "
            "r.majority_warning FROM run r" +
            f.where + " ORDER BY r.started_ms, r.id",
        [&](Query& q) { BindFilter(q, f); },
        [&](const Query& q) {
            RunTally t;
            t.uuid = q.Text(0);
            t.started = q.Int(1);
            t.ended = q.Int(2);
            t.lot = q.Text(3);
            t.part = q.Text(4);
            t.station = q.Text(5);
            t.operatorName = q.Text(6);
            t.records = static_cast<int>(q.Int(7));
            t.empty = static_cast<int>(q.Int(8));
            t.errors = static_cast<int>(q.Int(9));
            t.same = q.IsNull(10) ? -1 : static_cast<int>(q.Int(10));
            t.differs = q.IsNull(11) ? -1 : static_cast<int>(q.Int(11));
            t.referenceLabel = q.Text(12);
            t.goldenUuid = q.Text(13);
            t.warning = q.Text(14);
            out.push_back(std::move(t));
        });
    if (!st) {
        return st.error();
    }
    return out;
}

Result<std::vector<FailedRecord>> SqliteArchive::FailedRecords(const RunQuery& query) {
    const Filter f = CountedFilter(query);
    std::vector<FailedRecord> out;
    // The verdict test is the partial index's own, so that only the failing
    // records are read; the reference's pin count only where it is said.
    // Runs of one start are in the order of their UUIDs, which is the order
    // they were made in.
    const Status st = EachRow(
        "SELECT r.uuid, r.started_ms, r.station, c.slot, c.pin_count, c.verdict, c.missing, "
        "c.extra, CASE WHEN c.verdict = 'pin-count' THEN hex(substr(r.reference_record, 1, 1)) "
        "END FROM run r JOIN record c ON c.run_id = r.id" +
            f.where +
            " AND r.same_count IS NOT NULL AND (r.differs_count > 0 OR r.error_count > 0) AND "
            "(c.verdict = 'differs' OR c.verdict = 'pin-count' OR c.verdict = 'error')",
        [&](Query& q) { BindFilter(q, f); },
        [&](const Query& q) {
            FailedRecord r;
            r.run = q.Text(0);
            r.started = q.Int(1);
            r.station = q.Text(2);
            r.slot = static_cast<int>(q.Int(3));
            r.pinCount = static_cast<int>(q.Int(4));
            r.verdict = q.Text(5);
            r.missing = q.Text(6);
            r.extra = q.Text(7);
            r.referencePins = static_cast<int>(std::strtol(q.Text(8).c_str(), nullptr, 16));
            out.push_back(std::move(r));
        });
    if (!st) {
        return st.error();
    }
    // Ordered here rather than by SQLite, which would sort the rows it found
    // through the runs' own index.
    std::sort(out.begin(), out.end(), [](const FailedRecord& a, const FailedRecord& b) {
        return a.started != b.started ? a.started < b.started
               : a.run != b.run       ? a.run < b.run
                                      : a.slot < b.slot;
    });
    return out;
}

int SqliteArchive::Queue(std::string_view kind, std::string_view uuid, TimeMs when) {
    int rc = SQLITE_OK;
    Query q(Statement("INSERT INTO outbox (kind, item_uuid, queued_ms) VALUES (?1, ?2, ?3)", rc));
    if (!q) {
        return rc;
    }
    q.Bind(1, kind).Bind(2, uuid).Bind(3, when);
    return q.Step();
}

Result<StoredRun> SqliteArchive::ReadStoredRun(std::string_view uuid) {
    StoredRun r;
    int rc = SQLITE_OK;
    std::int64_t id = 0;
    {
        Query q(Statement(
            "SELECT r.id, r.uuid, r.started_ms, r.ended_ms, r.station, r.operator, r.source, "
            "r.port, r.tester_serial, r.file_name, r.file_sha256, r.lot, r.part, r.note, "
            "r.program, r.reference_label, r.reference_record, r.content_sha256, "
            "(SELECT o.uuid FROM run o WHERE o.id = r.repeat_of), r.record_count, r.empty_count, "
            "r.error_count, r.same_count, r.differs_count, (SELECT g.uuid FROM golden g WHERE "
            "g.id = r.golden_id), r.majority_warning, b.block FROM run r JOIN run_block b ON "
            "b.run_id = r.id WHERE r.uuid = ?1",
            rc));
        if (!q) {
            return Fail(rc, "");
        }
        q.Bind(1, uuid);
        rc = q.Step();
        if (rc == SQLITE_DONE) {
            return Error{ErrorKind::NotFound, "no run " + std::string(uuid) + " in the archive"};
        }
        if (rc != SQLITE_ROW) {
            return Fail(rc, "");
        }
        id = q.Int(0);
        r.uuid = q.Text(1);
        r.started = q.Int(2);
        r.ended = q.Int(3);
        r.station = q.Text(4);
        r.operatorName = q.Text(5);
        r.source = q.Text(6);
        r.port = q.Text(7);
        r.testerSerial = q.Text(8);
        r.fileName = q.Text(9);
        r.fileSha256 = q.Text(10);
        r.lot = q.Text(11);
        r.part = q.Text(12);
        r.note = q.Text(13);
        r.program = q.Text(14);
        r.referenceLabel = q.Text(15);
        r.referenceRecord = q.Blob(16);
        r.contentSha256 = q.Text(17);
        r.repeatOf = q.Text(18);
        r.recordCount = static_cast<int>(q.Int(19));
        r.emptyCount = static_cast<int>(q.Int(20));
        r.errorCount = static_cast<int>(q.Int(21));
        r.same = q.IsNull(22) ? -1 : static_cast<int>(q.Int(22));
        r.differs = q.IsNull(23) ? -1 : static_cast<int>(q.Int(23));
        r.goldenUuid = q.Text(24);
        r.warning = q.Text(25);
        r.block = q.Blob(26);
    }
    const Status st = EachRow(
        "SELECT slot, pin_count, state, checksum_ok, connections, verdict, missing, extra FROM "
        "record WHERE run_id = ?1 ORDER BY slot",
        [id](Query& q) { q.Bind(1, id); },
        [&](const Query& q) {
            r.records.push_back({static_cast<int>(q.Int(0)), static_cast<int>(q.Int(1)), q.Text(2),
                                 q.Int(3) != 0, q.Text(4), q.Text(5), q.Text(6), q.Text(7)});
        });
    if (!st) {
        return st.error();
    }
    return r;
}

Result<std::vector<OutboxEntry>> SqliteArchive::PendingOutbox(int limit, std::int64_t afterId) {
    std::vector<OutboxEntry> out;
    // One read transaction: the entries and their items as of one moment.
    int rc = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return Fail(rc, "");
    }
    auto end = [&](Error e) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return e;
    };
    Status st = EachRow(
        "SELECT o.id, o.kind, o.item_uuid FROM outbox o WHERE NOT EXISTS (SELECT 1 FROM "
        "outbox_done d WHERE d.outbox_id = o.id) AND o.id > ?2 ORDER BY o.id LIMIT ?1",
        [&](Query& q) { q.Bind(1, std::int64_t{limit}).Bind(2, afterId); },
        [&](const Query& q) {
            OutboxEntry e;
            e.id = q.Int(0);
            e.kind = q.Text(1);
            e.uuid = q.Text(2);
            out.push_back(std::move(e));
        });
    if (!st) {
        return end(st.error());
    }
    for (OutboxEntry& e : out) {
        if (e.kind == "run") {
            auto run = ReadStoredRun(e.uuid);
            if (!run) {
                return end(run.error());
            }
            e.run = std::move(*run);
        } else if (e.kind == "amendment") {
            st = EachRow(
                "SELECT a.uuid, a.made_ms, a.station, a.author, a.field, a.old_value, "
                "a.new_value, a.why, r.uuid, a.id FROM amendment a JOIN run r ON r.id = "
                "a.run_id WHERE a.uuid = ?1",
                [&](Query& q) { q.Bind(1, e.uuid); },
                [&](const Query& q) {
                    e.amendment = Amendment{q.Text(0), q.Int(1),  q.Text(2), q.Text(3),
                                            q.Text(4), q.Text(5), q.Text(6), q.Text(7)};
                    e.amendedRun = q.Text(8);
                    e.amendmentSeq = q.Int(9);
                });
        } else {
            st = EachRow(
                "SELECT " + kGoldenColumns + " FROM golden g WHERE g.uuid = ?1",
                [&](Query& q) { q.Bind(1, e.uuid); },
                [&](const Query& q) { e.golden = ReadGolden(q); });
        }
        if (!st) {
            return end(st.error());
        }
        if (!e.run && !e.amendment && !e.golden) {
            return end(Error{ErrorKind::Corrupt, "the outbox names " + e.kind + " " + e.uuid +
                                                     ", which the archive does not hold"});
        }
    }
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    return out;
}

Status SqliteArchive::MarkForwarded(const std::vector<OutboxMark>& marks, TimeMs when) {
    int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return Fail(rc, "");
    }
    auto rollback = [&](int code) {
        const Error e = Fail(code, "marking what the server holds");
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return e;
    };
    {
        // Marked already (another forwarder sent it too): the first mark stays.
        Query q(Statement(
            "INSERT OR IGNORE INTO outbox_done (outbox_id, done_ms, outcome) VALUES (?1, ?2, ?3)",
            rc));
        if (!q) {
            return rollback(rc);
        }
        for (const OutboxMark& m : marks) {
            q.Bind(1, m.id).Bind(2, when).Bind(3, m.conflict ? "conflict" : "sent");
            if ((rc = q.Step()) != SQLITE_DONE) {
                return rollback(rc);
            }
            q.Reset();
        }
    }
    {
        Query q(
            Statement("INSERT INTO forward_try (tried_ms, sent, error) VALUES (?1, ?2, '')", rc));
        if (!q) {
            return rollback(rc);
        }
        q.Bind(1, when).Bind(2, static_cast<std::int64_t>(marks.size()));
        if ((rc = q.Step()) != SQLITE_DONE) {
            return rollback(rc);
        }
    }
    rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return rollback(rc);
    }
    return Done{};
}

Status SqliteArchive::NoteForwardTry(TimeMs when, const std::string& error) {
    int rc = SQLITE_OK;
    Query q(Statement("INSERT INTO forward_try (tried_ms, sent, error) VALUES (?1, 0, ?2)", rc));
    if (!q) {
        return Fail(rc, "");
    }
    q.Bind(1, when).Bind(2, error);
    if ((rc = q.Step()) != SQLITE_DONE) {
        return Fail(rc, "noting the try to reach the server");
    }
    return Done{};
}

Result<OutboxState> SqliteArchive::Outbox() {
    OutboxState s;
    Status st = EachRow(
        "SELECT o.kind, count(*) FROM outbox o WHERE NOT EXISTS (SELECT 1 FROM outbox_done d "
        "WHERE d.outbox_id = o.id) GROUP BY o.kind",
        kNoBinding, [&](const Query& q) {
            const std::string kind = q.Text(0);
            (kind == "run" ? s.runs : kind == "amendment" ? s.amendments : s.goldens) = q.Int(1);
        });
    if (st) {
        st = EachRow(
            "SELECT o.item_uuid FROM outbox_done d JOIN outbox o ON o.id = d.outbox_id WHERE "
            "d.outcome = 'conflict' AND o.kind = 'run' ORDER BY o.id",
            kNoBinding, [&](const Query& q) { s.conflictRuns.push_back(q.Text(0)); });
        s.conflicts = static_cast<std::int64_t>(s.conflictRuns.size());
    }
    if (st) {
        st = EachRow("SELECT tried_ms, error FROM forward_try ORDER BY id DESC LIMIT 1", kNoBinding,
                     [&](const Query& q) {
                         s.lastTry = q.Int(0);
                         s.lastError = q.Text(1);
                     });
    }
    if (st) {
        st = EachRow("SELECT max(tried_ms) FROM forward_try WHERE error = ''", kNoBinding,
                     [&](const Query& q) {
                         if (!q.IsNull(0)) {
                             s.lastSent = q.Int(0);
                         }
                     });
    }
    if (!st) {
        return st.error();
    }
    return s;
}

}  // namespace vark::archive
