// The USB-to-UART bridge maker's device-information library, declared as this
// program uses it: seven functions imported by ordinal (bridge_library.def
// gives the ordinals, dlltool makes the import library from it), bound at load
// time, standard calling convention. A result of 0 means success.
#pragma once

#include <cstdint>

#ifndef VARK_BRIDGE_API
#define VARK_BRIDGE_API __declspec(dllimport)
#endif

extern "C" {

using BridgeHandle = void*;
using BridgeStatus = int;

// @1: number of attached bridge devices.
VARK_BRIDGE_API BridgeStatus __stdcall BridgeDeviceCount(std::uint32_t* count);
// @3: opens the device with a 0-based index.
VARK_BRIDGE_API BridgeStatus __stdcall BridgeOpen(std::uint32_t index, BridgeHandle* handle);
// @4: closes a handle from BridgeOpen.
VARK_BRIDGE_API BridgeStatus __stdcall BridgeClose(BridgeHandle handle);
// @12: the product string (128-byte buffer), not terminated; unused here.
VARK_BRIDGE_API BridgeStatus __stdcall BridgeProductString(BridgeHandle handle, char* buffer,
                                                           std::uint8_t* length, int ascii);
// @13: the serial-number string (64-byte buffer), not terminated.
VARK_BRIDGE_API BridgeStatus __stdcall BridgeSerialString(BridgeHandle handle, char* buffer,
                                                          std::uint8_t* length, int ascii);
// @14, @15: USB vendor and product ids.
VARK_BRIDGE_API BridgeStatus __stdcall BridgeVendorId(BridgeHandle handle, std::uint16_t* vid);
VARK_BRIDGE_API BridgeStatus __stdcall BridgeProductId(BridgeHandle handle, std::uint16_t* pid);

}  // extern "C"
