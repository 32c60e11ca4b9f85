#include "fifo/icFifo.h"

#include "base/icError.h"
#include "timer/icTimer.h"

namespace {
constexpr const char* kFile = "fifo/icFifo";

// Callers hold the FIFO's lock.
IcFifoIndex charsToPop(const IcFifoInstance* self) {
    if (self->ptr2 >= self->ptr1) {
        return static_cast<IcFifoIndex>(self->ptr2 - self->ptr1);
    }
    return static_cast<IcFifoIndex>(self->buflen - (self->ptr1 - self->ptr2));
}

// One slot always stays free so that a full ring differs from an empty one.
int freeRoom(const IcFifoInstance* self) { return static_cast<int>(self->buflen) - charsToPop(self) - 1; }

IcFifoIndex advance(const IcFifoInstance* self, IcFifoIndex pos, IcFifoIndex by) {
    const unsigned next = static_cast<unsigned>(pos) + by;
    return static_cast<IcFifoIndex>(next >= self->buflen ? next - self->buflen : next);
}

// The FIFO this thread holds the lock of. No code holds two FIFO locks at
// once; the one way to ask for a lock held already is a fatal error inside a
// FIFO operation whose exit path writes out the console FIFO, and that must
// not wait for itself.
thread_local const IcFifoInstance* lockedHere = nullptr;

// FALSE when this thread holds the lock already: the operation then does
// nothing (pushes drop, pops and counts find nothing).
[[nodiscard]] bool lock(IcFifoInstance* self) {
    if (lockedHere == self) {
        return false;
    }
    osalApi->semWait(self->mutex, MAX_U32);
    lockedHere = self;
    return true;
}
void unlock(IcFifoInstance* self) {
    lockedHere = nullptr;
    osalApi->semSignal(self->mutex);
}

void requireFifo(const IcFifoInstance* self, U16 line) {
    if (self == nullptr) {
        icErrorHandler(kFile, 0, line, "Assertion failed 'this'");
    }
}

// The hook is fetched under the lock but called after it is released: the
// serial driver's hook pops from this very FIFO.
struct StartTx {
    IcFifoStartTxFunc func = nullptr;
    void* arg = nullptr;
    void operator()() const {
        if (func != nullptr) {
            func(arg);
        }
    }
};

// With the lock held: the producer asked to hear when half the FIFO is free.
void noteRoomLocked(IcFifoInstance* self) {
    if (self->roomWanted != FALSE && freeRoom(self) >= static_cast<int>(self->buflen / 2)) {
        self->roomWanted = FALSE;
        osalApi->waitObjSignal(self->roomEvent);
    }
}

// With the lock held: the wait object that the next pop setting half the
// FIFO free sets.
OsalWaitObject requestRoomLocked(IcFifoInstance* self) {
    if (self->roomEvent == nullptr) {
        self->roomEvent = osalApi->waitObjCreate();
        IC_ASSERT_TEXT(kFile, self->roomEvent != nullptr, "Assertion failed 'this->roomEvent'");
    }
    self->roomWanted = TRUE;
    osalApi->waitObjectReset(self->roomEvent);
    return self->roomEvent;
}

// With the lock held: a consumer that has taken half the FIFO again is
// moving, and the next full FIFO is worth a wait again.
void endStallLocked(IcFifoInstance* self) {
    if (self->pushStalled != FALSE && freeRoom(self) >= static_cast<int>(self->buflen / 2)) {
        self->pushStalled = FALSE;
    }
}

// With the lock held and the FIFO full: unless back-pressure is off or has
// already run out, lets the consumer make room (lock released): on this
// thread through the make-room hook, or by sleeping until another thread has
// made room or the wait runs out. Returns with the lock held; TRUE when there
// is room.
bool waitForRoomLocked(IcFifoInstance* self) {
    if (self->pushStalled != FALSE) {
        return false;
    }
    if (self->makeRoom != nullptr) {
        const IcFifoStartTxFunc makeRoom = self->makeRoom;
        void* const arg = self->makeRoomArg;
        unlock(self);
        makeRoom(arg);
        (void)lock(self);  // taken again on the same thread: never held here
    } else if (self->pushWait_ms != 0) {
        const OsalWaitObject room = requestRoomLocked(self);
        unlock(self);
        osalApi->waitForObjects(&room, 1, self->pushWait_ms);
        (void)lock(self);
        self->roomWanted = FALSE;
    } else {
        return false;
    }
    if (freeRoom(self) > 0) {
        return true;
    }
    self->pushStalled = TRUE;
    return false;
}

// With the lock held: the tick the bytes of this push arrived at. Read once
// per push, not per byte, and under the lock, so ticks never run backwards
// in FIFO order and a consumer that finds the FIFO empty knows that nothing
// arrived before its own reading of the clock.
struct Arrival {
    U16 tick;
    U16 micros;  // into the tick
};

Arrival arrivalLocked(const IcFifoInstance* self) {
    Arrival arrival{0, 0};
    if (self->arrivalMicros != nullptr) {
        icTimerGetRunningTimer_us(&arrival.tick, &arrival.micros);
    } else if (self->arrivalTicks != nullptr) {
        arrival.tick = icTimerGetRunningTimer_ms();
    }
    return arrival;
}

// With the lock held and a byte free at the write position.
void storeLocked(IcFifoInstance* self, Char chr, Arrival arrival) {
    self->buffer[self->ptr2] = chr;
    if (self->arrivalTicks != nullptr) {
        self->arrivalTicks[self->ptr2] = arrival.tick;
    }
    if (self->arrivalMicros != nullptr) {
        self->arrivalMicros[self->ptr2] = arrival.micros;
    }
    self->ptr2 = advance(self, self->ptr2, 1);
}

// With the lock held: the arrival tick of the byte at the read position, or
// the current tick when there is none to give.
U16 headTickLocked(const IcFifoInstance* self) {
    if (self->arrivalTicks != nullptr && self->ptr1 != self->ptr2) {
        return self->arrivalTicks[self->ptr1];
    }
    return icTimerGetRunningTimer_ms();
}

// The clock is only read for a caller that asks for the tick.
Char popChar(IcFifoInstance* self, U16* arrivalTick, U16* microsIntoTick = nullptr) {
    if (microsIntoTick != nullptr) {
        *microsIntoTick = 0;
    }
    if (self == nullptr) {
        if (arrivalTick != nullptr) {
            *arrivalTick = icTimerGetRunningTimer_ms();
        }
        return 0;
    }
    if (!lock(self)) {
        if (arrivalTick != nullptr) {
            *arrivalTick = icTimerGetRunningTimer_ms();
        }
        return 0;
    }
    if (arrivalTick != nullptr) {
        *arrivalTick = headTickLocked(self);
    }
    if (microsIntoTick != nullptr && self->arrivalMicros != nullptr && self->ptr1 != self->ptr2) {
        *microsIntoTick = self->arrivalMicros[self->ptr1];
    }
    Char chr = 0;
    if (self->ptr1 == self->ptr2) {
        osalApi->waitObjectReset(self->event);
    } else {
        chr = self->buffer[self->ptr1];
        self->ptr1 = advance(self, self->ptr1, 1);
        noteRoomLocked(self);
    }
    unlock(self);
    return chr;
}

StartTx startConditionLocked(const IcFifoInstance* self) {
    if (self->ptr1 == self->ptr2 && self->startTx != nullptr) {
        return StartTx{self->startTx, self->startTxArg};
    }
    return StartTx{};
}
}  // namespace

