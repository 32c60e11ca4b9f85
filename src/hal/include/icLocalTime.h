// Local wall-clock time with milliseconds, for report timestamps.
#pragma once

#include "base/hal_types.h"

struct IcLocalTime {
    U16 year;
    U8 month;
    U8 day;
    U8 hour;
    U8 minute;
    U8 second;
    U16 milliseconds;
};

using IcLocalTimeSource = void (*)(IcLocalTime* out);

void icLocalTimeGet(IcLocalTime* out);
// Microseconds since 1970-01-01 00:00:00 UTC on the wall clock, now.
U64 icWallClockNow_us();
// The local time of a wall-clock instant from icWallClockNow_us.
void icLocalTimeAt(U64 wall_us, IcLocalTime* out);
// Tests pin the time with their own source; nullptr restores the real clock.
void icLocalTimeSetSource(IcLocalTimeSource source);
