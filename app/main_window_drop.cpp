// A record file dropped on the main window opens as if chosen with Open.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include "app/main_window.h"

namespace vark {

void MainWindow::EnableFileDrops() {
    setAcceptDrops(true);
    // The path edit would take the file's name as text; let the drop reach
    // the window instead.
    pathEdit_->setAcceptDrops(false);
}

QString MainWindow::DroppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) {
        return {};
    }
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) {
        return {};
    }
    return urls.front().toLocalFile();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    // Any one local file: as with Open, its content decides, not its name.
    if (!DroppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QString path = DroppedFile(event->mimeData());
    if (path.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    // Opened after the drop has finished: a refused file shows a message box,
    // whose own event loop must not hold up the drag source.
    QTimer::singleShot(0, this, [this, path] { OpenFile(path); });
}

}  // namespace vark
