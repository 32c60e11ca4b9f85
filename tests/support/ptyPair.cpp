#include "support/ptyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

bool makeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

// Milliseconds left until `deadline`, for poll(); 0 once it has passed.
int msLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, 60'000)) : 0;
}

std::string systemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

PtyPair::PtyPair() {
    masterFd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (masterFd_ < 0) {
        error_ = systemError("posix_openpt");
        return;
    }
    char name[128] = {};
    if (grantpt(masterFd_) != 0 || unlockpt(masterFd_) != 0 || ptsname_r(masterFd_, name, sizeof name) != 0) {
        error_ = systemError("grantpt/unlockpt/ptsname_r");
        closeMaster();
        return;
    }
    slavePath_ = name;
    slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveFd_ < 0) {
        error_ = systemError(("open " + slavePath_).c_str());
        closeMaster();
        return;
    }
    if (!makeRaw(slaveFd_) || !makeRaw(masterFd_)) {
        error_ = systemError("raw mode");
        closeSlave();
        closeMaster();
        return;
    }
    // Non-blocking master: write() and read() below wait in poll() with a
    // time-out instead of hanging a test for ever.
    const int flags = fcntl(masterFd_, F_GETFL);
    if (flags < 0 || fcntl(masterFd_, F_SETFL, flags | O_NONBLOCK) != 0) {
        error_ = systemError("fcntl");
        closeSlave();
        closeMaster();
    }
}

PtyPair::~PtyPair() {
    closeSlave();
    closeMaster();
}

bool PtyPair::write(std::string_view bytes, std::chrono::milliseconds timeout) {
    if (masterFd_ < 0) {
        return false;
    }
    const auto deadline = Clock::now() + timeout;
    while (!bytes.empty()) {
        const ssize_t n = ::write(masterFd_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        pollfd pfd{masterFd_, POLLOUT, 0};
        // Short slices: a pty does not always report POLLOUT when the peer
        // frees room, so look again now and then.
        if (poll(&pfd, 1, std::min(msLeft(deadline), 10)) < 0 && errno != EINTR) {
            return false;
        }
    }
    return true;
}

std::string PtyPair::read(std::chrono::milliseconds timeout, std::size_t maxBytes) {
    std::string out;
    if (masterFd_ < 0 || maxBytes == 0) {
        return out;
    }
    const auto deadline = Clock::now() + timeout;
    std::vector<char> buf(maxBytes);
    for (;;) {
        const ssize_t n = ::read(masterFd_, buf.data(), buf.size());
        if (n > 0) {
            out.assign(buf.data(), static_cast<std::size_t>(n));
            return out;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            return out;  // EIO: nobody holds the slave side any more
        }
        if (Clock::now() >= deadline) {
            return out;
        }
        pollfd pfd{masterFd_, POLLIN, 0};
        if (poll(&pfd, 1, msLeft(deadline)) < 0 && errno != EINTR) {
            return out;
        }
    }
}

std::string PtyPair::readExactly(std::size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::string out;
    while (out.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            break;
        }
        const std::string part = read(left, count - out.size());
        if (part.empty()) {
            break;
        }
        out += part;
    }
    return out;
}

void PtyPair::closeSlave() {
    if (slaveFd_ >= 0) {
        ::close(slaveFd_);
        slaveFd_ = -1;
    }
}

void PtyPair::closeMaster() {
    if (masterFd_ >= 0) {
        ::close(masterFd_);
        masterFd_ = -1;
    }
}
