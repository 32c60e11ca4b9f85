#include <linux/futex.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>

#include "error/icError.h"
#include "hal/include/icOsal.h"
#include "hal/mcu/posix/icOsalPosix.h"

// A lock of count 1 on a futex word: taking a free one and releasing one
// nobody waits for stay in user space (every byte through a FIFO takes and
// releases its lock several times), and a thread that finds it taken spins
// briefly before it sleeps, since FIFO locks are held for a few dozen
// instructions. Time-outs run on CLOCK_MONOTONIC so that setting the wall
// clock never stretches or cuts a wait.
struct OsalSemObject {
    // kSemFree, kSemTaken, or kSemContended: taken, and a thread may sleep
    // on it, so the release has to wake one.
    alignas(4) U32 word = 0;
    OsalSemObject* registryNext = nullptr;
};

// A manual-reset event. `set` is the truth; the eventfd mirrors it so that
// poll() can sleep on it (readable while set). Every thread that writes the
// descriptor re-checks the flag afterwards, and every thread that drains it
// re-checks the flag and re-arms, so once the callers are quiet the
// descriptor is readable exactly when the flag is set.
struct OsalWaitObjectRecord {
    std::atomic<bool> set{false};
    int fd = -1;
    std::atomic<const IcOsalPosixWaitClock*> clock{nullptr};
    OsalWaitObjectRecord* registryNext = nullptr;
};

struct OsalQueueMsg {
    OsalQueueMsg* next;
    U32 signal;
    void* content;
};

struct OsalMsgQueue {
    OsalQueueMsg* queue;
    Char name[5];
    OsalSem emptySem;  // available while the queue holds messages
    OsalSem mutexSem;  // guards the list
};

namespace {
constexpr const char* kFile = "hal/mcu/posix/icOsal";
constexpr const char* kWaitFailed = "Assertion failed 'WAIT_FAILED != rc'";
constexpr long kNsPerMs = 1000000L;
constexpr long kNsPerSec = 1000000000L;

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
void setPriority(OsalPrio prio);

// The common fatal path of the OS operations: the system's text for `err`,
// a pause so that other threads' output can settle, then the handler.
[[noreturn]] void printOsError(int err) {
    std::printf("icOsal:73:FAIL: %d %s", err, std::strerror(err));
    std::fflush(stdout);
    sleep(1000);
    icErrorHandler(kFile, 0, static_cast<U16>(__LINE__), "Assertion failed 'FALSE'");
}

timespec monotonicNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

// Never ahead of monotonicNow(); behind it by up to one kernel tick.
timespec coarseNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return now;
}

long long toNs(const timespec& t) { return static_cast<long long>(t.tv_sec) * kNsPerSec + t.tv_nsec; }

timespec addMs(timespec t, U32 ms) {
    t.tv_sec += static_cast<time_t>(ms / 1000U);
    t.tv_nsec += static_cast<long>(ms % 1000U) * kNsPerMs;
    if (t.tv_nsec >= kNsPerSec) {
        t.tv_sec += 1;
        t.tv_nsec -= kNsPerSec;
    }
    return t;
}

// ---- threads -------------------------------------------------------------

struct TaskStart {
    OsalTaskFunction func;
    void* arg;
};

void* taskTrampoline(void* raw) {
    const TaskStart start = *static_cast<TaskStart*>(raw);
    delete static_cast<TaskStart*>(raw);
    // Linux threads inherit their creator's nice value; a new task starts at
    // normal priority, whatever the thread that created it runs at.
    setPriority(OSAL_PRIO_NORMAL);
    start.func(start.arg);
    return nullptr;
}

OsalResCodes taskCreate(OsalTaskFunction startFunc, void* arg) {
    if (startFunc == nullptr) {
        return OSAL_RES_FAIL;
    }
    std::unique_ptr<TaskStart> start(new (std::nothrow) TaskStart{startFunc, arg});
    if (!start) {
        return OSAL_RES_FAIL;
    }
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) {
        return OSAL_RES_FAIL;
    }
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const int rc = pthread_create(&thread, &attr, taskTrampoline, start.get());
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        return OSAL_RES_FAIL;
    }
    start.release();  // the thread owns it now
    return OSAL_RES_SUCCESS;
}

OsalResCodes sleep(U32 timeout) {
    timespec left{static_cast<time_t>(timeout / 1000U), static_cast<long>(timeout % 1000U) * kNsPerMs};
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &left, &left) == EINTR) {
    }
    return OSAL_RES_TIMEOUT;
}

// ---- priorities ------------------------------------------------------------

int readOwnNice() {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    return errno == 0 ? nice : 0;
}

// "Normal" is whatever the program was started with (e.g. under nice(1)).
const int baseNice = readOwnNice();

constexpr int kMinNice = -20;
constexpr int kMaxNice = 19;
constexpr int kHighBoost = 10;
constexpr int kLowPenalty = 5;

