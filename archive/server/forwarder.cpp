#include "archive/server/forwarder.h"

#include <filesystem>
#include <set>
#include <utility>

#include "archive/server/pg_link.h"
#include "archive/sqlite_archive.h"

namespace vark::archive {
namespace {

constexpr const char* kNull = "\\N";

std::string Int(std::int64_t v) {
    return std::to_string(v);
}

// A count that -1 means "none" for, as COPY's NULL.
std::string OrNull(int v) {
    return v < 0 ? kNull : std::to_string(v);
}

std::string TextOrNull(const std::string& v) {
    return v.empty() ? kNull : CopyText(v);
}

void Line(std::string& out, std::initializer_list<std::string> fields) {
    bool first = true;
    for (const std::string& f : fields) {
        if (!first) {
            out += '\t';
        }
        out += f;
        first = false;
    }
    out += '\n';
}

constexpr const char* kRunColumns =
    "uuid, started_at, ended_at, station, operator, source, port, tester_serial, file_name, "
    "file_sha256, lot, part, note, program, reference_label, reference_record, content_sha256, "
    "repeat_of, record_count, empty_count, error_count, same_count, differs_count, golden, "
    "majority_warning, block, digest";
constexpr const char* kRecordColumns =
    "run_uuid, slot, pin_count, state, checksum_ok, connections, verdict, missing, extra";
constexpr const char* kAmendmentColumns =
    "uuid, run_uuid, made_at, station, author, field, old_value, new_value, why, station_seq";
constexpr const char* kGoldenColumns =
    "uuid, part, made_at, station, author, source, note, pin_count, connections, record";

}  // namespace

Forwarder::Forwarder(ForwarderOptions options)
    : options_(std::move(options)), random_(std::random_device{}()) {}

Forwarder::~Forwarder() = default;

void Forwarder::SetLink(std::unique_ptr<PgLink> link) {
    const std::lock_guard lock(linkMutex_);
    link_ = std::move(link);
}

void Forwarder::Abandon() {
    abandoned_ = true;
    const std::lock_guard lock(linkMutex_);
    if (link_) {
        link_->Cancel();
    }
}

Status Forwarder::OpenArchive() {
    if (archive_) {
        return Done{};
    }
    // Forwarding never makes an archive: a station without one has nothing
    // to send, and a mistyped name should say so.
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::path(options_.archive), ec)) {
        return Error{ErrorKind::Missing, "there is no archive at " + options_.archive};
    }
    OpenOptions o;
    o.mode = OpenOptions::Mode::Write;
    o.busyTimeoutMs = options_.archiveBusyTimeoutMs;
    auto opened = SqliteArchive::Open(options_.archive, o);
    if (!opened) {
        return opened.error();
    }
    archive_ = std::move(opened.value());
    return Done{};
}

Status Forwarder::Connect(ForwardOutcome& outcome) {
    if (link_ && !link_->Alive()) {
        SetLink(nullptr);
    }
    if (!link_) {
        auto link =
            PgLink::Connect(options_.server, options_.connectTimeoutSeconds, "VARK-u station");
        if (!link) {
            return link.error();
        }
        SetLink(std::move(link.value()));
        if (abandoned_) {
            // Abandoned while connecting: the cancel found no link to reach.
            SetLink(nullptr);
            return Error{ErrorKind::Io, "forwarding was abandoned"};
        }
        // The stored bytes compressed with lz4 where the server has it: a
        // fraction of pglz's time for the same room. A server without it
        // keeps its default.
        (void)link_->Exec("SET default_toast_compression = 'lz4'");
        if (options_.statementTimeoutMs > 0) {
            if (Status st = link_->Exec("SET statement_timeout = " +
                                        std::to_string(options_.statementTimeoutMs));
                !st) {
                SetLink(nullptr);
                return st.error();
            }
        }
        auto version = link_->Query("SELECT max(version) FROM schema_version");
        if (!version) {
            const Error e{ErrorKind::Io, "the server " + link_->Name() +
                                             " holds no archive yet (vark-cli archive "
                                             "server-init makes it): " +
                                             version.error().message};
            SetLink(nullptr);
            return e;
        }
    }
    outcome.reached = true;
    return Done{};
}

