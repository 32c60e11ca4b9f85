#include "busSimLine.h"
#include "hal/mcu/posix/icPosixFd.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {

using Nanos = std::int64_t;

constexpr Nanos kNanosPerMs = 1000000;
constexpr Nanos kNanosPerUs = 1000;
constexpr U32 kBitsPerByte = 11;  // start bit, 8 data bits, 2 stop bits
// Longest single sleep, so that hooks run often enough.
constexpr Nanos kWaitStep = 50 * kNanosPerMs;
// A stop request gives up a write only when the line took nothing this long.
constexpr Nanos kStuckWrite = 500 * kNanosPerMs;
// How long a pause waits for the reader to take what was sent before it.
constexpr U32 kSettleLimit_ms = 2000;
constexpr Nanos kSettleRecheck = 2 * kNanosPerMs;

struct BitRateRow {
    U32 bitsPerSecond;
    speed_t speed;
};
constexpr BitRateRow kBitRates[] = {
    {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
};

BusSimLineConfig config;
BusSimLineHooks hooks;
std::string lastError;

// The line: the pseudo-terminal's master side, the serial port or the file.
UniqueFd lineFd;
// Pseudo-terminal: the simulator's own descriptor on the reader's side. It
// keeps the line up while a reader closes and reopens it, and tells how much
// the reader has not taken yet.
UniqueFd ownSlaveFd;
// Pseudo-terminal: open and close events on the reader's side.
UniqueFd watchFd;
std::string ptyPath;
bool linkCreated = false;
int readers = 0;
bool readerSeen = false;

Nanos byteTime = 0;
std::size_t chunkBytes = 1;
// When the last byte written has left the line (paced lines).
Nanos lineFree = 0;

Nanos now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<Nanos>(ts.tv_sec) * 1000 * kNanosPerMs + ts.tv_nsec;
}

void service() {
    if (hooks.service != nullptr) {
        hooks.service();
    }
}

bool stopRequested() { return hooks.stopRequested != nullptr && hooks.stopRequested(); }

bool fail(const std::string& what) {
    lastError = what + ": " + std::strerror(errno);
    return false;
}

// Sleeps until `deadline`. Signals end a sleep step early so that the hooks
// run at once; only an interruptible sleep gives up on a stop request.
bool sleepUntil(Nanos deadline, bool interruptible) {
    for (;;) {
        service();
        if (interruptible && stopRequested()) {
            return false;
        }
        const Nanos remaining = deadline - now();
        if (remaining <= 0) {
            return true;
        }
        const Nanos step = std::min(remaining, kWaitStep);
        const timespec ts{static_cast<time_t>(step / (1000 * kNanosPerMs)),
                          static_cast<long>(step % (1000 * kNanosPerMs))};
        clock_nanosleep(CLOCK_MONOTONIC, 0, &ts, nullptr);
    }
}

// Counts the reader's opens and closes of its side since the last call.
void updateReaders() {
    if (!watchFd.valid()) {
        return;
    }
    alignas(inotify_event) std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t n = ::read(watchFd.get(), buffer.data(), buffer.size());
        if (n <= 0) {
            return;
        }
        for (std::size_t at = 0; at + sizeof(inotify_event) <= static_cast<std::size_t>(n);) {
            inotify_event event{};
            std::memcpy(&event, buffer.data() + at, sizeof event);
            if ((event.mask & IN_OPEN) != 0) {
                ++readers;
                readerSeen = true;
            }
            if ((event.mask & IN_CLOSE) != 0 && readers > 0) {
                --readers;
            }
            at += sizeof(inotify_event) + event.len;
        }
    }
}

bool readerGone() {
    updateReaders();
    return watchFd.valid() && readerSeen && readers == 0;
}

// A reader that left echo on sends the bytes back; nobody wants them.
void discardEchoes() {
    if (config.kind != BUS_SIM_LINE_PTY) {
        return;
    }
    std::array<char, 256> sink{};
    while (::read(lineFd.get(), sink.data(), sink.size()) > 0) {
    }
}

BusSimLineStatus writeAll(std::span<const U8> bytes) {
    Nanos lastProgress = now();
    while (!bytes.empty()) {
        if (config.kind == BUS_SIM_LINE_PTY && readerGone()) {
            return BUS_SIM_LINE_READER_GONE;
        }
        const ssize_t n = ::write(lineFd.get(), bytes.data(), bytes.size());
        if (n > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(n));
            lastProgress = now();
            continue;
        }
        if (n < 0 && errno == EINTR) {
            service();
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            fail("cannot write to " + (config.kind == BUS_SIM_LINE_PTY ? ptyPath : config.path));
            return BUS_SIM_LINE_FAILED;
        }
        // The reader is behind: wait until the line takes more, or the
        // reader goes.
        std::array<pollfd, 2> fds{pollfd{lineFd.get(), POLLOUT, 0}, pollfd{watchFd.get(), POLLIN, 0}};
        (void)poll(fds.data(), watchFd.valid() ? 2 : 1, static_cast<int>(kWaitStep / kNanosPerMs));
        discardEchoes();
        service();
        if (stopRequested() && now() - lastProgress > kStuckWrite) {
            return BUS_SIM_LINE_STOPPED;
        }
    }
    discardEchoes();
    return BUS_SIM_LINE_OK;
}

