// Someone else's program in the way of a window program: it takes the names
// that a window program would use, a lock file naming itself (a live process,
// as QLockFile writes it) and a listening socket that answers like a running
// window and keeps every byte it is sent.
// Usage: instance_squatter [--in FOLDER] [--lock FILE] [--listen SOCKET]
//                          [--record FILE]
// With --in, FILE and SOCKET are names in FOLDER (reached through the open
// folder, so that a deep folder does not make the socket's path too long).
// Says "ready" on standard error once it holds them, then runs until killed.
#include <fcntl.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The name a lock of the window program carries.
    QCoreApplication::setApplicationName(QStringLiteral("VARK-u"));
    const QStringList args = QCoreApplication::arguments();
    const auto given = [&args](const char* option) {
        const qsizetype at = args.indexOf(QLatin1String(option));
        return at > 0 && at + 1 < args.size() ? args[at + 1] : QString();
    };
    QString folder;
    if (const QString in = given("--in"); !in.isEmpty()) {
        const int fd = ::open(QFile::encodeName(in).constData(), O_RDONLY | O_DIRECTORY);
        if (fd < 0) {
            std::fprintf(stderr, "cannot open %s\n", qPrintable(in));
            return 1;
        }
        folder = QStringLiteral("/proc/self/fd/%1/").arg(fd);
    }
    const auto value = [&](const char* option) {
        const QString v = given(option);
        return v.isEmpty() || QLatin1String(option) == QLatin1String("--record") ? v : folder + v;
    };
    std::unique_ptr<QLockFile> lock;
    if (const QString path = value("--lock"); !path.isEmpty()) {
        lock = std::make_unique<QLockFile>(path);
        if (!lock->tryLock(0)) {
            std::fprintf(stderr, "cannot lock %s\n", qPrintable(path));
            return 1;
        }
    }
    QFile record(value("--record"));
    if (!record.fileName().isEmpty() && !record.open(QIODevice::Append)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(record.fileName()));
        return 1;
    }
    QLocalServer server;
    if (const QString name = value("--listen"); !name.isEmpty()) {
        server.setSocketOptions(QLocalServer::WorldAccessOption);
        if (!server.listen(name)) {
            std::fprintf(stderr, "cannot listen on %s: %s\n", qPrintable(name),
                         qPrintable(server.errorString()));
            return 1;
        }
    }
    QObject::connect(&server, &QLocalServer::newConnection, [&] {
        while (QLocalSocket* socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::readyRead, [&record, socket] {
                while (socket->canReadLine()) {
                    const QByteArray line = socket->readLine();
                    record.write(line);
                    record.flush();
                    if (line == "activate\n") {
                        socket->write("ok\n");
                        socket->flush();
                    }
                }
            });
        }
    });
    std::fprintf(stderr, "ready\n");
    std::fflush(stderr);
    return QCoreApplication::exec();
}
