#include "hal/include/icOsal.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "base/icError.h"
#include "hal/common/icOsalQueue.h"
#include "hal/mcu/windows/icWin.h"

// Locks of count 1 on a slim reader/writer lock and a condition variable:
// taking a free one and releasing one nobody waits for stay in user space.
// Every byte through a FIFO takes and releases its lock several times, and a
// kernel semaphore costs a system call each time (under Wine a round trip to
// its server, some hundred microseconds).
struct OsalSemObject {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE available = CONDITION_VARIABLE_INIT;
    bool free = false;
    OsalSemObject* registryNext = nullptr;
};

// A manual-reset event with its state mirrored in user space. The flag and the
// event change together under the lock, so the event is set exactly while the
// flag is; signalling a set object and resetting a clear one (a FIFO signals
// on every push) then cost no system call, and neither does the look at the
// flags that lets waitForObjects return at once.
struct OsalWaitObjectRecord {
    SRWLOCK lock = SRWLOCK_INIT;
    std::atomic<bool> set{false};
    HANDLE event = nullptr;
    OsalWaitObjectRecord* registryNext = nullptr;
};

namespace {
constexpr const char* kFile = "hal/mcu/windows/icOsal";
constexpr const char* kWaitFailed = "Assertion failed 'WAIT_FAILED != rc'";
// The stack of every task; the drivers' threads need a few kilobytes.
constexpr SIZE_T kTaskStackBytes = 40960;
// The pause on the fatal path, so that other threads' output can settle.
constexpr U32 kFatalPause_ms = 1000;

// Objects live until the process ends; keeping them on a list that hangs off
// a global keeps them reachable, so leak checkers see no loss when a caller
// drops its handle.
template <typename T>
void registerForLife(std::atomic<T*>& head, T* object) {
    T* first = head.load(std::memory_order_relaxed);
    do {
        object->registryNext = first;
    } while (!head.compare_exchange_weak(first, object, std::memory_order_release, std::memory_order_relaxed));
}
std::atomic<OsalSemObject*> allSemaphores{nullptr};
std::atomic<OsalWaitObjectRecord*> allWaitObjects{nullptr};

OsalResCodes sleep(U32 timeout);

// The common fatal path of the OS operations: the system's text for `code`,
// a pause, then the handler.
[[noreturn]] void printWinError(DWORD code) {
    std::array<char, 1024> text{};
    icWinErrorText(code, text.data(), text.size());
    std::printf("icOsal:73:FAIL: %lu %s", static_cast<unsigned long>(code), text.data());
    std::fflush(stdout);
    sleep(kFatalPause_ms);
    icErrorHandler(kFile, 0, static_cast<U16>(__LINE__), "Assertion failed 'FALSE'");
}

// ---- threads -------------------------------------------------------------

struct TaskStart {
    OsalTaskFunction func;
    void* arg;
};

DWORD WINAPI taskTrampoline(LPVOID raw) {
    const TaskStart start = *static_cast<TaskStart*>(raw);
    delete static_cast<TaskStart*>(raw);
    start.func(start.arg);
    return 0;
}

OsalResCodes taskCreate(OsalTaskFunction startFunc, void* arg) {
    if (startFunc == nullptr) {
        return OSAL_RES_FAIL;
    }
    std::unique_ptr<TaskStart> start(new (std::nothrow) TaskStart{startFunc, arg});
    if (!start) {
        return OSAL_RES_FAIL;
    }
    // The handle is not kept: tasks run until they return on their own.
    UniqueHandle thread(CreateThread(nullptr, kTaskStackBytes, taskTrampoline, start.get(), 0, nullptr));
    if (!thread.valid()) {
        return OSAL_RES_FAIL;
    }
    start.release();  // the thread owns it now
    return OSAL_RES_SUCCESS;
}

OsalResCodes sleep(U32 timeout) {
    Sleep(timeout);
    return OSAL_RES_TIMEOUT;
}

void setPriority(OsalPrio prio) {
    int priority = THREAD_PRIORITY_NORMAL;
    if (prio == OSAL_PRIO_HIGH) {
        priority = THREAD_PRIORITY_TIME_CRITICAL;
    } else if (prio == OSAL_PRIO_LOW) {
        priority = THREAD_PRIORITY_BELOW_NORMAL;
    }
    // Best effort: a thread the system refuses carries on as it is.
    (void)SetThreadPriority(GetCurrentThread(), priority);
}

// ---- semaphores ------------------------------------------------------------

class SemLock {
public:
    explicit SemLock(OsalSemObject* sem) : sem_(sem) { AcquireSRWLockExclusive(&sem_->lock); }
    ~SemLock() { ReleaseSRWLockExclusive(&sem_->lock); }
    SemLock(const SemLock&) = delete;
    SemLock& operator=(const SemLock&) = delete;

private:
    OsalSemObject* sem_;
};

OsalSemObject* newSemaphore(Boolean signaled) {
    auto* sem = new (std::nothrow) OsalSemObject;
    if (sem == nullptr) {
        printWinError(ERROR_NOT_ENOUGH_MEMORY);
    }
    sem->free = signaled != FALSE;
    return sem;
}

OsalSem semCreate(Boolean signaled) {
    OsalSemObject* sem = newSemaphore(signaled);
    registerForLife(allSemaphores, sem);
    return sem;
}

OsalResCodes semWait(OsalSem sem, U32 timeout) {
    if (sem == nullptr) {
        printWinError(ERROR_INVALID_HANDLE);
    }
    const long long deadline = timeout == MAX_U32 ? 0 : icWinMonotonicUs() + static_cast<long long>(timeout) * 1000;
    SemLock lock(sem);
    while (!sem->free) {
        const DWORD waitMs = timeout == MAX_U32 ? INFINITE : icWinWaitMsUntil(deadline);
        if (waitMs == 0) {
            return OSAL_RES_TIMEOUT;
        }
        if (SleepConditionVariableSRW(&sem->available, &sem->lock, waitMs, 0) == FALSE) {
            const DWORD err = GetLastError();
            if (err != ERROR_TIMEOUT) {
                printWinError(err);
            }
        }
    }
    sem->free = false;
    return OSAL_RES_SUCCESS;
}

OsalResCodes semSignal(OsalSem sem) {
    if (sem == nullptr) {
        printWinError(ERROR_INVALID_HANDLE);
    }
    {
        SemLock lock(sem);
        if (sem->free) {
            // Count 1 at most: releasing what nobody holds is a programming
            // error, reported as the system reports it for its semaphores.
            printWinError(ERROR_TOO_MANY_POSTS);
        }
        sem->free = true;
    }
    WakeConditionVariable(&sem->available);
    return OSAL_RES_SUCCESS;
}

// ---- wait objects ----------------------------------------------------------

class WaitObjectLock {
public:
    explicit WaitObjectLock(OsalWaitObjectRecord* obj) : obj_(obj) { AcquireSRWLockExclusive(&obj_->lock); }
    ~WaitObjectLock() { ReleaseSRWLockExclusive(&obj_->lock); }
    WaitObjectLock(const WaitObjectLock&) = delete;
    WaitObjectLock& operator=(const WaitObjectLock&) = delete;

private:
    OsalWaitObjectRecord* obj_;
};

OsalWaitObject waitObjCreate() {
    UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!event.valid()) {
        return nullptr;
    }
    auto* obj = new (std::nothrow) OsalWaitObjectRecord;
    if (obj == nullptr) {
        return nullptr;
    }
    obj->event = event.release();
    registerForLife(allWaitObjects, obj);
    return obj;
}

