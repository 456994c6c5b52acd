// A USB serial bridge as the kernel and udev show it, made with umockdev:
// sysfs attributes, udev properties and uevents that a libudev monitor
// receives, and its device node (/dev/ttyUSB<n>) as a pseudo-terminal, for
// instance the tester simulator's. The test program must run under
// umockdev-wrapper; nothing of the machine's own devices is seen.
#pragma once

#include <map>
#include <string>

namespace vark::test {

class UsbTestbed {
  public:
    UsbTestbed();
    ~UsbTestbed();
    UsbTestbed(const UsbTestbed&) = delete;
    UsbTestbed& operator=(const UsbTestbed&) = delete;

    // Whether the program runs under umockdev (else nothing here works).
    static bool Active();

    struct Bridge {
        std::string tty = "ttyUSB0";
        std::string usb = "1-1";  // the USB device's name, its bus path
        std::string vendor = "10c4";
        std::string product = "ea60";
        std::string serial = "0001";
        std::string label = "CP2102 USB to UART Bridge Controller";
        // The node's other end: a pseudo-terminal's device ("/dev/pts/3").
        std::string pty;
        // udev properties of the tty beyond DEVNAME (ID_MM_DEVICE_IGNORE...).
        std::map<std::string, std::string> properties = {{"ID_MM_DEVICE_IGNORE", "1"}};
    };

    // Plugs the bridge in: its sysfs tree, its node, then the add event.
    void Plug(const Bridge& bridge);
    // Pulls it out: the remove event, then its node and sysfs tree go.
    void Unplug(const std::string& tty);

  private:
    struct Plugged {
        std::string usb, intf, port, tty, node;
    };
    void* bed_;  // UMockdevTestbed
    std::map<std::string, Plugged> plugged_;
};

}  // namespace vark::test
