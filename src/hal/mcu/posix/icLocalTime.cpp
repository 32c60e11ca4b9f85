#include "hal/include/icLocalTime.h"

#include <atomic>
#include <ctime>

namespace {
std::atomic<IcLocalTimeSource> timeSource{nullptr};

constexpr U64 kMicrosPerSecond = 1000000;
constexpr U64 kMicrosPerMilli = 1000;
constexpr U64 kNanosPerMicro = 1000;

void toLocal(U64 wall_us, IcLocalTime* out) {
    const auto seconds = static_cast<time_t>(wall_us / kMicrosPerSecond);
    tm local{};
    localtime_r(&seconds, &local);
    out->year = static_cast<U16>(local.tm_year + 1900);
    out->month = static_cast<U8>(local.tm_mon + 1);
    out->day = static_cast<U8>(local.tm_mday);
    out->hour = static_cast<U8>(local.tm_hour);
    out->minute = static_cast<U8>(local.tm_min);
    out->second = static_cast<U8>(local.tm_sec);
    out->milliseconds = static_cast<U16>((wall_us % kMicrosPerSecond) / kMicrosPerMilli);
}
}  // namespace

U64 icWallClockNow_us() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<U64>(now.tv_sec) * kMicrosPerSecond + static_cast<U64>(now.tv_nsec) / kNanosPerMicro;
}

void icLocalTimeAt(U64 wall_us, IcLocalTime* out) { toLocal(wall_us, out); }

void icLocalTimeGet(IcLocalTime* out) {
    const IcLocalTimeSource source = timeSource.load(std::memory_order_relaxed);
    if (source != nullptr) {
        source(out);
    } else {
        toLocal(icWallClockNow_us(), out);
    }
}

void icLocalTimeSetSource(IcLocalTimeSource source) { timeSource.store(source, std::memory_order_relaxed); }
