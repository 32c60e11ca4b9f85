// Console driver on POSIX: one thread feeds standard input into the shell's
// input FIFO and writes the shell's output FIFO to standard output. It also
// owns the terminal's mode and the stop signals.

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
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
#include "hal/include/icOsal.h"
#include "hal/include/multiUart.h"
#include "hal/mcu/posix/icOsalPosix.h"
#include "hal/mcu/posix/icPosixFd.h"
#include "hal/mcu/posix/icPosixTerminal.h"

namespace {

constexpr const char* kModule = "hal/mcu/posix/consoleUart";
constexpr U32 kConsoleTag = 0x5A56434Fu;

// Keys taken from standard input per read(); the shell's input FIFO is
// smaller.
constexpr std::size_t kInputChunk = 256;
// Output popped from the shell's FIFO per write().
constexpr IcFifoIndex kOutputChunk = 4096;
// While the input FIFO is full the thread looks again this often.
constexpr int kFifoFullRetry_ms = 1;
// Limits on the way out of the process: a stuck standard output or a lock
// held by a thread that died must not keep the process from ending.
constexpr auto kExitLockWait = std::chrono::milliseconds(500);
constexpr U32 kExitFifoLockWait_ms = 200;
constexpr int kExitWriteLimit_ms = 1000;
// consoleFlush at shutdown waits this long for a slow reader of stdout.
constexpr int kFlushWriteLimit_ms = 5000;
// A producer that finds the output FIFO full waits this long for the console
// thread to write some of it out, rather than dropping text: a busy machine
// can keep this thread off the processor for a while, and text lost in the
// middle of a report garbles it. A screen that stays stuck longer costs one
// such wait, then text is dropped until the screen moves again.
constexpr U16 kOutputBackPressure_ms = 200;

using Clock = std::chrono::steady_clock;

struct ConsolePort {
    U32 tag = kConsoleTag;
    // Hooks may be set while the thread runs (consoleOpenRx after
    // consoleOpenTx); the argument is stored before its hook.
    std::atomic<UartTxPopChar> uartTxPopChar{nullptr};
    std::atomic<IcFifoInstance*> txFifo{nullptr};
    std::atomic<UartTxCharsToSend> uartTxCharsToSend{nullptr};
    std::atomic<UartRxCb> uartRxCb{nullptr};
    std::atomic<IcFifoInstance*> rxFifo{nullptr};
    std::atomic<bool> threadIsRunning{false};
    OsalSem sem = nullptr;
    // Readable when the thread is to look at its hooks and run flag again.
    UniqueFd wakeFd;

