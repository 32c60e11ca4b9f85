// Platform side of the timer service: timer events that fire on a platform
// thread, and a monotonic millisecond count.
#pragma once

#include "hal/include/hal_types.h"
#include "hal/include/icOsal.h"

using PlatformTimerRoutine = void (*)(U32 eventId, void* arg);
using PlatformTickSource = U32 (*)();

// Starts a one-shot or periodic event of `delayMs` milliseconds whose routine
// runs on the platform's timer thread. Returns its id, 0 on failure.
U32 platformTimerSetEvent(U16 delayMs, PlatformTimerRoutine routine, void* arg, Boolean periodic);
// Cancels an event; once it returns, the routine of that event no longer runs.
void platformTimerKillEvent(U32 eventId);
// Milliseconds of a monotonic clock (wraps at 2^32).
U32 platformTimerGetTickCount();
// Microseconds of the same clock: its thousandth part is the tick count
// (with a tick source set, the source's tick times 1000).
U64 platformTimerGetMicros();
// Tests replace the clock with their own; nullptr restores the real one.
void platformTimerSetTickSource(PlatformTickSource source);
// The routines of the events set `obj`. A thread that sleeps on `obj` in
// waitForObjects then runs the due routines itself when their time comes,
// instead of the timer thread waking for them and then waking it: one wake-up
// per expiry instead of two. The timer thread still serves every expiry that
// no sleeping thread takes care of.
void platformTimerServeFromWaiters(OsalWaitObject obj);
