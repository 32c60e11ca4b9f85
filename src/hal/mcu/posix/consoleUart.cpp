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

#include "error/icError.h"
#include "hal/common/icDriverHandle.h"
#include "hal/include/icOsal.h"
#include "hal/include/multiUart.h"
#include "hal/mcu/posix/icOsalPosix.h"
#include "hal/mcu/posix/icPosixFd.h"
#include "hal/mcu/posix/icPosixTerminal.h"

namespace {

constexpr const char* kModule = "hal/mcu/posix/consoleUart";

// Keys taken from standard input per read(); the shell's input FIFO is
// smaller.
constexpr std::size_t kInputChunk = 256;
// Output taken from the shell's FIFO for one write(): more than the FIFO
// holds, so that one write usually carries all of it.
constexpr std::size_t kOutputChunk = 8192;
// A push into the full output FIFO waits this long at most for the screen
// to take some of it (consoleMakeRoom). Meanwhile the serial line's bytes
// wait in the system's buffer, which holds far more than the line brings in
// this time, and the frame receiver's 190 ms rule stays clear of the pause.
// A screen that stays stuck longer costs one such wait, then text is dropped
// until the screen moves again.
constexpr int kMakeRoomWait_ms = 100;
// Limits on the way out of the process: a stuck standard output or a lock
// held by a thread that died must not keep the process from ending.
constexpr auto kExitLockWait = std::chrono::milliseconds(500);
// The way out (quit, a stop signal, a failure) has this long in all to write
// what is still queued to a screen that does not take it; the rest is
// dropped. It ends well inside the second a stop signal allows.
constexpr auto kExitOutputBudget = std::chrono::milliseconds(700);

using Clock = std::chrono::steady_clock;

enum Wait : U8 { WAIT_SIGNALS, WAIT_INPUT, WAIT_OUTPUT, WAIT_COUNT };
static_assert(WAIT_COUNT <= CONSOLE_MAX_WAIT_OBJECTS);

struct ConsolePort {
    U32 tag = kIcConsoleTag;
    UartTxPopChar uartTxPopChar = nullptr;
    IcFifoInstance* txFifo = nullptr;
    UartTxCharsToSend uartTxCharsToSend = nullptr;
    UartRxCb uartRxCb = nullptr;
    IcFifoInstance* rxFifo = nullptr;
    const UartFifoOps* fifoOps = nullptr;
    // Opened: consoleExe serves the keyboard and the screen.
    bool serving = false;
    std::array<OsalWaitObject, WAIT_COUNT> waits{};

    bool inputIsTerminal = false;
    bool inputEnded = false;
    bool lastWasCr = false;

