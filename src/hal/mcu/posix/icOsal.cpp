#include <poll.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "base/icError.h"
#include "hal/common/icOsalQueue.h"
#include "hal/include/icOsal.h"
#include "hal/mcu/posix/icOsalPosix.h"

// A semaphore of count 1 that any thread may release (the drivers' start and
// stop handshakes release what another thread waits for). Time-outs run on
// the steady clock, so setting the wall clock never stretches or cuts a wait.
// Every byte through a FIFO takes and releases one of these, nearly always
// free and on one thread: taking a free one and releasing one nobody waits
// for are one atomic operation each; the mutex and the condition variable
// serve only a thread that has to sleep. `available` and `waiters` are
// sequentially consistent: a releaser stores `available` before it reads
// `waiters`, a sleeper counts itself in `waiters` before it tries to take
// again, so either the releaser sees the sleeper or the sleeper sees the
// release.
struct OsalSemObject {
    std::atomic<bool> available{false};
    std::atomic<int> waiters{0};
    std::mutex mutex;
    std::condition_variable released;
};

bool tryTake(OsalSemObject* sem) {
    bool expected = true;
    return sem->available.compare_exchange_strong(expected, false);
}

// A manual-reset event. `set` is the truth. Once a thread has slept on the
// object (`watched`), its eventfd mirrors the flag so that poll() can sleep on
// it (readable while set): every thread that writes the descriptor re-checks
// the flag afterwards, and every thread that drains it re-checks the flag and
// re-arms, so once the callers are quiet the descriptor is readable exactly
// when the flag is set. Until then signal and reset cost no system call: a
// FIFO nobody sleeps on is signalled for every push.
//
// A watch object (icOsalPosixWaitObjWatchFd) stands for someone else's
// descriptor instead: waitForObjects polls that one and sets the flag from
// what poll() reports.
struct OsalWaitObjectRecord {
    std::atomic<bool> set{false};
    std::atomic<bool> watched{false};
    int fd = -1;
    std::atomic<int> watchFd{-1};
    std::atomic<short> watchEvents{0};
    std::atomic<short> revents{0};
    std::atomic<bool> isWatch{false};
    // Counts the times the watched descriptor was let go or another taken,
    // so that a waiter that registered it with the kernel knows to do it
    // again (a new descriptor may reuse the old one's number).
    std::atomic<U32> watchGeneration{0};
};

