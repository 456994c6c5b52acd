// Start-up: one instance per executable name. The first start holds a lock
// file and listens on a local socket, both named after the executable and the
// user, in a folder only the user can enter, and runs the main window until it
// closes. A later start finds the lock taken, asks the running instance over
// the socket to bring its window (and the modal dialog it shows, if any) to
// the front, hands it the file it was asked to open, if any, and ends without
// showing anything. Both ends check that the other is the same user. Without
// such a folder, or with a lock that is not the user's, the window runs on its
// own and the log says why.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/instance_log.h"

class QLocalSocket;
class QLockFile;
class QTimer;
class QWidget;

namespace vark {

class InstanceFolder;
class InstanceListener;
class MainWindow;

class Application : public QObject {
    Q_OBJECT
  public:
    // `executablePath`: the program's own file; its name without directory and
    // extension becomes the application name.
    explicit Application(const QString& executablePath, QObject* parent = nullptr);
    ~Application() override;

    static QString AppNameFromPath(const QString& executablePath);

    const QString& AppName() const { return appName_; }
    // Names of the lock file and the local socket of this executable and user,
    // as this process reaches them (through the folder this object holds
    // open, so only while it lives); empty when there is no private folder.
    QString LockFilePath() const;
    QString ServerName() const;

    // Runs the program and returns its exit status (0 in every case): either
    // hands over to the running instance, or shows the main window until it
    // ends. Needs a QApplication.
    int InitInstance();

    // Takes or tries the instance lock on a thread of its own, so that
    // writing the lock file overlaps making the QApplication; InitInstance
    // then waits for the answer. Call at most once, before InitInstance.
    void BeginAcquireInstance();

    // Restores `window` if minimised, raises and activates it, then does the
    // same for the active modal dialog, if that is another window. Returns the
    // window activated last (null for a null window).
    static QWidget* BringToFront(QWidget* window);

    // The main window while it exists, else null.
    MainWindow* Window() const { return mainWindow_; }

    // A record file (absolute path) to open once the window is shown, or to
    // hand to the running instance; empty for none.
    void SetStartFile(const QString& path) { startFile_ = path; }
    // What the command line says of the archive (--archive, --no-archive).
    void SetArchiveChoice(const QString& file, bool off) {
        archiveFile_ = file;
        noArchive_ = off;
    }
    // --server URL: the factory server instead of the configured one.
    void SetServerChoice(const QString& url) { server_ = url; }

    // The hand-over line that asks the running instance to open `path`, and
    // the path such a line carries (empty for any other line, and for a path
    // that is not absolute or holds a NUL). The path's bytes are
    // percent-encoded, so names with line breaks or blanks, and names that
    // are not UTF-8, pass whole.
    static QByteArray OpenRequest(const QString& path);
    static QString PathOfOpenRequest(const QByteArray& line);
    // The longest hand-over line taken: an open request for a path of the
    // system's longest, every byte encoded. A longer one ends the connection.
    static constexpr qsizetype kMaxLine = 5 + 3 * 4096 + 1;

    // Opens `path` in the main window as soon as no dialog of the window is
    // up; a later request replaces one still waiting.
    void QueueOpen(const QString& path);

  private:
    // First: holds the lock and listens. Second: hands over. Alone: runs
    // the window without either, as nothing can be trusted to carry them.
    enum class Role { First, Second, Alone };

    Role AcquireInstance();
    bool HandOver();
    void Listen();
    void OnConnection(QLocalSocket* socket);
    void OnLine(QLocalSocket* socket, const QByteArray& line);
    void OpenPending();
    // The lock's or the socket's name in the instance folder, as bytes.
    std::string NameInFolder(const char* suffix) const;

    QString appName_;
    std::unique_ptr<InstanceFolder> folder_;
    std::thread acquiring_;
    Role role_ = Role::First;  // what acquiring_ found
    std::unique_ptr<QLockFile> lock_;
    InstanceListener* listener_ = nullptr;
    MainWindow* mainWindow_ = nullptr;
    QString startFile_;
    QString archiveFile_;
    bool noArchive_ = false;
    std::optional<QString> server_;
    QString pendingOpen_;
    QTimer* openTimer_ = nullptr;
};

}  // namespace vark
