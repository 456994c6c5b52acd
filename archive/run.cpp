#include "archive/run.h"

#include <algorithm>
#include <chrono>

#include "records/compare.h"
#include "records/pin_map.h"
#include "records/record_file.h"

namespace vark::archive {

TimeMs NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string_view SourceName(Source source) {
    return source == Source::Upload ? "upload" : "import";
}

bool IsAmendableField(std::string_view field) {
    return std::find(std::begin(kAmendableFields), std::end(kAmendableFields), field) !=
           std::end(kAmendableFields);
}

namespace {

// The pin map's tokens with one blank between groups instead of two, and no
// blank before the first: the same words the list shows, without its layout.
std::string ConnectionsText(const TestRecord& record, int slot) {
    std::string joined;
    for (const std::string& line : BuildPinMapRow(record, slot).lines) {
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

std::string Names(const std::vector<Connection>& list) {
    std::string out;
    for (const Connection& c : list) {
        out += (out.empty() ? "" : " ") + ConnectionName(c);
    }
    return out;
}

}  // namespace

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
        row.connections = ConnectionsText(rec, row.slot);
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
    const std::uint32_t length = StoredLength(block);
    std::string bytes(kRecordMagic, sizeof kRecordMagic);
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>((length >> (8 * i)) & 0xFF);
    }
    bytes.append(reinterpret_cast<const char*>(block.data()), length);
    return bytes;
}

}  // namespace vark::archive
