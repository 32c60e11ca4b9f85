// The FIFO's functions in the shape the drivers take them (multiUart.h): a
// driver holds its FIFOs only as untyped handles and hands them back here.
#pragma once

#include <type_traits>

#include "fifo/icFifo.h"
#include "hal/include/multiUart.h"

static_assert(std::is_same_v<UartFifoIndex, IcFifoIndex>, "a driver counts what the FIFO counts");

inline void icFifoDriverPushChar(UartFifo fifo, Char chr) { icFifoPushChar(static_cast<IcFifoInstance*>(fifo), chr); }

inline Char icFifoDriverPopChar(UartFifo fifo) { return icFifoPopChar(static_cast<IcFifoInstance*>(fifo)); }

inline UartFifoIndex icFifoDriverCharsToPop(UartFifo fifo) {
    return icFifoCharsToPop(static_cast<IcFifoInstance*>(fifo));
}

inline constexpr UartFifoOps kIcFifoDriverOps{
    [](UartFifo fifo) { return icFifoCharsHeld(static_cast<IcFifoInstance*>(fifo)); },
    [](UartFifo fifo) { return icFifoFreeRoom(static_cast<IcFifoInstance*>(fifo)); },
    [](UartFifo fifo, const Char* block, UartFifoIndex len) {
        return icFifoPushBlock(static_cast<IcFifoInstance*>(fifo), block, len);
    },
    [](UartFifo fifo, UartFifoIndex maxCharsToPop, Char* buffer) {
        return icFifoPopBlock(static_cast<IcFifoInstance*>(fifo), maxCharsToPop, buffer);
    },
};
