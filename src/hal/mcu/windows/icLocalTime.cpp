#include "hal/include/icLocalTime.h"
#include "hal/mcu/windows/icWin.h"

#include <atomic>

namespace {
std::atomic<IcLocalTimeSource> timeSource{nullptr};

void readRealClock(IcLocalTime* out) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    out->year = now.wYear;
    out->month = static_cast<U8>(now.wMonth);
    out->day = static_cast<U8>(now.wDay);
    out->hour = static_cast<U8>(now.wHour);
    out->minute = static_cast<U8>(now.wMinute);
    out->second = static_cast<U8>(now.wSecond);
    out->milliseconds = now.wMilliseconds;
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
