#include "device/serial_line_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace vark {
namespace {

speed_t SpeedConstant(std::uint32_t baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

std::uint32_t SpeedValue(speed_t speed) {
    switch (speed) {
        case B1200:
            return 1200;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        default:
            return 0;
    }
}

}  // namespace

PosixSerialLine::~PosixSerialLine() {
    Close();
}

bool PosixSerialLine::Open(const std::string& device, std::string* reason, int* errorCode) {
    Close();
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int err = fd < 0 ? errno : 0;
    if (fd >= 0 && !::isatty(fd)) {
        err = ENOTTY;
    }
    if (fd >= 0 && err == 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        err = errno == EWOULDBLOCK ? EBUSY : errno;
    }
    if (fd >= 0 && err == 0 && ::ioctl(fd, TIOCEXCL) != 0) {
        err = errno;
    }
    if (err != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        if (reason) {
            *reason = std::strerror(err);
        }
        if (errorCode) {
            *errorCode = err;
        }
        return false;
    }
    fd_ = fd;
    haveRead_ = false;
    // What the line was set to before, given back on close: the port may be a
    // terminal someone works in (vark-cli upload --port /dev/tty).
    haveFound_ = ::tcgetattr(fd, &found_) == 0;
    changed_ = false;
    return true;
}

void PosixSerialLine::Close() {
    if (fd_ >= 0) {
        // At once rather than after the output drains: a held-up line would
        // never drain, and the close must not wait for it.
        if (changed_ && haveFound_) {
            (void)::tcsetattr(fd_, TCSANOW, &found_);
        }
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);  // also drops the flock
        fd_ = -1;
    }
}

void PosixSerialLine::SetQueueSizes(std::size_t, std::size_t) {}

void PosixSerialLine::Purge(unsigned flags) {
    if (fd_ < 0) {
        return;
    }
    const bool rx = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
    const bool tx = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
    if (rx && tx) {
        ::tcflush(fd_, TCIOFLUSH);
    } else if (rx) {
        ::tcflush(fd_, TCIFLUSH);
    } else if (tx) {
        ::tcflush(fd_, TCOFLUSH);
    }
}

void PosixSerialLine::RaiseRts() {
    if (fd_ >= 0) {
        int bits = TIOCM_RTS;
        (void)::ioctl(fd_, TIOCMBIS, &bits);
    }
}

bool PosixSerialLine::GetLineSettings(LineSettings& settings) {
    if (fd_ < 0 || ::tcgetattr(fd_, &read_) != 0) {
        return false;
    }
    haveRead_ = true;
    settings.binary = (read_.c_lflag & ICANON) == 0 && (read_.c_iflag & (ICRNL | INLCR)) == 0;
    settings.baudRate = SpeedValue(::cfgetospeed(&read_));
    switch (read_.c_cflag & CSIZE) {
        case CS5:
            settings.byteSize = 5;
            break;
        case CS6:
            settings.byteSize = 6;
            break;
        case CS7:
            settings.byteSize = 7;
            break;
        default:
            settings.byteSize = 8;
    }
    settings.parity = (read_.c_cflag & PARENB) == 0 ? 0 : (read_.c_cflag & PARODD) ? 1 : 2;
    settings.stopBits = (read_.c_cflag & CSTOPB) ? 2 : 0;
    return true;
}

bool PosixSerialLine::SetLineSettings(const LineSettings& settings) {
    if (fd_ < 0 || !haveRead_) {
        return false;
    }
    termios t = read_;
    if (settings.binary) {
        ::cfmakeraw(&t);
    }
    const speed_t speed = SpeedConstant(settings.baudRate);
    if (speed == B0 || ::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0) {
        return false;
    }
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
    switch (settings.byteSize) {
        case 5:
            t.c_cflag |= CS5;
            break;
        case 6:
            t.c_cflag |= CS6;
            break;
        case 7:
            t.c_cflag |= CS7;
            break;
        case 8:
            t.c_cflag |= CS8;
            break;
        default:
            return false;
    }
    t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD);
    if (settings.parity == 1) {
        t.c_cflag |= PARENB | PARODD;
    } else if (settings.parity == 2) {
        t.c_cflag |= PARENB;
    }
    if (settings.stopBits == 0) {
        t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    } else {
        t.c_cflag |= CSTOPB;
    }
    // The receiver and local mode are on; reads never wait (the poll does).
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    // Even a failed call may have changed part of the settings.
    changed_ = true;
    return ::tcsetattr(fd_, TCSANOW, &t) == 0;
}

bool PosixSerialLine::ClearError(std::size_t* inQueue) {
    if (fd_ < 0) {
        return false;
    }
    int n = 0;
    if (::ioctl(fd_, FIONREAD, &n) != 0) {
        return false;
    }
    if (inQueue) {
        *inQueue = n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    return true;
}

bool PosixSerialLine::Write(const std::uint8_t* data, std::size_t size) {
    if (fd_ < 0) {
        return false;
    }
    // A full output queue drains at line speed; a line that takes nothing for
    // a whole second is refusing the write.
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

long PosixSerialLine::Read(std::uint8_t* data, std::size_t size) {
    if (fd_ < 0) {
        return -1;
    }
    for (;;) {
        const ssize_t n = ::read(fd_, data, size);
        if (n >= 0) {
            return static_cast<long>(n);
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        return -1;
    }
}

std::unique_ptr<SerialLine> MakeSystemSerialLine() {
    return std::make_unique<PosixSerialLine>();
}

PortNaming SystemPortNaming() {
    return PortNaming::DeviceNode;
}

}  // namespace vark
