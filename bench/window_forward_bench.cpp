// The window while it forwards a year of uploads (10,000 runs of 100
// records) to a private PostgreSQL server: the longest gap between the ticks
// of a 5 ms timer on the window's thread, against the longest gap of the
// same window idle for as long, measured in the same run. Target: no stall
// over 50 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "app/station_archive.h"
#include "archive/server/server_archive.h"
#include "archive/sqlite_archive.h"
#include "bench_blocks.h"
#include "testing/pg_server.h"

namespace {

QApplication& TheApp() {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return *app;
    }
    static int argc = 1;
    static char name[] = "vark-bench";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Never destroyed, as the other window benchmarks' (Qt's statics).
    return *new QApplication(argc, argv);
}

// The longest gap between ticks while `busy` holds (at most `limitMs`), in
// milliseconds; the time it took in `tookMs`.
double LongestGap(const std::function<bool()>& busy, int limitMs, double& tookMs) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    tick.start(5);
    while (busy() && clock.elapsed() < limitMs) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    tick.stop();
    tookMs = clock.nsecsElapsed() / 1e6;
    return longest / 1e6;
}

void BM_WindowForward10kRunsLongestStall(benchmark::State& state) {
    TheApp();
    std::string error;
    const std::string big = vark::bench::BigArchivePath(&error);
    if (big.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    auto server = vark::test::PgServer::Start(error);
    if (!server || !server->CreateDatabase("factory")) {
        state.SkipWithError(("no server: " + error).c_str());
        return;
    }
    const std::string url = server->Url("factory");
    if (auto init = vark::archive::InitServer(url, "vark-bench"); !init) {
        state.SkipWithError(init.error().message.c_str());
        return;
    }
    // A copy of its own: forwarding marks its outbox.
    const std::string station = server->Folder() + "/station.sqlite3";
    {
        auto source = vark::archive::SqliteArchive::Open(big);
        if (!source || !source.value()->BackupTo(station)) {
            state.SkipWithError("cannot copy the big archive");
            return;
        }
    }
    vark::MainWindow window;
    window.show();
    auto* control = window.findChild<QToolButton*>(QStringLiteral("ArchiveStatus"));
    double idleMs = 0;
    double forwardMs = 0;
    double idleGap = 0;
    double forwardGap = 0;
    for (auto _ : state) {
        vark::archive::ArchiveConfig config;
        config.file = station;
        config.station = "station-1";
        config.server = url;
        // The same window, idle, for a second: the baseline.
        vark::StationArchive plain([&] {
            auto c = config;
            c.server.clear();
            return c;
        }());
        window.SetArchive(&plain);
        idleGap = LongestGap([] { return true; }, 1000, idleMs);
        window.SetArchive(nullptr);

        vark::StationArchive forwarding(config);
        window.SetArchive(&forwarding);
        const auto done = [&] {
            return control->text().endsWith(QStringLiteral("(server up to date)"));
        };
        forwardGap = LongestGap([&] { return !done(); }, 120000, forwardMs);
        window.SetArchive(nullptr);
        if (!done()) {
            state.SkipWithError(("not forwarded: " + control->text().toStdString()).c_str());
            return;
        }
        state.SetIterationTime(forwardGap / 1000);
    }
    state.counters["idle_longest_gap_ms"] = idleGap;
    state.counters["forward_s"] = forwardMs / 1000;
}
BENCHMARK(BM_WindowForward10kRunsLongestStall)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
