// The sniffer's reports as data: one JSON object per report, one per line
// (JSON Lines), for jq, scripts and log shippers. Every record carries its
// format version, the instant in UTC and the local-time text of the text
// report. Bytes from the bus are untrusted: strings that are not UTF-8 are
// written with U+FFFD in place of each bad byte, so every line is valid
// JSON and valid UTF-8.
#pragma once

#include <span>
#include <string>

#include "base/hal_types.h"
#include "eac/zelvan/zvEacNetwork.h"
#include "eac/zelvan/zvEacRecord.h"

inline constexpr int ZV_EAC_JSON_VERSION = 1;

enum class ZvEacReportKind : U8 {
    TELEGRAM = 0,
    ONLINE = 1,
    OFFLINE = 2,
    DROP = 3,             // a frame the receiver dropped
    NOISE = 4,            // bytes outside any frame
    RECORDS_DROPPED = 5,  // the reader of the records did not keep up
};

struct ZvEacReport {
    ZvEacReportKind kind = ZvEacReportKind::TELEGRAM;
    U64 wall_us = 0;  // the instant the text report shows
    // TELEGRAM: the frame's addresses and its decoded telegram.
    U8 source = 0;
    U8 destination = 0;
    const ZvEacRecord* record = nullptr;
    // ONLINE, OFFLINE: the device.
    U8 device = 0;
    // DROP, NOISE: the receiver's decision and the bytes as on the line.
    ZvEacNwkUnitKind unitKind = ZV_EAC_NWK_UNIT_NOISE;
    std::span<const U8> wire;
    // RECORDS_DROPPED: how many.
    U64 droppedRecords = 0;
};

// Appends the report as one line, ending in "\n", to `out`.
void zvEacJsonAppend(const ZvEacReport& report, std::string& out);
// "2024-01-31T12:05:09.042123Z"
std::string zvEacJsonUtcTime(U64 wall_us);
