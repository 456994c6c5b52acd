#include "device/bridge_ports_linux.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/file_io.h"

namespace vark {

namespace fs = std::filesystem;

namespace {

// Kernel attributes are short; the serial number is at most 63 characters in
// what the program keeps of it.
constexpr std::size_t kAttributeLimit = 256;
constexpr std::size_t kSerialLimit = 63;

// The first line of a sysfs attribute; empty when it cannot be read (missing,
// or not a regular file).
std::string ReadAttribute(const fs::path& file) {
    std::string text;
    if (platform::ReadFileStart(file.string(), kAttributeLimit, text)) {
        return {};
    }
    text.erase(std::min(text.find('\n'), text.size()));
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

bool ReadHex16(const fs::path& file, std::uint16_t& out) {
    const std::string s = ReadAttribute(file);
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

std::vector<BridgePort> ListBridgePorts(const std::string& sysfsRoot, const std::string& devDir) {
    std::vector<BridgePort> ports;
    std::error_code ec;
    const fs::path classDir = fs::path(sysfsRoot) / "class" / "tty";
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(classDir, ec)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    const fs::path top = fs::weakly_canonical(sysfsRoot, ec);
    for (const std::string& name : names) {
        // Up from the tty (through its device where it names one) to the USB
        // device: the first folder with an idVendor. Virtual terminals and
        // built-in ports have none above them.
        const fs::path link = classDir / name / "device";
        fs::path dir = fs::canonical(fs::exists(link, ec) ? link : classDir / name, ec);
        if (ec) {
            continue;
        }
        BridgePort port;
        bool found = false;
        while (!dir.empty() && dir != top && dir != dir.parent_path()) {
            if (fs::exists(dir / "idVendor", ec)) {
                found = ReadHex16(dir / "idVendor", port.vendorId) &&
                        ReadHex16(dir / "idProduct", port.productId);
                port.serial = ReadAttribute(dir / "serial");
                if (port.serial.size() > kSerialLimit) {
                    port.serial.resize(kSerialLimit);
                }
                port.label = ReadAttribute(dir / "product");
                break;
            }
            dir = dir.parent_path();
        }
        if (!found) {
            continue;
        }
        port.path = (fs::path(devDir) / name).string();
        port.tester = IsTesterPort(port, PortNaming::DeviceNode);
        ports.push_back(std::move(port));
    }
    return ports;
}

std::vector<BridgePort> ListBridgePorts() {
    return ListBridgePorts("/sys", "/dev");
}

std::optional<BridgePort> PortFromName(const std::string& name) {
    if (name.empty()) {
        return std::nullopt;
    }
    BridgePort port;
    port.path = name;
    port.tester = true;
    return port;
}

}  // namespace vark
