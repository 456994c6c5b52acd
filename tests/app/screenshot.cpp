// Draws the main window with a record file open into a PNG:
//   app_screenshot RECORD_FILE OUT.png [WIDTH HEIGHT]
// or the About box:
//   app_screenshot --about OUT.png
// or the Upload Data dialog during an upload from a tester (simulator) on DEVICE:
//   app_screenshot --upload DEVICE OUT.png
// or the main window with RECORD_FILE open and every row compared with row N:
//   app_screenshot --compare N RECORD_FILE OUT.png [WIDTH HEIGHT]
// Any of them in a dark palette with --dark first.
#include <QApplication>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "app/about_dialog.h"
#include "app/compare_view.h"
#include "app/file_dialogs.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/upload_dialog.h"

#include "app_test_support.h"

using vark::test::Child;

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--dark") == 0) {
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
