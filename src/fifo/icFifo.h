// Bounded byte ring between threads, with its own lock and a wait object that
// stays set while data is held.
#pragma once

#include "base/hal_types.h"
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
    // Back-pressure, off unless icFifoSetPushWait turns it on: how long a
    // push into the full FIFO waits for the consumer to make room.
    U16 pushWait_ms;
    Boolean pushStalled;  // a wait ran out: pushes drop at once until there is room
    Boolean roomWanted;   // a producer sleeps on roomEvent
    OsalWaitObject roomEvent;
    // Back-pressure for a consumer on the producer's own thread: called by a
    // push that finds the FIFO full (icFifoSetMakeRoomFunc).
    IcFifoStartTxFunc makeRoom;
    void* makeRoomArg;
    // Arrival tick of each held byte, at the byte's position; nullptr while
    // arrival ticks are off.
    U16* arrivalTicks;
    // The microseconds into that tick, likewise; nullptr while off.
    U16* arrivalMicros;
};

void icFifoInit(IcFifoInstance* self, Char* buffer, IcFifoIndex buflen);
void icFifoReset(IcFifoInstance* self);
void icFifoPushChar(IcFifoInstance* self, Char chr);
// Returns how many characters it stored: the front of the block; a full FIFO
// drops the rest.
IcFifoIndex icFifoPushBlock(IcFifoInstance* self, const Char* block, IcFifoIndex len);
Char icFifoPopChar(IcFifoInstance* self);
IcFifoIndex icFifoPopBlock(IcFifoInstance* self, IcFifoIndex maxCharsToPop, Char* buffer);
IcFifoIndex icFifoCharsToPop(IcFifoInstance* self);
// How many characters the FIFO holds, and how many a push could store now,
// without the side effect of icFifoCharsToPop on the wait object: for drivers
// that size their reads and writes by them. 0 for a null FIFO.
IcFifoIndex icFifoCharsHeld(IcFifoInstance* self);
IcFifoIndex icFifoFreeRoom(IcFifoInstance* self);
void icFifoSetStartTxFunc(IcFifoInstance* self, IcFifoStartTxFunc startTx, void* startTxArg);
OsalWaitObject icFifoGetWaitObject(IcFifoInstance* self);
// For a FIFO whose consumer is slower now and then (a screen): a push that
// finds the FIFO full waits up to `wait_ms` for the consumer to free half of
// it instead of dropping the character. After a wait that ran out, pushes
// drop at once (as without the option) until half the FIFO is free again, so
// a consumer that has stopped costs the producer one wait, not one per push.
// 0 turns it off. For FIFOs with one producer thread.
void icFifoSetPushWait(IcFifoInstance* self, U16 wait_ms);
// For a FIFO whose consumer runs on the producer's own thread (a console
// that the main loop writes out): a push that finds the FIFO full calls
// `makeRoom(arg)`, without the lock, instead of waiting for another thread;
// the hook takes out what it can. When it frees nothing the character is
// dropped, and pushes drop at once (as without the option) until half the
// FIFO is free again. nullptr turns it off.
void icFifoSetMakeRoomFunc(IcFifoInstance* self, IcFifoStartTxFunc makeRoom, void* arg);
// For a consumer that must know when each byte came in, not when it got
// round to taking it: from now on every push notes the millisecond tick at
// which it stored its bytes. `tickStorage` holds `buflen` entries and stays
// the caller's, like the byte buffer; nullptr turns it off. Call after
// icFifoInit; bytes already held count as arriving now.
void icFifoEnableArrivalTicks(IcFifoInstance* self, U16* tickStorage);
// icFifoPopChar that also gives the byte's arrival tick. Without arrival
// ticks, or from an empty FIFO, the tick is the current one.
Char icFifoPopCharWithTick(IcFifoInstance* self, U16* arrivalTick);
// Arrival times finer than the tick: from now on every push also notes the
// microseconds into its tick (0..999), in `microsStorage` of `buflen`
// entries. Needs arrival ticks; nullptr turns it off.
void icFifoEnableArrivalMicros(IcFifoInstance* self, U16* microsStorage);
// icFifoPopCharWithTick that also gives the microseconds into the tick (0
// while they are not noted).
Char icFifoPopCharWithArrival(IcFifoInstance* self, U16* arrivalTick, U16* microsIntoTick);
// The arrival tick of the byte the next pop takes, leaving it in place.
// FALSE when the FIFO is empty; the tick is then the current one, read while
// no push can slip in between. Without arrival ticks the tick is always the
// current one.
Boolean icFifoPeekArrivalTick(IcFifoInstance* self, U16* arrivalTick);
