// What the POSIX drivers need beyond the operations table: the file
// descriptor behind a wait object, so they can sleep in one poll() on it
// together with their device.
#pragma once

#include "hal/include/icOsal.h"

// The descriptor becomes readable while the object is set.
int icOsalPosixWaitObjectFd(OsalWaitObject obj);
