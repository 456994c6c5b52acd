#include "ui/link_texts.h"

#include <cstdio>

namespace vark {

std::string ResultCodeText(int code) {
    switch (code) {
        case kResultStart:
            return "\n    Device Start Err!    \n";
        case kResultNoLink:
            return "\n    Please Refresh Device!    \n";
        case kResultSend:
            return "\n    Device Send Err!    \n";
        case kResultReceive:
            return "\n    Device Receive Err!    \n";
        case kResultBusy:
            return "\n    Device is Busying...   \n";
        default: {
            char text[48];
            std::snprintf(text, sizeof text, "\n    Other Error:%d!    \n", code);
            return text;
        }
    }
}

std::string RefusalText(Refusal refusal) {
    switch (refusal) {
        case Refusal::NoLink:
            return ResultCodeText(kResultNoLink);
        case Refusal::Busy:
            return ResultCodeText(kResultBusy);
        case Refusal::None:
            break;
    }
    return {};
}

std::string PortFailureText(const PortFailure& failure) {
    char text[96];
    switch (failure.step) {
        case PortFailure::Step::NoPort:
            std::snprintf(text, sizeof text, "\n    PortNO:%d  is Error!    \n",
                          failure.port.comNumber);
            return text;
        case PortFailure::Step::Open: {
            if (failure.naming == PortNaming::ComNumber) {
                std::snprintf(text, sizeof text, "\n    Open COM:%d Failed!    \n",
                              failure.port.comNumber);
                return text;
            }
            // A device node may fail for reasons a COM number never shows;
            // the system's own words follow, and the usual cure for a port
            // the user may not open.
            std::string message =
                "\n    Open " + failure.port.path + " Failed!    \n" + failure.reason;
            if (failure.accessDenied) {
                message +=
                    "\n(serial ports belong to the dialout group: add your user to it and "
                    "log in again)";
            }
            return message;
        }
        case PortFailure::Step::ReadSettings:
            return "\n    Get Port States Failed!    \n";
        case PortFailure::Step::WriteSettings:
            return "\n    Set Port States Failed!    \n";
    }
    return {};
}

std::string OutcomeText(const LinkOutcome& outcome) {
    switch (outcome.kind) {
        case LinkOutcome::Kind::Received:
            return kMsgReceiveSuccess;
        case LinkOutcome::Kind::TimedOut:
            return kMsgReceiveTimeout;
        case LinkOutcome::Kind::OpenFailed:
            return PortFailureText(outcome.failure);
        case LinkOutcome::Kind::LineError:
            return outcome.fault == LinkOutcome::Fault::Unplugged ? kMsgUnplugged
                                                                  : ResultCodeText(kResultReceive);
        case LinkOutcome::Kind::Cancelled:
            return kMsgCancelled;
    }
    return {};
}

std::string PortLabel(const BridgePort& port, PortNaming naming) {
    return naming == PortNaming::ComNumber ? std::to_string(port.comNumber) : port.path;
}

std::string DeviceCaption(const BridgePort& port, PortNaming naming) {
    return "Kelvor VARK-u  Port:" + PortLabel(port, naming);
}

std::string TesterStatusText(const std::optional<BridgePort>& tester) {
    return tester ? "Tester on " + tester->path : std::string("No tester attached");
}

}  // namespace vark
