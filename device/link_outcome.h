// How a request to the tester, or the opening of its port, turned out, as
// plain values: the link reports them, the programs above it (the window,
// vark-cli) decide what the user is told.
#pragma once

#include <cstdint>
#include <string>

#include "device/bridge_ports.h"
#include "records/record_block.h"

namespace vark {

// Why a request was not taken.
enum class Refusal {
    None,    // taken: its outcome follows in OnFinished
    NoLink,  // no link runs (never started, its port failed, or stopped)
    Busy,    // a request is already under way
};

// Why the port could not be made ready; the link stays down.
struct PortFailure {
    enum class Step {
        NoPort,         // no port to open (none found, or a COM number outside 1..254)
        Open,           // the system refused to open it (missing, in use, no access)
        ReadSettings,   // its line settings could not be read
        WriteSettings,  // its line settings could not be written
    };
    Step step = Step::NoPort;
    BridgePort port;  // as it was named
    PortNaming naming = PortNaming::DeviceNode;
    std::string reason;         // the system's own words for a failed open
    bool accessDenied = false;  // the open failed for want of permission
};

struct LinkOutcome {
    enum class Kind {
        Received,    // the reply is complete and checked: `block` holds it
        TimedOut,    // the tester said nothing for the receive time-out
        OpenFailed,  // the port could not be made ready: `failure` says why
        LineError,   // the exchange went wrong: `fault` says how
        Cancelled,   // the owner called the request off
    };
    enum class Fault {
        None,
        ImpossibleCount,  // the reply announced more records than a block holds
        Unplugged,        // the tester's port went away under the request
    };
    Kind kind = Kind::TimedOut;
    Fault fault = Fault::None;
    PortFailure failure;
    // The link's receive area, for Received: valid, and left alone by the
    // worker, only while OnFinished runs.
    const RecordBlock* block = nullptr;
};

}  // namespace vark