    // Output taken from the FIFO that the screen has not taken yet.
    std::array<Char, kOutputChunk> pending{};
    std::size_t pendingStart = 0;
    std::size_t pendingEnd = 0;
};

// ---- process-wide state -------------------------------------------------------

std::atomic<bool> stopRequested{false};
// Continued after a stop (Ctrl-Z and fg): the line being typed is to be
// shown again.
std::atomic<bool> resumed{false};
// The stop signals write here so that the main loop wakes at once.
std::atomic<int> signalFd{-1};

// The console whose queued output is written out when the process ends.
std::atomic<ConsolePort*> activeConsole{nullptr};

// Output is written under this lock, so that a flush on the way out never
// cuts into a write of the main loop. Recursive: the exit hook may run on the
// thread that holds it. Never destroyed: the process may still write while
// it runs its exit handlers.
std::recursive_timed_mutex& outputMutex() {
    static auto* const mutex = new std::recursive_timed_mutex;
    return *mutex;
}
// Standard output is gone (EPIPE, closed): output is dropped from then on.
std::atomic<bool> outputBroken{false};
// Where output goes: for a terminal or a pipe a descriptor of its own in
// non-blocking mode, so that a screen that does not keep up never holds the
// main loop inside write() (standard output itself is shared with the shell
// that started us and stays as it is); otherwise standard output.
int outputFd = STDOUT_FILENO;
UniqueFd ownOutput;
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
    if (stopRequested.exchange(true)) {
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
    struct stat st {};
    if (fstat(STDOUT_FILENO, &st) != 0) {
        outputBroken = true;
        return;
    }
    if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
        ownOutput.reset(::open("/proc/self/fd/1", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
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
    IcFifoInstance* fifo = cp->txFifo;
    if (fifo == nullptr || cp->uartTxPopChar == nullptr) {
        return 0;
    }
    if (cp->pendingStart == cp->pendingEnd) {
        cp->pendingStart = 0;
        cp->pendingEnd = 0;
    }
    const std::size_t before = cp->pendingEnd;
    Char* const buf = cp->pending.data();
    if (cp->fifoOps != nullptr && cp->fifoOps->popBlock != nullptr) {
        while (cp->pendingEnd < kOutputChunk) {
            const auto space = static_cast<IcFifoIndex>(std::min<std::size_t>(kOutputChunk - cp->pendingEnd, 0xFFFF));
            const IcFifoIndex n = cp->fifoOps->popBlock(fifo, space, buf + cp->pendingEnd);
            if (n == 0) {
                break;
            }
            cp->pendingEnd += n;
        }
    } else {
        while (cp->pendingEnd < kOutputChunk && cp->uartTxCharsToSend != nullptr && cp->uartTxCharsToSend(fifo) > 0) {
            buf[cp->pendingEnd++] = cp->uartTxPopChar(fifo);
        }
    }
    return cp->pendingEnd - before;
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

// Set by the first flush on the way out; every later one keeps to it.
Clock::time_point exitOutputDeadline() {
    static std::atomic<Clock::rep> deadline{0};
    Clock::rep expected = 0;
    const Clock::rep mine = (Clock::now() + kExitOutputBudget).time_since_epoch().count();
    return Clock::time_point(Clock::duration(deadline.compare_exchange_strong(expected, mine) ? mine : expected));
}

bool lockOutputUntil(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    return outputMutex().try_lock_for(left < kExitLockWait ? left : kExitLockWait);
}

// The way out of the process after a fatal error or a port failure: write
// what is still queued and give the terminal back. Whatever cannot be had
// quickly (a lock held by a thread that failed, a stuck reader) is skipped.
void flushForExit() {
    ConsolePort* cp = activeConsole.load();
    const Clock::time_point deadline = exitOutputDeadline();
    if (cp != nullptr && lockOutputUntil(deadline)) {
        drainOutput(cp, deadline);
        outputMutex().unlock();
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

// How many keys may be read now without the input FIFO dropping any.
std::size_t inputRoom(const ConsolePort* cp) {
    if (cp->fifoOps == nullptr || cp->fifoOps->freeRoom == nullptr) {
        return kInputChunk;
    }
    return std::min<std::size_t>(cp->fifoOps->freeRoom(cp->rxFifo), kInputChunk);
}

// A terminal delivers keys as they are. Piped input ends its lines with LF or
// CR LF; the shell ends a line on CR, so each line end becomes one CR.
void deliverInput(ConsolePort* cp, const Char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        Char chr = bytes[i];
        if (!cp->inputIsTerminal) {
            const bool afterCr = cp->lastWasCr;
            cp->lastWasCr = chr == '\r';
            if (chr == '\n') {
                if (afterCr) {
                    continue;
                }
                chr = '\r';
            }
        }
        cp->uartRxCb(cp->rxFifo, chr);
    }
}

void readInput(ConsolePort* cp) {
    const std::size_t room = inputRoom(cp);
    if (room == 0) {
        return;
    }
    std::array<Char, kInputChunk> buf{};
    const ssize_t n = ::read(inputFd, buf.data(), room);
    if (n > 0) {
        deliverInput(cp, buf.data(), static_cast<std::size_t>(n));
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
    const bool wantInput = cp->serving && !cp->inputEnded && cp->uartRxCb != nullptr && inputRoom(cp) > 0;
    icOsalPosixWaitObjWatchFd(cp->waits[WAIT_INPUT], wantInput ? inputFd : -1, POLLIN);
    icOsalPosixWaitObjWatchFd(cp->waits[WAIT_OUTPUT], cp->serving && outputWaiting ? outputFd : -1, POLLOUT);
    icOsalPosixWaitObjWatchFd(cp->waits[WAIT_SIGNALS], cp->serving ? signalFd.load() : -1, POLLIN);
}

void stopServing(ConsolePort* cp) {
    cp->serving = false;
    armWaits(cp, false);
    for (const OsalWaitObject obj : cp->waits) {
        osalApi->waitObjectReset(obj);
    }
}

UartInstancePtr toHandle(ConsolePort* cp) { return reinterpret_cast<UartInstancePtr>(cp); }

ConsolePort* fromHandle(void* ui) { return icDriverFromHandle<ConsolePort>(ui, kIcConsoleTag, kModule); }

}  // namespace

void consoleInit() {}

UartInstancePtr consoleNew() {
    setupProcessOnce();
    auto* cp = new (std::nothrow) ConsolePort;
    if (cp == nullptr) {
        return nullptr;
    }
    for (OsalWaitObject& obj : cp->waits) {
        obj = osalApi->waitObjCreate();
        if (obj == nullptr) {
            delete cp;
            return nullptr;
        }
    }
    armWaits(cp, false);
    activeConsole = cp;
    return toHandle(cp);
}

void consoleOpenTx(UartInstancePtr ui, UartTxPopChar popChar, UartTxCharsToSend charsToSend,
                   IcFifoInstance* userParam) {
    ConsolePort* cp = fromHandle(ui);
    if (cp == nullptr) {
        return;
    }
    cp->txFifo = userParam;
    cp->uartTxCharsToSend = charsToSend;
    cp->uartTxPopChar = popChar;
    consoleStartThread(ui);
}

void consoleOpenRx(UartInstancePtr ui, UartRxCb rxCb, IcFifoInstance* userParam) {
    ConsolePort* cp = fromHandle(ui);
    if (cp == nullptr) {
        return;
    }
    cp->rxFifo = userParam;
    cp->uartRxCb = rxCb;
    consoleStartThread(ui);
}

// There is no thread any more: the console is served by consoleExe on the
// main loop. This enters the console mode and arms the wait objects.
void consoleStartThread(UartInstancePtr ui) {
    ConsolePort* cp = fromHandle(ui);
    if (cp == nullptr) {
        return;
    }
    if (!cp->serving) {
        cp->serving = true;
        cp->inputIsTerminal = isatty(STDIN_FILENO) != 0;
        icPosixTerminalEnter();
    }
    armWaits(cp, false);
}

void consoleExe(UartInstancePtr ui) {
    ConsolePort* cp = fromHandle(ui);
    if (cp == nullptr || !cp->serving) {
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
        } else if (cp->uartRxCb != nullptr) {
            readInput(cp);
        }
    }
    osalApi->waitObjectReset(cp->waits[WAIT_OUTPUT]);
    bool allOut = true;
    {
        const std::lock_guard<std::recursive_timed_mutex> guard(outputMutex());
        allOut = writeQueued(cp);
    }
    armWaits(cp, !allOut);
}

void consoleSetFifoOps(UartInstancePtr ui, const UartFifoOps* ops) {
    ConsolePort* cp = fromHandle(ui);
    if (cp != nullptr) {
        cp->fifoOps = ops;
    }
}

U8 consoleWaitObjects(UartInstancePtr ui, OsalWaitObject* list, U8 maxObjects) {
    ConsolePort* cp = fromHandle(ui);
    if (cp == nullptr || list == nullptr) {
        return 0;
    }
    const U8 count = std::min<U8>(WAIT_COUNT, maxObjects);
    std::copy_n(cp->waits.begin(), count, list);
    return count;
}

void consoleMakeRoom(void* ui) {
    ConsolePort* cp = fromHandle(ui);
    if (cp == nullptr) {
        return;
    }
    const std::lock_guard<std::recursive_timed_mutex> guard(outputMutex());
    const auto deadline = Clock::now() + std::chrono::milliseconds(kMakeRoomWait_ms);
    // Room is made as soon as the pending buffer takes some of the FIFO.
    while (!writeQueued(cp) && refill(cp) == 0 && waitForScreen(deadline, signalFd.load())) {
    }
    armWaits(cp, cp->pendingStart != cp->pendingEnd);
}

void consoleCloseTx(UartInstancePtr ui) {
    ConsolePort* cp = fromHandle(ui);
    if (cp == nullptr) {
        return;
    }
    stopServing(cp);
    cp->uartTxPopChar = nullptr;
    cp->uartTxCharsToSend = nullptr;
    icPosixTerminalRestore();
}

void consoleCloseRx(UartInstancePtr ui) {
    ConsolePort* cp = fromHandle(ui);
    if (cp == nullptr) {
        return;
    }
    stopServing(cp);
    cp->uartRxCb = nullptr;
    icPosixTerminalRestore();
}

void consoleDelete(UartInstancePtr ui) {
    ConsolePort* cp = fromHandle(ui);
    if (cp == nullptr) {
        return;
    }
    ConsolePort* expected = cp;
    activeConsole.compare_exchange_strong(expected, nullptr);
    stopServing(cp);
    icPosixTerminalRestore();
    cp->tag = 0;
    delete cp;
}

Boolean consoleStopRequested() { return stopRequested.load() ? TRUE : FALSE; }

Boolean consoleResumed() { return resumed.exchange(false) ? TRUE : FALSE; }

void consoleFlush(UartInstancePtr ui) {
    ConsolePort* cp = fromHandle(ui);
    const Clock::time_point deadline = exitOutputDeadline();
    if (cp != nullptr && lockOutputUntil(deadline)) {
        drainOutput(cp, deadline);
        outputMutex().unlock();
    }
}

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
