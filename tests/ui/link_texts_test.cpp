// The texts a person reads about the link, written out blanks and all, so a
// slip in any of them shows.
#include <gtest/gtest.h>

#include "ui/link_texts.h"

namespace vark {
namespace {

LinkOutcome Of(LinkOutcome::Kind kind, LinkOutcome::Fault fault = LinkOutcome::Fault::None) {
    LinkOutcome o;
    o.kind = kind;
    o.fault = fault;
    return o;
}

LinkOutcome Failed(PortFailure::Step step, PortNaming naming, BridgePort port) {
    LinkOutcome o = Of(LinkOutcome::Kind::OpenFailed);
    o.failure.step = step;
    o.failure.naming = naming;
    o.failure.port = std::move(port);
    return o;
}

TEST(LinkTexts, ResultCodesAndOthers) {
    EXPECT_EQ(ResultCodeText(0), "\n    Device Start Err!    \n");
    EXPECT_EQ(ResultCodeText(1), "\n    Please Refresh Device!    \n");
    EXPECT_EQ(ResultCodeText(2), "\n    Device Send Err!    \n");
    EXPECT_EQ(ResultCodeText(3), "\n    Device Receive Err!    \n");
    EXPECT_EQ(ResultCodeText(4), "\n    Device is Busying...   \n");
    EXPECT_EQ(ResultCodeText(7), "\n    Other Error:7!    \n");
    EXPECT_EQ(ResultCodeText(-1), "\n    Other Error:-1!    \n");
    EXPECT_EQ(RefusalText(Refusal::NoLink), "\n    Please Refresh Device!    \n");
    EXPECT_EQ(RefusalText(Refusal::Busy), "\n    Device is Busying...   \n");
}

TEST(LinkTexts, EveryOutcome) {
    using K = LinkOutcome::Kind;
    using F = LinkOutcome::Fault;
    EXPECT_EQ(OutcomeText(Of(K::Received)), "\n      Receive success !     \n");
    EXPECT_EQ(OutcomeText(Of(K::TimedOut)), "\n  Receive timeout, Please refresh device!  \n");
    EXPECT_EQ(OutcomeText(Of(K::LineError, F::ImpossibleCount)), "\n    Device Receive Err!    \n");
    EXPECT_EQ(OutcomeText(Of(K::LineError, F::Unplugged)),
              "\n    Device disconnected during upload!    \n");
    EXPECT_EQ(OutcomeText(Of(K::Cancelled)), "\n    Upload cancelled!    \n");
}

TEST(LinkTexts, PortFailuresNameThePortAsThePlatformDoes) {
    using S = PortFailure::Step;
    BridgePort com;
    com.comNumber = 12;
    com.path = "COM12";
    EXPECT_EQ(OutcomeText(Failed(S::Open, PortNaming::ComNumber, com)),
              "\n    Open COM:12 Failed!    \n");
    com.comNumber = kComNotFound;
    EXPECT_EQ(OutcomeText(Failed(S::NoPort, PortNaming::ComNumber, com)),
              "\n    PortNO:255  is Error!    \n");
    EXPECT_EQ(OutcomeText(Failed(S::NoPort, PortNaming::DeviceNode, {})),
              "\n    PortNO:0  is Error!    \n");
    EXPECT_EQ(OutcomeText(Failed(S::ReadSettings, PortNaming::ComNumber, com)),
              "\n    Get Port States Failed!    \n");
    EXPECT_EQ(OutcomeText(Failed(S::WriteSettings, PortNaming::DeviceNode, com)),
              "\n    Set Port States Failed!    \n");

    BridgePort node;
    node.path = "/dev/ttyUSB0";
    LinkOutcome open = Failed(S::Open, PortNaming::DeviceNode, node);
    open.failure.reason = "Device or resource busy";
    EXPECT_EQ(OutcomeText(open), "\n    Open /dev/ttyUSB0 Failed!    \nDevice or resource busy");
    open.failure.reason = "Permission denied";
    open.failure.accessDenied = true;
    EXPECT_EQ(OutcomeText(open),
              "\n    Open /dev/ttyUSB0 Failed!    \nPermission denied\n(serial ports belong to the "
              "dialout group: add your user to it and log in again)");
}

TEST(LinkTexts, CaptionAndStatus) {
    BridgePort com;
    com.comNumber = 5;
    com.path = "COM5";
    EXPECT_EQ(DeviceCaption(com, PortNaming::ComNumber), "Kelvor VARK-u  Port:5");
    BridgePort node;
    node.path = "/dev/ttyUSB0";
    EXPECT_EQ(DeviceCaption(node, PortNaming::DeviceNode), "Kelvor VARK-u  Port:/dev/ttyUSB0");
    EXPECT_EQ(TesterStatusText(node), "Tester on /dev/ttyUSB0");
    EXPECT_EQ(TesterStatusText(com), "Tester on COM5");
    EXPECT_EQ(TesterStatusText(std::nullopt), "No tester attached");
}

}  // namespace
}  // namespace vark
