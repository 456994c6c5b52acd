// The station's own archive: one SQLite file, written by the window and by
// vark-cli, possibly at the same time (WAL, a busy time-out). Each run is one
// transaction committed with synchronous=FULL; rows are only ever added.
//
// One object is one connection: use it on one thread at a time.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/error.h"
#include "archive/outbox.h"
#include "archive/reader.h"
#include "archive/run.h"
#include "archive/statistics.h"
#include "records/compare.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vark::archive {

struct OpenOptions {
    // Reading never creates, migrates or otherwise writes the file.
    enum class Mode : std::uint8_t { Read, Write } mode = Mode::Write;
    // How long to wait for another program's write to end.
    int busyTimeoutMs = 5000;
    // synchronous=FULL; only a throw-away archive (a benchmark's) goes without.
    bool durable = true;
    // Who writes: kept with the schema version and each run.
    std::string program = "VARK-u";
};

struct Committed {
    std::string uuid;
    std::string repeatOf;          // the first run with the same bytes from the same tester
    bool alreadyArchived = false;  // an import of bytes the archive holds: no new run
    // What the records were compared with, as archived: the run's own
    // reference, or else the golden reference of its part (goldenUuid set).
    std::string referenceLabel;
    std::string goldenUuid;
    std::optional<BlockComparison> comparison;
    std::string warning;  // most records alike and unlike the reference
};

struct CheckReport {
    int schemaVersion = 0;
    ArchiveCounts counts;
    std::vector<std::string> problems;  // empty when all is well
    bool ok() const { return problems.empty(); }
};

class SqliteArchive final : public ArchiveReader, public StatisticsSource {
  public:
    static constexpr std::string_view kEngine = "sqlite";

    // Opens (for writing: creates, with its folders, and migrates) the
    // archive at `path`. A newer schema, a file that is not an archive and a
    // damaged one are refused and left exactly as they were; before any
    // migration a copy is taken beside the file (BackupBeforeMigration()).
    static Result<std::unique_ptr<SqliteArchive>> Open(const std::string& path,
                                                       const OpenOptions& options = {});
    ~SqliteArchive() override;
    SqliteArchive(const SqliteArchive&) = delete;
    SqliteArchive& operator=(const SqliteArchive&) = delete;

    const std::string& Path() const { return path_; }
    int SchemaVersion() const { return version_; }
    // The copy taken before migrating at open; empty when none was needed.
    const std::string& BackupBeforeMigration() const { return migrationBackup_; }

    // ArchiveReader
    Result<std::vector<RunSummary>> List(const RunQuery& query) override;
    Result<std::int64_t> CountRuns(const RunQuery& query) override;
    Result<std::string> Resolve(std::string_view name) override;
    Result<RunDetails> Show(std::string_view uuid) override;
    Result<std::string> ExportBytes(std::string_view uuid) override;
    Result<ArchiveCounts> Counts() override;

    // StatisticsSource
    Result<std::vector<RunTally>> CountedRuns(const RunQuery& query) override;
    Result<std::vector<FailedRecord>> FailedRecords(const RunQuery& query) override;
    Result<std::vector<Golden>> Goldens(std::string_view part) override;

    // Archives a run in one transaction: all of it or nothing. An upload
    // whose bytes the same tester gave before is kept as a repeat of that
    // run; an import of bytes the archive already holds adds nothing. A run
    // without a reference of its own whose part has a golden reference is
    // compared with that one, as it is at the moment of the commit.
    Result<Committed> Commit(const NewRun& run);

    // Makes `golden` the golden reference of its part, superseding the one
    // before (which stays). Refused: an empty part, a record that cannot be
    // a reference (empty, in error), a record wired like the current one.
    Result<Golden> SetGolden(const NewGolden& golden);
    // The part's golden reference now; nothing when it has none.
    Result<std::optional<Golden>> CurrentGolden(std::string_view part);

    // Amends a run: one amendment row per change (field, new value) of lot,
    // part, operator, note or void, all in one transaction. Each keeps the
    // current value as its old value; a change to the value a field has
    // already, an unknown field and an empty reason are refused.
    using Change = std::pair<std::string, std::string>;
    Result<std::vector<Amendment>> Amend(std::string_view uuid, const std::vector<Change>& changes,
                                         const std::string& why, const std::string& author,
                                         const std::string& station);

    // The database's own integrity check, foreign keys, and that each run is
    // whole: its records, its bytes and their fingerprint.
    Result<CheckReport> Check();

    // A consistent copy into the new file `target` (refused when it exists),
    // made under a temporary name beside it and renamed when complete.
    Status BackupTo(const std::string& target);

    // The factory server's outbox: what waits, oldest first, with all the
    // server keeps of it (at most `limit` entries); marking entries done
    // (with the try that did it) once the server has committed them; a
    // failed try; and the state as shown.
    Result<std::vector<OutboxEntry>> PendingOutbox(int limit, std::int64_t afterId = 0);
    Status MarkForwarded(const std::vector<OutboxMark>& marks, TimeMs when);
    Status NoteForwardTry(TimeMs when, const std::string& error);
    Result<OutboxState> Outbox();

    // Runs inside each commit's transaction just before COMMIT; for tests
    // that interrupt a commit at its most delicate point.
    void SetBeforeCommitHook(std::function<void()> hook) { beforeCommit_ = std::move(hook); }

  private:
    SqliteArchive(sqlite3* db, std::string path, OpenOptions options);
    Status Prepare();
    Status Migrate();
    Error Fail(int rc, std::string_view doing) const;
    sqlite3_stmt* Statement(std::string_view sql, int& rc);
    Result<std::int64_t> RunId(std::string_view uuid);
    // Queues an item for the server inside the caller's transaction.
    int Queue(std::string_view kind, std::string_view uuid, TimeMs when);
    Result<StoredRun> ReadStoredRun(std::string_view uuid);
    // Runs `sql` after `bind(query)`, calling `row(query)` for each row.
    template <class Bind, class Row>
    Status EachRow(std::string_view sql, Bind&& bind, Row&& row);

    sqlite3* db_;
    std::string path_;
    OpenOptions options_;
    int version_ = 0;
    bool readOnly_ = false;
    std::string migrationBackup_;
    std::function<void()> beforeCommit_;
    std::vector<std::pair<std::string, sqlite3_stmt*>> statements_;
};

}  // namespace vark::archive
