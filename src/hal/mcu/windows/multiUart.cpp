// Serial port driver on Win32 COM ports: one receive thread per port that
// moves the line's bytes into the receive FIFO, and a transmit path that runs
// in the thread filling the transmit FIFO.

#include "hal/include/multiUart.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

#include "error/icError.h"
#include "hal/include/icOsal.h"
#include "hal/mcu/windows/icWin.h"
#include "hal/mcu/windows/icWinSerial.h"

namespace {

constexpr const char* kModule = "hal/mcu/windows/multiUart";

// Tags the record so that a console handle passed to a serial operation is
// caught instead of misread.
constexpr U32 kSerialTag = 0x5A565354u;

// Bytes taken from the port per ReadFile; the receive FIFO holds fewer.
constexpr std::size_t kRxChunk = 256;
// Bytes popped from the transmit FIFO per WriteFile.
constexpr std::size_t kTxChunk = 256;
// Time between a port failure and the end of the process, so that start-up
// text still reaches the console before the message.
constexpr U32 kFailureGrace_ms = 500;
// Reads return at once; with nothing there the thread looks again after this.
constexpr DWORD kIdlePoll_ms = 1;
// A port that went away (an adapter pulled out, a pseudo-terminal under Wine
// closed) may go on answering reads with nothing; while the line is quiet the
// thread asks for the port's status every so many looks, which fails then.
constexpr unsigned kIdlePollsPerHealthCheck = 50;
// While the receive FIFO is full the thread sleeps until the main loop has
// taken half of it (icFifoRoomWaitObject), or this long at most.
constexpr DWORD kFifoFullWaitMax_ms = 10;
// The driver's own buffers, asked for larger than the usual 4 KB: they hold
// the line's bytes while the receive FIFO is full. Drivers may keep theirs.
constexpr DWORD kDriverInQueue = 65536;
constexpr DWORD kDriverOutQueue = 4096;
constexpr std::size_t kDeviceNameSize = MAX_PATH;

struct BitrateRow {
    UartBitrate bitrate;
    DWORD bitsPerSecond;
};
constexpr std::array<BitrateRow, 5> kBitrates{{
    {UART_9600, CBR_9600},
    {UART_19200, CBR_19200},
    {UART_38400, CBR_38400},
    {UART_57600, CBR_57600},
    {UART_115200, CBR_115200},
}};

// Why the port could not be used; reported by the receive thread.
enum class PortFailure : U8 { NONE, OPEN, BUSY, CONFIGURE };

struct SerialPort {
    U32 tag = kSerialTag;
    UartTxPopChar uartTxPopChar = nullptr;
    IcFifoInstance* txFifo = nullptr;
    UartTxCharsToSend uartTxCharsToSend = nullptr;
    UartRxCb uartRxCb = nullptr;
    IcFifoInstance* rxFifo = nullptr;
    Boolean portIsOpen = FALSE;
    // Written by the stopping thread, read by the receive thread.
    std::atomic<bool> threadShallRun{false};
    OsalSem sem = nullptr;
    UniqueHandle hCom;
    // Set when the receive thread is to look at threadShallRun.
    UniqueHandle stopEvent;
    DCB dcb{};
    PortFailure failure = PortFailure::NONE;
    DWORD failureCode = 0;
    UartBitrate bitrate = UART_9600;
    char port[kDeviceNameSize] = {};
    bool portNameTooLong = false;
};

UartInstancePtr toHandle(SerialPort* sp) { return reinterpret_cast<UartInstancePtr>(sp); }

SerialPort* fromHandle(void* ui) {
    if (ui == nullptr) {
        return nullptr;
    }
    U32 tag = 0;
    std::memcpy(&tag, ui, sizeof tag);
    IC_ASSERT(kModule, tag == kSerialTag);
    return static_cast<SerialPort*>(ui);
}

// One line on standard error naming the port and the reason, then the process
// ends with status 1 (queued console text is written out by the exit hook).
[[noreturn]] void reportAndExit(const char* what, const char* device, const char* reason) {
    std::fprintf(stderr, "cannot %s %s: %s\n", what, icWinSerialShownName(device), reason);
    std::fflush(stderr);
    icErrorExit(1);
}

void recordFailure(SerialPort* sp, PortFailure failure, DWORD code) {
    sp->failure = failure;
    sp->failureCode = code;
}

void openPortNow(SerialPort* sp) {
    sp->failure = PortFailure::NONE;
    if (sp->portNameTooLong) {
        recordFailure(sp, PortFailure::OPEN, ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    // Not shared: no other program reads the line while the sniffer does.
    UniqueHandle com(
        CreateFileA(sp->port, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!com.valid()) {
        const DWORD err = GetLastError();
        const bool busy = err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION;
        recordFailure(sp, busy ? PortFailure::BUSY : PortFailure::OPEN, err);
        return;
    }
    (void)SetupComm(com.get(), kDriverInQueue, kDriverOutQueue);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (GetCommState(com.get(), &dcb) == FALSE) {
        recordFailure(sp, PortFailure::CONFIGURE, GetLastError());
        return;
    }
    icWinSerialApplyLineSettings(dcb, sp->bitrate);
    if (SetCommState(com.get(), &dcb) == FALSE) {
        recordFailure(sp, PortFailure::CONFIGURE, GetLastError());
        return;
    }
    COMMTIMEOUTS timeouts = icWinSerialTimeouts();
    if (SetCommTimeouts(com.get(), &timeouts) == FALSE) {
        recordFailure(sp, PortFailure::CONFIGURE, GetLastError());
        return;
    }
    // A line error left over from before would fail the first read.
    DWORD errors = 0;
    (void)ClearCommError(com.get(), &errors, nullptr);
    sp->dcb = dcb;
    sp->hCom = std::move(com);
    sp->portIsOpen = TRUE;
}

void stopUartThread(SerialPort* sp) {
    if (sp->threadShallRun.exchange(false)) {
        (void)SetEvent(sp->stopEvent.get());
        osalApi->semWait(sp->sem, MAX_U32);
        (void)ResetEvent(sp->stopEvent.get());
    }
}

void closePort(SerialPort* sp) {
    if (sp->portIsOpen == TRUE) {
        stopUartThread(sp);
        sp->hCom.reset();
        sp->portIsOpen = FALSE;
    }
}

void openPort(SerialPort* sp, Boolean doOpen) {
    if (doOpen == TRUE) {
        // A running receive thread owns the port's state (and reports its
        // failure); it is not reopened under its feet.
        if (sp->portIsOpen == FALSE && !sp->threadShallRun.load()) {
            openPortNow(sp);
        }
    } else {
        closePort(sp);
    }
}

const char* failureVerb(PortFailure failure) { return failure == PortFailure::CONFIGURE ? "configure" : "open"; }

void failureReason(PortFailure failure, DWORD code, char* out, std::size_t size) {
    if (failure == PortFailure::BUSY) {
        std::snprintf(out, size, "port is in use by another program");
    } else if (failure == PortFailure::OPEN && (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)) {
        std::snprintf(out, size, "the port does not exist");
    } else {
        icWinErrorText(code, out, size);
    }
}

// How many bytes may be read now without the receive FIFO dropping any.
std::size_t receiveRoom(const SerialPort* sp) {
    IcFifoInstance* fifo = sp->rxFifo;
    if (fifo == nullptr || sp->uartRxCb == nullptr) {
        return kRxChunk;
    }
    const std::size_t capacity = fifo->buflen > 0 ? fifo->buflen - 1u : 0u;
    const std::size_t held = icFifoCharsToPop(fifo);
    return held < capacity ? std::min(capacity - held, kRxChunk) : 0;
}

// Sleeps until the receive FIFO has room again or a stop is requested.
void waitForRoom(const SerialPort* sp) {
    const OsalWaitObject room = icFifoRoomWaitObject(sp->rxFifo);
    if (room == nullptr) {
        return;
    }
    const std::array<HANDLE, 2> handles{sp->stopEvent.get(), icWinWaitObjectHandle(room)};
    (void)WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, kFifoFullWaitMax_ms);
}

void deliver(const SerialPort* sp, const Char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (sp->uartRxCb != nullptr && sp->threadShallRun.load(std::memory_order_relaxed)) {
            sp->uartRxCb(sp->rxFifo, bytes[i]);
        }
    }
}

// Moves bytes from the port into the receive FIFO until told to stop.
// Returns FALSE with the error code of a failed read, TRUE after a stop.
Boolean receiveLoop(SerialPort* sp, DWORD& err) {
    std::array<Char, kRxChunk> buf{};
    unsigned idlePolls = 0;
    while (sp->threadShallRun.load()) {
        const std::size_t room = receiveRoom(sp);
        if (room == 0) {
            // The FIFO is full: the bytes wait in the driver's buffer rather
            // than being read and lost.
            waitForRoom(sp);
            continue;
        }
        DWORD n = 0;
        if (ReadFile(sp->hCom.get(), buf.data(), static_cast<DWORD>(room), &n, nullptr) == FALSE) {
            err = GetLastError();
            return FALSE;
        }
        if (n > 0) {
            idlePolls = 0;
            deliver(sp, buf.data(), n);
            continue;
        }
        if (++idlePolls >= kIdlePollsPerHealthCheck) {
            idlePolls = 0;
            DWORD errors = 0;
            if (ClearCommError(sp->hCom.get(), &errors, nullptr) == FALSE) {
                err = GetLastError();
                return FALSE;
            }
        }
        (void)WaitForSingleObject(sp->stopEvent.get(), kIdlePoll_ms);
    }
    return TRUE;
}

void uartThread(void* arg) {
    auto* sp = static_cast<SerialPort*>(arg);
    osalApi->setPriority(OSAL_PRIO_HIGH);

    // Everything the failure report needs is taken before the start
    // handshake; after it the opener may go on changing the record.
    const bool portUsable = sp->portIsOpen == TRUE;
    const PortFailure failure = sp->failure;
    const DWORD failureCode = sp->failureCode;
    std::array<char, kDeviceNameSize> device{};
    std::memcpy(device.data(), sp->port, device.size());
    device.back() = '\0';

    osalApi->semSignal(sp->sem);

    std::array<char, 1024> reason{};
    if (!portUsable) {
        osalApi->sleep(kFailureGrace_ms);
        failureReason(failure, failureCode, reason.data(), reason.size());
        reportAndExit(failureVerb(failure), device.data(), reason.data());
    }
    DWORD err = 0;
    if (receiveLoop(sp, err) == FALSE && sp->threadShallRun.load()) {
        osalApi->sleep(kFailureGrace_ms);
        icWinErrorText(err, reason.data(), reason.size());
        reportAndExit("read", device.data(), reason.data());
    }
    osalApi->semSignal(sp->sem);
}

SerialPort* newPort(UartBitrate bitrate) {
    auto* sp = new (std::nothrow) SerialPort;
    if (sp == nullptr) {
        return nullptr;
    }
    sp->stopEvent.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!sp->stopEvent.valid()) {
        delete sp;
        return nullptr;
    }
    sp->sem = osalApi->semCreate(FALSE);
    sp->bitrate = bitrate;
    return sp;
}

}  // namespace