// Bytes the reader has not taken yet, as far as the system tells.
int pendingForReader() {
    int pending = 0;
    if (ioctl(ownSlaveFd.get(), FIONREAD, &pending) != 0) {
        return 0;
    }
    return pending;
}

// Waits until the reader has everything sent so far: for a pseudo-terminal
// until nothing waits on the reader's side (twice in a row, since the system
// moves the bytes across in the background), for a serial port until the
// UART has sent them.
void settle(U32 max_ms) {
    if (config.kind == BUS_SIM_LINE_DEVICE) {
        (void)tcdrain(lineFd.get());
        return;
    }
    if (config.kind != BUS_SIM_LINE_PTY) {
        return;
    }
    const Nanos deadline = now() + static_cast<Nanos>(max_ms) * kNanosPerMs;
    int emptyChecks = 0;
    while (emptyChecks < 2 && now() < deadline && !readerGone()) {
        emptyChecks = pendingForReader() == 0 ? emptyChecks + 1 : 0;
        sleepUntil(now() + kSettleRecheck, false);
    }
}

bool configureSerial(int fd, bool mustBeTty) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        // Not a terminal (a named pipe, say): the bytes go there as they are.
        return !mustBeTty || fail("cannot set up " + config.path);
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CRTSCTS);
    tio.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    speed_t speed = B19200;
    for (const BitRateRow& row : kBitRates) {
        if (row.bitsPerSecond == config.bitRate) {
            speed = row.speed;
        }
    }
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        return fail("cannot set up " + config.path);
    }
    return true;
}

bool createLink() {
    struct stat st {};
    if (lstat(config.link.c_str(), &st) == 0) {
        // A link left behind by an earlier run is replaced; anything else
        // under that name is not the simulator's to remove.
        if (!S_ISLNK(st.st_mode)) {
            errno = EEXIST;
            return fail("cannot create link " + config.link);
        }
        if (unlink(config.link.c_str()) != 0) {
            return fail("cannot replace link " + config.link);
        }
    }
    if (symlink(ptyPath.c_str(), config.link.c_str()) != 0) {
        return fail("cannot create link " + config.link);
    }
    linkCreated = true;
    return true;
}

void removeLink() {
    if (!linkCreated) {
        return;
    }
    linkCreated = false;
    std::array<char, PATH_MAX> target{};
    const ssize_t n = readlink(config.link.c_str(), target.data(), target.size() - 1);
    // Only while it still points to this run's line.
    if (n > 0 && std::string(target.data(), static_cast<std::size_t>(n)) == ptyPath) {
        unlink(config.link.c_str());
    }
}

