// The bridges as they come and go, for the windows: the platform's port
// watch, its snapshots brought to the user-interface thread. The main
// window's status line and the Upload dialog follow it.
#pragma once

#include <QObject>
#include <memory>

#include "device/port_watch.h"

namespace vark {

class TesterWatch : public QObject {
    Q_OBJECT
  public:
    explicit TesterWatch(QObject* parent = nullptr);
    ~TesterWatch() override;

    // Starts the platform's watch; false where the system has none (the
    // snapshot then never changes).
    bool Start();

    // User-interface thread: a new snapshot, from the watch or given by hand.
    void Update(const PortSnapshot& snapshot);

    // Whether a first snapshot has come.
    bool Known() const { return known_; }
    const PortSnapshot& Snapshot() const { return snapshot_; }

  Q_SIGNALS:
    void changed();

  private:
    std::unique_ptr<PortWatch> watch_;
    PortSnapshot snapshot_;
    bool known_ = false;
};

}  // namespace vark
