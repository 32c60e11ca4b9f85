// Console driver on Win32. One console thread takes the keys (or whatever
// standard input is) into the shell's input FIFO and writes the shell's output
// FIFO to standard output, so that a slow screen (a console window paused for
// a selection, a pipe nobody reads) never holds the main loop. The main loop
// sleeps on the console's wait objects among its others: one set when keys
// have come in, one on a stop request. The driver also owns the console's
// input mode and the console's stop requests (Ctrl-C, Ctrl-Break, closing the
// window).

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "base/icError.h"
#include "hal/common/icConsolePort.h"
#include "hal/include/icOsal.h"
#include "hal/include/multiUart.h"
#include "hal/mcu/windows/icWin.h"
#include "hal/mcu/windows/icWinConsole.h"

namespace {

constexpr const char* kModule = "hal/mcu/windows/consoleUart";

// Console input records taken per read.
constexpr std::size_t kRecordChunk = 64;
// Closing the console window ends the process once the control handler
// returns, and the system waits about five seconds for it: time for the
// orderly stop.
constexpr DWORD kCloseStopWait_ms = 4000;

enum class InputKind : U8 { NONE, CONSOLE, STREAM };

enum Wait : U8 { WAIT_STOP, WAIT_INPUT, WAIT_COUNT };
static_assert(WAIT_COUNT <= CONSOLE_MAX_WAIT_OBJECTS);

struct ConsolePort : IcConsolePort {
    std::atomic<bool> threadIsRunning{false};
    OsalSem sem = nullptr;  // start and stop handshake with the console thread
    // Set for the thread to look at its FIFOs and run flag again; `wakePending`
    // spares setting it again before the thread has looked.
    UniqueHandle wakeEvent;
    std::atomic<bool> wakePending{false};
    // Set by the thread each time it has taken output from the FIFO.
    UniqueHandle tookEvent;
    // The input FIFO was full when keys waited: the thread waits to be woken.
    std::atomic<bool> inputBlocked{false};

