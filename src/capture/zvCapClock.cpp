#include "capture/zvCapClock.h"

namespace {

constexpr S64 kMicrosPerMilli = 1000;
// Farther apart than this, the wall clock was set rather than drifting.
constexpr S64 kResyncLimit_us = 100000;
// Offsets from the anchor stay well inside 32 bits of milliseconds.
constexpr U32 kReanchorAfter_ms = 3600U * 1000U;

S64 mapped(const ZvCapWallClock& clock, U32 tick32) {
    const auto offset_ms = static_cast<S32>(tick32 - clock.anchorTick);
    return static_cast<S64>(clock.anchorWall_us) + static_cast<S64>(offset_ms) * kMicrosPerMilli;
}

}  // namespace

U64 zvCapWallClockAt(ZvCapWallClock& clock, U16 tick, U32 nowTick, U64 nowWall_us) {
    const U16 age_ms = static_cast<U16>(static_cast<U16>(nowTick) - tick);
    const U32 tick32 = nowTick - age_ms;
    const S64 real = static_cast<S64>(nowWall_us) - static_cast<S64>(age_ms) * kMicrosPerMilli;
    if (clock.anchored == FALSE) {
        // On whole milliseconds: an instant's microseconds are then those of
        // the byte within its tick, which a capture adds to it.
        const S64 whole = real - real % kMicrosPerMilli;
        clock = ZvCapWallClock{TRUE, tick32, static_cast<U64>(whole)};
        return clock.anchorWall_us;
    }
    S64 at = mapped(clock, tick32);
    const S64 drift = real - at;
    if (drift > kResyncLimit_us || drift < -kResyncLimit_us) {
        // Whole milliseconds only, so every instant keeps the same fraction
        // of a millisecond and gaps stay whole milliseconds.
        const S64 steps = (drift >= 0 ? drift + kMicrosPerMilli / 2 : drift - kMicrosPerMilli / 2) / kMicrosPerMilli;
        at += steps * kMicrosPerMilli;
        clock.anchorTick = tick32;
        clock.anchorWall_us = static_cast<U64>(at);
    } else if (tick32 - clock.anchorTick > kReanchorAfter_ms && static_cast<S32>(tick32 - clock.anchorTick) > 0) {
        clock.anchorTick = tick32;
        clock.anchorWall_us = static_cast<U64>(at);
    }
    return static_cast<U64>(at);
}
