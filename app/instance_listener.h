// The running window's end of the hand-over: a local socket that listens for
// later starts of the same user. It takes connections itself rather than
// through QLocalServer, which closes its socket for good the first time a
// connection cannot be taken (no descriptor left): here such a connection
// waits in the queue and is taken once descriptors are free again.
#pragma once

#include <QObject>
#include <QString>

class QLocalSocket;
class QSocketNotifier;
class QTimer;

namespace vark {

class InstanceListener : public QObject {
    Q_OBJECT
  public:
    explicit InstanceListener(QObject* parent = nullptr);
    ~InstanceListener() override;

    // Listens on the socket `path`, replacing what was left there (the caller
    // holds the instance lock, so that is a crashed instance's). False, with
    // the reason in `error`, when it cannot.
    bool Listen(const QString& path, QString* error);
    // Stops listening and removes the socket, if it is still the one made here.
    void Close();

    // How long a connection waits after the system had no descriptor for it.
    static constexpr int kRetryMs = 100;

  Q_SIGNALS:
    // A connection from a process of this user, owned by the listener until
    // it is deleted. Others' connections are closed unread.
    void connected(QLocalSocket* socket);

  private:
    void TakeConnections();

    int fd_ = -1;
    QString path_;
    unsigned long long device_ = 0;
    unsigned long long inode_ = 0;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* retry_ = nullptr;
    bool starved_ = false;  // said once per run out of descriptors
};

}  // namespace vark