// A signal that finds the object set, or a reset that finds it clear, takes
// effect at that look: the same order of signals and resets as with the
// event alone.
void waitObjSignal(OsalWaitObject obj) {
    if (obj == nullptr || obj->set.load(std::memory_order_acquire)) {
        return;
    }
    WaitObjectLock lock(obj);
    if (!obj->set.load(std::memory_order_relaxed)) {
        // The flag first: a waiter that the event wakes finds it set.
        obj->set.store(true, std::memory_order_release);
        (void)SetEvent(obj->event);
    }
}

void waitObjReset(OsalWaitObject obj) {
    if (obj == nullptr || !obj->set.load(std::memory_order_acquire)) {
        return;
    }
    WaitObjectLock lock(obj);
    if (obj->set.load(std::memory_order_relaxed)) {
        obj->set.store(false, std::memory_order_release);
        (void)ResetEvent(obj->event);
    }
}

void waitForObjects(const OsalWaitObject* waitList, U8 numOfWaitObjects, U16 timeout_ms) {
    IC_ASSERT_TEXT(kFile, waitList != nullptr && numOfWaitObjects > 0 && numOfWaitObjects <= MAXIMUM_WAIT_OBJECTS,
                   kWaitFailed);
    std::array<HANDLE, MAXIMUM_WAIT_OBJECTS> handles{};
    for (U8 i = 0; i < numOfWaitObjects; ++i) {
        IC_ASSERT_TEXT(kFile, waitList[i] != nullptr, kWaitFailed);
        // The main loop comes here once per received byte when busy.
        if (waitList[i]->set.load(std::memory_order_acquire)) {
            return;
        }
        handles[i] = waitList[i]->event;
    }
    const long long deadline = icWinMonotonicUs() + static_cast<long long>(timeout_ms) * 1000;
    for (;;) {
        const DWORD waitMs = timeout_ms == 0 ? INFINITE : icWinWaitMsUntil(deadline);
        if (waitMs == 0) {
            return;
        }
        const DWORD rc = WaitForMultipleObjects(numOfWaitObjects, handles.data(), FALSE, waitMs);
        if (rc == WAIT_TIMEOUT) {
            continue;  // the limit is checked on the fine clock
        }
        IC_ASSERT_TEXT(kFile, rc < WAIT_OBJECT_0 + numOfWaitObjects, kWaitFailed);
        return;
    }
}

