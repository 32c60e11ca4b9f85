// The packet format: what a reader accepts and refuses, the wall-clock
// mapping of arrival ticks, and the dissector's message names.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "capture/zvCapClock.h"
#include "capture/zvCapFormat.h"
#include "eac/zelvan/zvEacToStr.h"

namespace {

struct DecodeCase {
    const char* name;
    std::vector<U8> packet;
    ZvCapDecodeResult result;
    ZvCapKind kind;
    U32 bitRate;
    std::vector<U8> wire;
};

class CapDecode : public testing::TestWithParam<DecodeCase> {};

TEST_P(CapDecode, SplitsOrRefuses) {
    const DecodeCase& c = GetParam();
    ZvCapHeader header{};
    std::span<const U8> wire;
    ASSERT_EQ(zvCapDecodePacket(c.packet, header, wire), c.result);
    if (c.result == ZV_CAP_DECODE_OK) {
        EXPECT_EQ(header.kind, c.kind);
        EXPECT_EQ(header.bitRate, c.bitRate);
        EXPECT_EQ(std::vector<U8>(wire.begin(), wire.end()), c.wire);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Capture, CapDecode,
    testing::Values(
        DecodeCase{"Frame",
                   {1, 8, 0, 0, 0, 0, 0x4b, 0x00, 2, 5, 0, 1, 0xa2, 0xa6, 3},
                   ZV_CAP_DECODE_OK,
                   ZV_CAP_KIND_FRAME,
                   19200,
                   {2, 5, 0, 1, 0xa2, 0xa6, 3}},
        DecodeCase{"NoLineBytes", {1, 8, 1, 0, 0, 1, 0xc2, 0x00}, ZV_CAP_DECODE_OK, ZV_CAP_KIND_NOISE, 115200, {}},
        DecodeCase{"LongerHeaderOfALaterRevision",
                   {1, 10, 5, 0, 0, 0, 0x25, 0x80, 9, 9, 0x55},
                   ZV_CAP_DECODE_OK,
                   ZV_CAP_KIND_DROP_NO_MEMORY,
                   9600,
                   {0x55}},
        DecodeCase{"Empty", {}, ZV_CAP_DECODE_TOO_SHORT, {}, 0, {}},
        DecodeCase{"CutInTheHeader", {1, 8, 0, 0, 0}, ZV_CAP_DECODE_TOO_SHORT, {}, 0, {}},
        DecodeCase{"UnknownVersion", {3, 12, 0, 0, 0, 0, 0x4b, 0x00, 0, 0, 0, 0}, ZV_CAP_DECODE_BAD_VERSION, {}, 0, {}},
        DecodeCase{
            "Version2WithAVersion1Length", {2, 8, 0, 0, 0, 0, 0x4b, 0x00, 0x55}, ZV_CAP_DECODE_BAD_LENGTH, {}, 0, {}},
        DecodeCase{"HeaderTooShortForItsVersion", {1, 4, 0, 0, 0, 0, 0x4b, 0x00}, ZV_CAP_DECODE_BAD_LENGTH, {}, 0, {}},
        DecodeCase{
            "HeaderLongerThanThePacket", {1, 200, 0, 0, 0, 0, 0x4b, 0x00, 1}, ZV_CAP_DECODE_BAD_LENGTH, {}, 0, {}},
        DecodeCase{"UnknownKind", {1, 8, 7, 0, 0, 0, 0x4b, 0x00}, ZV_CAP_DECODE_BAD_KIND, {}, 0, {}}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

TEST(CapFormat, EncodedHeaderDecodesToTheSameFields) {
    for (U8 kind = 0; kind < ZV_CAP_KIND_COUNT; ++kind) {
        std::vector<U8> packet(ZV_CAP_HEADER_SIZE + 2);
        ASSERT_EQ(zvCapEncodeHeader({static_cast<ZvCapKind>(kind), 0x01020304, TRUE, 0xfffe, 0x0102}, packet),
                  ZV_CAP_HEADER_SIZE);
        packet[ZV_CAP_HEADER_SIZE] = 0x02;
        packet[ZV_CAP_HEADER_SIZE + 1] = 0x1b;
        ZvCapHeader header{};
        std::span<const U8> wire;
        ASSERT_EQ(zvCapDecodePacket(packet, header, wire), ZV_CAP_DECODE_OK);
        EXPECT_EQ(header.kind, kind);
        EXPECT_EQ(header.bitRate, 0x01020304U);
        EXPECT_EQ(header.hasTicks, TRUE);
        EXPECT_EQ(header.firstTick, 0xfffe);
        EXPECT_EQ(header.lastTick, 0x0102);
        EXPECT_EQ(wire.size(), 2U);
    }
    std::vector<U8> tooSmall(ZV_CAP_HEADER_SIZE - 1);
    EXPECT_EQ(zvCapEncodeHeader({ZV_CAP_KIND_FRAME, 19200, TRUE, 0, 0}, tooSmall), 0U);
}

TEST(CapFormat, TellsCapturesFromRawLineBytes) {
    const std::vector<std::pair<std::vector<U8>, Boolean>> cases{
        {{0xd4, 0xc3, 0xb2, 0xa1}, TRUE}, {{0xa1, 0xb2, 0xc3, 0xd4}, TRUE},  {{0x4d, 0x3c, 0xb2, 0xa1}, TRUE},
        {{0x0a, 0x0d, 0x0d, 0x0a}, TRUE}, {{0x02, 0x05, 0x00, 0x01}, FALSE}, {{0xd4, 0xc3, 0xb2}, FALSE},
    };
    for (const auto& [head, expected] : cases) {
        EXPECT_EQ(zvCapLooksLikeCapture(head), expected) << static_cast<int>(head[0]);
    }
}

// --- the wall clock of arrival ticks --------------------------------------------------

TEST(CapClock, KeepsGapsInWholeMillisecondsAndFollowsAWallClockThatWasSet) {
    constexpr U64 kStart = 1700000000123456ULL;
    ZvCapWallClock clock{};
    // The first tick anchors the mapping at the wall clock minus its age, on
    // a whole millisecond: a capture adds the byte's own microseconds.
    constexpr U64 kAnchor = kStart - 10000 - 456;
    EXPECT_EQ(zvCapWallClockAt(clock, 1000, 1010, kStart), kAnchor);
    // Where the anchored mapping puts a tick of the 32-bit count.
    const auto at = [&](U64 tick32) { return kAnchor + (tick32 - 1000) * 1000; };
    struct Step {
        U16 tick;
        U32 now;
        U64 wall;
        U64 expected;
    };
    const std::vector<Step> steps{
        // Asked again later, with a wall clock read at another fraction of a
        // millisecond: the same instant.
        {1000, 1500, at(1500) + 700, at(1000)},
        // 250 ms later on the tick is 250 ms later, whatever the wall clock's jitter.
        {1250, 1260, at(1260) + 400, at(1250)},
        // Across the wrap of the 16-bit tick.
        {5, 65536 + 5, at(65536 + 5) + 300, at(65536 + 5)},
        // The wall clock was set 5 s ahead: the mapping follows in whole ms.
        {10, 65536 + 10, at(65536 + 10) + 5000300, at(65536 + 10) + 5000000},
        // ... and keeps it.
        {20, 65536 + 20, at(65536 + 20) + 5000100, at(65536 + 20) + 5000000},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(zvCapWallClockAt(clock, s.tick, s.now, s.wall), s.expected) << s.tick;
    }
}

// --- the dissector's names --------------------------------------------------------

TEST(CapDissector, NamesEveryMessageIdAsTheSnifferDoes) {
    std::ifstream lua(std::string(ZV_SOURCE_DIR) + "/wireshark/zvEac.lua");
    ASSERT_TRUE(lua.good());
    std::stringstream text;
    text << lua.rdbuf();
    const std::string all = text.str();
    const auto begin = all.find("-- msgid names begin");
    const auto end = all.find("-- msgid names end");
    ASSERT_NE(begin, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    const std::string table = all.substr(begin, end - begin);
    std::map<int, std::string> inLua;
    // Rows read: [0xNN] = "NAME",
    std::istringstream rows(table);
    std::string line;
    while (std::getline(rows, line)) {
        const auto id = line.find("[0x");
        const auto open = line.find('"');
        const auto close = line.rfind('"');
        if (id != std::string::npos && open != std::string::npos && close > open) {
            inLua[std::stoi(line.substr(id + 3, 2), nullptr, 16)] = line.substr(open + 1, close - open - 1);
        }
    }
    std::map<int, std::string> inSniffer;
    for (int id = 0; id < 256; ++id) {
        const std::string name = zvEacMsgIdToStr(static_cast<U8>(id));
        if (name.rfind("MSGID_", 0) == 0) {
            inSniffer[id] = name;
        }
    }
    EXPECT_EQ(inLua, inSniffer);
}

}  // namespace
