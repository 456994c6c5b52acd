// upload and ports: the tester seen without a window, through the same
// SerialPort and discovery the Upload dialog uses.

#include <cctype>
#include <chrono>
#include <cstdio>
#include <string>

#include "device/comm_defs.h"
#include "device/discovery.h"
#include "device/discovery_sysfs.h"
#include "device/owner_loop.h"
#include "device/serial_port.h"
#include "platform/system.h"
#include "records/record_file.h"
#include "tools/cli/archive_cli.h"
#include "tools/cli/cli.h"

namespace vark::cli {
namespace {

// "COM7" (any case) names port 7; numbers that cannot be a port are refused
// here, 0 and 255 by the channel with its own message.
bool ParseComName(const std::string& name, int& number) {
    if (name.size() < 4 || name.size() > 6 ||
        std::tolower(static_cast<unsigned char>(name[0])) != 'c' ||
        std::tolower(static_cast<unsigned char>(name[1])) != 'o' ||
        std::tolower(static_cast<unsigned char>(name[2])) != 'm') {
        return false;
    }
    number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) {
            return false;
        }
        number = number * 10 + (name[i] - '0');
    }
    return number <= 255;
}

// A text from a device or the kernel, made safe for one tab-separated
// field on a terminal: control characters (tabs, escape sequences, line
// breaks) and the backslash itself are written as escapes.
std::string Printable(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '\\') {
            char esc[5];
            std::snprintf(esc, sizeof esc, "\\x%02x", u);
            out += esc;
        } else {
            out += c;
        }
    }
    return out;
}

// The USB serial string of the bridge behind the port, when the system lists
// one (a pseudo-terminal has none).
std::string TesterSerial(const SerialPort& port) {
#ifdef _WIN32
    (void)port;
    return {};
#else
    SysfsUsbSerial usb("/sys");
    for (const auto& e : usb.Entries()) {
        if (e.node == port.PortName()) {
            return e.serial;
        }
    }
    return {};
#endif
}

int Upload(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(
            args,
            {"--port", "-o", "--output", "--lot", "--part", "--operator", "--note", "--archive"},
            {"--no-archive"}, a) ||
        !a.names.empty() || (a.Has("-o") && a.Has("--output")) ||
        (a.Has("--archive") && a.Has("--no-archive"))) {
        return Usage();
    }
    const bool toFile = a.Has("-o") || a.Has("--output");
    // Records that would go nowhere are not fetched.
    if (!toFile && !ArchiveConfigFor(a).enabled) {
        return Usage();
    }
    const std::string device = a.Value("--port");
    const std::string file = a.Value("-o", a.Value("--output"));

    // The owner outlives the port: the port's destruction stops the link.
    LoopOwner owner;
    SerialPort port;
    owner.Attach(&port);
    if (device.empty()) {
        if (!port.Discover(&owner)) {
            return Fail(kMsgDeviceNotFound);
        }
    } else {
        port.SetOwner(&owner);
        if (port.Naming() == PortNaming::ComNumber) {
            int number = 0;
            if (!ParseComName(device, number)) {
                return Usage();
            }
            port.SetPortNo(static_cast<std::uint8_t>(number));
        } else {
            port.SetPortName(device);
        }
    }
    if (!port.StartLink()) {
        return Fail(owner.LastMessage());
    }

    // Progress only for a person watching; logs and pipes get the outcome.
    const bool showProgress = vark::platform::StandardErrorIsTerminal();
    if (showProgress) {
        std::fprintf(stderr, "Uploading from %s ...", port.PortLabel().c_str());
        // The tester's progress values run 0..19 and, for long replies, stop
        // early (at 3 for 100 records); they are shown as they come.
        const std::string label = port.PortLabel();
        owner.onProgress = [label](int value) {
            std::fprintf(stderr, "\rUploading from %s ... %2d/20", label.c_str(), value);
        };
    }
    UploadFacts facts;
    facts.started = archive::NowMs();
    if (!port.SendRequest(COMM_CMD_UPLOAD)) {
        return Fail(owner.LastMessage());
    }
    // The receive timer bounds every silence; this only bounds a tester that
    // keeps trickling bytes forever.
    owner.WaitForOutcome(std::chrono::minutes(10));
    if (showProgress) {
        std::fputs("\n", stderr);
    }
    const LoopOwner::Event* last = owner.Events().empty() ? nullptr : &owner.Events().back();
    if (!last || last->kind != LoopOwner::Kind::Received) {
        return Fail(owner.HasOutcome() ? owner.LastMessage() : kMsgReceiveTimeout);
    }
    const RecordBlock& block = owner.Received();
    facts.ended = archive::NowMs();
    facts.port = port.PortLabel();
    facts.testerSerial = TesterSerial(port);
    // Archived first, as the window does before it says the upload succeeded;
    // a failed archive write still leaves the records in the file.
    const bool archived = ArchiveUpload(a, block, facts);
    if (toFile) {
        const std::string path = WithRecordExtension(file);
        std::error_code reason;
        const FileStatus st = WriteRecordFile(path, block, &reason);
        if (st != FileStatus::Ok) {
            return FailWithReason(FileStatusMessage(st), reason);
        }
        std::printf("%u records saved to %s\n", static_cast<unsigned>(UsedSlots(block)),
                    path.c_str());
    }
    const int out = FinishOutput();
    return !archived ? kExitNotArchived : out;
}

