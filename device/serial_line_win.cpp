// The serial line on Windows: a COM port opened for overlapped I/O, with all
// driver time-outs off. Reads ask only for bytes already queued, so they
// complete at once or within a moment; nothing is ever left pending when an
// operation returns.
#include <windows.h>

#include <string>

#include "device/serial_line.h"
#include "device/text_win.h"

namespace vark {
namespace {

using win::Widen;

std::string SystemMessage(DWORD code) {
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = n && text ? std::string(text, n) : "error " + std::to_string(code);
    if (text) {
        ::LocalFree(text);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) {
        out.pop_back();
    }
    return out;
}

// A write that the line takes nothing of for this long is refused.
constexpr DWORD kWriteLimitMs = 1000;
// How long a read of bytes already queued may take to be delivered: well
// inside one receive pass.
constexpr DWORD kReadDeliveryMs = 50;

class WinSerialLine : public SerialLine {
  public:
    WinSerialLine()
        : readEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          writeEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~WinSerialLine() override {
        Close();
        ::CloseHandle(readEvent_);
        ::CloseHandle(writeEvent_);
    }
    WinSerialLine(const WinSerialLine&) = delete;
    WinSerialLine& operator=(const WinSerialLine&) = delete;

    bool Open(const std::string& device, std::string* reason, int* errorCode) override {
        Close();
        const std::wstring name = Widen(device);
        HANDLE h = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD err = ::GetLastError();
            if (reason) {
                *reason = SystemMessage(err);
            }
            if (errorCode) {
                *errorCode = static_cast<int>(err);
            }
            return false;
        }
        handle_ = h;
        haveRead_ = false;
        // Received characters are what the channel watches for; waiting is
        // the channel's own (its poll and time-out), never the driver's.
        ::SetCommMask(handle_, EV_RXCHAR);
        COMMTIMEOUTS none{};
        ::SetCommTimeouts(handle_, &none);
        return true;
    }

    bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

    void Close() override {
        if (handle_ != INVALID_HANDLE_VALUE) {
            ::SetCommMask(handle_, 0);
            ::CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
        }
    }

    void SetQueueSizes(std::size_t input, std::size_t output) override {
        if (IsOpen()) {
            ::SetupComm(handle_, static_cast<DWORD>(input), static_cast<DWORD>(output));
        }
    }

    void Purge(unsigned flags) override {
        if (IsOpen()) {
            ::PurgeComm(handle_, flags);
        }
    }

    void RaiseRts() override {
        if (IsOpen()) {
            ::EscapeCommFunction(handle_, SETRTS);
        }
    }

    bool GetLineSettings(LineSettings& settings) override {
        if (!IsOpen()) {
            return false;
        }
        dcb_ = DCB{};
        dcb_.DCBlength = sizeof dcb_;
        if (!::GetCommState(handle_, &dcb_)) {
            return false;
        }
        haveRead_ = true;
        settings.binary = dcb_.fBinary != 0;
        settings.baudRate = dcb_.BaudRate;
        settings.byteSize = dcb_.ByteSize;
        settings.parity = dcb_.Parity;
        settings.stopBits = dcb_.StopBits;
        return true;
    }

    // Read-modify-write: every field not named here stays as the driver
    // reported it.
    bool SetLineSettings(const LineSettings& settings) override {
        if (!IsOpen() || !haveRead_) {
            return false;
        }
        DCB dcb = dcb_;
        dcb.fBinary = settings.binary ? 1 : 0;
        dcb.BaudRate = settings.baudRate;
        dcb.ByteSize = settings.byteSize;
        dcb.Parity = settings.parity;
        dcb.StopBits = settings.stopBits;
        return ::SetCommState(handle_, &dcb) != 0;
    }

    bool ClearError(std::size_t* inQueue) override {
        if (!IsOpen()) {
            return false;
        }
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(handle_, &errors, &status)) {
            return false;
        }
        if (inQueue) {
            *inQueue = status.cbInQue;
        }
        return true;
    }

    bool Write(const std::uint8_t* data, std::size_t size) override {
        if (!IsOpen()) {
            return false;
        }
        OVERLAPPED ov{};
        ov.hEvent = writeEvent_;
        ::ResetEvent(writeEvent_);
        DWORD done = 0;
        if (::WriteFile(handle_, data, static_cast<DWORD>(size), &done, &ov)) {
            return done == size;
        }
        if (::GetLastError() != ERROR_IO_PENDING) {
            return false;
        }
        // Polled without waiting, as long as the answer is "not yet".
        const ULONGLONG start = ::GetTickCount64();
        for (;;) {
            if (::GetOverlappedResult(handle_, &ov, &done, FALSE)) {
                return done == size;
            }
            if (::GetLastError() != ERROR_IO_INCOMPLETE) {
                return false;
            }
            if (::GetTickCount64() - start > kWriteLimitMs) {
                // The overlapped structure lives on this stack: the write
                // must be over before it goes.
                Abandon(ov);
                return false;
            }
            ::SwitchToThread();
        }
    }

    long Read(std::uint8_t* data, std::size_t size) override {
        if (!IsOpen()) {
            return -1;
        }
        OVERLAPPED ov{};
        ov.hEvent = readEvent_;
        ::ResetEvent(readEvent_);
        DWORD got = 0;
        if (::ReadFile(handle_, data, static_cast<DWORD>(size), &got, &ov)) {
            return static_cast<long>(got);
        }
        if (::GetLastError() != ERROR_IO_PENDING) {
            return -1;
        }
        if (::GetOverlappedResult(handle_, &ov, &got, FALSE)) {
            return static_cast<long>(got);
        }
        if (::GetLastError() != ERROR_IO_INCOMPLETE) {
            return -1;
        }
        // The bytes asked for are already queued, so the read is only waiting
        // for its delivery (Wine hands every serial read to its server, which
        // completes it a moment later). Give it that moment, then cancel it,
        // so that it cannot write into the buffer later, and count what it
        // did bring. Cancelling at once starved the reply under Wine: most
        // reads were cancelled before delivery, the queue filled and the
        // receive time-out ended the upload.
        if (::WaitForSingleObject(readEvent_, kReadDeliveryMs) == WAIT_OBJECT_0 &&
            ::GetOverlappedResult(handle_, &ov, &got, FALSE)) {
            return static_cast<long>(got);
        }
        return static_cast<long>(Abandon(ov));
    }

  private:
    DWORD Abandon(OVERLAPPED& ov) {
        ::CancelIoEx(handle_, &ov);
        DWORD got = 0;
        ::GetOverlappedResult(handle_, &ov, &got, TRUE);
        return got;
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    HANDLE readEvent_;
    HANDLE writeEvent_;
    DCB dcb_{};
    bool haveRead_ = false;
};

}  // namespace

std::unique_ptr<SerialLine> MakeSystemSerialLine() {
    return std::make_unique<WinSerialLine>();
}

PortNaming SystemPortNaming() {
    return PortNaming::ComNumber;
}

}  // namespace vark
