#include "app/tester_watch.h"

#include <QMetaObject>

namespace vark {

TesterWatch::TesterWatch(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("TesterWatch"));
}

TesterWatch::~TesterWatch() {
    // The watch's thread ends first, so no snapshot comes for an object that
    // is going; one still queued is dropped with the object.
    watch_.reset();
}

bool TesterWatch::Start() {
    watch_ = StartPortWatch([this](const PortSnapshot& snapshot) {
        QMetaObject::invokeMethod(
            this, [this, snapshot] { Update(snapshot); }, Qt::QueuedConnection);
    });
    return watch_ != nullptr;
}

void TesterWatch::Update(const PortSnapshot& snapshot) {
    if (known_ && snapshot == snapshot_) {
        return;
    }
    known_ = true;
    snapshot_ = snapshot;
    Q_EMIT changed();
}

}  // namespace vark
