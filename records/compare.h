// Comparing test records by their wiring: each record against a known-good
// reference, or the records of a block grouped by identical wiring when no
// good cable is known. Pure functions on the byte images.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "records/record_block.h"

namespace vark {

// A record's connection graph: for each side-A contact the side-B contacts it
// reaches, as RowReach reads them. Index 0..39 is side-A pin 1..40, index
// kAGroundIndex is A's ground. Records without a pin map keep every entry 0,
// so two of them are alike exactly when their pin counts are.
inline constexpr int kAGroundIndex = kMaxPins;

struct Wiring {
    std::uint8_t pinCount = 0;
    std::array<std::uint64_t, kMaxPins + 1> reach{};

    bool operator==(const Wiring&) const = default;
};

Wiring ReadWiring(const TestRecord& record);

// Equal pin counts and equal graphs; checksum, reserved byte and the bits and
// rows beyond the pin count do not count. Symmetric, and true for a record
// and itself.
bool SameWiring(const TestRecord& a, const TestRecord& b);

// One connection, side A's contact first. Contacts are pins 1..40, or
// kGroundContact for that side's ground.
inline constexpr int kGroundContact = kMaxPins + 1;

struct Connection {
    std::uint8_t a = 0;
    std::uint8_t b = 0;

    auto operator<=>(const Connection&) const = default;
};

// In the pin map's words: "A03-B03", "A04-BGD", "AGD-B02", "AGD-BGD".
std::string ConnectionName(Connection c);

enum class Verdict : std::uint8_t { Same, Differs, PinCount, Error, Empty };
inline constexpr int kVerdictCount = 5;

// "same", "differs", "pin-count", "error", "empty".
std::string_view VerdictName(Verdict verdict);

struct RecordComparison {
    Verdict verdict = Verdict::Same;
    int referencePins = 0;
    int recordPins = 0;
    // Both ascending by side A, then side B.
    std::vector<Connection> missing;  // in the reference only: an open
    std::vector<Connection> extra;    // in the record only: a short or a miswire
};

// The record's verdict against the reference. The record's own state comes
// first (empty, error); then its pin count; then the graphs. For two records
// with pin maps, swapping them swaps `missing` and `extra`.
RecordComparison Compare(const Wiring& reference, const Wiring& record);
RecordComparison Compare(const TestRecord& reference, const TestRecord& record);

// One line: "same", "differs: missing A03-B03; extra A03-B04",
// "other pin count: reference 8, record 4", "error", "empty".
std::string DescribeComparison(const RecordComparison& comparison);

// Empty when `reference` can serve as one; otherwise a sentence saying why
// not, naming it as `name` (for example "Test 009").
std::string ReferenceProblem(const TestRecord& reference, std::string_view name);

struct BlockComparison {
    std::vector<RecordComparison> records;  // one per used slot, in slot order
    std::array<int, kVerdictCount> counts{};

    int Count(Verdict v) const { return counts[static_cast<std::size_t>(v)]; }
    bool AllSame() const { return Count(Verdict::Same) == static_cast<int>(records.size()); }
};

BlockComparison CompareBlock(const RecordBlock& block, const Wiring& reference);

// "98 same, 1 differs, 1 error": the same count always, the others when not 0.
std::string SummaryText(const BlockComparison& comparison);

// Slot indexes (0-based) of records wired alike. Groups hold only records with
// a pin map; they come largest first, ties by lowest slot, each ascending.
struct BlockGroups {
    std::vector<std::vector<int>> groups;
    std::vector<int> errors;   // pin count 255 or above 40
    std::vector<int> empties;  // pin count 0
    int records = 0;           // used slots

    // The records outside the largest group: every other group, errors, empties.
    int Outliers() const {
        return records - (groups.empty() ? 0 : static_cast<int>(groups.front().size()));
    }
};

BlockGroups GroupBlock(const RecordBlock& block);

// A good cable is only presumed good: when the largest group holds more than
// half of the block's records and the reference is not wired like it, this
// says so; otherwise it is empty.
std::string MajorityWarning(const RecordBlock& block, const BlockGroups& groups,
                            const Wiring& reference);

}  // namespace vark
