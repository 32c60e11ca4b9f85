#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <ctime>

#include "hal/include/icPlatformTimer.h"

// No thread of its own: the thread that serves the events (the main loop)
// sleeps no longer than until the next one is due and then runs the due
// routines itself, so an expiry costs that thread one wake-up and nothing
// wakes while no event is set. Events are set, cancelled and served on that
// thread; a routine may set or cancel events, its own included.
namespace {
constexpr long long kNsPerMs = 1000000LL;
constexpr long long kNsPerSec = 1000000000LL;
constexpr U32 kSlotBits = 5;
constexpr U32 kNumSlots = 1U << kSlotBits;  // the timer service needs 15
constexpr U32 kSlotMask = kNumSlots - 1U;
constexpr long long kNever = LLONG_MAX;

struct EventSlot {
    bool active = false;
    bool periodic = false;
    U32 id = 0;
    PlatformTimerRoutine routine = nullptr;
    void* arg = nullptr;
    long long periodNs = 0;
    long long deadlineNs = 0;
};

std::array<EventSlot, kNumSlots> slots{};
U32 generation = 0;
// The earliest due time of the active events (kNever: none).
long long earliestDueNs = kNever;

std::atomic<PlatformTickSource> tickSource{nullptr};

long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * kNsPerSec + now.tv_nsec;
}

// A periodic event that fell behind (the thread was busy) fires once and
// then keeps its phase: the missed expiries are skipped, not fired in a burst.
void scheduleNext(EventSlot& slot, long long now) {
    slot.deadlineNs += slot.periodNs;
    if (slot.deadlineNs <= now) {
        const long long missed = (now - slot.deadlineNs) / slot.periodNs + 1;
        slot.deadlineNs += missed * slot.periodNs;
    }
}

long long nextDeadline() {
    long long next = kNever;
    for (const EventSlot& slot : slots) {
        if (slot.active && slot.deadlineNs < next) {
            next = slot.deadlineNs;
        }
    }
    return next;
}

U32 nextId(U32 slotIndex) {
    generation = (generation + 1U) & (MAX_U32 >> kSlotBits);
    if (generation == 0) {
        generation = 1;
    }
    return (generation << kSlotBits) | slotIndex;
}
}  // namespace

U32 platformTimerSetEvent(U16 delayMs, PlatformTimerRoutine routine, void* arg, Boolean periodic) {
    if (routine == nullptr) {
        return 0;
    }
    for (U32 i = 0; i < kNumSlots; ++i) {
        EventSlot& slot = slots[i];
        if (slot.active) {
            continue;
        }
        slot.active = true;
        slot.periodic = periodic != FALSE;
        slot.id = nextId(i);
        slot.routine = routine;
        slot.arg = arg;
        // A period of 0 would keep the serving thread from ever sleeping.
        const long long delayNs = static_cast<long long>(delayMs) * kNsPerMs;
        slot.periodNs = (slot.periodic && delayNs == 0) ? kNsPerMs : delayNs;
        slot.deadlineNs = monotonicNs() + slot.periodNs;
        earliestDueNs = std::min(earliestDueNs, slot.deadlineNs);
        return slot.id;
    }
    return 0;
}

void platformTimerKillEvent(U32 eventId) {
    if (eventId == 0) {
        return;
    }
    EventSlot& slot = slots[eventId & kSlotMask];
    if (slot.active && slot.id == eventId) {
        slot.active = false;
        // Not left early: the serving thread would wake for nothing.
        earliestDueNs = nextDeadline();
    }
}

U32 platformTimerNextDue_ms() {
    if (earliestDueNs == kNever) {
        return MAX_U32;
    }
    const long long left = earliestDueNs - monotonicNs();
    if (left <= 0) {
        return 0;
    }
    // Rounded up, so that a sleep this long ends at or after the due time.
    return static_cast<U32>(std::min<long long>((left + kNsPerMs - 1) / kNsPerMs, MAX_U32 - 1));
}

void platformTimerServeDue() {
    // Nothing scheduled: not even the clock is read.
    if (earliestDueNs == kNever) {
        return;
    }
    const long long now = monotonicNs();
    if (now < earliestDueNs) {
        return;
    }
    for (EventSlot& slot : slots) {
        if (!slot.active || slot.deadlineNs > now) {
            continue;
        }
        const U32 id = slot.id;
        slot.routine(id, slot.arg);
        if (!slot.active || slot.id != id) {
            continue;  // the routine cancelled or replaced its event
        }
        if (slot.periodic) {
            scheduleNext(slot, now);
        } else {
            slot.active = false;
        }
    }
    earliestDueNs = nextDeadline();
}

U32 platformTimerGetTickCount() {
    const PlatformTickSource source = tickSource.load(std::memory_order_acquire);
    if (source != nullptr) {
        return source();
    }
    return static_cast<U32>(static_cast<unsigned long long>(monotonicNs() / kNsPerMs));
}

U64 platformTimerGetMicros() {
    const PlatformTickSource source = tickSource.load(std::memory_order_acquire);
    if (source != nullptr) {
        return static_cast<U64>(source()) * 1000U;
    }
    return static_cast<U64>(monotonicNs() / 1000);
}

void platformTimerSetTickSource(PlatformTickSource source) { tickSource.store(source, std::memory_order_release); }
