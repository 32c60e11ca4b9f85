// The POSIX reading of a death test's status, for the tests of the Windows
// build: GoogleTest gives the exit code there. A process that crashed ends
// with an exception code (0xC0000005 and the like), not with a status it
// chose; the status it chose is the whole exit code.
#pragma once

#define WIFEXITED(status) ((static_cast<unsigned>(status) & 0xC0000000u) != 0xC0000000u)
#define WEXITSTATUS(status) (static_cast<int>(status))
