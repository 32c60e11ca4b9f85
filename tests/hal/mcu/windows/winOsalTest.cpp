// The Win32 operations table and timer events where they are the layer's own
// work: locks kept in user space, wait objects that mirror their event, the
// priority mapping, and timer events that never fire early or after they were
// cancelled.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <io.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "hal/include/icLocalTime.h"
#include "hal/include/icOsal.h"
#include "hal/include/icPlatformTimer.h"
#include "hal/mcu/windows/icWin.h"

namespace {
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Only lower bounds on elapsed time are checked; this one just ends a hang.
constexpr U32 kGenerousMs = 10000;

// The fatal-error handler writes to standard output; death tests read the
// child's standard error.
void stdoutToStderr() {
    std::fflush(stdout);
    _dup2(_fileno(stderr), _fileno(stdout));
}

bool eventIsSet(OsalWaitObject obj) { return WaitForSingleObject(icWinWaitObjectHandle(obj), 0) == WAIT_OBJECT_0; }

TEST(WinOsalTest, SemaphoreCountsToOneTimesOutAndIsReleasedAcrossThreads) {
    const OsalSem sem = osalApi->semCreate(TRUE);
    EXPECT_EQ(osalApi->semWait(sem, 0), OSAL_RES_SUCCESS);
    EXPECT_EQ(osalApi->semWait(sem, 0), OSAL_RES_TIMEOUT);
    for (const U32 limit : {1U, 15U, 30U}) {  // below, at and above a system tick
        const auto start = Clock::now();
        EXPECT_EQ(osalApi->semWait(sem, limit), OSAL_RES_TIMEOUT);
        EXPECT_GE(Clock::now() - start, milliseconds(limit)) << limit;
    }
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

TEST(WinOsalDeathTest, ReleasingAnAvailableSemaphoreIsFatalWithTheSystemsText) {
    std::array<char, 256> text{};
    icWinErrorText(ERROR_TOO_MANY_POSTS, text.data(), text.size());
    EXPECT_EXIT((stdoutToStderr(), osalApi->semSignal(osalApi->semCreate(TRUE))), testing::ExitedWithCode(2),
                testing::HasSubstr("icOsal:73:FAIL: 298 " + std::string(text.data()) + "\nhal/mcu/windows/icOsal:"));
}

// Every sequence of signals and resets leaves the event where the flag is: a
// set object the system does not see would leave a waiter asleep, a clear one
// it sees as set would wake it for ever.
TEST(WinOsalTest, WaitObjectEventFollowsEverySignalAndReset) {
    const std::vector<std::string> sequences = {"s", "ss", "sr", "srs", "rr", "srrs", "ssrr"};
    for (const std::string& sequence : sequences) {
        const OsalWaitObject obj = osalApi->waitObjCreate();
        ASSERT_NE(obj, nullptr);
        for (const char step : sequence) {
            step == 's' ? osalApi->waitObjSignal(obj) : osalApi->waitObjectReset(obj);
            EXPECT_EQ(eventIsSet(obj), osalWaitObjIsSet(obj) == TRUE) << sequence;
        }
        EXPECT_EQ(osalWaitObjIsSet(obj) == TRUE, sequence.back() == 's') << sequence;
    }

    // Signals and resets from two threads at once, then a look at both.
    const OsalWaitObject obj = osalApi->waitObjCreate();
    std::atomic<bool> go{false};
    const auto hammer = [&](bool signals) {
        while (!go.load()) {
            std::this_thread::yield();
        }
        for (int i = 0; i < 20000; ++i) {
            signals ? osalApi->waitObjSignal(obj) : osalApi->waitObjectReset(obj);
        }
    };
    std::thread signaller(hammer, true);
    std::thread resetter(hammer, false);
    go = true;
    signaller.join();
    resetter.join();
    EXPECT_EQ(eventIsSet(obj), osalWaitObjIsSet(obj) == TRUE);
}

TEST(WinOsalTest, WaitReturnsForAnyObjectAndKeepsItsLimitOnTheFineClock) {
    const OsalWaitObject list[3] = {osalApi->waitObjCreate(), osalApi->waitObjCreate(), osalApi->waitObjCreate()};
    for (int which = 0; which < 3; ++which) {
        std::thread other([&] {
            std::this_thread::sleep_for(milliseconds(20));
            osalApi->waitObjSignal(list[which]);
        });
        osalApi->waitForObjects(list, 3, 0);  // no limit
        EXPECT_TRUE(osalWaitObjIsSet(list[which])) << which;
        other.join();
        osalApi->waitForObjects(list, 3, 0);  // still set: at once
        osalApi->waitObjectReset(list[which]);
    }
    for (const U16 limit : {1, 10, 20}) {
        const auto start = Clock::now();
        osalApi->waitForObjects(list, 3, limit);
        EXPECT_GE(Clock::now() - start, milliseconds(limit)) << limit;
    }
}

TEST(WinOsalTest, PrioritiesMapToThreadPrioritiesAndTasksStartNormal) {
    const std::pair<int, int> cases[] = {
        {OSAL_PRIO_HIGH, THREAD_PRIORITY_TIME_CRITICAL},
        {OSAL_PRIO_NORMAL, THREAD_PRIORITY_NORMAL},
        {OSAL_PRIO_LOW, THREAD_PRIORITY_BELOW_NORMAL},
        {7, THREAD_PRIORITY_NORMAL},
    };
    for (const auto& [prio, expected] : cases) {
        int got = 0;
        std::thread([&] {
            osalApi->setPriority(static_cast<OsalPrio>(prio));
            got = GetThreadPriority(GetCurrentThread());
        }).join();
        EXPECT_EQ(got, expected) << prio;
    }

    struct Probe {
        OsalSem done;
        int priority;
    } probe{osalApi->semCreate(FALSE), 99};
    std::thread([&] {
        osalApi->setPriority(OSAL_PRIO_HIGH);
        osalApi->taskCreate(
            [](void* arg) {
                static_cast<Probe*>(arg)->priority = GetThreadPriority(GetCurrentThread());
                osalApi->semSignal(static_cast<Probe*>(arg)->done);
            },
            &probe);
    }).join();
    ASSERT_EQ(osalApi->semWait(probe.done, kGenerousMs), OSAL_RES_SUCCESS);
    EXPECT_EQ(probe.priority, THREAD_PRIORITY_NORMAL);
}

// ---- timer events ------------------------------------------------------------

struct Fired {
    std::atomic<int> count{0};
    std::atomic<Clock::rep> firstAt{0};
    std::atomic<bool> killSelf{false};
};

void countFiring(U32 eventId, void* arg) {
    auto* fired = static_cast<Fired*>(arg);
    if (fired->count++ == 0) {
        fired->firstAt = Clock::now().time_since_epoch().count();
    }
    if (fired->killSelf) {
        platformTimerKillEvent(eventId);
    }
}

bool waitFor(const std::function<bool()>& done) {
    for (const auto end = Clock::now() + milliseconds(kGenerousMs); Clock::now() < end;) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(milliseconds(1));
    }
    return false;
}

TEST(WinTimerTest, OneShotEventsNeverFireEarlyAndFireOnce) {
    for (const U16 delay : {0, 1, 5, 20}) {
        Fired fired;
        const auto start = Clock::now();
        ASSERT_NE(platformTimerSetEvent(delay, countFiring, &fired, FALSE), 0U);
        ASSERT_TRUE(waitFor([&] { return fired.count > 0; })) << delay;
        std::this_thread::sleep_for(milliseconds(30));
        EXPECT_EQ(fired.count, 1) << delay;
        EXPECT_GE(Clock::time_point(Clock::duration(fired.firstAt.load())) - start, milliseconds(delay)) << delay;
    }
}

TEST(WinTimerTest, NoRoutineRunsOnceItsEventIsCancelled) {
    // From another thread, while the periodic event keeps firing; and from
    // the routine itself, where waiting for the running routine would hang.
    for (const bool fromRoutine : {false, true}) {
        Fired fired;
        fired.killSelf = fromRoutine;
        const U32 id = platformTimerSetEvent(1, countFiring, &fired, TRUE);
        ASSERT_NE(id, 0U);
        ASSERT_TRUE(waitFor([&] { return fired.count >= 3 || (fromRoutine && fired.count >= 1); }));
        if (!fromRoutine) {
            platformTimerKillEvent(id);
        }
        const int afterCancel = fired.count;
        std::this_thread::sleep_for(milliseconds(30));
        EXPECT_EQ(fired.count, afterCancel) << fromRoutine;
        platformTimerKillEvent(id);  // a second cancel is harmless
    }
}

TEST(WinTimerTest, TickCountFollowsTheFineClock) {
    // Each reading of the tick is bracketed by two of the fine clock.
    const auto before = Clock::now();
    const U32 first = platformTimerGetTickCount();
    const auto afterFirst = Clock::now();
    std::this_thread::sleep_for(milliseconds(25));
    const auto beforeLast = Clock::now();
    const U32 ticks = platformTimerGetTickCount() - first;
    const auto after = Clock::now();
    const auto ms = [](Clock::duration d) { return std::chrono::duration_cast<milliseconds>(d).count(); };
    EXPECT_GE(static_cast<long long>(ticks) + 1, ms(beforeLast - afterFirst));
    EXPECT_LE(static_cast<long long>(ticks), ms(after - before) + 1);
}
// The wall clock in microseconds since 1970 and its local time: the same
// instant as the system's own local time (both read within a second).
TEST(WinLocalTimeTest, WallClockInstantReadsAsTheSystemsLocalTime) {
    SYSTEMTIME system{};
    IcLocalTime ours{};
    for (int attempt = 0; attempt < 3; ++attempt) {
        GetLocalTime(&system);
        icLocalTimeAt(icWallClockNow_us(), &ours);
        if (ours.second == system.wSecond) {
            break;  // not split by a change of second
        }
    }
    EXPECT_EQ(ours.year, system.wYear);
    EXPECT_EQ(ours.month, system.wMonth);
    EXPECT_EQ(ours.day, system.wDay);
    EXPECT_EQ(ours.hour, system.wHour);
    EXPECT_EQ(ours.minute, system.wMinute);
    EXPECT_EQ(ours.second, system.wSecond);
    IcLocalTime epoch{};
    icLocalTimeAt(86400ULL * 1000000ULL + 123456ULL, &epoch);  // 1970-01-02 00:00:00.123 UTC
    EXPECT_EQ(epoch.milliseconds, 123);
}
}  // namespace
