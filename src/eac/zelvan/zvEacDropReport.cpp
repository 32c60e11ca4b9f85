#include "eac/zelvan/zvEacDropReport.h"

#include <array>
#include <cstdio>

#include "eac/zelvan/zvEacFrame.h"
#include "logger/logger.h"

namespace {

constexpr std::array<const char*, ZV_EAC_NWK_UNIT_KINDS> kReasons{
    "",
    "noise",
    "wrong BCC",
    "time-out inside the frame",
    "no ETX after the BCC",
    "no memory for the frame",
    "cut by the end of the run",
};

// "02 00 05 ..." for the first bytes; "..." when there are more.
void hexOf(std::span<const U8> wire, char* out, std::size_t size) {
    std::size_t at = 0;
    const std::size_t shown = wire.size() < ZV_EAC_DROP_REPORT_BYTES ? wire.size() : ZV_EAC_DROP_REPORT_BYTES;
    for (std::size_t i = 0; i < shown && at + 4 < size; ++i) {
        const int n = std::snprintf(out + at, size - at, i == 0 ? "%02x" : " %02x", static_cast<unsigned>(wire[i]));
        at += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    if (shown < wire.size() && at + 5 < size) {
        (void)std::snprintf(out + at, size - at, " ...");
    }
}

}  // namespace

ZvEacDropHeader zvEacDropHeaderOf(std::span<const U8> wire) {
    ZvEacDropHeader header{FALSE, 0, 0, FALSE, 0};
    if (wire.empty() || wire[0] != ZV_EAC_NWK_CHARS_STX) {
        return header;
    }
    // Destination, source, length, first data byte.
    std::array<U8, 4> values{};
    std::size_t got = 0;
    Boolean escape = FALSE;
    for (std::size_t i = 1; i < wire.size() && got < values.size(); ++i) {
        U8 byte = wire[i];
        if (!zvEacFrameUnescapeStep(escape, byte)) {
            continue;
        }
        values[got++] = byte;
    }
    if (got >= 2) {
        header.addressesKnown = TRUE;
        header.destination = values[0];
        header.source = values[1];
    }
    if (got == values.size() && values[2] != 0) {
        header.msgIdKnown = TRUE;
        header.msgId = values[3];
    }
    return header;
}

const char* zvEacDropReason(ZvEacNwkUnitKind kind) { return kind < kReasons.size() ? kReasons[kind] : "unknown"; }

void zvEacDropReportPrint(const ZvEacNwkUnit& unit) {
    if (unit.kind == ZV_EAC_NWK_UNIT_FRAME) {
        return;
    }
    std::array<char, ZV_EAC_DROP_REPORT_BYTES * 3 + 8> hex{};
    hexOf(unit.wire, hex.data(), hex.size());
    loggerPrintTimestamp();
    const auto bytes = static_cast<unsigned>(unit.wire.size());
    if (unit.kind == ZV_EAC_NWK_UNIT_NOISE) {
        loggerPrintf(" !!  noise: %u bytes: %s\n\n", bytes, hex.data());
        return;
    }
    const ZvEacDropHeader header = zvEacDropHeaderOf(unit.wire);
    if (header.addressesKnown != FALSE) {
        loggerPrintf(" !!  dropped frame: %s, %u -> %u, %u bytes: %s\n\n", zvEacDropReason(unit.kind),
                     static_cast<unsigned>(header.source), static_cast<unsigned>(header.destination), bytes,
                     hex.data());
    } else {
        loggerPrintf(" !!  dropped frame: %s, %u bytes: %s\n\n", zvEacDropReason(unit.kind), bytes, hex.data());
    }
}
