#include "device/discovery_sysfs.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace vark {

namespace fs = std::filesystem;

namespace {

// The first line of a sysfs attribute. Attributes are short; a few hundred
// bytes are read at most, whatever the file holds.
std::string ReadLine(const fs::path& file) {
    constexpr std::streamsize kAttributeLimit = 256;
    std::ifstream in(file, std::ios::binary);
    std::string line(static_cast<std::size_t>(kAttributeLimit), '\0');
    in.read(line.data(), kAttributeLimit);
    line.resize(static_cast<std::size_t>(in.gcount()));
    line.erase(std::min(line.find('\n'), line.size()));
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

bool ReadHex16(const fs::path& file, std::uint16_t& out) {
    const std::string s = ReadLine(file);
    if (s.empty()) {
        return false;
    }
    char* end = nullptr;
    const unsigned long v = std::strtoul(s.c_str(), &end, 16);
    if (*end != '\0' || v > 0xFFFF) {
        return false;
    }
    out = static_cast<std::uint16_t>(v);
    return true;
}

}  // namespace

std::unique_ptr<SystemDeviceSources> MakeSystemDeviceSources() {
    return std::make_unique<SysfsUsbSerial>();
}

SysfsUsbSerial::SysfsUsbSerial(fs::path sysfsRoot, fs::path devDir)
    : root_(std::move(sysfsRoot)), dev_(std::move(devDir)) {}

void SysfsUsbSerial::Rescan() {
    scanned_ = true;
    entries_.clear();
    std::error_code ec;
    const fs::path classDir = root_ / "class" / "tty";
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(classDir, ec)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    const fs::path top = fs::weakly_canonical(root_, ec);
    for (const std::string& name : names) {
        const fs::path link = classDir / name / "device";
        if (!fs::exists(link, ec)) {
            continue;  // virtual terminals have no device behind them
        }
        // Walk up from the tty's device to the USB device, the first
        // directory that carries idVendor.
        fs::path dir = fs::canonical(link, ec);
        if (ec) {
            continue;
        }
        Entry entry;
        bool found = false;
        while (!dir.empty() && dir != top && dir != dir.parent_path()) {
            if (fs::exists(dir / "idVendor", ec)) {
                found = ReadHex16(dir / "idVendor", entry.vid) &&
                        ReadHex16(dir / "idProduct", entry.pid);
                entry.serial = ReadLine(dir / "serial");
                if (entry.serial.size() > kSerialBufferSize - 1) {
                    entry.serial.resize(kSerialBufferSize - 1);
                }
                const std::string interfaces = ReadLine(dir / "bNumInterfaces");
                entry.composite = std::atoi(interfaces.c_str()) > 1;
                break;
            }
            dir = dir.parent_path();
        }
        if (!found) {
            continue;
        }
        entry.name = name;
        entry.node = (dev_ / name).string();
        entries_.push_back(std::move(entry));
    }
}

const std::vector<SysfsUsbSerial::Entry>& SysfsUsbSerial::Entries() {
    if (!scanned_) {
        Rescan();
    }
    return entries_;
}

bool SysfsUsbSerial::DeviceCount(std::uint32_t& count) {
    Rescan();
    count = static_cast<std::uint32_t>(entries_.size());
    return true;
}

// A handle is the index plus one, so 0 is never a valid handle.
bool SysfsUsbSerial::OpenDevice(std::uint32_t index, Handle& handle) {
    if (index >= Entries().size()) {
        return false;
    }
    handle = index + 1;
    return true;
}

const SysfsUsbSerial::Entry* SysfsUsbSerial::At(Handle handle) {
    const auto& list = Entries();
    return handle >= 1 && handle <= list.size() ? &list[handle - 1] : nullptr;
}

bool SysfsUsbSerial::VendorId(Handle handle, std::uint16_t& vid) {
    const Entry* e = At(handle);
    return e ? (vid = e->vid, true) : false;
}

bool SysfsUsbSerial::ProductId(Handle handle, std::uint16_t& pid) {
    const Entry* e = At(handle);
    return e ? (pid = e->pid, true) : false;
}

std::string SysfsUsbSerial::SerialString(Handle handle) {
    const Entry* e = At(handle);
    return e ? e->serial : std::string();
}

void SysfsUsbSerial::CloseDevice(Handle) {}

PortNameSource::Result SysfsUsbSerial::ReadPortName(const std::string& keyPath,
                                                    std::string& value) {
    for (const Entry& e : Entries()) {
        if (HasKeyPath(keyPath, e.vid, e.pid, e.serial, e.composite)) {
            value = e.node;
            return Result::Value;
        }
    }
    return Result::NoKey;
}

}  // namespace vark
