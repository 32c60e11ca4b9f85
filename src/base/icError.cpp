#include "base/icError.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {
std::atomic<IcErrorExitHook> exitHook{nullptr};
std::array<std::atomic<IcErrorExitHook>, 4> addedHooks{};

void runHooks() {
    for (const std::atomic<IcErrorExitHook>& slot : addedHooks) {
        if (const IcErrorExitHook hook = slot.load(std::memory_order_acquire)) {
            hook();
        }
    }
    if (const IcErrorExitHook hook = exitHook.load(std::memory_order_acquire)) {
        hook();
    }
}

// Who is running the exit hook: nobody yet, or the thread that claimed it.
std::atomic<bool> hookClaimed{false};
std::atomic<bool> hookFinished{false};
thread_local bool hookRunsOnThisThread = false;

void flushStandardStreams() {
    std::fflush(stdout);
    std::fflush(stderr);
}

// A second thread that fails while the first one is still restoring the
// terminal waits for it (bounded), so the hook is never cut short by an
// _Exit from elsewhere; the hook itself ending in a fatal error goes straight
// out instead of waiting for itself.
void waitForHookOfOtherThread() {
    constexpr int kMaxWaitSteps = 2000;
    const timespec step{0, 1000000};
    for (int i = 0; i < kMaxWaitSteps && !hookFinished.load(std::memory_order_acquire); ++i) {
        nanosleep(&step, nullptr);
    }
}
}  // namespace

void icErrorSetExitHook(IcErrorExitHook hook) { exitHook.store(hook, std::memory_order_release); }

void icErrorAddExitHook(IcErrorExitHook hook) {
    for (std::atomic<IcErrorExitHook>& slot : addedHooks) {
        IcErrorExitHook expected = nullptr;
        if (slot.compare_exchange_strong(expected, hook) || expected == hook) {
            return;
        }
    }
}

void icErrorExit(int status) {
    flushStandardStreams();
    if (!hookRunsOnThisThread) {
        if (!hookClaimed.exchange(true, std::memory_order_acq_rel)) {
            hookRunsOnThisThread = true;
            runHooks();
            flushStandardStreams();
            hookFinished.store(true, std::memory_order_release);
        } else {
            waitForHookOfOtherThread();
        }
    }
    std::_Exit(status);
}

void icErrorHandler(const char* fileName, U8 fileId, U16 line, const char* str) {
    (void)fileId;
    if (fileName != nullptr && str != nullptr) {
        std::printf("\n%s:%d: (F) %s\n", fileName, static_cast<int>(line), str);
    }
    icErrorExit(2);
}
