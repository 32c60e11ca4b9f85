#include "stats/zvEacStats.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "eac/zelvan/zvEacToStr.h"
#include "hal/include/icPlatformTimer.h"

namespace {

constexpr std::size_t kAddresses = 256;
constexpr std::size_t kMsgIds = 256;
constexpr std::size_t kDirections = 2;
constexpr U32 kBitsPerByte = 11;  // start, 8 data, 2 stop
constexpr U32 kDefaultBitRate = 19200;
constexpr U16 kOverflowBucket = ZV_EAC_STATS_ANSWER_BUCKETS_MS;
constexpr const char* kUnknownMsgId = "## unknown msgid ###";

struct Device {
    Boolean seen;
    Boolean heard;
    U32 polls;
    U32 answers;
    U32 missed;
    U32 online;
    U32 offline;
    U32 lastHeard_ms;
    U32 timedAnswers;
    std::uint64_t answerSum_ms;
    U16 answerMin_ms;
    U16 answerMax_ms;
    std::array<U32, kOverflowBucket + 1> answerHistogram;
    std::array<std::array<U32, kMsgIds>, kDirections> telegrams;
};

struct Line {
    std::uint64_t bytes;
    std::uint64_t noiseBytes;
    U32 frames;
    std::array<U32, ZV_EAC_STATS_LINE_KINDS> drops;
};

// When the bytes of a good frame came in, as the receiver reported them.
struct FrameTicks {
    U16 first;
    U16 last;
    bool known;
};

// Zero from program start; a reset clears only the records in use, so an
// idle address never costs memory.
std::array<Device, kAddresses> devices{};
Line line{};
U32 since_ms = 0;
U32 bitRate = kDefaultBitRate;
FrameTicks pendingFrame{};   // reported by the receiver, not yet delivered
FrameTicks currentFrame{};   // the frame the observer is handling
FrameTicks previousFrame{};  // the one before it

U32 now_ms() { return platformTimerGetTickCount(); }

Device& touch(ZvEacNwkAddr address) {
    Device& device = devices[address];
    device.seen = TRUE;
    return device;
}

const char* msgIdName(U8 msgid) {
    const char* name = zvEacMsgIdToStr(msgid);
    return std::strcmp(name, kUnknownMsgId) == 0 ? nullptr : name;
}

U16 percentile99(const Device& device) {
    // The smallest bucket by which 99 % of the answers had come: exact to the
    // millisecond inside the histogram.
    const std::uint64_t rank = (static_cast<std::uint64_t>(device.timedAnswers) * 99 + 99) / 100;
    std::uint64_t seen = 0;
    for (std::size_t bucket = 0; bucket < device.answerHistogram.size(); ++bucket) {
        seen += device.answerHistogram[bucket];
        if (seen >= rank) {
            return static_cast<U16>(bucket);  // at most kOverflowBucket
        }
    }
    return kOverflowBucket;
}

// --- text output ---------------------------------------------------------------------

using Cell = std::array<char, 32>;
using Number = std::array<char, 16>;

class Out {
public:
    Out(ZvEacStatsSink sink, void* arg) : sink_(sink), arg_(arg) {}
    void put(const char* text) const {
        if (sink_ != nullptr) {
            sink_(arg_, text);
        }
    }
    void putf(const char* format, auto... args) const {
        std::array<char, 200> text{};
        std::snprintf(text.data(), text.size(), format, args...);
        put(text.data());
    }

private:
    ZvEacStatsSink sink_;
    void* arg_;
};

Cell cellOf(const char* format, auto... args) {
    Cell cell{};
    std::snprintf(cell.data(), cell.size(), format, args...);
    return cell;
}

Number tenths(U32 value) {
    Number text{};
    std::snprintf(text.data(), text.size(), "%u.%u", static_cast<unsigned>(value / 10),
                  static_cast<unsigned>(value % 10));
    return text;
}

// The columns of a device's line, shared by the table and the CSV. `csv`
// leaves units out and unknown figures empty.
enum class Column : U8 {
    Device,
    Polls,
    Answers,
    Missed,
    Online,
    Offline,
    ToDevice,
    FromDevice,
    AnswerMin,
    AnswerMean,
    AnswerP99,
    AnswerMax,
    LastHeard,
};

struct ColumnRow {
    Column column;
    const char* tableHeader;
    const char* csvHeader;
};

constexpr std::array kColumns{
    ColumnRow{Column::Device, "device", "device"},
    ColumnRow{Column::Polls, "polls", "polls"},
    ColumnRow{Column::Answers, "answers", "answers"},
    ColumnRow{Column::Missed, "missed", "missed"},
    ColumnRow{Column::Online, "online", "online"},
    ColumnRow{Column::Offline, "offline", "offline"},
    ColumnRow{Column::ToDevice, "to it", "telegrams_to"},
    ColumnRow{Column::FromDevice, "from it", "telegrams_from"},
    ColumnRow{Column::AnswerMin, "answer min", "answer_min_ms"},
    ColumnRow{Column::AnswerMean, "mean", "answer_mean_ms"},
    ColumnRow{Column::AnswerP99, "p99", "answer_p99_ms"},
    ColumnRow{Column::AnswerMax, "max", "answer_max_ms"},
    ColumnRow{Column::LastHeard, "last heard", "last_heard_s_ago"},
};

Cell cellFor(const ZvEacStatsDeviceView& view, Column column, bool csv) {
    const bool timed = view.timedAnswers != 0;
    const char* none = csv ? "" : "-";
    const char* ms = csv ? "" : " ms";
    switch (column) {
        case Column::Device:
            return cellOf("%u", static_cast<unsigned>(view.address));
        case Column::Polls:
            return cellOf("%u", static_cast<unsigned>(view.polls));
        case Column::Answers:
            return cellOf("%u", static_cast<unsigned>(view.answers));
        case Column::Missed:
            return cellOf("%u", static_cast<unsigned>(view.missed));
        case Column::Online:
            return cellOf("%u", static_cast<unsigned>(view.online));
        case Column::Offline:
            return cellOf("%u", static_cast<unsigned>(view.offline));
        case Column::ToDevice:
            return cellOf("%u", static_cast<unsigned>(view.received));
        case Column::FromDevice:
            return cellOf("%u", static_cast<unsigned>(view.sent));
        case Column::AnswerMin:
            return timed ? cellOf("%u%s", static_cast<unsigned>(view.answerMin_ms), ms) : cellOf("%s", none);
        case Column::AnswerMean: {
            if (!timed) {
                return cellOf("%s", none);
            }
            const Number value = tenths(view.answerMeanTenths_ms);
            return cellOf("%s%s", value.data(), ms);
        }
        case Column::AnswerP99:
            if (!timed) {
                return cellOf("%s", none);
            }
            if (view.answerP99_ms >= kOverflowBucket) {
                return cellOf(">%u%s", static_cast<unsigned>(kOverflowBucket - 1), ms);
            }
            return cellOf("%u%s", static_cast<unsigned>(view.answerP99_ms), ms);
        case Column::AnswerMax:
            return timed ? cellOf("%u%s", static_cast<unsigned>(view.answerMax_ms), ms) : cellOf("%s", none);
        case Column::LastHeard: {
            if (view.lastHeardAgo_ms == MAX_U32) {
                return cellOf("%s", csv ? "" : "never");
            }
            const Number value = tenths(view.lastHeardAgo_ms / 100);
            return cellOf("%s%s", value.data(), csv ? "" : " s ago");
        }
    }
    return Cell{};
}

void printLineTotals(const Out& out) {
    const ZvEacStatsLineView view = zvEacStatsLineTotals();
    out.putf(" line: %llu bytes, %u frames", static_cast<unsigned long long>(view.bytes),
             static_cast<unsigned>(view.frames));
    if (view.loadTenthsPercent == MAX_U32) {
        out.putf(", load - at %u bit/s\n", static_cast<unsigned>(view.bitRate));
    } else {
        const Number load = tenths(view.loadTenthsPercent);
        const Number seconds = tenths(view.elapsed_ms / 100);
        out.putf(", load %s %% of %u bit/s over %s s\n", load.data(), static_cast<unsigned>(view.bitRate),
                 seconds.data());
    }
    out.putf(" dropped frames: wrong bcc %u, time-out %u, no etx %u, no memory %u",
             static_cast<unsigned>(view.drops[ZV_EAC_STATS_LINE_DROP_BCC]),
             static_cast<unsigned>(view.drops[ZV_EAC_STATS_LINE_DROP_TIMEOUT]),
             static_cast<unsigned>(view.drops[ZV_EAC_STATS_LINE_DROP_NO_ETX]),
             static_cast<unsigned>(view.drops[ZV_EAC_STATS_LINE_DROP_NO_MEMORY]));
    // Only at the very end can a frame be cut; the line reads as before until then.
    if (view.drops[ZV_EAC_STATS_LINE_DROP_CUT] != 0) {
        out.putf(", cut by the end %u", static_cast<unsigned>(view.drops[ZV_EAC_STATS_LINE_DROP_CUT]));
    }
    out.putf("; noise %llu bytes\n", static_cast<unsigned long long>(view.noiseBytes));
}

}  // namespace

