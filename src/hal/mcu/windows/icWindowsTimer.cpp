#include "hal/include/icOsal.h"
#include "hal/include/icPlatformTimer.h"
#include "hal/mcu/windows/icWin.h"

// After windows.h, which it builds on.
#include <mmsystem.h>

#include <array>
#include <atomic>

// Timer events on the multimedia timers: their routines run on the system's
// timer thread. A table of our own stands between the two, for what the
// multimedia timers do not promise: routines run with the table locked, so
// cancelling an event (which takes the same lock) also waits for a routine of
// that event that is running right now, and an expiry that comes after the
// cancel finds its entry gone and calls nothing.
namespace {
constexpr U32 kSlotBits = 5;
constexpr U32 kNumSlots = 1U << kSlotBits;  // the timer service needs 15
constexpr U32 kSlotMask = kNumSlots - 1U;

struct EventSlot {
    bool active = false;
    bool periodic = false;
    U32 id = 0;
    UINT mmId = 0;
    PlatformTimerRoutine routine = nullptr;
    void* arg = nullptr;
};

SRWLOCK tableLock = SRWLOCK_INIT;
std::array<EventSlot, kNumSlots> slots{};
U32 generation = 0;
// A routine calls back into this module on the timer thread, where the lock
// is already held.
thread_local bool inRoutine = false;

std::atomic<PlatformTickSource> tickSource{nullptr};

class TableGuard {
public:
    TableGuard() : locked_(!inRoutine) {
        if (locked_) {
            AcquireSRWLockExclusive(&tableLock);
        }
    }
    ~TableGuard() {
        if (locked_) {
            ReleaseSRWLockExclusive(&tableLock);
        }
    }
    TableGuard(const TableGuard&) = delete;
    TableGuard& operator=(const TableGuard&) = delete;

private:
    bool locked_;
};

void CALLBACK onTimerEvent(UINT /*mmId*/, UINT /*msg*/, DWORD_PTR user, DWORD_PTR /*dw1*/, DWORD_PTR /*dw2*/) {
    const auto id = static_cast<U32>(user);
    TableGuard guard;
    EventSlot& slot = slots[id & kSlotMask];
    if (!slot.active || slot.id != id) {
        return;  // cancelled, or a late expiry of an event replaced since
    }
    if (!slot.periodic) {
        slot.active = false;  // a one-shot event is spent once it fires
    }
    inRoutine = true;
    slot.routine(id, slot.arg);
    inRoutine = false;
}

U32 nextId(U32 slotIndex) {
    generation = (generation + 1U) & (MAX_U32 >> kSlotBits);
    if (generation == 0) {
        generation = 1;
    }
    return (generation << kSlotBits) | slotIndex;
}

// The multimedia timers take delays from 1 ms and compare them against a
// millisecond count, so a one-shot event could fire up to a millisecond early
// by the fine clock; one more millisecond keeps it from ever coming before
// its time. A periodic event keeps the exact period.
UINT multimediaDelay(U16 delayMs, bool periodic) {
    const UINT delay = delayMs == 0 ? 1U : delayMs;
    return periodic ? delay : delay + 1U;
}
}  // namespace

U32 platformTimerSetEvent(U16 delayMs, PlatformTimerRoutine routine, void* arg, Boolean periodic) {
    if (routine == nullptr) {
        return 0;
    }
    U32 id = 0;
    {
        TableGuard guard;
        for (U32 i = 0; i < kNumSlots && id == 0; ++i) {
            if (!slots[i].active) {
                id = nextId(i);
                slots[i] = EventSlot{true, periodic != FALSE, id, 0, routine, arg};
            }
        }
    }
    if (id == 0) {
        return 0;
    }
    // Not under the table lock: the system's timer thread may be waiting for
    // it inside a routine while holding locks of its own.
    const UINT kind = (periodic != FALSE ? TIME_PERIODIC : TIME_ONESHOT) | TIME_CALLBACK_FUNCTION;
    const UINT mmId = timeSetEvent(multimediaDelay(delayMs, periodic != FALSE), 0, onTimerEvent, id, kind);
    TableGuard guard;
    EventSlot& slot = slots[id & kSlotMask];
    if (slot.id != id) {
        return id;  // already spent and cleared by its own routine
    }
    if (mmId == 0) {
        slot.active = false;
        return 0;
    }
    slot.mmId = mmId;
    return id;
}

void platformTimerKillEvent(U32 eventId) {
    if (eventId == 0) {
        return;
    }
    UINT periodicToKill = 0;
    {
        TableGuard guard;
        EventSlot& slot = slots[eventId & kSlotMask];
        if (!slot.active || slot.id != eventId) {
            return;
        }
        slot.active = false;
        // A one-shot event is left to fire into the cleared entry: the
        // system frees it then, and its id is never one that a newer event
        // could have been given.
        if (slot.periodic) {
            periodicToKill = slot.mmId;
        }
    }
    if (periodicToKill != 0) {
        (void)timeKillEvent(periodicToKill);
    }
}

U32 platformTimerGetTickCount() {
    const PlatformTickSource source = tickSource.load(std::memory_order_acquire);
    if (source != nullptr) {
        return source();
    }
    return static_cast<U32>(static_cast<unsigned long long>(icWinMonotonicUs() / 1000));
}

U64 platformTimerGetMicros() {
    const PlatformTickSource source = tickSource.load(std::memory_order_acquire);
    if (source != nullptr) {
        return static_cast<U64>(source()) * 1000U;
    }
    return static_cast<U64>(icWinMonotonicUs());
}

void platformTimerSetTickSource(PlatformTickSource source) { tickSource.store(source, std::memory_order_release); }

// The system's timer thread runs the routines: nothing is left for the
// thread that serves the timer service, which sleeps on what they set.
U32 platformTimerNextDue_ms() { return MAX_U32; }

void platformTimerServeDue() {}
