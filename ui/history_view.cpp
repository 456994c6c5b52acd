#include "ui/history_view.h"

namespace vark {

namespace {

std::string Count(int value) {
    return value < 0 ? std::string("-") : std::to_string(value);
}

}  // namespace

std::string Trimmed(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kBlanks);
    return std::string(text.substr(first, last - first + 1));
}

std::string HistoryCell(const archive::RunSummary& run, int column) {
    switch (column) {
        case 0:
            return archive::FormatTime(run.started, "%Y-%m-%d %H:%M:%S", true);
        case 1:
            return run.lot;
        case 2:
            return run.part;
        case 3:
            return run.operatorName;
        case 4:
            return run.station;
        case 5:
            if (run.source == archive::Source::Import) {
                return "import " + run.fileName;
            }
            return run.testerSerial.empty() ? run.port : run.testerSerial;
        case 6:
            return std::to_string(run.records);
        case 7:
            return Count(run.same);
        case 8:
            return Count(run.differs);
        case 9:
            return std::to_string(run.errors);
        default:
            return {};
    }
}

std::string HistoryRunNotes(const archive::RunSummary& run) {
    std::string out;
    auto line = [&out](const std::string& text) { out += (out.empty() ? "" : "\n") + text; };
    if (run.voided) {
        line("Voided");
    }
    if (!run.repeatOf.empty()) {
        line("Repeat of run " + run.repeatOf);
    }
    if (run.same >= 0) {
        line("Compared with " + run.referenceLabel);
    } else {
        line("Not judged: no reference");
    }
    if (!run.warning.empty()) {
        line(run.warning);
    }
    if (!run.note.empty()) {
        line("Note: " + run.note);
    }
    return out;
}

archive::RunQuery HistoryQuery(const HistoryFilter& filter, int sortColumn, bool ascending) {
    archive::RunQuery q;
    q.text = Trimmed(filter.text);
    q.lot = Trimmed(filter.lot);
    q.part = Trimmed(filter.part);
    q.operatorName = Trimmed(filter.operatorName);
    q.testerSerial = Trimmed(filter.tester);
    q.since = filter.since;
    q.until = filter.until;
    q.verdicts = filter.verdicts;
    q.withVoided = filter.withVoided;
    q.withRepeats = filter.withRepeats;
    if (sortColumn >= 0 && sortColumn < kHistoryColumns) {
        q.sort = kHistoryColumnInfo[static_cast<std::size_t>(sortColumn)].sort;
    }
    q.descending = !ascending;
    return q;
}

std::string RunCountText(std::int64_t runs) {
    if (runs == 0) {
        return "No runs";
    }
    std::string digits = std::to_string(runs < 0 ? -runs : runs);
    for (auto i = static_cast<std::ptrdiff_t>(digits.size()) - 3; i > 0; i -= 3) {
        digits.insert(static_cast<std::size_t>(i), 1, ',');
    }
    return (runs < 0 ? "-" : "") + digits + (runs == 1 ? " run" : " runs");
}

std::string AmendableValue(const archive::RunSummary& run, std::string_view field) {
    if (field == "lot") {
        return run.lot;
    }
    if (field == "part") {
        return run.part;
    }
    if (field == "operator") {
        return run.operatorName;
    }
    if (field == "note") {
        return run.note;
    }
    return {};
}

std::string AmendmentRefusal(const std::string& current, const std::string& value,
                             const std::string& why) {
    if (Trimmed(why).empty()) {
        return kGiveReason;
    }
    if (value == current) {
        return kNothingChanged;
    }
    return {};
}

std::string VoidRefusal(bool voided, const std::string& why) {
    if (voided) {
        return kAlreadyVoided;
    }
    if (Trimmed(why).empty()) {
        return kGiveReason;
    }
    return {};
}

}  // namespace vark
