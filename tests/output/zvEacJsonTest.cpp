// JSON Lines records: every kind's line member by member, bytes from the bus
// that are no UTF-8 kept valid, and the UTC time text across the calendar.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/zvEacJson.h"

namespace {

constexpr U64 kWhen_us = 1706702709042123ULL;  // 2024-01-31T12:05:09.042123Z

// The line without its "local" member, which depends on the time zone.
std::string withoutLocal(std::string line) {
    const std::size_t at = line.find(",\"local\":\"");
    if (at != std::string::npos) {
        line.erase(at, line.find('"', at + 10) + 1 - at);
    }
    return line;
}

ZvEacRecord versionRecord() {
    ZvEacRecord record;
    record.direction = 1;
    record.address = 7;
    record.length = 6;
    record.msgId = 0x21;
    record.msgName = "MSGID_VERSION";
    ZvEacField text;
    text.name = "device_string";
    text.kind = ZvEacValueKind::TEXT;
    text.bytes = {'Z', 'L', 0xFF, '"', '\n'};  // not UTF-8, and JSON's own specials
    text.text = "ZL.\"";
    ZvEacField group;
    group.name = "block";
    group.text = "";
    ZvEacField entry;
    entry.name = "state";
    entry.kind = ZvEacValueKind::NUMBER;
    entry.number = 2;
    entry.text = "UNLOCKED";
    group.fields.push_back(entry);
    record.body = {text, group};
    return record;
}

struct LineCase {
    const char* name;
    ZvEacReport report;
    const char* line;
};

const std::vector<U8> kWrongBcc{0x02, 0x08, 0x00, 0x02, 0xA3, 0x02, 0xFF, 0x03};
const std::vector<U8> kNoise{0x55, 0xAA};
const ZvEacRecord kVersion = versionRecord();
const ZvEacRecord kUnknown = [] {
    ZvEacRecord record;
    record.address = 3;
    record.length = 2;
    record.msgId = 0xEE;
    record.msgName = "UNKNOWN";
    record.rawReason = ZvEacRawReason::UNKNOWN_ID;
    record.raw = {0xEE, 0x01};
    return record;
}();

ZvEacReport report(ZvEacReportKind kind) {
    ZvEacReport r;
    r.kind = kind;
    r.wall_us = kWhen_us;
    return r;
}

std::vector<LineCase> lineCases() {
    std::vector<LineCase> cases;
    ZvEacReport telegram = report(ZvEacReportKind::TELEGRAM);
    telegram.source = 7;
    telegram.record = &kVersion;
    cases.push_back(
        {"TelegramWithTextAndGroup", telegram,
         R"({"v":1,"kind":"telegram","time":"2024-01-31T12:05:09.042123Z","src":7,"dst":0,)"
         R"("direction":"from_device","device":7,"msg_id":33,"msg_name":"MSGID_VERSION","length":6,)"
         R"("fields":[{"name":"device_string","value":"ZL)"
         "\xEF\xBF\xBD"
         R"(\"\n","text":"ZL.\""},{"name":"block","fields":[{"name":"state","value":2,"text":"UNLOCKED"}]}]})"});
    ZvEacReport raw = report(ZvEacReportKind::TELEGRAM);
    raw.destination = 3;
    raw.record = &kUnknown;
    cases.push_back({"TelegramGivenRaw", raw,
                     R"({"v":1,"kind":"telegram","time":"2024-01-31T12:05:09.042123Z","src":0,"dst":3,)"
                     R"("direction":"to_device","device":3,"msg_id":238,"msg_name":"UNKNOWN","length":2,"fields":[],)"
                     R"("raw_reason":"unknown_id","raw":"ee01"})"});
    ZvEacReport online = report(ZvEacReportKind::OFFLINE);
    online.device = 254;
    cases.push_back(
        {"Offline", online, R"({"v":1,"kind":"offline","time":"2024-01-31T12:05:09.042123Z","device":254})"});
    ZvEacReport drop = report(ZvEacReportKind::DROP);
    drop.unitKind = ZV_EAC_NWK_UNIT_DROP_BCC;
    drop.wire = kWrongBcc;
    cases.push_back({"DropNamesItsAddresses", drop,
                     R"({"v":1,"kind":"drop","time":"2024-01-31T12:05:09.042123Z","reason":"wrong_bcc",)"
                     R"("reason_text":"wrong BCC","src":0,"dst":8,"bytes":8,"wire":"02080002a302ff03"})"});
    ZvEacReport cut = report(ZvEacReportKind::DROP);
    cut.unitKind = ZV_EAC_NWK_UNIT_DROP_CUT;
    cut.wire = std::span<const U8>(kWrongBcc).first(1);
    cases.push_back({"CutBeforeTheAddresses", cut,
                     R"({"v":1,"kind":"drop","time":"2024-01-31T12:05:09.042123Z","reason":"cut",)"
                     R"("reason_text":"cut by the end of the run","bytes":1,"wire":"02"})"});
    ZvEacReport noise = report(ZvEacReportKind::NOISE);
    noise.wire = kNoise;
    cases.push_back(
        {"Noise", noise, R"({"v":1,"kind":"noise","time":"2024-01-31T12:05:09.042123Z","bytes":2,"wire":"55aa"})"});
    ZvEacReport gap = report(ZvEacReportKind::RECORDS_DROPPED);
    gap.droppedRecords = 12345;
    cases.push_back({"RecordsDropped", gap,
                     R"({"v":1,"kind":"records_dropped","time":"2024-01-31T12:05:09.042123Z","records":12345})"});
    return cases;
}

class JsonLine : public testing::TestWithParam<LineCase> {};

TEST_P(JsonLine, IsOneLineWithEveryMember) {
    std::string out = "kept";
    zvEacJsonAppend(GetParam().report, out);
    ASSERT_EQ(out.substr(0, 4), "kept");
    ASSERT_EQ(out.back(), '\n');
    const std::string line = out.substr(4, out.size() - 5);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_NE(line.find(",\"local\":\""), std::string::npos);
    EXPECT_EQ(withoutLocal(line), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Json, JsonLine, testing::ValuesIn(lineCases()),
                         [](const testing::TestParamInfo<LineCase>& info) { return info.param.name; });

TEST(JsonTime, IsUtcToTheMicrosecondAcrossTheCalendar) {
    const struct {
        U64 wall_us;
        const char* text;
    } cases[] = {
        {0, "1970-01-01T00:00:00.000000Z"},
        {951782400000001ULL, "2000-02-29T00:00:00.000001Z"},
        {4107542399999999ULL, "2100-02-28T23:59:59.999999Z"},
        {253402300799999999ULL, "9999-12-31T23:59:59.999999Z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(zvEacJsonUtcTime(c.wall_us), c.text) << c.wall_us;
    }
}

}  // namespace