void zvEacStatsReset() {
    for (Device& device : devices) {
        if (device.seen != FALSE) {
            device = Device{};
        }
    }
    line = Line{};
    pendingFrame = FrameTicks{};
    currentFrame = FrameTicks{};
    previousFrame = FrameTicks{};
    since_ms = now_ms();
}

void zvEacStatsSetBitRate(U32 bitsPerSecond) { bitRate = bitsPerSecond; }

void zvEacStatsLine(ZvEacStatsLineKind kind, U32 wireBytes, U16 firstArrivalTick, U16 lastArrivalTick) {
    line.bytes += wireBytes;
    switch (kind) {
        case ZV_EAC_STATS_LINE_FRAME:
            ++line.frames;
            pendingFrame = FrameTicks{firstArrivalTick, lastArrivalTick, true};
            break;
        case ZV_EAC_STATS_LINE_NOISE:
            line.noiseBytes += wireBytes;
            break;
        default:
            if (kind < ZV_EAC_STATS_LINE_KINDS) {
                ++line.drops[kind];
            }
            break;
    }
}

void zvEacStatsTap(void* /*arg*/, const ZvEacNwkUnit& unit) {
    zvEacStatsLine(static_cast<ZvEacStatsLineKind>(unit.kind), static_cast<U32>(unit.wire.size()),
                   unit.firstArrivalTick, unit.lastArrivalTick);
}

