// Serial port driver on POSIX termios: the main loop sleeps on the port's
// descriptor (uartRxWaitObject) and uartExe moves what the line has into the
// receive FIFO; the transmit path runs in the thread filling the transmit
// FIFO.

#include "hal/include/multiUart.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "error/icError.h"
#include "hal/include/icOsal.h"
#include "hal/mcu/posix/icOsalPosix.h"
#include "hal/mcu/posix/icPosixFd.h"

namespace {

constexpr const char* kModule = "hal/mcu/posix/multiUart";

// Tags the record so that a console handle passed to a serial operation is
// caught instead of misread.
constexpr U32 kSerialTag = 0x5A565354u;

// Bytes taken from the line per read(); the receive FIFO holds fewer.
constexpr std::size_t kRxChunk = 256;
// Bytes popped from the transmit FIFO per write().
constexpr std::size_t kTxChunk = 256;

constexpr std::array<speed_t, 5> kSpeeds{B9600, B19200, B38400, B57600, B115200};

speed_t speedOf(UartBitrate bitrate) { return bitrate < kSpeeds.size() ? kSpeeds[bitrate] : B9600; }

// Why the port could not be used.
// LEFT_EXCLUSIVE: the line refuses to open as exclusive, yet nobody holds its
// lock: a program that had it ended without clearing the mode (our own
// predecessor after SIGKILL, say) while something else keeps the line open.
enum class PortFailure : U8 { NONE, OPEN, BUSY, LEFT_EXCLUSIVE, CONFIGURE };

struct SerialPort {
    U32 tag = kSerialTag;
    UartTxPopChar uartTxPopChar = nullptr;
    IcFifoInstance* txFifo = nullptr;
    UartTxCharsToSend uartTxCharsToSend = nullptr;
    UartRxCb uartRxCb = nullptr;
    IcFifoInstance* rxFifo = nullptr;
    const UartFifoOps* fifoOps = nullptr;
    Boolean portIsOpen = FALSE;
    // The receive side is open: uartExe moves bytes.
    bool receiving = false;
    UniqueFd hCom;
    // Watches hCom while receiving.
    OsalWaitObject rxReady = nullptr;
    PortFailure failure = PortFailure::NONE;
    int failureErrno = 0;
    UartBitrate bitrate = UART_9600;
    // Set: a failure while receiving closes the port and tells this handler
    // instead of ending the program.
    UartLostCb lostCb = nullptr;
    void* lostCbArg = nullptr;
    char port[PATH_MAX] = {};
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

// One line on standard error naming the device and the reason, then the
// process ends with status 1 (queued console text is written out by the exit
// hook).
[[noreturn]] void reportAndExit(const char* what, const char* device, const char* reason) {
    char line[2 * PATH_MAX + 512];
    const int len = std::snprintf(line, sizeof line, "cannot %s %s: %s\n", what, device, reason);
    if (len > 0) {
        const std::size_t n = std::min(static_cast<std::size_t>(len), sizeof line - 1);
        (void)!::write(STDERR_FILENO, line, n);
    }
    icErrorExit(1);
}

void applyLineSettings(termios& tio, UartBitrate bitrate) {
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                          IXANY | INPCK);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CRTSCTS);
    tio.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speedOf(bitrate));
    cfsetospeed(&tio, speedOf(bitrate));
}

// USB adapters hold received bytes back for several milliseconds unless asked
// not to; a sniffer wants them as they come. Drivers without the setting
// (pseudo-terminals, some adapters) simply keep their behaviour.
void requestLowLatency(int fd) {
    // The kernel's flag word is a plain int; the braces prove the bit fits.
    constexpr int lowLatencyFlag{ASYNC_LOW_LATENCY};
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) == 0 && (ss.flags & lowLatencyFlag) == 0) {
        ss.flags |= lowLatencyFlag;
        (void)ioctl(fd, TIOCSSERIAL, &ss);
    }
}

