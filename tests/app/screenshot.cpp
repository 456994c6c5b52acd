// Draws the main window with a record file open into a PNG:
//   app_screenshot RECORD_FILE OUT.png [WIDTH HEIGHT]
// or the About box:
//   app_screenshot --about OUT.png
// or the Upload Data dialog during an upload from a tester (simulator) on DEVICE:
//   app_screenshot --upload DEVICE OUT.png
// or the main window with RECORD_FILE open and every row compared with row N:
//   app_screenshot --compare N RECORD_FILE OUT.png [WIDTH HEIGHT]
// or each chart of the statistics tab over a made-up production of ten days,
// as OUT_DIR/statistics-lots.png, -days.png and -causes.png (after --dark
// the names end in -dark):
//   app_screenshot --statistics OUT_DIR
// or the History window over a made-up archive of a few days' uploads in FOLDER:
//   app_screenshot --history FOLDER OUT.png
// Any of them in a dark palette with --dark first.
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "app/about_dialog.h"
#include "app/compare_view.h"
#include "app/file_dialogs.h"
#include "app/history_window.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/statistics_pane.h"
#include "app/upload_dialog.h"
#include "archive/sqlite_archive.h"
#include "records/sample_records.h"

#include "app_test_support.h"

using vark::test::Child;

namespace {

// Ten days of a harness line: lots of 4 runs of 50 cables, a few opens,
// crossed pairs and errors, more of them on some days; one lot without a
// golden reference (not judged).
bool MakeProduction(vark::archive::SqliteArchive& archive) {
    auto harness = [](int open, int crossed) {
        vark::RecordBuilder b(12);
        for (int i = 1; i <= 12; ++i) {
            if (i == crossed || i == crossed + 1) {
                b.Connect(i, i == crossed ? crossed + 1 : crossed);
            } else if (i != open) {
                b.Connect(i, i);
            }
        }
        return b.Grounds().Build();
    };
    const vark::TestRecord good = harness(0, 0);
    vark::TestRecord error = good;
    error.bytes[0] = vark::kPinCountError;
    vark::archive::NewGolden golden;
    golden.part = "HX-1200";
    golden.record = good;
    golden.source = "test 001 of golden.vku";
    golden.author = "M. Example";
    golden.station = "line-1";
    if (!archive.SetGolden(golden)) {
        return false;
    }
    const vark::archive::TimeMs start = 1764576000000;  // 2025-12-01 08:00 UTC
    int n = 0;
    for (int day = 0; day < 10; ++day) {
        for (int run = 0; run < 4; ++run, ++n) {
            vark::RecordBlock block{};
            block.count = 50;
            const int faults = 1 + (n * 7 + day * 3) % 5 + (day == 6 ? 6 : 0);
            for (int i = 0; i < 50; ++i) {
                block.slots[i] = good;
            }
            for (int k = 0; k < faults; ++k) {
                const int kind = (n + k * 3) % 10;
                block.slots[(k * 11 + n) % 50] = kind < 4   ? harness(3, 0)
                                                 : kind < 6 ? harness(0, 7)
                                                 : kind < 8 ? harness(10, 0)
                                                 : kind < 9 ? harness(0, 1)
                                                            : error;
            }
            block.slots[49].bytes[vark::kReservedOffset] = static_cast<std::uint8_t>(n);
            vark::archive::NewRun r;
            r.started = start + day * 86400000LL + run * 7200000LL;
            r.ended = r.started + 300000;
            r.station = run % 2 ? "line-2" : "line-1";
            r.operatorName = "operator";
            r.testerSerial = "VK-0001";
            r.lot = "W" + std::to_string(49 + day / 3) + "-" + std::to_string(day % 3 + 1);
            r.part = day == 3 ? "HX-1300" : "HX-1200";
            r.program = "app_screenshot";
            r.block = block;
            if (!archive.Commit(r)) {
                return false;
            }
        }
    }
    return true;
}

// Three days of uploads on two lines: most runs compared with the part's
// good cable, one imported file, one run without a reference.
bool MakeDemoArchive(const std::string& file) {
    auto opened = vark::archive::SqliteArchive::Open(file);
    if (!opened) {
        std::fprintf(stderr, "%s\n", opened.error().message.c_str());
        return false;
    }
    const vark::TestRecord good = vark::RecordBuilder(10).Straight().Grounds().Build();
    const QDateTime first(QDate(2026, 11, 30), QTime(7, 42, 5));
    const char* lots[] = {"WO-2291", "WO-2291", "WO-2291", "WO-2292", "WO-2292", "WO-2292",
                          "WO-2292", "WO-2293", "WO-2293", "WO-2293", "WO-2293", "WO-2294"};
    for (int n = 0; n < 12; ++n) {
        vark::archive::NewRun run;
        run.started = first.addSecs(n * 15731LL).toMSecsSinceEpoch();
        run.ended = run.started + 6400;
        run.station = n % 3 == 2 ? "line-2" : "line-1";
        run.operatorName = n % 3 == 2 ? "jens" : (n < 6 ? "mara" : "ottilie");
        run.source = vark::archive::Source::Upload;
        run.port = "/dev/ttyUSB0";
        run.testerSerial = n % 3 == 2 ? "VK0419" : "VK0412";
        run.lot = lots[n];
        run.part = n < 7 ? "HX-10-A" : "HX-10-B";
        run.program = "VARK-u";
        run.block = vark::ProductionRunBlock();
        run.block.count = static_cast<std::uint8_t>(12 + n % 9);
        run.block.slots[0].bytes[vark::kReservedOffset] = static_cast<std::uint8_t>(n);
        if (n % 4 != 1) {
            for (int i = 4; i < run.block.count; i += 1 + n % 3) {
                run.block.slots[i] = good;
            }
        }
        if (n != 9) {
            run.reference = good;
            run.referenceLabel = "golden reference of part " + run.part;
        }
        if (n == 5) {
            run.source = vark::archive::Source::Import;
            run.fileName = "/srv/cables/WO-2292-rework.vku";
            run.testerSerial.clear();
        }
        if (!opened.value()->Commit(run)) {
            return false;
        }
    }
    return true;
}

// `dark`: the palette is dark, and the names say so.
int StatisticsShots(const QString& outDir, bool dark) {
    QTemporaryDir dir;
    auto opened = vark::archive::SqliteArchive::Open(dir.filePath("archive.sqlite3").toStdString());
    if (!opened || !MakeProduction(*opened.value())) {
        std::fprintf(stderr, "could not make the archive\n");
        return 1;
    }
    vark::StatisticsPane pane(opened.value().get());
    pane.resize(1100, 860);
    pane.show();
    QApplication::processEvents();
    const char* names[] = {"lots", "days", "causes"};
    int status = 0;
    QTimer::singleShot(300, &pane, [&] {
        for (int c = 0; c < vark::StatisticsPane::ChartCount; ++c) {
            const QString out =
                QDir(outDir).filePath(QStringLiteral("statistics-%1%2.png")
                                          .arg(QString::fromLatin1(names[c]), dark ? "-dark" : ""));
            const QString failed = pane.Export(static_cast<vark::StatisticsPane::Chart>(c), out);
            if (!failed.isEmpty()) {
                std::fprintf(stderr, "%s\n", failed.toLocal8Bit().constData());
                status = 1;
            }
        }
        QApplication::quit();
    });
    QApplication::exec();
    return status;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const bool dark = argc > 1 && std::strcmp(argv[1], "--dark") == 0;
    if (dark) {
        QPalette dark;
        const QColor window(0x35, 0x35, 0x35);
        const QColor text(0xEE, 0xEE, 0xEC);
        for (const auto role : {QPalette::Window, QPalette::Button, QPalette::AlternateBase}) {
            dark.setColor(role, window);
        }
        for (const auto role :
             {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::ToolTipText}) {
            dark.setColor(role, text);
        }
        dark.setColor(QPalette::Base, QColor(0x2D, 0x2D, 0x2D));
        dark.setColor(QPalette::ToolTipBase, QColor(0x40, 0x40, 0x30));
        dark.setColor(QPalette::Highlight, QColor(0x15, 0x53, 0x9E));
        dark.setColor(QPalette::HighlightedText, Qt::white);
        dark.setColor(QPalette::PlaceholderText, QColor(0x99, 0x99, 0x99));
        QApplication::setPalette(dark);
        ++argv;
        --argc;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: app_screenshot RECORD_FILE OUT.png [WIDTH HEIGHT]\n");
        return 2;
    }
    if (std::strcmp(argv[1], "--statistics") == 0) {
        return StatisticsShots(QString::fromLocal8Bit(argv[2]), dark);
    }
    if (std::strcmp(argv[1], "--about") == 0) {
        vark::AboutDialog about;
        about.show();
        QApplication::processEvents();
        return about.grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    }
    if (std::strcmp(argv[1], "--upload") == 0 && argc > 3) {
        vark::BridgePort tester;
        tester.vendorId = vark::kVendorSiliconBridge;
        tester.path = argv[2];
        tester.tester = true;
        vark::UploadDialog::SetDiscoveryOverride([tester] { return std::vector{tester}; });
        // The connection box is answered at once; the picture is of the dialog.
        vark::SetMessageInterceptor([](QWidget*, const QString&) { return 0x400; });
        vark::MainWindow main;
        vark::UploadDialog upload(&main, [&main](const vark::RecordBlock& b) { main.SetBlock(b); });
        // The Run details as an operator fills them in; nothing is archived.
        upload.SetRunDetails({"24-0305-A", "HX-1040", "m.keller"}, true);
        upload.show();
        Child<QPushButton>(upload, "UploadDataButton")->click();
        int status = 1;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (upload.ProgressPos() >= 80) {
                poll.stop();
                status = upload.grab().save(QString::fromLocal8Bit(argv[3])) ? 0 : 1;
                upload.reject();
            }
        });
        poll.start(20);
        QTimer::singleShot(20000, &upload, &QDialog::reject);
        upload.exec();
        return status;
    }
    if (std::strcmp(argv[1], "--history") == 0 && argc > 3) {
        vark::archive::ArchiveConfig config;
        config.file = std::string(argv[2]) + "/archive.sqlite3";
        if (!MakeDemoArchive(config.file)) {
            return 1;
        }
        vark::MainWindow main;
        main.SetArchiveConfig(config);
        main.ShowHistory();
        vark::HistoryWindow* history = main.History();
        history->resize(1000, 520);
        history->SelectRow(2);
        int status = 1;
        QTimer::singleShot(300, &main, [&] {
            status = history->grab().save(QString::fromLocal8Bit(argv[3])) ? 0 : 1;
            main.reject();
        });
        main.exec();
        return status;
    }
    int compareRow = -1;
    if (std::strcmp(argv[1], "--compare") == 0 && argc > 4) {
        compareRow = std::atoi(argv[2]) - 1;
        argv += 2;
        argc -= 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    const int width = argc > 4 ? std::atoi(argv[3]) : 1000;
    const int height = argc > 4 ? std::atoi(argv[4]) : 460;

    vark::FileDialogHooks hooks;
    hooks.open = [file](QWidget*) { return file; };
    vark::SetFileDialogHooks(hooks);

    vark::MainWindow dlg;
    dlg.resize(width, height);
    dlg.show();
    dlg.OpenRecordFile();
    if (compareRow >= 0) {
        Child<vark::CompareView>(dlg, "CompareView")->UseAsReference(compareRow);
    }
    int status = 1;
    // Let the window settle (layout, first paint) before taking the picture.
    QTimer::singleShot(300, &dlg, [&] {
        status = dlg.grab().save(out) ? 0 : 1;
        dlg.reject();
    });
    dlg.exec();
    return status;
}
