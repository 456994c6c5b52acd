#include "app/command_line.h"

#include <QCommandLineParser>
#include <QDir>
#include <filesystem>
#include <system_error>

#include "app/file_names.h"

namespace vark {

namespace {

constexpr char kDescription[] =
    "Shows, saves and prints the test records of the Kelvor VARK-u cable tester.\n"
    "Only one window runs per user: a second start brings it to the front and\n"
    "hands it FILE, if one is given.";

// The working folder as the system names it, whatever its bytes.
QString CurrentFolder() {
    std::error_code error;
    const std::filesystem::path here = std::filesystem::current_path(error);
    return error ? QDir::currentPath() : FileNameFromBytes(here.native());
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments, const QString& name,
                             const QString& version) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption archiveOption(
        QStringLiteral("archive"),
        QStringLiteral("Archive uploads in FILE instead of the station's archive."),
        QStringLiteral("FILE"));
    const QCommandLineOption noArchiveOption(QStringLiteral("no-archive"),
                                             QStringLiteral("Archive nothing."));
    const QCommandLineOption serverOption(
        QStringLiteral("server"),
        QStringLiteral("Forward archived runs to the factory server URL (libpq's URL or "
                       "connection string, without a password; \"\" for none)."),
        QStringLiteral("URL"));
    parser.addOption(archiveOption);
    parser.addOption(noArchiveOption);
    parser.addOption(serverOption);
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("A record file (.vku) to open at start."),
                                 QStringLiteral("[FILE]"));
    const bool parsed = parser.parse(arguments);

    CommandLine line;
    // Help and version win over anything else on the line, as with most
    // programs: a user who asks for them gets them.
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        line.exitStatus = 0;
        line.out = parser.helpText();
        return line;
    }
    if (parser.isSet(versionOption)) {
        line.exitStatus = 0;
        line.out = name + QLatin1Char(' ') + version + QLatin1Char('\n');
        return line;
    }
    const QString tryHelp = QStringLiteral("Try '%1 --help' for more information.\n").arg(name);
    if (!parsed) {
        line.exitStatus = kExitUsage;
        line.err = name + QStringLiteral(": ") + parser.errorText() + QLatin1Char('\n') + tryHelp;
        return line;
    }
    if (parser.isSet(archiveOption) && parser.isSet(noArchiveOption)) {
        line.exitStatus = kExitUsage;
        line.err =
            name + QStringLiteral(": --archive and --no-archive exclude each other\n") + tryHelp;
        return line;
    }
    if (parser.isSet(archiveOption)) {
        line.archiveFile = parser.value(archiveOption);
        if (line.archiveFile.isEmpty()) {
            line.exitStatus = kExitUsage;
            line.err = name + QStringLiteral(": --archive FILE is empty\n") + tryHelp;
            return line;
        }
    }
    line.noArchive = parser.isSet(noArchiveOption);
    line.serverGiven = parser.isSet(serverOption);
    line.server = parser.value(serverOption);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        line.exitStatus = kExitUsage;
        line.err = name + QStringLiteral(": only one FILE can be opened\n") + tryHelp;
        return line;
    }
    if (!files.isEmpty()) {
        if (files.front().isEmpty()) {
            line.exitStatus = kExitUsage;
            line.err = name + QStringLiteral(": FILE is empty\n") + tryHelp;
            return line;
        }
        // A running instance may have another working directory.
        const QString& given = files.front();
        line.file = QDir::cleanPath(
            QDir::isAbsolutePath(given) ? given : CurrentFolder() + QLatin1Char('/') + given);
    }
    return line;
}

bool AsksForHelpOrVersion(const QStringList& rawArguments) {
    static const QStringList kAnswered = {
        QStringLiteral("-h"), QStringLiteral("--help"),    QStringLiteral("--help-all"),
        QStringLiteral("-v"), QStringLiteral("--version"),
    };
    for (qsizetype i = 1; i < rawArguments.size(); ++i) {
        const QString& arg = rawArguments[i];
        if (arg == QStringLiteral("--")) {
            return false;  // what follows are file names
        }
        if (kAnswered.contains(arg)) {
            return true;
        }
    }
    return false;
}

bool MayHoldToolkitOptions(const QStringList& rawArguments) {
    // The toolkit's options that it also takes with two dashes
    // ("--platform offscreen"); any other double-dash word is ours to judge.
    static const QStringList kToolkitWords = {
        QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
        QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
        QStringLiteral("qwindowgeometry"), QStringLiteral("geometry"),
        QStringLiteral("qwindowtitle"),    QStringLiteral("title"),
        QStringLiteral("qwindowicon"),     QStringLiteral("icon"),
        QStringLiteral("reverse"),         QStringLiteral("session"),
        QStringLiteral("display"),         QStringLiteral("name"),
        QStringLiteral("style"),           QStringLiteral("stylesheet"),
        QStringLiteral("widgetcount"),     QStringLiteral("qmljsdebugger"),
        QStringLiteral("nograb"),          QStringLiteral("dograb"),
        QStringLiteral("visual"),          QStringLiteral("testability"),
    };
    for (qsizetype i = 1; i < rawArguments.size(); ++i) {
        const QString& arg = rawArguments[i];
        if (arg == QStringLiteral("--")) {
            return false;
        }
        if (arg.size() > 2 && arg.startsWith(QLatin1Char('-')) && arg[1] != QLatin1Char('-')) {
            return true;
        }
        if (arg.size() > 2 && arg.startsWith(QStringLiteral("--"))) {
            const QString word = arg.mid(2).section(QLatin1Char('='), 0, 0);
            if (kToolkitWords.contains(word)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace vark
