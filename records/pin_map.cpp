#include "records/pin_map.h"

namespace vark {
namespace {

// Tokens are at most five characters: two blanks or a dash, a side letter and
// two digits or "GD".
struct Token {
    char text[5];
    std::size_t len;
};

// A contact's three characters: side letter, then two digits or "GD".
std::size_t WriteContact(char* out, char side, int number, bool ground) {
    out[0] = side;
    if (ground) {
        out[1] = 'G';
        out[2] = 'D';
    } else {
        out[1] = static_cast<char>('0' + (number / 10) % 10);
        out[2] = static_cast<char>('0' + number % 10);
    }
    return 3;
}

Token MakeToken(bool head, char side, int number, bool ground) {
    Token t{};
    std::size_t i = 0;
    if (head) {
        t.text[i++] = ' ';
        t.text[i++] = ' ';
    } else {
        t.text[i++] = '-';
    }
    t.len = i + WriteContact(t.text + i, side, number, ground);
    return t;
}

class LineCutter {
  public:
    explicit LineCutter(std::vector<std::string>& lines) : lines_(lines) { current_.reserve(64); }

    void Add(const Token& t) {
        if (current_.size() + t.len > kPinMapLineLimit) {
            lines_.push_back(std::move(current_));
            current_.clear();
            current_.reserve(64);
        }
        current_.append(t.text, t.len);
    }

    void Finish() { lines_.push_back(std::move(current_)); }

  private:
    std::vector<std::string>& lines_;
    std::string current_;
};

// Entries 0..n-1 are side-A pins, entry n is A's ground. Each non-empty entry
// links to the nearest earlier entry of the same signature, so groups form
// ascending chains whose head is the first non-follower.
struct ConnectionTable {
    std::array<Connections, kMaxPins + 1> conn;
    std::array<bool, kMaxPins + 1> follower{};
    std::array<std::uint8_t, kMaxPins + 1> next{};

    ConnectionTable(const TestRecord& record, int n) {
        // The nearest earlier entry with a given signature (list length, first
        // element) is simply the last one seen with it.
        std::array<std::int8_t, (kMaxPins + 2) * (kMaxPins + 2)> lastWith;
        lastWith.fill(-1);
        for (int m = 0; m <= n; ++m) {
            conn[m] = GetConnections(record, m);
            if (conn[m].empty()) {
                continue;
            }
            // Only length and first element are compared: that is the tester's
            // own grouping rule, and the printed map depends on it.
            const int key = conn[m].size * (kMaxPins + 2) + conn[m].front();
            if (lastWith[key] >= 0) {
                next[lastWith[key]] = static_cast<std::uint8_t>(m);
                follower[m] = true;
            }
            lastWith[key] = static_cast<std::int8_t>(m);
        }
    }
};

}  // namespace

std::string TestNumber(int slot) {
    const int v = slot + 1;
    std::string s(3, '0');
    s[0] = static_cast<char>('0' + (v / 100) % 10);
    s[1] = static_cast<char>('0' + (v / 10) % 10);
    s[2] = static_cast<char>('0' + v % 10);
    return s;
}

std::string ContactName(char side, int pin, bool ground) {
    char text[3];
    return std::string(text, WriteContact(text, side, pin, ground));
}

PinMapRow BuildPinMapRow(const TestRecord& record, int slot) {
    PinMapRow row;
    row.id = TestNumber(slot);
    const int n = record.PinCount();
    if (n == kPinCountEmpty) {
        row.pin = "(Empty)";
        return row;
    }
    if (!HasPinMap(record.PinCount())) {
        // 255, and the out-of-model counts 41..254, which no table can hold.
        row.pin = "(Err)";
        return row;
    }
    row.pin = "(" + std::string{static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10)} +
              "pin)";

    const ConnectionTable table(record, n);

    LineCutter cutter(row.lines);
    for (int m = 0; m <= n; ++m) {
        if (table.follower[m]) {
            continue;
        }
        cutter.Add(MakeToken(true, 'A', m + 1, m == n));
        for (int c = table.next[m]; c != 0; c = table.next[c]) {
            cutter.Add(MakeToken(false, 'A', c + 1, c == n));
        }
        for (std::uint8_t p : table.conn[m]) {
            cutter.Add(MakeToken(false, 'B', p, p == n + 1));
        }
    }
    cutter.Finish();
    return row;
}

std::vector<PinGroup> BuildPinGroups(const TestRecord& record) {
    std::vector<PinGroup> groups;
    if (!HasPinMap(record.PinCount())) {
        return groups;
    }
    const int n = record.PinCount();
    const ConnectionTable table(record, n);
    for (int m = 0; m <= n; ++m) {
        if (table.follower[m]) {
            continue;
        }
        PinGroup g;
        for (int c = m;; c = table.next[c]) {
            if (c == n) {
                g.aGround = true;
            } else {
                g.aPins.push_back(c + 1);
            }
            if (table.next[c] == 0) {
                break;
            }
        }
        for (std::uint8_t p : table.conn[m]) {
            if (p == n + 1) {
                g.bGround = true;
            } else {
                g.bPins.push_back(p);
            }
        }
        groups.push_back(std::move(g));
    }
    return groups;
}

std::array<std::string, kListColumns> PinMapCells(const PinMapRow& row) {
    std::array<std::string, kListColumns> cells;
    cells[0] = row.id;
    cells[1] = row.pin;
    for (std::size_t i = 0; i < row.lines.size() && i < kPinMapColumns; ++i) {
        cells[2 + i] = row.lines[i];
    }
    return cells;
}

std::vector<std::array<std::string, kListColumns>> PinMapTable(const RecordBlock& block) {
    std::vector<std::array<std::string, kListColumns>> table;
    const std::size_t used = UsedSlots(block);
    table.reserve(used);
    for (std::size_t d = 0; d < used; ++d) {
        table.push_back(PinMapCells(BuildPinMapRow(block.slots[d], static_cast<int>(d))));
    }
    return table;
}

}  // namespace vark
