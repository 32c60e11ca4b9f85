#include <pthread.h>
#include <signal.h>

#include <array>
#include <atomic>
#include <climits>
#include <ctime>

#include "hal/include/icOsal.h"
#include "hal/include/icPlatformTimer.h"
#include "hal/mcu/posix/icOsalPosix.h"

// One timer thread serves every event. Routines run on it with the table
// locked, so cancelling an event (which takes the same lock) also waits for a
// routine of that event that is running right now. A thread sleeping on the
// wait object the routines set (platformTimerServeFromWaiters) runs them the
// same way, under the same lock, when it wakes for them.
namespace {
constexpr long long kNsPerMs = 1000000LL;
constexpr long long kNsPerSec = 1000000000LL;
constexpr U32 kSlotBits = 5;
constexpr U32 kNumSlots = 1U << kSlotBits;  // the timer service needs 15
constexpr U32 kSlotMask = kNumSlots - 1U;
constexpr long long kNever = LLONG_MAX;
// While a thread sleeps serving the events, the timer thread only looks in
// this much after the next due time: it is there for expiries nobody else
// serves (the serving thread is busy elsewhere), not to wake for each one.
constexpr long long kBackstopNs = 20 * kNsPerMs;

struct EventSlot {
    bool active = false;
    bool periodic = false;
    U32 id = 0;
    PlatformTimerRoutine routine = nullptr;
    void* arg = nullptr;
    long long periodNs = 0;
    long long deadlineNs = 0;
};

pthread_mutex_t tableLock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t wakeTimerThread;  // runs on CLOCK_MONOTONIC; set up with the thread
bool threadRunning = false;
std::array<EventSlot, kNumSlots> slots{};
U32 generation = 0;
// Routines call back into this module on the timer thread, where the lock is
// already held.
thread_local bool onTimerThread = false;

std::atomic<PlatformTickSource> tickSource{nullptr};

// The earliest due time of the active events (kNever: none), for sleeping
// threads that serve them; written with the table locked. It may be early
// (an event was cancelled since), never late.
std::atomic<long long> earliestDueNs{kNever};
std::atomic<int> servingSleepers{0};
// An event due before anything a sleeping thread knows of was started (on
// another thread): the timer thread serves it on time itself. Table lock.
bool dueBeforeServersKnow = false;

long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * kNsPerSec + now.tv_nsec;
}

timespec toTimespec(long long ns) {
    return timespec{static_cast<time_t>(ns / kNsPerSec), static_cast<long>(ns % kNsPerSec)};
}

class TableGuard {
public:
    TableGuard() : locked_(!onTimerThread) {
        if (locked_) {
            pthread_mutex_lock(&tableLock);
        }
    }
    ~TableGuard() {
        if (locked_) {
            pthread_mutex_unlock(&tableLock);
        }
    }
    TableGuard(const TableGuard&) = delete;
    TableGuard& operator=(const TableGuard&) = delete;

private:
    bool locked_;
};

// A periodic event that fell behind (the machine was busy) fires once and
// then keeps its phase: the missed expiries are skipped, not fired in a burst.
void scheduleNext(EventSlot& slot, long long now) {
    slot.deadlineNs += slot.periodNs;
    if (slot.deadlineNs <= now) {
        const long long missed = (now - slot.deadlineNs) / slot.periodNs + 1;
        slot.deadlineNs += missed * slot.periodNs;
    }
}

void fireDueEvents(long long now) {
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

void* timerThread(void*) {
    osalApi->setPriority(OSAL_PRIO_HIGH);
    pthread_mutex_lock(&tableLock);
    onTimerThread = true;
    for (;;) {
        fireDueEvents(monotonicNs());
        long long next = nextDeadline();
        earliestDueNs.store(next, std::memory_order_release);
        onTimerThread = false;
        const bool exact = dueBeforeServersKnow || servingSleepers.load(std::memory_order_acquire) == 0;
        dueBeforeServersKnow = false;
        if (next != kNever && !exact) {
            next += kBackstopNs;
        }
        if (next == kNever) {
            pthread_cond_wait(&wakeTimerThread, &tableLock);
        } else {
            const timespec until = toTimespec(next);
            pthread_cond_timedwait(&wakeTimerThread, &tableLock, &until);
        }
        onTimerThread = true;
    }
    return nullptr;
}

// Called with the table locked.
bool ensureTimerThread() {
    if (threadRunning) {
        return true;
    }
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    const int condRc = pthread_cond_init(&wakeTimerThread, &attr);
    pthread_condattr_destroy(&attr);
    if (condRc != 0) {
        return false;
    }
    // Signals are for the program's own threads, not for the timer.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    pthread_attr_t threadAttr;
    pthread_attr_init(&threadAttr);
    pthread_attr_setdetachstate(&threadAttr, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const int rc = pthread_create(&thread, &threadAttr, timerThread, nullptr);
    pthread_attr_destroy(&threadAttr);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (rc != 0) {
        pthread_cond_destroy(&wakeTimerThread);
        return false;
    }
    threadRunning = true;
    return true;
}

// ---- serving from a sleeping thread ------------------------------------------

long long clockNextDueNs() { return earliestDueNs.load(std::memory_order_acquire); }

void clockServeDue(long long nowNs) {
    if (nowNs < earliestDueNs.load(std::memory_order_acquire) || onTimerThread) {
        return;
    }
    pthread_mutex_lock(&tableLock);
    onTimerThread = true;
    fireDueEvents(nowNs);
    earliestDueNs.store(nextDeadline(), std::memory_order_release);
    onTimerThread = false;
    pthread_mutex_unlock(&tableLock);
}

void clockSleepers(int delta) { servingSleepers.fetch_add(delta, std::memory_order_acq_rel); }

constexpr IcOsalPosixWaitClock kServingClock{clockNextDueNs, clockServeDue, clockSleepers};

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
    TableGuard guard;
    if (!onTimerThread && !ensureTimerThread()) {
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
        // A period of 0 would spin the timer thread.
        const long long delayNs = static_cast<long long>(delayMs) * kNsPerMs;
        slot.periodNs = (slot.periodic && delayNs == 0) ? kNsPerMs : delayNs;
        slot.deadlineNs = monotonicNs() + slot.periodNs;
        if (slot.deadlineNs < earliestDueNs.load(std::memory_order_relaxed)) {
            earliestDueNs.store(slot.deadlineNs, std::memory_order_release);
            dueBeforeServersKnow = true;
        }
        if (!onTimerThread) {
            pthread_cond_signal(&wakeTimerThread);
        }
        return slot.id;
    }
    return 0;
}

void platformTimerKillEvent(U32 eventId) {
    if (eventId == 0) {
        return;
    }
    TableGuard guard;
    EventSlot& slot = slots[eventId & kSlotMask];
    if (slot.active && slot.id == eventId) {
        slot.active = false;
    }
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

void platformTimerServeFromWaiters(OsalWaitObject obj) { icOsalPosixSetWaitClock(obj, &kServingClock); }