void icFifoInit(IcFifoInstance* self, Char* buffer, IcFifoIndex buflen) {
    if (self == nullptr) {
        return;
    }
    IC_ASSERT(kFile, buffer != nullptr || buflen == 0);
    self->buffer = buffer;
    self->buflen = buflen;
    self->ptr1 = 0;
    self->ptr2 = 0;
    self->arrivalTicks = nullptr;
    self->arrivalMicros = nullptr;
    self->mutex = osalApi->semCreate(TRUE);
    self->event = osalApi->waitObjCreate();
    IC_ASSERT_TEXT(kFile, self->event != nullptr, "Assertion failed 'this->event'");
}

void icFifoReset(IcFifoInstance* self) {
    requireFifo(self, static_cast<U16>(__LINE__));
    if (!lock(self)) {
        return;
    }
    self->ptr1 = 0;
    self->ptr2 = 0;
    noteRoomLocked(self);
    unlock(self);
}

void icFifoPushChar(IcFifoInstance* self, Char chr) {
    if (self == nullptr || !lock(self)) {
        return;
    }
    const Arrival arrival = arrivalLocked(self);
    const StartTx startTx = startConditionLocked(self);
    endStallLocked(self);
    if (freeRoom(self) > 0 || waitForRoomLocked(self)) {
        storeLocked(self, chr, arrival);
    }
    osalApi->waitObjSignal(self->event);
    unlock(self);
    startTx();
}

