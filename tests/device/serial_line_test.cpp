// The Linux serial line on a pseudo-terminal of the test's own: the terminal
// settings a user had are theirs again once the line is closed.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "device/serial_line_posix.h"

namespace vark {
namespace {

// A pseudo-terminal pair; the slave is held open here so its settings can be
// read while the line under test opens and closes its own descriptor.
class Pty {
  public:
    Pty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            name_ = ::ptsname(master_);
            slave_ = ::open(name_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        }
    }
    ~Pty() {
        if (slave_ >= 0) {
            ::close(slave_);
        }
        if (master_ >= 0) {
            ::close(master_);
        }
    }
    bool ok() const { return slave_ >= 0; }
    const std::string& name() const { return name_; }
    termios Settings() const {
        termios t{};
        ::tcgetattr(slave_, &t);
        return t;
    }
    bool Set(const termios& t) const { return ::tcsetattr(slave_, TCSANOW, &t) == 0; }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string name_;
};

// An interactive terminal's settings: line editing and echo, 9600 baud, two
// stop bits (a pseudo-terminal keeps eight data bits and no parity).
termios Interactive(termios t) {
    t.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    t.c_iflag |= ICRNL;
    t.c_oflag |= OPOST | ONLCR;
    t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 1;
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    return t;
}

bool Same(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
           ::cfgetispeed(&a) == ::cfgetispeed(&b) && ::cfgetospeed(&a) == ::cfgetospeed(&b);
}

const LineSettings kTester{true, 38400, 8, 0, 0};

TEST(PosixSerialLine, CloseGivesBackTheSettingsItFound) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(pty.Set(Interactive(pty.Settings())));
    const termios user = pty.Settings();

    PosixSerialLine line;
    ASSERT_TRUE(line.Open(pty.name(), nullptr, nullptr));
    LineSettings read;
    ASSERT_TRUE(line.GetLineSettings(read));
    EXPECT_EQ(read.baudRate, 9600u);
    EXPECT_EQ(read.stopBits, 2);
    ASSERT_TRUE(line.SetLineSettings(kTester));
    const termios during = pty.Settings();
    EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(::cfgetospeed(&during), static_cast<speed_t>(B38400));
    line.Close();
    EXPECT_TRUE(Same(pty.Settings(), user));

    // Set twice, then the line object simply goes: still the user's.
    {
        PosixSerialLine again;
        ASSERT_TRUE(again.Open(pty.name(), nullptr, nullptr));
        ASSERT_TRUE(again.GetLineSettings(read));
        ASSERT_TRUE(again.SetLineSettings(kTester));
        ASSERT_TRUE(again.GetLineSettings(read));
        ASSERT_TRUE(again.SetLineSettings(kTester));
    }
    EXPECT_TRUE(Same(pty.Settings(), user));
}

TEST(PosixSerialLine, ALineThatWasNotSetIsLeftAsItIs) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(pty.Set(Interactive(pty.Settings())));
    PosixSerialLine line;
    ASSERT_TRUE(line.Open(pty.name(), nullptr, nullptr));
    // Someone else changes the line meanwhile; closing must not undo that.
    termios other = pty.Settings();
    ::cfmakeraw(&other);
    ASSERT_TRUE(pty.Set(other));
    line.Close();
    EXPECT_TRUE(Same(pty.Settings(), other));
}

}  // namespace
}  // namespace vark