    // Input state, touched by the console thread only.
    InputKind inputKind = InputKind::NONE;
    HANDLE input = nullptr;
};

ConsolePort* winOf(IcConsolePort* port) { return static_cast<ConsolePort*>(port); }

// ---- process-wide state -------------------------------------------------------

// Not constexpr: the address of a function imported from a DLL is known only
// once the program is loaded.
const IcWinConsoleApi kSystemConsoleApi{GetConsoleMode, SetConsoleMode};
std::atomic<const IcWinConsoleApi*> consoleApi{&kSystemConsoleApi};

DWORD savedInputMode = 0;
HANDLE modeHandle = nullptr;
std::atomic<bool> inputModeChanged{false};

// Standard output is gone (closed pipe): output is dropped from then on.
std::atomic<bool> outputBroken{false};

// Set when the process is on its way out, for a control handler that holds
// the process open until then.
HANDLE processEnding = nullptr;

std::once_flag processSetupOnce;

void restoreConsoleMode() {
    if (inputModeChanged.exchange(false)) {
        (void)consoleApi.load()->setMode(modeHandle, savedInputMode);
    }
}

void enterConsoleMode(HANDLE input) {
    if (inputModeChanged.load()) {
        return;
    }
    const IcWinConsoleApi* api = consoleApi.load();
    DWORD mode = 0;
    if (api->getMode(input, &mode) == FALSE) {
        return;
    }
    savedInputMode = mode;
    modeHandle = input;
    inputModeChanged = true;
    if (api->setMode(input, icWinConsoleRawMode(mode)) == FALSE) {
        inputModeChanged = false;
    }
}

void wakeThread(ConsolePort* cp) {
    if (!cp->wakePending.exchange(true)) {
        (void)SetEvent(cp->wakeEvent.get());
    }
}

// ---- output --------------------------------------------------------------------

std::atomic<bool> outputIsStandardError{false};

// Writes all of `data` to standard output. Errors drop the output for good.
void writeOut(const Char* data, std::size_t len) {
    const HANDLE out = GetStdHandle(outputIsStandardError.load() ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    while (len > 0 && !outputBroken.load()) {
        DWORD written = 0;
        if (out == nullptr || out == INVALID_HANDLE_VALUE ||
            WriteFile(out, data, static_cast<DWORD>(len), &written, nullptr) == FALSE) {
            outputBroken = true;
            return;
        }
        data += written;
        len -= written;
    }
}

// Writes what is queued, in blocks, until the FIFO is empty, or in the
// console thread until it is being stopped.
void drainOutput(ConsolePort* cp, bool fromThread) {
    if (cp->txFifo.load() == nullptr || cp->uartTxPopChar.load() == nullptr) {
        return;
    }
    const std::lock_guard<std::recursive_timed_mutex> lock(icConsoleOutputLock());
    static std::array<Char, kIcConsoleOutputChunk> buf{};  // under the lock
    while (!fromThread || cp->threadIsRunning.load()) {
        const std::size_t n = icConsoleTakeOutput(cp, buf);
        if (n == 0) {
            return;
        }
        (void)SetEvent(cp->tookEvent.get());
        writeOut(buf.data(), n);
    }
}

// What is left of the way out's budget.
DWORD exitOutputLeft_ms() {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(icConsoleExitDeadline() -
                                                                            std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
}

// Runs `work` on a thread of its own and waits for it at most `limitMs`: a
// write into a pipe whose reader has stopped reading blocks, and must not
// keep the caller (or the process's end) waiting.
void runWithLimit(LPTHREAD_START_ROUTINE work, void* arg, DWORD limitMs) {
    UniqueHandle thread(CreateThread(nullptr, 0, work, arg, 0, nullptr));
    if (thread.valid()) {
        (void)WaitForSingleObject(thread.get(), limitMs);
    }
}

DWORD WINAPI flushWithinLimit(LPVOID arg) {
    auto* cp = static_cast<ConsolePort*>(arg);
    if (icConsoleOutputLock().try_lock_for(kIcConsoleExitLockWait)) {
        drainOutput(cp, false);
        icConsoleOutputLock().unlock();
    }
    return 0;
}

// The way out of the process after a fatal error or a port failure, and at
// its normal end: write what is still queued and give the console its mode
// back. Whatever cannot be had quickly (a lock held by the thread that
// failed, a stuck reader) is skipped.
void flushForExit() {
    IcConsolePort* port = icConsoleActive();
    if (port != nullptr) {
        runWithLimit(flushWithinLimit, winOf(port), exitOutputLeft_ms());
    }
    restoreConsoleMode();
    if (processEnding != nullptr) {
        (void)SetEvent(processEnding);
    }
}

extern "C" void onProcessExit() { flushForExit(); }

void setupProcessOnce() {
    std::call_once(processSetupOnce, [] {
        processEnding = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        (void)SetConsoleCtrlHandler(icWinConsoleCtrlHandler, TRUE);
        icErrorSetExitHook(flushForExit);
        (void)std::atexit(onProcessExit);
    });
}

// ---- input from a pipe or a file --------------------------------------------------

// Standard input that is not a console (a pipe, a file) is read by a thread of
// its own: a read from a pipe blocks, and a pipe cannot be waited on. It reads
// only while its buffer has room, so nothing is read that is then lost; it
// lives as long as the process, as standard input does.
struct StdinPump {
    SRWLOCK lock = SRWLOCK_INIT;
    std::array<Char, kIcConsoleInputChunk> buffer{};
    std::size_t held = 0;
    bool ended = false;
    HANDLE input = nullptr;
    HANDLE dataEvent = nullptr;  // set while bytes are held or the input has ended
    HANDLE roomEvent = nullptr;  // set when bytes have been taken
};
StdinPump pump;
std::once_flag pumpStartOnce;

void pumpThread(void*) {
    std::array<Char, kIcConsoleInputChunk> chunk{};
    for (;;) {
        AcquireSRWLockExclusive(&pump.lock);
        const std::size_t room = pump.buffer.size() - pump.held;
        ReleaseSRWLockExclusive(&pump.lock);
        if (room == 0) {
            (void)WaitForSingleObject(pump.roomEvent, INFINITE);
            continue;
        }
        DWORD n = 0;
        const BOOL ok = ReadFile(pump.input, chunk.data(), static_cast<DWORD>(room), &n, nullptr);
        AcquireSRWLockExclusive(&pump.lock);
        if (ok == FALSE || n == 0) {
            pump.ended = true;  // end of the file, or a closed pipe
        } else {
            std::memcpy(pump.buffer.data() + pump.held, chunk.data(), n);
            pump.held += n;
        }
        (void)SetEvent(pump.dataEvent);
        const bool ended = pump.ended;
        ReleaseSRWLockExclusive(&pump.lock);
        if (ended) {
            return;
        }
    }
}

// The pump's data event, or nullptr when no pump could be started.
HANDLE startPump(HANDLE input) {
    std::call_once(pumpStartOnce, [input] {
        pump.input = input;
        pump.dataEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        pump.roomEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (pump.dataEvent == nullptr || pump.roomEvent == nullptr ||
            osalApi->taskCreate(pumpThread, nullptr) != OSAL_RES_SUCCESS) {
            pump.dataEvent = nullptr;
        }
    });
    return pump.dataEvent;
}

// Takes up to `room` bytes the pump holds; `ended` when it has none and will
// have no more.
std::size_t takeFromPump(Char* out, std::size_t room, bool& ended) {
    AcquireSRWLockExclusive(&pump.lock);
    const std::size_t n = std::min(room, pump.held);
    std::memcpy(out, pump.buffer.data(), n);
    std::memmove(pump.buffer.data(), pump.buffer.data() + n, pump.held - n);
    pump.held -= n;
    ended = pump.held == 0 && pump.ended;
    if (pump.held == 0 && !pump.ended) {
        (void)ResetEvent(pump.dataEvent);
    }
    ReleaseSRWLockExclusive(&pump.lock);
    if (n > 0) {
        (void)SetEvent(pump.roomEvent);
    }
    return n;
}

// ---- input ---------------------------------------------------------------------

// Takes what input there is without waiting for more.
void readInput(ConsolePort* cp, std::size_t room) {
    std::array<Char, kIcConsoleInputChunk> chars{};
    room = std::min(room, chars.size());
    std::size_t n = 0;
    if (cp->inputKind == InputKind::CONSOLE) {
        DWORD pending = 0;
        if (GetNumberOfConsoleInputEvents(cp->input, &pending) == FALSE || pending == 0) {
            return;
        }
        std::array<INPUT_RECORD, kRecordChunk> records{};
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>({pending, room, records.size()}));
        DWORD got = 0;
        if (ReadConsoleInputA(cp->input, records.data(), wanted, &got) == FALSE) {
            cp->inputEnded = true;
            return;
        }
        n = icWinConsoleKeyChars(records.data(), got, chars.data(), room);
    } else {
        bool ended = false;
        n = takeFromPump(chars.data(), room, ended);
        cp->inputEnded = ended;
    }
    if (icConsoleDeliver(cp, std::span<Char>(chars.data(), n)) > 0) {
        // The main loop does not sleep on the FIFO: this wakes it for the keys.
        osalApi->waitObjSignal(cp->waits[WAIT_INPUT]);
    }
}

// What standard input is: the console, or a stream the pump reads. Nothing
// to read when there is none.
void settleInput(ConsolePort* cp) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input == nullptr || input == INVALID_HANDLE_VALUE) {
        cp->inputKind = InputKind::NONE;
        cp->inputEnded = true;
    } else if (consoleApi.load()->getMode(input, &mode) != FALSE) {
        cp->inputKind = InputKind::CONSOLE;
        cp->input = input;
    } else {
        cp->inputKind = InputKind::STREAM;
        cp->input = startPump(input);
        cp->inputEnded = cp->input == nullptr;
    }
    // Keys from the console come as they are; a stream brings lines.
    cp->keysAsTyped = cp->inputKind == InputKind::CONSOLE;
}