IcFifoIndex icFifoPushBlock(IcFifoInstance* self, const Char* block, IcFifoIndex len) {
    if (self == nullptr) {
        return 0;
    }
    if (block == nullptr) {
        len = 0;
    }
    // Under the lock like every other move of a position: without it a pop
    // running at the same time reads a half-updated ring.
    if (!lock(self)) {
        return 0;
    }
    const Arrival arrival = arrivalLocked(self);
    const StartTx startTx = startConditionLocked(self);
    endStallLocked(self);
    int stored = 0;
    while (stored < static_cast<int>(len)) {
        const int room = freeRoom(self);
        if (room == 0) {
            // What the consumer has not taken yet must be visible to it
            // while this producer waits.
            osalApi->waitObjSignal(self->event);
            if (!waitForRoomLocked(self)) {
                break;
            }
            continue;
        }
        const int toStore = room < static_cast<int>(len) - stored ? room : static_cast<int>(len) - stored;
        for (int i = 0; i < toStore; ++i) {
            storeLocked(self, block[stored + i], arrival);
        }
        stored += toStore;
    }
    osalApi->waitObjSignal(self->event);
    unlock(self);
    startTx();
    return static_cast<IcFifoIndex>(stored);
}

Char icFifoPopChar(IcFifoInstance* self) { return popChar(self, nullptr); }

Char icFifoPopCharWithTick(IcFifoInstance* self, U16* arrivalTick) { return popChar(self, arrivalTick); }

Char icFifoPopCharWithArrival(IcFifoInstance* self, U16* arrivalTick, U16* microsIntoTick) {
    return popChar(self, arrivalTick, microsIntoTick);
}

Boolean icFifoPeekArrivalTick(IcFifoInstance* self, U16* arrivalTick) {
    Boolean held = FALSE;
    U16 tick = 0;
    if (self != nullptr && lock(self)) {
        tick = headTickLocked(self);
        held = self->ptr1 != self->ptr2 ? TRUE : FALSE;
        unlock(self);
    } else {
        tick = icTimerGetRunningTimer_ms();
    }
    if (arrivalTick != nullptr) {
        *arrivalTick = tick;
    }
    return held;
}

