// Bounded byte ring between threads, with its own lock and a wait object that
// stays set while data is held.
#pragma once

#include "hal/include/hal_types.h"
#include "hal/include/icOsal.h"

using IcFifoIndex = U16;
using IcFifoStartTxFunc = void (*)(void* arg);

struct IcFifoInstance {
    Char* buffer;
    IcFifoIndex ptr1;  // read position
    IcFifoIndex ptr2;  // write position
    IcFifoIndex buflen;
    OsalSem mutex;
    OsalWaitObject event;
    IcFifoStartTxFunc startTx;
    void* startTxArg;
    U8 irqControlA;
    U8 irqControlB;
};

void icFifoInit(IcFifoInstance* self, Char* buffer, IcFifoIndex buflen);
void icFifoReset(IcFifoInstance* self);
void icFifoPushChar(IcFifoInstance* self, Char chr);
void icFifoPushBlock(IcFifoInstance* self, const Char* block, IcFifoIndex len);
Char icFifoPopChar(IcFifoInstance* self);
IcFifoIndex icFifoPopBlock(IcFifoInstance* self, IcFifoIndex maxCharsToPop, Char* buffer);
IcFifoIndex icFifoCharsToPop(IcFifoInstance* self);
void icFifoSetStartTxFunc(IcFifoInstance* self, IcFifoStartTxFunc startTx, void* startTxArg);
OsalWaitObject icFifoGetWaitObject(IcFifoInstance* self);
