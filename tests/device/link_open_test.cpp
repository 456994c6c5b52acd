// How the link makes its port ready, over a line that records what it is
// asked (a COM port cannot exist here): the name it opens, the settings it
// writes, and the step at which each failure stops it.
#include <gtest/gtest.h>

#include <chrono>

#include "device/tester_link.h"

namespace vark {
namespace {

class RecordingLine : public SerialLine {
  public:
    std::string opened;
    bool openFails = false, getFails = false, setFails = false;
    int openError = 0;
    LineSettings written;
    bool isOpen = false;
    unsigned purged = 0;
    bool rts = false;

    bool Open(const std::string& d, std::string* reason, int* error) override {
        opened = d;
        isOpen = !openFails;
        if (openFails && reason) {
            *reason = "Device or resource busy";
        }
        if (openFails && error) {
            *error = openError;
        }
        return isOpen;
    }
    bool IsOpen() const override { return isOpen; }
    void Close() override { isOpen = false; }
    void SetQueueSizes(std::size_t, std::size_t) override {}
    void Purge(unsigned flags) override { purged |= flags; }
    void RaiseRts() override { rts = true; }
    bool GetLineSettings(LineSettings& s) override {
        s = LineSettings{false, 9600, 7, 2, 2};
        return !getFails;
    }
    bool SetLineSettings(const LineSettings& s) override {
        written = s;
        return !setFails;
    }
    bool ClearError(std::size_t* q) override {
        if (q) {
            *q = 0;
        }
        return true;
    }
    bool Write(const std::uint8_t*, std::size_t) override { return true; }
    long Read(std::uint8_t*, std::size_t) override { return 0; }
};

struct Rig {
    explicit Rig(PortNaming naming) {
        auto l = std::make_unique<RecordingLine>();
        line = l.get();
        link = std::make_unique<TesterLink>(std::move(l), naming);
    }
    RecordingLine* line;
    std::unique_ptr<TesterLink> link;
};

BridgePort Com(std::uint8_t number) {
    BridgePort p;
    p.comNumber = number;
    p.path = "COM" + std::to_string(number);
    return p;
}

TEST(LinkOpen, ComNumbersOutsideOneTo254AreNoPortAndNothingIsOpened) {
    Rig r(PortNaming::ComNumber);
    for (std::uint8_t number : {std::uint8_t{0}, kComNotFound}) {
        r.link->UsePort(Com(number));
        const auto failed = r.link->StartLink();
        ASSERT_TRUE(failed);
        EXPECT_EQ(failed->kind, LinkOutcome::Kind::OpenFailed);
        EXPECT_EQ(failed->failure.step, PortFailure::Step::NoPort);
        EXPECT_EQ(failed->failure.port.comNumber, number);
        EXPECT_EQ(failed->failure.naming, PortNaming::ComNumber);
        EXPECT_TRUE(r.line->opened.empty());
        EXPECT_FALSE(r.link->LinkUp());
    }
}

TEST(LinkOpen, EachStepStopsTheLinkWithItsFailure) {
    Rig r(PortNaming::ComNumber);
    r.link->UsePort(Com(12));
    r.line->openFails = true;
    auto failed = r.link->StartLink();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->failure.step, PortFailure::Step::Open);
    EXPECT_EQ(r.line->opened, "\\\\.\\COM12") << "two digits after the prefix";
    EXPECT_EQ(failed->failure.reason, "Device or resource busy");
    EXPECT_FALSE(r.link->LinkUp());
    EXPECT_EQ(r.link->Request(), Refusal::NoLink);

    r.line->openFails = false;
    r.line->getFails = true;
    failed = r.link->StartLink();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->failure.step, PortFailure::Step::ReadSettings);
    EXPECT_FALSE(r.line->isOpen) << "closed again";

    r.line->getFails = false;
    r.line->setFails = true;
    failed = r.link->StartLink();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->failure.step, PortFailure::Step::WriteSettings);
    EXPECT_FALSE(r.line->isOpen);
    EXPECT_EQ(r.link->Request(), Refusal::NoLink);

    r.line->setFails = false;
    ASSERT_FALSE(r.link->StartLink());
    EXPECT_TRUE(r.line->written.binary);
    EXPECT_EQ(r.line->written.baudRate, 38400u);
    EXPECT_EQ(r.line->written.byteSize, 8);
    EXPECT_EQ(r.line->written.parity, 0);
    EXPECT_EQ(r.line->written.stopBits, 0);
    EXPECT_EQ(r.line->purged, kPurgeTxClear | kPurgeRxClear);
    EXPECT_TRUE(r.line->rts);
    EXPECT_TRUE(r.link->LinkUp());
    r.link->StopLink();
    EXPECT_FALSE(r.line->isOpen) << "the worker closes the port as it ends";

    r.link->UsePort(Com(5));
    r.line->openFails = true;
    (void)r.link->StartLink();
    EXPECT_EQ(r.line->opened, "\\\\.\\COM5") << "the prefix for one digit too";
}

TEST(LinkOpen, DeviceNodesAreOpenedByPathAndSayWhenAccessIsDenied) {
    Rig r(PortNaming::DeviceNode);
    BridgePort p;
    p.path = "/dev/ttyUSB7";
    r.link->UsePort(p);
    r.line->openFails = true;
    r.line->openError = EACCES;
    auto failed = r.link->StartLink();
    ASSERT_TRUE(failed);
    EXPECT_EQ(r.line->opened, "/dev/ttyUSB7");
    EXPECT_TRUE(failed->failure.accessDenied);
    r.line->openError = EBUSY;
    failed = r.link->StartLink();
    EXPECT_FALSE(failed->failure.accessDenied);

    r.link->UsePort(BridgePort{});
    failed = r.link->StartLink();
    EXPECT_EQ(failed->failure.step, PortFailure::Step::NoPort);
}

TEST(LinkOpen, StoppingALinkThatIsDownReturnsAtOnce) {
    Rig r(PortNaming::ComNumber);
    const auto t0 = std::chrono::steady_clock::now();
    r.link->StopLink();
    r.link->StopLink();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(100));
}

}  // namespace
}  // namespace vark
