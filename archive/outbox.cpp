#include "archive/outbox.h"

#include <algorithm>
#include <cctype>

#include "archive/sha256.h"

namespace vark::archive {
namespace {

// Each value with its length first, so that no two runs give the same stream.
void Put(Sha256& h, std::string_view value) {
    const std::string size = std::to_string(value.size()) + ":";
    h.Update(size);
    h.Update(value);
}

void Put(Sha256& h, std::int64_t value) {
    Put(h, std::string_view(std::to_string(value)));
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

}  // namespace

std::string RunDigest(const StoredRun& r) {
    Sha256 h;
    for (const std::string* s :
         {&r.uuid, &r.station, &r.operatorName, &r.source, &r.port, &r.testerSerial, &r.fileName,
          &r.fileSha256, &r.lot, &r.part, &r.note, &r.program, &r.referenceLabel,
          &r.referenceRecord, &r.contentSha256, &r.repeatOf, &r.goldenUuid, &r.warning, &r.block}) {
        Put(h, *s);
    }
    for (const std::int64_t v :
         {r.started, r.ended, std::int64_t{r.recordCount}, std::int64_t{r.emptyCount},
          std::int64_t{r.errorCount}, std::int64_t{r.same}, std::int64_t{r.differs},
          static_cast<std::int64_t>(r.records.size())}) {
        Put(h, v);
    }
    for (const RecordRow& c : r.records) {
        Put(h, c.slot);
        Put(h, c.pinCount);
        Put(h, c.state);
        Put(h, std::int64_t{c.checksumOk});
        Put(h, c.connections);
        Put(h, c.verdict);
        Put(h, c.missing);
        Put(h, c.extra);
    }
    return ToHex(h.Finish());
}

std::string WaitingText(const OutboxState& s, bool utc) {
    auto count = [](std::int64_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    std::vector<std::string> parts;
    if (s.runs > 0 || s.waiting() == 0) {
        parts.push_back(count(s.runs, "run", "runs"));
    }
    if (s.amendments > 0) {
        parts.push_back(count(s.amendments, "correction", "corrections"));
    }
    if (s.goldens > 0) {
        parts.push_back(count(s.goldens, "golden reference", "golden references"));
    }
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
    }
    text += " waiting for the server";
    if (s.lastTry) {
        text += " (last try " + FormatTime(*s.lastTry, "%H:%M", !utc);
        text += s.lastError.empty() ? ": sent)" : ": " + ShortReason(s.lastError) + ")";
    }
    if (s.conflicts > 0) {
        text += "; " + count(s.conflicts, "run differs", "runs differ") + " from the server's copy";
    }
    return text;
}

std::int64_t RetryPauseMs(int failures, double jitter) {
    constexpr std::int64_t kFirst = 1000;
    constexpr std::int64_t kLongest = 5 * 60 * 1000;
    if (failures <= 0) {
        return 0;
    }
    std::int64_t pause = kFirst;
    for (int i = 1; i < failures && pause < kLongest; ++i) {
        pause *= 2;
    }
    pause = std::min(pause, kLongest);
    jitter = std::clamp(jitter, 0.0, 1.0);
    return pause - static_cast<std::int64_t>(static_cast<double>(pause) * 0.2 * jitter);
}

std::string ShortReason(const std::string& message) {
    const std::string m = Lower(message);
    struct Known {
        const char* seen;
        const char* said;
    };
    // The first that matches: libpq's wording, whichever way it came.
    static constexpr Known kKnown[] = {
        {"password authentication failed", "wrong password"},
        {"no password supplied", "no password for the server"},
        {"certificate verify failed", "the server's certificate was refused"},
        {"server certificate for", "the server's certificate names another host"},
        {"root certificate file", "no root certificate to check the server with"},
        {"connection refused", "connection refused"},
        {"no such file or directory", "no server there"},
        {"timeout expired", "timed out"},
        {"timed out", "timed out"},
        {"could not translate host name", "unknown host"},
        {"server closed the connection unexpectedly", "the server went away"},
        {"terminating connection", "the server went away"},
        {"no connection to the server", "the server went away"},
        {"server-init", "the server has no archive schema"},
        {"permission denied", "permission denied on the server"},
        {"does not exist", "no such database or user on the server"},
    };
    for (const Known& k : kKnown) {
        if (m.find(k.seen) != std::string::npos) {
            return k.said;
        }
    }
    std::string line = message.substr(0, message.find('\n'));
    if (line.rfind("ERROR:  ", 0) == 0) {
        line.erase(0, 8);
    }
    return line.size() > 80 ? line.substr(0, 77) + "..." : line;
}

}  // namespace vark::archive