void zvEacStatsFrame(ZvEacNwkAddr source, ZvEacNwkAddr destination, ZvEacNwkLen length, const U8* data) {
    previousFrame = currentFrame;
    currentFrame = pendingFrame;
    pendingFrame.known = false;

    const bool fromMaster = source == 0;
    Device& device = touch(fromMaster ? destination : source);
    if (fromMaster) {
        ++device.polls;
    } else {
        device.heard = TRUE;
        device.lastHeard_ms = now_ms();
    }
    if (length != 0 && data != nullptr) {
        ++device.telegrams[fromMaster ? ZV_EAC_STATS_TO_DEVICE : ZV_EAC_STATS_FROM_DEVICE][data[0]];
    }
}

U16 zvEacStatsAnswer(ZvEacNwkAddr device) {
    Device& record = touch(device);
    ++record.answers;
    if (!previousFrame.known || !currentFrame.known) {
        return ZV_EAC_STATS_NO_ANSWER_TIME;  // fed without the receiver's times
    }
    const U16 answer_ms = static_cast<U16>(currentFrame.first - previousFrame.last);
    if (record.timedAnswers == 0 || answer_ms < record.answerMin_ms) {
        record.answerMin_ms = answer_ms;
    }
    if (answer_ms > record.answerMax_ms) {
        record.answerMax_ms = answer_ms;
    }
    ++record.timedAnswers;
    record.answerSum_ms += answer_ms;
    ++record.answerHistogram[answer_ms < kOverflowBucket ? answer_ms : kOverflowBucket];
    return answer_ms;
}

void zvEacStatsMissed(ZvEacNwkAddr device) { ++touch(device).missed; }

void zvEacStatsOnline(ZvEacNwkAddr device, Boolean online) {
    Device& record = touch(device);
    ++(online != FALSE ? record.online : record.offline);
}

