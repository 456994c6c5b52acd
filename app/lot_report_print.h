// "Print Lot Report": the lot report of one lot through the print dialog,
// as the Print command prints the test report. The History window calls it
// for the lot it shows.
#pragma once

#include <string>

class QWidget;

namespace vark {
namespace archive {
class ArchiveReader;
class StatisticsSource;
}  // namespace archive

inline constexpr char kPrintLotReportText[] = "Print Lot Report";

// Gathers `lot` from the archive and prints its report. An unknown lot and
// an archive that cannot be read are said over `parent` before any dialog; a
// cancelled dialog says nothing; a job that did not complete says so.
// True when the report was printed.
bool PrintLotReportOf(QWidget* parent, archive::ArchiveReader& reader,
                      archive::StatisticsSource& source, const std::string& lot);

}  // namespace vark
