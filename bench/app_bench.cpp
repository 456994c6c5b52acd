// Window program: start-up to the window shown, RefreshPinMap of a full
// block of 40-pin records and the statistics tab following a new filter.
// Targets: start-up under 300 ms offscreen, refresh under 5 ms, statistics
// redrawn under 50 ms over 10,000 runs.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "app/application.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/station_archive.h"
#include "app/statistics_pane.h"
#include "app/upload_dialog.h"
#include "archive/sqlite_archive.h"
#include "bench_blocks.h"
#include "bench_shared.h"
#include "device/bridge_ports.h"
#include "testing/sim_process.h"

namespace {

// The platform this program was started with, before App() picks offscreen
// for its own windows: the start-up comparison runs its children on it.
const QByteArray kGivenPlatform = qgetenv("QT_QPA_PLATFORM");

QApplication& App() {
    // Another benchmark of the window may have made it.
    if (auto* made = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return *made;
    }
    static int argc = 1;
    static char name[] = "vark-bench";
    static char* argv[] = {name, nullptr};
    // Never destroyed: at exit Qt Gui's own statics (the input devices a
    // chart view registers) may already be gone, and its destructor would
    // crash the program after the last benchmark.
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        return new QApplication(argc, argv);
    }();
    return *app;
}

void WaitExposed(QWidget& widget) {
    const QDeadlineTimer deadline(5000);
    while (!(widget.windowHandle() && widget.windowHandle()->isExposed()) &&
           !deadline.hasExpired()) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QApplication::processEvents();
}

// Construct the main window, show it and let it paint, in a running process.
void BM_AppStartUpToWindowShown(benchmark::State& state) {
    App();
    for (auto _ : state) {
        auto dlg = std::make_unique<vark::MainWindow>();
        dlg->show();
        WaitExposed(*dlg);
        benchmark::DoNotOptimize(dlg.get());
        state.PauseTiming();
        dlg.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AppStartUpToWindowShown)->Unit(benchmark::kMillisecond);

// The whole program: process start to "window shown", offscreen.
void BM_AppProcessStartUpToWindowShown(benchmark::State& state) {
    App();
    QTemporaryDir dir;
    const QString exe = dir.filePath(QStringLiteral("VARK-u-bench"));
    if (!QFile::copy(QStringLiteral(VARK_APP_BINARY), exe)) {
        state.SkipWithError("cannot copy the program");
        return;
    }
    QFile::setPermissions(exe, QFile::permissions(exe) | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vark.instance.info=true"));
    // The window's remembered places: the run's own, not the user's.
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    for (auto _ : state) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(exe, {});
        QByteArray log;
        const QDeadlineTimer deadline(10000);
        while (!log.contains("window shown") && !deadline.hasExpired() &&
               process.state() != QProcess::NotRunning) {
            process.waitForReadyRead(5);
            log += process.readAllStandardError();
        }
        state.PauseTiming();
        if (!log.contains("window shown")) {
            state.SkipWithError("the program did not show its window");
        }
        process.kill();
        process.waitForFinished(5000);
        state.ResumeTiming();
    }
    QFile::remove(vark::Application(exe).LockFilePath());
    QLocalServer::removeServer(vark::Application(exe).ServerName());
}
BENCHMARK(BM_AppProcessStartUpToWindowShown)->Unit(benchmark::kMillisecond)->Iterations(10);

// Milliseconds from starting `exe` to its first paint ("window painted"),
// or -1.
double StartToPainted(const QString& exe, const QProcessEnvironment& env) {
    QProcess process;
    process.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    process.start(exe, {});
    QByteArray log;
    const QDeadlineTimer deadline(10000);
    while (!log.contains("window painted") && !deadline.hasExpired() &&
           process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(2);
        log += process.readAllStandardError();
    }
    const double ms = log.contains("window painted") ? clock.nsecsElapsed() / 1e6 : -1;
    process.kill();
    process.waitForFinished(5000);
    return ms;
}

// The program's start-up against a bare Qt window of the same size, started
// alternately in one run on the display the benchmark is given (run it under
// xvfb-run for a real X server), both from exec to the first paint of the
// window ("window painted"): what a person sees, not only the show. The bare
// window is a plain QWidget with one QLabel, Qt's defaults and nothing else
// (bench/bare_window.cpp): like any real window it shows text, so it pays
// for the font set-up too. Same platform plugin and environment for both.
// The target: app_to_bare at most 1.2 (medians over many alternations, as
// the machine may be busy).
void BM_AppStartUpAgainstBareWindow(benchmark::State& state) {
    App();
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vark.instance.info=true"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    if (kGivenPlatform.isEmpty()) {
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    } else {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QString::fromLocal8Bit(kGivenPlatform));
    }
    std::vector<double> app;
    std::vector<double> bare;
    for (auto _ : state) {
        const double a = StartToPainted(QStringLiteral(VARK_APP_BINARY), env);
        const double b = StartToPainted(QStringLiteral(BARE_WINDOW_BINARY), env);
        if (a < 0 || b < 0) {
            state.SkipWithError("a window was not painted");
            return;
        }
        app.push_back(a);
        bare.push_back(b);
    }
    // Medians: a start that another process delays by a whole time slice
    // says nothing about the program.
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    state.counters["app_ms"] = median(app);
    state.counters["bare_ms"] = median(bare);
    state.counters["app_to_bare"] = median(bare) > 0 ? median(app) / median(bare) : 0;
}
BENCHMARK(BM_AppStartUpAgainstBareWindow)->Unit(benchmark::kMillisecond)->Iterations(31);

