// The window's side of the station's archive: which archive (the settings
// file, VARK_ARCHIVE, --archive, --no-archive, as vark-cli resolves them),
// its state for the status bar, archiving a completed upload, reading an
// archived run back, and the Run details remembered between uploads.
//
// Counting the runs for the status bar happens on a thread of its own with a
// connection of its own, so that a large archive never holds up the window;
// everything else runs on the window's thread, each call with its own
// connection, so that a file replaced or repaired meanwhile is met afresh.
// With a factory server configured, what the archive's outbox holds is
// forwarded on a worker thread of its own (ForwardWorker).
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "archive/settings.h"
#include "archive/sqlite_archive.h"
#include "records/record_block.h"
#include "ui/archive_texts.h"
#include "ui/call_queue.h"
#include "ui/upload_session.h"

namespace vark {

class ForwardWorker;
struct ForwardReport;

class StationArchive : public QObject {
    Q_OBJECT
  public:
    // The archive these command-line choices, the environment and the
    // settings file name.
    static archive::ArchiveConfig Configured(const archive::ArchiveOverrides& overrides);

    // Starts forwarding at once when a server is configured.
    explicit StationArchive(archive::ArchiveConfig config, QObject* parent = nullptr);
    // Stops forwarding (a batch in flight is abandoned, a moment at most)
    // and waits for a count under way; its answer is dropped.
    ~StationArchive() override;
    StationArchive(const StationArchive&) = delete;
    StationArchive& operator=(const StationArchive&) = delete;

    const archive::ArchiveConfig& Config() const { return config_; }
    bool Enabled() const { return config_.enabled; }
    const ArchiveState& State() const { return state_; }

    // Counts the runs again, on a thread of its own; stateChanged follows.
    void Refresh();
    // Whether a count is under way.
    bool Counting() const { return counting_; }

    // Whether a server is configured and forwarded to.
    bool Forwarding() const;
    // Something new was archived (an upload, a correction, a golden
    // reference): a try soon, off the window's thread.
    void ForwardSoon();

    // The record the upload's records were compared with in the window, kept
    // with the run; none: the part's golden reference, if it has one.
    struct Reference {
        TestRecord record{};
        std::string label;
    };
    // Archives a completed upload in one transaction, the archive made
    // first if need be. The error says why nothing was archived.
    archive::Result<archive::Committed> CommitUpload(const RecordBlock& block,
                                                     const UploadFacts& facts,
                                                     const RunDetails& details,
                                                     const std::optional<Reference>& reference);

    // The block of run `name` (its UUID or an unambiguous start of it), as
    // its exported record file holds it; the full UUID in `uuid`.
    archive::Result<RecordBlock> ReadRun(const std::string& name, std::string* uuid = nullptr);

    // The Run details last used, from the settings file (the operator empty
    // when none was kept), and keeping new ones there. False when the
    // settings file could not be written.
    RunDetails RememberedDetails() const;
    bool RememberDetails(const RunDetails& details);

  Q_SIGNALS:
    void stateChanged();

  private:
    // From the counting and forwarding threads: the call is handed over
    // through the queue's lock and run on this object's thread, woken by an
    // event made inside Qt.
    void Post(std::function<void()> fn);
    Q_INVOKABLE void RunNextCall();
    void Counted(std::uint64_t generation, ArchiveState state);
    void Forwarded(const ForwardReport& report);
    archive::Result<archive::Committed> Commit(const RecordBlock& block, const UploadFacts& facts,
                                               const RunDetails& details,
                                               const std::optional<Reference>& reference);
    archive::OpenOptions Options(archive::OpenOptions::Mode mode) const;

    CallQueue calls_;  // first: it outlives the threads that post to it
    archive::ArchiveConfig config_;
    ArchiveState state_;
    std::thread counter_;
    std::uint64_t generation_ = 0;
    bool counting_ = false;
#ifdef VARK_WITH_SERVER
    // Last: it goes first, so that no report arrives from it meanwhile.
    std::unique_ptr<ForwardWorker> worker_;
#endif
};

}  // namespace vark
