// vark-cli upload and ports, run as a user runs them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "records/record_file.h"
#include "records/sample_records.h"
#include "testing/process.h"
#include "testing/sim_process.h"

namespace vark {
namespace {

namespace fs = std::filesystem;

test::ProcessResult Cli(const std::string& args) {
    return test::RunShell(std::string(VARK_CLI_PATH) + " " + args + " 2>&1");
}

TEST(CliUpload, SavesTheSampleBlockWithTheRecordExtension) {
    test::SimProcess sim({"--fast"});
    test::TempDir dir;
    const fs::path out = dir.path() / "upload";
    const test::ProcessResult r = Cli("upload --port " + sim.device() + " -o " + out.string());
    ASSERT_EQ(r.status, 0) << r.out;
    RecordBlock got;
    ClearBlock(got);
    ASSERT_EQ(ReadRecordFile(out.string() + ".vku", got), FileStatus::Ok);
    RecordBlock expected = SampleBlock();
    CheckRecords(expected);
    EXPECT_EQ(got.count, expected.count);
    for (int i = 0; i + 1 < expected.count; ++i) {
        EXPECT_EQ(std::memcmp(got.slots[i].bytes, expected.slots[i].bytes, kRecordSize), 0) << i;
    }
    EXPECT_EQ(Cli("show " + out.string() + ".vku").status, 0);
}

TEST(CliUpload, TheTerminalIsGivenBackWithItsSettings) {
    test::SimProcess sim({"--fast"});
    test::TempDir dir;
    // A terminal someone types in: line editing, echo, 9600 baud.
    const int tty = ::open(sim.device().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(tty, 0);
    termios t{};
    ASSERT_EQ(::tcgetattr(tty, &t), 0);
    t.c_lflag |= ICANON | ECHO | ISIG;
    t.c_iflag |= ICRNL;
    t.c_oflag |= OPOST | ONLCR;
    ::cfsetspeed(&t, B9600);
    ASSERT_EQ(::tcsetattr(tty, TCSANOW, &t), 0);
    termios before{};
    ASSERT_EQ(::tcgetattr(tty, &before), 0);

    const test::ProcessResult r =
        Cli("upload --port " + sim.device() + " -o " + (dir.path() / "u.vku").string());
    EXPECT_EQ(r.status, 0) << r.out;
    termios after{};
    ASSERT_EQ(::tcgetattr(tty, &after), 0);
    ::close(tty);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before));
    EXPECT_EQ(std::memcmp(after.c_cc, before.c_cc, sizeof after.c_cc), 0);
}

TEST(CliUpload, FailuresWriteNoFile) {
    test::TempDir dir;
    const fs::path out = dir.path() / "x.vku";
    {
        test::SimProcess sim({"--fast", "--count-byte", "200"});
        const test::ProcessResult r = Cli("upload --port " + sim.device() + " -o " + out.string());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "Device Receive Err!\n");
    }
    const test::ProcessResult missing = Cli("upload --port /dev/vark-missing -o " + out.string());
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out.rfind("Open /dev/vark-missing Failed!\nNo such file or directory", 0), 0u)
        << missing.out;
    EXPECT_FALSE(fs::exists(out));
    // Without a file and with the archive off the records would go nowhere.
    EXPECT_EQ(Cli("upload --port /dev/null --no-archive").status, 2);
    // An empty name is wrong usage, not a quiet fall-back to discovery.
    EXPECT_EQ(Cli("upload --port '' -o " + out.string()).status, 2);
    EXPECT_EQ(Cli("upload --port= -o " + out.string()).status, 2);
    EXPECT_FALSE(fs::exists(out));
}

