#include "timer/icTimer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "hal/include/icPlatformTimer.h"

namespace {
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kGenerous{5000};

struct Calls {
    std::vector<Clock::time_point> at;
    std::vector<IcTimerHandle> handles;
    std::thread::id thread;
};

void countCall(void* cbArg, IcTimerHandle th) {
    auto* calls = static_cast<Calls*>(cbArg);
    calls->at.push_back(Clock::now());
    calls->handles.push_back(th);
    calls->thread = std::this_thread::get_id();
}

void noop(void*, IcTimerHandle) {}

// The main loop's share of the timer service: sleep on its wait object, then
// run what is due.
void serveFor(
    milliseconds duration, const std::function<bool()>& done = [] { return false; }) {
    const OsalWaitObject event = hioTimerGetWaitObject();
    const auto end = Clock::now() + duration;
    while (Clock::now() < end && !done()) {
        osalApi->waitForObjects(&event, 1, 100);
        icTimerExe();
    }
}

class IcTimerTest : public testing::Test {
protected:
    void SetUp() override { icTimerInit(); }
};

TEST_F(IcTimerTest, SystemTickSetsTheEventEveryMillisecond) {
    const OsalWaitObject event = hioTimerGetWaitObject();
    ASSERT_NE(event, nullptr);
    bool seenClearAfterExe = false;
    for (int i = 0; i < 50 && !seenClearAfterExe; ++i) {
        osalApi->waitForObjects(&event, 1, static_cast<U16>(kGenerous.count()));
        ASSERT_TRUE(osalWaitObjIsSet(event));
        icTimerExe();
        seenClearAfterExe = osalWaitObjIsSet(event) == FALSE;
    }
    EXPECT_TRUE(seenClearAfterExe) << "icTimerExe clears the event it served";
}

TEST_F(IcTimerTest, HandlesAreGivenOutInOrderAfterTheSystemTick) {
    for (IcTimerHandle expected = 1; expected < TIM_NUM_TIMERS; ++expected) {
        EXPECT_EQ(icTimerAlloc(nullptr), expected);
    }
    EXPECT_EQ(icTimerStart(1, HIO_TIM_MAX_PERIOD, IC_TIMER_FIRE_ONCE, noop), IC_TIMER_RC_OK);
    EXPECT_EQ(icTimerStop(1), IC_TIMER_RC_OK);
}

TEST_F(IcTimerTest, AssertionsAreFatal) {
    struct Case {
        const char* condition;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"nextFreeTimer < TIM_NUM_TIMERS",
         [] {
             for (int i = 0; i < TIM_NUM_TIMERS; ++i) {
                 icTimerAlloc(nullptr);
             }
         }},
        {"ms <= HIO_TIM_MAX_PERIOD", [] { icTimerStart(icTimerAlloc(nullptr), 64001, IC_TIMER_FIRE_ONCE, noop); }},
        {"tcb != NULL", [] { icTimerStart(icTimerAlloc(nullptr), 10, IC_TIMER_FIRE_ONCE, nullptr); }},
        {"th < nextFreeTimer", [] { icTimerStart(1, 10, IC_TIMER_FIRE_ONCE, noop); }},
        {"th < nextFreeTimer", [] { icTimerStop(TIM_NUM_TIMERS); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.condition);
        EXPECT_EXIT(
            {
                dup2(STDERR_FILENO, STDOUT_FILENO);
                c.call();
            },
            testing::ExitedWithCode(2),
            testing::MatchesRegex("\ntimer/icTimer:[0-9]+: \\(F\\) Assertion failed '" + std::string(c.condition) +
                                  "'\n"));
    }
}

TEST_F(IcTimerTest, OneShotCallsBackOnceOnTheServingThread) {
    Calls calls;
    const IcTimerHandle th = icTimerAlloc(&calls);
    const auto start = Clock::now();
    icTimerStart(th, 50, IC_TIMER_FIRE_ONCE, countCall);
    serveFor(kGenerous, [&] { return !calls.at.empty(); });
    serveFor(milliseconds(100));
    ASSERT_EQ(calls.at.size(), 1U);
    EXPECT_GE(calls.at[0] - start, milliseconds(50));
    EXPECT_EQ(calls.handles[0], th);
    EXPECT_EQ(calls.thread, std::this_thread::get_id());
}

TEST_F(IcTimerTest, UnservedPeriodicExpiriesMergeIntoOneCall) {
    Calls calls;
    const IcTimerHandle th = icTimerAlloc(&calls);
    icTimerStart(th, 10, IC_TIMER_FIRE_REPEATEDLY, countCall);
    std::this_thread::sleep_for(milliseconds(55));
    icTimerExe();
    EXPECT_LE(calls.at.size(), 1U);
    serveFor(kGenerous, [&] { return calls.at.size() >= 3; });
    EXPECT_GE(calls.at.size(), 3U) << "keeps running";
    icTimerStop(th);
}

TEST_F(IcTimerTest, RestartReplacesTheOldPeriodAndItsPendingExpiry) {
    Calls calls;
    const IcTimerHandle th = icTimerAlloc(&calls);
    icTimerStart(th, 5, IC_TIMER_FIRE_REPEATEDLY, countCall);
    std::this_thread::sleep_for(milliseconds(30));  // expired, not served
    const auto restart = Clock::now();
    icTimerStart(th, 200, IC_TIMER_FIRE_REPEATEDLY, countCall);
    serveFor(milliseconds(100));
    for (const auto& at : calls.at) {
        EXPECT_GE(at - restart, milliseconds(200));
    }
    icTimerStop(th);
}

TEST_F(IcTimerTest, StoppedTimerIsNotCalledEvenWithAnExpiryPending) {
    Calls calls;
    const IcTimerHandle th = icTimerAlloc(&calls);
    icTimerStart(th, 5, IC_TIMER_FIRE_ONCE, countCall);
    std::this_thread::sleep_for(milliseconds(30));
    icTimerStop(th);
    serveFor(milliseconds(50));
    EXPECT_TRUE(calls.at.empty());
}

U32 tickValue = 0;
U32 testTick() { return tickValue; }

TEST(IcTimerTickTest, RunningTimerIsTheLowSixteenBitsOfTheTickCount) {
    platformTimerSetTickSource(testTick);
    const std::pair<U32, IcTimerTick> cases[] = {{65535, 65535}, {65536, 0}, {0x1FFFF, 65535}, {0xFFFFFFFF, 65535}};
    for (const auto& [tick, expected] : cases) {
        tickValue = tick;
        EXPECT_EQ(icTimerGetRunningTimer_ms(), expected) << tick;
    }
    platformTimerSetTickSource(nullptr);
}
}  // namespace