namespace {
constexpr const char* kFile = "hal/mcu/posix/icOsal";
constexpr const char* kWaitFailed = "Assertion failed 'WAIT_FAILED != rc'";
constexpr long kNsPerMs = 1000000L;
constexpr long kNsPerSec = 1000000000L;

// Semaphores and wait objects handed out by the table live until the process
// ends (nothing in the system deletes one); the store that makes them owns
// them. It is never destroyed itself: threads may still use their objects
// while the process runs its exit handlers.
template <typename T>
class LifetimeStore {
public:
    T* make() {
        const std::lock_guard<std::mutex> guard(mutex_);
        try {
            return &objects_.emplace_back();
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }

private:
    std::mutex mutex_;
    std::deque<T> objects_;  // grows without moving what it holds
};

template <typename T>
LifetimeStore<T>& storeOf() {
    static auto* const store = new LifetimeStore<T>;
    return *store;
}

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

long long toNs(const timespec& t) { return static_cast<long long>(t.tv_sec) * kNsPerSec + t.tv_nsec; }

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
    (void)start.release();  // the thread owns it now
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

// Returns the new semaphore, or reports the failure through the fatal path.
OsalSemObject* newSemaphore(Boolean signaled, bool forLife) {
    OsalSemObject* sem = forLife ? storeOf<OsalSemObject>().make() : new (std::nothrow) OsalSemObject;
    if (sem == nullptr) {
        printOsError(ENOMEM);
    }
    sem->available = signaled != FALSE;
    return sem;
}

OsalSem semCreate(Boolean signaled) { return newSemaphore(signaled, true); }

OsalResCodes semWait(OsalSem sem, U32 timeout) {
    if (sem == nullptr) {
        printOsError(EINVAL);
    }
    if (tryTake(sem)) {
        return OSAL_RES_SUCCESS;
    }
    std::unique_lock<std::mutex> lock(sem->mutex);
    sem->waiters.fetch_add(1);
    const auto taken = [sem] { return tryTake(sem); };
    bool took = true;
    if (timeout == MAX_U32) {
        sem->released.wait(lock, taken);
    } else {
        took = sem->released.wait_for(lock, std::chrono::milliseconds(timeout), taken);
    }
    sem->waiters.fetch_sub(1);
    return took ? OSAL_RES_SUCCESS : OSAL_RES_TIMEOUT;
}

OsalResCodes semSignal(OsalSem sem) {
    if (sem == nullptr) {
        printOsError(EINVAL);
    }
    if (sem->available.exchange(true)) {
        // Count 1 at most: releasing what nobody holds is a programming
        // error.
        printOsError(EOVERFLOW);
    }
    if (sem->waiters.load() > 0) {
        // Taking the mutex waits until a sleeper that counted itself is
        // really asleep, so the notification cannot fall between its last
        // try and its sleep.
        { const std::lock_guard<std::mutex> guard(sem->mutex); }
        sem->released.notify_one();
    }
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

// From now on the eventfd follows the flag. Pairs with waitObjSignal: each
// stores its own flag before it reads the other's, so at least one of the
// two arms the descriptor.
void watchEvent(OsalWaitObjectRecord* obj) {
    if (obj->watched.load(std::memory_order_acquire) || obj->watched.exchange(true)) {
        return;
    }
    if (obj->set.load()) {
        arm(obj);
        if (!obj->set.load()) {
            drainAndRearm(obj);  // a reset came in between
        }
    }
}

OsalWaitObject waitObjCreate() {
    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    OsalWaitObjectRecord* obj = storeOf<OsalWaitObjectRecord>().make();
    if (obj == nullptr) {
        close(fd);
        return nullptr;
    }
    obj->fd = fd;
    return obj;
}

void waitObjSignal(OsalWaitObject obj) {
    if (obj == nullptr || obj->set.load(std::memory_order_acquire)) {
        return;
    }
    if (!obj->set.exchange(true) && obj->watched.load()) {
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
    obj->revents.store(0, std::memory_order_relaxed);
    if (obj->set.exchange(false) && obj->watched.load()) {
        drainAndRearm(obj);
    }
}

bool anySet(const OsalWaitObject* waitList, U8 numOfWaitObjects) {
    for (U8 i = 0; i < numOfWaitObjects; ++i) {
        IC_ASSERT_TEXT(kFile, waitList[i] != nullptr, kWaitFailed);
        if (waitList[i]->set.load(std::memory_order_acquire)) {
            return true;
        }
    }
    return false;
}

pollfd pollEntryOf(OsalWaitObjectRecord* obj) {
    if (obj->isWatch.load(std::memory_order_acquire)) {
        const short events = obj->watchEvents.load(std::memory_order_relaxed);
        return pollfd{events != 0 ? obj->watchFd.load(std::memory_order_relaxed) : -1, events, 0};
    }
    watchEvent(obj);
    return pollfd{obj->fd, POLLIN, 0};
}

// After a poll: sets watch objects from what was reported; TRUE when any
// object in the list is set.
bool takeResults(const OsalWaitObject* waitList, const pollfd* fds, U8 numOfWaitObjects) {
    bool set = false;
    for (U8 i = 0; i < numOfWaitObjects; ++i) {
        OsalWaitObjectRecord* obj = waitList[i];
        const short revents = fds[i].revents;
        if (obj->isWatch.load(std::memory_order_relaxed)) {
            // A closed or failed descriptor is the owner's to find out about
            // (its next read or write tells it); waking it is enough here.
            if ((revents & (fds[i].events | POLLERR | POLLHUP | POLLNVAL)) != 0) {
                obj->revents.store(revents, std::memory_order_relaxed);
                obj->set.store(true, std::memory_order_release);
            }
        } else {
            IC_ASSERT_TEXT(kFile, (revents & (POLLERR | POLLNVAL)) == 0, kWaitFailed);
            if (!obj->set.load(std::memory_order_acquire) && (revents & POLLIN) != 0) {
                // Readable but clear: a count left by a signal that lost a
                // race with a reset. Drain it instead of waking for nothing.
                drainAndRearm(obj);
            }
        }
        set = set || obj->set.load(std::memory_order_acquire);
    }
    return set;
}

// The descriptors of the wait list a thread waits on again and again (the
// main loop's), registered with the kernel once instead of handed over on
// every wait: a poll() walks every descriptor each time, an epoll_wait()
// only those that became ready. A list the kernel cannot watch that way (a
// regular file, one descriptor twice) is waited on with ppoll() instead.
class EpollWaiter {
public:
    EpollWaiter() = default;
    EpollWaiter(const EpollWaiter&) = delete;
    EpollWaiter& operator=(const EpollWaiter&) = delete;
    ~EpollWaiter() { forget(); }

    // FALSE when this list is for ppoll(); `fds` hold the list's entries.
    bool prepare(const OsalWaitObject* waitList, const pollfd* fds, U8 count) {
        if (entries_.size() != count ||
            !std::equal(entries_.begin(), entries_.end(), waitList,
                        [](const Entry& e, const OsalWaitObjectRecord* obj) { return e.obj == obj; })) {
            forget();
            entries_.assign(count, Entry{});
            for (U8 i = 0; i < count; ++i) {
                entries_[i].obj = waitList[i];
            }
            epfd_ = epoll_create1(EPOLL_CLOEXEC);
        }
        if (epfd_ < 0) {
            return false;  // this list stays with ppoll()
        }
        for (U8 i = 0; i < count; ++i) {
            Entry& e = entries_[i];
            const U32 generation = waitList[i]->watchGeneration.load(std::memory_order_relaxed);
            if (e.fd == fds[i].fd && e.events == fds[i].events && e.generation == generation) {
                continue;
            }
            if (e.fd >= 0) {
                (void)epoll_ctl(epfd_, EPOLL_CTL_DEL, e.fd, nullptr);  // gone already when it was closed
            }
            e.fd = -1;
            if (fds[i].fd >= 0 && fds[i].events != 0) {
                epoll_event event{};
                event.events = static_cast<U32>(static_cast<unsigned short>(fds[i].events));
                event.data.u32 = i;
                if (epoll_ctl(epfd_, EPOLL_CTL_ADD, fds[i].fd, &event) != 0) {
                    // A regular file or a descriptor twice: ppoll() it is,
                    // for as long as the list is this one.
                    (void)close(epfd_);
                    epfd_ = -1;
                    return false;
                }
                e.fd = fds[i].fd;
            }
            e.events = fds[i].events;
            e.generation = generation;
        }
        return true;
    }

    // As ppoll(): the number of ready entries, their revents in `fds`.
    int wait(pollfd* fds, U8 count, int timeout_ms) {
        std::array<epoll_event, 16> ready{};
        const int n = epoll_wait(epfd_, ready.data(), static_cast<int>(ready.size()), timeout_ms);
        for (U8 i = 0; i < count; ++i) {
            fds[i].revents = 0;
        }
        for (int k = 0; k < n; ++k) {
            const U32 i = ready[static_cast<std::size_t>(k)].data.u32;
            if (i < count) {
                fds[i].revents = static_cast<short>(ready[static_cast<std::size_t>(k)].events);
            }
        }
        return n;
    }

private:
    struct Entry {
        OsalWaitObjectRecord* obj = nullptr;
        int fd = -1;
        short events = 0;
        U32 generation = 0;
    };
    void forget() {
        if (epfd_ >= 0) {
            (void)close(epfd_);
            epfd_ = -1;
        }
        entries_.clear();
    }
    int epfd_ = -1;
    std::vector<Entry> entries_;
};

thread_local EpollWaiter epollWaiter;

void waitForObjects(const OsalWaitObject* waitList, U8 numOfWaitObjects, U16 timeout_ms) {
    IC_ASSERT_TEXT(kFile, waitList != nullptr && numOfWaitObjects > 0, kWaitFailed);
    if (anySet(waitList, numOfWaitObjects)) {
        return;
    }
    std::array<pollfd, 255> fds;  // only the first numOfWaitObjects are used
    for (U8 i = 0; i < numOfWaitObjects; ++i) {
        fds[i] = pollEntryOf(waitList[i]);
    }
    // A signal that came while the descriptors were being set up.
    if (anySet(waitList, numOfWaitObjects)) {
        return;
    }
    const bool epoll = epollWaiter.prepare(waitList, fds.data(), numOfWaitObjects);
    const long long deadline =
        timeout_ms != 0 ? toNs(monotonicNow()) + static_cast<long long>(timeout_ms) * kNsPerMs : LLONG_MAX;
    for (;;) {
        timespec pause{};
        const timespec* limit = nullptr;
        long long left = 0;
        if (deadline != LLONG_MAX) {
            left = std::max(deadline - toNs(monotonicNow()), 0LL);
            pause = timespec{static_cast<time_t>(left / kNsPerSec), static_cast<long>(left % kNsPerSec)};
            limit = &pause;
        }
        // epoll_wait() counts whole milliseconds: rounded up, it never
        // wakes before the deadline.
        const int rc =
            epoll ? epollWaiter.wait(fds.data(), numOfWaitObjects,
                                     limit != nullptr ? static_cast<int>((left + kNsPerMs - 1) / kNsPerMs) : -1)
                  : ppoll(fds.data(), numOfWaitObjects, limit, nullptr);
        if (rc < 0) {
            IC_ASSERT_TEXT(kFile, errno == EINTR, kWaitFailed);
            continue;
        }
        if (takeResults(waitList, fds.data(), numOfWaitObjects) ||
            (limit != nullptr && toNs(monotonicNow()) >= deadline)) {
            return;
        }
    }
}

constexpr OsalApi api = {
    taskCreate,      sleep,           semCreate,   semWait,        semSignal,     icOsalQueueCreate, icOsalQueueDelete,
    icOsalQueueSend, icOsalQueueRecv, setPriority, waitForObjects, waitObjCreate, waitObjSignal,     waitObjReset,
};
}  // namespace

const OsalApi* const osalApi = &api;

// The message queues' own semaphores: owned by their queue and deleted with
// it, so not kept for life.
OsalSem icOsalSemNewOwned(Boolean signaled) { return newSemaphore(signaled, false); }

void icOsalSemDelete(OsalSem sem) { delete sem; }

Boolean osalWaitObjIsSet(OsalWaitObject obj) {
    return (obj != nullptr && obj->set.load(std::memory_order_acquire)) ? TRUE : FALSE;
}

int icOsalPosixWaitObjectFd(OsalWaitObject obj) {
    if (obj == nullptr) {
        return -1;
    }
    watchEvent(obj);
    return obj->fd;
}

void icOsalPosixWaitObjWatchFd(OsalWaitObject obj, int fd, short events) {
    if (obj == nullptr) {
        return;
    }
    const int before = obj->watchFd.exchange(fd, std::memory_order_relaxed);
    if (before != fd || fd < 0) {
        obj->watchGeneration.fetch_add(1, std::memory_order_relaxed);
    }
    obj->watchEvents.store(fd >= 0 ? events : short{0}, std::memory_order_relaxed);
    obj->isWatch.store(true, std::memory_order_release);
}

short icOsalPosixWaitObjRevents(OsalWaitObject obj) {
    return obj != nullptr ? obj->revents.load(std::memory_order_relaxed) : short{0};
}
