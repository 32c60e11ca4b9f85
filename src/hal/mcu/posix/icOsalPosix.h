// What the POSIX platform layer needs beyond the operations table: wait
// objects that stand for a device's descriptor, so that the main loop sleeps
// in one poll() on its devices.
#pragma once

#include "hal/include/icOsal.h"

// The eventfd behind a wait object made by waitObjCreate; readable while the
// object is set. Asking for it makes the descriptor follow the object from
// then on (until a thread sleeps on an object, its signal and reset stay in
// user space).
int icOsalPosixWaitObjectFd(OsalWaitObject obj);

// Turns `obj` into a watch on `fd`: waitForObjects polls `fd` for `events`
// (poll() flags) instead of the object's own descriptor and sets the object
// when they, an error or a hang-up are reported. It then stays set until it
// is reset, like any wait object. With `fd` -1 or `events` 0 the descriptor
// is left out of the poll and the object is set only by waitObjSignal (which
// does not wake a thread that sleeps on it). Call again to change either.
void icOsalPosixWaitObjWatchFd(OsalWaitObject obj, int fd, short events);
// The poll() flags that set a watch object last (0 when it is clear).
short icOsalPosixWaitObjRevents(OsalWaitObject obj);
