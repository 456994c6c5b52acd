// VARK-u: the window program of the Kelvor VARK-u cable tester.
#include <QApplication>
#include <cstdio>

#include "app/command_line.h"
#include "app/font_warmup.h"
#include "app/vark_app.h"

namespace {

QStringList RawArguments(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
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
        const QString name = CVarkApp::AppNameFromPath(QCoreApplication::applicationFilePath());
        return Answer(vark::ParseCommandLine(QCoreApplication::arguments(), name, version));
    }
    if (!vark::MayHoldToolkitOptions(raw)) {
        const vark::CommandLine early =
            vark::ParseCommandLine(raw, CVarkApp::AppNameFromPath(raw.value(0)), version);
        if (early.exitStatus >= 0) {
            return Answer(early);
        }
    }
    // Reads the font configuration while the toolkit starts.
    const vark::FontWarmUp fonts;
    QApplication application(argc, argv);
    // Lets the desktop match the window to its installed entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(VARK_DESKTOP_ID));
    CVarkApp app(QCoreApplication::applicationFilePath());
    const vark::CommandLine line =
        vark::ParseCommandLine(QCoreApplication::arguments(), app.AppName(), version);
    if (line.exitStatus >= 0) {
        return Answer(line);
    }
    app.SetStartFile(line.file);
    return app.InitInstance();
}
