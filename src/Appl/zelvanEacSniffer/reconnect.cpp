#include "Appl/zelvanEacSniffer/reconnect.h"

#include "logger/logger.h"

namespace {

constexpr IcTimerTick kReopenInterval_ms = 500;

void tryReopen(void* cbArg, IcTimerHandle th) {
    auto* self = static_cast<PortReconnect*>(cbArg);
    if (uartReopen(self->port) == FALSE) {
        return;
    }
    (void)icTimerStop(th);
    // The gap was longer than the receive time-out, so the receiver has
    // already dropped any frame the loss cut; nothing is stitched across it.
    // Stamped, so that an overnight log says when the adapter was away.
    loggerPrintTimestamp();
    loggerPrintf("port %s is back; sniffing again\n", uartDeviceName(self->port));
}

void onPortLost(void* arg, const char* device, const char* reason) {
    auto* self = static_cast<PortReconnect*>(arg);
    loggerPrintTimestamp();
    loggerPrintf("port %s lost: %s; waiting for it to come back\n", device, reason);
    if (!self->timerAllocated) {
        self->timer = icTimerAlloc(self);
        self->timerAllocated = true;
    }
    (void)icTimerStart(self->timer, kReopenInterval_ms, IC_TIMER_FIRE_REPEATEDLY, tryReopen);
}

}  // namespace

void portReconnectEnable(PortReconnect& self, UartInstancePtr port) {
    self.port = port;
    uartSetLostHandler(port, onPortLost, &self);
}
