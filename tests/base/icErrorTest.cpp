#include "base/icError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {
using testing::ExitedWithCode;
using testing::StrEq;

// Death tests see standard error only; the handler writes to standard output.
void stdoutToStderr() { dup2(STDERR_FILENO, STDOUT_FILENO); }

TEST(IcErrorDeathTest, HandlerPrintsWhenBothTextsAreGivenAndAlwaysExitsWithTwo) {
    EXPECT_EXIT(
        {
            stdoutToStderr();
            std::printf("pending");  // flushed before the process ends
            icErrorHandler("fifo/icFifo", 9, 65535, "Assertion failed 'this->event'");
        },
        ExitedWithCode(2), StrEq("pending\nfifo/icFifo:65535: (F) Assertion failed 'this->event'\n"));
    EXPECT_EXIT((stdoutToStderr(), icErrorHandler("file", 0, 1, nullptr)), ExitedWithCode(2), StrEq(""));
    EXPECT_EXIT((stdoutToStderr(), icErrorHandler(nullptr, 0, 1, "text")), ExitedWithCode(2), StrEq(""));
}

void failingHook() {
    std::printf("hook\n");
    icErrorHandler("inner", 0, 7, "Assertion failed 'again'");
}

TEST(IcErrorDeathTest, ExitHookRunsOnceEvenWhenItFailsItself) {
    EXPECT_EXIT(
        {
            stdoutToStderr();
            icErrorSetExitHook(failingHook);
            icErrorHandler("outer", 0, 3, "Assertion failed 'first'");
        },
        ExitedWithCode(2),
        StrEq("\nouter:3: (F) Assertion failed 'first'\nhook\n\ninner:7: (F) Assertion failed 'again'\n"));
}

std::atomic<bool> slowHookStarted{false};

void slowHook() {
    slowHookStarted = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::printf("hook done\n");
}

TEST(IcErrorDeathTest, SecondFailingThreadDoesNotCutTheHookShort) {
    EXPECT_EXIT(
        {
            stdoutToStderr();
            icErrorSetExitHook(slowHook);
            std::thread first([] { icErrorExit(3); });
            while (!slowHookStarted) {
                std::this_thread::yield();
            }
            icErrorExit(4);
        },
        ExitedWithCode(3), StrEq("hook done\n"));
}
}  // namespace
