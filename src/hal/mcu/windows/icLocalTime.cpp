#include "hal/include/icLocalTime.h"
#include "hal/mcu/windows/icWin.h"

#include <atomic>

namespace {
std::atomic<IcLocalTimeSource> timeSource{nullptr};

// FILETIME counts 100 ns steps from 1601-01-01 00:00:00 UTC.
constexpr U64 kUnixEpochIn100ns = 116444736000000000ULL;
constexpr U64 kStepsPerMicro = 10;
constexpr U64 kMicrosPerMilli = 1000;
constexpr U64 kMicrosPerSecond = 1000000;

using PreciseTimeFunc = VOID(WINAPI*)(LPFILETIME);

// The precise clock exists from Windows 8 on; Windows 7 has the one that
// moves with the system tick.
PreciseTimeFunc preciseClock() {
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<PreciseTimeFunc>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetSystemTimePreciseAsFileTime")));
}

U64 toU64(const FILETIME& ft) { return (static_cast<U64>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

void toLocal(U64 wall_us, IcLocalTime* out) {
    const U64 steps = wall_us * kStepsPerMicro + kUnixEpochIn100ns;
    FILETIME utc{static_cast<DWORD>(steps & 0xFFFFFFFFULL), static_cast<DWORD>(steps >> 32)};
    SYSTEMTIME utcTime{};
    SYSTEMTIME local{};
    // The time zone's rules for that instant, summer time included.
    if (FileTimeToSystemTime(&utc, &utcTime) == FALSE ||
        SystemTimeToTzSpecificLocalTime(nullptr, &utcTime, &local) == FALSE) {
        GetLocalTime(&local);
    }
    out->year = local.wYear;
    out->month = static_cast<U8>(local.wMonth);
    out->day = static_cast<U8>(local.wDay);
    out->hour = static_cast<U8>(local.wHour);
    out->minute = static_cast<U8>(local.wMinute);
    out->second = static_cast<U8>(local.wSecond);
    out->milliseconds = static_cast<U16>((wall_us % kMicrosPerSecond) / kMicrosPerMilli);
}
}  // namespace

U64 icWallClockNow_us() {
    static const PreciseTimeFunc precise = preciseClock();
    FILETIME now{};
    if (precise != nullptr) {
        precise(&now);
    } else {
        GetSystemTimeAsFileTime(&now);
    }
    const U64 steps = toU64(now);
    return steps > kUnixEpochIn100ns ? (steps - kUnixEpochIn100ns) / kStepsPerMicro : 0;
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
