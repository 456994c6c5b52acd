// The factory server: making or upgrading its schema and roles, and reading
// every station's runs from it (read-only) as the station's own archive is
// read.
#pragma once

#include <memory>
#include <string>

#include "archive/error.h"
#include "archive/reader.h"
#include "archive/statistics.h"

namespace vark::archive {

class PgLink;

struct ServerInitReport {
    int before = 0;  // the schema version found (0: none)
    int after = 0;
    std::string server;  // as shown, without secrets
};

// Creates the server's schema, or brings it to this program's version, with
// the numbered migrations, in one transaction (other programs initialising at
// the same time wait for it). A server of a newer schema is left untouched.
Result<ServerInitReport> InitServer(const std::string& url, const std::string& program,
                                    int timeoutSeconds = 10);

class ServerArchive final : public ArchiveReader, public StatisticsSource {
  public:
    // Connects for reading: the session is read-only, whatever the role may.
    static Result<std::unique_ptr<ServerArchive>> Open(const std::string& url,
                                                       int timeoutSeconds = 5);
    ~ServerArchive() override;

    const std::string& Name() const;

    Result<std::vector<RunSummary>> List(const RunQuery& query) override;
    Result<std::int64_t> CountRuns(const RunQuery& query) override;
    Result<std::string> Resolve(std::string_view name) override;
    Result<RunDetails> Show(std::string_view uuid) override;
    Result<std::string> ExportBytes(std::string_view uuid) override;
    Result<ArchiveCounts> Counts() override;

    // Every station's runs counted as a station counts its own.
    Result<std::vector<RunTally>> CountedRuns(const RunQuery& query) override;
    Result<std::vector<FailedRecord>> FailedRecords(const RunQuery& query) override;
    Result<std::vector<Golden>> Goldens(std::string_view part) override;

  private:
    explicit ServerArchive(std::unique_ptr<PgLink> link);
    std::unique_ptr<PgLink> link_;
};

}  // namespace vark::archive
