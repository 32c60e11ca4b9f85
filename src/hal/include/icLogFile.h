// Appending to a log file without ever waiting for it: a file that takes no
// more text for now (a pipe whose reader lags) says so instead of holding the
// caller.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/hal_types.h"

struct IcLogFile {
    std::intptr_t os = -1;  // the system's handle; -1 while not open
};

// Opens `path` for appending, creating it if it is missing. FALSE, with an
// errno value in `*error`, when it cannot be opened.
Boolean icLogFileOpen(const char* path, IcLogFile* file, int* error);
// Standard output on a handle of its own that never waits, as a log file.
Boolean icLogFileOpenStandardOutput(IcLogFile* file, int* error);
// Offers `len` bytes and returns how many the file took. Fewer than offered:
// with `*error` 0 the file takes no more for now, otherwise writing failed
// (an errno value).
std::size_t icLogFileWrite(IcLogFile file, const char* data, std::size_t len, int* error);
// FALSE, with `*error`, when closing showed that earlier text was not
// written (a full disk).
Boolean icLogFileClose(IcLogFile* file, int* error);
