// A stand-in for the bridge maker's device library, for tests only: the same
// ordinals and calling convention, serving the devices listed in the file
// that VARK_BRIDGE_DEVICES names, one per line:
//     VID PID SERIAL      (ids in hex; the serial is the rest of the line)
// A line starting with "!" lists a device that cannot be opened; "#" starts
// a comment. The file is read again on every device count, so a test can
// change it between discoveries.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#define VARK_BRIDGE_API
#include "device/bridge_library.h"

namespace {

struct Device {
    std::uint16_t vid;
    std::uint16_t pid;
    char serial[128];
    bool openable;
    bool open;
};

constexpr int kMaxDevices = 16;
Device g_devices[kMaxDevices];
int g_count = 0;

void Load() {
    g_count = 0;
    char path[MAX_PATH];
    const DWORD n = ::GetEnvironmentVariableA("VARK_BRIDGE_DEVICES", path, sizeof path);
    if (n == 0 || n >= sizeof path) {
        return;
    }
    std::FILE* f = std::fopen(path, "r");
    if (!f) {
        return;
    }
    char line[256];
    while (g_count < kMaxDevices && std::fgets(line, sizeof line, f)) {
        line[std::strcspn(line, "\r\n")] = '\0';
        char* p = line;
        if (*p == '#' || *p == '\0') {
            continue;
        }
        Device& d = g_devices[g_count];
        d = Device{};
        d.openable = *p != '!';
        if (!d.openable) {
            ++p;
        }
        char* end = nullptr;
        d.vid = static_cast<std::uint16_t>(std::strtoul(p, &end, 16));
        p = end;
        d.pid = static_cast<std::uint16_t>(std::strtoul(p, &end, 16));
        p = end;
        if (*p == ' ') {
            ++p;
        }
        std::strncpy(d.serial, p, sizeof d.serial - 1);
        ++g_count;
    }
    std::fclose(f);
}

Device* At(BridgeHandle handle) {
    const auto i = reinterpret_cast<std::uintptr_t>(handle);
    if (i < 1 || i > static_cast<std::uintptr_t>(g_count) || !g_devices[i - 1].open) {
        return nullptr;
    }
    return &g_devices[i - 1];
}

BridgeStatus String(const char* s, char* buffer, std::uint8_t* length, std::size_t room) {
    const std::size_t n = std::strlen(s) < room ? std::strlen(s) : room;
    std::memcpy(buffer, s, n);  // no terminator, as the real library gives none
    *length = static_cast<std::uint8_t>(n);
    return 0;
}

}  // namespace

extern "C" {

BridgeStatus __stdcall BridgeDeviceCount(std::uint32_t* count) {
    Load();
    *count = static_cast<std::uint32_t>(g_count);
    return 0;
}

BridgeStatus __stdcall BridgeOpen(std::uint32_t index, BridgeHandle* handle) {
    if (index >= static_cast<std::uint32_t>(g_count) || !g_devices[index].openable ||
        g_devices[index].open) {
        return 2;
    }
    g_devices[index].open = true;
    *handle = reinterpret_cast<BridgeHandle>(static_cast<std::uintptr_t>(index) + 1);
    return 0;
}

BridgeStatus __stdcall BridgeClose(BridgeHandle handle) {
    Device* d = At(handle);
    if (!d) {
        return 1;
    }
    d->open = false;
    return 0;
}

BridgeStatus __stdcall BridgeProductString(BridgeHandle handle, char* buffer, std::uint8_t* length,
                                           int) {
    return At(handle) ? String("VARK-u bridge", buffer, length, 127) : 1;
}

BridgeStatus __stdcall BridgeSerialString(BridgeHandle handle, char* buffer, std::uint8_t* length,
                                          int) {
    Device* d = At(handle);
    return d ? String(d->serial, buffer, length, 63) : 1;
}

BridgeStatus __stdcall BridgeVendorId(BridgeHandle handle, std::uint16_t* vid) {
    Device* d = At(handle);
    return d ? (*vid = d->vid, 0) : 1;
}

BridgeStatus __stdcall BridgeProductId(BridgeHandle handle, std::uint16_t* pid) {
    Device* d = At(handle);
    return d ? (*pid = d->pid, 0) : 1;
}

}  // extern "C"
