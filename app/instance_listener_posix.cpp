#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLocalSocket>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstring>

#include "app/file_names.h"
#include "app/instance_folder.h"
#include "app/instance_listener.h"
#include "app/instance_log.h"

namespace vark {

namespace {

constexpr int kBacklog = 16;

QString SystemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

}  // namespace

InstanceListener::InstanceListener(QObject* parent) : QObject(parent) {}

InstanceListener::~InstanceListener() {
    Close();
}

bool InstanceListener::Listen(const QString& path, QString* error) {
    Close();
    const QByteArray name = FileNameToBytes(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || static_cast<std::size_t>(name.size()) >= sizeof address.sun_path) {
        *error = QStringLiteral("socket name too long: %1").arg(path);
        return false;
    }
    std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = SystemError("socket");
        return false;
    }
    struct stat st {};
    if (::lstat(name.constData(), &st) == 0 && S_ISSOCK(st.st_mode)) {
        ::unlink(name.constData());
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, kBacklog) != 0 || ::lstat(name.constData(), &st) != 0) {
        *error = SystemError("listen");
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = path;
    device_ = st.st_dev;
    inode_ = st.st_ino;
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &InstanceListener::TakeConnections);
    // Called once here rather than first at the descriptor limit: a sanitizer
    // build checks an object's type on its first use and needs a descriptor
    // for that.
    notifier_->setEnabled(true);
    retry_ = new QTimer(this);
    retry_->setSingleShot(true);
    connect(retry_, &QTimer::timeout, this, &InstanceListener::TakeConnections);
    return true;
}

void InstanceListener::Close() {
    if (fd_ < 0) {
        return;
    }
    delete notifier_;
    notifier_ = nullptr;
    delete retry_;
    retry_ = nullptr;
    ::close(fd_);
    fd_ = -1;
    const QByteArray name = FileNameToBytes(path_);
    struct stat st {};
    if (::lstat(name.constData(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_) {
        ::unlink(name.constData());
    }
}

void InstanceListener::TakeConnections() {
    notifier_->setEnabled(true);  // after a pause for descriptors
    for (;;) {
        const int peer = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (peer < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return;
            }
            // No descriptor (or memory) for it now: the connection stays
            // queued. Looking again at once would spin, giving up would
            // leave every later start without a window to hand over to.
            if (!starved_) {
                starved_ = true;
                qCWarning(lcVarkInstance).noquote()
                    << SystemError("cannot take a connection") << "- trying again";
            }
            notifier_->setEnabled(false);
            retry_->start(kRetryMs);
            return;
        }
        if (starved_) {
            starved_ = false;
            qCInfo(lcVarkInstance) << "taking connections again";
        }
        const std::optional<unsigned> uid = PeerUser(peer);
        if (!uid || *uid != ThisUser()) {
            qCWarning(lcVarkInstance).noquote()
                << "refused a connection from"
                << (uid ? QStringLiteral("uid %1").arg(*uid) : QStringLiteral("an unknown user"));
            ::close(peer);
            continue;
        }
        auto* socket = new QLocalSocket(this);
        if (!socket->setSocketDescriptor(peer, QLocalSocket::ConnectedState,
                                         QIODevice::ReadWrite)) {
            ::close(peer);
            delete socket;
            continue;
        }
        Q_EMIT connected(socket);
    }
}

}  // namespace vark
