// The Linux bridge list, read from sysfs trees laid out as the kernel lays
// them out for USB serial adapters.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>

#include "device/bridge_ports_linux.h"
#include "testing/temp_dir.h"

namespace vark {
namespace {

namespace fs = std::filesystem;

class FakeSysfs {
  public:
    FakeSysfs() { fs::create_directories(root() / "class" / "tty"); }
    fs::path root() const { return dir_.path(); }

    // A tty on interface 0 of USB device `usb` (1-1, 1-2, ...); returns the
    // USB device's folder.
    fs::path UsbTty(const std::string& tty, const std::string& usb, const std::string& vid,
                    const std::string& pid, const std::optional<std::string>& serial,
                    const std::string& product = {}) {
        const fs::path dev = root() / "devices/pci0000:00/0000:00:14.0/usb1" / usb;
        const fs::path intf = dev / (usb + ":1.0") / tty;
        fs::create_directories(intf);
        Write(dev / "idVendor", vid);
        Write(dev / "idProduct", pid);
        if (serial) {
            Write(dev / "serial", *serial);
        }
        if (!product.empty()) {
            Write(dev / "product", product);
        }
        Link(tty, intf);
        return dev;
    }
    void PlatformTty(const std::string& tty) {
        const fs::path d = root() / "devices/platform/serial8250/tty" / tty;
        fs::create_directories(d);
        Link(tty, d);
    }
    void VirtualTty(const std::string& tty) { fs::create_directories(root() / "class/tty" / tty); }

    static void Write(const fs::path& f, const std::string& text) {
        fs::remove(f);
        std::ofstream(f) << text << '\n';
    }

  private:
    void Link(const std::string& tty, const fs::path& target) {
        const fs::path cls = root() / "class/tty" / tty;
        fs::create_directories(cls);
        fs::create_directory_symlink(fs::relative(target, cls), cls / "device");
    }
    test::TempDir dir_;
};

TEST(SysfsBridges, UsbSerialDevicesWithTheirNodesInNameOrder) {
    FakeSysfs sys;
    sys.VirtualTty("tty0");
    sys.PlatformTty("ttyS0");
    sys.UsbTty("ttyUSB0", "1-1", "10c4", "ea60", std::string("0001 A"),
               "CP2102 USB to UART Bridge Controller");
    sys.UsbTty("ttyUSB1", "1-2", "0403", "6001", std::string("FT1"));
    sys.UsbTty("ttyACM0", "1-3", "0101", "0002", std::nullopt);
    const auto ports = ListBridgePorts(sys.root().string(), "/devx");
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].path, "/devx/ttyACM0");
    EXPECT_EQ(ports[0].serial, "");
    EXPECT_TRUE(ports[0].tester) << "any product of an accepted vendor";
    EXPECT_EQ(ports[1].path, "/devx/ttyUSB0");
    EXPECT_EQ(ports[1].vendorId, 0x10C4);
    EXPECT_EQ(ports[1].productId, 0xEA60);
    EXPECT_EQ(ports[1].serial, "0001 A");
    EXPECT_EQ(ports[1].label, "CP2102 USB to UART Bridge Controller");
    EXPECT_TRUE(ports[1].tester);
    EXPECT_EQ(ports[2].vendorId, 0x0403);
    EXPECT_FALSE(ports[2].tester);

    // The shared rules on this list: two testers, ttyUSB0 the last of them.
    const TesterChoice c = ChooseTester(ports);
    EXPECT_EQ(c.count, 2u);
    EXPECT_EQ(c.port->path, "/devx/ttyUSB0");
}

TEST(SysfsBridges, NoTreeMeansNoBridges) {
    EXPECT_TRUE(ListBridgePorts("/nonexistent-sysfs", "/dev").empty());
}

TEST(SysfsBridges, UnreadableIdsSkipTheDeviceAndLongSerialsAreCut) {
    FakeSysfs sys;
    const fs::path bad = sys.UsbTty("ttyUSB0", "1-1", "10c4x", "ea60", std::string("A"));
    sys.UsbTty("ttyUSB1", "1-2", "10c4", "ea60", std::string(100, 'S'));
    const auto ports = ListBridgePorts(sys.root().string(), "/dev");
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].path, "/dev/ttyUSB1");
    EXPECT_EQ(ports[0].serial, std::string(63, 'S'));
    (void)bad;
}

TEST(SysfsBridges, AttributesThatAreNotFilesDoNotHoldTheWalkUp) {
    // A FIFO with no writer would block a plain open for ever; a huge
    // attribute is read only as far as an attribute can reach.
    FakeSysfs sys;
    const fs::path fifoIds = sys.UsbTty("ttyUSB0", "1-1", "10c4", "ea60", std::string("A"));
    fs::remove(fifoIds / "idVendor");
    ASSERT_EQ(::mkfifo((fifoIds / "idVendor").c_str(), 0600), 0);
    const fs::path fifoSerial = sys.UsbTty("ttyUSB1", "1-2", "10c4", "ea60", std::nullopt);
    ASSERT_EQ(::mkfifo((fifoSerial / "serial").c_str(), 0600), 0);
    const fs::path huge = sys.UsbTty("ttyUSB2", "1-3", "0101", "0001", std::nullopt);
    FakeSysfs::Write(huge / "product", "Big" + std::string(1 << 20, 'x'));

    auto walk = std::async(std::launch::async,
                           [&] { return ListBridgePorts(sys.root().string(), "/dev"); });
    ASSERT_EQ(walk.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "the walk waits on a FIFO";
    const auto ports = walk.get();
    ASSERT_EQ(ports.size(), 2u) << "a device whose vendor cannot be read is not listed";
    EXPECT_EQ(ports[0].path, "/dev/ttyUSB1");
    EXPECT_EQ(ports[0].serial, "") << "an unreadable serial is none";
    EXPECT_EQ(ports[1].label.substr(0, 3), "Big");
    EXPECT_LE(ports[1].label.size(), 256u);
}

}  // namespace
}  // namespace vark