IcFifoIndex icFifoPopBlock(IcFifoInstance* self, IcFifoIndex maxCharsToPop, Char* buffer) {
    requireFifo(self, static_cast<U16>(__LINE__));
    IC_ASSERT(kFile, buffer != nullptr || maxCharsToPop == 0);
    if (!lock(self)) {
        return 0;
    }
    IcFifoIndex n = 0;
    if (self->ptr1 < self->ptr2) {
        n = static_cast<IcFifoIndex>(self->ptr2 - self->ptr1);
    } else if (self->ptr1 > self->ptr2) {
        // Only up to the end of the storage; the wrapped rest comes next call.
        n = static_cast<IcFifoIndex>(self->buflen - self->ptr1);
    } else {
        osalApi->waitObjectReset(self->event);
    }
    if (n > maxCharsToPop) {
        n = maxCharsToPop;
    }
    for (IcFifoIndex i = 0; i < n; ++i) {
        buffer[i] = self->buffer[self->ptr1 + i];
    }
    self->ptr1 = advance(self, self->ptr1, n);
    noteRoomLocked(self);
    unlock(self);
    return n;
}

IcFifoIndex icFifoCharsToPop(IcFifoInstance* self) {
    if (self == nullptr || !lock(self)) {
        return 0;
    }
    const IcFifoIndex held = charsToPop(self);
    if (held == 0) {
        osalApi->waitObjectReset(self->event);
    }
    unlock(self);
    return held;
}

IcFifoIndex icFifoCharsHeld(IcFifoInstance* self) {
    if (self == nullptr || !lock(self)) {
        return 0;
    }
    const IcFifoIndex held = charsToPop(self);
    unlock(self);
    return held;
}

IcFifoIndex icFifoFreeRoom(IcFifoInstance* self) {
    if (self == nullptr || self->buflen == 0 || !lock(self)) {
        return 0;
    }
    const auto room = static_cast<IcFifoIndex>(freeRoom(self));
    unlock(self);
    return room;
}

void icFifoSetStartTxFunc(IcFifoInstance* self, IcFifoStartTxFunc startTx, void* startTxArg) {
    if (self == nullptr || !lock(self)) {
        return;
    }
    self->startTx = startTx;
    self->startTxArg = startTxArg;
    unlock(self);
}

OsalWaitObject icFifoGetWaitObject(IcFifoInstance* self) {
    requireFifo(self, static_cast<U16>(__LINE__));
    return self->event;
}

void icFifoSetPushWait(IcFifoInstance* self, U16 wait_ms) {
    if (self == nullptr) {
        return;
    }
    // Like the start-transmit hook, the setting may come before icFifoInit.
    const bool locked = self->mutex != nullptr && lock(self);
    self->pushWait_ms = wait_ms;
    self->pushStalled = FALSE;
    if (locked) {
        unlock(self);
    }
}

void icFifoSetMakeRoomFunc(IcFifoInstance* self, IcFifoStartTxFunc makeRoom, void* arg) {
    if (self == nullptr) {
        return;
    }
    // Like the start-transmit hook, the setting may come before icFifoInit.
    const bool locked = self->mutex != nullptr && lock(self);
    self->makeRoom = makeRoom;
    self->makeRoomArg = arg;
    self->pushStalled = FALSE;
    if (locked) {
        unlock(self);
    }
}

void icFifoEnableArrivalTicks(IcFifoInstance* self, U16* tickStorage) {
    requireFifo(self, static_cast<U16>(__LINE__));
    if (!lock(self)) {
        return;
    }
    if (tickStorage != nullptr) {
        const U16 now = icTimerGetRunningTimer_ms();
        for (IcFifoIndex i = 0; i < self->buflen; ++i) {
            tickStorage[i] = now;
        }
    }
    self->arrivalTicks = tickStorage;
    if (tickStorage == nullptr) {
        self->arrivalMicros = nullptr;
    }
    unlock(self);
}

void icFifoEnableArrivalMicros(IcFifoInstance* self, U16* microsStorage) {
    requireFifo(self, static_cast<U16>(__LINE__));
    if (!lock(self)) {
        return;
    }
    if (microsStorage != nullptr) {
        for (IcFifoIndex i = 0; i < self->buflen; ++i) {
            microsStorage[i] = 0;
        }
    }
    self->arrivalMicros = self->arrivalTicks != nullptr ? microsStorage : nullptr;
    unlock(self);
}
