#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

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

// Upper bounds only guard against hanging: real time on a shared machine is
// never tight.
constexpr milliseconds kGenerous{5000};

milliseconds elapsedSince(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

bool fdReadable(OsalWaitObject obj) {
    pollfd p{icOsalPosixWaitObjectFd(obj), POLLIN, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

TEST(IcOsalSemTest, CountIsOneAndZeroWaitDoesNotBlock) {
    const OsalSem available = osalApi->semCreate(TRUE);
    EXPECT_EQ(osalApi->semWait(available, 0), OSAL_RES_SUCCESS);
    EXPECT_EQ(osalApi->semWait(available, 0), OSAL_RES_TIMEOUT);
    EXPECT_EQ(osalApi->semSignal(available), OSAL_RES_SUCCESS);
    EXPECT_EQ(osalApi->semWait(available, 0), OSAL_RES_SUCCESS);

    const OsalSem taken = osalApi->semCreate(FALSE);
    EXPECT_EQ(osalApi->semWait(taken, 0), OSAL_RES_TIMEOUT);
}

TEST(IcOsalSemTest, TimedWaitRunsOutAfterItsTime) {
    const OsalSem sem = osalApi->semCreate(FALSE);
    const auto start = Clock::now();
    EXPECT_EQ(osalApi->semWait(sem, 30), OSAL_RES_TIMEOUT);
    EXPECT_GE(elapsedSince(start), milliseconds(30));
}

TEST(IcOsalSemTest, WaitEndsWhenAnotherThreadReleases) {
    for (const U32 timeout : {MAX_U32, static_cast<U32>(kGenerous.count())}) {
        const OsalSem sem = osalApi->semCreate(FALSE);
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

TEST(IcOsalSemDeathTest, ReleasingAnAvailableSemaphoreIsFatal) {
    const std::string prefix =
        "icOsal:73:FAIL: " + std::to_string(EOVERFLOW) + " " + std::strerror(EOVERFLOW) + "\nhal/mcu/posix/icOsal:";
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            osalApi->semSignal(osalApi->semCreate(TRUE));
        },
        testing::ExitedWithCode(2),
        testing::AllOf(testing::StartsWith(prefix), testing::EndsWith(": (F) Assertion failed 'FALSE'\n")));
}

TEST(IcOsalWaitObjectTest, ManualResetStateAndDescriptor) {
    const OsalWaitObject obj = osalApi->waitObjCreate();
    ASSERT_NE(obj, nullptr);
    EXPECT_FALSE(osalWaitObjIsSet(obj));
    EXPECT_FALSE(fdReadable(obj));

    osalApi->waitObjSignal(obj);
    osalApi->waitObjSignal(obj);
    EXPECT_TRUE(osalWaitObjIsSet(obj));
    EXPECT_TRUE(fdReadable(obj));
    for (int i = 0; i < 2; ++i) {  // stays set: every wait returns at once
        const auto start = Clock::now();
        osalApi->waitForObjects(&obj, 1, 0);
        EXPECT_LT(elapsedSince(start), kGenerous);
    }

    osalApi->waitObjectReset(obj);  // one reset clears two signals
    EXPECT_FALSE(osalWaitObjIsSet(obj));
    EXPECT_FALSE(fdReadable(obj));
    osalApi->waitObjectReset(obj);
    EXPECT_FALSE(fdReadable(obj));
    osalApi->waitObjSignal(obj);
    EXPECT_TRUE(fdReadable(obj));
}

TEST(IcOsalWaitObjectTest, WaitReturnsWhenAnyOneIsSet) {
    for (int which = 0; which < 3; ++which) {
        SCOPED_TRACE(which);
        const OsalWaitObject list[3] = {osalApi->waitObjCreate(), osalApi->waitObjCreate(), osalApi->waitObjCreate()};
        // Already set: returns at once.
        osalApi->waitObjSignal(list[which]);
        const auto start = Clock::now();
        osalApi->waitForObjects(list, 3, 0);
        EXPECT_LT(elapsedSince(start), kGenerous);
        osalApi->waitObjectReset(list[which]);

        // Set while the caller sleeps, without a limit.
        std::thread other([&] {
            std::this_thread::sleep_for(milliseconds(20));
            osalApi->waitObjSignal(list[which]);
        });
        osalApi->waitForObjects(list, 3, 0);
        EXPECT_TRUE(osalWaitObjIsSet(list[which]));
        other.join();
    }
}

TEST(IcOsalWaitObjectTest, WaitWithLimitRunsOutWhenNothingIsSet) {
    const OsalWaitObject list[2] = {osalApi->waitObjCreate(), osalApi->waitObjCreate()};
    const auto start = Clock::now();
    osalApi->waitForObjects(list, 2, 10);
    EXPECT_GE(elapsedSince(start), milliseconds(10));
}

// Signals racing with resets: the descriptor must end up mirroring the flag,
// and a consumer that resets, checks its data and then sleeps on the
// descriptor must never sleep through the last signal.
TEST(IcOsalWaitObjectTest, ConcurrentSignalAndResetNeverLoseTheSetState) {
    constexpr int kRounds = 200;
    constexpr int kSignals = 1000;
    const OsalWaitObject obj = osalApi->waitObjCreate();
    for (int round = 0; round < kRounds; ++round) {
        std::atomic<int> produced{0};
        std::atomic<bool> resetterDone{false};
        std::thread resetter([&] {
            while (produced.load() < kSignals - 1) {
                osalApi->waitObjectReset(obj);
            }
            resetterDone = true;
        });
        std::thread producer([&] {
            for (int i = 1; i < kSignals; ++i) {
                produced.store(i);
                osalApi->waitObjSignal(obj);
            }
            while (!resetterDone) {
                std::this_thread::yield();
            }
            // The last signal races only with the consumer's own resets.
            produced.store(kSignals);
            osalApi->waitObjSignal(obj);
        });
        bool sleptThroughSignal = false;
        for (;;) {
            osalApi->waitObjectReset(obj);
            if (produced.load() == kSignals) {
                break;
            }
            pollfd p{icOsalPosixWaitObjectFd(obj), POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(kGenerous.count())) == 0) {
                sleptThroughSignal = true;
                break;
            }
        }
        producer.join();
        resetter.join();
        ASSERT_FALSE(sleptThroughSignal) << "round " << round;
        osalApi->waitObjSignal(obj);
        ASSERT_TRUE(fdReadable(obj)) << "round " << round;
        osalApi->waitObjectReset(obj);
        ASSERT_FALSE(fdReadable(obj)) << "round " << round;
    }
}

TEST(IcOsalTaskTest, TaskRunsOnItsOwnThreadWithItsArgument) {
    struct Start {
        OsalSem done;
        std::thread::id ranOn;
        int value;
    } start{osalApi->semCreate(FALSE), {}, 0};
    ASSERT_EQ(osalApi->taskCreate(
                  [](void* arg) {
                      auto* s = static_cast<Start*>(arg);
                      s->ranOn = std::this_thread::get_id();
                      s->value = 42;
                      osalApi->semSignal(s->done);
                  },
                  &start),
              OSAL_RES_SUCCESS);
    ASSERT_EQ(osalApi->semWait(start.done, kGenerous.count()), OSAL_RES_SUCCESS);
    EXPECT_EQ(start.value, 42);
    EXPECT_NE(start.ranOn, std::this_thread::get_id());
    EXPECT_EQ(osalApi->taskCreate(nullptr, nullptr), OSAL_RES_FAIL);
}

int ownNice() { return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())); }