bool openPty() {
    lineFd.reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!lineFd.valid()) {
        return fail("cannot create a pseudo-terminal");
    }
    std::array<char, PATH_MAX> name{};
    if (grantpt(lineFd.get()) != 0 || unlockpt(lineFd.get()) != 0 ||
        ptsname_r(lineFd.get(), name.data(), name.size()) != 0) {
        return fail("cannot set up the pseudo-terminal");
    }
    ptyPath = name.data();
    (void)fcntl(lineFd.get(), F_SETFL, fcntl(lineFd.get(), F_GETFL) | O_NONBLOCK);

    ownSlaveFd.reset(::open(ptyPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!ownSlaveFd.valid()) {
        return fail("cannot open " + ptyPath);
    }
    // Raw from the start, so that a reader that leaves the settings alone
    // gets the bytes unchanged.
    termios tio{};
    if (tcgetattr(ownSlaveFd.get(), &tio) == 0) {
        cfmakeraw(&tio);
        tio.c_cflag |= CSTOPB | CLOCAL;
        (void)tcsetattr(ownSlaveFd.get(), TCSANOW, &tio);
    }
    // Opened after the own descriptor, so that only readers are counted.
    watchFd.reset(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (watchFd.valid() && inotify_add_watch(watchFd.get(), ptyPath.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        watchFd.reset();
    }
    readers = 0;
    readerSeen = false;
    return config.link.empty() || createLink();
}

}  // namespace

bool busSimLineOpen(const BusSimLineConfig& lineConfig, const BusSimLineHooks& lineHooks) {
    config = lineConfig;
    hooks = lineHooks;
    lastError.clear();
    byteTime = static_cast<Nanos>(kBitsPerByte) * 1000 * kNanosPerMs / std::max<U32>(config.bitRate, 1);
    chunkBytes = std::max<std::size_t>(1, config.bitRate / kBitsPerByte / 1000);
    lineFree = now();
    switch (config.kind) {
        case BUS_SIM_LINE_PTY:
            return openPty();
        case BUS_SIM_LINE_DEVICE:
            lineFd.reset(::open(config.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
            if (!lineFd.valid()) {
                return fail("cannot open " + config.path);
            }
            return configureSerial(lineFd.get(), false);
        case BUS_SIM_LINE_FILE:
            lineFd.reset(::open(config.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
            return lineFd.valid() || fail("cannot write " + config.path);
    }
    return false;
}

const std::string& busSimLineError() { return lastError; }

const std::string& busSimLinePtyPath() { return ptyPath; }

bool busSimLineTimed() { return config.kind != BUS_SIM_LINE_FILE; }

U32 busSimLineAirTime_us(U32 bytes) { return static_cast<U32>(static_cast<Nanos>(bytes) * byteTime / kNanosPerUs); }

BusSimLineStatus busSimLineWaitReader(U32 timeout_ms, U32 settle_ms) {
    if (config.kind != BUS_SIM_LINE_PTY) {
        return BUS_SIM_LINE_OK;
    }
    if (!watchFd.valid()) {
        // No way to see the reader arrive: give it the settle time.
        return sleepUntil(now() + static_cast<Nanos>(settle_ms) * kNanosPerMs, true) ? BUS_SIM_LINE_OK
                                                                                     : BUS_SIM_LINE_STOPPED;
    }
    const Nanos deadline = now() + static_cast<Nanos>(timeout_ms) * kNanosPerMs;
    for (;;) {
        updateReaders();
        if (readers > 0) {
            // A reader that only looks in (stty, say) and leaves again does
            // not start the play.
            if (!sleepUntil(now() + static_cast<Nanos>(settle_ms) * kNanosPerMs, true)) {
                return BUS_SIM_LINE_STOPPED;
            }
            updateReaders();
            if (readers > 0) {
                lineFree = now();
                return BUS_SIM_LINE_OK;
            }
        }
        if (timeout_ms != 0 && now() >= deadline) {
            lastError = "no reader opened " + ptyPath + " in time";
            return BUS_SIM_LINE_FAILED;
        }
        if (!sleepUntil(now() + kWaitStep / 2, true)) {
            return BUS_SIM_LINE_STOPPED;
        }
    }
}

void busSimLineIdle(U32 us) {
    if (busSimLineTimed() && config.paced) {
        lineFree = std::max(lineFree, now()) + static_cast<Nanos>(us) * kNanosPerUs;
    }
}

BusSimLineStatus busSimLineSend(std::span<const U8> bytes) {
    const bool paced = config.paced && busSimLineTimed();
    while (!bytes.empty()) {
        const std::size_t n = paced ? std::min(chunkBytes, bytes.size()) : bytes.size();
        if (paced) {
            const Nanos start = std::max(lineFree, now());
            sleepUntil(start, false);
            lineFree = start + static_cast<Nanos>(n) * byteTime;
        }
        const BusSimLineStatus status = writeAll(bytes.first(n));
        if (status != BUS_SIM_LINE_OK) {
            return status;
        }
        bytes = bytes.subspan(n);
    }
    return BUS_SIM_LINE_OK;
}

BusSimLineStatus busSimLinePause(U16 ms) {
    if (!busSimLineTimed()) {
        return BUS_SIM_LINE_OK;
    }
    if (config.paced) {
        sleepUntil(lineFree, false);
    }
    settle(kSettleLimit_ms);
    if (!sleepUntil(now() + static_cast<Nanos>(ms) * kNanosPerMs, true)) {
        return BUS_SIM_LINE_STOPPED;
    }
    lineFree = now();
    return BUS_SIM_LINE_OK;
}

void busSimLineDrain(U32 max_ms) {
    if (config.paced && busSimLineTimed()) {
        sleepUntil(lineFree, false);
    }
    settle(max_ms);
}

BusSimLineStatus busSimLineHold() {
    if (config.kind != BUS_SIM_LINE_PTY || !watchFd.valid()) {
        return BUS_SIM_LINE_OK;
    }
    for (;;) {
        if (readerGone()) {
            return BUS_SIM_LINE_READER_GONE;
        }
        discardEchoes();
        pollfd fd{watchFd.get(), POLLIN, 0};
        (void)poll(&fd, 1, static_cast<int>(kWaitStep / kNanosPerMs));
        service();
        if (stopRequested()) {
            return BUS_SIM_LINE_STOPPED;
        }
    }
}

void busSimLineClose() {
    removeLink();
    watchFd.reset();
    ownSlaveFd.reset();
    lineFd.reset();
}