// ---- set-up ----------------------------------------------------------------

void icWinSerialApplyLineSettings(DCB& dcb, UartBitrate bitrate) {
    dcb.BaudRate = CBR_9600;
    for (const BitrateRow& row : kBitrates) {
        if (row.bitrate == bitrate) {
            dcb.BaudRate = row.bitsPerSecond;
        }
    }
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fBinary = TRUE;  // the only mode Windows supports
    dcb.fParity = FALSE;
    dcb.fNull = FALSE;          // a received 0 is a byte like any other
    dcb.fErrorChar = FALSE;     // bytes with a framing error stay as they came
    dcb.fAbortOnError = FALSE;  // a line error must not fail the next read
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    // Handshaking would drop the lines when the driver's buffer fills; the
    // other modes (RS-485 direction control among them) stay as they are.
    if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
    }
    if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE) {
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
    }
}

COMMTIMEOUTS icWinSerialTimeouts() {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    return timeouts;
}

void icWinSerialDeviceName(U8 port, char* out, std::size_t size) {
    std::snprintf(out, size, "\\\\.\\COM%u", static_cast<unsigned>(port) + 1U);
}

const char* icWinSerialShownName(const char* device) {
    constexpr char kPrefix[] = "\\\\.\\";
    constexpr std::size_t kPrefixLen = sizeof kPrefix - 1;
    if (device != nullptr && std::strncmp(device, kPrefix, kPrefixLen) == 0 &&
        std::strncmp(device + kPrefixLen, "COM", 3) == 0) {
        return device + kPrefixLen;
    }
    return device;
}

