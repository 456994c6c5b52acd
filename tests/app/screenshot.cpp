// Draws the main window with a record file open into a PNG:
//   app_screenshot RECORD_FILE OUT.png [WIDTH HEIGHT]
// or the About box:
//   app_screenshot --about OUT.png
// or the Upload Data dialog during an upload from a tester (simulator) on DEVICE:
//   app_screenshot --upload DEVICE OUT.png
// or the main window with RECORD_FILE open and every row compared with row N:
//   app_screenshot --compare N RECORD_FILE OUT.png [WIDTH HEIGHT]
// or the History window over a made-up archive of a few days' uploads in FOLDER:
//   app_screenshot --history FOLDER OUT.png
#include <QApplication>
#include <QDateTime>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "app/about_dialog.h"
#include "app/compare_view.h"
#include "app/file_dialogs.h"
#include "app/history_window.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/upload_dialog.h"
#include "archive/sqlite_archive.h"
#include "records/sample_records.h"

#include "app_test_support.h"

using vark::test::Child;

namespace {

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

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: app_screenshot RECORD_FILE OUT.png [WIDTH HEIGHT]\n");
        return 2;
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