void recordFailure(SerialPort* sp, PortFailure failure, int err) {
    sp->failure = failure;
    sp->failureErrno = err;
}

// Whether a process holds a flock() lock on the device node, going by
// /proc/locks ("1: FLOCK  ADVISORY  WRITE 4711 00:05:1234 0 EOF": device
// numbers in hex, then the inode). Without that list the answer is yes, so
// the report stays the cautious one.
bool lockIsHeld(const char* path) {
    struct stat node {};
    if (stat(path, &node) != 0) {
        return true;
    }
    std::FILE* locks = std::fopen("/proc/locks", "re");
    if (locks == nullptr) {
        return true;
    }
    bool held = false;
    std::array<char, 256> line{};
    while (!held && std::fgets(line.data(), static_cast<int>(line.size()), locks) != nullptr) {
        if (std::strstr(line.data(), " FLOCK ") == nullptr) {
            continue;
        }
        char* save = nullptr;
        for (char* word = strtok_r(line.data(), " \n", &save); word != nullptr;
             word = strtok_r(nullptr, " \n", &save)) {
            unsigned major = 0;
            unsigned minor = 0;
            unsigned long long inode = 0;
            int used = 0;
            if (std::sscanf(word, "%x:%x:%llu%n", &major, &minor, &inode, &used) == 3 && word[used] == '\0') {
                held = makedev(major, minor) == node.st_dev && inode == node.st_ino;
                break;
            }
        }
    }
    (void)std::fclose(locks);  // read only: nothing to lose
    return held;
}

void openPortNow(SerialPort* sp) {
    sp->failure = PortFailure::NONE;
    if (sp->portNameTooLong) {
        recordFailure(sp, PortFailure::OPEN, ENAMETOOLONG);
        return;
    }
    // Non-blocking open: a real UART without carrier would otherwise hang
    // here before CLOCAL is set.
    UniqueFd fd(::open(sp->port, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        const int err = errno;
        if (err != EBUSY) {
            recordFailure(sp, PortFailure::OPEN, err);
        } else {
            recordFailure(sp, lockIsHeld(sp->port) ? PortFailure::BUSY : PortFailure::LEFT_EXCLUSIVE, err);
        }
        return;
    }
    // TIOCEXCL keeps other (unprivileged) programs from opening the line; the
    // lock also stops those that ignore it or run as root.
    (void)ioctl(fd.get(), TIOCEXCL);
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        recordFailure(sp, PortFailure::BUSY, EWOULDBLOCK);
        return;
    }
    termios tio{};
    if (tcgetattr(fd.get(), &tio) != 0) {
        recordFailure(sp, PortFailure::CONFIGURE, errno);
        return;
    }
    applyLineSettings(tio, sp->bitrate);
    if (tcsetattr(fd.get(), TCSANOW, &tio) != 0) {
        recordFailure(sp, PortFailure::CONFIGURE, errno);
        return;
    }
    requestLowLatency(fd.get());
    sp->hCom.reset(fd.release());
    sp->portIsOpen = TRUE;
}

void stopReceiving(SerialPort* sp) {
    sp->receiving = false;
    icOsalPosixWaitObjWatchFd(sp->rxReady, -1, 0);
    osalApi->waitObjectReset(sp->rxReady);
}

