#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "hal/include/icOsal.h"
#include "hal/mcu/posix/icOsalPosix.h"

namespace {
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Only lower bounds on elapsed time are checked; this one just ends a hang.
constexpr U32 kGenerousMs = 5000;

bool fdReadable(OsalWaitObject obj) {
    pollfd p{icOsalPosixWaitObjectFd(obj), POLLIN, 0};
    return poll(&p, 1, 0) == 1;
}

TEST(IcOsalTest, SemaphoreCountsToOneAndTimesOut) {
    const OsalSem sem = osalApi->semCreate(TRUE);
    EXPECT_EQ(osalApi->semWait(sem, 0), OSAL_RES_SUCCESS);
    EXPECT_EQ(osalApi->semWait(sem, 0), OSAL_RES_TIMEOUT);
    const auto start = Clock::now();
    EXPECT_EQ(osalApi->semWait(sem, 30), OSAL_RES_TIMEOUT);
    EXPECT_GE(Clock::now() - start, milliseconds(30));

    for (const U32 timeout : {MAX_U32, kGenerousMs}) {
        std::atomic<bool> released{false};
        std::thread other([&] {
            std::this_thread::sleep_for(milliseconds(20));
            released = true;
            osalApi->semSignal(sem);
        });
        EXPECT_EQ(osalApi->semWait(sem, timeout), OSAL_RES_SUCCESS);
        EXPECT_TRUE(released);
        other.join();
    }
}

// Threads that contend for one semaphore: none may enter together, and no
// release may be lost between a waiter's last try and its sleep (that waiter
// would run out of time while the semaphore is free).
TEST(IcOsalTest, SemaphoreExcludesAndWakesUnderContention) {
    const OsalSem sem = osalApi->semCreate(TRUE);
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    int inside = 0;
    int entries = 0;
    std::atomic<int> failures{0};
    std::array<std::thread, kThreads> threads;
    for (std::thread& t : threads) {
        t = std::thread([&] {
            for (int i = 0; i < kRounds; ++i) {
                if (osalApi->semWait(sem, kGenerousMs) != OSAL_RES_SUCCESS) {
                    ++failures;
                    return;
                }
                failures += ++inside != 1 ? 1 : 0;
                ++entries;
                --inside;
                osalApi->semSignal(sem);
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(entries, kThreads * kRounds);
}

TEST(IcOsalDeathTest, ReleasingAnAvailableSemaphoreIsFatal) {
    const std::string text = "icOsal:73:FAIL: " + std::to_string(EOVERFLOW) + " " + std::strerror(EOVERFLOW);
    EXPECT_EXIT((dup2(STDERR_FILENO, STDOUT_FILENO), osalApi->semSignal(osalApi->semCreate(TRUE))),
                testing::ExitedWithCode(2),
                testing::MatchesRegex(text + "\nhal/mcu/posix/icOsal:[0-9]+: \\(F\\) Assertion failed 'FALSE'\n"));
}

TEST(IcOsalTest, WaitObjectStaysSetUntilResetAndItsDescriptorFollows) {
    const OsalWaitObject obj = osalApi->waitObjCreate();
    EXPECT_FALSE(osalWaitObjIsSet(obj) || fdReadable(obj));
    osalApi->waitObjSignal(obj);
    osalApi->waitObjSignal(obj);
    EXPECT_TRUE(osalWaitObjIsSet(obj) && fdReadable(obj));
    osalApi->waitForObjects(&obj, 1, 0);  // both return at once
    osalApi->waitForObjects(&obj, 1, 0);
    osalApi->waitObjectReset(obj);  // one reset clears both signals
    EXPECT_FALSE(osalWaitObjIsSet(obj) || fdReadable(obj));
    const auto start = Clock::now();
    osalApi->waitForObjects(&obj, 1, 10);
    EXPECT_GE(Clock::now() - start, milliseconds(10));
}

TEST(IcOsalTest, WaitReturnsWhenAnyOneObjectIsSet) {
    const OsalWaitObject list[3] = {osalApi->waitObjCreate(), osalApi->waitObjCreate(), osalApi->waitObjCreate()};
    for (int which = 0; which < 3; ++which) {
        osalApi->waitObjSignal(list[which]);
        osalApi->waitForObjects(list, 3, 0);  // already set
        osalApi->waitObjectReset(list[which]);
        std::thread other([&] {
            std::this_thread::sleep_for(milliseconds(20));
            osalApi->waitObjSignal(list[which]);
        });
        osalApi->waitForObjects(list, 3, 0);  // set while asleep, no limit
        EXPECT_TRUE(osalWaitObjIsSet(list[which])) << which;
        other.join();
        osalApi->waitObjectReset(list[which]);
    }
}

// One signal racing with one reset, many times over, lined up
// on a common instant with the signal shifted from 1 us before to 1 us after:
// once both are done the descriptor must mirror the flag (a set object that a
// poller sleeps through, or a clear one that keeps waking it, are faults).
TEST(IcOsalTest, ConcurrentSignalAndResetLeaveTheDescriptorMirroringTheFlag) {
    constexpr int kRounds = 5000;
    const OsalWaitObject obj = osalApi->waitObjCreate();
    std::atomic<int> start{0};
    std::atomic<int> done{0};
    std::atomic<Clock::rep> instant{0};
    const auto racer = [&](bool signals) {
        for (int round = 1; round <= kRounds; ++round) {
            while (start.load() < round) {
                std::this_thread::yield();  // three threads may share two cores
            }
            const auto shift = std::chrono::nanoseconds(signals ? (round % 41 - 20) * 50 : 0);
            const Clock::time_point at{Clock::duration(instant.load()) + shift};
            while (Clock::now() < at) {
            }
            signals ? osalApi->waitObjSignal(obj) : osalApi->waitObjectReset(obj);
            ++done;
        }
    };
    std::thread signaller(racer, true);
    std::thread resetter(racer, false);
    int mismatches = 0;
    for (int round = 1; round <= kRounds; ++round) {
        // Set, the reset drains what the signal just wrote; clear, the signal
        // writes after the reset has drained.
        round % 2 == 0 ? osalApi->waitObjSignal(obj) : osalApi->waitObjectReset(obj);
        instant = (Clock::now() + std::chrono::microseconds(50)).time_since_epoch().count();
        start = round;
        while (done.load() < 2 * round) {
            std::this_thread::yield();
        }
        mismatches += fdReadable(obj) != (osalWaitObjIsSet(obj) == TRUE) ? 1 : 0;
    }
    signaller.join();
    resetter.join();
    EXPECT_EQ(mismatches, 0);
}

// A watch object wakes a waiter for its descriptor and nothing else: set
// while poll() reports the events asked for, left out of the wait without.
TEST(IcOsalTest, WatchObjectFollowsItsDescriptor) {
    std::array<int, 2> pipeFds{};
    ASSERT_EQ(pipe(pipeFds.data()), 0);
    const OsalWaitObject obj = osalApi->waitObjCreate();
    const auto waitSetsIt = [&obj](U16 limit) {
        osalApi->waitForObjects(&obj, 1, limit);
        const bool set = osalWaitObjIsSet(obj) == TRUE;
        osalApi->waitObjectReset(obj);
        return set;
    };
    icOsalPosixWaitObjWatchFd(obj, pipeFds[0], POLLIN);
    EXPECT_FALSE(waitSetsIt(20)) << "nothing to read";
    ASSERT_EQ(write(pipeFds[1], "x", 1), 1);
    EXPECT_TRUE(waitSetsIt(kGenerousMs));
    EXPECT_TRUE(waitSetsIt(kGenerousMs)) << "still readable: set again after a reset";
    icOsalPosixWaitObjWatchFd(obj, pipeFds[0], 0);
    EXPECT_FALSE(waitSetsIt(20)) << "not watched: left out however it stands";
    icOsalPosixWaitObjWatchFd(obj, pipeFds[1], POLLOUT);
    EXPECT_TRUE(waitSetsIt(kGenerousMs));
    EXPECT_EQ(icOsalPosixWaitObjRevents(obj), 0) << "cleared with the object";
    icOsalPosixWaitObjWatchFd(obj, pipeFds[0], POLLIN);
    close(pipeFds[1]);
    char byte = 0;
    ASSERT_EQ(read(pipeFds[0], &byte, 1), 1);
    osalApi->waitForObjects(&obj, 1, kGenerousMs);
    EXPECT_NE(icOsalPosixWaitObjRevents(obj) & POLLHUP, 0) << "a hang-up wakes the owner too";
    close(pipeFds[0]);
}

int ownNice() { return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())); }

TEST(IcOsalTest, PriorityIsTheCallingThreadsNiceValueAndTasksStartNormal) {
    const int base = ownNice();
    const auto niceAfter = [](int prio) {
        int nice = 0;
        std::thread([&] {
            osalApi->setPriority(static_cast<OsalPrio>(prio));
            nice = ownNice();
        }).join();
        return nice;
    };
    EXPECT_GT(niceAfter(OSAL_PRIO_LOW), base);
    EXPECT_EQ(niceAfter(7), base);
    EXPECT_LE(niceAfter(OSAL_PRIO_HIGH), base) << "raised where permitted, otherwise left alone";
    EXPECT_EQ(ownNice(), base);

    struct Probe {
        OsalSem done;
        int nice;
    } probe{osalApi->semCreate(FALSE), 99};
    std::thread([&] {
        osalApi->setPriority(OSAL_PRIO_HIGH);
        osalApi->taskCreate(
            [](void* arg) {
                static_cast<Probe*>(arg)->nice = ownNice();
                osalApi->semSignal(static_cast<Probe*>(arg)->done);
            },
            &probe);
    }).join();
    ASSERT_EQ(osalApi->semWait(probe.done, kGenerousMs), OSAL_RES_SUCCESS);
    EXPECT_EQ(probe.nice, base);
}

TEST(IcOsalTest, QueueDeliversInSendingOrder) {
    OsalQueue q = nullptr;
    ASSERT_EQ(osalApi->queueCreate("messages", &q), OSAL_RES_SUCCESS);
    int a = 0;
    int b = 0;
    osalApi->queueSend(q, 1, &a);
    osalApi->queueSend(q, 2, &b);
    U32 signal = 0;
    void* content = nullptr;
    EXPECT_EQ(osalApi->queueRecv(q, 0, &signal, &content), OSAL_RES_SUCCESS);
    EXPECT_TRUE(signal == 1 && content == &a);
    EXPECT_EQ(osalApi->queueRecv(q, 0, &signal, &content), OSAL_RES_SUCCESS);
    EXPECT_TRUE(signal == 2 && content == &b);
    EXPECT_EQ(osalApi->queueRecv(q, 0, &signal, &content), OSAL_RES_TIMEOUT);
    EXPECT_EQ(osalApi->queueRecv(nullptr, 0, &signal, &content), OSAL_RES_FAIL);

    std::thread sender([&] {
        for (U32 i = 0; i < 2000; ++i) {
            osalApi->queueSend(q, i, nullptr);  // mostly into a non-empty queue
        }
    });
    U32 expected = 0;
    while (expected < 2000 && osalApi->queueRecv(q, kGenerousMs, &signal, &content) == OSAL_RES_SUCCESS) {
        ASSERT_EQ(signal, expected++);
    }
    sender.join();
    EXPECT_EQ(expected, 2000U);
    osalApi->queueSend(q, 5, nullptr);
    EXPECT_EQ(osalApi->queueDelete(q), OSAL_RES_SUCCESS);  // with a message still in it
}
}  // namespace
