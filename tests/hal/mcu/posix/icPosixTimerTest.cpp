#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "hal/include/icPlatformTimer.h"

namespace {
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Record {
    std::atomic<int> calls{0};
    int stallOnCall = 0;  // the machine being busy on that call
    milliseconds stall{0};
    int killSelfOnCall = 0;
    std::atomic<bool> stalling{false};
    std::atomic<bool> stallOver{false};
    Clock::time_point stallEnd;
    std::vector<Clock::time_point> times;  // written on the timer thread only
};

void record(U32 eventId, void* arg) {
    auto* r = static_cast<Record*>(arg);
    const int call = r->calls + 1;
    r->times.push_back(Clock::now());
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
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!pred() && Clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(1));
    }
    return pred();
}

TEST(IcPosixTimerTest, RoutineIsNotRunningOnceKillReturns) {
    Record r;
    r.stallOnCall = 3;
    r.stall = milliseconds(50);
    const U32 id = platformTimerSetEvent(1, record, &r, TRUE);
    ASSERT_TRUE(waitUntil([&] { return r.stalling.load(); }));
    platformTimerKillEvent(id);
    EXPECT_TRUE(r.stallOver) << "kill returned while the routine was still running";
    const int calls = r.calls;  // one more may have slipped in before the kill
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(r.calls, calls);
}

TEST(IcPosixTimerTest, RoutineMayCancelItsOwnEvent) {
    Record r;
    r.killSelfOnCall = 3;
    platformTimerSetEvent(1, record, &r, TRUE);
    ASSERT_TRUE(waitUntil([&] { return r.calls >= 3; }));
    std::this_thread::sleep_for(milliseconds(20));
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

// After a stall of twelve periods the event fires once and keeps its pace: in
// any stretch after the stall it fires at most about stretch / period times,
// however late the scheduler runs the thread.
TEST(IcPosixTimerTest, PeriodicEventThatFellBehindSkipsMissedExpiries) {
    constexpr milliseconds kPeriod{5};
    constexpr milliseconds kWindow{20};
    Record r;
    r.stallOnCall = 1;
    r.stall = kPeriod * 12;
    const U32 id = platformTimerSetEvent(static_cast<U16>(kPeriod.count()), record, &r, TRUE);
    ASSERT_TRUE(waitUntil([&] { return r.stallOver && Clock::now() > r.stallEnd + kWindow; }));
    const int seen = r.calls;
    ASSERT_TRUE(waitUntil([&] { return r.calls > seen; }));  // the window is complete
    platformTimerKillEvent(id);
    long inWindow = 0;
    for (const auto& t : r.times) {
        inWindow += (t >= r.stallEnd && t < r.stallEnd + kWindow) ? 1 : 0;
    }
    EXPECT_LE(inWindow, kWindow / kPeriod + 2);
}
}  // namespace
