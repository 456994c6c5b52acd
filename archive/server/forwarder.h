// Sends what waits in a station's outbox to the factory server: batches of
// runs (with their records), amendments and golden references, each batch
// one server transaction that adds only what the server lacks (by UUID), and
// marked sent in the station's archive only after the server's commit. A run
// the server holds with other content is not overwritten: it is reported on
// the server and marked as a conflict at the station.
//
// No toolkit: the window runs it on a worker thread of its own, vark-cli in
// its own process. Its calls may come from any thread; they take turns.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>

#include "archive/error.h"
#include "archive/outbox.h"

namespace vark::archive {

class PgLink;
class SqliteArchive;

struct ForwarderOptions {
    std::string archive;  // the station's archive file
    std::string server;   // libpq's connection string or URL, without a password
    int connectTimeoutSeconds = 10;
    // How long one statement may take on the server (0: no limit), for a
    // caller that must not wait long (an upload's one try).
    int statementTimeoutMs = 0;
    int batchSize = 500;  // outbox entries per server transaction
    int archiveBusyTimeoutMs = 5000;
    // Called at "before-commit" (the batch sent, the server's COMMIT not yet
    // asked for) and "after-commit" (committed there, not yet marked here).
    std::function<void(const char* stage)> stage;
};

struct ForwardOutcome {
    std::int64_t sent = 0;       // entries the server now holds
    std::int64_t conflicts = 0;  // runs found different there
    std::int64_t refused = 0;    // entries the server refused (still waiting)
    std::int64_t waiting = 0;    // left in the outbox
    bool reached = false;        // a connection was had
    std::string error;           // the failure that ended the try; empty when none
    bool ok() const { return error.empty() && waiting == 0; }
};

class Forwarder {
  public:
    explicit Forwarder(ForwarderOptions options);
    ~Forwarder();
    Forwarder(const Forwarder&) = delete;
    Forwarder& operator=(const Forwarder&) = delete;

    // Sends batch after batch until nothing waits or a batch fails. Every
    // try is noted in the archive (its time, and its error) for the status.
    ForwardOutcome ForwardNow();

    // What waits, and how the last try went.
    Result<OutboxState> State();

    // How long to wait before the next try: nothing after a try that left
    // nothing waiting, else the growing pause of RetryPauseMs.
    std::int64_t NextPauseMs();

    // For a caller that is closing, from any thread: the batch in flight is
    // cancelled on the server (its transaction rolls back, nothing is marked
    // sent here), no further batch starts, and ForwardNow returns soon.
    // Final: this forwarder forwards nothing more.
    void Abandon();

  private:
    ForwardOutcome Forward();
    Status OpenArchive();
    Status Connect(ForwardOutcome& outcome);
    // One server transaction for `entries`; the marks to write on success.
    // `held`: runs the server holds otherwise, whose corrections stay here;
    // the batch's own such runs are added.
    Result<std::vector<OutboxMark>> SendBatch(const std::vector<OutboxEntry>& entries,
                                              std::set<std::string>& held);

    // link_ is replaced only under linkMutex_, so that Abandon may reach it.
    void SetLink(std::unique_ptr<PgLink> link);

    ForwarderOptions options_;
    std::mutex mutex_;
    std::mutex linkMutex_;
    std::atomic<bool> abandoned_{false};
    std::unique_ptr<SqliteArchive> archive_;
    std::unique_ptr<PgLink> link_;
    int failures_ = 0;
    std::mt19937 random_;
};

}  // namespace vark::archive