#ifdef _WIN32
// The bridge devices as the library lists them, with the "PortName" their
// registry keys give.
int Ports(const std::vector<std::string>& args) {
    if (!args.empty()) {
        return Usage();
    }
    auto directory = MakeSystemDeviceSources();
    std::uint32_t n = 0;
    if (!directory->DeviceCount(n)) {
        n = 0;
    }
    bool header = false;
    for (std::uint32_t i = 0; i < n; ++i) {
        BridgeDeviceSource::Handle handle = 0;
        if (!directory->OpenDevice(i, handle)) {
            continue;
        }
        std::uint16_t vid = 0;
        std::uint16_t pid = 0;
        if (directory->VendorId(handle, vid) && directory->ProductId(handle, pid)) {
            const std::string raw = directory->SerialString(handle);
            std::string serial = raw;
            const std::string value = LookupPortValue(*directory, vid, pid, serial);
            const std::uint8_t number = value.empty() ? kPortNotFound : ParsePortNumber(value);
            const bool tester = IsAcceptedVendor(vid) && number > 1 && number < kPortNotFound;
            if (!header) {
                std::printf("VID\tPID\tSERIAL\tPORT\tTESTER\n");
                header = true;
            }
            std::printf("%04x\t%04x\t%s\t%s\t%s\n", vid, pid, Printable(raw).c_str(),
                        value.empty() ? "-" : Printable(value).c_str(), tester ? "yes" : "no");
        }
        directory->CloseDevice(handle);
    }
    if (!header) {
        std::fputs("no USB serial bridge devices found\n", stderr);
        return kExitOk;
    }
    return FinishOutput();
}
#else
int Ports(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(args, {"--sysfs"}, {}, a) || !a.names.empty()) {
        return Usage();
    }
    const std::string root = a.Value("--sysfs", "/sys");
    SysfsUsbSerial usb(root);
    const auto entries = usb.Entries();
    if (entries.empty()) {
        std::fputs("no USB serial bridge devices found\n", stderr);
        return kExitOk;
    }
    std::printf("VID\tPID\tSERIAL\tPORT\tTESTER\n");
    for (const auto& e : entries) {
        std::string serial = e.serial;
        const bool tester =
            IsAcceptedVendor(e.vid) && !LookupPortValue(usb, e.vid, e.pid, serial).empty();
        std::printf("%04x\t%04x\t%s\t%s\t%s\n", e.vid, e.pid, Printable(e.serial).c_str(),
                    Printable(e.node).c_str(), tester ? "yes" : "no");
    }
    return FinishOutput();
}
#endif

const Register kUpload{
    {"upload",
     "[--port DEVICE] [-o FILE] [--lot L] [--part P] [--operator O] [--note N] [--archive FILE "
     "| --no-archive]",
     "fetch the tester's records (found on USB, or on DEVICE) into the archive and a record file",
     Upload}};
#ifdef _WIN32
constexpr const char* kPortsUsage = "";
#else
constexpr const char* kPortsUsage = "[--sysfs DIR]";
#endif
const Register kPorts{{"ports", kPortsUsage,
                       "list the USB serial bridges: vendor, product, serial, port, tester or not",
                       Ports}};

}  // namespace
}  // namespace vark::cli
