// Console driver on Win32: one thread feeds the keyboard (or whatever standard
// input is) into the shell's input FIFO and writes the shell's output FIFO to
// standard output. It also owns the console's input mode and the console's
// stop requests (Ctrl-C, Ctrl-Break, closing the window).

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "error/icError.h"
#include "hal/include/icOsal.h"
#include "hal/include/multiUart.h"
#include "hal/mcu/windows/icWin.h"
#include "hal/mcu/windows/icWinConsole.h"

namespace {

constexpr const char* kModule = "hal/mcu/windows/consoleUart";
constexpr U32 kConsoleTag = 0x5A56434Fu;

// Keys taken per read; the shell's input FIFO is smaller.
constexpr std::size_t kInputChunk = 256;
// Console input records taken per read.
constexpr std::size_t kRecordChunk = 64;
// Output popped from the shell's FIFO per write.
constexpr IcFifoIndex kOutputChunk = 4096;
// While the input FIFO is full the thread looks again this often.
constexpr DWORD kFifoFullRetry_ms = 1;
// Limits on the way out of the process: a stuck standard output or a lock
// held by a thread that died must not keep the process from ending.
constexpr auto kExitLockWait = std::chrono::milliseconds(500);
constexpr U32 kExitFifoLockWait_ms = 200;
constexpr DWORD kExitWriteLimit_ms = 1000;
// consoleFlush at shutdown waits this long for a slow reader of stdout.
constexpr DWORD kFlushWriteLimit_ms = 5000;
// Closing the console window ends the process once the control handler
// returns, and the system waits about five seconds for it: time for the
// orderly stop.
constexpr DWORD kCloseStopWait_ms = 4000;
// A producer that finds the output FIFO full waits this long for the console
// thread to write some of it out, rather than dropping text (see icFifo).
constexpr U16 kOutputBackPressure_ms = 200;

enum class InputKind : U8 { NONE, CONSOLE, STREAM };

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
    // Set when the thread is to look at its hooks and run flag again.
    UniqueHandle wakeEvent;

    // Input state, touched by the console thread only.
    InputKind inputKind = InputKind::NONE;
    HANDLE input = nullptr;
    bool inputEnded = false;
    bool lastWasCr = false;
};

// ---- process-wide state -------------------------------------------------------

std::atomic<bool> stopRequested{false};

// Not constexpr: the address of a function imported from a DLL is known only
// once the program is loaded.
const IcWinConsoleApi kSystemConsoleApi{GetConsoleMode, SetConsoleMode};
std::atomic<const IcWinConsoleApi*> consoleApi{&kSystemConsoleApi};

DWORD savedInputMode = 0;
HANDLE modeHandle = nullptr;
std::atomic<bool> inputModeChanged{false};

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

// The main loop sleeps on the input FIFO among others; setting its wait
// object lets it see a stop request at once.
void wakeMainLoop() {
    ConsolePort* cp = activeConsole.load();
    IcFifoInstance* fifo = cp != nullptr ? cp->rxFifo.load() : nullptr;
    if (fifo != nullptr && fifo->event != nullptr) {
        osalApi->waitObjSignal(fifo->event);
    }
}

// ---- output --------------------------------------------------------------------

// Writes all of `data` to standard output. Errors drop the output for good.
void writeOut(const Char* data, std::size_t len) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
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

// Pops the queued output in blocks and writes each with one write. The last,
// empty pop clears the FIFO's wait object. Returns when the FIFO is empty, or
// in the console thread when it is being stopped.
void drainOutput(ConsolePort* cp, bool fromThread) {
    IcFifoInstance* fifo = cp->txFifo.load();
    if (fifo == nullptr || cp->uartTxPopChar.load() == nullptr) {
        return;
    }
    const std::lock_guard<std::recursive_timed_mutex> lock(outputMutex());
    std::array<Char, kOutputChunk> buf{};
    while (!fromThread || cp->threadIsRunning.load()) {
        const IcFifoIndex n = icFifoPopBlock(fifo, static_cast<IcFifoIndex>(buf.size()), buf.data());
        if (n == 0) {
            return;
        }
        writeOut(buf.data(), n);
    }
}

// Runs `work` on a thread of its own and waits for it at most `limitMs`: a
// write into a pipe whose reader has stopped reading blocks, and must not
// keep the caller (or the process's end) waiting.
void runWithLimit(LPTHREAD_START_ROUTINE work, DWORD limitMs) {
    UniqueHandle thread(CreateThread(nullptr, 0, work, nullptr, 0, nullptr));
    if (thread.valid()) {
        (void)WaitForSingleObject(thread.get(), limitMs);
    }
}

DWORD WINAPI flushActiveConsole(LPVOID) {
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
            drainOutput(cp, false);
        }
        outputMutex().unlock();
    }
    return 0;
}

// The way out of the process after a fatal error or a port failure, and at
// its normal end: write what is still queued and give the console its mode
// back. Whatever cannot be had quickly (a lock held by the thread that
// failed, a stuck reader) is skipped.
void flushForExit() {
    runWithLimit(flushActiveConsole, kExitWriteLimit_ms);
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
    std::array<Char, kInputChunk> buffer{};
    std::size_t held = 0;
    bool ended = false;
    HANDLE input = nullptr;
    HANDLE dataEvent = nullptr;  // set while bytes are held or the input has ended
    HANDLE roomEvent = nullptr;  // set when bytes have been taken
};
StdinPump pump;
std::once_flag pumpStartOnce;