// The main window with the station's archive of 10,000 runs against the
// same window with an archive not made yet, alternately in one run: from
// constructing the window (with its archive) to its first paint. Target: at
// most 5 ms more (medians). The archive is counted on a thread of its own
// once the window has painted; when its count is in the status bar is told
// apart (status_ms, from the same start), as it holds nothing up.
void BM_AppStartUpWithArchive10kAgainstEmpty(benchmark::State& state) {
    App();
    std::string error;
    const std::string big = vark::bench::BigArchivePath(&error);
    if (big.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    QTemporaryDir dir;
    const auto open = [](const std::string& file, double* statusMs) {
        QElapsedTimer clock;
        clock.start();
        vark::archive::ArchiveConfig config;
        config.file = file;
        vark::StationArchive archive(config);
        auto dlg = std::make_unique<vark::MainWindow>();
        dlg->SetArchive(&archive);
        bool painted = false;
        QObject::connect(dlg.get(), &vark::MainWindow::firstPainted, [&] { painted = true; });
        dlg->show();
        const QDeadlineTimer deadline(5000);
        while (!painted && !deadline.hasExpired()) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        const double shown = clock.nsecsElapsed() / 1e6;
        while (archive.State().kind == vark::ArchiveState::Kind::Counting &&
               !deadline.hasExpired()) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        *statusMs = archive.State().kind == vark::ArchiveState::Kind::Ready
                        ? clock.nsecsElapsed() / 1e6
                        : -1;
        dlg.reset();
        QApplication::processEvents();
        return painted ? shown : -1.0;
    };
    const std::string empty = dir.filePath(QStringLiteral("none.sqlite3")).toStdString();
    std::vector<double> withBig, withEmpty, statusBig;
    for (auto _ : state) {
        double status = 0;
        double ignored = 0;
        const double b = open(big, &status);
        const double e = open(empty, &ignored);
        if (b < 0 || e < 0 || status < 0) {
            state.SkipWithError("a window was not painted or its archive not counted");
            return;
        }
        withBig.push_back(b);
        withEmpty.push_back(e);
        statusBig.push_back(status);
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    state.counters["big_ms"] = median(withBig);
    state.counters["empty_ms"] = median(withEmpty);
    state.counters["extra_ms"] = median(withBig) - median(withEmpty);  // target 5 or less
    state.counters["status_ms"] = median(statusBig);
}
BENCHMARK(BM_AppStartUpWithArchive10kAgainstEmpty)->Unit(benchmark::kMillisecond)->Iterations(31);

void BM_AppRefreshPinMap100FortyPin(benchmark::State& state) {
    App();
    vark::MainWindow dlg;
    dlg.SetBlock(vark::bench::FortyPinBlock());
    dlg.show();
    WaitExposed(dlg);
    for (auto _ : state) {
        dlg.RefreshPinMap();
        benchmark::DoNotOptimize(dlg.RowCount());
    }
}
BENCHMARK(BM_AppRefreshPinMap100FortyPin)->Unit(benchmark::kMicrosecond);

// The refresh as the user sees it: rebuilt and the list repainted.
void BM_AppRefreshPinMapAndRepaint(benchmark::State& state) {
    App();
    vark::MainWindow dlg;
    dlg.SetBlock(vark::bench::FortyPinBlock());
    dlg.show();
    WaitExposed(dlg);
    QWidget* list = dlg.findChild<QTableView*>(QStringLiteral("PinList"))->viewport();
    for (auto _ : state) {
        dlg.RefreshPinMap();
        list->repaint();
    }
}
BENCHMARK(BM_AppRefreshPinMapAndRepaint)->Unit(benchmark::kMicrosecond);

// Refresh Dev in the Upload dialog while a link runs: the link is stopped,
// the tester found again and a new link started (target under 0.2 s). The
// connection box is answered at once.
void BM_AppRefreshDevWithRunningLink(benchmark::State& state) {
    App();
    vark::test::SimProcess sim({"--records", "3", "--fast"});
    vark::BridgePort tester;
    tester.vendorId = vark::kVendorSiliconBridge;
    tester.path = sim.device();
    tester.tester = true;
    vark::UploadDialog::SetDiscoveryOverride(
        [tester] { return std::vector<vark::BridgePort>{tester}; });
    const auto previous =
        vark::SetMessageInterceptor([](QWidget*, const QString&) { return 0x400; });
    {
        vark::RecordBlock received{};
        vark::UploadDialog dlg(nullptr, [&received](const vark::RecordBlock& b) { received = b; });
        dlg.show();
        if (!dlg.LinkUp()) {
            state.SkipWithError("no link to the simulator");
        }
        for (auto _ : state) {
            dlg.findChild<QPushButton*>(QStringLiteral("RefreshDevButton"))->click();
            benchmark::DoNotOptimize(dlg.LinkUp());
        }
    }
    vark::SetMessageInterceptor(previous);
    vark::UploadDialog::SetDiscoveryOverride({});
}
BENCHMARK(BM_AppRefreshDevWithRunningLink)->Unit(benchmark::kMillisecond)->Iterations(5);

// The statistics tab over the archive of 10,000 runs: a new filter read from
// the archive and every chart drawn again, painted (target under 50 ms),
// beside the archive's own two queries for the same filter, measured in the
// same run (what no drawing can beat). `filterOf(n)` is the n-th filter.
void StatisticsRedraw(benchmark::State& state, vark::archive::RunQuery (*filterOf)(int)) {
    App();
    std::string error;
    const std::string path = vark::bench::BigArchivePath(&error);
    if (path.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    vark::archive::OpenOptions read;
    read.mode = vark::archive::OpenOptions::Mode::Read;
    auto opened = vark::archive::SqliteArchive::Open(path, read);
    if (!opened) {
        state.SkipWithError(opened.error().message.c_str());
        return;
    }
    auto& archive = *opened.value();
    vark::StatisticsPane pane(&archive);
    pane.resize(1200, 900);
    pane.show();
    WaitExposed(pane);
    double redrawSeconds = 0;
    double querySeconds = 0;
    int n = 0;
    for (auto _ : state) {
        const vark::archive::RunQuery filter = filterOf(n++);
        auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(archive.CountedRuns(filter));
        benchmark::DoNotOptimize(archive.FailedRecords(filter));
        querySeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        t0 = std::chrono::steady_clock::now();
        pane.SetFilter(filter);
        pane.repaint();  // every chart painted, not only scheduled
        const std::chrono::duration<double> redraw = std::chrono::steady_clock::now() - t0;
        state.SetIterationTime(redraw.count());
        redrawSeconds += redraw.count();
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["redraw_ms"] = redrawSeconds / iterations * 1000;  // target under 50
    state.counters["queries_ms"] = querySeconds / iterations * 1000;
    state.counters["lots"] = static_cast<double>(pane.Charts().lots.size());
    state.counters["causes"] = static_cast<double>(pane.Charts().causes.size());
}

vark::archive::RunQuery ByLot(int n) {
    vark::archive::RunQuery q;
    q.lot = "LOT-" + std::to_string(n * 37 % 100);  // 100 runs, 10,000 records
    return q;
}
vark::archive::RunQuery ByPart(int n) {
    vark::archive::RunQuery q;
    q.part = "PART-" + std::to_string(n % 10);  // 1,000 runs
    return q;
}
vark::archive::RunQuery Everything(int) {
    return {};  // all 10,000 runs, 50,000 failing records
}

void BM_StatisticsRedrawByLot10k(benchmark::State& state) {
    StatisticsRedraw(state, ByLot);
}
BENCHMARK(BM_StatisticsRedrawByLot10k)
    ->UseManualTime()
    ->Iterations(30)
    ->Unit(benchmark::kMillisecond);

void BM_StatisticsRedrawByPart10k(benchmark::State& state) {
    StatisticsRedraw(state, ByPart);
}
BENCHMARK(BM_StatisticsRedrawByPart10k)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

void BM_StatisticsRedrawWhole10k(benchmark::State& state) {
    StatisticsRedraw(state, Everything);
}
BENCHMARK(BM_StatisticsRedrawWhole10k)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

}  // namespace

QApplication& vark::bench::BenchApp() {
    return App();
}
