#include "output/zvEacJson.h"

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "eac/zelvan/zvEacDropReport.h"
#include "hal/include/icLocalTime.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr U64 kMicrosPerSecond = 1000000;
constexpr S64 kSecondsPerDay = 86400;

constexpr std::array<const char*, 6> kKindNames{"telegram", "online", "offline", "drop", "noise", "records_dropped"};
constexpr std::array<const char*, ZV_EAC_NWK_UNIT_KINDS> kDropNames{
    "frame", "noise", "wrong_bcc", "timeout", "no_etx", "no_memory", "cut",
};

std::string hexOf(std::span<const U8> bytes) {
    static constexpr std::array<char, 16> kDigits{'0', '1', '2', '3', '4', '5', '6', '7',
                                                  '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const U8 byte : bytes) {
        out.push_back(kDigits[byte >> 4U]);
        out.push_back(kDigits[byte & 0x0fU]);
    }
    return out;
}

// Civil date from days since 1970-01-01 (proleptic Gregorian calendar).
void civilFromDays(S64 days, S64& year, unsigned& month, unsigned& day) {
    days += 719468;
    const S64 era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    year = static_cast<S64>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

std::string localText(U64 wall_us) {
    IcLocalTime t{};
    icLocalTimeAt(wall_us, &t);
    std::array<char, 32> text{};
    (void)std::snprintf(text.data(), text.size(), "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour,
                        t.minute, t.second, t.milliseconds);
    return text.data();
}

Json fieldJson(const ZvEacField& field) {
    Json out;
    out["name"] = field.name;
    switch (field.kind) {
        case ZvEacValueKind::NUMBER:
            out["value"] = field.number;
            break;
        case ZvEacValueKind::BYTES:
            out["value"] = hexOf(field.bytes);
            break;
        case ZvEacValueKind::TEXT:
            out["value"] = std::string(field.bytes.begin(), field.bytes.end());
            break;
        case ZvEacValueKind::GROUP:
            break;
    }
    if (!field.text.empty()) {
        out["text"] = field.text;
    }
    if (field.kind == ZvEacValueKind::GROUP) {
        Json entries = Json::array();
        for (const ZvEacField& entry : field.fields) {
            entries.push_back(fieldJson(entry));
        }
        out["fields"] = std::move(entries);
    }
    return out;
}

void addTelegram(const ZvEacReport& report, Json& out) {
    out["src"] = report.source;
    out["dst"] = report.destination;
    if (report.record == nullptr) {
        return;
    }
    const ZvEacRecord& record = *report.record;
    out["direction"] = record.direction == 0 ? "to_device" : "from_device";
    out["device"] = record.address;
    out["msg_id"] = record.msgId;
    out["msg_name"] = record.msgName;
    out["length"] = record.length;
    Json fields = Json::array();
    for (const ZvEacField& field : record.body) {
        fields.push_back(fieldJson(field));
    }
    out["fields"] = std::move(fields);
    if (record.rawReason != ZvEacRawReason::NONE) {
        out["raw_reason"] = zvEacRawReasonToStr(record.rawReason);
        out["raw"] = hexOf(record.raw);
    }
}

void addUnit(const ZvEacReport& report, Json& out) {
    if (report.kind == ZvEacReportKind::DROP) {
        out["reason"] = report.unitKind < kDropNames.size() ? kDropNames[report.unitKind] : "unknown";
        out["reason_text"] = zvEacDropReason(report.unitKind);
        const ZvEacDropHeader header = zvEacDropHeaderOf(report.wire);
        if (header.addressesKnown != FALSE) {
            out["src"] = header.source;
            out["dst"] = header.destination;
        }
    }
    out["bytes"] = report.wire.size();
    out["wire"] = hexOf(report.wire);
}

}  // namespace

std::string zvEacJsonUtcTime(U64 wall_us) {
    const auto seconds = static_cast<S64>(wall_us / kMicrosPerSecond);
    const auto micros = static_cast<unsigned>(wall_us % kMicrosPerSecond);
    const S64 days = seconds / kSecondsPerDay;
    const S64 rest = seconds % kSecondsPerDay;
    S64 year = 0;
    unsigned month = 0;
    unsigned day = 0;
    civilFromDays(days, year, month, day);
    std::array<char, 40> text{};
    (void)std::snprintf(text.data(), text.size(), "%04lld-%02u-%02uT%02u:%02u:%02u.%06uZ", static_cast<long long>(year),
                        month, day, static_cast<unsigned>(rest / 3600), static_cast<unsigned>(rest / 60 % 60),
                        static_cast<unsigned>(rest % 60), micros);
    return text.data();
}

void zvEacJsonAppend(const ZvEacReport& report, std::string& out) {
    Json line;
    line["v"] = ZV_EAC_JSON_VERSION;
    const auto kindIndex = static_cast<std::size_t>(report.kind);
    line["kind"] = kindIndex < kKindNames.size() ? kKindNames[kindIndex] : "unknown";
    line["time"] = zvEacJsonUtcTime(report.wall_us);
    line["local"] = localText(report.wall_us);
    switch (report.kind) {
        case ZvEacReportKind::TELEGRAM:
            addTelegram(report, line);
            break;
        case ZvEacReportKind::ONLINE:
        case ZvEacReportKind::OFFLINE:
            line["device"] = report.device;
            break;
        case ZvEacReportKind::DROP:
        case ZvEacReportKind::NOISE:
            addUnit(report, line);
            break;
        case ZvEacReportKind::RECORDS_DROPPED:
            line["records"] = report.droppedRecords;
            break;
    }
    // Bytes from the bus may be anything: replaced where not UTF-8, never
    // thrown over.
    out += line.dump(-1, ' ', false, Json::error_handler_t::replace);
    out += '\n';
}
