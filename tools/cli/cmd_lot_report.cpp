// archive report: the lot report written to a PDF file, without a dialog.
#include <QGuiApplication>
#include <filesystem>
#include <string>

#include "archive/statistics.h"
#include "platform/file_io.h"
#include "records/record_file.h"
#include "report/lot_report.h"
#include "report/qt_page_surface.h"
#include "tools/cli/archive_cli.h"

namespace vark::cli {
namespace {

constexpr std::string_view kSqliteMagic{"SQLite format 3\0", 16};

int LotReport(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(args, {"--archive", "--lot", "-o", "--page-size"}, {"--force"}, a) ||
        !a.names.empty() || !a.Has("--lot") || !a.Has("-o")) {
        return ArchiveUsage();
    }
    const std::string out = a.Value("-o");
    const std::string size = a.Value("--page-size", "A4");
    if (size != "A4" && size != "Letter") {
        return ArchiveUsage();
    }
    auto store = ForReading(a);
    if (!store) {
        return kExitFailed;
    }
    // The archive the report is made from is never what it replaces, and a
    // slip of the options must not turn records or a database into a report.
    std::error_code ec;
    if (std::filesystem::equivalent(out, store->Path(), ec)) {
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
    const auto lot = archive::GatherLot(*store, *store, a.Value("--lot"));
    if (!lot) {
        return Fail(lot.error().message);
    }

    PrepareQtPlatform();
    int argc = 1;
    char name[] = "vark-cli";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);

    std::shared_ptr<bool> written;
    std::shared_ptr<std::error_code> failure;
    LotReportHooks hooks;
    hooks.printDialog = [&]() -> std::unique_ptr<PrinterChooser> {
        auto chooser = std::make_unique<PdfFileChooser>(out, size == "Letter"
                                                                 ? PdfFileChooser::PageSize::Letter
                                                                 : PdfFileChooser::PageSize::A4);
        written = chooser->written();
        failure = chooser->failure();
        return chooser;
    };
    PrintLotReport(*lot, hooks);
    if (!written || !*written) {
        return Fail("cannot write " + out +
                    (failure && *failure ? ": " + failure->message() : std::string()));
    }
    std::printf("report of lot %s written to %s\n", lot->lot.c_str(), out.c_str());
    return FinishOutput();
}

const RegisterArchive kLotReport{
    {"report",
     "  report --lot L -o OUT.pdf [--page-size A4|Letter] [--force]\n"
     "      the lot report: its facts, first-pass yield and failure causes, then its failed\n"
     "      records (a record file or a database is replaced only with --force)\n",
     LotReport}};

}  // namespace
}  // namespace vark::cli