// Each case runs on a fresh thread, which starts at the creator's nice value.
TEST(IcOsalTaskTest, PriorityIsANiceValueOfTheCallingThread) {
    const int base = ownNice();
    const auto niceAfter = [](OsalPrio prio) {
        int nice = 0;
        std::thread t([&] {
            osalApi->setPriority(prio);
            nice = ownNice();
        });
        t.join();
        return nice;
    };
    EXPECT_GT(niceAfter(OSAL_PRIO_LOW), base);
    EXPECT_EQ(niceAfter(static_cast<OsalPrio>(7)), base);
    EXPECT_EQ(niceAfter(OSAL_PRIO_NORMAL), base);
    EXPECT_LE(niceAfter(OSAL_PRIO_HIGH), base) << "raised where permitted, otherwise left alone";
    EXPECT_EQ(ownNice(), base) << "only the calling thread changes";
}

TEST(IcOsalQueueTest, MessagesComeOutInSendingOrder) {
    OsalQueue q = nullptr;
    ASSERT_EQ(osalApi->queueCreate("messages", &q), OSAL_RES_SUCCESS);
    int a = 0;
    int b = 0;
    EXPECT_EQ(osalApi->queueSend(q, 1, &a), OSAL_RES_SUCCESS);
    EXPECT_EQ(osalApi->queueSend(q, 2, &b), OSAL_RES_SUCCESS);
    U32 signal = 0;
    void* content = nullptr;
    EXPECT_EQ(osalApi->queueRecv(q, 0, &signal, &content), OSAL_RES_SUCCESS);
    EXPECT_EQ(signal, 1U);
    EXPECT_EQ(content, &a);
    EXPECT_EQ(osalApi->queueRecv(q, 0, &signal, &content), OSAL_RES_SUCCESS);
    EXPECT_EQ(signal, 2U);
    EXPECT_EQ(content, &b);
    EXPECT_EQ(osalApi->queueRecv(q, 0, &signal, &content), OSAL_RES_TIMEOUT);
    // Sending to a non-empty queue again (its mark already set) is no error.
    EXPECT_EQ(osalApi->queueSend(q, 3, nullptr), OSAL_RES_SUCCESS);
    EXPECT_EQ(osalApi->queueSend(q, 4, nullptr), OSAL_RES_SUCCESS);
    EXPECT_EQ(osalApi->queueDelete(q), OSAL_RES_SUCCESS);  // with messages still in it
    EXPECT_EQ(osalApi->queueRecv(nullptr, 0, &signal, &content), OSAL_RES_FAIL);
}

TEST(IcOsalQueueTest, ReceiverWakesForAMessageFromAnotherThread) {
    OsalQueue q = nullptr;
    ASSERT_EQ(osalApi->queueCreate("x", &q), OSAL_RES_SUCCESS);
    constexpr U32 kCount = 2000;
    std::thread sender([&] {
        for (U32 i = 0; i < kCount; ++i) {
            osalApi->queueSend(q, i, nullptr);
        }
    });
    U32 expected = 0;
    U32 signal = 0;
    void* content = nullptr;
    while (expected < kCount && osalApi->queueRecv(q, kGenerous.count(), &signal, &content) == OSAL_RES_SUCCESS) {
        ASSERT_EQ(signal, expected);
        ++expected;
    }
    sender.join();
    EXPECT_EQ(expected, kCount);
    osalApi->queueDelete(q);
}
}  // namespace
