// The serial line on Linux: a tty device node driven through termios.
#pragma once

#include <termios.h>

#include "device/serial_line.h"

namespace vark {

class PosixSerialLine : public SerialLine {
  public:
    PosixSerialLine() = default;
    ~PosixSerialLine() override;

    // Opened non-blocking, without becoming the controlling terminal, and held
    // exclusively (TIOCEXCL against other openers, flock against other
    // programs that respect it, which root would otherwise bypass).
    bool Open(const std::string& device, std::string* reason, int* errorCode) override;
    bool IsOpen() const override { return fd_ >= 0; }
    // Gives the line back with the settings it had when opened, if they were
    // changed here.
    void Close() override;

    void SetQueueSizes(std::size_t input, std::size_t output) override;  // fixed by the driver
    void Purge(unsigned flags) override;
    void RaiseRts() override;  // a pseudo-terminal has no modem lines; that failure is ignored

    bool GetLineSettings(LineSettings& settings) override;
    // Raw mode when `binary`, then speed, data bits, parity and stop bits on
    // top of the attributes read by GetLineSettings.
    bool SetLineSettings(const LineSettings& settings) override;

    bool ClearError(std::size_t* inQueue) override;
    bool Write(const std::uint8_t* data, std::size_t size) override;
    long Read(std::uint8_t* data, std::size_t size) override;

    int Fd() const { return fd_; }

  private:
    int fd_ = -1;
    termios read_{};
    bool haveRead_ = false;
    termios found_{};  // as opened
    bool haveFound_ = false;
    bool changed_ = false;
};

}  // namespace vark
