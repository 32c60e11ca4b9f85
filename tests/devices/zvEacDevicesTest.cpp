// The device table's rules: a state changes (and takes a new time) only
// when its value does; a telegram the decoder cannot read changes nothing;
// a command to a device counts for that device; a dropped frame counts for
// the device its header names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/zvEacDevices.h"
#include "devices/zvEacDevicesView.h"

namespace {

struct Step {
    U64 wall_us;
    U8 source;
    U8 destination;
    std::vector<U8> telegram;
};

struct TableCase {
    const char* name;
    std::vector<Step> steps;
    U8 device;
    ZvEacDeviceSlot slot;
    const char* text;  // nullptr: not known
    U64 changed_us;
};

std::vector<TableCase> tableCases() {
    return {
        {"FirstReportSetsTheTime", {{100, 5, 0, {0xA3, 0x02}}}, 5, ZvEacDeviceSlot::LOCK, "LOCK_STATE_LOCKED", 100},
        {"TheSameValueKeepsItsTime",
         {{100, 5, 0, {0xA3, 0x02}}, {200, 5, 0, {0xA3, 0x02}}},
         5,
         ZvEacDeviceSlot::LOCK,
         "LOCK_STATE_LOCKED",
         100},
        {"ANewValueTakesANewTime",
         {{100, 5, 0, {0xA3, 0x02}}, {200, 5, 0, {0xA3, 0x01}}},
         5,
         ZvEacDeviceSlot::LOCK,
         "LOCK_STATE_UNLOCKED",
         200},
        {"AShortTelegramChangesNothing",
         {{100, 5, 0, {0xA3, 0x02}}, {200, 5, 0, {0xA3}}},
         5,
         ZvEacDeviceSlot::LOCK,
         "LOCK_STATE_LOCKED",
         100},
        {"DoorsApart", {{100, 6, 0, {0xA8, 0x02}}}, 6, ZvEacDeviceSlot::LOCK, nullptr, 0},
        {"TheMastersDecisionCountsForTheDevice",
         {{300, 0, 3, {0x48, 0x01}}},
         3,
         ZvEacDeviceSlot::ACCESS,
         "GRANTED",
         300},
        {"AnotherDeviceIsAnotherRow", {{100, 5, 0, {0xA3, 0x02}}}, 4, ZvEacDeviceSlot::LOCK, nullptr, 0},
    };
}

class DeviceTable : public testing::TestWithParam<TableCase> {};

TEST_P(DeviceTable, KeepsTheLastValueWithTheTimeItChanged) {
    const TableCase& c = GetParam();
    ZvEacDeviceTable table;
    for (const Step& step : c.steps) {
        table.takeTelegram(step.wall_us, step.source, step.destination, static_cast<U8>(step.telegram.size()),
                           step.telegram.data());
    }
    const ZvEacDeviceValue& value = table.device(c.device).state[static_cast<std::size_t>(c.slot)];
    EXPECT_EQ(value.known, c.text != nullptr);
    if (c.text != nullptr) {
        EXPECT_EQ(value.text, c.text);
        EXPECT_EQ(value.changed_us, c.changed_us);
    }
}

INSTANTIATE_TEST_SUITE_P(Devices, DeviceTable, testing::ValuesIn(tableCases()),
                         [](const testing::TestParamInfo<TableCase>& info) { return info.param.name; });

TEST(DeviceTableDrops, CountForTheDeviceTheHeaderNames) {
    ZvEacDeviceTable table;
    const std::vector<U8> fromFive{0x02, 0x00, 0x05, 0x02, 0xA3, 0x02, 0xFF, 0x03};
    const std::vector<U8> toSeven{0x02, 0x07, 0x00, 0x01};
    const std::vector<U8> headless{0x02};
    table.drop(fromFive);
    table.drop(toSeven);
    const U64 before = table.generation();
    table.drop(headless);
    EXPECT_EQ(table.device(5).drops, 1U);
    EXPECT_EQ(table.device(7).drops, 1U);
    EXPECT_EQ(table.generation(), before);  // nothing to count
}

// A replay of raw line bytes starts its clock at 0: a device that came
// online then is online, not merely seen.
TEST(DeviceTablePresence, AtTimeZeroIsStillKnown) {
    ZvEacDeviceTable table;
    table.presence(0, 4, true);
    table.presence(0, 6, false);
    EXPECT_NE(zvEacDevicesText(table, false).find("online"), std::string::npos);
    EXPECT_NE(zvEacDevicesText(table, false).find("OFFLINE"), std::string::npos);
    const std::string csv = zvEacDevicesCsv(table);
    EXPECT_NE(csv.find("\n4,,1,"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\n6,,0,"), std::string::npos) << csv;
}

}  // namespace

namespace {

// The view: which devices it shows, in which order, and how each cell looks.
TEST(DeviceView, SortsFiltersHighlightsFreshChangesAndDimsDevicesAway) {
    ZvEacDeviceTable table;
    const std::vector<U8> locked{0xA3, 0x02};
    table.presence(1'000'000, 3, true);
    table.takeTelegram(1'000'000, 3, 0, 2, locked.data());
    table.presence(5'000'000, 7, true);
    table.takeTelegram(5'000'000, 7, 0, 2, locked.data());
    table.presence(6'000'000, 9, false);

    const auto rowsOf = [&table](const ZvEacViewOptions& options) {
        std::vector<std::string> rows;
        const std::vector<IcScreenLine> lines = zvEacDevicesViewLines(table, options);
        for (std::size_t i = 2; i + 1 < lines.size() && !lines[i].empty(); ++i) {
            rows.push_back(lines[i][0].text.substr(0, 4));
        }
        return rows;
    };
    ZvEacViewOptions options;
    options.now_us = 6'500'000;
    options.rows = 10;
    EXPECT_EQ(rowsOf(options), (std::vector<std::string>{"   3", "   7", "   9"}));
    options.sort = ZvEacViewSort::LAST_CHANGE;
    EXPECT_EQ(rowsOf(options), (std::vector<std::string>{"   7", "   3", "   9"}));
    options.addressFilter = "7-9";
    EXPECT_EQ(rowsOf(options), (std::vector<std::string>{"   7", "   9"}));
    options.rows = 4;  // room for one device
    EXPECT_EQ(rowsOf(options).size(), 1U);

    options = ZvEacViewOptions{};
    options.now_us = 6'500'000;
    const std::vector<IcScreenLine> lines = zvEacDevicesViewLines(table, options);
    ASSERT_GE(lines.size(), 5U);
    const auto styleOf = [](const IcScreenLine& line, const std::string& text) {
        for (const IcScreenSpan& span : line) {
            if (span.text.find(text) != std::string::npos) {
                return span.style;
            }
        }
        return IcScreenStyle::HEADER;  // not found
    };
    EXPECT_EQ(styleOf(lines[2], "LOCKED"), IcScreenStyle::PLAIN);      // device 3: 5.5 s ago
    EXPECT_EQ(styleOf(lines[3], "LOCKED"), IcScreenStyle::HIGHLIGHT);  // device 7: 1.5 s ago
    EXPECT_EQ(styleOf(lines[4], "OFFLINE"), IcScreenStyle::DIM);
    for (const IcScreenLine& line : lines) {
        std::size_t width = 0;
        for (const IcScreenSpan& span : line) {
            width += span.text.size();
        }
        EXPECT_LE(width, 80U);
    }
    EXPECT_TRUE(zvEacViewFilterValid("5,7-9") != FALSE);
    EXPECT_FALSE(zvEacViewFilterValid("5;rm") != FALSE);
}

// However wide the terminal, a row fits it whole: the state columns that do
// not fit are left out, never the missed share and drops at the end.
class DeviceViewWidth : public testing::TestWithParam<U16> {};

TEST_P(DeviceViewWidth, EveryLineFitsWithItsLastColumn) {
    ZvEacDeviceTable table;
    const std::vector<U8> locked{0xA3, 0x02};
    table.presence(1'000'000, 3, true);
    table.takeTelegram(1'000'000, 3, 0, 2, locked.data());
    ZvEacViewOptions options;
    options.columns = GetParam();
    const std::vector<IcScreenLine> lines = zvEacDevicesViewLines(table, options);
    ASSERT_GE(lines.size(), 3U);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string text;
        for (const IcScreenSpan& span : lines[i]) {
            text += span.text;
        }
        EXPECT_LE(text.size(), options.columns) << text;
        if (i == 1) {
            EXPECT_EQ(text.substr(text.find_last_not_of(' ') - 10, 11), "missed drop") << text;
        } else if (i == 2) {
            EXPECT_EQ(text.substr(text.size() - 11), "  0.0%    0") << text;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Columns, DeviceViewWidth, testing::Values(79, 80, 85, 88, 91, 97, 100, 104, 140, 200));

}  // namespace