    // Input state, touched by the console thread only.
    bool inputIsTerminal = false;
    bool inputEnded = false;
    bool lastWasCr = false;
};

// ---- process-wide state -------------------------------------------------------

std::atomic<bool> stopRequested{false};
// Continued after a stop (Ctrl-Z and fg): the line being typed is to be
// shown again.
std::atomic<bool> resumed{false};
// The stop signals write here so that the console thread wakes and passes
// the request on to the main loop at once.
std::atomic<int> signalFd{-1};

// The console whose queued output is written out when the process ends.
std::atomic<ConsolePort*> activeConsole{nullptr};

// Pop and write happen under this lock, so output from the console thread
// and from a flush never overtake each other. Recursive: the exit hook may
// run on a thread that already holds it. Never destroyed: the console thread
// may still write while the process runs its exit handlers.
std::recursive_timed_mutex& outputMutex() {
    static auto* const mutex = new std::recursive_timed_mutex;
    return *mutex;
}
// Standard output is gone (EPIPE, closed): output is dropped from then on.
std::atomic<bool> outputBroken{false};

std::once_flag processSetupOnce;

void wake(const UniqueFd& fd) {
    const std::uint64_t one = 1;
    (void)!::write(fd.get(), &one, sizeof one);
}

void drainFd(int fd) {
    std::uint64_t count = 0;
    (void)!::read(fd, &count, sizeof count);
}

// Async-signal-safe: wakes whoever passes signals on to the main loop.
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

// ---- output --------------------------------------------------------------------

// Writes all of `data` to standard output. Waits for a slow reader up to
// `limitMs` in total (-1: no limit) and, in the console thread, returns early
// when `wakeFd` reports a stop. Errors other than a full pipe drop the output
// for good.
void writeOut(const Char* data, std::size_t len, int limitMs, const ConsolePort* cp) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs < 0 ? 0 : limitMs);
    while (len > 0 && !outputBroken.load()) {
        if (cp != nullptr && !cp->threadIsRunning.load()) {
            return;  // being stopped; a flush writes the rest
        }
        // Wait until standard output takes data before writing, so that a
        // stalled terminal or pipe does not pin the thread inside write().
        std::array<pollfd, 2> fds{pollfd{STDOUT_FILENO, POLLOUT, 0},
                                  pollfd{cp != nullptr ? cp->wakeFd.get() : -1, POLLIN, 0}};
        int waitMs = -1;
        if (limitMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                return;
            }
            waitMs = static_cast<int>(left);
        }
        const int rc = poll(fds.data(), cp != nullptr ? 2 : 1, waitMs);
        if (rc < 0 && errno != EINTR) {
            outputBroken = true;
            return;
        }
        if (fds[1].revents != 0) {
            drainFd(fds[1].fd);
            if (!cp->threadIsRunning.load()) {
                return;
            }
        }
        if ((fds[0].revents & POLLNVAL) != 0) {
            outputBroken = true;
            return;
        }
        if ((fds[0].revents & (POLLOUT | POLLERR | POLLHUP)) == 0) {
            continue;
        }
        const ssize_t n = ::write(STDOUT_FILENO, data, len);
        if (n > 0) {
            data += n;
            len -= static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            outputBroken = true;
        }
    }
}

// Pops the queued output in blocks and writes each with one write(). The
// last, empty pop clears the FIFO's wait object. Returns when the FIFO is
// empty, or in the console thread when it is being stopped.
void drainOutput(ConsolePort* cp, int limitMs, bool fromThread) {
    IcFifoInstance* fifo = cp->txFifo.load();
    if (fifo == nullptr || cp->uartTxPopChar.load() == nullptr) {
        return;
    }
    std::unique_lock<std::recursive_timed_mutex> lock(outputMutex(), std::defer_lock);
    if (fromThread) {
        lock.lock();
    } else if (!lock.try_lock_for(std::chrono::milliseconds(limitMs))) {
        return;
    }
    std::array<Char, kOutputChunk> buf{};
    while (!fromThread || cp->threadIsRunning.load()) {
        const IcFifoIndex n = icFifoPopBlock(fifo, static_cast<IcFifoIndex>(buf.size()), buf.data());
        if (n == 0) {
            return;
        }
        writeOut(buf.data(), n, limitMs, fromThread ? cp : nullptr);
    }
}

// The way out of the process after a fatal error or a port failure: write
// what is still queued and give the terminal back. Whatever cannot be had
// quickly (a lock held by the thread that failed, a stuck reader) is skipped.
void flushForExit() {
    ConsolePort* cp = activeConsole.load();
    if (cp != nullptr && outputMutex().try_lock_for(kExitLockWait)) {
        IcFifoInstance* fifo = cp->txFifo.load();
        bool fifoFree = false;
        if (fifo != nullptr && fifo->mutex != nullptr &&
            osalApi->semWait(fifo->mutex, kExitFifoLockWait_ms) == OSAL_RES_SUCCESS) {
            osalApi->semSignal(fifo->mutex);
            fifoFree = true;
        }
        if (fifoFree) {
            drainOutput(cp, kExitWriteLimit_ms, false);
        }
        outputMutex().unlock();
    }
    icPosixTerminalRestore();
}

extern "C" void onProcessExit() { flushForExit(); }

void setupProcessOnce() {
    std::call_once(processSetupOnce, [] {
        signalFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        icPosixSignalsInstall(onStopSignal, onContinued);
        icErrorSetExitHook(flushForExit);
        (void)std::atexit(onProcessExit);
    });
}

// ---- input ---------------------------------------------------------------------

