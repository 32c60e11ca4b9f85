// Platform side of the timer service: timer events, and a monotonic
// millisecond count.
#pragma once

#include "base/hal_types.h"

using PlatformTimerRoutine = void (*)(U32 eventId, void* arg);
using PlatformTickSource = U32 (*)();

// Starts a one-shot or periodic event of `delayMs` milliseconds. Its routine
// runs where the platform runs it: on a timer thread of the system's, or in
// platformTimerServeDue on the thread that serves the events. Returns its id,
// 0 on failure.
U32 platformTimerSetEvent(U16 delayMs, PlatformTimerRoutine routine, void* arg, Boolean periodic);
// Cancels an event; once it returns, the routine of that event no longer runs.
void platformTimerKillEvent(U32 eventId);
// Milliseconds until platformTimerServeDue has a routine to run (0: now),
// MAX_U32 while it has none; a sleep this long ends at or after the due time.
// The thread that serves the events sleeps no longer than this.
U32 platformTimerNextDue_ms();
// Runs the routines of the events that are due, on the calling thread.
void platformTimerServeDue();
// Milliseconds of a monotonic clock (wraps at 2^32).
U32 platformTimerGetTickCount();
// Microseconds of the same clock: its thousandth part is the tick count
// (with a tick source set, the source's tick times 1000).
U64 platformTimerGetMicros();
// Tests replace the clock with their own; nullptr restores the real one.
void platformTimerSetTickSource(PlatformTickSource source);
