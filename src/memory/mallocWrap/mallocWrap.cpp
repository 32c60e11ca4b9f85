#include "memory/mallocWrap/mallocWrap.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<U32> failNextAllocs{0};
}  // namespace

void memInit() {}

void* memAlloc(U8 size) {
    // Count down without going below zero, even with several allocating threads.
    U32 left = failNextAllocs.load(std::memory_order_relaxed);
    while (left != 0) {
        if (failNextAllocs.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
            return nullptr;
        }
    }
    return std::malloc(size);
}

void memSetFailNextAllocs(U32 count) { failNextAllocs.store(count, std::memory_order_relaxed); }

void memFree(void* msg) { std::free(msg); }
