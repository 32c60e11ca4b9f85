// Millisecond software timers whose callbacks run on the main loop, and the
// free-running 16-bit millisecond tick.
#pragma once

#include "base/hal_types.h"
#include "hal/include/icOsal.h"

using IcTimerHandle = U8;
using IcTimerTick = U16;
using IcTimerSeconds = U32;

enum IcTimerFiringMode : U8 {
    IC_TIMER_FIRE_ONCE = 0,
    IC_TIMER_FIRE_REPEATEDLY = 1,
};

enum IcTimerResultCode : U8 {
    IC_TIMER_RC_OK = 0,
    IC_TIMER_RC_INVALID_TIMER_HANDLE = 1,
    IC_TIMER_RC_INVALID_PARAMETER = 2,
    IC_TIMER_RC_NO_CALLBACK_DEFINED = 3,
};

using IcTimerCb = void (*)(void* cbArg, IcTimerHandle th);

inline constexpr U8 TIM_NUM_TIMERS = 15;
inline constexpr IcTimerTick HIO_TIM_MAX_PERIOD = 64000;

void icTimerInit();
IcTimerHandle icTimerAlloc(void* cbArg);
IcTimerResultCode icTimerStart(IcTimerHandle th, IcTimerTick ms, IcTimerFiringMode firingMode, IcTimerCb tcb);
IcTimerResultCode icTimerStop(IcTimerHandle th);
// Runs the callbacks of the timers that are due.
void icTimerExe();
// Milliseconds until icTimerExe has a callback to run (0: now), MAX_U32 while
// no timer is due to run one there. A loop that sleeps on the wait object no
// longer than this, then calls icTimerExe, runs every timer on time; nothing
// wakes it while no timer runs.
U32 icTimerNextDeadline_ms();
// Set while an expiry waits for icTimerExe.
OsalWaitObject hioTimerGetWaitObject();
IcTimerTick icTimerGetRunningTimer_ms();
// The running tick and the microseconds into it (0..999), from one reading
// of the clock: when a received byte came, finer than the tick.
void icTimerGetRunningTimer_us(IcTimerTick* tick, U16* microsIntoTick);
IcTimerSeconds hioTimerGetSysTime();
