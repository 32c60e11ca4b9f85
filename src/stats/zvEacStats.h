// Bus health figures: per device how often the master asked and the device
// answered, how late, and what they said; for the line its bytes, load,
// dropped frames and noise. Counted from every frame the receiver decides
// on, whatever is printed, since start or the last reset. Fixed storage,
// no allocation: one record per network address.
#pragma once

#include <cstdint>
#include <span>

#include "base/hal_types.h"
#include "eac/zelvan/zvEacNetwork.h"

// What the receiver decided about a run of bytes: its own kinds, by the
// names the figures use.
using ZvEacStatsLineKind = ZvEacNwkUnitKind;
inline constexpr ZvEacStatsLineKind ZV_EAC_STATS_LINE_FRAME = ZV_EAC_NWK_UNIT_FRAME;
inline constexpr ZvEacStatsLineKind ZV_EAC_STATS_LINE_NOISE = ZV_EAC_NWK_UNIT_NOISE;
inline constexpr ZvEacStatsLineKind ZV_EAC_STATS_LINE_DROP_BCC = ZV_EAC_NWK_UNIT_DROP_BCC;
inline constexpr ZvEacStatsLineKind ZV_EAC_STATS_LINE_DROP_TIMEOUT = ZV_EAC_NWK_UNIT_DROP_TIMEOUT;
inline constexpr ZvEacStatsLineKind ZV_EAC_STATS_LINE_DROP_NO_ETX = ZV_EAC_NWK_UNIT_DROP_NO_ETX;
inline constexpr ZvEacStatsLineKind ZV_EAC_STATS_LINE_DROP_NO_MEMORY = ZV_EAC_NWK_UNIT_DROP_NO_MEMORY;
inline constexpr ZvEacStatsLineKind ZV_EAC_STATS_LINE_DROP_CUT = ZV_EAC_NWK_UNIT_DROP_CUT;
inline constexpr U8 ZV_EAC_STATS_LINE_KINDS = ZV_EAC_NWK_UNIT_KINDS;

enum ZvEacStatsDirection : U8 {
    ZV_EAC_STATS_TO_DEVICE = 0,    // sent by the master
    ZV_EAC_STATS_FROM_DEVICE = 1,  // sent by the device
};

// Answer times are kept in 1 ms buckets up to this, and one bucket above.
inline constexpr U16 ZV_EAC_STATS_ANSWER_BUCKETS_MS = 256;

// A summary of one device, as the table and the CSV show it.
struct ZvEacStatsDeviceView {
    ZvEacNwkAddr address;
    U32 polls;         // frames from the master to it
    U32 answers;       // its frames while the master waited for it
    U32 missed;        // the master moved on without its answer
    U32 online;        // ONLINE reports
    U32 offline;       // OFFLINE reports
    U32 sent;          // its telegrams, any id
    U32 received;      // telegrams to it, any id
    U32 timedAnswers;  // answers whose time is known
    U16 answerMin_ms;
    U16 answerMax_ms;
    U32 answerMeanTenths_ms;  // mean in tenths of a millisecond
    U16 answerP99_ms;         // ZV_EAC_STATS_ANSWER_BUCKETS_MS: above the histogram
    U32 lastHeardAgo_ms;      // MAX_U32 when never heard
};

struct ZvEacStatsLineView {
    std::uint64_t bytes;
    U32 frames;
    std::uint64_t noiseBytes;
    U32 drops[ZV_EAC_STATS_LINE_KINDS];  // indexed by ZvEacStatsLineKind; FRAME and NOISE stay 0
    U32 elapsed_ms;
    U32 bitRate;
    U32 loadTenthsPercent;  // MAX_U32 while no time has passed
};

// Starts again: every counter 0, the clock of "since" now.
void zvEacStatsReset();
// The line's bit rate, for its load (11 bits a byte).
void zvEacStatsSetBitRate(U32 bitsPerSecond);

// From the receiver, for every decided run of bytes in order; a good
// frame's run comes before the frame's own events below. Ticks are the
// arrival milliseconds of its first and last byte.
void zvEacStatsLine(ZvEacStatsLineKind kind, U32 wireBytes, U16 firstArrivalTick, U16 lastArrivalTick);

// The same in the form of the receiver's tap.
void zvEacStatsTap(void* arg, const ZvEacNwkUnit& unit);

// From the bus observer, for every delivered frame, in this order: the
// frame, then what the observer concluded from it.
void zvEacStatsFrame(ZvEacNwkAddr source, ZvEacNwkAddr destination, ZvEacNwkLen length, const U8* data);
// `device` answered the master's last frame (the frame just counted): the
// answer time runs from the last byte of that poll to the first of this.
// Returns that time, or ZV_EAC_STATS_NO_ANSWER_TIME when the receiver did not
// say when the bytes came.
U16 zvEacStatsAnswer(ZvEacNwkAddr device);
inline constexpr U16 ZV_EAC_STATS_NO_ANSWER_TIME = 0xFFFF;
void zvEacStatsMissed(ZvEacNwkAddr device);
void zvEacStatsOnline(ZvEacNwkAddr device, Boolean online);

// --- reading -----------------------------------------------------------------------

// Whether anything was counted for the address.
Boolean zvEacStatsDeviceSeen(ZvEacNwkAddr address);
ZvEacStatsDeviceView zvEacStatsDevice(ZvEacNwkAddr address);
U32 zvEacStatsTelegrams(ZvEacNwkAddr address, ZvEacStatsDirection direction, U8 msgid);
// The device's answer times: how many took 0, 1, ... ms, the last entry
// counting every answer of ZV_EAC_STATS_ANSWER_BUCKETS_MS and more.
std::span<const U32> zvEacStatsAnswerHistogram(ZvEacNwkAddr address);
ZvEacStatsLineView zvEacStatsLineTotals();

// Output goes out in pieces through a sink; a piece never holds more than
// one line and stays below 200 characters.
using ZvEacStatsSink = void (*)(void* arg, const char* text);
// The aligned table: one line per device by address, then the line totals.
void zvEacStatsPrintTable(ZvEacStatsSink sink, void* arg);
// Telegram counts: one line per device and message id.
void zvEacStatsPrintTelegrams(ZvEacStatsSink sink, void* arg);
// The same figures as CSV: a header row and one row per device (with a
// column per message id and direction seen), a blank line, then a header
// row and one row for the line.
void zvEacStatsWriteCsv(ZvEacStatsSink sink, void* arg);