Result<std::vector<OutboxMark>> Forwarder::SendBatch(const std::vector<OutboxEntry>& entries,
                                                     std::set<std::string>& held) {
    std::string runs, amendments, goldens;
    std::string station;
    for (const OutboxEntry& e : entries) {
        if (e.run) {
            const StoredRun& r = *e.run;
            station = r.station;
            Line(runs, {r.uuid,
                        PgTime(r.started),
                        PgTime(r.ended),
                        CopyText(r.station),
                        CopyText(r.operatorName),
                        CopyText(r.source),
                        CopyText(r.port),
                        CopyText(r.testerSerial),
                        CopyText(r.fileName),
                        CopyText(r.fileSha256),
                        CopyText(r.lot),
                        CopyText(r.part),
                        CopyText(r.note),
                        CopyText(r.program),
                        CopyText(r.referenceLabel),
                        r.referenceRecord.empty() ? kNull : CopyBytes(r.referenceRecord),
                        CopyText(r.contentSha256),
                        TextOrNull(r.repeatOf),
                        Int(r.recordCount),
                        Int(r.emptyCount),
                        Int(r.errorCount),
                        OrNull(r.same),
                        OrNull(r.differs),
                        TextOrNull(r.goldenUuid),
                        CopyText(r.warning),
                        CopyBytes(r.block),
                        RunDigest(r)});
        } else if (e.amendment) {
            const Amendment& a = *e.amendment;
            Line(amendments, {a.uuid, e.amendedRun, PgTime(a.made), CopyText(a.station),
                              CopyText(a.author), CopyText(a.field), CopyText(a.oldValue),
                              CopyText(a.newValue), CopyText(a.why), Int(e.amendmentSeq)});
        } else if (e.golden) {
            const Golden& g = *e.golden;
            Line(goldens, {g.uuid, CopyText(g.part), PgTime(g.made), CopyText(g.station),
                           CopyText(g.author), CopyText(g.source), CopyText(g.note),
                           Int(g.record.PinCount()), CopyText(g.connections),
                           CopyBytes(std::string_view(reinterpret_cast<const char*>(g.record.bytes),
                                                      kRecordSize))});
        }
    }
    PgLink& pg = *link_;
    auto fail = [&](Error e) {
        if (pg.Alive()) {
            (void)pg.Exec("ROLLBACK");
        }
        return e;
    };
    if (Status st = pg.Exec("BEGIN"); !st) {
        return st.error();
    }
    // Each kind through a temporary table by COPY, then added where the
    // server lacks it: one round trip per kind, whatever the batch's size.
    struct Kind {
        const char* table;
        const char* columns;
        const std::string* data;
    };
    const Kind kinds[] = {{"golden", kGoldenColumns, &goldens},
                          {"run", kRunColumns, &runs},
                          {"amendment", kAmendmentColumns, &amendments}};
    for (const Kind& k : kinds) {
        if (k.data->empty()) {
            continue;
        }
        const std::string temp = std::string("incoming_") + k.table;
        Status st = pg.Exec("CREATE TEMP TABLE " + temp + " (LIKE " + k.table +
                            " INCLUDING DEFAULTS) ON COMMIT DROP");
        if (st) {
            st = pg.Copy("COPY " + temp + " (" + k.columns + ") FROM STDIN", *k.data);
        }
        if (!st) {
            return fail(st.error());
        }
    }
    const std::string cols = kRunColumns;
    std::set<std::string> conflicted;
    if (!goldens.empty()) {
        if (Status st =
                pg.Exec(std::string("INSERT INTO golden (") + kGoldenColumns + ") SELECT " +
                        kGoldenColumns + " FROM incoming_golden ON CONFLICT (uuid) DO NOTHING");
            !st) {
            return fail(st.error());
        }
    }
    if (!runs.empty()) {
        // Runs the server holds already: the same run sent again (a lost
        // mark), or another run under its UUID, which is only reported.
        auto clash = pg.Query(
            "SELECT i.uuid, i.digest, i.station FROM incoming_run i JOIN run r ON r.uuid = "
            "i.uuid WHERE r.digest <> i.digest");
        if (!clash) {
            return fail(clash.error());
        }
        for (int i = 0; i < clash->Count(); ++i) {
            conflicted.insert(clash->Text(i, 0));
        }
        if (!conflicted.empty()) {
            if (Status st = pg.Exec(
                    "INSERT INTO run_conflict (run_uuid, digest, station) SELECT i.uuid, "
                    "i.digest, i.station FROM incoming_run i JOIN run r ON r.uuid = i.uuid WHERE "
                    "r.digest <> i.digest ON CONFLICT DO NOTHING");
                !st) {
                return fail(st.error());
            }
        }
        // A run and its records go together: the records of the runs this
        // statement adds, straight into their table (no other transaction can
        // hold records of a run not committed yet).
        auto added = pg.Query("INSERT INTO run (" + cols + ") SELECT " + cols +
                              " FROM incoming_run ON CONFLICT (uuid) DO NOTHING RETURNING uuid");
        if (!added) {
            return fail(added.error());
        }
        std::set<std::string> fresh;
        for (int i = 0; i < added->Count(); ++i) {
            fresh.insert(added->Text(i, 0));
        }
        std::string records;
        for (const OutboxEntry& e : entries) {
            if (!e.run || fresh.count(e.uuid) == 0) {
                continue;
            }
            for (const RecordRow& c : e.run->records) {
                Line(records, {e.uuid, Int(c.slot), Int(c.pinCount), CopyText(c.state),
                               c.checksumOk ? "t" : "f", CopyText(c.connections),
                               TextOrNull(c.verdict), CopyText(c.missing), CopyText(c.extra)});
            }
        }
        if (!records.empty()) {
            if (Status st = pg.Copy(std::string("COPY record (") + kRecordColumns + ") FROM STDIN",
                                    records);
                !st) {
                return fail(st.error());
            }
        }
    }
    // Corrections of a run the server holds otherwise stay here: there they
    // would change that other run.
    held.insert(conflicted.begin(), conflicted.end());
    if (!amendments.empty()) {
        std::string list = "{";
        for (const std::string& run : held) {
            list += (list.size() > 1 ? "," : "") + run;
        }
        list += "}";
        if (auto st = pg.Query(std::string("INSERT INTO amendment (") + kAmendmentColumns +
                                   ") SELECT " + kAmendmentColumns +
                                   " FROM incoming_amendment WHERE run_uuid <> ALL ($1::uuid[]) "
                                   "ON CONFLICT (uuid) DO NOTHING",
                               {list});
            !st) {
            return fail(st.error());
        }
    }
    if (options_.stage) {
        options_.stage("before-commit");
    }
    if (abandoned_) {
        return fail(Error{ErrorKind::Io, "forwarding was abandoned"});
    }
    if (Status st = pg.Exec("COMMIT"); !st) {
        return fail(st.error());
    }
    if (options_.stage) {
        options_.stage("after-commit");
    }
    std::vector<OutboxMark> marks;
    marks.reserve(entries.size());
    for (const OutboxEntry& e : entries) {
        marks.push_back({e.id, (e.run && conflicted.count(e.uuid) != 0) ||
                                   (e.amendment && held.count(e.amendedRun) != 0)});
    }
    return marks;
}