// ---- driver interface ----------------------------------------------------------

void uartInit() {}

UartInstancePtr uartNew(U8 port, UartBitrate bitrate) {
    SerialPort* sp = newPort(bitrate);
    if (sp != nullptr) {
        icWinSerialDeviceName(port, sp->port, sizeof sp->port);
    }
    return toHandle(sp);
}

UartInstancePtr uartNewDevice(const char* devicePath, UartBitrate bitrate) {
    IC_ASSERT(kModule, devicePath != nullptr);
    SerialPort* sp = newPort(bitrate);
    if (sp != nullptr) {
        const int len = std::snprintf(sp->port, sizeof sp->port, "%s", devicePath);
        sp->portNameTooLong = len < 0 || static_cast<std::size_t>(len) >= sizeof sp->port;
    }
    return toHandle(sp);
}

void uartOpenRx(UartInstancePtr ui, UartRxCb rxCb, IcFifoInstance* userParam) {
    SerialPort* sp = fromHandle(ui);
    if (sp == nullptr || sp->threadShallRun.load()) {
        return;
    }
    sp->uartRxCb = rxCb;
    sp->rxFifo = userParam;
    openPort(sp, TRUE);
    (void)ResetEvent(sp->stopEvent.get());
    sp->threadShallRun = true;
    const OsalResCodes rc = osalApi->taskCreate(uartThread, sp);
    IC_ASSERT(kModule, rc == OSAL_RES_SUCCESS);
    osalApi->semWait(sp->sem, MAX_U32);
}