constexpr OsalApi api = {
    taskCreate,      sleep,           semCreate,   semWait,        semSignal,     icOsalQueueCreate, icOsalQueueDelete,
    icOsalQueueSend, icOsalQueueRecv, setPriority, waitForObjects, waitObjCreate, waitObjSignal,     waitObjReset,
};

LARGE_INTEGER performanceFrequency() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);  // cannot fail since Windows XP
    return frequency;
}
}  // namespace

const OsalApi* const osalApi = &api;

// The message queues' own semaphores: owned by their queue and deleted with
// it, so not kept for life.
OsalSem icOsalSemNewOwned(Boolean signaled) { return newSemaphore(signaled); }

void icOsalSemDelete(OsalSem sem) { delete sem; }

Boolean osalWaitObjIsSet(OsalWaitObject obj) {
    return (obj != nullptr && obj->set.load(std::memory_order_acquire)) ? TRUE : FALSE;
}

HANDLE icWinWaitObjectHandle(OsalWaitObject obj) { return obj != nullptr ? obj->event : nullptr; }

void icWinErrorText(DWORD code, char* out, std::size_t size) {
    if (out == nullptr || size == 0) {
        return;
    }
    out[0] = '\0';
    char* text = nullptr;
    const DWORD len = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (len == 0 || text == nullptr) {
        std::snprintf(out, size, "error %lu", static_cast<unsigned long>(code));
        return;
    }
    std::snprintf(out, size, "%s", text);
    LocalFree(text);
    // The system's texts end with a line end (and some with a blank).
    std::size_t end = std::strlen(out);
    while (end > 0 && (out[end - 1] == '\r' || out[end - 1] == '\n' || out[end - 1] == ' ')) {
        out[--end] = '\0';
    }
}

long long icWinMonotonicUs() {
    static const LARGE_INTEGER frequency = performanceFrequency();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    // Whole seconds and the rest apart: the counter times a million would
    // overflow after a few days at the usual 10 MHz.
    const long long seconds = now.QuadPart / frequency.QuadPart;
    const long long rest = now.QuadPart % frequency.QuadPart;
    return seconds * 1000000 + rest * 1000000 / frequency.QuadPart;
}

DWORD icWinWaitMsUntil(long long deadlineUs) {
    const long long left = deadlineUs - icWinMonotonicUs();
    if (left <= 0) {
        return 0;
    }
    const long long ms = (left + 999) / 1000;
    return ms >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(ms);
}
