#include "device/discovery.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace vark {

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
    names.CloseUsbEnumKey();
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

std::string Lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

}  // namespace

bool HasKeyPath(const std::string& keyPath, std::uint16_t vid, std::uint16_t pid,
                std::string serial, bool composite) {
    ReplaceSpaces(serial);
    const std::string path =
        composite ? CompositeKeyPath(vid, pid, serial) : PlainKeyPath(vid, pid, serial);
    return Lower(path) == Lower(keyPath);
}

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
    for (const Device& d : devices_) {
        if (HasKeyPath(keyPath, d.vid, d.pid, d.serial, d.composite)) {
            value = d.portValue;
            return Result::Value;
        }
    }
    return Result::NoKey;
}

}  // namespace vark
