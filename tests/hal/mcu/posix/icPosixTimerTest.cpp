#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "hal/include/icPlatformTimer.h"

namespace {
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Record {
    int calls = 0;
    int killSelfOnCall = 0;
};

void record(U32 eventId, void* arg) {
    auto* r = static_cast<Record*>(arg);
    ++r->calls;
    if (r->calls == r->killSelfOnCall) {
        platformTimerKillEvent(eventId);
    }
}

// The serving thread's share, as the main loop does it: sleep no longer than
// the next due time, then run what is due.
void serveFor(milliseconds duration) {
    for (const auto end = Clock::now() + duration; Clock::now() < end;) {
        const U32 due = platformTimerNextDue_ms();
        std::this_thread::sleep_for(milliseconds(std::min<U32>(due, 5)));
        platformTimerServeDue();
    }
}

TEST(IcPosixTimerTest, NothingIsDueWhileNoEventIsSet) {
    EXPECT_EQ(platformTimerNextDue_ms(), MAX_U32);
    const U32 id = platformTimerSetEvent(1000, record, nullptr, FALSE);
    platformTimerKillEvent(id);
    EXPECT_EQ(platformTimerNextDue_ms(), MAX_U32) << "a cancelled event leaves nothing to wake for";
}

// A sleep as long as the next due time ends with the event due, never before.
TEST(IcPosixTimerTest, SleepingUntilTheNextDueTimeFindsTheEventDue) {
    for (const U16 delay : {U16{7}, U16{20}, U16{35}}) {
        Record r;
        const auto start = Clock::now();
        const U32 id = platformTimerSetEvent(delay, record, &r, FALSE);
        const U32 due = platformTimerNextDue_ms();
        EXPECT_GE(due, 1U) << delay;
        EXPECT_LE(due, delay) << delay;
        platformTimerServeDue();
        EXPECT_EQ(r.calls, 0) << "not before its time: " << delay;
        std::this_thread::sleep_for(milliseconds(due));
        EXPECT_EQ(platformTimerNextDue_ms(), 0U) << delay;
        platformTimerServeDue();
        EXPECT_EQ(r.calls, 1) << delay;
        EXPECT_GE(Clock::now() - start, milliseconds(delay));
        EXPECT_EQ(platformTimerNextDue_ms(), MAX_U32) << "a one-shot event is spent: " << delay;
        platformTimerKillEvent(id);  // a late cancel is harmless
    }
}

TEST(IcPosixTimerTest, KilledEventIsNotServed) {
    Record r;
    const U32 id = platformTimerSetEvent(1, record, &r, TRUE);
    std::this_thread::sleep_for(milliseconds(5));
    platformTimerKillEvent(id);
    platformTimerServeDue();
    EXPECT_EQ(r.calls, 0);
}

TEST(IcPosixTimerTest, RoutineMayCancelItsOwnEvent) {
    Record r;
    r.killSelfOnCall = 3;
    platformTimerSetEvent(1, record, &r, TRUE);
    serveFor(milliseconds(40));
    EXPECT_EQ(r.calls, 3);
    EXPECT_EQ(platformTimerNextDue_ms(), MAX_U32);
}

TEST(IcPosixTimerTest, StaleIdDoesNotCancelALaterEvent) {
    Record first;
    Record second;
    const U32 old = platformTimerSetEvent(1000, record, &first, TRUE);
    platformTimerKillEvent(old);
    const U32 fresh = platformTimerSetEvent(10, record, &second, FALSE);  // likely the same slot
    EXPECT_NE(fresh, old);
    platformTimerKillEvent(old);
    serveFor(milliseconds(40));
    EXPECT_EQ(second.calls, 1);
    EXPECT_EQ(first.calls, 0);
}

// After the serving thread was busy for twelve periods the event fires once
// and keeps its phase: the missed expiries are not fired in a burst.
TEST(IcPosixTimerTest, PeriodicEventThatFellBehindSkipsMissedExpiries) {
    constexpr U16 kPeriod = 5;
    Record r;
    const U32 id = platformTimerSetEvent(kPeriod, record, &r, TRUE);
    std::this_thread::sleep_for(milliseconds(kPeriod * 12));
    platformTimerServeDue();
    platformTimerServeDue();
    EXPECT_EQ(r.calls, 1);
    const U32 due = platformTimerNextDue_ms();
    EXPECT_GE(due, 1U);
    EXPECT_LE(due, kPeriod);
    platformTimerKillEvent(id);
}
}  // namespace
