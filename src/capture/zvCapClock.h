// Wall-clock instants for the arrival ticks of received bytes (16-bit
// milliseconds of the monotonic tick).
//
// Ticks that lie n milliseconds apart map to instants exactly n ms apart,
// and one tick maps to the same instant however often it is asked for: a
// capture then replays with the gaps the receiver saw, and every report
// about a run of bytes shows the instant its packet carries. The mapping
// follows the wall clock: when the two drift more than a tenth of a second
// apart (the wall clock was set), it starts again from the wall clock.
#pragma once

#include "base/hal_types.h"

struct ZvCapWallClock {
    Boolean anchored;
    U32 anchorTick;     // a tick of the 32-bit monotonic count ...
    U64 anchorWall_us;  // ... and its instant
};

// The instant of `tick`, a tick at most 65 s old, given the 32-bit count now
// (whose low 16 bits the ticks are) and the wall clock now.
U64 zvCapWallClockAt(ZvCapWallClock& clock, U16 tick, U32 nowTick, U64 nowWall_us);