void pumpThread(void*) {
    std::array<Char, kInputChunk> chunk{};
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

// How many keys may be read now without the input FIFO dropping any.
std::size_t inputRoom(const ConsolePort* cp) {
    IcFifoInstance* fifo = cp->rxFifo.load();
    if (fifo == nullptr) {
        return kInputChunk;
    }
    // Counted under the FIFO's lock but without icFifoCharsToPop: that would
    // clear the wait object when the FIFO is empty, and with it a wake-up
    // the main loop has not seen yet (wakeMainLoop).
    osalApi->semWait(fifo->mutex, MAX_U32);
    const std::size_t held =
        fifo->ptr2 >= fifo->ptr1 ? fifo->ptr2 - fifo->ptr1 : fifo->buflen - (fifo->ptr1 - fifo->ptr2);
    osalApi->semSignal(fifo->mutex);
    const std::size_t capacity = fifo->buflen > 0 ? fifo->buflen - 1u : 0u;
    return held < capacity ? std::min(capacity - held, kInputChunk) : 0;
}

// Keys from the console come as they are. Piped input ends its lines with LF
// or CR LF; the shell ends a line on CR, so each line end becomes one CR.
void deliverInput(ConsolePort* cp, const Char* bytes, std::size_t count) {
    const UartRxCb rxCb = cp->uartRxCb.load();
    IcFifoInstance* fifo = cp->rxFifo.load();
    if (rxCb == nullptr) {
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        Char chr = bytes[i];
        if (cp->inputKind != InputKind::CONSOLE) {
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

// Takes what input there is without waiting for more.
void readInput(ConsolePort* cp, std::size_t room) {
    std::array<Char, kInputChunk> chars{};
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
    deliverInput(cp, chars.data(), n);
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
}

// ---- thread --------------------------------------------------------------------

void consoleThread(void* arg) {
    auto* cp = static_cast<ConsolePort*>(arg);
    osalApi->semSignal(cp->sem);

    while (cp->threadIsRunning.load()) {
        IcFifoInstance* txFifo = cp->txFifo.load();
        const bool txOpen = txFifo != nullptr && cp->uartTxPopChar.load() != nullptr;
        const bool wantInput = !cp->inputEnded && cp->uartRxCb.load() != nullptr;
        const std::size_t room = wantInput ? inputRoom(cp) : 0;

        std::array<HANDLE, 3> handles{};
        DWORD count = 0;
        handles[count++] = cp->wakeEvent.get();
        if (txOpen) {
            handles[count++] = icWinWaitObjectHandle(icFifoGetWaitObject(txFifo));
        }
        // Keys stay with the system while the FIFO is full or nobody takes
        // them.
        if (wantInput && room > 0) {
            handles[count++] = cp->input;
        }
        const DWORD timeout = wantInput && room == 0 ? kFifoFullRetry_ms : INFINITE;
        (void)WaitForMultipleObjects(count, handles.data(), FALSE, timeout);

        if (wantInput && room > 0) {
            readInput(cp, room);
        }
        if (txOpen) {
            drainOutput(cp, true);
        }
    }
    osalApi->semSignal(cp->sem);
}

void consoleStopThread(ConsolePort* cp) {
    if (cp->threadIsRunning.exchange(false)) {
        (void)SetEvent(cp->wakeEvent.get());
        osalApi->semWait(cp->sem, MAX_U32);
        (void)ResetEvent(cp->wakeEvent.get());
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

ConsolePort* flushTarget = nullptr;

DWORD WINAPI flushTargetConsole(LPVOID) {
    drainOutput(flushTarget, false);
    return 0;
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
    switch (ctrlType) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            if (stopRequested.exchange(true)) {
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
            stopRequested = true;
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

// ---- driver interface ----------------------------------------------------------

void consoleInit() {}

UartInstancePtr consoleNew() {
    setupProcessOnce();
    auto* cp = new (std::nothrow) ConsolePort;
    if (cp == nullptr) {
        return nullptr;
    }
    // Auto-reset: each wake is taken once.
    cp->wakeEvent.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!cp->wakeEvent.valid()) {
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
    (void)SetEvent(cp->wakeEvent.get());
    consoleStartThread(ui);
}

void consoleOpenRx(UartInstancePtr ui, UartRxCb rxCb, IcFifoInstance* userParam) {
    ConsolePort* cp = fromHandle(ui);
    if (cp == nullptr) {
        return;
    }
    cp->rxFifo = userParam;
    cp->uartRxCb = rxCb;
    (void)SetEvent(cp->wakeEvent.get());
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
    settleInput(cp);
    if (cp->inputKind == InputKind::CONSOLE) {
        enterConsoleMode(cp->input);
    }
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
    restoreConsoleMode();
}

void consoleCloseRx(UartInstancePtr ui) {
    ConsolePort* cp = fromHandle(ui);
    if (cp == nullptr) {
        return;
    }
    consoleStopThread(cp);
    cp->uartRxCb = nullptr;
    restoreConsoleMode();
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
    restoreConsoleMode();
    cp->tag = 0;
    delete cp;
}

Boolean consoleStopRequested() { return stopRequested.load() ? TRUE : FALSE; }

void consoleFlush(UartInstancePtr ui) {
    ConsolePort* cp = fromHandle(ui);
    if (cp != nullptr) {
        flushTarget = cp;
        runWithLimit(flushTargetConsole, kFlushWriteLimit_ms);
    }
}

Boolean consoleReadStdinByte(Char* chr) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD n = 0;
    if (chr == nullptr || input == nullptr || input == INVALID_HANDLE_VALUE ||
        ReadFile(input, chr, 1, &n, nullptr) == FALSE) {
        return FALSE;
    }
    return n == 1 ? TRUE : FALSE;
}
