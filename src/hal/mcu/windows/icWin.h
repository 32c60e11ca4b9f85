// What the Win32 platform layer's modules share beyond the operations table:
// ownership of handles, the event behind a wait object, the system's error
// texts and a monotonic clock finer than GetTickCount.
#pragma once

// The project's types first: windows.h defines TRUE and FALSE as macros, and
// hal_types.h must have declared its own before that. Every module of the
// layer reaches windows.h through this header.
#include "base/hal_types.h"
#include "hal/include/icOsal.h"

#include <windows.h>

#include <cstddef>

// Ownership of one handle: closed when the owner goes away, so no error path
// of the platform layer leaks one.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    HANDLE get() const { return handle_; }
    // CreateFile reports failure as INVALID_HANDLE_VALUE, most others as null.
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE release() {
        HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    void reset(HANDLE handle = nullptr) {
        if (valid()) {
            CloseHandle(handle_);
        }
        handle_ = handle;
    }

private:
    HANDLE handle_ = nullptr;
};

// The event behind a wait object: set exactly while the object is set, so a
// driver thread can sleep on it together with its own handles.
HANDLE icWinWaitObjectHandle(OsalWaitObject obj);

// The system's text for an error code, without the line end it comes with.
void icWinErrorText(DWORD code, char* out, std::size_t size);

// Microseconds of a monotonic clock. GetTickCount moves in steps of the
// system tick (10 to 16 ms on most PCs), too coarse for time-outs of a few
// milliseconds.
long long icWinMonotonicUs();

// Milliseconds to pass to a wait so that it does not end before `deadlineUs`
// (waits may end up to a tick early by the fine clock); 0 once it has passed.
DWORD icWinWaitMsUntil(long long deadlineUs);
