#include "tests/support/usb_testbed.h"

#include <sys/stat.h>
#include <unistd.h>

#include <umockdev.h>

#include <stdexcept>
#include <vector>

namespace vark::test {
namespace {

UMockdevTestbed* Bed(void* bed) {
    return static_cast<UMockdevTestbed*>(bed);
}

// The node's ioctls go to the real pseudo-terminal behind it, as they would
// to a real tty's driver (umockdev answers them itself otherwise).
gboolean PassIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer) {
    GError* error = nullptr;
    gint err = 0;
    const gint result = umockdev_ioctl_client_execute(client, &err, &error);
    if (error) {
        g_error_free(error);
        return FALSE;
    }
    umockdev_ioctl_client_complete(client, result, err);
    return TRUE;
}

std::string Take(gchar* text) {
    std::string s = text ? text : "";
    g_free(text);
    return s;
}

}  // namespace

bool UsbTestbed::Active() {
    return umockdev_in_mock_environment();
}

UsbTestbed::UsbTestbed() : bed_(umockdev_testbed_new()) {
    if (!Active()) {
        throw std::runtime_error("not under umockdev-wrapper");
    }
}

UsbTestbed::~UsbTestbed() {
    while (!plugged_.empty()) {
        Unplug(plugged_.begin()->first);
    }
    g_object_unref(Bed(bed_));
}

void UsbTestbed::Plug(const Bridge& b) {
    UMockdevTestbed* bed = Bed(bed_);
    Plugged p;
    p.usb = Take(umockdev_testbed_add_device(
        bed, "usb", b.usb.c_str(), nullptr, "idVendor", b.vendor.c_str(), "idProduct",
        b.product.c_str(), "serial", b.serial.c_str(), "product", b.label.c_str(), "bNumInterfaces",
        " 1", nullptr, "DEVTYPE", "usb_device", nullptr));
    p.intf = Take(umockdev_testbed_add_device(bed, "usb", (b.usb + ":1.0").c_str(), p.usb.c_str(),
                                              nullptr, "DEVTYPE", "usb_interface", nullptr));
    p.port = Take(umockdev_testbed_add_device(bed, "usb-serial", b.tty.c_str(), p.intf.c_str(),
                                              nullptr, nullptr));
    p.node = "/dev/" + b.tty;
    // The node first, then the tty and its add event: a watcher may open the
    // port as soon as it hears of it.
    const std::string dev = Take(umockdev_testbed_get_root_dir(bed)) + "/dev";
    ::mkdir(dev.c_str(), 0755);
    const std::string link = dev + "/" + b.tty;
    ::unlink(link.c_str());
    if (::symlink(b.pty.c_str(), link.c_str()) != 0) {
        throw std::runtime_error("cannot make " + link);
    }
    UMockdevIoctlBase* pass =
        static_cast<UMockdevIoctlBase*>(g_object_new(UMOCKDEV_TYPE_IOCTL_BASE, nullptr));
    g_signal_connect(pass, "handle-ioctl", G_CALLBACK(PassIoctl), nullptr);
    GError* error = nullptr;
    umockdev_testbed_attach_ioctl(bed, p.node.c_str(), pass, &error);
    g_object_unref(pass);
    if (error) {
        const std::string why = error->message;
        g_error_free(error);
        throw std::runtime_error("cannot attach to " + p.node + ": " + why);
    }
    std::vector<std::string> props = {"DEVNAME", p.node};
    for (const auto& [name, value] : b.properties) {
        props.push_back(name);
        props.push_back(value);
    }
    std::vector<gchar*> propv;
    for (std::string& s : props) {
        propv.push_back(s.data());
    }
    propv.push_back(nullptr);
    gchar* none[] = {nullptr};
    // Adding the tty sends its add event.
    p.tty = Take(umockdev_testbed_add_devicev(bed, "tty", b.tty.c_str(), p.port.c_str(), none,
                                              propv.data()));
    plugged_[b.tty] = p;
}

void UsbTestbed::Unplug(const std::string& tty) {
    const auto it = plugged_.find(tty);
    if (it == plugged_.end()) {
        return;
    }
    UMockdevTestbed* bed = Bed(bed_);
    const Plugged p = it->second;
    plugged_.erase(it);
    umockdev_testbed_uevent(bed, p.tty.c_str(), "remove");
    GError* error = nullptr;
    umockdev_testbed_detach_ioctl(bed, p.node.c_str(), &error);
    if (error) {
        g_error_free(error);
    }
    const std::string link = Take(umockdev_testbed_get_root_dir(bed)) + p.node;
    ::unlink(link.c_str());
    for (const std::string* path : {&p.tty, &p.port, &p.intf, &p.usb}) {
        umockdev_testbed_remove_device(bed, path->c_str());
    }
}

}  // namespace vark::test