int clampNice(int nice) { return nice < kMinNice ? kMinNice : (nice > kMaxNice ? kMaxNice : nice); }

// Lowest nice value an unprivileged thread may ask for (RLIMIT_NICE).
int permittedNiceFloor() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) != 0) {
        return kMaxNice + 1;
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= 40) {
        return kMinNice;
    }
    return 20 - static_cast<int>(limit.rlim_cur);
}

// Best effort and never a real-time class: a busy loop at real-time priority
// can freeze the machine. Where the system refuses, the thread carries on as
// it is.
void setPriority(OsalPrio prio) {
    int target = baseNice;
    if (prio == OSAL_PRIO_HIGH) {
        target = clampNice(baseNice - kHighBoost);
    } else if (prio == OSAL_PRIO_LOW) {
        target = clampNice(baseNice + kLowPenalty);
    }
    const auto tid = static_cast<id_t>(gettid());
    if (setpriority(PRIO_PROCESS, tid, target) == 0) {
        return;
    }
    const int current = readOwnNice();
    const int floor = permittedNiceFloor();
    if (target < current && floor > target && floor < current) {
        (void)setpriority(PRIO_PROCESS, tid, floor);
    }
}

// ---- semaphores ------------------------------------------------------------

constexpr U32 kSemFree = 0;
constexpr U32 kSemTaken = 1;
constexpr U32 kSemContended = 2;
// Attempts before a waiter sleeps; a FIFO lock's holder lets go well within.
constexpr int kSemSpins = 100;

inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

std::atomic_ref<U32> semWord(OsalSemObject* sem) { return std::atomic_ref<U32>(sem->word); }

bool semTryTake(OsalSemObject* sem, U32 as) {
    U32 expected = kSemFree;
    return semWord(sem).compare_exchange_strong(expected, as, std::memory_order_acquire, std::memory_order_relaxed);
}

// Sleeps while the word is kSemContended, until `deadline` (nullptr: no
// limit). Returns 0 or the error number (ETIMEDOUT, EINTR, EAGAIN).
int futexWait(OsalSemObject* sem, const timespec* deadline) {
    const long rc = syscall(SYS_futex, &sem->word, FUTEX_WAIT_BITSET | FUTEX_PRIVATE_FLAG, kSemContended, deadline,
                            nullptr, FUTEX_BITSET_MATCH_ANY);
    return rc == 0 ? 0 : errno;
}

// Returns the new semaphore, or reports the failure through the fatal path.
OsalSemObject* newSemaphore(Boolean signaled) {
    auto* sem = new (std::nothrow) OsalSemObject;
    if (sem == nullptr) {
        printOsError(ENOMEM);
    }
    sem->word = signaled != FALSE ? kSemFree : kSemTaken;
    return sem;
}

OsalSem semCreate(Boolean signaled) {
    OsalSemObject* sem = newSemaphore(signaled);
    registerForLife(allSemaphores, sem);
    return sem;
}

OsalResCodes semWait(OsalSem sem, U32 timeout) {
    if (sem == nullptr) {
        printOsError(EINVAL);
    }
    if (semTryTake(sem, kSemTaken)) {
        return OSAL_RES_SUCCESS;
    }
    if (timeout == 0) {
        return OSAL_RES_TIMEOUT;
    }
    for (int i = 0; i < kSemSpins; ++i) {
        cpuRelax();
        if (semWord(sem).load(std::memory_order_relaxed) == kSemFree && semTryTake(sem, kSemTaken)) {
            return OSAL_RES_SUCCESS;
        }
    }
    timespec deadline{};
    if (timeout != MAX_U32) {
        deadline = addMs(monotonicNow(), timeout);
    }
    // Once a thread has slept here it takes the lock as contended: others
    // may still be asleep, and the release must wake them in turn.
    while (semWord(sem).exchange(kSemContended, std::memory_order_acquire) != kSemFree) {
        const int rc = futexWait(sem, timeout == MAX_U32 ? nullptr : &deadline);
        if (rc == ETIMEDOUT) {
            // A time-out that races with a release still takes the semaphore.
            return semTryTake(sem, kSemContended) ? OSAL_RES_SUCCESS : OSAL_RES_TIMEOUT;
        }
        if (rc != 0 && rc != EINTR && rc != EAGAIN) {
            printOsError(rc);
        }
    }
    return OSAL_RES_SUCCESS;
}

OsalResCodes semSignal(OsalSem sem) {
    if (sem == nullptr) {
        printOsError(EINVAL);
    }
    const U32 previous = semWord(sem).exchange(kSemFree, std::memory_order_release);
    if (previous == kSemFree) {
        // Count 1 at most: releasing what nobody holds is a programming error.
        printOsError(EOVERFLOW);
    }
    if (previous == kSemContended) {
        const long rc = syscall(SYS_futex, &sem->word, FUTEX_WAKE | FUTEX_PRIVATE_FLAG, 1, nullptr, nullptr, 0);
        if (rc < 0) {
            printOsError(errno);
        }
    }
    return OSAL_RES_SUCCESS;
}

