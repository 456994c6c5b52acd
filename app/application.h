// Start-up: one instance per executable name. The first start holds a lock
// file and listens on a local socket, both named after the executable and the
// user, and runs the main window until it closes. A later start finds the lock
// taken, asks the running instance over the socket to bring its window (and
// the modal dialog it shows, if any) to the front, hands it the file it was
// asked to open, if any, and ends without showing anything.
#pragma once

#include <QByteArray>
#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <memory>
#include <thread>

class QLocalServer;
class QLockFile;
class QTimer;
class QWidget;

namespace vark {

Q_DECLARE_LOGGING_CATEGORY(lcVarkInstance)

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
    // Names of the lock file and the local socket of this executable and user.
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

    // The hand-over line that asks the running instance to open `path`, and
    // the path such a line carries (empty for any other line). The path is
    // percent-encoded, so names with line breaks or blanks pass whole.
    static QByteArray OpenRequest(const QString& path);
    static QString PathOfOpenRequest(const QByteArray& line);

    // Opens `path` in the main window as soon as no dialog of the window is
    // up; a later request replaces one still waiting.
    void QueueOpen(const QString& path);

  private:
    enum class Role { First, Second };

    Role AcquireInstance();
    bool HandOver();
    void Listen();
    void OnNewConnection();
    void OpenPending();

    QString appName_;
    std::thread acquiring_;
    Role role_ = Role::First;  // what acquiring_ found
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
    MainWindow* mainWindow_ = nullptr;
    QString startFile_;
    QString pendingOpen_;
    QTimer* openTimer_ = nullptr;
};

}  // namespace vark
