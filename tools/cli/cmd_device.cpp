// upload and ports: the tester seen without a window, through the same
// link and bridge list the Upload dialog uses.

#include <chrono>
#include <cstdio>
#include <string>

#include "device/bridge_ports.h"
#include "device/loop_owner.h"
#include "device/tester_link.h"
#include "platform/system.h"
#include "records/record_file.h"
#include "tools/cli/archive_cli.h"
#include "tools/cli/cli.h"
#include "ui/link_texts.h"
#ifndef _WIN32
#include "device/bridge_ports_linux.h"
#endif

namespace vark::cli {
namespace {

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

// The USB serial string of the bridge behind the link's port: the one
// discovery found, or the bridge the system lists on a port named by hand (a
// pseudo-terminal has none).
std::string TesterSerial(const TesterLink& link) {
    if (!link.Port().serial.empty()) {
        return link.Port().serial;
    }
    for (const BridgePort& p : ListBridgePorts()) {
        if (p.path == link.Port().path) {
            return p.serial;
        }
    }
    return {};
}

int Upload(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(args,
                        {"--port", "-o", "--output", "--lot", "--part", "--operator", "--note",
                         "--archive", "--server"},
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

    // The owner outlives the link: the link's destruction stops its worker.
    LoopOwner owner;
    TesterLink link;
    link.SetOwner(&owner);
    if (device.empty()) {
        const TesterChoice found = ChooseTester(ListBridgePorts());
        if (!found.Found()) {
            return Fail(kMsgDeviceNotFound);
        }
        link.UsePort(*found.port);
    } else {
        const std::optional<BridgePort> port = PortFromName(device);
        if (!port) {
            return Usage();
        }
        link.UsePort(*port);
    }
    if (const auto failed = link.StartLink()) {
        return Fail(OutcomeText(*failed));
    }

    // Progress only for a person watching; logs and pipes get the outcome.
    const std::string label = PortLabel(link.Port(), link.Naming());
    const bool showProgress = vark::platform::StandardErrorIsTerminal();
    if (showProgress) {
        std::fprintf(stderr, "Uploading from %s ...", label.c_str());
        // The tester's progress values run 0..19 and, for long replies, stop
        // early (at 3 for 100 records); they are shown as they come.
        owner.onProgress = [label](int value) {
            std::fprintf(stderr, "\rUploading from %s ... %2d/20", label.c_str(), value);
        };
    }
    UploadFacts facts;
    facts.started = archive::NowMs();
    if (const Refusal refused = link.Request(); refused != Refusal::None) {
        return Fail(RefusalText(refused));
    }
    // The receive time-out bounds every silence; this only bounds a tester
    // that keeps trickling bytes forever.
    owner.WaitForOutcome(std::chrono::minutes(10));
    if (showProgress) {
        std::fputs("\n", stderr);
    }
    if (!owner.Received()) {
        return Fail(owner.Outcome() ? OutcomeText(*owner.Outcome()) : kMsgReceiveTimeout);
    }
    const RecordBlock& block = owner.Block();
    facts.ended = archive::NowMs();
    facts.port = label;
    facts.testerSerial = TesterSerial(link);
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

// The system's bridges as the platform lists them: ids, serial, port,
// whether it is a tester, and the product's own name.
int Ports(const std::vector<std::string>& args) {
#ifndef _WIN32
    Arguments a;
    if (!ParseArguments(args, {"--sysfs"}, {}, a) || !a.names.empty()) {
        return Usage();
    }
    const std::vector<BridgePort> ports = ListBridgePorts(a.Value("--sysfs", "/sys"), "/dev");
#else
    if (!args.empty()) {
        return Usage();
    }
    const std::vector<BridgePort> ports = ListBridgePorts();
#endif
    if (ports.empty()) {
        std::fputs("no USB serial bridge devices found\n", stderr);
        return kExitOk;
    }
    std::printf("VID\tPID\tSERIAL\tPORT\tTESTER\tLABEL\n");
    for (const BridgePort& p : ports) {
        std::printf("%04x\t%04x\t%s\t%s\t%s\t%s\n", p.vendorId, p.productId,
                    Printable(p.serial).c_str(), p.path.empty() ? "-" : Printable(p.path).c_str(),
                    p.tester ? "yes" : "no", p.label.empty() ? "-" : Printable(p.label).c_str());
    }
    return FinishOutput();
}

const Register kUpload{
    {"upload",
     "[--port DEVICE] [-o FILE] [--lot L] [--part P] [--operator O] [--note N] [--archive FILE "
     "| --no-archive] [--server URL]",
     "fetch the tester's records (found on USB, or on DEVICE) into the archive and a record "
     "file; with a server, one try to send them there",
     Upload}};
#ifndef _WIN32
constexpr const char* kPortsUsage = "[--sysfs DIR]";
#else
constexpr const char* kPortsUsage = "";
#endif
const Register kPorts{
    {"ports", kPortsUsage,
     "list the USB serial bridges: vendor, product, serial, port, tester or not, name", Ports}};

}  // namespace
}  // namespace vark::cli