Boolean zvEacStatsDeviceSeen(ZvEacNwkAddr address) { return devices[address].seen; }

ZvEacStatsDeviceView zvEacStatsDevice(ZvEacNwkAddr address) {
    const Device& device = devices[address];
    ZvEacStatsDeviceView view{};
    view.address = address;
    view.polls = device.polls;
    view.answers = device.answers;
    view.missed = device.missed;
    view.online = device.online;
    view.offline = device.offline;
    for (std::size_t id = 0; id < kMsgIds; ++id) {
        view.received += device.telegrams[ZV_EAC_STATS_TO_DEVICE][id];
        view.sent += device.telegrams[ZV_EAC_STATS_FROM_DEVICE][id];
    }
    view.timedAnswers = device.timedAnswers;
    if (device.timedAnswers != 0) {
        view.answerMin_ms = device.answerMin_ms;
        view.answerMax_ms = device.answerMax_ms;
        view.answerMeanTenths_ms =
            static_cast<U32>((device.answerSum_ms * 10 + device.timedAnswers / 2) / device.timedAnswers);
        view.answerP99_ms = percentile99(device);
    }
    view.lastHeardAgo_ms = device.heard != FALSE ? now_ms() - device.lastHeard_ms : MAX_U32;
    return view;
}

U32 zvEacStatsTelegrams(ZvEacNwkAddr address, ZvEacStatsDirection direction, U8 msgid) {
    return direction < kDirections ? devices[address].telegrams[direction][msgid] : 0;
}

std::span<const U32> zvEacStatsAnswerHistogram(ZvEacNwkAddr address) { return devices[address].answerHistogram; }

ZvEacStatsLineView zvEacStatsLineTotals() {
    ZvEacStatsLineView view{};
    view.bytes = line.bytes;
    view.frames = line.frames;
    view.noiseBytes = line.noiseBytes;
    for (std::size_t kind = 0; kind < line.drops.size(); ++kind) {
        view.drops[kind] = line.drops[kind];
    }
    view.elapsed_ms = now_ms() - since_ms;
    view.bitRate = bitRate;
    view.loadTenthsPercent = MAX_U32;
    if (view.elapsed_ms != 0 && bitRate != 0) {
        const std::uint64_t bits = line.bytes * kBitsPerByte;
        view.loadTenthsPercent =
            static_cast<U32>(bits * 1000U * 1000U / (static_cast<std::uint64_t>(bitRate) * view.elapsed_ms));
    }
    return view;
}

void zvEacStatsPrintTable(ZvEacStatsSink sink, void* arg) {
    const Out out(sink, arg);
    // Two passes over the same cells: the widths first, then the lines.
    std::array<std::size_t, kColumns.size()> widths{};
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
        widths[c] = std::strlen(kColumns[c].tableHeader);
    }
    for (std::size_t address = 0; address < kAddresses; ++address) {
        if (devices[address].seen == FALSE) {
            continue;
        }
        const ZvEacStatsDeviceView view = zvEacStatsDevice(static_cast<ZvEacNwkAddr>(address));
        for (std::size_t c = 0; c < kColumns.size(); ++c) {
            const std::size_t width = std::strlen(cellFor(view, kColumns[c].column, false).data());
            widths[c] = width > widths[c] ? width : widths[c];
        }
    }
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
        out.putf("  %*s", static_cast<int>(widths[c]), kColumns[c].tableHeader);
    }
    out.put("\n");
    for (std::size_t address = 0; address < kAddresses; ++address) {
        if (devices[address].seen == FALSE) {
            continue;
        }
        const ZvEacStatsDeviceView view = zvEacStatsDevice(static_cast<ZvEacNwkAddr>(address));
        for (std::size_t c = 0; c < kColumns.size(); ++c) {
            out.putf("  %*s", static_cast<int>(widths[c]), cellFor(view, kColumns[c].column, false).data());
        }
        out.put("\n");
    }
    printLineTotals(out);
}

