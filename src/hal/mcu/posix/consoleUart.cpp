// Console driver on POSIX: the main loop sleeps on standard input, standard
// output and the stop signals (consoleWaitObjects), and consoleExe moves keys
// into the shell's input FIFO and the shell's output FIFO to the screen on
// the main loop's thread. The driver also owns the terminal's mode and the
// stop signals.

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "base/icError.h"
#include "hal/common/icConsolePort.h"
#include "hal/include/icOsal.h"
#include "hal/include/icScreen.h"
#include "hal/include/multiUart.h"
#include "hal/mcu/posix/icOsalPosix.h"
#include "hal/mcu/posix/icPosixFd.h"
#include "hal/mcu/posix/icPosixTerminal.h"

namespace {

enum Wait : U8 { WAIT_SIGNALS, WAIT_INPUT, WAIT_OUTPUT, WAIT_COUNT };
static_assert(WAIT_COUNT <= CONSOLE_MAX_WAIT_OBJECTS);

using Clock = std::chrono::steady_clock;

struct ConsolePort : IcConsolePort {
    // Opened: consoleExe serves the keyboard and the screen.
    bool serving = false;
    // Output taken from the FIFO that the screen has not taken yet.
    std::array<Char, kIcConsoleOutputChunk> pending{};
    std::size_t pendingStart = 0;
    std::size_t pendingEnd = 0;
};

ConsolePort* posixOf(IcConsolePort* port) { return static_cast<ConsolePort*>(port); }

// ---- process-wide state -------------------------------------------------------

// Continued after a stop (Ctrl-Z and fg): the line being typed is to be
// shown again.
std::atomic<bool> resumed{false};
// The stop signals write here so that the main loop wakes at once.
std::atomic<int> signalFd{-1};

// Standard output is gone (EPIPE, closed): output is dropped from then on.
std::atomic<bool> outputBroken{false};
// Where output goes: for a terminal or a pipe a descriptor of its own in
// non-blocking mode, so that a screen that does not keep up never holds the
// main loop inside write() (standard output itself is shared with the shell
// that started us and stays as it is); otherwise standard output.
int outputFd = STDOUT_FILENO;
UniqueFd ownOutput;
bool outputIsStandardError = false;
// Keys are read the same way: a key that another process of the terminal
// took first (the shell, after Ctrl-Z, bg and fg) must not leave the main
// loop waiting inside read() for the next one.
int inputFd = STDIN_FILENO;
UniqueFd ownInput;

std::once_flag processSetupOnce;

void drainFd(int fd) {
    std::uint64_t count = 0;
    (void)!::read(fd, &count, sizeof count);
}

// Async-signal-safe: wakes the main loop through the signal descriptor.
void notifySignal() {
    const int fd = signalFd.load();
    if (fd >= 0) {
        const std::uint64_t one = 1;
        (void)!::write(fd, &one, sizeof one);
    }
}

extern "C" void onStopSignal(int signo) {
    const int savedErrno = errno;
    if (icConsoleRequestStop()) {
        // Asked twice: the orderly stop is not happening. Put the terminal
        // back and let the signal take its default course.
        icPosixTerminalRestore();
        (void)std::signal(signo, SIG_DFL);
        (void)std::raise(signo);
    }
    notifySignal();
    errno = savedErrno;
}

extern "C" void onContinued() {
    resumed = true;
    notifySignal();
}

void chooseOutput() {
    outputFd = outputIsStandardError ? STDERR_FILENO : STDOUT_FILENO;
    struct stat st {};
    if (fstat(outputFd, &st) != 0) {
        outputBroken = true;
        return;
    }
    if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
        ownOutput.reset(::open(outputIsStandardError ? "/proc/self/fd/2" : "/proc/self/fd/1",
                               O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (ownOutput.valid()) {
            outputFd = ownOutput.get();
        }
    }
}

void chooseInput() {
    struct stat st {};
    if (fstat(STDIN_FILENO, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
        ownInput.reset(::open("/proc/self/fd/0", O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (ownInput.valid()) {
            inputFd = ownInput.get();
        }
    }
}

// ---- output --------------------------------------------------------------------

// Offers `len` bytes to the screen once. Returns how many it took: fewer
// when it is full for now, 0 as well when output is broken.
std::size_t writeOnce(const Char* data, std::size_t len) {
    while (len > 0 && !outputBroken.load(std::memory_order_relaxed)) {
        const ssize_t n = ::write(outputFd, data, len);
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        if (errno != EINTR) {
            outputBroken = true;
        }
    }
    return 0;
}

// Takes what the FIFO holds into the pending buffer, as far as it fits.
// Returns how many characters it took.
std::size_t refill(ConsolePort* cp) {
    if (cp->pendingStart == cp->pendingEnd) {
        cp->pendingStart = 0;
        cp->pendingEnd = 0;
    }
    const std::size_t n = icConsoleTakeOutput(cp, std::span<Char>(cp->pending).subspan(cp->pendingEnd));
    cp->pendingEnd += n;
    return n;
}

// Writes queued output without waiting: until everything is out (TRUE) or
// the screen takes no more for now (FALSE). Broken output is dropped.
bool writeQueued(ConsolePort* cp) {
    for (;;) {
        if (cp->pendingStart == cp->pendingEnd && refill(cp) == 0) {
            return true;
        }
        if (outputBroken.load(std::memory_order_relaxed)) {
            cp->pendingStart = cp->pendingEnd;
            continue;  // taken and dropped, so producers never back up
        }
        const std::size_t n = writeOnce(cp->pending.data() + cp->pendingStart, cp->pendingEnd - cp->pendingStart);
        cp->pendingStart += n;
        if (n == 0 && !outputBroken.load(std::memory_order_relaxed)) {
            return false;
        }
    }
}

// Sleeps until the screen takes output again, the deadline passes (FALSE),
// or, with `stopFd`, a stop is requested (FALSE).
bool waitForScreen(Clock::time_point deadline, int stopFd) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
        return false;
    }
    std::array<pollfd, 2> fds{pollfd{outputFd, POLLOUT, 0}, pollfd{stopFd, POLLIN, 0}};
    const int rc = poll(fds.data(), fds.size(), static_cast<int>(left));
    if (rc < 0 && errno != EINTR) {
        outputBroken = true;
        return false;
    }
    if (fds[1].revents != 0 || (fds[0].revents & POLLNVAL) != 0) {
        outputBroken = outputBroken || (fds[0].revents & POLLNVAL) != 0;
        return false;
    }
    return true;
}

// Writes everything queued, waiting for a slow screen until `deadline`.
void drainOutput(ConsolePort* cp, Clock::time_point deadline) {
    while (!writeQueued(cp) && waitForScreen(deadline, -1)) {
    }
}

// The way out of the process after a fatal error or a port failure: write
// what is still queued and give the terminal back. Whatever cannot be had
// quickly (a lock held by a thread that failed, a stuck reader) is skipped.
void flushForExit() {
    icScreenClose();  // a live view open at the end leaves the terminal as it found it
    IcConsolePort* port = icConsoleActive();
    const Clock::time_point deadline = icConsoleExitDeadline();
    if (port != nullptr && icConsoleLockOutputUntil(deadline)) {
        drainOutput(posixOf(port), deadline);
        icConsoleOutputLock().unlock();
    }
    icPosixTerminalRestore();
}

extern "C" void onProcessExit() { flushForExit(); }

void setupProcessOnce() {
    std::call_once(processSetupOnce, [] {
        signalFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        icPosixSignalsInstall(onStopSignal, onContinued);
        chooseOutput();
        chooseInput();
        icErrorSetExitHook(flushForExit);
        (void)std::atexit(onProcessExit);
    });
}

// ---- input ---------------------------------------------------------------------

void readInput(ConsolePort* cp) {
    const std::size_t room = icConsoleInputRoom(cp);
    if (room == 0) {
        return;
    }
    std::array<Char, kIcConsoleInputChunk> buf{};
    const ssize_t n = ::read(inputFd, buf.data(), room);
    if (n > 0) {
        (void)icConsoleDeliver(cp, std::span<Char>(buf.data(), static_cast<std::size_t>(n)));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
        // End of input (or a terminal that went away): no more keys, but the
        // program keeps running until it is told to stop.
        cp->inputEnded = true;
    }
}

// ---- serving -------------------------------------------------------------------

// Keys stay in the system's buffer while the FIFO is full or nobody takes
// them; the screen is watched only while it has refused output.
void armWaits(ConsolePort* cp, bool outputWaiting) {
    const bool wantInput =
        cp->serving && !cp->inputEnded && cp->uartRxCb.load() != nullptr && icConsoleInputRoom(cp) > 0;
    icOsalPosixWaitObjWatchFd(cp->waits[WAIT_INPUT], wantInput ? inputFd : -1, POLLIN);
    icOsalPosixWaitObjWatchFd(cp->waits[WAIT_OUTPUT], cp->serving && outputWaiting ? outputFd : -1, POLLOUT);
    icOsalPosixWaitObjWatchFd(cp->waits[WAIT_SIGNALS], cp->serving ? signalFd.load() : -1, POLLIN);
}

}  // namespace

// ---- platform hooks ------------------------------------------------------------

IcConsolePort* icConsolePlatformNew() {
    setupProcessOnce();
    auto* cp = new (std::nothrow) ConsolePort;
    if (cp == nullptr) {
        return nullptr;
    }
    cp->waitCount = WAIT_COUNT;
    for (U8 i = 0; i < WAIT_COUNT; ++i) {
        cp->waits[i] = osalApi->waitObjCreate();
        if (cp->waits[i] == nullptr) {
            delete cp;
            return nullptr;
        }
    }
    armWaits(cp, false);
    return cp;
}

void icConsolePlatformDelete(IcConsolePort* port) { delete posixOf(port); }

// There is no thread: the console is served by consoleExe on the main loop.
// This enters the console mode and arms the wait objects.
void icConsolePlatformStart(IcConsolePort* port) {
    ConsolePort* cp = posixOf(port);
    if (!cp->serving) {
        cp->serving = true;
        cp->keysAsTyped = isatty(STDIN_FILENO) != 0;
        icPosixTerminalEnter();
    }
    armWaits(cp, false);
}

void icConsolePlatformStop(IcConsolePort* port) {
    ConsolePort* cp = posixOf(port);
    cp->serving = false;
    armWaits(cp, false);
    for (U8 i = 0; i < WAIT_COUNT; ++i) {
        osalApi->waitObjectReset(cp->waits[i]);
    }
}

// The main loop looks at the hooks on its next pass.
void icConsolePlatformHooksChanged(IcConsolePort* /*port*/) {}

void icConsolePlatformRestoreMode() { icPosixTerminalRestore(); }

void icConsolePlatformExe(IcConsolePort* port) {
    ConsolePort* cp = posixOf(port);
    if (!cp->serving) {
        return;
    }
    if (osalWaitObjIsSet(cp->waits[WAIT_SIGNALS]) != FALSE) {
        // The stop itself is the flag consoleStopRequested reads.
        osalApi->waitObjectReset(cp->waits[WAIT_SIGNALS]);
        drainFd(signalFd.load());
    }
    if (osalWaitObjIsSet(cp->waits[WAIT_INPUT]) != FALSE) {
        osalApi->waitObjectReset(cp->waits[WAIT_INPUT]);
        if ((icOsalPosixWaitObjRevents(cp->waits[WAIT_INPUT]) & POLLNVAL) != 0) {
            cp->inputEnded = true;
        } else if (cp->uartRxCb.load() != nullptr) {
            readInput(cp);
        }
    }
    osalApi->waitObjectReset(cp->waits[WAIT_OUTPUT]);
    bool allOut = true;
    {
        const std::lock_guard<std::recursive_timed_mutex> guard(icConsoleOutputLock());
        allOut = writeQueued(cp);
    }
    armWaits(cp, !allOut);
}

void icConsolePlatformMakeRoom(IcConsolePort* port) {
    ConsolePort* cp = posixOf(port);
    const std::lock_guard<std::recursive_timed_mutex> guard(icConsoleOutputLock());
    const auto deadline = Clock::now() + kIcConsoleMakeRoomWait;
    // Room is made as soon as the pending buffer takes some of the FIFO.
    while (!writeQueued(cp) && refill(cp) == 0 && waitForScreen(deadline, signalFd.load())) {
    }
    armWaits(cp, cp->pendingStart != cp->pendingEnd);
}

void icConsolePlatformFlush(IcConsolePort* port) {
    const Clock::time_point deadline = icConsoleExitDeadline();
    if (icConsoleLockOutputUntil(deadline)) {
        drainOutput(posixOf(port), deadline);
        icConsoleOutputLock().unlock();
    }
}

// ---- driver interface ----------------------------------------------------------

Boolean consoleResumed() { return resumed.exchange(false) ? TRUE : FALSE; }

Boolean consoleReadStdinByte(Char* chr) {
    if (chr == nullptr) {
        return FALSE;
    }
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, chr, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n == 1 ? TRUE : FALSE;
    }
}

void consoleUseStandardError() { outputIsStandardError = true; }