ForwardOutcome Forwarder::Forward() {
    ForwardOutcome outcome;
    auto note = [&](const std::string& error) {
        outcome.error = error;
        // A try given up by its caller says nothing of the server.
        if (archive_ && !abandoned_) {
            (void)archive_->NoteForwardTry(NowMs(), error);
        }
    };
    if (Status st = OpenArchive(); !st) {
        outcome.error = st.error().message;
        return outcome;
    }
    if (Status st = Connect(outcome); !st) {
        note(st.error().message);
    } else {
        // Batches in queue order; a batch the server refuses for its content
        // is sent again one entry at a time, so that one bad entry holds back
        // only itself.
        std::int64_t after = 0;
        int size = options_.batchSize;
        // The runs the server holds otherwise, found by earlier tries.
        std::set<std::string> held;
        if (auto state = archive_->Outbox()) {
            held.insert(state->conflictRuns.begin(), state->conflictRuns.end());
        }
        std::string refusal;
        for (;;) {
            if (abandoned_) {
                note("forwarding was abandoned");
                break;
            }
            auto pending = archive_->PendingOutbox(size, after);
            if (!pending) {
                note(pending.error().message);
                break;
            }
            if (pending->empty()) {
                break;
            }
            auto marks = SendBatch(*pending, held);
            if (!marks) {
                if (marks.error().kind == ErrorKind::Invalid && link_->Alive() && !abandoned_) {
                    if (size > 1) {
                        size = 1;
                        continue;
                    }
                    ++outcome.refused;
                    refusal = marks.error().message;
                    after = pending->back().id;
                    continue;
                }
                note(marks.error().message);
                break;
            }
            if (Status st = archive_->MarkForwarded(*marks, NowMs()); !st) {
                // On the server already; the next try finds them there.
                note(st.error().message);
                break;
            }
            for (std::size_t i = 0; i < marks->size(); ++i) {
                ++outcome.sent;
                outcome.conflicts += (*marks)[i].conflict && (*pending)[i].run;
            }
            if (size == 1) {
                after = pending->back().id;
            }
        }
        if (outcome.error.empty() && !refusal.empty()) {
            note(refusal);
        }
    }
    if (auto state = archive_->Outbox()) {
        outcome.waiting = state->waiting();
    }
    if (!outcome.reached || abandoned_) {
        SetLink(nullptr);
    }
    return outcome;
}

ForwardOutcome Forwarder::ForwardNow() {
    const std::lock_guard lock(mutex_);
    if (abandoned_) {
        ForwardOutcome outcome;
        outcome.error = "forwarding was abandoned";
        return outcome;
    }
    ForwardOutcome outcome = Forward();
    failures_ = outcome.error.empty() ? 0 : failures_ + 1;
    return outcome;
}

Result<OutboxState> Forwarder::State() {
    const std::lock_guard lock(mutex_);
    if (Status st = OpenArchive(); !st) {
        return st.error();
    }
    return archive_->Outbox();
}

std::int64_t Forwarder::NextPauseMs() {
    const std::lock_guard lock(mutex_);
    return RetryPauseMs(failures_, std::uniform_real_distribution<double>(0.0, 1.0)(random_));
}

}  // namespace vark::archive
