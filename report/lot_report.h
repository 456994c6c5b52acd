// The lot report: a title page with the lot's facts (part number, golden
// reference, stations, operators, period, counted, passed and failed records,
// first-pass yield) and the Pareto chart of its failures, then the failed
// records with their differences. Pages are numbered. Drawn through the page
// engine, so it goes to any page surface: a printer, a PDF file, a recording.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/statistics.h"
#include "report/print_job.h"

namespace vark {

struct LotReportHooks {
    // Makes the print dialog (or whatever stands for it) when the engine needs it.
    ChooserFactory printDialog;
    // The local time the pages say they were printed at; unset: the system clock.
    std::function<std::optional<std::tm>()> clock;
};

// Prints the report of `lot`. False when no printer was chosen (the dialog
// cancelled): then nothing was printed.
bool PrintLotReport(const archive::LotSummary& lot, const LotReportHooks& hooks);

// The bars the title page's chart has room for: the largest causes, the
// rest folded into the last.
inline constexpr int kLotReportBars = 10;

// Words of a UTF-8 text as the page engine takes them: ill-formed bytes
// become U+FFFD.
std::u16string Utf16(const std::string& utf8);

// The text of one failed record as the report says it: "differs: missing
// A03-B03; extra A03-B04", "other pin count: reference 10, record 12", "error".
std::string FailureText(const archive::FailedRecord& record);

}  // namespace vark
