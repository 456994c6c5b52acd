// The test report of a full block (100 records, 20 pages): into a PDF file
// through Qt, and on the recording surface to see the engine's own share.
#include <benchmark/benchmark.h>

#include <QString>
#include <filesystem>

#include "bench_blocks.h"
#include "report/qt_page_surface.h"
#include "report/record_report.h"
#include "testing/recording_surface.h"
#include "testing/temp_dir.h"

namespace {

vark::ReportHooks Hooks(vark::ChooserFactory chooser) {
    vark::ReportHooks hooks;
    hooks.printDialog = std::move(chooser);
    return hooks;
}

void BM_Report100ToPdf(benchmark::State& state) {
    vark::EnsureGuiApplication();
    const vark::RecordBlock block = vark::bench::FortyPinBlock();
    const vark::test::TempDir dir;
    const auto path = dir.path() / "report.pdf";
    const QString file = QString::fromStdString(path.string());
    bool ok = true;
    for (auto _ : state) {
        vark::PdfFileChooser chooser(file, vark::PdfFileChooser::PageSize::A4);
        auto written = chooser.written();
        vark::PrintReport(
            block, Hooks([&chooser] { return std::make_unique<vark::PdfFileChooser>(chooser); }));
        ok = ok && *written;
    }
    if (!ok) {
        state.SkipWithError("the PDF was not written");
    }
    state.counters["pages"] = 20;
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
}
BENCHMARK(BM_Report100ToPdf)->Unit(benchmark::kMillisecond);

void BM_Report100Recorded(benchmark::State& state) {
    const vark::RecordBlock block = vark::bench::FortyPinBlock();
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
        vark::PrintReport(block, Hooks([rec] {
                              auto c = std::make_unique<Chooser>();
                              c->s = rec;
                              return c;
                          }));
        benchmark::DoNotOptimize(rec->calls.size());
    }
}
BENCHMARK(BM_Report100Recorded)->Unit(benchmark::kMillisecond);

}  // namespace
