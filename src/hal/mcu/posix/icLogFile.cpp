#include "hal/include/icLogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

Boolean icLogFileOpen(const char* path, IcLogFile* file, int* error) {
    // O_NONBLOCK: a FIFO's writer must not wait for a reader, at open or in
    // write; a regular file ignores it.
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        *error = errno;
        return FALSE;
    }
    file->os = fd;
    return TRUE;
}

Boolean icLogFileOpenStandardOutput(IcLogFile* file, int* error) {
    // A new open of the same file or pipe: its own status flags, so that not
    // waiting leaves standard output itself as it was.
    int fd = ::open("/proc/self/fd/1", O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    }
    if (fd < 0) {
        *error = errno;
        return FALSE;
    }
    file->os = fd;
    return TRUE;
}

std::size_t icLogFileWrite(IcLogFile file, const char* data, std::size_t len, int* error) {
    *error = 0;
    std::size_t done = 0;
    while (done < len) {
        const ssize_t n = ::write(static_cast<int>(file.os), data + done, len - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                *error = errno;
            }
            break;
        }
    }
    return done;
}

Boolean icLogFileClose(IcLogFile* file, int* error) {
    const int fd = static_cast<int>(file->os);
    file->os = -1;
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) {
        *error = errno;
        return FALSE;
    }
    return TRUE;
}