void zvEacStatsPrintTelegrams(ZvEacStatsSink sink, void* arg) {
    const Out out(sink, arg);
    out.put(" device  direction  message id                                      telegrams\n");
    for (std::size_t address = 0; address < kAddresses; ++address) {
        const Device& device = devices[address];
        if (device.seen == FALSE) {
            continue;
        }
        for (std::size_t direction = 0; direction < kDirections; ++direction) {
            for (std::size_t id = 0; id < kMsgIds; ++id) {
                const U32 count = device.telegrams[direction][id];
                if (count == 0) {
                    continue;
                }
                const char* name = msgIdName(static_cast<U8>(id));
                out.putf(" %6u  %-9s  0x%02x %-42s %9u\n", static_cast<unsigned>(address),
                         direction == ZV_EAC_STATS_TO_DEVICE ? "to" : "from", static_cast<unsigned>(id),
                         name != nullptr ? name : "", static_cast<unsigned>(count));
            }
        }
    }
}

void zvEacStatsWriteCsv(ZvEacStatsSink sink, void* arg) {
    const Out out(sink, arg);
    // A column per message id and direction that any device has.
    std::array<std::array<bool, kMsgIds>, kDirections> used{};
    for (const Device& device : devices) {
        for (std::size_t direction = 0; direction < kDirections; ++direction) {
            for (std::size_t id = 0; id < kMsgIds; ++id) {
                used[direction][id] = used[direction][id] || device.telegrams[direction][id] != 0;
            }
        }
    }

    for (std::size_t c = 0; c < kColumns.size(); ++c) {
        out.putf("%s%s", c == 0 ? "" : ",", kColumns[c].csvHeader);
    }
    for (std::size_t direction = 0; direction < kDirections; ++direction) {
        for (std::size_t id = 0; id < kMsgIds; ++id) {
            if (used[direction][id]) {
                const char* name = msgIdName(static_cast<U8>(id));
                out.putf(",%s 0x%02x%s%s", direction == ZV_EAC_STATS_TO_DEVICE ? "to" : "from",
                         static_cast<unsigned>(id), name != nullptr ? " " : "", name != nullptr ? name : "");
            }
        }
    }
    out.put("\n");

    for (std::size_t address = 0; address < kAddresses; ++address) {
        const Device& device = devices[address];
        if (device.seen == FALSE) {
            continue;
        }
        const ZvEacStatsDeviceView view = zvEacStatsDevice(static_cast<ZvEacNwkAddr>(address));
        for (std::size_t c = 0; c < kColumns.size(); ++c) {
            out.putf("%s%s", c == 0 ? "" : ",", cellFor(view, kColumns[c].column, true).data());
        }
        for (std::size_t direction = 0; direction < kDirections; ++direction) {
            for (std::size_t id = 0; id < kMsgIds; ++id) {
                if (used[direction][id]) {
                    out.putf(",%u", static_cast<unsigned>(device.telegrams[direction][id]));
                }
            }
        }
        out.put("\n");
    }

    const ZvEacStatsLineView view = zvEacStatsLineTotals();
    out.put(
        "\nbytes,frames,load_percent,bit_rate,elapsed_s,dropped_bcc,dropped_timeout,dropped_no_etx,"
        "dropped_no_memory,noise_bytes,dropped_cut\n");
    const Number load = view.loadTenthsPercent == MAX_U32 ? Number{} : tenths(view.loadTenthsPercent);
    const Number seconds = tenths(view.elapsed_ms / 100);
    out.putf("%llu,%u,%s,%u,%s,%u,%u,%u,%u,%llu,%u\n", static_cast<unsigned long long>(view.bytes),
             static_cast<unsigned>(view.frames), load.data(), static_cast<unsigned>(view.bitRate), seconds.data(),
             static_cast<unsigned>(view.drops[ZV_EAC_STATS_LINE_DROP_BCC]),
             static_cast<unsigned>(view.drops[ZV_EAC_STATS_LINE_DROP_TIMEOUT]),
             static_cast<unsigned>(view.drops[ZV_EAC_STATS_LINE_DROP_NO_ETX]),
             static_cast<unsigned>(view.drops[ZV_EAC_STATS_LINE_DROP_NO_MEMORY]),
             static_cast<unsigned long long>(view.noiseBytes),
             static_cast<unsigned>(view.drops[ZV_EAC_STATS_LINE_DROP_CUT]));
}
