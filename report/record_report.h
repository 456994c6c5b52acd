// The printed test report: the records of a block as their pin-map rows on
// paper, five records a page, with title, header and footer, drawn through the
// page engine in points.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "records/record_block.h"
#include "report/print_job.h"

namespace vark {

inline constexpr const char* kNoDataMessage = "\n    No Data to print!    \n";

// Where the report puts things, in points from the top-left corner of the
// printable area. Only the table's row boundaries depend on the page (see
// ReportLayout); every other position is one of these.
struct ReportGeometry {
    // The table and the title share the side margins: the table's left
    // border, and its right border at page width minus this.
    int sideMargin = 20;
    int titleTop = 20;
    int titleBottom = 60;
    // The table's first rule; the height between it and the bottom margin is
    // cut into kReportSteps equal steps.
    int tableTop = 70;
    int bottomMargin = 10;
    // Column dividers: ID | Pin | Pin State.
    int idColumnRight = 60;
    int pinColumnRight = 110;
    // Left edges of the texts' rectangles.
    int idHeadingLeft = 23;
    int pinHeadingLeft = 63;
    int stateHeadingLeft = 113;
    int idCellLeft = 21;
    int pinCellLeft = 61;
    int stateCellLeft = 115;
    int labelLeft = 23;         // header labels and "TestNO: "
    int rightHalfInset = 5;     // "DevID:" and the print time start this far right of the middle
    int pageNumberLeft = 110;   // the page number is right-aligned from here to the right border
    int pageNumberHeight = 20;  // below the table
    int penWidth = 3;           // printer pixels
};

inline constexpr ReportGeometry kReportGeometry{};

// Steps of the table's height: four header rows, 30 record lines and the
// footer take 35; the page number stands in the room of the last.
inline constexpr int kReportSteps = 36;

// The positions that follow from the page's printable size.
struct ReportLayout {
    int W = 0;                 // printable width
    int H = 0;                 // printable height
    int R = 0;                 // the table's right border
    int mid = 0;               // the middle divider of header and footer
    int y[kReportSteps] = {};  // row boundaries, y[0] the table's top
};
ReportLayout MakeReportLayout(int pageWidth, int pageHeight);

// What the report needs besides the records.
struct ReportHooks {
    // A modal message box with the program's caption.
    std::function<void(const std::string& text)> message;
    // Makes the print dialog (or whatever stands for it) when the engine needs it.
    ChooserFactory printDialog;
    // The local time now; nullopt when it cannot be had. Unset: the system clock.
    std::function<std::optional<std::tm>()> clock;
};

// Runs one Print command to its end: every used slot of `block`, each printed
// as its pin-map row (test number, pin-count label and up to six map lines).
// Cancelling the dialog prints nothing and says nothing.
void PrintReport(const RecordBlock& block, const ReportHooks& hooks);

// "%Y-%m-%d  %X" in the C library's default ("C") locale; empty on failure.
std::string FormatPrintTime(const std::optional<std::tm>& localTime);

}  // namespace vark
