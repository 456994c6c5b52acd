// The History window's rules, without a toolkit: its columns and their cell
// texts, the filter a person sets and the archive query made from it, the
// count line, and the checks an amendment or a void passes before it goes to
// the archive.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "archive/run.h"

namespace vark {

inline constexpr int kHistoryColumns = 10;

struct HistoryColumnInfo {
    const char* header;
    archive::RunQuery::SortKey sort;
    bool number;  // right-aligned
};

inline constexpr std::array<HistoryColumnInfo, kHistoryColumns> kHistoryColumnInfo = {{
    {"Time", archive::RunQuery::SortKey::Started, false},
    {"Lot", archive::RunQuery::SortKey::Lot, false},
    {"Part", archive::RunQuery::SortKey::Part, false},
    {"Operator", archive::RunQuery::SortKey::Operator, false},
    {"Station", archive::RunQuery::SortKey::Station, false},
    {"Tester", archive::RunQuery::SortKey::Tester, false},
    {"Records", archive::RunQuery::SortKey::Records, true},
    {"Same", archive::RunQuery::SortKey::Same, true},
    {"Differs", archive::RunQuery::SortKey::Differs, true},
    {"Errors", archive::RunQuery::SortKey::Errors, true},
}};

// A cell of the runs list: the start in local time, the tester's serial
// (the port when it gave none, "import NAME" for an imported file), the
// counts; "-" for the same and differs of a run that had no reference.
std::string HistoryCell(const archive::RunSummary& run, int column);

// What a run's tooltip adds to its cells: voided, a repeat, what it was
// compared with, the warning; one line each, empty for none.
std::string HistoryRunNotes(const archive::RunSummary& run);

// What the runs list is narrowed to. Texts match whole current values,
// but `text`, which any of a run's texts may hold; empty means any.
struct HistoryFilter {
    std::string text;
    std::string lot;
    std::string part;
    std::string operatorName;
    std::string tester;                    // the tester's USB serial string
    std::optional<archive::TimeMs> since;  // started at or after
    std::optional<archive::TimeMs> until;  // started before
    archive::RunQuery::Verdicts verdicts = archive::RunQuery::Verdicts::Any;
    bool withVoided = false;
    bool withRepeats = false;

    bool operator==(const HistoryFilter&) const = default;
};

struct VerdictChoice {
    const char* label;
    archive::RunQuery::Verdicts verdicts;
};

// The verdict choices in the order the window offers them.
inline constexpr std::array<VerdictChoice, 5> kVerdictChoices = {{
    {"Any verdict", archive::RunQuery::Verdicts::Any},
    {"All same", archive::RunQuery::Verdicts::AllSame},
    {"Some differ", archive::RunQuery::Verdicts::SomeDiffer},
    {"Some in error", archive::RunQuery::Verdicts::SomeErrors},
    {"Not judged", archive::RunQuery::Verdicts::NotJudged},
}};

// The archive query of a filter, sorted by a column of the list (ties
// newest first). Blanks around a typed value are not part of it: a value
// pasted with a trailing blank still finds its runs.
archive::RunQuery HistoryQuery(const HistoryFilter& filter, int sortColumn, bool ascending);

// The list's count line: "No runs", "1 run", "1,204 runs".
std::string RunCountText(std::int64_t runs);

// The fields an amendment may change, as the window names them.
struct AmendableField {
    const char* label;
    const char* field;  // the archive's name
};
inline constexpr std::array<AmendableField, 4> kAmendableFieldChoices = {{
    {"Lot", "lot"},
    {"Part", "part"},
    {"Operator", "operator"},
    {"Note", "note"},
}};

// A run's current value of an amendable field; empty for another name.
std::string AmendableValue(const archive::RunSummary& run, std::string_view field);

inline constexpr char kGiveReason[] = "Give a reason for the change.";
inline constexpr char kNothingChanged[] = "The new value is the value the run has already.";
inline constexpr char kAlreadyVoided[] = "The run is voided already.";

// Why an amendment from `current` to `value` may not be made (empty when it
// may): a reason is required and the value must change.
std::string AmendmentRefusal(const std::string& current, const std::string& value,
                             const std::string& why);
// The same for voiding a run.
std::string VoidRefusal(bool voided, const std::string& why);

// A typed value without the blanks around it.
std::string Trimmed(std::string_view text);

}  // namespace vark
