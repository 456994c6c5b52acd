// Discovery over fake device lists and registries (neither exists here), the
// kernel's device list read from a fake sysfs tree, and the port checks that
// StartLink makes before anything is opened.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "device/discovery.h"
#include "device/discovery_sysfs.h"
#include "device/owner_loop.h"
#include "device/serial_port.h"
#include "tests/support/sim_process.h"

namespace vark {
namespace {

namespace fs = std::filesystem;

struct FakeDevice {
    std::uint16_t vid = 0x10C4;
    std::uint16_t pid = 0xEA60;
    std::string serial;
    bool openFails = false;
    bool idFails = false;
};

class FakeBridges : public BridgeDeviceSource {
  public:
    std::vector<FakeDevice> devices;
    bool countFails = false;
    int open = 0;  // handles not closed yet
    int serialReads = 0;

    bool DeviceCount(std::uint32_t& n) override {
        if (countFails) {
            return false;
        }
        n = static_cast<std::uint32_t>(devices.size());
        return true;
    }
    bool OpenDevice(std::uint32_t i, Handle& h) override {
        if (i >= devices.size() || devices[i].openFails) {
            return false;
        }
        EXPECT_EQ(open, 0) << "a handle is closed before the next is opened";
        ++open;
        h = i + 100;
        return true;
    }
    bool VendorId(Handle h, std::uint16_t& v) override {
        v = devices[h - 100].vid;
        return !devices[h - 100].idFails;
    }
    bool ProductId(Handle h, std::uint16_t& p) override {
        p = devices[h - 100].pid;
        return true;
    }
    std::string SerialString(Handle h) override {
        ++serialReads;
        return devices[h - 100].serial;
    }
    void CloseDevice(Handle) override { --open; }
};

class FakeRegistry : public PortNameSource {
  public:
    // Key path (any case) -> PortName value; nullopt: key without the value.
    std::map<std::string, std::optional<std::string>> keys;
    bool rootFails = false;
    std::vector<std::string> asked;

    bool OpenUsbEnumKey() override { return !rootFails; }
    Result ReadPortName(const std::string& path, std::string& value) override {
        asked.push_back(path);
        for (const auto& [k, v] : keys) {
            if (std::equal(k.begin(), k.end(), path.begin(), path.end(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) ==
                           std::tolower(static_cast<unsigned char>(b));
                })) {
                if (!v) {
                    return Result::NoValue;
                }
                value = *v;
                return Result::Value;
            }
        }
        return Result::NoKey;
    }
    void Plain(std::uint16_t vid, std::uint16_t pid, const std::string& serial,
               std::optional<std::string> v) {
        keys[PlainKeyPath(vid, pid, serial)] = std::move(v);
    }
    void Composite(std::uint16_t vid, std::uint16_t pid, const std::string& serial,
                   std::optional<std::string> v) {
        keys[CompositeKeyPath(vid, pid, serial)] = std::move(v);
    }
};

// Records what the channel asks of the line; a COM port cannot exist here.
class RecordingLine : public SerialLine {
  public:
    std::string opened;
    bool openFails = false, getFails = false, setFails = false;
    LineSettings written;
    bool isOpen = false;

