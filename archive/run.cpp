#include "archive/run.h"

#include <algorithm>
#include <chrono>
#include <ctime>

#include "records/compare.h"
#include "records/pin_map.h"
#include "records/record_file.h"

namespace vark::archive {

TimeMs NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string FormatTime(TimeMs time, const char* format, bool local) {
    // Whole seconds, rounded down also before 1970.
    const auto seconds = static_cast<std::time_t>(time / 1000 - (time % 1000 < 0 ? 1 : 0));
    std::tm tm{};
#ifdef _WIN32
    const bool ok = (local ? localtime_s(&tm, &seconds) : gmtime_s(&tm, &seconds)) == 0;
#else
    const bool ok = (local ? localtime_r(&seconds, &tm) : gmtime_r(&seconds, &tm)) != nullptr;
#endif
    char buf[64];
    const std::size_t n = ok ? std::strftime(buf, sizeof buf, format, &tm) : 0;
    return std::string(buf, n);
}

std::string_view SourceName(Source source) {
    return source == Source::Upload ? "upload" : "import";
}

bool IsAmendableField(std::string_view field) {
    return std::find(std::begin(kAmendableFields), std::end(kAmendableFields), field) !=
           std::end(kAmendableFields);
}

namespace {

std::string Names(const std::vector<Connection>& list) {
    std::string out;
    for (const Connection& c : list) {
        out += (out.empty() ? "" : " ") + ConnectionName(c);
    }
    return out;
}

}  // namespace

// The pin map's tokens with one blank between groups instead of two, and no
// blank before the first: the same words the list shows, without its layout.
std::string ConnectionWords(const TestRecord& record) {
    std::string joined;
    for (const std::string& line : BuildPinMapRow(record, 0).lines) {
        joined += line;
    }
    std::string out;
    for (std::size_t i = 0; i < joined.size(); ++i) {
        if (joined[i] == ' ') {
            if (!out.empty() && out.back() != ' ') {
                out += ' ';
            }
        } else {
            out += joined[i];
        }
    }
    return out;
}

std::vector<RecordRow> BuildRecordRows(const RecordBlock& block,
                                       const std::optional<TestRecord>& reference) {
    std::vector<RecordRow> rows;
    const std::size_t used = UsedSlots(block);
    rows.reserve(used);
    const Wiring refWiring = reference ? ReadWiring(*reference) : Wiring{};
    for (std::size_t d = 0; d < used; ++d) {
        const TestRecord& rec = block.slots[d];
        RecordRow row;
        row.slot = static_cast<int>(d);
        row.pinCount = rec.PinCount();
        row.state = rec.PinCount() == kPinCountEmpty ? "empty"
                    : HasPinMap(rec.PinCount())      ? "ok"
                                                     : "error";
        row.checksumOk = RecordChecksum(rec) == rec.bytes[kChecksumOffset];
        row.connections = ConnectionWords(rec);
        if (reference) {
            const RecordComparison cmp = Compare(refWiring, ReadWiring(rec));
            row.verdict = std::string(VerdictName(cmp.verdict));
            row.missing = Names(cmp.missing);
            row.extra = Names(cmp.extra);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string RecordFileBytes(const RecordBlock& block) {
    return RecordFileOf(
        std::string_view(reinterpret_cast<const char*>(block.data()), StoredLength(block)));
}

std::string RecordFileOf(std::string_view storedBlock) {
    const auto length = static_cast<std::uint32_t>(storedBlock.size());
    std::string bytes(kRecordMagic, sizeof kRecordMagic);
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>((length >> (8 * i)) & 0xFF);
    }
    bytes += storedBlock;
    return bytes;
}

}  // namespace vark::archive