void closePort(SerialPort* sp) {
    if (sp->portIsOpen == TRUE) {
        stopReceiving(sp);
        // The exclusive mode belongs to the line, not to our descriptor: drop
        // it, or the next program to open the line is refused.
        (void)ioctl(sp->hCom.get(), TIOCNXCL);
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

const char* failureVerb(PortFailure failure) { return failure == PortFailure::CONFIGURE ? "configure" : "open"; }

// The reason shown after "cannot open DEVICE: ", written into `out`.
void failureReason(PortFailure failure, int err, const char* device, char* out, std::size_t size) {
    switch (failure) {
        case PortFailure::BUSY:
            std::snprintf(out, size, "port is in use by another program");
            break;
        case PortFailure::LEFT_EXCLUSIVE:
            std::snprintf(out, size,
                          "the port was left in exclusive mode, but no program holds its lock (one that had it "
                          "ended without clearing the mode). The mode clears when every program that still has "
                          "the port open closes it (fuser -v %s lists them), or when the adapter is plugged in "
                          "again",
                          device);
            break;
        default:
            std::snprintf(out, size, "%s", std::strerror(err));
            break;
    }
}

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

void writeAll(int fd, const Char* data, std::size_t len) {
    while (len > 0) {
        const ssize_t n = ::write(fd, data, len);
        if (n > 0) {
            data += n;
            len -= static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The descriptor is non-blocking for the receive side; writes
            // still wait until the line takes the bytes.
            pollfd pfd{fd, POLLOUT, 0};
            if (poll(&pfd, 1, -1) < 0 && errno != EINTR) {
                return;
            }
        } else {
            return;  // write errors are not reported; the line is listen-only
        }
    }
}

SerialPort* newPort(UartBitrate bitrate) {
    auto* sp = new (std::nothrow) SerialPort;
    if (sp == nullptr) {
        return nullptr;
    }
    sp->rxReady = osalApi->waitObjCreate();
    if (sp->rxReady == nullptr) {
        delete sp;
        return nullptr;
    }
    icOsalPosixWaitObjWatchFd(sp->rxReady, -1, 0);
    sp->bitrate = bitrate;
    return sp;
}

}  // namespace

void uartInit() {}

UartInstancePtr uartNew(U8 port, UartBitrate bitrate) {
    SerialPort* sp = newPort(bitrate);
    if (sp != nullptr) {
        std::snprintf(sp->port, sizeof sp->port, "/dev/ttyS%u", static_cast<unsigned>(port));
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
        char reason[PATH_MAX + 320];
        failureReason(sp->failure, sp->failureErrno, sp->port, reason, sizeof reason);
        reportAndExit(failureVerb(sp->failure), sp->port, reason);
    }
    sp->receiving = true;
    icOsalPosixWaitObjWatchFd(sp->rxReady, sp->hCom.get(), POLLIN);
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
            writeAll(sp->hCom.get(), buf.data(), n);
            wrote = true;
        }
    }
    if (wrote) {
        (void)tcdrain(sp->hCom.get());
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
    const short revents = icOsalPosixWaitObjRevents(sp->rxReady);
    const std::size_t room = receiveRoom(sp);
    if (room == 0) {
        return;  // the bytes wait in the system's buffer; the main loop drains the FIFO first
    }
    osalApi->waitObjectReset(sp->rxReady);
    std::array<Char, kRxChunk> buf{};
    const ssize_t n = ::read(sp->hCom.get(), buf.data(), room);
    if (n > 0) {
        deliver(sp, buf.data(), static_cast<std::size_t>(n));
        return;
    }
    const int err = n < 0 ? errno : 0;
    if (n < 0 && (err == EAGAIN || err == EWOULDBLOCK || err == EINTR)) {
        return;
    }
    if (n == 0 && (revents & (POLLERR | POLLHUP | POLLNVAL)) == 0) {
        return;  // readable, but the bytes went elsewhere; look again next time
    }
    const char* reason = err != 0 ? std::strerror(err) : "the device was disconnected (hang-up)";
    if (sp->lostCb != nullptr) {
        closePort(sp);
        sp->lostCb(sp->lostCbArg, sp->port, reason);
        return;
    }
    reportAndExit("read", sp->port, reason);
}

const char* uartDeviceName(UartInstancePtr ui) {
    const SerialPort* sp = fromHandle(ui);
    return sp != nullptr ? sp->port : "";
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
    sp->receiving = true;
    icOsalPosixWaitObjWatchFd(sp->rxReady, sp->hCom.get(), POLLIN);
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
