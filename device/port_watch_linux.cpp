// The watch on Linux: a udev monitor on the tty subsystem. Its events come
// after udev has run its rules for the device, so a port is settled when its
// event arrives, unless ModemManager is about to probe it (a candidate
// without the ignore flag that the package's rule sets): then it is left
// alone for the time such a probe takes.
#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <thread>

#include "device/bridge_ports_linux.h"
#include "device/port_watch.h"

namespace vark {
namespace {

using Clock = std::chrono::steady_clock;

// ModemManager probes a new port for a modem and holds it about ten seconds.
constexpr std::chrono::seconds kModemProbe{10};

bool Is(const char* value, const char* expected) {
    return value != nullptr && std::strcmp(value, expected) == 0;
}

class UdevPortWatch : public PortWatch {
  public:
    explicit UdevPortWatch(Listener listener) : teller_(std::move(listener)) {}
    ~UdevPortWatch() override {
        if (thread_.joinable()) {
            const std::uint64_t one = 1;
            (void)::write(stop_, &one, sizeof one);
            thread_.join();
        }
        if (stop_ >= 0) {
            ::close(stop_);
        }
        if (monitor_) {
            udev_monitor_unref(monitor_);
        }
        if (udev_) {
            udev_unref(udev_);
        }
    }

    // Listens first, then lists: nothing plugged in between is missed.
    bool Start() {
        udev_ = udev_new();
        stop_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (!udev_ || stop_ < 0) {
            return false;
        }
        monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
        if (!monitor_ ||
            udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) < 0 ||
            udev_monitor_enable_receiving(monitor_) < 0) {
            return false;
        }
        thread_ = std::thread([this] { Run(); });
        return true;
    }

  private:
    void Run() {
        Deliver();
        for (;;) {
            pollfd fds[2] = {{udev_monitor_get_fd(monitor_), POLLIN, 0}, {stop_, POLLIN, 0}};
            int timeout = -1;
            if (!settling_.empty()) {
                auto first = Clock::time_point::max();
                for (const auto& [path, until] : settling_) {
                    first = std::min(first, until);
                }
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(first - Clock::now());
                timeout = static_cast<int>(std::max<long long>(0, left.count()));
            }
            const int r = ::poll(fds, 2, timeout);
            if (r < 0 && errno != EINTR) {
                return;
            }
            if (fds[1].revents & POLLIN) {
                return;
            }
            bool changed = Expire();
            if (fds[0].revents & POLLIN) {
                // Everything that has come, then one listing; but a removal
                // is told on its own, so that a port pulled out and put back
                // at once is not taken for one that stayed.
                while (udev_device* device = udev_monitor_receive_device(monitor_)) {
                    const bool removed = Take(device);
                    udev_device_unref(device);
                    changed = true;
                    if (removed) {
                        Deliver();
                        changed = false;
                    }
                }
            }
            if (changed) {
                Deliver();
            }
        }
    }

    // Notes what an event says about its port; true for a removal.
    bool Take(udev_device* device) {
        const char* node = udev_device_get_devnode(device);
        if (!node) {
            return false;
        }
        const std::string path = node;
        if (Is(udev_device_get_action(device), "remove")) {
            // Gone, even while its folder may still be seen for a moment.
            gone_.insert(path);
            settling_.erase(path);
            return true;
        }
        gone_.erase(path);
        const bool probed = Is(udev_device_get_property_value(device, "ID_MM_CANDIDATE"), "1") &&
                            !Is(udev_device_get_property_value(device, "ID_MM_DEVICE_IGNORE"), "1");
        if (probed) {
            settling_.emplace(path, Clock::now() + kModemProbe);
        } else {
            settling_.erase(path);
        }
        return false;
    }

    bool Expire() {
        bool changed = false;
        const auto now = Clock::now();
        for (auto it = settling_.begin(); it != settling_.end();) {
            if (it->second <= now) {
                it = settling_.erase(it);
                changed = true;
            } else {
                ++it;
            }
        }
        return changed;
    }

    void Deliver() {
        PortSnapshot snapshot;
        for (BridgePort& p : ListBridgePorts()) {
            if (gone_.count(p.path) == 0) {
                snapshot.ports.push_back(std::move(p));
            }
        }
        for (const auto& [path, until] : settling_) {
            snapshot.settling.insert(path);
        }
        teller_.Tell(snapshot);
    }

    SnapshotTeller teller_;  // watch thread only
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    int stop_ = -1;
    std::thread thread_;
    // Watch thread only.
    std::set<std::string> gone_;
    std::map<std::string, Clock::time_point> settling_;
};

}  // namespace

std::unique_ptr<PortWatch> StartPortWatch(PortWatch::Listener listener) {
    auto watch = std::make_unique<UdevPortWatch>(std::move(listener));
    if (!watch->Start()) {
        return nullptr;
    }
    return watch;
}

}  // namespace vark
