#include "hal/include/icLogFile.h"

#include <cerrno>

#include "hal/mcu/windows/icWin.h"

namespace {

int errnoFor(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        default:
            return EIO;
    }
}

}  // namespace

Boolean icLogFileOpenStandardOutput(IcLogFile* file, int* error) {
    HANDLE own = INVALID_HANDLE_VALUE;
    const HANDLE process = GetCurrentProcess();
    if (DuplicateHandle(process, GetStdHandle(STD_OUTPUT_HANDLE), process, &own, 0, FALSE, DUPLICATE_SAME_ACCESS) ==
        FALSE) {
        *error = errnoFor(GetLastError());
        return FALSE;
    }
    file->os = reinterpret_cast<std::intptr_t>(own);
    return TRUE;
}

// A regular file on Windows takes its text at once; a write is not worth a
// thread of its own here.
Boolean icLogFileOpen(const char* path, IcLogFile* file, int* error) {
    const HANDLE handle = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = errnoFor(GetLastError());
        return FALSE;
    }
    file->os = reinterpret_cast<std::intptr_t>(handle);
    return TRUE;
}

std::size_t icLogFileWrite(IcLogFile file, const char* data, std::size_t len, int* error) {
    *error = 0;
    const auto handle = reinterpret_cast<HANDLE>(file.os);
    std::size_t done = 0;
    while (done < len) {
        const DWORD chunk = len - done > 0x10000000u ? 0x10000000u : static_cast<DWORD>(len - done);
        DWORD n = 0;
        if (WriteFile(handle, data + done, chunk, &n, nullptr) == FALSE) {
            *error = errnoFor(GetLastError());
            break;
        }
        if (n == 0) {
            break;
        }
        done += n;
    }
    return done;
}

Boolean icLogFileClose(IcLogFile* file, int* error) {
    const auto handle = reinterpret_cast<HANDLE>(file->os);
    file->os = -1;
    if (handle != INVALID_HANDLE_VALUE && CloseHandle(handle) == FALSE) {
        *error = errnoFor(GetLastError());
        return FALSE;
    }
    return TRUE;
}
