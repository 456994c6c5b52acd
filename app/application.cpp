#include "app/application.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
#include <cstdio>

#include "app/file_names.h"
#include "app/instance_folder.h"
#include "app/instance_listener.h"
#include "app/main_window.h"
#include "app/station_archive.h"
#include "app/tester_watch.h"
#include "platform/system.h"

namespace vark {

// Quiet unless enabled (QT_LOGGING_RULES="vark.instance.info=true"); the
// hand-over tests and the start-up benchmark read it. Warnings (no single
// instance, refused connections) show without it.
Q_LOGGING_CATEGORY(lcVarkInstance, "vark.instance", QtWarningMsg)

namespace {

constexpr char kActivateRequest[] = "activate\n";
constexpr char kActivateReply[] = "ok\n";
constexpr char kLockSuffix[] = ".lock";
constexpr char kSocketSuffix[] = ".instance";

// How long a second start keeps knocking while the first one is between
// taking the lock and listening.
constexpr int kHandOverMs = 1500;

QString UserKey() {
    return QString::fromStdString(platform::CurrentUserKey());
}

}  // namespace

Application::Application(const QString& executablePath, QObject* parent)
    : QObject(parent),
      appName_(AppNameFromPath(executablePath)),
      folder_(std::make_unique<InstanceFolder>(
          InstanceFolder::Find(InstancePlaces::FromEnvironment()))) {
    for (const std::string& note : folder_->notes()) {
        qCInfo(lcVarkInstance).noquote() << QString::fromStdString(note);
    }
    if (folder_->ok()) {
        qCInfo(lcVarkInstance).noquote()
            << "instance folder:" << QString::fromStdString(folder_->path());
    }
}

Application::~Application() {
    if (acquiring_.joinable()) {
        acquiring_.join();
    }
}

QString Application::AppNameFromPath(const QString& executablePath) {
    // File name without directory and without its (last) extension.
    return QFileInfo(executablePath).completeBaseName();
}

std::string Application::NameInFolder(const char* suffix) const {
    return FileNameToBytes(appName_ + QLatin1Char('-') + UserKey() + QLatin1String(suffix))
        .toStdString();
}

QString Application::LockFilePath() const {
    return FileNameFromBytes(folder_->PathOf(NameInFolder(kLockSuffix)));
}

QString Application::ServerName() const {
    return FileNameFromBytes(folder_->PathOf(NameInFolder(kSocketSuffix)));
}

Application::Role Application::AcquireInstance() {
    if (!folder_->ok()) {
        qCWarning(lcVarkInstance).noquote()
            << "no private folder for the instance lock, running without single instance:"
            << QString::fromStdString(folder_->notes().empty() ? std::string("none found")
                                                               : folder_->notes().back());
        return Role::Alone;
    }
    lock_ = std::make_unique<QLockFile>(LockFilePath());
    // A lock is stale only when its process is gone, never by age: the first
    // instance may run for days.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) {
        return Role::First;
    }
    const std::string lockName = NameInFolder(kLockSuffix);
    if (lock_->error() == QLockFile::LockFailedError &&
        folder_->Check(lockName, false) == InstanceFolder::Kind::Ours) {
        return Role::Second;
    }
    // A lock that is not this user's regular file names nobody to trust; one
    // that cannot be made at all (a full disk) must not keep the window away.
    qCWarning(lcVarkInstance).noquote()
        << "no usable instance lock, running without single instance:"
        << QString::fromStdString(folder_->path() + "/" + lockName)
        << (lock_->error() == QLockFile::LockFailedError ? "is not this user's" : "cannot be made");
    lock_.reset();
    return Role::Alone;
}

void Application::BeginAcquireInstance() {
    acquiring_ = std::thread([this] { role_ = AcquireInstance(); });
}

int Application::InitInstance() {
    QCoreApplication::setApplicationName(appName_);
    Role role = Role::First;
    if (acquiring_.joinable()) {
        acquiring_.join();
        role = role_;
    } else {
        role = AcquireInstance();
    }
    if (role == Role::Second) {
        const bool handed = HandOver();
        qCInfo(lcVarkInstance) << "second instance:"
                               << (handed ? "handed over" : "no running window found");
        if (!handed && !startFile_.isEmpty()) {
            // The file would be lost without a word: the running window
            // did not confirm that it took it.
            std::fprintf(stderr, "%s: %s was not handed to the running window\n",
                         qPrintable(appName_), qPrintable(startFile_));
            return 1;
        }
        return 0;
    }
    if (role == Role::First) {
        qCInfo(lcVarkInstance) << "first instance";
        Listen();
    } else {
        qCInfo(lcVarkInstance) << "window of its own, no hand-over";
    }

    // Watching for testers starts before anything lists them, so none that
    // is plugged in meanwhile is missed.
    TesterWatch watch;
    if (!watch.Start()) {
        qCInfo(lcVarkInstance) << "no watch for testers plugged in or out";
    }
    archive::ArchiveOverrides choice;
    if (!archiveFile_.isEmpty()) {
        choice.file = FileNameToBytes(archiveFile_).toStdString();
    }
    choice.disabled = noArchive_;
    if (server_) {
        choice.server = server_->toStdString();
    }
    StationArchive archive(StationArchive::Configured(choice));
    qCInfo(lcVarkInstance).noquote()
        << "archive:"
        << (archive.Enabled() ? QString::fromStdString(archive.Config().file)
                              : QStringLiteral("off"));
    connect(&archive, &StationArchive::stateChanged, this, [&archive] {
        qCInfo(lcVarkInstance).noquote()
            << "archive state:" << QString::fromStdString(ArchiveStatusText(archive.State()));
    });
    {
        MainWindow dlg;
        dlg.SetTesterWatch(&watch);
        dlg.SetArchive(&archive);
        mainWindow_ = &dlg;
        connect(&dlg, &MainWindow::firstShown, this, [this] {
            qCInfo(lcVarkInstance) << "window shown";
            if (!startFile_.isEmpty()) {
                QueueOpen(startFile_);
            }
        });
        connect(&dlg, &MainWindow::firstPainted, this,
                [] { qCInfo(lcVarkInstance) << "window painted"; });
        dlg.Run();
        mainWindow_ = nullptr;
    }
    if (listener_) {
        listener_->Close();
    }
    if (lock_) {
        lock_->unlock();
    }
    return 0;
}