// ---- message queues --------------------------------------------------------

OsalResCodes queueRecv(OsalQueue queueId, U32 timeout, U32* qsignal, void** content);

OsalResCodes queueCreate(const char* name, OsalQueue* qid) {
    if (qid == nullptr) {
        return OSAL_RES_FAIL;
    }
    auto* q = new (std::nothrow) OsalMsgQueue{};
    if (q == nullptr) {
        return OSAL_RES_FAIL;
    }
    if (name != nullptr) {
        std::strncpy(q->name, name, sizeof q->name - 1);
    }
    q->name[sizeof q->name - 1] = '\0';
    q->queue = nullptr;
    // Owned by the queue and destroyed with it, so not kept for life.
    q->emptySem = newSemaphore(FALSE);
    q->mutexSem = newSemaphore(FALSE);
    *qid = q;
    semSignal(q->mutexSem);
    return OSAL_RES_SUCCESS;
}

OsalResCodes queueSend(OsalQueue queueId, U32 qsignal, void* content) {
    if (queueId == nullptr) {
        return OSAL_RES_FAIL;
    }
    auto* msg = new (std::nothrow) OsalQueueMsg{nullptr, qsignal, content};
    if (msg == nullptr) {
        return OSAL_RES_FAIL;
    }
    semWait(queueId->mutexSem, MAX_U32);
    const bool wasEmpty = queueId->queue == nullptr;
    OsalQueueMsg** tail = &queueId->queue;
    while (*tail != nullptr) {
        tail = &(*tail)->next;
    }
    *tail = msg;
    // A non-empty list already has its mark (or a receiver between its two
    // waits, who renews it), and a semaphore of count 1 must not be released
    // twice.
    if (wasEmpty) {
        semSignal(queueId->emptySem);
    }
    semSignal(queueId->mutexSem);
    return OSAL_RES_SUCCESS;
}

OsalResCodes queueRecv(OsalQueue queueId, U32 timeout, U32* qsignal, void** content) {
    if (queueId == nullptr) {
        return OSAL_RES_FAIL;
    }
    if (semWait(queueId->emptySem, timeout) != OSAL_RES_SUCCESS) {
        return OSAL_RES_TIMEOUT;
    }
    semWait(queueId->mutexSem, MAX_U32);
    OsalQueueMsg* msg = queueId->queue;
    queueId->queue = msg->next;
    if (qsignal != nullptr) {
        *qsignal = msg->signal;
    }
    if (content != nullptr) {
        *content = msg->content;
    }
    if (queueId->queue != nullptr) {
        semSignal(queueId->emptySem);
    }
    semSignal(queueId->mutexSem);
    delete msg;
    return OSAL_RES_SUCCESS;
}

OsalResCodes queueDelete(OsalQueue queueId) {
    if (queueId == nullptr) {
        return OSAL_RES_FAIL;
    }
    U32 signal = 0;
    void* content = nullptr;
    while (queueRecv(queueId, 0, &signal, &content) == OSAL_RES_SUCCESS) {
    }
    semWait(queueId->mutexSem, MAX_U32);
    delete queueId->emptySem;
    delete queueId->mutexSem;
    delete queueId;
    return OSAL_RES_SUCCESS;
}

// ---- wait objects ----------------------------------------------------------

void arm(OsalWaitObjectRecord* obj) { (void)eventfd_write(obj->fd, 1); }

void drainAndRearm(OsalWaitObjectRecord* obj) {
    eventfd_t count = 0;
    (void)eventfd_read(obj->fd, &count);  // EAGAIN when there was nothing to drain
    if (obj->set.load()) {
        arm(obj);
    }
}

OsalWaitObject waitObjCreate() {
    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    auto* obj = new (std::nothrow) OsalWaitObjectRecord;
    if (obj == nullptr) {
        close(fd);
        return nullptr;
    }
    obj->fd = fd;
    registerForLife(allWaitObjects, obj);
    return obj;
}

void waitObjSignal(OsalWaitObject obj) {
    if (obj == nullptr || obj->set.load(std::memory_order_acquire)) {
        return;
    }
    if (!obj->set.exchange(true)) {
        arm(obj);
        // A reset that came between the flag and the write has drained too
        // early; take the stale count back out.
        if (!obj->set.load()) {
            drainAndRearm(obj);
        }
    }
}

void waitObjReset(OsalWaitObject obj) {
    if (obj == nullptr || !obj->set.load(std::memory_order_acquire)) {
        return;
    }
    if (obj->set.exchange(false)) {
        drainAndRearm(obj);
    }
}

