#include "device/discovery.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace vark {

namespace fs = std::filesystem;

std::string CompositeKeyPath(std::uint16_t vid, std::uint16_t pid, const std::string& serial) {
    char head[40];
    std::snprintf(head, sizeof head, "Vid_%04x&Pid_%04x&Mi_00\\", vid, pid);
    return head + serial + "_00\\Device Parameters\\";
}

std::string PlainKeyPath(std::uint16_t vid, std::uint16_t pid, const std::string& serial) {
    char head[32];
    std::snprintf(head, sizeof head, "Vid_%04x&Pid_%04x\\", vid, pid);
    return head + serial + "\\Device Parameters\\";
}

void ReplaceSpaces(std::string& serial) {
    std::replace(serial.begin(), serial.end(), ' ', '_');
}

std::uint8_t ParsePortNumber(const std::string& value) {
    if (value.size() < 3) {
        return kPortNotFound;
    }
    // The letters become zeros and the whole is parsed as a decimal number;
    // as it now starts with a digit, blanks or a sign after the letters end it.
    std::string digits = value;
    digits[0] = digits[1] = digits[2] = '0';
    unsigned long long n = 0;
    for (std::size_t i = 0;
         i < digits.size() && std::isdigit(static_cast<unsigned char>(digits[i])); ++i) {
        n = (n * 10 + static_cast<unsigned>(digits[i] - '0')) & 0xFFFF;
    }
    return static_cast<std::uint8_t>(n & 0xFF);
}

std::string LookupPortValue(PortNameSource& names, std::uint16_t vid, std::uint16_t pid,
                            std::string& serial) {
    if (!names.OpenUsbEnumKey()) {
        return {};
    }
    ReplaceSpaces(serial);
    std::string value;
    auto result = names.ReadPortName(CompositeKeyPath(vid, pid, serial), value);
    if (result == PortNameSource::Result::NoKey) {
        result = names.ReadPortName(PlainKeyPath(vid, pid, serial), value);
    }
    if (result != PortNameSource::Result::Value) {
        return {};
    }
    // A value that does not fit its source's buffer cannot be read.
    if (!names.ValueFits(value)) {
        return {};
    }
    return value;
}

bool DevicePathFits(const std::string& value) {
    constexpr std::size_t kPathLimit = 4096;  // Linux's PATH_MAX, terminator included
    return value.size() < kPathLimit;
}

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

std::string Lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

// The "PortName" of the entry whose registry key path (as the lookup builds
// it from the entry's ids and serial) names `keyPath`, compared without case.
template <class Entries, class ValueOf>
PortNameSource::Result FindByKeyPath(const Entries& entries, const std::string& keyPath,
                                     std::string& value, ValueOf valueOf) {
    const std::string want = Lower(keyPath);
    for (const auto& e : entries) {
        std::string serial = e.serial;
        ReplaceSpaces(serial);
        const std::string path = e.composite ? CompositeKeyPath(e.vid, e.pid, serial)
                                             : PlainKeyPath(e.vid, e.pid, serial);
        if (Lower(path) == want) {
            value = valueOf(e);
            return PortNameSource::Result::Value;
        }
    }
    return PortNameSource::Result::NoKey;
}

}  // namespace

bool FixedDeviceList::DeviceCount(std::uint32_t& count) {
    count = static_cast<std::uint32_t>(devices_.size());
    return true;
}

bool FixedDeviceList::OpenDevice(std::uint32_t index, Handle& handle) {
    if (index >= devices_.size()) {
        return false;
    }
    handle = index + 1;
    return true;
}

bool FixedDeviceList::VendorId(Handle handle, std::uint16_t& vid) {
    if (handle < 1 || handle > devices_.size()) {
        return false;
    }
    vid = devices_[handle - 1].vid;
    return true;
}

bool FixedDeviceList::ProductId(Handle handle, std::uint16_t& pid) {
    if (handle < 1 || handle > devices_.size()) {
        return false;
    }
    pid = devices_[handle - 1].pid;
    return true;
}

std::string FixedDeviceList::SerialString(Handle handle) {
    return handle >= 1 && handle <= devices_.size() ? devices_[handle - 1].serial : std::string();
}

PortNameSource::Result FixedDeviceList::ReadPortName(const std::string& keyPath,
                                                     std::string& value) {
    return FindByKeyPath(devices_, keyPath, value, [](const Device& d) { return d.portValue; });
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
    return FindByKeyPath(Entries(), keyPath, value, [](const Entry& e) { return e.node; });
}

}  // namespace vark
