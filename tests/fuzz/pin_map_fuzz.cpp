// The pin-map rows of a whole block built from arbitrary bytes: labels as the
// list shows them, lines of at most 64 characters cut between tokens, and rows
// that say exactly what the structured pin groups of the JSON export say.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "records/pin_map.h"

namespace {

using namespace vark;

// A row's connections read straight from the record's bytes: side-B pins
// below n + 1, then n + 1 for B's ground when the flag is exactly 1.
std::vector<int> Connected(const TestRecord& r, int row, int n) {
    const std::size_t at = row == n ? kGroundRowOffset : TestRecord::RowOffset(row);
    std::vector<int> out;
    for (int j = 0; j < n; ++j) {
        if ((r.bytes[at + j / 8] >> (j % 8)) & 1) {
            out.push_back(j + 1);
        }
    }
    if (r.bytes[at + kRowBitsSize] == 1) {
        out.push_back(n + 1);
    }
    return out;
}

std::string Printf(const char* format, int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

// The tokens a group prints as, in order.
void AppendTokens(const PinGroup& g, std::vector<std::string>& tokens) {
    std::vector<std::string> members;
    for (int a : g.aPins) {
        members.push_back(Printf("A%02d", a));
    }
    if (g.aGround) {
        members.push_back("AGD");
    }
    for (std::size_t i = 0; i < members.size(); ++i) {
        tokens.push_back((i == 0 ? "  " : "-") + members[i]);
    }
    for (int b : g.bPins) {
        tokens.push_back(Printf("-B%02d", b));
    }
    if (g.bGround) {
        tokens.push_back("-BGD");
    }
}

void CheckGroups(const TestRecord& r, int n, const std::vector<PinGroup>& groups) {
    // Entry n stands for A's ground; every entry is in exactly one group.
    std::vector<int> groupOf(n + 1, -1);
    int previousHead = -1;
    for (std::size_t gi = 0; gi < groups.size(); ++gi) {
        const PinGroup& g = groups[gi];
        std::vector<int> members;
        for (int a : g.aPins) {
            FUZZ_CHECK(a >= 1 && a <= n);
            members.push_back(a - 1);
        }
        if (g.aGround) {
            members.push_back(n);
        }
        FUZZ_CHECK(!members.empty());
        FUZZ_CHECK(std::is_sorted(members.begin(), members.end()));
        FUZZ_CHECK(members.front() > previousHead);  // groups in the order of their heads
        previousHead = members.front();
        for (int m : members) {
            FUZZ_CHECK(groupOf[m] == -1);
            groupOf[m] = static_cast<int>(gi);
        }
        // The group shows its head's connections.
        std::vector<int> shown = g.bPins;
        for (int b : g.bPins) {
            FUZZ_CHECK(b >= 1 && b <= n);
        }
        if (g.bGround) {
            shown.push_back(n + 1);
        }
        FUZZ_CHECK(shown == Connected(r, members.front(), n));
    }
    // Entries group exactly when their lists share length and first element;
    // an unconnected entry stands alone.
    std::vector<std::vector<int>> lists;
    for (int m = 0; m <= n; ++m) {
        FUZZ_CHECK(groupOf[m] != -1);
        lists.push_back(Connected(r, m, n));
    }
    for (int a = 0; a <= n; ++a) {
        for (int b = a + 1; b <= n; ++b) {
            const bool alike = !lists[a].empty() && lists[a].size() == lists[b].size() &&
                               lists[a].front() == lists[b].front();
            FUZZ_CHECK((groupOf[a] == groupOf[b]) == alike);
        }
    }
}

void CheckLines(const std::vector<PinGroup>& groups, const std::vector<std::string>& lines) {
    std::vector<std::string> tokens;
    for (const auto& g : groups) {
        AppendTokens(g, tokens);
    }
    FUZZ_CHECK(!tokens.empty());
    // Tokens fill a line while they fit in 64 characters, never split.
    std::vector<std::string> expected(1);
    for (const auto& t : tokens) {
        if (expected.back().size() + t.size() > kPinMapLineLimit) {
            expected.emplace_back();
        }
        expected.back() += t;
    }
    for (const auto& line : lines) {
        FUZZ_CHECK(!line.empty() && line.size() <= kPinMapLineLimit);
    }
    FUZZ_CHECK(lines == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A whole block: the input from its count byte on, zeros after it.
    RecordBlock block{};
    std::memcpy(block.data(), data, std::min(size, kBlockSize));

    const auto table = PinMapTable(block);
    FUZZ_CHECK(table.size() == std::min<std::size_t>(block.count, kMaxRecords));
    for (std::size_t d = 0; d < table.size(); ++d) {
        const TestRecord& r = block.slots[d];
        const int n = r.PinCount();
        const PinMapRow row = BuildPinMapRow(r, static_cast<int>(d));
        const std::vector<PinGroup> groups = BuildPinGroups(r);
        const auto cells = table[d];
        FUZZ_CHECK(cells == PinMapCells(row));
        FUZZ_CHECK(cells[0] == Printf("%03d", static_cast<int>(d) + 1));
        if (n == 0 || n > kMaxPins) {
            FUZZ_CHECK(cells[1] == (n == 0 ? "(Empty)" : "(Err)"));
            FUZZ_CHECK(row.lines.empty() && groups.empty());
        } else {
            FUZZ_CHECK(cells[1] == Printf("(%02dpin)", n));
            CheckGroups(r, n, groups);
            CheckLines(groups, row.lines);
        }
        for (int c = 2; c < kListColumns; ++c) {
            const std::size_t line = static_cast<std::size_t>(c - 2);
            FUZZ_CHECK(cells[c] == (line < row.lines.size() ? row.lines[line] : std::string()));
        }
    }
    return 0;
}
