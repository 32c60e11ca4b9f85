// The report's history keeps flat memory without losing counts, and no text
// from the bus can break out of the page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/zvReportHistory.h"
#include "report/zvReportHtml.h"

namespace {

constexpr U64 kSecond = 1'000'000;
constexpr U64 kStart = 1'700'000'000 * kSecond;

TEST(ZvReportBuckets, CoarsenWithoutLosingCounts) {
    struct Case {
        std::size_t capacity;
        U64 span_s;  // samples once a second for this long
        U64 wantWidth_s;
    };
    for (const Case c : {Case{8, 5, 1}, Case{8, 8, 1}, Case{8, 9, 2}, Case{8, 100, 16}, Case{4096, 86400, 32}}) {
        ZvReportBuckets<ZvReportLineBucket> buckets(c.capacity);
        for (U64 s = 0; s < c.span_s; ++s) {
            buckets.at(kStart + s * kSecond + 123).bytes += 1;
        }
        U64 total = 0;
        for (const ZvReportLineBucket& b : buckets.buckets()) {
            total += b.bytes;
        }
        EXPECT_EQ(total, c.span_s) << c.span_s;
        EXPECT_LE(buckets.buckets().size(), c.capacity) << c.span_s;
        EXPECT_EQ(buckets.width_us(), c.wantWidth_s * kSecond) << c.span_s;
    }
}

TEST(ZvReportBuckets, ClockJumpsStayBounded) {
    ZvReportBuckets<ZvReportAnswerBucket> buckets(16);
    const ZvReportAnswerBucket one{1, 7, 7};
    buckets.at(kStart).merge(one);
    buckets.at(kStart - 3600 * kSecond).merge(one);  // set back: the first bucket
    buckets.at(~U64{0}).merge(one);                  // a stamp from a corrupt file
    U32 count = 0;
    for (const auto& b : buckets.buckets()) {
        count += b.count;
    }
    EXPECT_EQ(count, 3U);
    EXPECT_LE(buckets.buckets().size(), 16U);
}

TEST(ZvReportHistory, ThinsStateChangesButKeepsEveryPresence) {
    ZvReportLimits limits;
    limits.eventsPerDevice = 64;
    ZvReportHistory history(limits);
    std::size_t presences = 0;
    for (U64 i = 0; i < 1000; ++i) {
        history.state(kStart + i * kSecond, 5, ZvEacDeviceSlot::LOCK, i % 2 == 0 ? "LOCKED" : "UNLOCKED");
        if (i % 100 == 0) {
            history.presence(kStart + i * kSecond, 5, i % 200 == 0);
            ++presences;
        }
    }
    const ZvReportDeviceHistory* device = history.device(5);
    ASSERT_NE(device, nullptr);
    EXPECT_LE(device->events.size(), limits.eventsPerDevice);
    EXPECT_EQ(device->seenEvents, 1000 + presences);
    EXPECT_GT(device->stride, 1U);
    std::size_t kept = 0;
    U64 last = 0;
    for (const ZvReportEvent& e : device->events) {
        kept += e.lane == static_cast<U8>(ZvReportLane::PRESENCE) ? 1 : 0;
        EXPECT_GE(e.wall_us, last);  // still in order
        last = e.wall_us;
    }
    EXPECT_EQ(kept, presences);
    EXPECT_EQ(history.device(6), nullptr);
}

TEST(ZvReportHistory, TextsAreCappedAndShared) {
    ZvReportLimits limits;
    limits.texts = 8;
    ZvReportHistory history(limits);
    for (int i = 0; i < 50; ++i) {
        history.state(kStart, 1, ZvEacDeviceSlot::EVENT, "event " + std::to_string(i));
        history.state(kStart, 2, ZvEacDeviceSlot::EVENT, "event 0");
    }
    EXPECT_LE(history.texts().size(), limits.texts);
    EXPECT_TRUE(history.textsFull());
    EXPECT_EQ(history.device(2)->events.front().text, history.device(1)->events.front().text);
}

TEST(ZvReportHtml, TextIsEscapedAndMadeUtf8) {
    const std::string bad = "\xEF\xBF\xBD";
    struct Case {
        std::string in;
        std::string out;
    };
    const std::vector<Case> cases{
        {"LOCK_STATE_LOCKED", "LOCK_STATE_LOCKED"},
        {"</script><b x='1'>&", "&lt;/script&gt;&lt;b x=&#39;1&#39;&gt;&amp;"},
        {"a\"b", "a&quot;b"},
        {std::string("nul\0x", 5), "nul" + bad + "x"},
        {"\x1b[2Jesc\x7f", bad + "[2Jesc" + bad},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\x92", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\x92"},
        {"\xC3", bad},                                // cut short
        {"\xC0\xAF", bad + bad},                      // overlong
        {"\xED\xA0\x80", bad + bad + bad},            // surrogate
        {"\xF4\x90\x80\x80", bad + bad + bad + bad},  // above U+10FFFF
        {"\xFF\xFE", bad + bad},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zvReportHtmlText(c.in), c.out) << c.in;
    }
}

TEST(ZvReportHtml, DeviceTextCannotEndTheScript) {
    ZvReportHistory history;
    const std::string hostile = "</script><script>alert(1)</script><!--";
    history.state(kStart, 3, ZvEacDeviceSlot::EVENT, hostile);
    history.presence(kStart, 3, true);
    ZvEacDeviceTable devices;
    ZvReportSource source;
    source.what = "file " + hostile;
    source.version = "test";
    const std::string page = zvReportHtml(source, history, devices);
    EXPECT_EQ(page.find("alert(1)</script>"), std::string::npos);
    EXPECT_EQ(page.find("<script>alert"), std::string::npos);
    EXPECT_EQ(page.find("<!--"), std::string::npos);
    // Every script element the page opens is one of its own four.
    std::size_t scripts = 0;
    for (std::size_t at = page.find("</script>"); at != std::string::npos; at = page.find("</script>", at + 1)) {
        ++scripts;
    }
    EXPECT_EQ(scripts, 4U);
    // Nothing to load from elsewhere.
    for (const char* fetch : {" src=", " href=", "<link", "url(", "@import"}) {
        EXPECT_EQ(page.find(fetch), std::string::npos) << fetch;
    }
}

}  // namespace
