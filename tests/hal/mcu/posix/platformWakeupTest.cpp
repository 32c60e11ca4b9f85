// The lean paths of the platform layer: semaphores that stay in user space
// until they must sleep (no lost wake-up, no double owner), and timer
// expiries that the thread sleeping until the next one serves itself.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "hal/include/icOsal.h"
#include "hal/include/icPlatformTimer.h"

namespace {
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr U32 kGenerousMs = 10000;

TEST(PlatformWakeupTest, SemaphoreUnderContentionHasOneOwnerAtATime) {
    const OsalSem sem = osalApi->semCreate(TRUE);
    constexpr int kThreads = 4;
    constexpr int kRounds = 40000;
    long counter = 0;  // guarded by sem only
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                if (osalApi->semWait(sem, kGenerousMs) != OSAL_RES_SUCCESS) {
                    ++failures;
                    continue;
                }
                if (inside.fetch_add(1) != 0) {
                    ++overlaps;
                }
                ++counter;
                inside.fetch_sub(1);
                osalApi->semSignal(sem);
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(counter, static_cast<long>(kThreads) * kRounds);
}

// Two threads hand a token back and forth through two semaphores created
// taken, as the drivers' start and stop handshakes do: each release must
// wake the sleeper, whichever side gets there first.
TEST(PlatformWakeupTest, HandshakesNeverLoseAWakeUp) {
    const OsalSem ping = osalApi->semCreate(FALSE);
    const OsalSem pong = osalApi->semCreate(FALSE);
    constexpr int kRounds = 20000;
    std::atomic<int> failures{0};
    std::thread other([&] {
        for (int i = 0; i < kRounds; ++i) {
            if (osalApi->semWait(ping, kGenerousMs) != OSAL_RES_SUCCESS) {
                ++failures;
                return;
            }
            osalApi->semSignal(pong);
        }
    });
    for (int i = 0; i < kRounds && failures == 0; ++i) {
        osalApi->semSignal(ping);
        if (osalApi->semWait(pong, kGenerousMs) != OSAL_RES_SUCCESS) {
            ++failures;
        }
    }
    other.join();
    EXPECT_EQ(failures, 0);
    // Both end taken: a time-out still reports a time-out.
    EXPECT_EQ(osalApi->semWait(ping, 20), OSAL_RES_TIMEOUT);
    EXPECT_EQ(osalApi->semWait(pong, 0), OSAL_RES_TIMEOUT);
}

struct Expiries {
    OsalWaitObject event = nullptr;
    int calls = 0;
};

void markExpiry(U32 /*eventId*/, void* arg) {
    auto* e = static_cast<Expiries*>(arg);
    ++e->calls;
    osalApi->waitObjSignal(e->event);
}

// The main loop's way with timer events: it sleeps on its objects no longer
// than the next due time and serves what is due itself. Every pass finds an
// expiry: the loop never wakes for nothing, and never too early.
TEST(PlatformWakeupTest, ThreadSleepingUntilTheNextDueTimeServesEveryExpiry) {
    Expiries e;
    e.event = osalApi->waitObjCreate();
    const U32 id = platformTimerSetEvent(2, markExpiry, &e, TRUE);
    ASSERT_NE(id, 0U);
    int passes = 0;
    int wakes = 0;
    const auto giveUp = Clock::now() + std::chrono::seconds(20);
    while (wakes < 100 && Clock::now() < giveUp) {
        ++passes;
        const U32 due = platformTimerNextDue_ms();
        if (due != 0) {
            osalApi->waitForObjects(&e.event, 1, static_cast<U16>(std::min<U32>(due, 1000)));
        }
        platformTimerServeDue();
        if (osalWaitObjIsSet(e.event)) {
            osalApi->waitObjectReset(e.event);
            ++wakes;
        }
    }
    platformTimerKillEvent(id);
    EXPECT_EQ(wakes, 100);
    EXPECT_EQ(passes, wakes) << "a pass that found nothing due";
    EXPECT_EQ(e.calls, wakes);
}

}  // namespace