// The clock of the first object in the list that has one.
const IcOsalPosixWaitClock* clockOf(const OsalWaitObject* waitList, U8 numOfWaitObjects) {
    for (U8 i = 0; i < numOfWaitObjects; ++i) {
        if (waitList[i] == nullptr) {
            continue;  // the caller's checks report it
        }
        if (const IcOsalPosixWaitClock* clock = waitList[i]->clock.load(std::memory_order_acquire)) {
            return clock;
        }
    }
    return nullptr;
}

// Counts the calling thread as one that serves `clock` while it sleeps.
class ClockSleeper {
public:
    explicit ClockSleeper(const IcOsalPosixWaitClock* clock) : clock_(clock) {
        if (clock_ != nullptr) {
            clock_->sleepers(+1);
        }
    }
    ~ClockSleeper() {
        if (clock_ != nullptr) {
            clock_->sleepers(-1);
        }
    }
    ClockSleeper(const ClockSleeper&) = delete;
    ClockSleeper& operator=(const ClockSleeper&) = delete;

private:
    const IcOsalPosixWaitClock* clock_;
};

void waitForObjects(const OsalWaitObject* waitList, U8 numOfWaitObjects, U16 timeout_ms) {
    IC_ASSERT_TEXT(kFile, waitList != nullptr && numOfWaitObjects > 0, kWaitFailed);
    // The main loop comes here once per received byte when busy: the coarse
    // clock (a few milliseconds behind at most) is enough to see that the
    // clock has nothing due, and costs a third of the precise one.
    const IcOsalPosixWaitClock* clock = clockOf(waitList, numOfWaitObjects);
    if (clock != nullptr && toNs(coarseNow()) >= clock->nextDueNs()) {
        clock->serveDue(toNs(monotonicNow()));
    }
    for (U8 i = 0; i < numOfWaitObjects; ++i) {
        IC_ASSERT_TEXT(kFile, waitList[i] != nullptr, kWaitFailed);
        if (waitList[i]->set.load(std::memory_order_acquire)) {
            return;
        }
    }
    std::array<pollfd, 255> fds;  // only the first numOfWaitObjects are used
    for (U8 i = 0; i < numOfWaitObjects; ++i) {
        fds[i] = pollfd{waitList[i]->fd, POLLIN, 0};
    }
    const long long deadline = timeout_ms != 0 ? toNs(addMs(monotonicNow(), timeout_ms)) : LLONG_MAX;
    const ClockSleeper sleeper(clock);
    for (;;) {
        long long until = deadline;
        if (clock != nullptr) {
            until = std::min(until, clock->nextDueNs());
        }
        timespec pause{};
        const timespec* limit = nullptr;
        if (until != LLONG_MAX) {
            const long long left = std::max(until - toNs(monotonicNow()), 0LL);
            pause = timespec{static_cast<time_t>(left / kNsPerSec), static_cast<long>(left % kNsPerSec)};
            limit = &pause;
        }
        const int rc = ppoll(fds.data(), numOfWaitObjects, limit, nullptr);
        if (rc < 0) {
            IC_ASSERT_TEXT(kFile, errno == EINTR, kWaitFailed);
            continue;
        }
        const long long now = toNs(monotonicNow());
        if (clock != nullptr) {
            clock->serveDue(now);
        }
        bool anySet = false;
        for (U8 i = 0; i < numOfWaitObjects; ++i) {
            const short revents = fds[i].revents;
            IC_ASSERT_TEXT(kFile, (revents & (POLLERR | POLLNVAL)) == 0, kWaitFailed);
            if (waitList[i]->set.load(std::memory_order_acquire)) {
                anySet = true;
            } else if ((revents & POLLIN) != 0) {
                // Readable but clear: a count left by a signal that lost a
                // race with a reset. Drain it instead of waking for nothing.
                drainAndRearm(waitList[i]);
            }
        }
        if (anySet || now >= deadline) {
            return;
        }
    }
}

constexpr OsalApi api = {
    taskCreate, sleep,     semCreate,   semWait,        semSignal,     queueCreate,   queueDelete,
    queueSend,  queueRecv, setPriority, waitForObjects, waitObjCreate, waitObjSignal, waitObjReset,
};
}  // namespace

const OsalApi* const osalApi = &api;

Boolean osalWaitObjIsSet(OsalWaitObject obj) {
    return (obj != nullptr && obj->set.load(std::memory_order_acquire)) ? TRUE : FALSE;
}

int icOsalPosixWaitObjectFd(OsalWaitObject obj) { return obj != nullptr ? obj->fd : -1; }

void icOsalPosixSetWaitClock(OsalWaitObject obj, const IcOsalPosixWaitClock* clock) {
    if (obj != nullptr) {
        obj->clock.store(clock, std::memory_order_release);
    }
}
