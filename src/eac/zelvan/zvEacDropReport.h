// A line for every run of bytes the receiver did not deliver as a telegram:
// a dropped frame with the reason, or bytes outside any frame. On a faulty
// bus these are the first thing to look at, so they read like the other
// reports: timestamp first, then what, who (where the header got that far),
// how many bytes and the first of them.
#pragma once

#include <cstddef>
#include <span>

#include "base/hal_types.h"
#include "eac/zelvan/zvEacNetwork.h"

// How many of a unit's first bytes the line shows.
inline constexpr std::size_t ZV_EAC_DROP_REPORT_BYTES = 16;

// What a run's own bytes tell about it.
struct ZvEacDropHeader {
    Boolean addressesKnown;  // destination and source were read
    ZvEacNwkAddr destination;
    ZvEacNwkAddr source;
    Boolean msgIdKnown;  // a length above 0 and the first data byte were read
    U8 msgId;
};

// Reads destination, source, length and the message id after the STX,
// escapes undone, as far as the bytes go.
ZvEacDropHeader zvEacDropHeaderOf(std::span<const U8> wire);
// The reason in words: "wrong BCC", "time-out inside the frame", ...;
// "noise" for bytes outside any frame, "" for a good frame.
const char* zvEacDropReason(ZvEacNwkUnitKind kind);
// Prints the line for `unit` through the logger (nothing for a good frame):
//   "\r (timestamp)  !!  dropped frame: wrong BCC, 5 -> 0, 9 bytes: 02 00 05 ...\n\n"
//   "\r (timestamp)  !!  noise: 3 bytes: ff 00 12\n\n"
void zvEacDropReportPrint(const ZvEacNwkUnit& unit);