// How many keys may be read now without the input FIFO dropping any.
std::size_t inputRoom(const ConsolePort* cp) {
    IcFifoInstance* fifo = cp->rxFifo.load();
    if (fifo == nullptr) {
        return kInputChunk;
    }
    // Counted under the FIFO's lock but without icFifoCharsToPop: that would
    // clear the wait object when the FIFO is empty, and with it a wake-up
    // the main loop has not seen yet (passOnStopRequest).
    osalApi->semWait(fifo->mutex, MAX_U32);
    const std::size_t held =
        fifo->ptr2 >= fifo->ptr1 ? fifo->ptr2 - fifo->ptr1 : fifo->buflen - (fifo->ptr1 - fifo->ptr2);
    osalApi->semSignal(fifo->mutex);
    const std::size_t capacity = fifo->buflen > 0 ? fifo->buflen - 1u : 0u;
    return held < capacity ? std::min(capacity - held, kInputChunk) : 0;
}

// A terminal delivers keys as they are. Piped input ends its lines with LF or
// CR LF; the shell ends a line on CR, so each line end becomes one CR.
void deliverInput(ConsolePort* cp, const Char* bytes, std::size_t count) {
    const UartRxCb rxCb = cp->uartRxCb.load();
    IcFifoInstance* fifo = cp->rxFifo.load();
    if (rxCb == nullptr) {
        return;
    }
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
        rxCb(fifo, chr);
    }
}

