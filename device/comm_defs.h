// Message numbers, command codes and result codes of the link to the tester,
// shared by the serial channel, its owners (the Upload dialog, vark-cli) and
// the tester simulator.
#pragma once

#include <cstdint>
#include <string>

namespace vark {

// Window-message numbers as the tester's Windows program knows them; kept so
// logs and owners can name a notification the same way on every platform.
inline constexpr unsigned WM_USER = 0x0400;
inline constexpr unsigned WM_QUIT = 0x0012;
inline constexpr unsigned WM_COMM_REQUEST = WM_USER + 100;   // thread message to the worker
inline constexpr unsigned WM_COMM_ERROR = WM_USER + 101;     // refusal, code in wParam
inline constexpr unsigned WM_COMM_PROGRESS = WM_USER + 102;  // progress value 0..19
inline constexpr unsigned WM_COMM_RECEIVED = WM_USER + 103;  // reply complete and checked

inline constexpr int ID_TIMER_RECEIVE = 1;

inline constexpr int COMM_CMD_UPLOAD = 1;

inline constexpr int COMM_ERR_START = 0;
inline constexpr int COMM_ERR_NO_LINK = 1;
inline constexpr int COMM_ERR_SEND = 2;
inline constexpr int COMM_ERR_RECEIVE = 3;
inline constexpr int COMM_ERR_BUSY = 4;

// The command frame of COMM_CMD_UPLOAD.
inline constexpr std::uint8_t kUploadCommand[3] = {0x2A, 0x00, 0x3A};

// Line speed: 38,400 baud 8N1 carries 3,840 bytes per second.
inline constexpr int kBaudRate = 38400;
inline constexpr int kLineBytesPerSecond = 3840;

inline constexpr int kReceiveTimeoutMs = 3000;  // silence allowed between two reads
inline constexpr int kReceivePollMs = 100;
inline constexpr int kStopPauseMs = 800;

// Message texts, framed exactly as the user sees them.
inline constexpr char kMsgReceiveSuccess[] = "\n      Receive success !     \n";
inline constexpr char kMsgReceiveTimeout[] = "\n  Receive timeout, Please refresh device!  \n";
inline constexpr char kMsgDeviceFound[] = "\n    Device  connection is successful!    \n";
inline constexpr char kMsgDeviceNotFound[] = "\n    Device connection failed!    \n";
inline constexpr char kMsgGetStateFailed[] = "\n    Get Port States Failed!    \n";
inline constexpr char kMsgSetStateFailed[] = "\n    Set Port States Failed!    \n";
inline constexpr char kMessageCaption[] = "VARK-u";

// The text an owner shows for a refused or failed request: codes 0..4 have
// their own texts, every other code (negative ones too) "Other Error:%d!".
std::string CommErrorText(int code);

}  // namespace vark
