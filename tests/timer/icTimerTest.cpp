#include "timer/icTimer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "hal/include/icPlatformTimer.h"

namespace {
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Calls {
    std::vector<Clock::time_point> at;
    IcTimerHandle handle = 0xFF;
    std::thread::id thread;
};

void countCall(void* cbArg, IcTimerHandle th) {
    auto* calls = static_cast<Calls*>(cbArg);
    calls->at.push_back(Clock::now());
    calls->handle = th;
    calls->thread = std::this_thread::get_id();
}

void noop(void*, IcTimerHandle) {}

// The main loop's share: sleep on the service's wait object no longer than
// its next deadline, run what is due.
void serveFor(
    milliseconds duration, const std::function<bool()>& done = [] { return false; }) {
    const OsalWaitObject event = hioTimerGetWaitObject();
    for (const auto end = Clock::now() + duration; Clock::now() < end && !done();) {
        const U32 due = icTimerNextDeadline_ms();
        if (due != 0) {
            osalApi->waitForObjects(&event, 1, static_cast<U16>(std::min<U32>(due, 100)));
        }
        icTimerExe();
    }
}

class IcTimerTest : public testing::Test {
protected:
    void SetUp() override {
        icTimerInit();
        th = icTimerAlloc(&calls);
    }
    Calls calls;
    IcTimerHandle th = 0;
};

// With no timer running nothing wakes a thread that sleeps on the service:
// the system time is read off the clock, not counted by a tick.
TEST_F(IcTimerTest, NothingWakesWhileNoTimerRuns) {
    EXPECT_EQ(icTimerNextDeadline_ms(), MAX_U32);
    const OsalWaitObject event = hioTimerGetWaitObject();
    const auto start = Clock::now();
    osalApi->waitForObjects(&event, 1, 30);
    EXPECT_GE(Clock::now() - start, milliseconds(30));
    EXPECT_FALSE(osalWaitObjIsSet(event));
    icTimerExe();
    EXPECT_TRUE(calls.at.empty());
}

U32 tickValue = 0;

TEST(IcTimerSysTimeTest, SystemTimeStepsEvery1001MillisecondsFromInit) {
    platformTimerSetTickSource([] { return tickValue; });
    tickValue = 0xFFFFF000;  // the count wraps on the way
    icTimerInit();
    for (const auto& [elapsed, expected] : {std::pair<U32, IcTimerSeconds>{0, 0}, {1000, 0}, {1001, 1}, {5005, 5}}) {
        tickValue = 0xFFFFF000 + elapsed;
        EXPECT_EQ(hioTimerGetSysTime(), expected) << elapsed;
    }
    platformTimerSetTickSource(nullptr);
}

TEST_F(IcTimerTest, HandlesFollowTheSystemTickAndLimitsAreFatal) {
    EXPECT_EQ(th, 1);
    EXPECT_EQ(icTimerAlloc(nullptr), 2);
    EXPECT_EQ(icTimerStart(th, HIO_TIM_MAX_PERIOD, IC_TIMER_FIRE_ONCE, noop), IC_TIMER_RC_OK);
    EXPECT_EQ(icTimerStop(th), IC_TIMER_RC_OK);

    const std::pair<const char*, std::function<void()>> cases[] = {
        {"nextFreeTimer < TIM_NUM_TIMERS",
         [] {
             for (int i = 3; i <= TIM_NUM_TIMERS; ++i) {
                 icTimerAlloc(nullptr);
             }
         }},
        {"ms <= HIO_TIM_MAX_PERIOD", [this] { icTimerStart(th, 64001, IC_TIMER_FIRE_ONCE, noop); }},
        {"tcb != NULL", [this] { icTimerStart(th, 10, IC_TIMER_FIRE_ONCE, nullptr); }},
        {"th < nextFreeTimer", [] { icTimerStart(3, 10, IC_TIMER_FIRE_ONCE, noop); }},
        {"th < nextFreeTimer", [] { icTimerStop(TIM_NUM_TIMERS); }},
    };
    for (const auto& [condition, call] : cases) {
        EXPECT_EXIT((dup2(STDERR_FILENO, STDOUT_FILENO), call()), testing::ExitedWithCode(2),
                    testing::MatchesRegex("\ntimer/icTimer:[0-9]+: \\(F\\) Assertion failed '" +
                                          std::string(condition) + "'\n"));
    }
}

TEST_F(IcTimerTest, OneShotCallsBackOnceOnTheServingThread) {
    const auto start = Clock::now();
    icTimerStart(th, 50, IC_TIMER_FIRE_ONCE, countCall);
    serveFor(std::chrono::seconds(5), [&] { return !calls.at.empty(); });
    serveFor(milliseconds(100));
    ASSERT_EQ(calls.at.size(), 1U);
    EXPECT_GE(calls.at[0] - start, milliseconds(50));
    EXPECT_EQ(calls.handle, th);
    EXPECT_EQ(calls.thread, std::this_thread::get_id());
}

// The deadline says when icTimerExe has work: within the period while the
// timer runs (or never, where the platform wakes the loop through the wait
// object), now once it has expired, and never after a stop.
TEST_F(IcTimerTest, NextDeadlineTellsWhenExeHasWork) {
    icTimerStart(th, 20, IC_TIMER_FIRE_ONCE, countCall);
    const U32 running = icTimerNextDeadline_ms();
    EXPECT_TRUE(running == MAX_U32 || (running >= 1 && running <= 20)) << running;
    std::this_thread::sleep_for(milliseconds(60));
    EXPECT_EQ(icTimerNextDeadline_ms(), 0U);
    icTimerExe();
    EXPECT_EQ(calls.at.size(), 1U);
    EXPECT_EQ(icTimerNextDeadline_ms(), MAX_U32);
    icTimerStart(th, 20, IC_TIMER_FIRE_ONCE, countCall);
    icTimerStop(th);
    EXPECT_EQ(icTimerNextDeadline_ms(), MAX_U32);
}

TEST_F(IcTimerTest, UnservedPeriodicExpiriesMergeIntoOneCall) {
    icTimerStart(th, 10, IC_TIMER_FIRE_REPEATEDLY, countCall);
    std::this_thread::sleep_for(milliseconds(55));
    icTimerExe();
    EXPECT_LE(calls.at.size(), 1U);
    serveFor(std::chrono::seconds(5), [&] { return calls.at.size() >= 3; });
    EXPECT_GE(calls.at.size(), 3U) << "keeps running";
}

// Neither the old period nor an expiry of it still waiting to be served may
// reach the callback after a restart or a stop.
TEST_F(IcTimerTest, RestartAndStopDropThePendingExpiry) {
    icTimerStart(th, 5, IC_TIMER_FIRE_REPEATEDLY, countCall);
    std::this_thread::sleep_for(milliseconds(30));
    const auto restart = Clock::now();
    icTimerStart(th, 200, IC_TIMER_FIRE_ONCE, countCall);
    serveFor(milliseconds(100));
    for (const auto& at : calls.at) {
        EXPECT_GE(at - restart, milliseconds(200));
    }
    icTimerStart(th, 5, IC_TIMER_FIRE_ONCE, countCall);
    std::this_thread::sleep_for(milliseconds(30));
    calls.at.clear();
    icTimerStop(th);
    serveFor(milliseconds(50));
    EXPECT_TRUE(calls.at.empty());
}

TEST(IcTimerTickTest, RunningTimerIsTheLowSixteenBitsOfTheTickCount) {
    platformTimerSetTickSource([] { return tickValue; });
    for (const auto& [tick, expected] : {std::pair<U32, IcTimerTick>{65535, 65535}, {65536, 0}, {0xFFFFFFFF, 65535}}) {
        tickValue = tick;
        EXPECT_EQ(icTimerGetRunningTimer_ms(), expected) << tick;
    }
    platformTimerSetTickSource(nullptr);
}
}  // namespace
