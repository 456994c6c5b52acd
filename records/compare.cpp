#include "records/compare.h"

#include <algorithm>
#include <bit>

#include "records/pin_map.h"

namespace vark {
namespace {

std::string ContactOf(char side, int contact) {
    return ContactName(side, contact, contact == kGroundContact);
}

// Contacts numbered as a Connection numbers them: pins 1..40, the ground 41.
int ContactNumber(int bitOrIndex) {
    return bitOrIndex + 1;
}

void AddConnections(std::vector<Connection>& out, int aIndex, std::uint64_t bits) {
    while (bits != 0) {
        const int b = std::countr_zero(bits);
        out.push_back({static_cast<std::uint8_t>(ContactNumber(aIndex)),
                       static_cast<std::uint8_t>(ContactNumber(b))});
        bits &= bits - 1;
    }
}

std::string JoinNames(const std::vector<Connection>& list) {
    std::string out;
    for (const Connection& c : list) {
        if (!out.empty()) {
            out += ' ';
        }
        out += ConnectionName(c);
    }
    return out;
}

std::uint64_t WiringHash(const Wiring& w) {
    std::uint64_t h = 0x9E3779B97F4A7C15u ^ w.pinCount;
    for (std::uint64_t r : w.reach) {
        h = (h ^ r) * 0xFF51AFD7ED558CCDu;
        h ^= h >> 29;
    }
    return h;
}

// Most records of a run are wired like the reference: their rows are read
// straight against it, and only the others get a whole graph and lists.
bool WiredAs(const Wiring& reference, const TestRecord& record) {
    const int n = record.PinCount();
    if (n != reference.pinCount || !HasPinMap(record.PinCount())) {
        return false;
    }
    for (int k = 0; k < n; ++k) {
        if (RowReach(record, k) != reference.reach[static_cast<std::size_t>(k)]) {
            return false;
        }
    }
    return RowReach(record, n) == reference.reach[kAGroundIndex];
}

}  // namespace

Wiring ReadWiring(const TestRecord& record) {
    Wiring w;
    w.pinCount = record.PinCount();
    if (!HasPinMap(w.pinCount)) {
        return w;
    }
    const int n = w.pinCount;
    for (int k = 0; k < n; ++k) {
        w.reach[static_cast<std::size_t>(k)] = RowReach(record, k);
    }
    w.reach[kAGroundIndex] = RowReach(record, n);
    return w;
}

bool SameWiring(const TestRecord& a, const TestRecord& b) {
    return ReadWiring(a) == ReadWiring(b);
}

std::string ConnectionName(Connection c) {
    return ContactOf('A', c.a) + "-" + ContactOf('B', c.b);
}

std::string_view VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Same:
            return "same";
        case Verdict::Differs:
            return "differs";
        case Verdict::PinCount:
            return "pin-count";
        case Verdict::Error:
            return "error";
        case Verdict::Empty:
            return "empty";
    }
    return "error";
}

RecordComparison Compare(const Wiring& reference, const Wiring& record) {
    RecordComparison out;
    out.referencePins = reference.pinCount;
    out.recordPins = record.pinCount;
    if (record.pinCount == kPinCountEmpty) {
        out.verdict = Verdict::Empty;
        return out;
    }
    if (!HasPinMap(record.pinCount)) {
        out.verdict = Verdict::Error;
        return out;
    }
    if (reference.pinCount != record.pinCount) {
        out.verdict = Verdict::PinCount;
        return out;
    }
    if (reference.reach == record.reach) {
        return out;
    }
    out.verdict = Verdict::Differs;
    // Side-A pins 1..40 come before A's ground, side-B pins before B's
    // ground: index and bit order are already the order of the lists.
    for (std::size_t a = 0; a < reference.reach.size(); ++a) {
        const std::uint64_t ref = reference.reach[a];
        const std::uint64_t rec = record.reach[a];
        AddConnections(out.missing, static_cast<int>(a), ref & ~rec);
        AddConnections(out.extra, static_cast<int>(a), rec & ~ref);
    }
    return out;
}

RecordComparison Compare(const TestRecord& reference, const TestRecord& record) {
    return Compare(ReadWiring(reference), ReadWiring(record));
}