void readInput(ConsolePort* cp, std::size_t room) {
    std::array<Char, kInputChunk> buf{};
    const ssize_t n = ::read(STDIN_FILENO, buf.data(), std::min(room, buf.size()));
    if (n > 0) {
        deliverInput(cp, buf.data(), static_cast<std::size_t>(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
        // End of input (or a terminal that went away): no more keys, but the
        // program keeps running until it is told to stop.
        cp->inputEnded = true;
    }
}

// The main loop does not wait on our descriptors; waking it through the
// input FIFO's wait object lets it see a stop request at once.
void passOnStopRequest(ConsolePort* cp) {
    drainFd(signalFd.load());
    IcFifoInstance* fifo = cp->rxFifo.load();
    if (fifo != nullptr && fifo->event != nullptr) {
        osalApi->waitObjSignal(fifo->event);
    }
}

// ---- thread --------------------------------------------------------------------

void consoleThread(void* arg) {
    auto* cp = static_cast<ConsolePort*>(arg);
    cp->inputIsTerminal = isatty(STDIN_FILENO) != 0;
    osalApi->semSignal(cp->sem);

    enum Slot : U8 { WAKE, SIGNALS, OUTPUT, INPUT, SLOTS };
    std::array<pollfd, SLOTS> fds{};
    while (cp->threadIsRunning.load()) {
        IcFifoInstance* txFifo = cp->txFifo.load();
        const bool txOpen = txFifo != nullptr && cp->uartTxPopChar.load() != nullptr;
        const bool wantInput = !cp->inputEnded && cp->uartRxCb.load() != nullptr;
        const std::size_t room = wantInput ? inputRoom(cp) : 0;

        fds[WAKE] = pollfd{cp->wakeFd.get(), POLLIN, 0};
        fds[SIGNALS] = pollfd{signalFd.load(), POLLIN, 0};
        fds[OUTPUT] = pollfd{txOpen ? icOsalPosixWaitObjectFd(icFifoGetWaitObject(txFifo)) : -1, POLLIN, 0};
        // Keys stay in the system's buffer while the FIFO is full or nobody
        // takes them.
        fds[INPUT] = pollfd{wantInput && room > 0 ? STDIN_FILENO : -1, POLLIN, 0};
        const int timeout = wantInput && room == 0 ? kFifoFullRetry_ms : -1;

        if (poll(fds.data(), fds.size(), timeout) < 0) {
            continue;  // EINTR; nothing else can fail with these arguments
        }
        if (fds[WAKE].revents != 0) {
            drainFd(fds[WAKE].fd);
        }
        if (fds[SIGNALS].revents != 0) {
            passOnStopRequest(cp);
        }
        if ((fds[INPUT].revents & POLLNVAL) != 0) {
            cp->inputEnded = true;
        } else if (fds[INPUT].revents != 0) {
            readInput(cp, room);
        }
        if (txOpen) {
            drainOutput(cp, -1, true);
        }
    }
    osalApi->semSignal(cp->sem);
}

void consoleStopThread(ConsolePort* cp) {
    if (cp->threadIsRunning.exchange(false)) {
        wake(cp->wakeFd);
        osalApi->semWait(cp->sem, MAX_U32);
        drainFd(cp->wakeFd.get());
    }
}

UartInstancePtr toHandle(ConsolePort* cp) { return reinterpret_cast<UartInstancePtr>(cp); }

ConsolePort* fromHandle(UartInstancePtr ui) {
    if (ui == nullptr) {
        return nullptr;
    }
    U32 tag = 0;
    std::memcpy(&tag, static_cast<void*>(ui), sizeof tag);
    IC_ASSERT(kModule, tag == kConsoleTag);
    return reinterpret_cast<ConsolePort*>(ui);
}

}  // namespace

void consoleInit() {}

UartInstancePtr consoleNew() {
    setupProcessOnce();
    auto* cp = new (std::nothrow) ConsolePort;
    if (cp == nullptr) {
        return nullptr;
    }
    cp->wakeFd.reset(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!cp->wakeFd.valid()) {
        delete cp;
        return nullptr;
    }
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
    icFifoSetPushWait(userParam, kOutputBackPressure_ms);
    wake(cp->wakeFd);
    consoleStartThread(ui);
}

void consoleOpenRx(UartInstancePtr ui, UartRxCb rxCb, IcFifoInstance* userParam) {
    ConsolePort* cp = fromHandle(ui);
    if (cp == nullptr) {
        return;
    }
    cp->rxFifo = userParam;
    cp->uartRxCb = rxCb;
    wake(cp->wakeFd);
    consoleStartThread(ui);
}

void consoleStartThread(UartInstancePtr ui) {
    ConsolePort* cp = fromHandle(ui);
    if (cp == nullptr || cp->threadIsRunning.load()) {
        return;
    }
    cp->threadIsRunning = true;
    if (cp->sem == nullptr) {
        cp->sem = osalApi->semCreate(FALSE);
    }
    IC_ASSERT_TEXT(kModule, cp->sem != nullptr, "Assertion failed 'this->sem'");
    icPosixTerminalEnter();
    const OsalResCodes rc = osalApi->taskCreate(consoleThread, cp);
    IC_ASSERT(kModule, rc == OSAL_RES_SUCCESS);
    osalApi->semWait(cp->sem, MAX_U32);
}

void consoleCloseTx(UartInstancePtr ui) {
    ConsolePort* cp = fromHandle(ui);
    if (cp == nullptr) {
        return;
    }
    consoleStopThread(cp);
    // Nobody takes the output any more: a full FIFO drops again at once.
    icFifoSetPushWait(cp->txFifo.load(), 0);
    cp->uartTxPopChar = nullptr;
    cp->uartTxCharsToSend = nullptr;
    icPosixTerminalRestore();
}

void consoleCloseRx(UartInstancePtr ui) {
    ConsolePort* cp = fromHandle(ui);
    if (cp == nullptr) {
        return;
    }
    consoleStopThread(cp);
    cp->uartRxCb = nullptr;
    icPosixTerminalRestore();
}

void consoleExe(UartInstancePtr) {}

void consoleDelete(UartInstancePtr ui) {
    ConsolePort* cp = fromHandle(ui);
    if (cp == nullptr) {
        return;
    }
    ConsolePort* expected = cp;
    activeConsole.compare_exchange_strong(expected, nullptr);
    consoleStopThread(cp);
    icFifoSetPushWait(cp->txFifo.load(), 0);
    icPosixTerminalRestore();
    cp->tag = 0;
    delete cp;
}

Boolean consoleStopRequested() { return stopRequested.load() ? TRUE : FALSE; }

Boolean consoleResumed() { return resumed.exchange(false) ? TRUE : FALSE; }

void consoleFlush(UartInstancePtr ui) {
    ConsolePort* cp = fromHandle(ui);
    if (cp != nullptr) {
        drainOutput(cp, kFlushWriteLimit_ms, false);
    }
}
