#include "app/vark_app.h"

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

#include "app/vark_dlg.h"
#include "platform/system.h"

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
    return QString::fromStdString(vark::platform::CurrentUserKey());
}

// The user's own runtime directory (mode 0700), so that no other user can
// take or block the names; the temporary directory only when there is none.
QDir InstanceDir() {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return QDir(runtime.isEmpty() ? QDir::tempPath() : runtime);
}

}  // namespace

CVarkApp::CVarkApp(const QString& executablePath, QObject* parent)
    : QObject(parent), m_strAppName(AppNameFromPath(executablePath)) {}

CVarkApp::~CVarkApp() {
    if (m_acquiring.joinable()) {
        m_acquiring.join();
    }
}

QString CVarkApp::AppNameFromPath(const QString& executablePath) {
    // File name without directory and without its (last) extension.
    return QFileInfo(executablePath).completeBaseName();
}

QString CVarkApp::LockFilePath() const {
    return InstanceDir().filePath(m_strAppName + QLatin1Char('-') + UserKey() +
                                  QStringLiteral(".lock"));
}

QString CVarkApp::ServerName() const {
    return InstanceDir().filePath(m_strAppName + QLatin1Char('-') + UserKey() +
                                  QStringLiteral(".instance"));
}

CVarkApp::Role CVarkApp::AcquireInstance() {
    m_lock = std::make_unique<QLockFile>(LockFilePath());
    // A lock is stale only when its process is gone, never by age: the first
    // instance may run for days.
    m_lock->setStaleLockTime(0);
    const bool locked = m_lock->tryLock(0);
    if (locked) {
        return Role::First;
    }
    if (m_lock->error() == QLockFile::LockFailedError) {
        return Role::Second;
    }
    // The lock could not be made at all (no temporary directory, no
    // permission): run rather than refuse to start.
    qCWarning(lcVarkInstance) << "no instance lock:" << LockFilePath();
    m_lock.reset();
    return Role::First;
}

void CVarkApp::BeginAcquireInstance() {
    m_acquiring = std::thread([this] { m_role = AcquireInstance(); });
}

int CVarkApp::InitInstance() {
    QCoreApplication::setApplicationName(m_strAppName);
    Role role = Role::First;
    if (m_acquiring.joinable()) {
        m_acquiring.join();
        role = m_role;
    } else {
        role = AcquireInstance();
    }
    if (role == Role::Second) {
        const bool handed = HandOver();
        qCInfo(lcVarkInstance) << "second instance:"
                               << (handed ? "handed over" : "no running window found");
        if (!handed && !m_strStartFile.isEmpty()) {
            // The file would be lost without a word: the running window
            // did not confirm that it took it.
            std::fprintf(stderr, "%s: %s was not handed to the running window\n",
                         qPrintable(m_strAppName), qPrintable(m_strStartFile));
            return 1;
        }
        return 0;
    }
    qCInfo(lcVarkInstance) << "first instance";
    Listen();

    {
        CVarkDlg dlg;
        m_pMainWnd = &dlg;
        connect(&dlg, &CVarkDlg::firstShown, this, [this] {
            qCInfo(lcVarkInstance) << "window shown";
            if (!m_strStartFile.isEmpty()) {
                QueueOpen(m_strStartFile);
            }
        });
        connect(&dlg, &CVarkDlg::firstPainted, this,
                [] { qCInfo(lcVarkInstance) << "window painted"; });
        dlg.exec();
        m_pMainWnd = nullptr;
    }
    if (m_pServer) {
        m_pServer->close();
    }
    if (m_lock) {
        m_lock->unlock();
    }
    return 0;
}

void CVarkApp::Listen() {
    m_pServer = new QLocalServer(this);
    m_pServer->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock, any socket of this name is a crashed instance's.
    QLocalServer::removeServer(ServerName());
    if (!m_pServer->listen(ServerName())) {
        qCWarning(lcVarkInstance) << "cannot listen:" << m_pServer->errorString();
        return;
    }
    connect(m_pServer, &QLocalServer::newConnection, this, &CVarkApp::OnNewConnection);
}

void CVarkApp::OnNewConnection() {
    while (QLocalSocket* socket = m_pServer->nextPendingConnection()) {
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
                const bool wasMinimised = m_pMainWnd && m_pMainWnd->isMinimized();
                QWidget* front = BringToFront(m_pMainWnd);
                qCInfo(lcVarkInstance).nospace()
                    << "activation request: window " << (m_pMainWnd ? "raised" : "missing")
                    << (wasMinimised ? ", restored" : "") << ", front "
                    << (front ? front->metaObject()->className() : "none");
                socket->write(kActivateReply);
                socket->flush();
            }
        });
    }
}

QWidget* CVarkApp::BringToFront(QWidget* window) {
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

bool CVarkApp::HandOver() {
    const QDeadlineTimer deadline(kHandOverMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(ServerName());
        if (socket.waitForConnected(200)) {
            // The file first, so that the window comes to the front with it;
            // an instance that does not know the open request skips it and
            // is still activated.
            if (!m_strStartFile.isEmpty()) {
                socket.write(OpenRequest(m_strStartFile));
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
