// What the window and vark-cli tell a person about the tester's link: the
// message texts of every outcome, refusal and port failure, the device
// caption and the status line. Standard C++ only, so programs without the
// toolkit share them.
#pragma once

#include <optional>
#include <string>

#include "device/bridge_ports.h"
#include "device/link_outcome.h"

namespace vark {

// The caption of every message box.
inline constexpr char kMessageCaption[] = "VARK-u";

inline constexpr char kMsgDeviceFound[] = "\n    Device  connection is successful!    \n";
inline constexpr char kMsgDeviceNotFound[] = "\n    Device connection failed!    \n";
inline constexpr char kMsgReceiveSuccess[] = "\n      Receive success !     \n";
inline constexpr char kMsgReceiveTimeout[] = "\n  Receive timeout, Please refresh device!  \n";
inline constexpr char kMsgUnplugged[] = "\n    Device disconnected during upload!    \n";
inline constexpr char kMsgCancelled[] = "\n    Upload cancelled!    \n";

// The result codes by which refusals and reply errors are numbered, and
// their texts: codes 0 to 4 have their own, every other code (negative ones
// too) "Other Error:%d!". Codes 0 and 2 name failures the link never reports.
inline constexpr int kResultStart = 0;
inline constexpr int kResultNoLink = 1;
inline constexpr int kResultSend = 2;
inline constexpr int kResultReceive = 3;
inline constexpr int kResultBusy = 4;
std::string ResultCodeText(int code);

std::string RefusalText(Refusal refusal);
std::string PortFailureText(const PortFailure& failure);
// The text of any outcome, the OpenFailed of StartLink included.
std::string OutcomeText(const LinkOutcome& outcome);

// The device caption of the Upload dialog: "No Device" until a tester is
// found, then "Kelvor VARK-u  Port:" and the port (its number with COM
// naming, else its device node).
inline constexpr char kNoDevice[] = "No Device";
std::string DeviceCaption(const BridgePort& port, PortNaming naming);
// The port as the caption names it.
std::string PortLabel(const BridgePort& port, PortNaming naming);

// The main window's status line: "Tester on /dev/ttyUSB0" or "No tester attached".
std::string TesterStatusText(const std::optional<BridgePort>& tester);

}  // namespace vark