std::string DescribeComparison(const RecordComparison& c) {
    switch (c.verdict) {
        case Verdict::Differs: {
            std::string out = "differs:";
            if (!c.missing.empty()) {
                out += " missing " + JoinNames(c.missing);
            }
            if (!c.extra.empty()) {
                out += c.missing.empty() ? " extra " : "; extra ";
                out += JoinNames(c.extra);
            }
            return out;
        }
        case Verdict::PinCount:
            return "other pin count: reference " + std::to_string(c.referencePins) + ", record " +
                   std::to_string(c.recordPins);
        default:
            return std::string(VerdictName(c.verdict));
    }
}

std::string ReferenceProblem(const TestRecord& reference, std::string_view name) {
    const int n = reference.PinCount();
    if (n == kPinCountEmpty) {
        return std::string(name) +
               " cannot be the reference: it is an empty slot (no test stored).";
    }
    if (!HasPinMap(reference.PinCount())) {
        return std::string(name) + " cannot be the reference: it is a record in error (pin count " +
               std::to_string(n) + ").";
    }
    return {};
}

BlockComparison CompareBlock(const RecordBlock& block, const Wiring& reference) {
    BlockComparison out;
    const std::size_t used = UsedSlots(block);
    out.records.reserve(used);
    for (std::size_t d = 0; d < used; ++d) {
        const TestRecord& rec = block.slots[d];
        RecordComparison& c = out.records.emplace_back();
        if (WiredAs(reference, rec)) {
            c.referencePins = c.recordPins = rec.PinCount();
        } else {
            c = Compare(reference, ReadWiring(rec));
        }
        ++out.counts[static_cast<std::size_t>(c.verdict)];
    }
    return out;
}

std::string SummaryText(const BlockComparison& comparison) {
    std::string out = std::to_string(comparison.Count(Verdict::Same)) + " same";
    const struct {
        Verdict verdict;
        const char* words;
    } others[] = {{Verdict::Differs, " differs"},
                  {Verdict::PinCount, " other pin count"},
                  {Verdict::Error, " error"},
                  {Verdict::Empty, " empty"}};
    for (const auto& o : others) {
        if (const int n = comparison.Count(o.verdict); n != 0) {
            out += ", " + std::to_string(n) + o.words;
        }
    }
    return out;
}

BlockGroups GroupBlock(const RecordBlock& block) {
    BlockGroups out;
    const std::size_t used = UsedSlots(block);
    out.records = static_cast<int>(used);

    struct Found {
        std::uint64_t hash;
        Wiring wiring;
    };
    std::vector<Found> found;  // one per group, in the order the groups were met
    found.reserve(used);
    for (std::size_t d = 0; d < used; ++d) {
        const TestRecord& rec = block.slots[d];
        const int slot = static_cast<int>(d);
        if (rec.PinCount() == kPinCountEmpty) {
            out.empties.push_back(slot);
            continue;
        }
        if (!HasPinMap(rec.PinCount())) {
            out.errors.push_back(slot);
            continue;
        }
        Found f{0, ReadWiring(rec)};
        f.hash = WiringHash(f.wiring);
        std::size_t g = 0;
        while (g < found.size() && (found[g].hash != f.hash || !(found[g].wiring == f.wiring))) {
            ++g;
        }
        if (g == found.size()) {
            found.push_back(f);
            out.groups.emplace_back();
        }
        out.groups[g].push_back(slot);
    }
    // Groups were met in order of their lowest slot, so a stable sort by size
    // leaves ties in that order.
    std::stable_sort(out.groups.begin(), out.groups.end(),
                     [](const auto& x, const auto& y) { return x.size() > y.size(); });
    return out;
}

std::string MajorityWarning(const RecordBlock& block, const BlockGroups& groups,
                            const Wiring& reference) {
    if (groups.groups.empty()) {
        return {};
    }
    const std::vector<int>& largest = groups.groups.front();
    const int size = static_cast<int>(largest.size());
    if (2 * size <= groups.records ||
        ReadWiring(block.slots[static_cast<std::size_t>(largest.front())]) == reference) {
        return {};
    }
    return "Warning: " + std::to_string(size) + " of the " + std::to_string(groups.records) +
           " records are wired alike (first test " + TestNumber(largest.front()) +
           ") and unlike the reference: the reference itself may be the bad cable.";
}

}  // namespace vark
