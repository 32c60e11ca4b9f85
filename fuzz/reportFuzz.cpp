// Whatever the bus sends, in whatever order and with whatever clock, into
// the report's history and out as the HTML page. Checks what a browser
// relies on: the page is UTF-8, opens and closes exactly its own script
// elements (no device text ends one or starts another), and the data it
// carries parses as JSON.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <string_view>

#include "devices/zvEacDevices.h"
#include "report/zvReportHistory.h"
#include "report/zvReportHtml.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "reportFuzz: %s %s\n", what, detail.substr(0, 2000).c_str());
    std::abort();
}

std::size_t count(std::string_view text, std::string_view what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

bool validUtf8(std::string_view text) {
    // What the escaping writes back is exactly the text when it was UTF-8
    // without markup or control characters; here only the encoding counts.
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80             ? 1
                                   : (c & 0xE0) == 0xC0 ? 2
                                   : (c & 0xF0) == 0xE0 ? 3
                                   : (c & 0xF8) == 0xF0 ? 4
                                                        : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

void stateChanged(void* arg, U64 wall_us, U8 address, ZvEacDeviceSlot slot, const std::string& text) {
    static_cast<ZvReportHistory*>(arg)->state(wall_us, address, slot, text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // Small limits, so that thinning, coarsening and the full text table are
    // reached by short inputs.
    ZvReportLimits limits;
    limits.lineBuckets = 8;
    limits.answerBuckets = 4;
    limits.eventsPerDevice = 6;
    limits.texts = 5;
    ZvReportHistory history(limits);
    ZvEacDeviceTable devices;
    devices.onChange(stateChanged, &history);

    // Steps: [what][time step][address][length][bytes...]
    U64 now_us = 1706702709042123ULL;
    std::size_t at = 0;
    while (at + 4 <= size) {
        const U8 what = data[at] % 5;
        const U8 step = data[at + 1];
        const U8 address = data[at + 2];
        const std::size_t length = std::min<std::size_t>(data[at + 3], size - at - 4);
        const std::span<const U8> bytes(data + at + 4, length);
        at += 4 + length;
        // Mostly forward, now and then far ahead or back, as a corrupt
        // capture's stamps may go.
        now_us = step == 0xFF ? now_us * 3 : step == 0xFE ? now_us / 2 : now_us + step * 997'000ULL;
        switch (what) {
            case 0:
                devices.takeTelegram(now_us, bytes.empty() ? 0 : address, bytes.empty() ? address : 0,
                                     static_cast<U8>(length), bytes.data());
                break;
            case 1:
                history.unit(now_us, static_cast<ZvEacNwkUnitKind>(address % ZV_EAC_NWK_UNIT_KINDS), bytes);
                break;
            case 2:
                history.presence(now_us, address, (step & 1U) != 0);
                devices.presence(now_us, address, (step & 1U) != 0);
                break;
            case 3:
                history.answer(now_us, address, static_cast<U16>(step * 3U));
                break;
            default:
                history.state(now_us, address, static_cast<ZvEacDeviceSlot>(step % (ZV_EAC_DEVICE_SLOTS + 1)),
                              std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        }
    }

    ZvReportSource source;
    source.what = "file fuzz";
    source.version = "fuzz";
    const std::string page = zvReportHtml(source, history, devices);
    if (!validUtf8(page)) {
        fail("page not UTF-8", "");
    }
    if (count(page, "<script") != 4 || count(page, "</script") != 4) {
        fail("script elements not the page's own", page);
    }
    const std::string_view open = "id=\"zv-data\">";
    const std::size_t start = page.find(open);
    const std::size_t end = page.find("</script>", start);
    if (start == std::string::npos || end == std::string::npos) {
        fail("no data element", page);
    }
    const nlohmann::json parsed =
        nlohmann::json::parse(page.substr(start + open.size(), end - start - open.size()), nullptr, false);
    if (parsed.is_discarded() || !parsed.contains("devices") || parsed["devices"].size() > 255) {
        fail("data not JSON:", page.substr(start, end - start));
    }
    return 0;
}