TEST(CliPorts, ListsBridgesAndWhichAreTesters) {
    test::TempDir dir;
    const fs::path root = dir.path();
    const auto usb = [&](const std::string& tty, const std::string& bus, const std::string& vid) {
        const fs::path dev = root / "devices/usb1" / bus;
        fs::create_directories(dev / (bus + ":1.0") / tty);
        std::ofstream(dev / "idVendor") << vid << "\n";
        std::ofstream(dev / "idProduct") << "ea60\n";
        std::ofstream(dev / "serial") << "SN " << bus << "\n";
        fs::create_directories(root / "class/tty" / tty);
        fs::create_directory_symlink(fs::path("../../../devices/usb1") / bus / (bus + ":1.0") / tty,
                                     root / "class/tty" / tty / "device");
    };
    usb("ttyUSB0", "1-1", "10c4");
    usb("ttyUSB1", "1-2", "1a86");
    const test::ProcessResult r = Cli("ports --sysfs " + root.string());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out,
              "VID\tPID\tSERIAL\tPORT\tTESTER\tLABEL\n"
              "10c4\tea60\tSN 1-1\t/dev/ttyUSB0\tyes\t-\n"
              "1a86\tea60\tSN 1-2\t/dev/ttyUSB1\tno\t-\n");
    std::ofstream(root / "devices/usb1/1-1/product") << "CP2102 USB to UART Bridge Controller\n";
    EXPECT_NE(Cli("ports --sysfs " + root.string())
                  .out.find("\t/dev/ttyUSB0\tyes\tCP2102 USB to UART Bridge Controller\n"),
              std::string::npos);

    // A device's serial string is its maker's text: an escape sequence, a
    // tab or a backslash in it must not reach the terminal or split a field,
    // and an attribute of any length is read only so far.
    std::ofstream(root / "devices/usb1/1-1/serial") << "A\x1b[2J\tB\\C\x7f\n";
    fs::remove(root / "devices/usb1/1-1/product");
    std::ofstream(root / "devices/usb1/1-2/serial") << std::string(100000, 'Z');  // no line end
    const test::ProcessResult odd = Cli("ports --sysfs " + root.string());
    ASSERT_EQ(odd.status, 0) << odd.out;
    EXPECT_EQ(odd.out.substr(0, odd.out.find("1a86")),
              "VID\tPID\tSERIAL\tPORT\tTESTER\tLABEL\n"
              "10c4\tea60\tA\\x1b[2J\\x09B\\x5cC\\x7f\t/dev/ttyUSB0\tyes\t-\n");
    const std::string last = odd.out.substr(odd.out.find("1a86"));
    EXPECT_EQ(std::count(last.begin(), last.end(), '\t'), 5) << "one line of six fields";
    EXPECT_LT(last.size(), 400u);
}

TEST(CliPorts, AnAttributeThatIsNotAFileNeitherHangsNorCounts) {
    // A FIFO nobody writes to, or a device that never ends (/dev/zero), where
    // sysfs has attribute files: the listing goes on without them.
    test::TempDir dir;
    const fs::path root = dir.path();
    const fs::path dev = root / "devices/usb1/1-1";
    fs::create_directories(dev / "1-1:1.0/ttyUSB0");
    ASSERT_EQ(::mkfifo((dev / "idVendor").c_str(), 0600), 0);
    std::ofstream(dev / "idProduct") << "ea60\n";
    const fs::path dev2 = root / "devices/usb1/1-2";
    fs::create_directories(dev2 / "1-2:1.0/ttyUSB1");
    std::ofstream(dev2 / "idVendor") << "10c4\n";
    std::ofstream(dev2 / "idProduct") << "ea60\n";
    ASSERT_EQ(::mkfifo((dev2 / "serial").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dev2 / "product");
    for (const char* tty : {"ttyUSB0", "ttyUSB1"}) {
        const std::string bus = tty == std::string("ttyUSB0") ? "1-1" : "1-2";
        fs::create_directories(root / "class/tty" / tty);
        fs::create_directory_symlink(fs::path("../../../devices/usb1") / bus / (bus + ":1.0") / tty,
                                     root / "class/tty" / tty / "device");
    }
    const test::ProcessResult r = test::RunShell("timeout 20 " + std::string(VARK_CLI_PATH) +
                                                 " ports --sysfs " + root.string() + " 2>&1");
    ASSERT_EQ(r.status, 0) << "124 is the time-out: the listing waited on a FIFO\n" << r.out;
    EXPECT_EQ(r.out,
              "VID\tPID\tSERIAL\tPORT\tTESTER\tLABEL\n"
              "10c4\tea60\t\t/dev/ttyUSB1\tyes\t-\n");
}

}  // namespace
}  // namespace vark
