#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

#include "hal/include/icPlatformTimer.h"

namespace {
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kGenerous{5000};

struct Record {
    std::atomic<int> calls{0};
    std::atomic<U32> lastId{0};
    std::thread::id thread;
    Clock::time_point first;
    // Stalls the routine on this call number (the machine being busy).
    int stallOnCall = 0;
    milliseconds stall{0};
    std::atomic<bool> stalling{false};
    std::atomic<bool> stallOver{false};
    Clock::time_point stallEnd;
    std::vector<Clock::time_point> times;  // written only on the timer thread
    int killSelfOnCall = 0;
};

void record(U32 eventId, void* arg) {
    auto* r = static_cast<Record*>(arg);
    const int call = r->calls.load() + 1;
    const auto now = Clock::now();
    if (call == 1) {
        r->thread = std::this_thread::get_id();
        r->first = now;
    }
    r->times.push_back(now);
    r->lastId = eventId;
    if (call == r->stallOnCall) {
        r->stalling = true;
        std::this_thread::sleep_for(r->stall);
        r->stallEnd = Clock::now();
        r->stallOver = true;
    }
    if (call == r->killSelfOnCall) {
        platformTimerKillEvent(eventId);
    }
    r->calls = call;
}

template <typename Pred>
bool waitUntil(Pred pred) {
    const auto deadline = Clock::now() + kGenerous;
    while (!pred()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

TEST(IcPosixTimerTest, OneShotFiresOnceOnTheTimerThread) {
    Record r;
    const auto start = Clock::now();
    const U32 id = platformTimerSetEvent(20, record, &r, FALSE);
    ASSERT_NE(id, 0U);
    ASSERT_TRUE(waitUntil([&] { return r.calls >= 1; }));
    EXPECT_GE(r.first - start, milliseconds(20));
    EXPECT_EQ(r.lastId, id);
    EXPECT_NE(r.thread, std::this_thread::get_id());
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(r.calls, 1);
    platformTimerKillEvent(id);  // cancelling a spent event is harmless
}

TEST(IcPosixTimerTest, RoutineIsNotRunningOnceKillReturns) {
    Record r;
    r.stallOnCall = 3;
    r.stall = milliseconds(50);
    const U32 id = platformTimerSetEvent(1, record, &r, TRUE);
    ASSERT_TRUE(waitUntil([&] { return r.stalling.load(); }));
    platformTimerKillEvent(id);
    EXPECT_TRUE(r.stallOver) << "kill returned while the routine was still running";
    const int calls = r.calls;
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_EQ(r.calls, calls);
}

TEST(IcPosixTimerTest, RoutineMayCancelItsOwnEvent) {
    Record r;
    r.killSelfOnCall = 3;
    platformTimerSetEvent(1, record, &r, TRUE);
    ASSERT_TRUE(waitUntil([&] { return r.calls >= 3; }));
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_EQ(r.calls, 3);
}

TEST(IcPosixTimerTest, StaleIdDoesNotCancelALaterEvent) {
    Record first;
    Record second;
    const U32 old = platformTimerSetEvent(1000, record, &first, TRUE);
    platformTimerKillEvent(old);
    const U32 fresh = platformTimerSetEvent(10, record, &second, FALSE);  // likely the same slot
    EXPECT_NE(fresh, old);
    platformTimerKillEvent(old);
    EXPECT_TRUE(waitUntil([&] { return second.calls == 1; }));
    EXPECT_EQ(first.calls, 0);
}

// After a stall of twelve periods a periodic event fires once and keeps its
// pace: in any stretch of time after the stall it fires at most about
// stretch / period times, whatever the scheduler does.
TEST(IcPosixTimerTest, PeriodicEventThatFellBehindSkipsMissedExpiries) {
    constexpr milliseconds kPeriod{5};
    constexpr milliseconds kWindow{20};
    Record r;
    r.stallOnCall = 1;
    r.stall = kPeriod * 12;
    const U32 id = platformTimerSetEvent(static_cast<U16>(kPeriod.count()), record, &r, TRUE);
    ASSERT_TRUE(waitUntil([&] { return r.stallOver.load() && Clock::now() > r.stallEnd + kWindow; }));
    // Wait for one call past the window so the window is complete.
    const int seen = r.calls;
    ASSERT_TRUE(waitUntil([&] { return r.calls > seen; }));
    platformTimerKillEvent(id);
    int inWindow = 0;
    for (const auto& t : r.times) {
        if (t >= r.stallEnd && t < r.stallEnd + kWindow) {
            ++inWindow;
        }
    }
    EXPECT_LE(inWindow, kWindow / kPeriod + 2);
}

U32 fixedTick() { return 0xFFFFFFFFU; }

TEST(IcPosixTimerTest, TickCountIsMonotonicMillisecondsOrTheTestSource) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto expected = static_cast<U32>(static_cast<unsigned long long>(now.tv_sec) * 1000ULL +
                                           static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL);
    EXPECT_LT(platformTimerGetTickCount() - expected, 1000U);
    platformTimerSetTickSource(fixedTick);
    EXPECT_EQ(platformTimerGetTickCount(), 0xFFFFFFFFU);
    platformTimerSetTickSource(nullptr);
    EXPECT_LT(platformTimerGetTickCount() - expected, 10000U);
}
}  // namespace
