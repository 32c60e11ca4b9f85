// The scenario: a master at address 0 that probes and polls devices 1..N in
// turn, and devices of several kinds (locks, readers, keypads, door
// controllers) that answer with telegrams of their kind. Devices leave the
// bus now and then and come back. Everything follows from the seed.
#pragma once

#include "base/hal_types.h"
#include "busSimTelegrams.h"
#include "eac/zelvan/zvEacNetwork.h"

struct BusSimFrame {
    ZvEacNwkAddr source;
    ZvEacNwkAddr destination;
    BusSimTelegram telegram;  // length 0: a frame without data
    // Idle line before the frame: a device's reaction time before its
    // answer, the master's before its next poll, or the master's answer
    // time-out after a poll that went unanswered.
    U32 gapBefore_us;
};

inline constexpr U8 BUS_SIM_MAX_DEVICES = 254;

// deviceCount: 1 to BUS_SIM_MAX_DEVICES.
void busSimScenarioInit(U32 seed, U8 deviceCount);
// The next frame on the bus.
BusSimFrame busSimScenarioNext();
