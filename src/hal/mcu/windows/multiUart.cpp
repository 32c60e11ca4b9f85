// Serial port driver on Win32 COM ports. The port's receive thread looks at
// the port every millisecond and sets the port's wait object while bytes wait
// (or when the port has failed); the main loop sleeps on that object among
// its others and uartExe moves the bytes into the receive FIFO on the main
// loop's thread. The transmit path runs in the thread filling the transmit
// FIFO.

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

// After windows.h, which it builds on.
#include <mmsystem.h>

namespace {

constexpr const char* kModule = "hal/mcu/windows/multiUart";

// Tags the record so that a console handle passed to a serial operation is
// caught instead of misread.
constexpr U32 kSerialTag = 0x5A565354u;

// Bytes taken from the port per ReadFile; the receive FIFO holds fewer.
constexpr std::size_t kRxChunk = 256;
// Bytes popped from the transmit FIFO per WriteFile.
constexpr std::size_t kTxChunk = 256;
// The receive thread looks at the port this often. The system's timer runs
// at this resolution while the port receives (timeBeginPeriod), not at the
// 10 to 16 ms it has otherwise.
constexpr DWORD kPoll_ms = 1;
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

// Why the port could not be used.
enum class PortFailure : U8 { NONE, OPEN, BUSY, CONFIGURE };

struct SerialPort {
    U32 tag = kSerialTag;
    UartTxPopChar uartTxPopChar = nullptr;
    IcFifoInstance* txFifo = nullptr;
    UartTxCharsToSend uartTxCharsToSend = nullptr;
    UartRxCb uartRxCb = nullptr;
    IcFifoInstance* rxFifo = nullptr;
    const UartFifoOps* fifoOps = nullptr;
    Boolean portIsOpen = FALSE;
    // The receive side is open: the receive thread runs and uartExe moves
    // bytes.
    bool receiving = false;
    UniqueHandle hCom;
    // Set by the receive thread while bytes wait, or once the port failed.
    OsalWaitObject rxReady = nullptr;
    // Written by the stopping thread, read by the receive thread.
    std::atomic<bool> threadShallRun{false};
    OsalSem sem = nullptr;  // start and stop handshake with the receive thread
    UniqueHandle stopEvent;
    // The port failed while receiving: the receive thread's finding, for
    // uartExe to act on.
    std::atomic<bool> lost{false};
    std::atomic<DWORD> lostCode{0};
    PortFailure failure = PortFailure::NONE;
    DWORD failureCode = 0;
    UartBitrate bitrate = UART_9600;
    // Set: a failure while receiving closes the port and tells this handler
    // instead of ending the program.
    UartLostCb lostCb = nullptr;
    void* lostCbArg = nullptr;
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
    sp->hCom = std::move(com);
    sp->portIsOpen = TRUE;
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

// ---- the receive thread --------------------------------------------------------

// Looks at the port every kPoll_ms: bytes waiting set rxReady, and so does a
// port that no longer answers (an adapter pulled out, a pseudo-terminal under
// Wine closed), which reads alone would not show: they go on returning
// nothing.
void uartThread(void* arg) {
    auto* sp = static_cast<SerialPort*>(arg);
    osalApi->setPriority(OSAL_PRIO_HIGH);
    const HANDLE com = sp->hCom.get();
    const HANDLE stop = sp->stopEvent.get();
    osalApi->semSignal(sp->sem);

    DWORD wait = kPoll_ms;
    while (sp->threadShallRun.load()) {
        DWORD errors = 0;
        COMSTAT status{};
        if (wait != INFINITE && ClearCommError(com, &errors, &status) == FALSE) {
            sp->lostCode = GetLastError();
            sp->lost = true;
            osalApi->waitObjSignal(sp->rxReady);
            wait = INFINITE;  // nothing more to look at until the stop
        } else if (wait != INFINITE && status.cbInQue > 0) {
            osalApi->waitObjSignal(sp->rxReady);
        }
        (void)WaitForSingleObject(stop, wait);
    }
    osalApi->semSignal(sp->sem);
}

void startReceiving(SerialPort* sp) {
    sp->lost = false;
    sp->receiving = true;
    (void)ResetEvent(sp->stopEvent.get());
    (void)timeBeginPeriod(1);
    sp->threadShallRun = true;
    const OsalResCodes rc = osalApi->taskCreate(uartThread, sp);
    IC_ASSERT(kModule, rc == OSAL_RES_SUCCESS);
    osalApi->semWait(sp->sem, MAX_U32);
}

void stopReceiving(SerialPort* sp) {
    if (sp->threadShallRun.exchange(false)) {
        (void)SetEvent(sp->stopEvent.get());
        osalApi->semWait(sp->sem, MAX_U32);
        (void)timeEndPeriod(1);
    }
    sp->receiving = false;
    osalApi->waitObjectReset(sp->rxReady);
}

void closePort(SerialPort* sp) {
    if (sp->portIsOpen == TRUE) {
        stopReceiving(sp);
        sp->hCom.reset();
        sp->portIsOpen = FALSE;
    }
}

void openPort(SerialPort* sp, Boolean doOpen) {
    if (doOpen == TRUE) {
        if (sp->portIsOpen == FALSE) {
            openPortNow(sp);
        }
    } else {
        closePort(sp);
    }
}

// ---- receiving on the main loop's thread --------------------------------------------

// How many bytes may be read now without the receive FIFO dropping any.
std::size_t receiveRoom(const SerialPort* sp) {
    if (sp->fifoOps == nullptr || sp->fifoOps->freeRoom == nullptr) {
        return kRxChunk;
    }
    return std::min<std::size_t>(sp->fifoOps->freeRoom(sp->rxFifo), kRxChunk);
}

void deliver(const SerialPort* sp, const Char* bytes, std::size_t count) {
    if (sp->fifoOps != nullptr && sp->fifoOps->pushBlock != nullptr) {
        // One push for the whole read: the bytes came in together.
        sp->fifoOps->pushBlock(sp->rxFifo, bytes, static_cast<IcFifoIndex>(count));
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        sp->uartRxCb(sp->rxFifo, bytes[i]);
    }
}

// The port failed while receiving: closed and reported to the handler, or
// the end of the program.
void portLost(SerialPort* sp, DWORD code) {
    std::array<char, 1024> reason{};
    icWinErrorText(code, reason.data(), reason.size());
    if (sp->lostCb != nullptr) {
        closePort(sp);
        sp->lostCb(sp->lostCbArg, icWinSerialShownName(sp->port), reason.data());
        return;
    }
    reportAndExit("read", sp->port, reason.data());
}

SerialPort* newPort(UartBitrate bitrate) {
    auto* sp = new (std::nothrow) SerialPort;
    if (sp == nullptr) {
        return nullptr;
    }
    sp->stopEvent.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    sp->rxReady = osalApi->waitObjCreate();
    if (!sp->stopEvent.valid() || sp->rxReady == nullptr) {
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
    if (sp == nullptr || sp->receiving) {
        return;
    }
    sp->uartRxCb = rxCb;
    sp->rxFifo = userParam;
    openPort(sp, TRUE);
    if (sp->portIsOpen == FALSE) {
        // Queued console text goes out on the way (the exit hook).
        std::array<char, 1024> reason{};
        failureReason(sp->failure, sp->failureCode, reason.data(), reason.size());
        reportAndExit(failureVerb(sp->failure), sp->port, reason.data());
    }
    startReceiving(sp);
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

void uartExe(UartInstancePtr ui) {
    SerialPort* sp = fromHandle(ui);
    if (sp == nullptr || !sp->receiving || osalWaitObjIsSet(sp->rxReady) == FALSE || sp->uartRxCb == nullptr) {
        return;
    }
    if (sp->lost.load()) {
        portLost(sp, sp->lostCode.load());
        return;
    }
    const std::size_t room = receiveRoom(sp);
    if (room == 0) {
        return;  // the bytes wait in the driver's buffer; the main loop drains the FIFO first
    }
    osalApi->waitObjectReset(sp->rxReady);
    std::array<Char, kRxChunk> buf{};
    DWORD n = 0;
    if (ReadFile(sp->hCom.get(), buf.data(), static_cast<DWORD>(room), &n, nullptr) == FALSE) {
        portLost(sp, GetLastError());
        return;
    }
    deliver(sp, buf.data(), n);
    if (n == room) {
        osalApi->waitObjSignal(sp->rxReady);  // more may wait than there was room for
    }
}

const char* uartDeviceName(UartInstancePtr ui) {
    const SerialPort* sp = fromHandle(ui);
    return sp != nullptr ? icWinSerialShownName(sp->port) : "";
}

void uartSetLostHandler(UartInstancePtr ui, UartLostCb cb, void* arg) {
    SerialPort* sp = fromHandle(ui);
    if (sp != nullptr) {
        sp->lostCb = cb;
        sp->lostCbArg = arg;
    }
}

Boolean uartReopen(UartInstancePtr ui) {
    SerialPort* sp = fromHandle(ui);
    if (sp == nullptr || sp->uartRxCb == nullptr) {
        return FALSE;
    }
    if (sp->portIsOpen == FALSE) {
        openPortNow(sp);
        if (sp->portIsOpen == FALSE) {
            return FALSE;
        }
    }
    if (!sp->receiving) {
        startReceiving(sp);
    }
    return TRUE;
}

void uartSetFifoOps(UartInstancePtr ui, const UartFifoOps* ops) {
    SerialPort* sp = fromHandle(ui);
    if (sp != nullptr) {
        sp->fifoOps = ops;
    }
}

OsalWaitObject uartRxWaitObject(UartInstancePtr ui) {
    SerialPort* sp = fromHandle(ui);
    return sp != nullptr ? sp->rxReady : nullptr;
}

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
    stopReceiving(sp);
    openPort(sp, FALSE);
    sp->uartRxCb = nullptr;
}

void uartDelete(UartInstancePtr ui) {
    SerialPort* sp = fromHandle(ui);
    if (sp == nullptr) {
        return;
    }
    stopReceiving(sp);
    openPort(sp, FALSE);
    sp->tag = 0;
    delete sp;
}