void Application::Listen() {
    listener_ = new InstanceListener(this);
    QString error;
    if (!listener_->Listen(ServerName(), &error)) {
        qCWarning(lcVarkInstance).noquote() << "cannot listen:" << error;
        return;
    }
    connect(listener_, &InstanceListener::connected, this, &Application::OnConnection);
}

void Application::OnConnection(QLocalSocket* socket) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // Qt stops reading once this much is buffered, so a line without an end
    // costs no more memory than the longest line taken.
    socket->setReadBufferSize(kMaxLine + 1);
    const auto read = [this, socket] {
        while (socket->state() == QLocalSocket::ConnectedState) {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxLine) {
                    qCWarning(lcVarkInstance)
                        << "hand-over line longer than" << kMaxLine << "bytes: connection dropped";
                    socket->abort();
                    socket->deleteLater();
                }
                return;
            }
            const QByteArray line = socket->readLine(kMaxLine + 1);
            if (!line.endsWith('\n')) {
                qCWarning(lcVarkInstance)
                    << "hand-over line longer than" << kMaxLine << "bytes: connection dropped";
                socket->abort();
                socket->deleteLater();
                return;
            }
            OnLine(socket, line);
        }
    };
    connect(socket, &QLocalSocket::readyRead, this, read);
    read();  // what came with the connection
}

void Application::OnLine(QLocalSocket* socket, const QByteArray& line) {
    if (line.startsWith("open ")) {
        if (const QString path = PathOfOpenRequest(line); !path.isEmpty()) {
            qCInfo(lcVarkInstance) << "open request:" << path;
            QueueOpen(path);
        } else {
            qCWarning(lcVarkInstance)
                << "open request refused (not a usable absolute path):" << line.left(200);
        }
        return;
    }
    if (line != kActivateRequest) {
        return;
    }
    const bool wasMinimised = mainWindow_ && mainWindow_->isMinimized();
    QWidget* front = BringToFront(mainWindow_);
    qCInfo(lcVarkInstance).nospace()
        << "activation request: window " << (mainWindow_ ? "raised" : "missing")
        << (wasMinimised ? ", restored" : "") << ", front "
        << (front ? front->metaObject()->className() : "none");
    socket->write(kActivateReply);
    socket->flush();
}

QWidget* Application::BringToFront(QWidget* window) {
    if (!window) {
        return nullptr;
    }
    if (window->isMinimized()) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    }
    window->show();
    window->raise();
    window->activateWindow();

    QWidget* front = window;
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != window) {
        if (modal->isMinimized()) {
            modal->setWindowState(modal->windowState() & ~Qt::WindowMinimized);
        }
        modal->raise();
        modal->activateWindow();
        front = modal;
    }
    return front;
}

bool Application::HandOver() {
    const std::string socketName = NameInFolder(kSocketSuffix);
    const QDeadlineTimer deadline(kHandOverMs);
    while (!deadline.hasExpired()) {
        const InstanceFolder::Kind kind = folder_->Check(socketName, true);
        if (kind == InstanceFolder::Kind::Foreign) {
            qCWarning(lcVarkInstance).noquote()
                << "the instance socket is not this user's: nothing handed over";
            return false;
        }
        QLocalSocket socket;
        if (kind == InstanceFolder::Kind::Ours) {
            socket.connectToServer(ServerName());
        }
        if (kind == InstanceFolder::Kind::Ours && socket.waitForConnected(200)) {
            // Whoever listens there gets nothing unless it is this user.
            if (const auto uid = PeerUser(socket.socketDescriptor()); !uid || *uid != ThisUser()) {
                qCWarning(lcVarkInstance).noquote()
                    << "the instance socket's listener is"
                    << (uid ? QStringLiteral("uid %1").arg(*uid) : QStringLiteral("unknown"))
                    << "- nothing handed over";
                return false;
            }
            // The file first, so that the window comes to the front with it;
            // an instance that does not know the open request skips it and
            // is still activated.
            if (!startFile_.isEmpty()) {
                socket.write(OpenRequest(startFile_));
            }
            socket.write(kActivateRequest);
            if (!socket.waitForBytesWritten(500)) {
                return false;
            }
            // Wait for the answer so that the request is handled before this
            // process ends; the answer itself carries nothing.
            return socket.waitForReadyRead(1000) && socket.readLine() == kActivateReply;
        }
        QThread::msleep(50);
    }
    return false;
}

}  // namespace vark
