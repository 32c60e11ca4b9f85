// Arbitrary telegram bytes into the field model and out as JSON Lines, and
// into the device table. Checks what a script reading the records relies
// on: every record is one line of valid JSON, carries its version and kind,
// and the bytes it reports as raw are the telegram's own; and that the
// device table takes anything without harm.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "devices/zvEacDevices.h"
#include "eac/zelvan/zvEacRecord.h"
#include "output/zvEacJson.h"

namespace {

constexpr std::size_t kMaxTelegram = 255;

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "recordFuzz: %s %s\n", what, detail.c_str());
    std::abort();
}

ZvEacDeviceTable table;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    // Byte 0: direction and address; the rest: the telegram.
    const U8 direction = data[0] & 1U;
    const auto address = static_cast<U8>(data[0] >> 1U);
    const std::size_t length = std::min(size - 1, kMaxTelegram);
    const U8* telegram = data + 1;

    ZvEacRecord record;
    (void)zvEacDecodeRecord(direction, address, static_cast<U8>(length), telegram, record);
    ZvEacReport report;
    report.kind = ZvEacReportKind::TELEGRAM;
    report.wall_us = 1706702709042123ULL;
    report.source = direction != 0 ? address : 0;
    report.destination = direction != 0 ? 0 : address;
    report.record = &record;
    std::string line;
    zvEacJsonAppend(report, line);
    if (line.empty() || line.back() != '\n' || line.find('\n') != line.size() - 1) {
        fail("not one line:", line);
    }
    const nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        fail("not JSON:", line);
    }
    if (parsed.value("v", 0) != ZV_EAC_JSON_VERSION || parsed.value("kind", "") != "telegram") {
        fail("no version or kind:", line);
    }
    if (record.rawReason != ZvEacRawReason::NONE) {
        std::string hex;
        static constexpr char kDigits[] = "0123456789abcdef";
        for (std::size_t i = 0; i < length; ++i) {
            hex += kDigits[telegram[i] >> 4U];
            hex += kDigits[telegram[i] & 0x0FU];
        }
        if (parsed.value("raw", "") != hex) {
            fail("raw bytes not the telegram's:", line);
        }
    }
    table.takeTelegram(report.wall_us, report.source, report.destination, static_cast<U8>(length), telegram);
    if (table.device(address).state.size() != ZV_EAC_DEVICE_SLOTS) {
        fail("table lost its shape", "");
    }
    return 0;
}
