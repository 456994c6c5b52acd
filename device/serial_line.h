// The serial line as the channel uses it: the few operations of a COM port,
// so the channel's logic stays the same on every platform. Every operation
// runs on one thread at a time (the owner's before the worker starts and
// after it has ended, the worker's in between).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "device/bridge_ports.h"

namespace vark {

// Purge flags, with the values of the Windows API so logs read the same.
inline constexpr unsigned kPurgeTxAbort = 0x01;
inline constexpr unsigned kPurgeRxAbort = 0x02;
inline constexpr unsigned kPurgeTxClear = 0x04;
inline constexpr unsigned kPurgeRxClear = 0x08;

inline constexpr std::size_t kInputQueueSize = 8192;
inline constexpr std::size_t kOutputQueueSize = 1024;

// The part of the line settings the channel sets. A back-end keeps everything
// else it read (flow control, special characters) and writes it back as read.
struct LineSettings {
    bool binary = false;
    std::uint32_t baudRate = 0;
    std::uint8_t byteSize = 0;
    std::uint8_t parity = 0;    // 0 none
    std::uint8_t stopBits = 0;  // 0 one stop bit
};

class SerialLine {
  public:
    virtual ~SerialLine() = default;

    // Opens `device` for reading and writing, not shared with other programs.
    // On failure `reason` gets the system's reason (one line) and `errorCode`
    // its number (errno), when the caller wants them.
    virtual bool Open(const std::string& device, std::string* reason, int* errorCode) = 0;
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;

    // Results of these are not examined by the channel.
    virtual void SetQueueSizes(std::size_t input, std::size_t output) = 0;
    virtual void Purge(unsigned flags) = 0;
    virtual void RaiseRts() = 0;

    virtual bool GetLineSettings(LineSettings& settings) = 0;
    virtual bool SetLineSettings(const LineSettings& settings) = 0;

    // Clears the error state; `inQueue` (may be null) gets the number of bytes
    // waiting in the input queue.
    virtual bool ClearError(std::size_t* inQueue) = 0;

    // Writes all `size` bytes; false when the line refused them.
    virtual bool Write(const std::uint8_t* data, std::size_t size) = 0;
    // Reads up to `size` bytes that are already queued; the number read, or
    // -1 on failure. Never waits for bytes that have not arrived.
    virtual long Read(std::uint8_t* data, std::size_t size) = 0;
};

// The platform's serial line; each platform's serial_line_<platform>.cpp
// defines it (and SystemPortNaming), and the build picks one.
std::unique_ptr<SerialLine> MakeSystemSerialLine();

}  // namespace vark
