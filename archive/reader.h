// Reading an archive: what the History window and vark-cli's list, show and
// export need, whatever engine holds the runs (the station's SQLite file, or
// a shared server).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "archive/error.h"
#include "archive/run.h"

namespace vark::archive {

class ArchiveReader {
  public:
    virtual ~ArchiveReader() = default;

    // Runs matching `query`, in its order, with current values.
    virtual Result<std::vector<RunSummary>> List(const RunQuery& query) = 0;
    // How many runs match `query` (its limit and offset ignored).
    virtual Result<std::int64_t> CountRuns(const RunQuery& query) = 0;
    // The full UUID of the one run whose UUID is `name` or starts with it.
    virtual Result<std::string> Resolve(std::string_view name) = 0;
    virtual Result<RunDetails> Show(std::string_view uuid) = 0;
    // The record file of the run, byte for byte as Save wrote it.
    virtual Result<std::string> ExportBytes(std::string_view uuid) = 0;
    virtual Result<ArchiveCounts> Counts() = 0;
};

}  // namespace vark::archive
