// Where report timestamps come from: the platform's wall clock in its local
// time (icWallClockNow_us, icLocalTimeAt), unless a test has pinned the time.

#include <atomic>

#include "hal/include/icLocalTime.h"

namespace {
std::atomic<IcLocalTimeSource> timeSource{nullptr};
}  // namespace

void icLocalTimeGet(IcLocalTime* out) {
    const IcLocalTimeSource source = timeSource.load(std::memory_order_relaxed);
    if (source != nullptr) {
        source(out);
    } else {
        icLocalTimeAt(icWallClockNow_us(), out);
    }
}

void icLocalTimeSetSource(IcLocalTimeSource source) { timeSource.store(source, std::memory_order_relaxed); }