// ---- thread --------------------------------------------------------------------

void consoleThread(void* arg) {
    auto* cp = static_cast<ConsolePort*>(arg);
    osalApi->semSignal(cp->sem);

    while (cp->threadIsRunning.load()) {
        const bool wantInput = !cp->inputEnded && cp->uartRxCb.load() != nullptr;
        const std::size_t room = wantInput ? icConsoleInputRoom(cp) : 0;
        // Keys stay with the system while the FIFO is full (consoleExe wakes
        // the thread when it has room again) or nobody takes them.
        cp->inputBlocked = wantInput && room == 0;
        std::array<HANDLE, 2> handles{cp->wakeEvent.get(), cp->input};
        const DWORD count = wantInput && room > 0 ? 2 : 1;
        (void)WaitForMultipleObjects(count, handles.data(), FALSE, INFINITE);
        cp->wakePending = false;

        if (wantInput && room > 0) {
            readInput(cp, room);
        }
        drainOutput(cp, true);
    }
    osalApi->semSignal(cp->sem);
}

}  // namespace

// ---- pieces --------------------------------------------------------------------

void icWinConsoleSetApi(const IcWinConsoleApi* api) { consoleApi = api != nullptr ? api : &kSystemConsoleApi; }

DWORD icWinConsoleRawMode(DWORD mode) {
    return (mode &
            ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_WINDOW_INPUT | ENABLE_MOUSE_INPUT)) |
           ENABLE_PROCESSED_INPUT;
}

std::size_t icWinConsoleKeyChars(const INPUT_RECORD* records, std::size_t count, Char* out, std::size_t room) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < count && n < room; ++i) {
        if (records[i].EventType != KEY_EVENT) {
            continue;
        }
        const KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
        // Keys that produce no character (arrows, Shift alone) give 0.
        if (key.bKeyDown == FALSE || key.uChar.AsciiChar == 0) {
            continue;
        }
        for (WORD r = 0; r < std::max<WORD>(key.wRepeatCount, 1) && n < room; ++r) {
            out[n++] = key.uChar.AsciiChar;
        }
    }
    return n;
}

