#include "app/station_archive.h"

#include <QMetaObject>
#include <QSettings>

#ifdef VARK_WITH_SERVER
#include "app/forward_worker.h"
#include "archive/server/pg_link.h"
#endif
#include "records/record_file.h"
#include "vark_version.h"

namespace vark {

namespace {

constexpr char kProgram[] = "VARK-u " VARK_VERSION;

// What the status bar says of the archive at `file`, read afresh.
ArchiveState CountRuns(const std::string& file, const archive::OpenOptions& options) {
    ArchiveState state;
    state.file = file;
    auto opened = archive::SqliteArchive::Open(file, options);
    if (!opened) {
        // Not made yet: the first upload makes it.
        if (opened.error().kind == archive::ErrorKind::Missing) {
            state.kind = ArchiveState::Kind::Ready;
            return state;
        }
        state.kind = ArchiveState::Kind::Unreadable;
        state.reason = opened.error().message;
        return state;
    }
    const auto counts = opened.value()->Counts();
    if (!counts) {
        state.kind = ArchiveState::Kind::Unreadable;
        state.reason = counts.error().message;
        return state;
    }
    state.kind = ArchiveState::Kind::Ready;
    state.runs = counts->runs;
    return state;
}

QString SettingsFile() {
    return QString::fromStdString(archive::SettingsFilePath());
}

}  // namespace

archive::ArchiveConfig StationArchive::Configured(const archive::ArchiveOverrides& overrides) {
    return archive::ResolveArchiveConfig(archive::LoadSettings(archive::SettingsFilePath()),
                                         archive::SystemSurroundings(), overrides);
}

StationArchive::StationArchive(archive::ArchiveConfig config, QObject* parent)
    : QObject(parent), config_(std::move(config)) {
    state_.file = config_.file;
    state_.kind = config_.enabled ? ArchiveState::Kind::Counting : ArchiveState::Kind::Off;
#ifdef VARK_WITH_SERVER
    if (!config_.enabled || config_.server.empty()) {
        return;
    }
    // A URL that holds a password is shown as given by no one: its refusal
    // is the try's failure, said in the control.
    const auto shown = archive::ServerDisplayName(config_.server);
    state_.server.name = shown ? *shown : std::string("(the configured server)");
    archive::ForwarderOptions options;
    options.archive = config_.file;
    options.server = config_.server;
    options.archiveBusyTimeoutMs = config_.busyTimeoutMs;
    // Reports come from the worker's thread; this object's thread takes
    // them in turn. The worker is stopped before this object goes, and a
    // report still queued then goes with it.
    worker_ = std::make_unique<ForwardWorker>(options, [this](const ForwardReport& report) {
        Post([this, report] { Forwarded(report); });
    });
#endif
}

StationArchive::~StationArchive() {
#ifdef VARK_WITH_SERVER
    worker_.reset();
#endif
    if (counter_.joinable()) {
        counter_.join();
    }
}

void StationArchive::Post(std::function<void()> fn) {
    calls_.Push(std::move(fn));
    QMetaObject::invokeMethod(this, "RunNextCall", Qt::QueuedConnection);
}

void StationArchive::RunNextCall() {
    calls_.RunNext();
}

archive::OpenOptions StationArchive::Options(archive::OpenOptions::Mode mode) const {
    archive::OpenOptions options;
    options.mode = mode;
    options.busyTimeoutMs = config_.busyTimeoutMs;
    options.program = kProgram;
    return options;
}

void StationArchive::Refresh() {
    if (!config_.enabled) {
        return;
    }
    // One count at a time; the one before has its answer on the way or
    // dropped, as its generation is no longer the latest.
    if (counter_.joinable()) {
        counter_.join();
    }
    const std::uint64_t generation = ++generation_;
    counting_ = true;
    counter_ = std::thread([this, generation, file = config_.file,
                            options = Options(archive::OpenOptions::Mode::Read)] {
        ArchiveState state = CountRuns(file, options);
        // This object outlives the thread (its destructor joins it), and a
        // call still queued when it goes is dropped with it.
        Post([this, generation, state = std::move(state)] { Counted(generation, state); });
    });
}

void StationArchive::Counted(std::uint64_t generation, ArchiveState state) {
    if (generation != generation_) {
        return;
    }
    counting_ = false;
    state.notArchived = state_.notArchived;
    state.server = state_.server;
    state_ = std::move(state);
    Q_EMIT stateChanged();
}

archive::Result<archive::Committed> StationArchive::CommitUpload(
    const RecordBlock& block, const UploadFacts& facts, const RunDetails& details,
    const std::optional<Reference>& reference) {
    auto done = Commit(block, facts, details, reference);
    state_.notArchived = done ? std::string() : done.error().message;
    if (done) {
        ForwardSoon();
    }
    Q_EMIT stateChanged();
    Refresh();
    return done;
}

bool StationArchive::Forwarding() const {
#ifdef VARK_WITH_SERVER
    return worker_ != nullptr;
#else
    return false;
#endif
}

void StationArchive::ForwardSoon() {
#ifdef VARK_WITH_SERVER
    if (!worker_) {
        return;
    }
    state_.server.sending = true;
    worker_->Kick();
#endif
}

#ifdef VARK_WITH_SERVER
void StationArchive::Forwarded(const ForwardReport& report) {
    ServerState& server = state_.server;
    server.known = true;
    server.sending = false;
    server.lastError = report.error;
    if (report.outboxKnown) {
        server.waiting = report.outbox.waiting();
        server.conflicts = report.outbox.conflicts;
        server.waitingText = archive::WaitingText(report.outbox);
    }
    Q_EMIT stateChanged();
}
#endif

archive::Result<archive::Committed> StationArchive::Commit(
    const RecordBlock& block, const UploadFacts& facts, const RunDetails& details,
    const std::optional<Reference>& reference) {
    auto opened =
        archive::SqliteArchive::Open(config_.file, Options(archive::OpenOptions::Mode::Write));
    if (!opened) {
        return opened.error();
    }
    archive::NewRun run;
    run.started = facts.startedMs;
    run.ended = facts.endedMs;
    run.station = config_.station;
    run.operatorName = details.operatorName.empty() ? config_.operatorName : details.operatorName;
    run.source = archive::Source::Upload;
    run.port = facts.port;
    run.testerSerial = facts.testerSerial;
    run.lot = details.lot;
    run.part = details.part;
    run.program = kProgram;
    if (reference) {
        run.reference = reference->record;
        run.referenceLabel = reference->label;
    }
    run.block = block;
    return opened.value()->Commit(run);
}

archive::Result<RecordBlock> StationArchive::ReadRun(const std::string& name, std::string* uuid) {
    auto opened =
        archive::SqliteArchive::Open(config_.file, Options(archive::OpenOptions::Mode::Read));
    if (!opened) {
        return opened.error();
    }
    const auto full = opened.value()->Resolve(name);
    if (!full) {
        return full.error();
    }
    const auto bytes = opened.value()->ExportBytes(*full);
    if (!bytes) {
        return bytes.error();
    }
    RecordBlock block;
    ClearBlock(block);
    if (ReadRecordBytes(*bytes, block) != FileStatus::Ok) {
        return archive::Error{archive::ErrorKind::Corrupt,
                              "the records of run " + *full + " in the archive are damaged"};
    }
    if (uuid) {
        *uuid = *full;
    }
    return block;
}

RunDetails StationArchive::RememberedDetails() const {
    const QSettings settings(SettingsFile(), QSettings::IniFormat);
    const auto value = [&](const char* key) {
        return settings.value(QString::fromLatin1(key)).toString().toStdString();
    };
    return {value(kLotSetting), value(kPartSetting), value(kOperatorSetting)};
}

bool StationArchive::RememberDetails(const RunDetails& details) {
    QSettings settings(SettingsFile(), QSettings::IniFormat);
    settings.setValue(QString::fromLatin1(kLotSetting), QString::fromStdString(details.lot));
    settings.setValue(QString::fromLatin1(kPartSetting), QString::fromStdString(details.part));
    settings.setValue(QString::fromLatin1(kOperatorSetting),
                      QString::fromStdString(details.operatorName));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace vark
