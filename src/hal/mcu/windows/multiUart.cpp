// Serial port driver on Win32 COM ports. The port's receive thread looks at
// the port every millisecond and sets the port's wait object while bytes wait
// (or when the port has failed); the main loop sleeps on that object among
// its others and uartExe moves the bytes into the receive FIFO on the main
// loop's thread. The transmit path runs in the thread filling the transmit
// FIFO. The driver interface itself lives in hal/common/icUartPort; this
// module is what touches the port.

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/icError.h"
#include "hal/common/icUartPort.h"
#include "hal/include/icOsal.h"
#include "hal/include/multiUart.h"
#include "hal/mcu/windows/icWin.h"
#include "hal/mcu/windows/icWinSerial.h"

// After windows.h, which it builds on.
#include <mmsystem.h>

namespace {

constexpr const char* kModule = "hal/mcu/windows/multiUart";

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

struct SerialPort : IcUartPort {
    SerialPort() : IcUartPort(port) {}

    UniqueHandle hCom;
    // Written by the stopping thread, read by the receive thread.
    std::atomic<bool> threadShallRun{false};
    OsalSem sem = nullptr;  // start and stop handshake with the receive thread
    UniqueHandle stopEvent;
    // The port failed while receiving: the receive thread's finding, for
    // uartExe to act on.
    std::atomic<bool> lost{false};
    std::atomic<DWORD> lostCode{0};
    DWORD failureCode = 0;
    char port[kDeviceNameSize] = {};
};

SerialPort* serialOf(IcUartPort* port) { return static_cast<SerialPort*>(port); }
const SerialPort* serialOf(const IcUartPort* port) { return static_cast<const SerialPort*>(port); }

void recordFailure(SerialPort* sp, IcUartFailure failure, DWORD code) {
    sp->failure = failure;
    sp->failureCode = code;
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

// The port failed while receiving.
void portLost(SerialPort* sp, DWORD code) {
    std::array<char, 1024> reason{};
    icWinErrorText(code, reason.data(), reason.size());
    icUartLost(sp, reason.data());
}

}  // namespace

// ---- hooks of the common driver ----------------------------------------------

IcUartPort* icUartPlatformNew() {
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
    return sp;
}

void icUartPlatformDelete(IcUartPort* port) { delete serialOf(port); }

void icUartPlatformDeviceName(U8 index, std::span<char> out) { icWinSerialDeviceName(index, out.data(), out.size()); }

void icUartPlatformOpen(IcUartPort* port) {
    SerialPort* sp = serialOf(port);
    if (sp->deviceNameTooLong) {
        recordFailure(sp, IcUartFailure::OPEN, ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    // Not shared: no other program reads the line while the sniffer does.
    UniqueHandle com(
        CreateFileA(sp->port, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!com.valid()) {
        const DWORD err = GetLastError();
        const bool busy = err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION;
        recordFailure(sp, busy ? IcUartFailure::BUSY : IcUartFailure::OPEN, err);
        return;
    }
    (void)SetupComm(com.get(), kDriverInQueue, kDriverOutQueue);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (GetCommState(com.get(), &dcb) == FALSE) {
        recordFailure(sp, IcUartFailure::CONFIGURE, GetLastError());
        return;
    }
    icWinSerialApplyLineSettings(dcb, sp->bitrate);
    if (SetCommState(com.get(), &dcb) == FALSE) {
        recordFailure(sp, IcUartFailure::CONFIGURE, GetLastError());
        return;
    }
    COMMTIMEOUTS timeouts = icWinSerialTimeouts();
    if (SetCommTimeouts(com.get(), &timeouts) == FALSE) {
        recordFailure(sp, IcUartFailure::CONFIGURE, GetLastError());
        return;
    }
    // A line error left over from before would fail the first read.
    DWORD errors = 0;
    (void)ClearCommError(com.get(), &errors, nullptr);
    sp->hCom = std::move(com);
    sp->portIsOpen = TRUE;
}

void icUartPlatformClose(IcUartPort* port) { serialOf(port)->hCom.reset(); }

void icUartPlatformStartReceiving(IcUartPort* port) {
    SerialPort* sp = serialOf(port);
    sp->lost = false;
    (void)ResetEvent(sp->stopEvent.get());
    (void)timeBeginPeriod(1);
    sp->threadShallRun = true;
    const OsalResCodes rc = osalApi->taskCreate(uartThread, sp);
    IC_ASSERT(kModule, rc == OSAL_RES_SUCCESS);
    osalApi->semWait(sp->sem, MAX_U32);
}

void icUartPlatformStopReceiving(IcUartPort* port) {
    SerialPort* sp = serialOf(port);
    if (sp->threadShallRun.exchange(false)) {
        (void)SetEvent(sp->stopEvent.get());
        osalApi->semWait(sp->sem, MAX_U32);
        (void)timeEndPeriod(1);
    }
}

void icUartPlatformReceive(IcUartPort* port) {
    SerialPort* sp = serialOf(port);
    if (sp->lost.load()) {
        portLost(sp, sp->lostCode.load());
        return;
    }
    const std::size_t room = icUartReceiveRoom(sp);
    if (room == 0) {
        return;  // the bytes wait in the driver's buffer; the main loop drains the FIFO first
    }
    osalApi->waitObjectReset(sp->rxReady);
    std::array<Char, kIcUartRxChunk> buf{};
    DWORD n = 0;
    if (ReadFile(sp->hCom.get(), buf.data(), static_cast<DWORD>(room), &n, nullptr) == FALSE) {
        portLost(sp, GetLastError());
        return;
    }
    icUartDeliver(sp, std::span<const Char>(buf.data(), n));
    if (n == room) {
        osalApi->waitObjSignal(sp->rxReady);  // more may wait than there was room for
    }
}

bool icUartPlatformWrite(IcUartPort* port, std::span<const Char> bytes) {
    const SerialPort* sp = serialOf(port);
    if (!sp->hCom.valid()) {
        return false;
    }
    // Write errors are not reported: the line is listen-only.
    DWORD written = 0;
    (void)WriteFile(sp->hCom.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return true;
}

void icUartPlatformDrain(IcUartPort* port) { (void)FlushFileBuffers(serialOf(port)->hCom.get()); }

void icUartPlatformOpenFailed(const IcUartPort* port, const char* verb) {
    const SerialPort* sp = serialOf(port);
    std::array<char, 1024> reason{};
    if (sp->failure == IcUartFailure::BUSY) {
        std::snprintf(reason.data(), reason.size(), "port is in use by another program");
    } else if (sp->failure == IcUartFailure::OPEN &&
               (sp->failureCode == ERROR_FILE_NOT_FOUND || sp->failureCode == ERROR_PATH_NOT_FOUND)) {
        std::snprintf(reason.data(), reason.size(), "the port does not exist");
    } else {
        icWinErrorText(sp->failureCode, reason.data(), reason.size());
    }
    icUartPlatformReportAndExit(verb, sp->port, reason.data());
}

void icUartPlatformReportAndExit(const char* what, const char* device, const char* reason) {
    std::fprintf(stderr, "cannot %s %s: %s\n", what, icWinSerialShownName(device), reason);
    std::fflush(stderr);
    icErrorExit(1);
}

const char* icUartPlatformShownName(const char* device) { return icWinSerialShownName(device); }

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
