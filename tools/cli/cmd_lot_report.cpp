// archive report: the lot report written to a PDF file, without a dialog.
#include <cstdio>
#include <filesystem>
#include <string>

#include "archive/statistics.h"
#include "platform/file_io.h"
#include "records/record_file.h"
#include "report/lot_report.h"
#include "tools/cli/archive_cli.h"
#include "tools/cli/pdf_output.h"

namespace vark::cli {
namespace {

constexpr std::string_view kSqliteMagic{"SQLite format 3\0", 16};

int LotReport(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(ServerFlag(args), {"--archive", "--lot", "-o", "--page-size", "--server"},
                        {"--force", "--from-server"}, a) ||
        !a.names.empty() || !a.Has("--lot") || !a.Has("-o")) {
        return ArchiveUsage();
    }
    const std::string out = a.Value("-o");
    const std::string size = a.Value("--page-size", "A4");
    if (size != "A4" && size != "Letter") {
        return ArchiveUsage();
    }
    const StatisticsReader store = OpenStatistics(a, a.Has("--from-server"));
    if (!store) {
        return kExitFailed;
    }
    // The station's archive is never what a report replaces, whichever one
    // the report is made from, and a slip of the options must not turn
    // records or a database into a report.
    Arguments where = a;
    where.options.erase("--operator");
    std::error_code ec;
    if (std::filesystem::equivalent(out, ArchiveConfigFor(where).file, ec)) {
        return Fail(out + " is the archive, not replaced");
    }
    std::string start;
    if (!a.Has("--force") && !platform::ReadFileStart(out, kSqliteMagic.size(), start)) {
        if (StartsWithRecordMagic(start)) {
            return Fail(out + " is a record file, not replaced (--force replaces it)");
        }
        if (start == kSqliteMagic) {
            return Fail(out + " is a database, not replaced (--force replaces it)");
        }
    }
    const auto lot = archive::GatherLot(*store.reader, *store.source, a.Value("--lot"));
    if (!lot) {
        return Fail(lot.error().message);
    }

    PdfOutput pdf(out, size);
    LotReportHooks hooks;
    hooks.printDialog = pdf.Chooser();
    PrintLotReport(*lot, hooks);
    if (const int status = pdf.Finish(); status != kExitOk) {
        return status;
    }
    std::printf("report of lot %s written to %s\n", lot->lot.c_str(), out.c_str());
    return FinishOutput();
}

const RegisterArchive kLotReport{
    {"report",
     "  report --lot L -o OUT.pdf [--page-size A4|Letter] [--force] [--server[=URL]]\n"
     "      the lot report: its facts, first-pass yield and failure causes, then its failed\n"
     "      records (a record file or a database is replaced only with --force)\n",
     LotReport}};

}  // namespace
}  // namespace vark::cli
