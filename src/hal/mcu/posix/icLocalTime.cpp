#include "hal/include/icLocalTime.h"

#include <atomic>
#include <ctime>

namespace {
std::atomic<IcLocalTimeSource> timeSource{nullptr};

void readRealClock(IcLocalTime* out) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    out->year = static_cast<U16>(local.tm_year + 1900);
    out->month = static_cast<U8>(local.tm_mon + 1);
    out->day = static_cast<U8>(local.tm_mday);
    out->hour = static_cast<U8>(local.tm_hour);
    out->minute = static_cast<U8>(local.tm_min);
    out->second = static_cast<U8>(local.tm_sec);
    out->milliseconds = static_cast<U16>(now.tv_nsec / 1000000);
}
}  // namespace

void icLocalTimeGet(IcLocalTime* out) {
    const IcLocalTimeSource source = timeSource.load(std::memory_order_relaxed);
    if (source != nullptr) {
        source(out);
    } else {
        readRealClock(out);
    }
}

void icLocalTimeSetSource(IcLocalTimeSource source) { timeSource.store(source, std::memory_order_relaxed); }
