#include "hal/include/icProcess.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

void icProcessInit() {
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // The lower numbers are open by now, so open() gives this one; a
        // failure (no /dev in a bare chroot) leaves it closed as it was.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened >= 0 && opened != fd) {
            (void)dup2(opened, fd);
            (void)::close(opened);
        }
    }
}

// POSIX streams carry bytes as they are.
void icProcessBinaryStdin() {}