BOOL WINAPI icWinConsoleCtrlHandler(DWORD ctrlType) {
    const auto wakeMainLoop = [] {
        if (IcConsolePort* port = icConsoleActive()) {
            osalApi->waitObjSignal(port->waits[WAIT_STOP]);
        }
    };
    switch (ctrlType) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            if (icConsoleRequestStop()) {
                // Asked twice: the orderly stop is not happening. Give the
                // console its mode back and let the system end the process.
                restoreConsoleMode();
                return FALSE;
            }
            wakeMainLoop();
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            (void)icConsoleRequestStop();
            wakeMainLoop();
            // The system ends the process when this returns: hold it until
            // the main loop has stopped in order.
            if (processEnding != nullptr) {
                (void)WaitForSingleObject(processEnding, kCloseStopWait_ms);
            }
            restoreConsoleMode();
            return TRUE;
        default:
            return FALSE;
    }
}

// ---- platform hooks ------------------------------------------------------------

IcConsolePort* icConsolePlatformNew() {
    setupProcessOnce();
    auto* cp = new (std::nothrow) ConsolePort;
    if (cp == nullptr) {
        return nullptr;
    }
    // Auto-reset: each wake is taken once.
    cp->wakeEvent.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    cp->tookEvent.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    bool ok = cp->wakeEvent.valid() && cp->tookEvent.valid();
    cp->waitCount = WAIT_COUNT;
    for (U8 i = 0; i < WAIT_COUNT; ++i) {
        cp->waits[i] = osalApi->waitObjCreate();
        ok = ok && cp->waits[i] != nullptr;
    }
    if (!ok) {
        delete cp;
        return nullptr;
    }
    return cp;
}

void icConsolePlatformDelete(IcConsolePort* port) { delete winOf(port); }

void icConsolePlatformStart(IcConsolePort* port) {
    ConsolePort* cp = winOf(port);
    if (cp->threadIsRunning.load()) {
        return;
    }
    cp->threadIsRunning = true;
    if (cp->sem == nullptr) {
        cp->sem = osalApi->semCreate(FALSE);
    }
    IC_ASSERT_TEXT(kModule, cp->sem != nullptr, "Assertion failed 'this->sem'");
    settleInput(cp);
    if (cp->inputKind == InputKind::CONSOLE) {
        enterConsoleMode(cp->input);
    }
    const OsalResCodes rc = osalApi->taskCreate(consoleThread, cp);
    IC_ASSERT(kModule, rc == OSAL_RES_SUCCESS);
    osalApi->semWait(cp->sem, MAX_U32);
}

void icConsolePlatformStop(IcConsolePort* port) {
    ConsolePort* cp = winOf(port);
    if (cp->threadIsRunning.exchange(false)) {
        (void)SetEvent(cp->wakeEvent.get());
        osalApi->semWait(cp->sem, MAX_U32);
    }
    for (U8 i = 0; i < WAIT_COUNT; ++i) {
        osalApi->waitObjectReset(cp->waits[i]);
    }
}

void icConsolePlatformHooksChanged(IcConsolePort* port) { wakeThread(winOf(port)); }

void icConsolePlatformRestoreMode() { restoreConsoleMode(); }

// The keys are in the FIFO already and the console thread writes the screen:
// this only clears what woke the main loop and hands the thread its work.
void icConsolePlatformExe(IcConsolePort* port) {
    ConsolePort* cp = winOf(port);
    if (!cp->threadIsRunning.load()) {
        return;
    }
    // The stop itself is the flag consoleStopRequested reads.
    osalApi->waitObjectReset(cp->waits[WAIT_STOP]);
    osalApi->waitObjectReset(cp->waits[WAIT_INPUT]);
    if (icConsoleOutputWaits(cp) || (cp->inputBlocked.load() && icConsoleInputRoom(cp) > 0)) {
        wakeThread(cp);
    }
}

void icConsolePlatformMakeRoom(IcConsolePort* port) {
    ConsolePort* cp = winOf(port);
    if (!cp->threadIsRunning.load()) {
        return;
    }
    // Room is made as soon as the thread has taken some of the FIFO.
    (void)ResetEvent(cp->tookEvent.get());
    wakeThread(cp);
    (void)WaitForSingleObject(cp->tookEvent.get(), static_cast<DWORD>(kIcConsoleMakeRoomWait.count()));
}

void icConsolePlatformFlush(IcConsolePort* port) { runWithLimit(flushWithinLimit, winOf(port), exitOutputLeft_ms()); }

// ---- driver interface ----------------------------------------------------------

// No job control on Windows: the console is never handed back and forth.
Boolean consoleResumed() { return FALSE; }

Boolean consoleReadStdinByte(Char* chr) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD n = 0;
    if (chr == nullptr || input == nullptr || input == INVALID_HANDLE_VALUE ||
        ReadFile(input, chr, 1, &n, nullptr) == FALSE) {
        return FALSE;
    }
    return n == 1 ? TRUE : FALSE;
}

void consoleUseStandardError() { outputIsStandardError = true; }
