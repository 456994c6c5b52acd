// Opening a record file that comes from outside the window: named on the
// command line, or handed over by a second start.
#include <QApplication>
#include <QFile>
#include <QTimer>
#include <utility>

#include "app/application.h"
#include "app/main_window.h"

namespace vark {

namespace {

constexpr char kOpenPrefix[] = "open ";

// How often a waiting file looks again whether the window's dialog is gone.
constexpr int kOpenRetryMs = 200;

}  // namespace

QByteArray Application::OpenRequest(const QString& path) {
    return QByteArray(kOpenPrefix) + QFile::encodeName(path).toPercentEncoding("/") + '\n';
}

QString Application::PathOfOpenRequest(const QByteArray& line) {
    if (!line.startsWith(kOpenPrefix) || !line.endsWith('\n')) {
        return {};
    }
    const QByteArray encoded = line.mid(sizeof kOpenPrefix - 1).chopped(1);
    return QFile::decodeName(QByteArray::fromPercentEncoding(encoded));
}

void Application::QueueOpen(const QString& path) {
    pendingOpen_ = path;
    if (!openTimer_) {
        openTimer_ = new QTimer(this);
        openTimer_->setSingleShot(true);
        connect(openTimer_, &QTimer::timeout, this, &Application::OpenPending);
    }
    openTimer_->start(0);
}

void Application::OpenPending() {
    if (pendingOpen_.isEmpty() || !mainWindow_) {
        return;
    }
    // While the Upload dialog, the About box or a file or print dialog is up,
    // the file waits, as the user's own Open would have to: replacing the
    // records under a running upload or print is not what anyone asked for.
    // An open pop-up (the list's context menu) waits too: it names a row of
    // the list that the file would replace.
    QWidget* modal = QApplication::activeModalWidget();
    if ((modal && modal != mainWindow_) || QApplication::activePopupWidget()) {
        openTimer_->start(kOpenRetryMs);
        return;
    }
    const QString path = std::exchange(pendingOpen_, QString());
    if (mainWindow_->OpenFile(path)) {
        qCInfo(lcVarkInstance).nospace()
            << "file opened: " << path << ", " << mainWindow_->RowCount() << " rows";
    } else {
        qCInfo(lcVarkInstance) << "file refused:" << path;
    }
}

}  // namespace vark
