// Opening a record file that comes from outside the window: named on the
// command line, or handed over by a second start.
#include <QApplication>
#include <QFile>
#include <QTimer>
#include <utility>

#include "app/vark_app.h"
#include "app/vark_dlg.h"

namespace {

constexpr char kOpenPrefix[] = "open ";

// How often a waiting file looks again whether the window's dialog is gone.
constexpr int kOpenRetryMs = 200;

}  // namespace

QByteArray CVarkApp::OpenRequest(const QString& path) {
    return QByteArray(kOpenPrefix) + QFile::encodeName(path).toPercentEncoding("/") + '\n';
}

QString CVarkApp::PathOfOpenRequest(const QByteArray& line) {
    if (!line.startsWith(kOpenPrefix) || !line.endsWith('\n')) {
        return {};
    }
    const QByteArray encoded = line.mid(sizeof kOpenPrefix - 1).chopped(1);
    return QFile::decodeName(QByteArray::fromPercentEncoding(encoded));
}

void CVarkApp::QueueOpen(const QString& path) {
    m_strPendingOpen = path;
    if (!m_pOpenTimer) {
        m_pOpenTimer = new QTimer(this);
        m_pOpenTimer->setSingleShot(true);
        connect(m_pOpenTimer, &QTimer::timeout, this, &CVarkApp::OpenPending);
    }
    m_pOpenTimer->start(0);
}

void CVarkApp::OpenPending() {
    if (m_strPendingOpen.isEmpty() || !m_pMainWnd) {
        return;
    }
    // While the Upload dialog, the About box or a file or print dialog is up,
    // the file waits, as the user's own Open would have to: replacing the
    // records under a running upload or print is not what anyone asked for.
    // An open pop-up (the list's context menu) waits too: it names a row of
    // the list that the file would replace.
    QWidget* modal = QApplication::activeModalWidget();
    if ((modal && modal != m_pMainWnd) || QApplication::activePopupWidget()) {
        m_pOpenTimer->start(kOpenRetryMs);
        return;
    }
    const QString path = std::exchange(m_strPendingOpen, QString());
    if (m_pMainWnd->OpenFile(path)) {
        qCInfo(lcVarkInstance).nospace()
            << "file opened: " << path << ", " << m_pMainWnd->RowCount() << " rows";
    } else {
        qCInfo(lcVarkInstance) << "file refused:" << path;
    }
}
