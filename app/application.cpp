#include "app/application.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <cstdio>

#include "app/main_window.h"
#include "app/tester_watch.h"
#include "platform/system.h"

namespace vark {

// Quiet unless enabled (QT_LOGGING_RULES="vark.instance.info=true"); the
// hand-over tests and the start-up benchmark read it.
Q_LOGGING_CATEGORY(lcVarkInstance, "vark.instance", QtWarningMsg)

namespace {

constexpr char kActivateRequest[] = "activate\n";
constexpr char kActivateReply[] = "ok\n";

// How long a second start keeps knocking while the first one is between
// taking the lock and listening.
constexpr int kHandOverMs = 1500;

QString UserKey() {
    return QString::fromStdString(platform::CurrentUserKey());
}

// The user's own runtime directory (mode 0700), so that no other user can
// take or block the names; the temporary directory only when there is none.
QDir InstanceDir() {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return QDir(runtime.isEmpty() ? QDir::tempPath() : runtime);
}

}  // namespace

Application::Application(const QString& executablePath, QObject* parent)
    : QObject(parent), appName_(AppNameFromPath(executablePath)) {}

Application::~Application() {
    if (acquiring_.joinable()) {
        acquiring_.join();
    }
}

QString Application::AppNameFromPath(const QString& executablePath) {
    // File name without directory and without its (last) extension.
    return QFileInfo(executablePath).completeBaseName();
}

QString Application::LockFilePath() const {
    return InstanceDir().filePath(appName_ + QLatin1Char('-') + UserKey() +
                                  QStringLiteral(".lock"));
}

QString Application::ServerName() const {
    return InstanceDir().filePath(appName_ + QLatin1Char('-') + UserKey() +
                                  QStringLiteral(".instance"));
}

Application::Role Application::AcquireInstance() {
    lock_ = std::make_unique<QLockFile>(LockFilePath());
    // A lock is stale only when its process is gone, never by age: the first
    // instance may run for days.
    lock_->setStaleLockTime(0);
    const bool locked = lock_->tryLock(0);
    if (locked) {
        return Role::First;
    }
    if (lock_->error() == QLockFile::LockFailedError) {
        return Role::Second;
    }
    // The lock could not be made at all (no temporary directory, no
    // permission): run rather than refuse to start.
    qCWarning(lcVarkInstance) << "no instance lock:" << LockFilePath();
    lock_.reset();
    return Role::First;
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
    qCInfo(lcVarkInstance) << "first instance";
    Listen();

    // Watching for testers starts before anything lists them, so none that
    // is plugged in meanwhile is missed.
    TesterWatch watch;
    if (!watch.Start()) {
        qCInfo(lcVarkInstance) << "no watch for testers plugged in or out";
    }
    {
        MainWindow dlg;
        dlg.SetTesterWatch(&watch);
        mainWindow_ = &dlg;
        connect(&dlg, &MainWindow::firstShown, this, [this] {
            qCInfo(lcVarkInstance) << "window shown";
            if (!startFile_.isEmpty()) {
                QueueOpen(startFile_);
            }
        });
        connect(&dlg, &MainWindow::firstPainted, this,
                [] { qCInfo(lcVarkInstance) << "window painted"; });
        dlg.exec();
        mainWindow_ = nullptr;
    }
    if (server_) {
        server_->close();
    }
    if (lock_) {
        lock_->unlock();
    }
    return 0;
}

void Application::Listen() {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock, any socket of this name is a crashed instance's.
    QLocalServer::removeServer(ServerName());
    if (!server_->listen(ServerName())) {
        qCWarning(lcVarkInstance) << "cannot listen:" << server_->errorString();
        return;
    }
    connect(server_, &QLocalServer::newConnection, this, &Application::OnNewConnection);
}

void Application::OnNewConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine();
                if (const QString path = PathOfOpenRequest(line); !path.isEmpty()) {
                    qCInfo(lcVarkInstance) << "open request:" << path;
                    QueueOpen(path);
                    continue;
                }
                if (line != kActivateRequest) {
                    continue;
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
        });
    }
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
    const QDeadlineTimer deadline(kHandOverMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(ServerName());
        if (socket.waitForConnected(200)) {
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
