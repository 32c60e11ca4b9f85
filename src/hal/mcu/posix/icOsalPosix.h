// What the POSIX drivers need beyond the operations table: the file
// descriptor behind a wait object, so they can sleep in one poll() on it
// together with their device.
#pragma once

#include "hal/include/icOsal.h"

// The descriptor becomes readable while the object is set.
int icOsalPosixWaitObjectFd(OsalWaitObject obj);

// A clock behind a wait object, for an object that a timer sets: a
// waitForObjects whose list holds the object sleeps no longer than until the
// clock's next due time and lets the clock run what is due whenever it looks
// at its objects. The waiting thread then wakes once per expiry, where a timer
// thread that sets the object would wake as well.
struct IcOsalPosixWaitClock {
    // Next due time in CLOCK_MONOTONIC nanoseconds; LLONG_MAX when none.
    long long (*nextDueNs)();
    // Runs what is due at `nowNs` (it may set the object).
    void (*serveDue)(long long nowNs);
    // A thread begins (+1) or ends (-1) a sleep in which it serves the clock.
    void (*sleepers)(int delta);
};

// nullptr takes the clock away again. The clock must outlive its use.
void icOsalPosixSetWaitClock(OsalWaitObject obj, const IcOsalPosixWaitClock* clock);
