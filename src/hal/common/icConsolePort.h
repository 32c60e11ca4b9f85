// The console driver apart from the operating system: the record every
// platform's console starts with, the driver interface of multiUart.h written
// once on top of it, the way keys and screen text pass between the FIFOs and
// the platform, and the hooks through which it reaches the keyboard and the
// screen. Each platform layer derives its console from IcConsolePort and
// provides the hooks; nothing outside the platform layer includes this
// header.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <span>

#include "hal/common/icDriverHandle.h"
#include "hal/include/multiUart.h"

// Keys taken from standard input per read; the shell's input FIFO is smaller.
inline constexpr std::size_t kIcConsoleInputChunk = 256;
// Output taken from the shell's FIFO for one write: more than the FIFO holds,
// so that one write usually carries all of it.
inline constexpr std::size_t kIcConsoleOutputChunk = 8192;
// A push into the full output FIFO waits this long at most for the screen to
// take some of it (consoleMakeRoom). Meanwhile the serial line's bytes wait in
// the system's buffer, which holds far more than the line brings in this
// time, and the frame receiver's 190 ms rule stays clear of the pause. A
// screen that stays stuck longer costs one such wait, then text is dropped
// until the screen moves again.
inline constexpr std::chrono::milliseconds kIcConsoleMakeRoomWait{100};
// Limits on the way out of the process: a stuck standard output or a lock
// held by a thread that died must not keep the process from ending.
inline constexpr std::chrono::milliseconds kIcConsoleExitLockWait{500};

struct IcConsolePort {
    // First, where every driver keeps its tag.
    U32 tag = kIcConsoleTag;
    // Hooks may be set while a platform's console thread runs (consoleOpenRx
    // after consoleOpenTx); the FIFO is stored before its hook.
    std::atomic<UartTxPopChar> uartTxPopChar{nullptr};
    std::atomic<UartFifo> txFifo{nullptr};
    std::atomic<UartTxCharsToSend> uartTxCharsToSend{nullptr};
    std::atomic<UartRxCb> uartRxCb{nullptr};
    std::atomic<UartFifo> rxFifo{nullptr};
    std::atomic<const UartFifoOps*> fifoOps{nullptr};
    // What the main loop sleeps on; the platform makes them.
    std::array<OsalWaitObject, CONSOLE_MAX_WAIT_OBJECTS> waits{};
    U8 waitCount = 0;

    // Input state, touched only where input is read.
    // Keys come as typed (a terminal, a console window), not as lines.
    bool keysAsTyped = false;
    bool lastWasCr = false;
    bool inputEnded = false;
};

// ---- the shared part, for the platform layers ---------------------------------

// How many keys may be read now without the input FIFO dropping any; at most
// kIcConsoleInputChunk.
std::size_t icConsoleInputRoom(const IcConsolePort* port);
// Hands keys into the input FIFO. Piped input ends its lines with LF or CR LF;
// the shell ends a line on CR, so there each line end becomes one CR (`keys`
// is rewritten in place). Returns how many characters went to the FIFO.
std::size_t icConsoleDeliver(IcConsolePort* port, std::span<Char> keys);
// Takes up to `out.size()` characters of queued output; returns how many.
std::size_t icConsoleTakeOutput(IcConsolePort* port, std::span<Char> out);
// Whether the output FIFO may hold something (true where the driver cannot
// ask without taking it).
bool icConsoleOutputWaits(const IcConsolePort* port);

// A stop was asked for (Ctrl-C, a stop signal, the window closing); TRUE when
// one had been asked for before. Safe in a signal handler.
bool icConsoleRequestStop();
// The console whose queued output is written out when the process ends.
IcConsolePort* icConsoleActive();

// Screen output is written under this lock, so that a flush on the way out
// never cuts into a write in progress. Recursive: the exit hook may run on the
// thread that holds it. Never destroyed: the process may still write while
// it runs its exit handlers.
std::recursive_timed_mutex& icConsoleOutputLock();
// The way out (quit, a stop, a failure) has 700 ms in all to write what is
// still queued to a screen that does not take it; the rest is dropped. The
// first call starts that time, every later one keeps to it. It ends well
// inside the second a stop signal allows.
std::chrono::steady_clock::time_point icConsoleExitDeadline();
// Takes the output lock, waiting no longer than the deadline and
// kIcConsoleExitLockWait allow; true when it was taken.
bool icConsoleLockOutputUntil(std::chrono::steady_clock::time_point deadline);

// ---- hooks each platform layer provides --------------------------------------

// A new console record with its wait objects (and what the process needs
// once: the stop handlers, the exit hook), or nullptr.
IcConsolePort* icConsolePlatformNew();
void icConsolePlatformDelete(IcConsolePort* port);
// consoleStartThread: the console mode is entered and the keyboard and the
// screen are served from now on; again when already serving.
void icConsolePlatformStart(IcConsolePort* port);
// Serving ends and the wait objects are clear; the console mode stays.
void icConsolePlatformStop(IcConsolePort* port);
// A hook or FIFO was set: whoever serves the console looks at them again.
void icConsolePlatformHooksChanged(IcConsolePort* port);
// Gives the terminal or console window its mode back.
void icConsolePlatformRestoreMode();
// consoleExe, consoleMakeRoom and consoleFlush on a valid record.
void icConsolePlatformExe(IcConsolePort* port);
void icConsolePlatformMakeRoom(IcConsolePort* port);
void icConsolePlatformFlush(IcConsolePort* port);
