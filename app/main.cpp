// VARK-u: the window program of the Kelvor VARK-u cable tester.
#include <QApplication>
#include <memory>

#include "app/font_warmup.h"
#include "app/vark_app.h"
#include "platform/system.h"

int main(int argc, char* argv[]) {
    const vark::FontWarmUp fonts;
    const QString self = QString::fromStdString(vark::platform::ExecutablePath());
    // Made on this thread before any other thread touches the framework, so
    // that this one is its main thread; it ends before the QApplication does.
    auto app = std::make_unique<CVarkApp>(self);
    if (!self.isEmpty()) {
        // The lock file is written (and synced to disk) while the display
        // connection is made.
        app->BeginAcquireInstance();
    }
    QApplication application(argc, argv);
    const vark::ImageFormatWarmUp images;
    if (self.isEmpty()) {
        app = std::make_unique<CVarkApp>(QCoreApplication::applicationFilePath());
    }
    const int status = app->InitInstance();
    app.reset();
    return status;
}
