// The text of one pin-map list row: test number, pin-count label and the
// pin map proper, cut into lines of at most 64 characters.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "records/record_block.h"

namespace vark {

inline constexpr int kListColumns = 8;
inline constexpr int kPinMapColumns = kListColumns - 2;  // columns 2..7
inline constexpr std::size_t kPinMapLineLimit = 64;

struct PinMapRow {
    std::string id;                  // column 0: "%03d" of slot + 1
    std::string pin;                 // column 1: "(Empty)", "(Err)" or "(%02dpin)"
    std::vector<std::string> lines;  // pin map lines, first one for column 2
};

PinMapRow BuildPinMapRow(const TestRecord& record, int slot);

// The test number of a slot as the list's first column shows it: "003" for slot 2.
std::string TestNumber(int slot);

// One contact in the pin map's words: side 'A' or 'B' with a two-digit pin
// ("A03"), or that side's ground ("AGD", "BGD").
std::string ContactName(char side, int pin, bool ground);

// One group of the pin map in structured form, in the order the map prints
// them: the side-A members (head first) and the head's side-B connections.
struct PinGroup {
    std::vector<int> aPins;  // 1-based side-A pins
    bool aGround = false;    // A's ground is a member
    std::vector<int> bPins;  // 1-based side-B pins
    bool bGround = false;    // connected to B's ground
};

// Empty for records without a pin map (pin count 0 or 41..255).
std::vector<PinGroup> BuildPinGroups(const TestRecord& record);

// The eight cells as the list shows them: lines past the sixth have no column.
std::array<std::string, kListColumns> PinMapCells(const PinMapRow& row);

// Cells of every used slot, in slot order.
std::vector<std::array<std::string, kListColumns>> PinMapTable(const RecordBlock& block);

}  // namespace vark