void uartOpenTx(UartInstancePtr ui, UartTxPopChar popChar, UartTxCharsToSend charsToSend, IcFifoInstance* userParam) {
    SerialPort* sp = fromHandle(ui);
    if (sp == nullptr) {
        return;
    }
    sp->uartTxPopChar = popChar;
    sp->uartTxCharsToSend = charsToSend;
    sp->txFifo = userParam;
    openPort(sp, TRUE);
}

void uartStartTx(void* ui) {
    SerialPort* sp = fromHandle(ui);
    if (sp == nullptr || sp->uartTxPopChar == nullptr || sp->uartTxCharsToSend == nullptr) {
        return;
    }
    // The start hook fires only when a push finds the FIFO empty, so nothing
    // may be left behind: take chunks until the FIFO is empty.
    std::array<Char, kTxChunk> buf{};
    bool wrote = false;
    for (;;) {
        std::size_t n = 0;
        while (n < buf.size() && sp->uartTxCharsToSend(sp->txFifo) > 0) {
            buf[n++] = sp->uartTxPopChar(sp->txFifo);
        }
        if (n == 0) {
            break;
        }
        if (sp->hCom.valid()) {
            // Write errors are not reported: the line is listen-only.
            DWORD written = 0;
            (void)WriteFile(sp->hCom.get(), buf.data(), static_cast<DWORD>(n), &written, nullptr);
            wrote = true;
        }
    }
    if (wrote) {
        (void)FlushFileBuffers(sp->hCom.get());
    }
}

void uartStopTx(UartInstancePtr) {}
void uartStartRx(UartInstancePtr) {}
void uartStopRx(UartInstancePtr) {}
void uartExe(UartInstancePtr) {}

void uartCloseTx(UartInstancePtr ui) {
    SerialPort* sp = fromHandle(ui);
    if (sp == nullptr) {
        return;
    }
    sp->uartTxPopChar = nullptr;
    sp->uartTxCharsToSend = nullptr;
    openPort(sp, FALSE);
}

void uartCloseRx(UartInstancePtr ui) {
    SerialPort* sp = fromHandle(ui);
    if (sp == nullptr) {
        return;
    }
    stopUartThread(sp);
    openPort(sp, FALSE);
    sp->uartRxCb = nullptr;
}

void uartDelete(UartInstancePtr ui) {
    SerialPort* sp = fromHandle(ui);
    if (sp == nullptr) {
        return;
    }
    stopUartThread(sp);
    openPort(sp, FALSE);
    sp->tag = 0;
    delete sp;
}
