// A port that goes away while running (--reconnect): the sniffer says so,
// tries to open the same device again twice a second, and says when it is
// back. Without it a failing port ends the program.
#pragma once

#include "base/hal_types.h"
#include "hal/include/multiUart.h"
#include "timer/icTimer.h"

struct PortReconnect {
    UartInstancePtr port = nullptr;
    IcTimerHandle timer = 0;
    bool timerAllocated = false;
};

void portReconnectEnable(PortReconnect& self, UartInstancePtr port);
