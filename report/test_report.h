// The printed test report: the pin-map list on paper, five records a page,
// with title, header and footer, drawn through the page engine in points.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "report/print_rx.h"

namespace vark {

inline constexpr const char* kNoDataMessage = "\n    No Data to print!    \n";

struct ReportSources {
    std::uint8_t count = 0;  // the block's record count
    // Text of list row r, column c (0..7); empty for a missing cell.
    std::function<std::string(int row, int col)> cell;
    // A modal message box with the program's caption.
    std::function<void(const std::string& text)> message;
    // Makes the print dialog (or whatever stands for it) when the engine needs it.
    ChooserFactory printDialog;
    // The local time now; nullopt when it cannot be had. Unset: the system clock.
    std::function<std::optional<std::tm>()> clock;
};

// Runs one Print command to its end. Cancelling the dialog prints nothing and
// says nothing.
void PrintReport(const ReportSources& sources);

// Page layout helpers, shared with the tests.
struct ReportLayout {
    int W = 0;
    int H = 0;
    int R = 0;
    int mid = 0;
    int y[36] = {};
};
ReportLayout MakeReportLayout(int pageWidth, int pageHeight);

// "%Y-%m-%d  %X" in the C library's default ("C") locale; empty on failure.
std::string FormatPrintTime(const std::optional<std::tm>& localTime);

}  // namespace vark
