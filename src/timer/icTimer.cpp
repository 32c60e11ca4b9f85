#include "timer/icTimer.h"

#include <array>
#include <atomic>

#include "base/icError.h"
#include "hal/include/icPlatformTimer.h"

namespace {
constexpr const char* kFile = "timer/icTimer";
// The system time steps once per 1001 milliseconds, as the count of system
// tick callbacks it used to be did.
constexpr U32 kMsPerSysTimeStep = 1001;

struct TimerData {
    Boolean isRunning = FALSE;
    // Set where the platform runs timer routines, cleared on the main thread.
    std::atomic<Boolean> hasExpired{FALSE};
    Boolean isPeriodic = FALSE;
    U32 handle = 0;
    IcTimerCb cb = nullptr;
    void* cbArg = nullptr;
};

std::array<TimerData, TIM_NUM_TIMERS> timers;
U8 nextFreeTimer = 0;
OsalWaitObject timerDoneEvent = nullptr;
// The system tick keeps its handle (0) but no platform event: the system
// time is read off the monotonic clock when asked for, so that nothing wakes
// the main loop while no timer is due.
IcTimerHandle sysTimeTimerHandle = 0;
U32 sysTimeBase_ms = 0;

// Where the platform runs timer routines (its own timer thread, or the
// serving thread inside platformTimerServeDue): mark and wake, never user
// code.
void timerCbRoutine(U32 eventId, void* entry) {
    auto* tim = static_cast<TimerData*>(entry);
    tim->hasExpired.store(TRUE, std::memory_order_release);
    if (tim->isPeriodic == FALSE) {
        platformTimerKillEvent(eventId);
    }
    osalApi->waitObjSignal(timerDoneEvent);
}

void cancelEvent(TimerData& tim) {
    if (tim.handle != 0) {
        platformTimerKillEvent(tim.handle);
        tim.handle = 0;
    }
}
}  // namespace

void icTimerInit() {
    // A second init (tests do it) must not leave the old events marking the
    // fresh table.
    for (TimerData& tim : timers) {
        cancelEvent(tim);
        tim.isRunning = FALSE;
        tim.hasExpired.store(FALSE, std::memory_order_relaxed);
        tim.isPeriodic = FALSE;
        tim.cb = nullptr;
        tim.cbArg = nullptr;
    }
    if (timerDoneEvent == nullptr) {
        timerDoneEvent = osalApi->waitObjCreate();
    } else {
        osalApi->waitObjectReset(timerDoneEvent);
    }
    IC_ASSERT_TEXT(kFile, timerDoneEvent != nullptr, "Assertion failed 'timerDoneEvent'");
    nextFreeTimer = 0;
    sysTimeBase_ms = platformTimerGetTickCount();
    sysTimeTimerHandle = icTimerAlloc(nullptr);
}

IcTimerHandle icTimerAlloc(void* cbArg) {
    IC_ASSERT(kFile, nextFreeTimer < TIM_NUM_TIMERS);
    const IcTimerHandle th = nextFreeTimer++;
    timers[th].isRunning = FALSE;
    timers[th].cbArg = cbArg;
    return th;
}

IcTimerResultCode icTimerStart(IcTimerHandle th, IcTimerTick ms, IcTimerFiringMode firingMode, IcTimerCb tcb) {
    IC_ASSERT_TEXT(kFile, tcb != nullptr, "Assertion failed 'tcb != NULL'");
    IC_ASSERT(kFile, ms <= HIO_TIM_MAX_PERIOD);
    IC_ASSERT(kFile, th < nextFreeTimer);
    TimerData& tim = timers[th];
    // Cancel first: an expiry of the old event landing after the flags were
    // cleared would fire the restarted timer early.
    cancelEvent(tim);
    tim.isRunning = TRUE;
    tim.hasExpired.store(FALSE, std::memory_order_relaxed);
    tim.isPeriodic = firingMode == IC_TIMER_FIRE_REPEATEDLY ? TRUE : FALSE;
    tim.cb = tcb;
    tim.handle = platformTimerSetEvent(ms, timerCbRoutine, &tim, tim.isPeriodic);
    IC_ASSERT_TEXT(kFile, tim.handle != 0, "Assertion failed 'tim->handle'");
    return IC_TIMER_RC_OK;
}

IcTimerResultCode icTimerStop(IcTimerHandle th) {
    IC_ASSERT(kFile, th < nextFreeTimer);
    TimerData& tim = timers[th];
    cancelEvent(tim);
    tim.isRunning = FALSE;
    return IC_TIMER_RC_OK;
}

void icTimerExe() {
    platformTimerServeDue();
    if (osalWaitObjIsSet(timerDoneEvent) == FALSE) {
        return;
    }
    for (IcTimerHandle th = 0; th < nextFreeTimer; ++th) {
        TimerData& tim = timers[th];
        // A flag, not a count: expiries since the last pass merge into one call.
        if (tim.isRunning == FALSE || tim.hasExpired.exchange(FALSE, std::memory_order_acq_rel) == FALSE) {
            continue;
        }
        if (tim.isPeriodic == FALSE) {
            tim.isRunning = FALSE;
        }
        tim.cb(tim.cbArg, th);
    }
    osalApi->waitObjectReset(timerDoneEvent);
}

U32 icTimerNextDeadline_ms() { return osalWaitObjIsSet(timerDoneEvent) != FALSE ? 0 : platformTimerNextDue_ms(); }

OsalWaitObject hioTimerGetWaitObject() { return timerDoneEvent; }

IcTimerTick icTimerGetRunningTimer_ms() { return static_cast<IcTimerTick>(platformTimerGetTickCount()); }

void icTimerGetRunningTimer_us(IcTimerTick* tick, U16* microsIntoTick) {
    constexpr U64 kMicrosPerTick = 1000;
    const U64 micros = platformTimerGetMicros();
    *tick = static_cast<IcTimerTick>(micros / kMicrosPerTick);
    *microsIntoTick = static_cast<U16>(micros % kMicrosPerTick);
}

IcTimerSeconds hioTimerGetSysTime() { return (platformTimerGetTickCount() - sysTimeBase_ms) / kMsPerSysTimeStep; }
