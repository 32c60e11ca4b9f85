// Serial port driver on POSIX termios: the main loop sleeps on the port's
// descriptor (uartRxWaitObject) and uartExe moves what the line has into the
// receive FIFO; the transmit path runs in the thread filling the transmit
// FIFO. The driver interface itself lives in hal/common/icUartPort; this
// module is what touches the device.

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

#include "base/icError.h"
#include "hal/common/icUartPort.h"
#include "hal/include/icOsal.h"
#include "hal/include/multiUart.h"
#include "hal/mcu/posix/icOsalPosix.h"
#include "hal/mcu/posix/icPosixFd.h"

namespace {

constexpr std::array<speed_t, 5> kSpeeds{B9600, B19200, B38400, B57600, B115200};

speed_t speedOf(UartBitrate bitrate) { return bitrate < kSpeeds.size() ? kSpeeds[bitrate] : B9600; }

struct SerialPort : IcUartPort {
    SerialPort() : IcUartPort(port) {}

    UniqueFd hCom;
    int failureErrno = 0;
    char port[PATH_MAX] = {};
};

SerialPort* serialOf(IcUartPort* port) { return static_cast<SerialPort*>(port); }
const SerialPort* serialOf(const IcUartPort* port) { return static_cast<const SerialPort*>(port); }

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

void recordFailure(SerialPort* sp, IcUartFailure failure, int err) {
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

// The reason shown after "cannot open DEVICE: ", written into `out`.
void failureReason(IcUartFailure failure, int err, const char* device, char* out, std::size_t size) {
    switch (failure) {
        case IcUartFailure::BUSY:
            std::snprintf(out, size, "port is in use by another program");
            break;
        case IcUartFailure::LEFT_EXCLUSIVE:
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

}  // namespace

// ---- hooks of the common driver ----------------------------------------------

IcUartPort* icUartPlatformNew() {
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
    return sp;
}

void icUartPlatformDelete(IcUartPort* port) { delete serialOf(port); }

void icUartPlatformOpen(IcUartPort* port) {
    SerialPort* sp = serialOf(port);
    if (sp->deviceNameTooLong) {
        recordFailure(sp, IcUartFailure::OPEN, ENAMETOOLONG);
        return;
    }
    // Non-blocking open: a real UART without carrier would otherwise hang
    // here before CLOCAL is set.
    UniqueFd fd(::open(sp->port, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        const int err = errno;
        if (err != EBUSY) {
            recordFailure(sp, IcUartFailure::OPEN, err);
        } else {
            recordFailure(sp, lockIsHeld(sp->port) ? IcUartFailure::BUSY : IcUartFailure::LEFT_EXCLUSIVE, err);
        }
        return;
    }
    // TIOCEXCL keeps other (unprivileged) programs from opening the line; the
    // lock also stops those that ignore it or run as root.
    (void)ioctl(fd.get(), TIOCEXCL);
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        recordFailure(sp, IcUartFailure::BUSY, EWOULDBLOCK);
        return;
    }
    termios tio{};
    if (tcgetattr(fd.get(), &tio) != 0) {
        recordFailure(sp, IcUartFailure::CONFIGURE, errno);
        return;
    }
    applyLineSettings(tio, sp->bitrate);
    if (tcsetattr(fd.get(), TCSANOW, &tio) != 0) {
        recordFailure(sp, IcUartFailure::CONFIGURE, errno);
        return;
    }
    requestLowLatency(fd.get());
    sp->hCom.reset(fd.release());
    sp->portIsOpen = TRUE;
}

void icUartPlatformClose(IcUartPort* port) {
    SerialPort* sp = serialOf(port);
    // The exclusive mode belongs to the line, not to our descriptor: drop it,
    // or the next program to open the line is refused.
    (void)ioctl(sp->hCom.get(), TIOCNXCL);
    sp->hCom.reset();
}

void icUartPlatformStartReceiving(IcUartPort* port) {
    icOsalPosixWaitObjWatchFd(port->rxReady, serialOf(port)->hCom.get(), POLLIN);
}

void icUartPlatformStopReceiving(IcUartPort* port) { icOsalPosixWaitObjWatchFd(port->rxReady, -1, 0); }

void icUartPlatformReceive(IcUartPort* port) {
    SerialPort* sp = serialOf(port);
    const short revents = icOsalPosixWaitObjRevents(sp->rxReady);
    const std::size_t room = icUartReceiveRoom(sp);
    if (room == 0) {
        return;  // the bytes wait in the system's buffer; the main loop drains the FIFO first
    }
    osalApi->waitObjectReset(sp->rxReady);
    std::array<Char, kIcUartRxChunk> buf{};
    const ssize_t n = ::read(sp->hCom.get(), buf.data(), room);
    if (n > 0) {
        icUartDeliver(sp, std::span<const Char>(buf.data(), static_cast<std::size_t>(n)));
        return;
    }
    const int err = n < 0 ? errno : 0;
    if (n < 0 && (err == EAGAIN || err == EWOULDBLOCK || err == EINTR)) {
        return;
    }
    if (n == 0 && (revents & (POLLERR | POLLHUP | POLLNVAL)) == 0) {
        return;  // readable, but the bytes went elsewhere; look again next time
    }
    icUartLost(sp, err != 0 ? std::strerror(err) : "the device was disconnected (hang-up)");
}

bool icUartPlatformWrite(IcUartPort* port, std::span<const Char> bytes) {
    const SerialPort* sp = serialOf(port);
    if (!sp->hCom.valid()) {
        return false;
    }
    writeAll(sp->hCom.get(), bytes.data(), bytes.size());
    return true;
}

void icUartPlatformDrain(IcUartPort* port) { (void)tcdrain(serialOf(port)->hCom.get()); }

void icUartPlatformOpenFailed(const IcUartPort* port, const char* verb) {
    const SerialPort* sp = serialOf(port);
    char reason[PATH_MAX + 320];
    failureReason(sp->failure, sp->failureErrno, sp->port, reason, sizeof reason);
    icUartPlatformReportAndExit(verb, sp->port, reason);
}

void icUartPlatformReportAndExit(const char* what, const char* device, const char* reason) {
    char line[2 * PATH_MAX + 512];
    const int len = std::snprintf(line, sizeof line, "cannot %s %s: %s\n", what, device, reason);
    if (len > 0) {
        const std::size_t n = std::min(static_cast<std::size_t>(len), sizeof line - 1);
        (void)!::write(STDERR_FILENO, line, n);
    }
    icErrorExit(1);
}

const char* icUartPlatformShownName(const char* device) { return device; }

void icUartPlatformDeviceName(U8 index, std::span<char> out) {
    std::snprintf(out.data(), out.size(), "/dev/ttyS%u", static_cast<unsigned>(index));
}
