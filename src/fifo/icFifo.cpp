#include "fifo/icFifo.h"

#include "error/icError.h"

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

void lock(IcFifoInstance* self) { osalApi->semWait(self->mutex, MAX_U32); }
void unlock(IcFifoInstance* self) { osalApi->semSignal(self->mutex); }

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
    self->mutex = osalApi->semCreate(TRUE);
    self->event = osalApi->waitObjCreate();
    IC_ASSERT_TEXT(kFile, self->event != nullptr, "Assertion failed 'this->event'");
}

void icFifoReset(IcFifoInstance* self) {
    requireFifo(self, static_cast<U16>(__LINE__));
    lock(self);
    self->ptr1 = 0;
    self->ptr2 = 0;
    unlock(self);
}

void icFifoPushChar(IcFifoInstance* self, Char chr) {
    if (self == nullptr) {
        return;
    }
    lock(self);
    const StartTx startTx = startConditionLocked(self);
    if (freeRoom(self) > 0) {
        self->buffer[self->ptr2] = chr;
        self->ptr2 = advance(self, self->ptr2, 1);
    }
    osalApi->waitObjSignal(self->event);
    unlock(self);
    startTx();
}

void icFifoPushBlock(IcFifoInstance* self, const Char* block, IcFifoIndex len) {
    if (self == nullptr) {
        return;
    }
    if (block == nullptr) {
        len = 0;
    }
    // Under the lock like every other move of a position: without it a pop
    // running at the same time reads a half-updated ring.
    lock(self);
    const StartTx startTx = startConditionLocked(self);
    const int room = freeRoom(self);
    const int toStore = room < static_cast<int>(len) ? room : static_cast<int>(len);
    for (int i = 0; i < toStore; ++i) {
        self->buffer[self->ptr2] = block[i];
        self->ptr2 = advance(self, self->ptr2, 1);
    }
    osalApi->waitObjSignal(self->event);
    unlock(self);
    startTx();
}

Char icFifoPopChar(IcFifoInstance* self) {
    if (self == nullptr) {
        return 0;
    }
    lock(self);
    Char chr = 0;
    if (self->ptr1 == self->ptr2) {
        osalApi->waitObjectReset(self->event);
    } else {
        chr = self->buffer[self->ptr1];
        self->ptr1 = advance(self, self->ptr1, 1);
    }
    unlock(self);
    return chr;
}

IcFifoIndex icFifoPopBlock(IcFifoInstance* self, IcFifoIndex maxCharsToPop, Char* buffer) {
    requireFifo(self, static_cast<U16>(__LINE__));
    IC_ASSERT(kFile, buffer != nullptr || maxCharsToPop == 0);
    lock(self);
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
    unlock(self);
    return n;
}

IcFifoIndex icFifoCharsToPop(IcFifoInstance* self) {
    if (self == nullptr) {
        return 0;
    }
    lock(self);
    const IcFifoIndex held = charsToPop(self);
    if (held == 0) {
        osalApi->waitObjectReset(self->event);
    }
    unlock(self);
    return held;
}

void icFifoSetStartTxFunc(IcFifoInstance* self, IcFifoStartTxFunc startTx, void* startTxArg) {
    if (self == nullptr) {
        return;
    }
    lock(self);
    self->startTx = startTx;
    self->startTxArg = startTxArg;
    unlock(self);
}

OsalWaitObject icFifoGetWaitObject(IcFifoInstance* self) {
    requireFifo(self, static_cast<U16>(__LINE__));
    return self->event;
}
