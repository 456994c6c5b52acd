// VARK-u: the window program of the Kelvor VARK-u cable tester.
#include <QApplication>
#include <cstdio>
#include <memory>

#include "app/application.h"
#include "app/command_line.h"
#include "app/file_names.h"
#include "app/font_warmup.h"
#include "platform/system.h"
#include "vark_version.h"

namespace {

// The arguments as given, a file name that is not UTF-8 included (Qt's own
// list replaces its bytes).
QStringList RawArguments(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << vark::FileNameFromBytes(argv[i]);
    }
    return arguments;
}

int Answer(const vark::CommandLine& line) {
    std::fputs(line.out.toLocal8Bit().constData(), stdout);
    std::fputs(line.err.toLocal8Bit().constData(), stderr);
    if (std::fflush(stdout) != 0 && line.exitStatus == 0) {
        return 1;  // the answer did not reach its reader
    }
    return line.exitStatus;
}

}  // namespace

int main(int argc, char* argv[]) {
    const QString version = QStringLiteral(VARK_VERSION);
    const QStringList raw = RawArguments(argc, argv);
    if (vark::AsksForHelpOrVersion(raw)) {
        QCoreApplication core(argc, argv);
        const QString name =
            vark::Application::AppNameFromPath(QCoreApplication::applicationFilePath());
        return Answer(vark::ParseCommandLine(QCoreApplication::arguments(), name, version));
    }
    // Without toolkit options the command line is decided before the toolkit
    // starts.
    const bool decided = !vark::MayHoldToolkitOptions(raw);
    if (decided) {
        const vark::CommandLine early =
            vark::ParseCommandLine(raw, vark::Application::AppNameFromPath(raw.value(0)), version);
        if (early.exitStatus >= 0) {
            return Answer(early);
        }
    }
    // Reads the font configuration while the toolkit starts.
    const vark::FontWarmUp fonts;
    const QString self = QString::fromStdString(vark::platform::ExecutablePath());
    // Made on this thread before any other thread touches the framework, so
    // that this one is its main thread; it ends before the QApplication does.
    auto app = std::make_unique<vark::Application>(self);
    if (decided && !self.isEmpty()) {
        // The window will be run: the instance lock file is written (and
        // synced to disk) while the display connection is made.
        app->BeginAcquireInstance();
    }
    QApplication application(argc, argv);
    const vark::ImageFormatWarmUp images;
    // Lets the desktop match the window to its installed entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(VARK_DESKTOP_ID));
    if (self.isEmpty()) {
        app = std::make_unique<vark::Application>(QCoreApplication::applicationFilePath());
    }
    // The toolkit has taken its own options out of argv.
    const vark::CommandLine line =
        vark::ParseCommandLine(RawArguments(argc, argv), app->AppName(), version);
    if (line.exitStatus >= 0) {
        app.reset();
        return Answer(line);
    }
    app->SetStartFile(line.file);
    app->SetArchiveChoice(line.archiveFile, line.noArchive);
    if (line.serverGiven) {
        app->SetServerChoice(line.server);
    }
    const int status = app->InitInstance();
    app.reset();
    return status;
}
