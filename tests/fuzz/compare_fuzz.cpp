// Record comparison on arbitrary records: a record is the same as itself,
// same and differs are symmetric, what does not belong to the wiring never
// counts, and the groups of a block split its records by identical wiring.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "fuzz_support.h"
#include "records/compare.h"

namespace {

using namespace vark;

bool IsSorted(const std::vector<Connection>& v) {
    return std::adjacent_find(v.begin(), v.end(), [](const Connection& a, const Connection& b) {
               return !(a < b);
           }) == v.end();
}

bool HasMap(const TestRecord& r) {
    return r.PinCount() >= 1 && r.PinCount() <= kMaxPins;
}

// The same record with everything outside its wiring changed: checksum,
// reserved byte, rows past the pin count and bits past it in every row.
TestRecord Disguised(const TestRecord& r) {
    TestRecord d = r;
    const int n = r.PinCount();
    d.bytes[kChecksumOffset] ^= 0xA5;
    d.bytes[kReservedOffset] ^= 0x5A;
    if (!HasMap(r)) {
        return d;
    }
    for (int row = 0; row <= kMaxPins; ++row) {
        const std::size_t at = row == kMaxPins ? kGroundRowOffset : TestRecord::RowOffset(row);
        if (row >= n && row < kMaxPins) {
            for (std::size_t i = 0; i < kRowSize; ++i) {
                d.bytes[at + i] ^= 0xFF;
            }
            continue;
        }
        for (int j = n; j < kMaxPins; ++j) {
            d.bytes[at + j / 8] ^= static_cast<std::uint8_t>(1u << (j % 8));
        }
    }
    return d;
}

// The record's connections read independently, through the pin map's own
// row lists: (pin or ground of A, pin or ground of B), ascending.
std::vector<Connection> ConnectionsOf(const TestRecord& r) {
    std::vector<Connection> out;
    const int n = r.PinCount();
    for (int row = 0; row <= n; ++row) {
        const int a = row == n ? kGroundContact : row + 1;
        for (const auto x : GetConnections(r, row)) {
            const int b = x == n + 1 ? kGroundContact : x;
            out.push_back({static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)});
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<Connection> Minus(const std::vector<Connection>& x, const std::vector<Connection>& y) {
    std::vector<Connection> out;
    std::set_difference(x.begin(), x.end(), y.begin(), y.end(), std::back_inserter(out));
    return out;
}

void CheckPair(const TestRecord& a, const TestRecord& b) {
    const bool same = SameWiring(a, b);
    FUZZ_CHECK(same == SameWiring(b, a));
    FUZZ_CHECK(same == (ReadWiring(a) == ReadWiring(b)));
    const RecordComparison ab = Compare(a, b);
    const RecordComparison ba = Compare(b, a);
    FUZZ_CHECK(IsSorted(ab.missing) && IsSorted(ab.extra));
    for (const auto& c : ab.missing) {
        FUZZ_CHECK(!std::binary_search(ab.extra.begin(), ab.extra.end(), c));
    }
    if (HasMap(a) && HasMap(b) && a.PinCount() == b.PinCount()) {
        FUZZ_CHECK((ab.verdict == Verdict::Same) == same);
        FUZZ_CHECK((ba.verdict == Verdict::Same) == same);
        FUZZ_CHECK(ab.verdict == ba.verdict);
        FUZZ_CHECK(ab.missing == ba.extra && ab.extra == ba.missing);
        FUZZ_CHECK(same == (ab.missing.empty() && ab.extra.empty()));
        // The lists are the set differences of the two records' connections.
        const std::vector<Connection> ca = ConnectionsOf(a);
        const std::vector<Connection> cb = ConnectionsOf(b);
        FUZZ_CHECK(ab.missing == Minus(ca, cb) && ab.extra == Minus(cb, ca));
    } else if (HasMap(a) && HasMap(b)) {
        FUZZ_CHECK(!same && ab.verdict == Verdict::PinCount && ba.verdict == Verdict::PinCount);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A whole block: the input from its count byte on, zeros after it.
    RecordBlock block{};
    std::memcpy(block.data(), data, std::min(size, kBlockSize));
    const TestRecord& a = block.slots[0];
    const TestRecord& b = block.slots[1];

    for (const TestRecord* r : {&a, &b}) {
        FUZZ_CHECK(SameWiring(*r, *r));
        const TestRecord d = Disguised(*r);
        FUZZ_CHECK(SameWiring(*r, d) && SameWiring(d, *r));
        const Verdict self = Compare(*r, *r).verdict;
        const int n = r->PinCount();
        FUZZ_CHECK(self == (n == 0 ? Verdict::Empty : HasMap(*r) ? Verdict::Same : Verdict::Error));
    }
    CheckPair(a, b);
    CheckPair(Disguised(a), b);
    const RecordComparison plain = Compare(a, b);
    const RecordComparison disguised = Compare(Disguised(a), Disguised(b));
    FUZZ_CHECK(plain.verdict == disguised.verdict && plain.missing == disguised.missing &&
               plain.extra == disguised.extra);

    // A block against a reference: each used slot as its own comparison says,
    // counted once.
    const BlockComparison against = CompareBlock(block, ReadWiring(a));
    FUZZ_CHECK(against.records.size() == UsedSlots(block));
    int counted = 0;
    for (int v = 0; v < kVerdictCount; ++v) {
        counted += against.Count(static_cast<Verdict>(v));
    }
    FUZZ_CHECK(counted == static_cast<int>(UsedSlots(block)));
    for (std::size_t d = 0; d < against.records.size(); ++d) {
        const RecordComparison one = Compare(a, block.slots[d]);
        FUZZ_CHECK(against.records[d].verdict == one.verdict &&
                   against.records[d].missing == one.missing &&
                   against.records[d].extra == one.extra);
    }

    // Groups: every used slot once, wired alike within a group and unlike
    // across groups, largest first, ties by lowest slot.
    const BlockGroups groups = GroupBlock(block);
    const int used = static_cast<int>(UsedSlots(block));
    FUZZ_CHECK(groups.records == used);
    std::vector<int> seen(used, 0);
    for (int s : groups.errors) {
        FUZZ_CHECK(s >= 0 && s < used && block.slots[s].PinCount() > kMaxPins);
        ++seen[s];
    }
    for (int s : groups.empties) {
        FUZZ_CHECK(s >= 0 && s < used && block.slots[s].PinCount() == 0);
        ++seen[s];
    }
    for (std::size_t g = 0; g < groups.groups.size(); ++g) {
        const auto& members = groups.groups[g];
        FUZZ_CHECK(!members.empty() && std::is_sorted(members.begin(), members.end()));
        if (g > 0) {
            const auto& prev = groups.groups[g - 1];
            FUZZ_CHECK(prev.size() > members.size() ||
                       (prev.size() == members.size() && prev.front() < members.front()));
        }
        for (std::size_t h = 0; h < g; ++h) {
            const int head = groups.groups[h].front();
            FUZZ_CHECK(!SameWiring(block.slots[head], block.slots[members.front()]));
        }
        for (int s : members) {
            FUZZ_CHECK(s >= 0 && s < used && HasMap(block.slots[s]));
            FUZZ_CHECK(SameWiring(block.slots[members.front()], block.slots[s]));
            ++seen[s];
        }
    }
    FUZZ_CHECK(std::all_of(seen.begin(), seen.end(), [](int c) { return c == 1; }));
    return 0;
}