    bool Open(const std::string& d, std::string*, int*) override {
        opened = d;
        isOpen = !openFails;
        return isOpen;
    }
    bool IsOpen() const override { return isOpen; }
    void Close() override { isOpen = false; }
    void SetQueueSizes(std::size_t, std::size_t) override {}
    void Purge(unsigned) override {}
    void RaiseRts() override {}
    bool GetLineSettings(LineSettings& s) override {
        s = LineSettings{false, 9600, 7, 2, 2};
        return !getFails;
    }
    bool SetLineSettings(const LineSettings& s) override {
        written = s;
        return !setFails;
    }
    bool ClearError(std::size_t* q) override {
        if (q) {
            *q = 0;
        }
        return true;
    }
    bool Write(const std::uint8_t*, std::size_t) override { return true; }
    long Read(std::uint8_t*, std::size_t) override { return 0; }
};

struct Rig {
    explicit Rig(PortNaming naming = PortNaming::ComNumber) {
        auto l = std::make_unique<RecordingLine>();
        line = l.get();
        port = std::make_unique<SerialPort>(std::move(l), naming);
        port->SetDiscoverySources(&bridges, &registry);
    }
    FakeBridges bridges;
    FakeRegistry registry;
    LoopOwner owner;
    RecordingLine* line;
    std::unique_ptr<SerialPort> port;
};

TEST(Discovery, OneTesterOnCom5) {
    Rig r;
    r.bridges.devices = {{0x10C4, 0xEA60, "0001"}};
    r.registry.Plain(0x10C4, 0xEA60, "0001", "COM5");
    EXPECT_TRUE(r.port->Discover(&r.owner));
    EXPECT_EQ(r.port->PortNo(), 5);
    EXPECT_EQ(r.port->Owner(), &r.owner);
    EXPECT_EQ(r.port->DeviceCaption(), "Kelvor VARK-u  Port:5");
    EXPECT_EQ(r.bridges.open, 0);
}

TEST(Discovery, PortNumberRules) {
    Rig r;
    r.bridges.devices = {{0x10C4, 1, "A"}};
    const std::pair<std::string, int> cases[] = {
        {"COM1", 1}, {"COM12", 12}, {"COM300", 44}, {"com7", 7},
        {"COM", 0},  {"CO", 255},   {"COM 5", 0},   {"XYZ9x", 9},
    };
    for (const auto& [value, port] : cases) {
        r.registry.keys.clear();
        r.registry.Plain(0x10C4, 1, "A", value);
        const unsigned counted = r.port->EnumerateDevices();
        EXPECT_EQ(r.port->PortNo(), port) << value;
        EXPECT_EQ(counted, port >= 2 && port <= 254 ? 1u : 0u) << value;
    }
}

TEST(Discovery, LastAcceptedDeviceWinsThePort) {
    Rig r;
    r.bridges.devices = {{0x10C4, 1, "A"}, {0x0101, 2, "B"}};
    r.registry.Plain(0x10C4, 1, "A", "COM5");
    // Second tester without registry entry: counted once, port 255.
    EXPECT_TRUE(r.port->Discover(&r.owner));
    EXPECT_EQ(r.port->EnumerateDevices(), 1u);
    EXPECT_EQ(r.port->PortNo(), 255);
    EXPECT_EQ(r.port->StartLink(), 0);
    EXPECT_EQ(r.owner.LastMessage(), "\n    PortNO:255  is Error!    \n");
    EXPECT_TRUE(r.line->opened.empty()) << "no open is attempted";

    // Both found (0x0101 counts like 0x10C4): count 2, the second's port.
    r.registry.Plain(0x0101, 2, "B", "COM7");
    EXPECT_EQ(r.port->EnumerateDevices(), 2u);
    EXPECT_EQ(r.port->PortNo(), 7);

    // A device of another vendor after them changes nothing.
    r.bridges.devices.push_back({0x0403, 3, "C"});
    r.registry.Plain(0x0403, 3, "C", "COM9");
    r.bridges.serialReads = 0;
    EXPECT_EQ(r.port->EnumerateDevices(), 2u);
    EXPECT_EQ(r.port->PortNo(), 7);
    EXPECT_EQ(r.bridges.serialReads, 2) << "other vendors' serials are never read";

    // COM1 as the only tester: not counted, but it is the port.
    r.bridges.devices = {{0x10C4, 1, "A"}};
    r.registry.Plain(0x10C4, 1, "A", "COM1");
    EXPECT_FALSE(r.port->Discover(&r.owner));
    EXPECT_EQ(r.port->PortNo(), 1);
}

TEST(Discovery, UnreadableDevicesAreSkippedAndClosed) {
    Rig r;
    r.bridges.devices = {
        {0x10C4, 1, "A", true, false}, {0x10C4, 2, "B", false, true}, {0x10C4, 3, "C"}};
    r.registry.Plain(0x10C4, 1, "A", "COM4");
    r.registry.Plain(0x10C4, 2, "B", "COM6");
    r.registry.Plain(0x10C4, 3, "C", "COM8");
    EXPECT_EQ(r.port->EnumerateDevices(), 1u);
    EXPECT_EQ(r.port->PortNo(), 8);
    EXPECT_EQ(r.bridges.open, 0);

    r.bridges.countFails = true;
    EXPECT_FALSE(r.port->Discover(&r.owner));
    EXPECT_EQ(r.port->PortNo(), 0);

    r.bridges.countFails = false;
    r.registry.rootFails = true;
    EXPECT_FALSE(r.port->Discover(&r.owner));
    EXPECT_EQ(r.port->PortNo(), 255);
}

TEST(Discovery, KeyPathsCompositeFirstAndSpacesAsUnderscores) {
    Rig r;
    r.bridges.devices = {{0x10C4, 0xEA60, "AB 12 x"}};
    r.registry.Composite(0x10C4, 0xEA60, "AB_12_x", "COM9");
    r.registry.Plain(0x10C4, 0xEA60, "AB_12_x", "COM3");
    EXPECT_TRUE(r.port->Discover(&r.owner));
    EXPECT_EQ(r.port->PortNo(), 9);
    ASSERT_EQ(r.registry.asked.size(), 1u);
    EXPECT_EQ(r.registry.asked[0], "Vid_10c4&Pid_ea60&Mi_00\\AB_12_x_00\\Device Parameters\\");

    // The composite key without its value: 255, the plain key is not tried.
    r.registry.Composite(0x10C4, 0xEA60, "AB_12_x", std::nullopt);
    r.registry.asked.clear();
    EXPECT_FALSE(r.port->Discover(&r.owner));
    EXPECT_EQ(r.port->PortNo(), 255);
    EXPECT_EQ(r.registry.asked.size(), 1u);

    // No composite key: the plain one.
    r.registry.keys.erase(CompositeKeyPath(0x10C4, 0xEA60, "AB_12_x"));
    r.registry.asked.clear();
    EXPECT_TRUE(r.port->Discover(&r.owner));
    EXPECT_EQ(r.port->PortNo(), 3);
    ASSERT_EQ(r.registry.asked.size(), 2u);
    EXPECT_EQ(r.registry.asked[1], "Vid_10c4&Pid_ea60\\AB_12_x\\Device Parameters\\");

    std::string serial = "a b";
    EXPECT_EQ(r.port->LookupPortNumber(0x10C4, 0xEA60, serial), 255);
    EXPECT_EQ(serial, "a_b") << "changed in place";
}

TEST(Discovery, ValueTooLongForItsBufferIsNotFound) {
    FakeRegistry reg;
    std::string serial = "S";
    reg.Plain(1, 2, "S", "COM" + std::string(46, '1'));  // 49 characters fit
    EXPECT_FALSE(LookupPortValue(reg, 1, 2, serial).empty());
    reg.Plain(1, 2, "S", "COM" + std::string(47, '1'));
    EXPECT_TRUE(LookupPortValue(reg, 1, 2, serial).empty());
}

TEST(Discovery, DevicePathsAreNotHeldToTheRegistryBuffer) {
    // What Linux users copy from /dev/serial/by-id: 88 characters.
    const std::string byId =
        "/dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0";
    FixedDeviceList list({{0x10C4, 0xEA60, "0001", byId}});
    std::string serial = "0001";
    EXPECT_EQ(LookupPortValue(list, 0x10C4, 0xEA60, serial), byId);

    LoopOwner owner;
    SerialPort port;
    port.SetDiscoverySources(&list, &list);
    ASSERT_TRUE(port.Discover(&owner));
    EXPECT_EQ(port.PortName(), byId);

    // Only a value no path can have is refused.
    FixedDeviceList huge({{0x0101, 1, "H", "/dev/" + std::string(5000, 'x')}});
    serial = "H";
    EXPECT_TRUE(LookupPortValue(huge, 0x0101, 1, serial).empty());
}

TEST(OpenPort, ComNumbersAndTheirMessages) {
    Rig r;
    r.port->SetOwner(&r.owner);
    EXPECT_EQ(r.port->StartLink(), 0);
    EXPECT_EQ(r.owner.LastMessage(), "\n    PortNO:0  is Error!    \n");

    r.bridges.devices = {{0x10C4, 1, "A"}};
    r.registry.Plain(0x10C4, 1, "A", "COM12");
    ASSERT_TRUE(r.port->Discover(&r.owner));
    r.line->openFails = true;
    EXPECT_EQ(r.port->StartLink(), 0);
    EXPECT_EQ(r.line->opened, "\\\\.\\COM12");
    EXPECT_EQ(r.owner.LastMessage(), "\n    Open COM:12 Failed!    \n");
    EXPECT_FALSE(r.port->LinkUp());

    r.line->openFails = false;
    r.line->getFails = true;
    EXPECT_EQ(r.port->StartLink(), 0);
    EXPECT_EQ(r.owner.LastMessage(), "\n    Get Port States Failed!    \n");
    EXPECT_FALSE(r.line->isOpen);

    r.line->getFails = false;
    r.line->setFails = true;
    EXPECT_EQ(r.port->StartLink(), 0);
    EXPECT_EQ(r.owner.LastMessage(), "\n    Set Port States Failed!    \n");
    EXPECT_FALSE(r.line->isOpen);
    EXPECT_EQ(r.port->SendRequest(COMM_CMD_UPLOAD), 0);
    EXPECT_EQ(r.owner.Last(LoopOwner::Kind::Error)->value, COMM_ERR_NO_LINK);

    r.line->setFails = false;
    ASSERT_EQ(r.port->StartLink(), 1);
    EXPECT_TRUE(r.line->written.binary);
    EXPECT_EQ(r.line->written.baudRate, 38400u);
    EXPECT_EQ(r.line->written.byteSize, 8);
    EXPECT_EQ(r.line->written.parity, 0);
    EXPECT_EQ(r.line->written.stopBits, 0);
    EXPECT_EQ(r.port->Timeout(), 3000);
    EXPECT_TRUE(r.port->LinkUp());
    r.port->StopLink();
    EXPECT_FALSE(r.line->isOpen) << "the worker closes the port as it ends";

    r.registry.Plain(0x10C4, 1, "A", "COM5");
    ASSERT_TRUE(r.port->Discover(&r.owner));
    r.line->openFails = true;
    r.port->StartLink();
    EXPECT_EQ(r.line->opened, "\\\\.\\COM5");
}

TEST(CommErrorText, CodesAndOthers) {
    EXPECT_EQ(CommErrorText(0), "\n    Device Start Err!    \n");
    EXPECT_EQ(CommErrorText(1), "\n    Please Refresh Device!    \n");
    EXPECT_EQ(CommErrorText(2), "\n    Device Send Err!    \n");
    EXPECT_EQ(CommErrorText(3), "\n    Device Receive Err!    \n");
    EXPECT_EQ(CommErrorText(4), "\n    Device is Busying...   \n");
    EXPECT_EQ(CommErrorText(7), "\n    Other Error:7!    \n");
    EXPECT_EQ(CommErrorText(-1), "\n    Other Error:-1!    \n");
}

// A sysfs tree as the kernel lays it out for USB serial adapters.
class FakeSysfs {
  public:
    FakeSysfs() { fs::create_directories(root() / "class" / "tty"); }
    const fs::path& root() const { return dir_.path(); }

