// What goes on the wire for one frame: the frame as the link layer's own
// encoder writes it, and on request a line fault worked into it.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "base/hal_types.h"
#include "busSimRandom.h"
#include "busSimScenario.h"
#include "eac/zelvan/zvEacFrame.h"

enum BusSimFaultKind : U8 {
    BUS_SIM_FAULT_BCC = 0,    // a wrong block check character
    BUS_SIM_FAULT_ETX = 1,    // the closing ETX left out
    BUS_SIM_FAULT_NOISE = 2,  // stray bytes between frames (the frame itself is sound)
    BUS_SIM_FAULT_PAUSE = 3,  // the line falls silent inside the frame
    BUS_SIM_FAULT_CUT = 4,    // the run stopped in the middle of the frame
    BUS_SIM_FAULT_KINDS = 5,
    BUS_SIM_FAULT_NONE = 0xFF,
};

// Name of a fault kind in the summary ("bcc", "etx", ...).
const char* busSimFaultName(BusSimFaultKind kind);

// Long enough that the receiver's inter-byte time-out (190 ms) drops the
// frame in progress even when a busy machine holds the reader up for a while
// before it notes a byte's arrival; short enough not to be mistaken for a
// device leaving.
inline constexpr U16 BUS_SIM_FAULT_PAUSE_MS = 400;

struct BusSimEncodedFrame {
    U8 length = 0;
    std::array<U8, ZV_EAC_NWK_MAX_ENCODED_FRAME> bytes{};
    std::span<const U8> view() const { return {bytes.data(), length}; }
};

// One stretch of bytes, followed by a silent line of pauseAfter_ms.
struct BusSimSegment {
    std::vector<U8> bytes;
    U16 pauseAfter_ms = 0;
};

struct BusSimWirePlan {
    std::vector<BusSimSegment> segments;
    BusSimFaultKind fault = BUS_SIM_FAULT_NONE;
    // Whether the receiver gets the frame: FALSE for every fault but noise.
    bool intact = true;
};

// The frame STX to ETX, as the link layer's encoder writes it.
BusSimEncodedFrame busSimWireEncode(const BusSimFrame& frame);

// Decides whether this frame gets a fault (probability faultRate) and which,
// and lays out its bytes and pauses. On a medium that keeps no time (a file)
// there are no pauses: the pause fault is not used, and a frame without ETX
// is followed by one stray byte that the receiver's ETX state swallows in
// place of the pause.
BusSimWirePlan busSimWirePlan(const BusSimEncodedFrame& frame, BusSimRandom& random, double faultRate,
                              bool timedMedium);
