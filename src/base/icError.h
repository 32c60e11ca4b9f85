// Fatal-error handler: every assertion in the system ends here.
#pragma once

#include "base/hal_types.h"

// Prints "\n<file>:<line>: (F) <str>\n" on standard output (when both texts
// are given) and ends the process with status 2. Callable from any thread.
[[noreturn]] void icErrorHandler(const char* fileName, U8 fileId, U16 line, const char* str);

// Assertion of a programming error. `file` is the module's source path
// without extension, e.g. "fifo/icFifo".
#define IC_ASSERT(file, cond)                                                                      \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            icErrorHandler((file), 0, static_cast<U16>(__LINE__), "Assertion failed '" #cond "'"); \
        }                                                                                          \
    } while (0)

// Same, with the message text spelled out by the caller (used where the
// message must read exactly as the system has always printed it).
#define IC_ASSERT_TEXT(file, cond, text)                                   \
    do {                                                                   \
        if (!(cond)) {                                                     \
            icErrorHandler((file), 0, static_cast<U16>(__LINE__), (text)); \
        }                                                                  \
    } while (0)

// Every way out of the process that does not return from main (fatal error,
// serial port failure) ends through icErrorExit: it flushes standard output,
// runs the exit hook once (the console driver restores the terminal there)
// and ends the process with `status` without running static destructors
// under the feet of other threads.
using IcErrorExitHook = void (*)();
void icErrorSetExitHook(IcErrorExitHook hook);
// A further hook for another module that keeps something to write out (the
// logger's file buffer); such hooks run before the one set above, in the
// order they were added. At most four; adding one twice adds it once.
void icErrorAddExitHook(IcErrorExitHook hook);
[[noreturn]] void icErrorExit(int status);