    // A tty on interface 0 of USB device `usb` (1-1, 1-2, ...).
    void UsbTty(const std::string& tty, const std::string& usb, const std::string& vid,
                const std::string& pid, const std::optional<std::string>& serial,
                int interfaces = 1) {
        const fs::path dev = root() / "devices/pci0000:00/0000:00:14.0/usb1" / usb;
        const fs::path intf = dev / (usb + ":1.0") / tty;
        fs::create_directories(intf);
        Write(dev / "idVendor", vid);
        Write(dev / "idProduct", pid);
        if (serial) {
            Write(dev / "serial", *serial);
        }
        Write(dev / "bNumInterfaces", " " + std::to_string(interfaces));
        Link(tty, intf);
    }
    void PlatformTty(const std::string& tty) {
        const fs::path d = root() / "devices/platform/serial8250/tty" / tty;
        fs::create_directories(d);
        Link(tty, d);
    }
    void VirtualTty(const std::string& tty) { fs::create_directories(root() / "class/tty" / tty); }

  private:
    void Write(const fs::path& f, const std::string& text) { std::ofstream(f) << text << '\n'; }
    void Link(const std::string& tty, const fs::path& target) {
        const fs::path cls = root() / "class/tty" / tty;
        fs::create_directories(cls);
        fs::create_directory_symlink(fs::relative(target, cls), cls / "device");
    }
    test::TempDir dir_;
};

TEST(Sysfs, UsbSerialDevicesAndTheirNodes) {
    FakeSysfs sys;
    sys.VirtualTty("tty0");
    sys.PlatformTty("ttyS0");
    sys.UsbTty("ttyUSB0", "1-1", "10c4", "ea60", std::string("0001 A"));
    sys.UsbTty("ttyUSB1", "1-2", "0403", "6001", std::string("FT1"));
    sys.UsbTty("ttyACM0", "1-3", "0101", "0002", std::nullopt, 2);
    SysfsUsbSerial usb(sys.root(), "/devx");
    const auto& e = usb.Entries();
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].name, "ttyACM0");
    EXPECT_EQ(e[0].serial, "");
    EXPECT_TRUE(e[0].composite);
    EXPECT_EQ(e[1].node, "/devx/ttyUSB0");
    EXPECT_EQ(e[1].vid, 0x10C4);
    EXPECT_EQ(e[1].pid, 0xEA60);
    EXPECT_EQ(e[1].serial, "0001 A");
    EXPECT_EQ(e[2].vid, 0x0403);

    // The same lookup that reads the registry finds the nodes.
    LoopOwner owner;
    SerialPort port;
    port.SetDiscoverySources(&usb, &usb);
    EXPECT_TRUE(port.Discover(&owner));
    EXPECT_EQ(port.EnumerateDevices(), 2u);
    // ttyUSB0 is the last accepted device in name order.
    EXPECT_EQ(port.PortName(), "/devx/ttyUSB0");
    EXPECT_EQ(port.DeviceCaption(), "Kelvor VARK-u  Port:/devx/ttyUSB0");

    std::string serial = "0001 A";
    std::string value;
    EXPECT_EQ(usb.ReadPortName(PlainKeyPath(0x10C4, 0xEA60, "0001_A"), value),
              PortNameSource::Result::Value);
    EXPECT_EQ(value, "/devx/ttyUSB0");
    EXPECT_EQ(usb.ReadPortName(CompositeKeyPath(0x10C4, 0xEA60, "0001_A"), value),
              PortNameSource::Result::NoKey);
    EXPECT_EQ(LookupPortValue(usb, 0x0101, 0x0002, serial = ""), "/devx/ttyACM0");
}

TEST(Sysfs, NoTreeMeansNoDevices) {
    SysfsUsbSerial usb("/nonexistent-sysfs");
    std::uint32_t n = 7;
    EXPECT_TRUE(usb.DeviceCount(n));
    EXPECT_EQ(n, 0u);
    LoopOwner owner;
    SerialPort port;
    port.SetDiscoverySources(&usb, &usb);
    EXPECT_FALSE(port.Discover(&owner));
    EXPECT_EQ(port.StartLink(), 0);
    EXPECT_EQ(owner.LastMessage(), "\n    PortNO:0  is Error!    \n");
}

}  // namespace
}  // namespace vark
