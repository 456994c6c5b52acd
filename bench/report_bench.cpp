// The test report of a full block (100 records, 20 pages): into a PDF file
// through Qt, and on the recording surface to see the engine's own share.
#include <benchmark/benchmark.h>

#include <QString>
#include <filesystem>

#include "bench_blocks.h"
#include "records/pin_map.h"
#include "report/qt_page_surface.h"
#include "report/recording_surface.h"
#include "report/test_report.h"

namespace {

std::vector<std::array<std::string, vark::kListColumns>> FullTable() {
    return vark::PinMapTable(vark::bench::FortyPinBlock());
}

vark::ReportSources Sources(const std::vector<std::array<std::string, vark::kListColumns>>& table,
                            vark::ChooserFactory chooser) {
    vark::ReportSources src;
    src.count = static_cast<std::uint8_t>(table.size());
    src.cell = [&table](int r, int c) { return table[r][c]; };
    src.printDialog = std::move(chooser);
    return src;
}

void BM_Report100ToPdf(benchmark::State& state) {
    vark::EnsureGuiApplication();
    const auto table = FullTable();
    const auto path = std::filesystem::temp_directory_path() / "vark-bench-report.pdf";
    const QString file = QString::fromStdString(path.string());
    bool ok = true;
    for (auto _ : state) {
        vark::PdfFileChooser chooser(file, vark::PdfFileChooser::PageSize::A4);
        auto written = chooser.written();
        vark::PrintReport(
            Sources(table, [&chooser] { return std::make_unique<vark::PdfFileChooser>(chooser); }));
        ok = ok && *written;
    }
    if (!ok) {
        state.SkipWithError("the PDF was not written");
    }
    state.counters["pages"] = 20;
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}
BENCHMARK(BM_Report100ToPdf)->Unit(benchmark::kMillisecond);

void BM_Report100Recorded(benchmark::State& state) {
    const auto table = FullTable();
    for (auto _ : state) {
        auto rec = std::make_shared<vark::RecordingState>();
        struct Chooser : vark::PrinterChooser {
            std::shared_ptr<vark::RecordingState> s;
            std::unique_ptr<vark::PageSurface> Choose() override {
                return std::make_unique<vark::RecordingSurface>(s);
            }
            std::unique_ptr<vark::PageSurface> ByName(const std::u16string&) override {
                return nullptr;
            }
        };
        vark::PrintReport(Sources(table, [rec] {
            auto c = std::make_unique<Chooser>();
            c->s = rec;
            return c;
        }));
        benchmark::DoNotOptimize(rec->calls.size());
    }
}
BENCHMARK(BM_Report100Recorded)->Unit(benchmark::kMillisecond);

}  // namespace
