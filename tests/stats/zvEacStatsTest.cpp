// Bus statistics: answer-time figures from the histogram, line totals and
// load, and the table and CSV that show them.
#include "stats/zvEacStats.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "hal/include/icPlatformTimer.h"

namespace {

U32 clock_ms = 0;
U32 pinnedClock() { return clock_ms; }

void collect(void* arg, const char* text) { *static_cast<std::string*>(arg) += text; }

class Stats : public testing::Test {
protected:
    void SetUp() override {
        platformTimerSetTickSource(pinnedClock);
        clock_ms = 5000;
        zvEacStatsSetBitRate(9600);
        zvEacStatsReset();
    }
    void TearDown() override { platformTimerSetTickSource(nullptr); }

    // A poll of `device` ending at `pollEnd`, answered at `answerStart`, as
    // the receiver and the observer report them.
    static void pollAndAnswer(ZvEacNwkAddr device, U16 pollEnd, U16 answerStart) {
        zvEacStatsLine(ZV_EAC_STATS_LINE_FRAME, 6, static_cast<U16>(pollEnd - 1), pollEnd);
        zvEacStatsFrame(0, device, 0, nullptr);
        zvEacStatsLine(ZV_EAC_STATS_LINE_FRAME, 8, answerStart, static_cast<U16>(answerStart + 1));
        const U8 telegram[] = {0xA3, 0x02};
        zvEacStatsFrame(device, 0, 2, telegram);
        zvEacStatsAnswer(device);
    }
};

struct AnswerCase {
    const char* name;
    std::vector<U16> times_ms;  // one answer each
    U16 min, max;
    U32 meanTenths;
    U16 p99;
};

class StatsAnswers : public Stats, public testing::WithParamInterface<AnswerCase> {};

TEST_P(StatsAnswers, MinMeanP99MaxFromTheArrivalTicks) {
    // Starting near the top of the 16-bit tick: answer times must survive the wrap.
    U16 tick = 65500;
    for (const U16 time : GetParam().times_ms) {
        pollAndAnswer(7, tick, static_cast<U16>(tick + time));
        tick = static_cast<U16>(tick + time + 10);
    }
    const ZvEacStatsDeviceView view = zvEacStatsDevice(7);
    EXPECT_EQ(view.answers, GetParam().times_ms.size());
    EXPECT_EQ(view.timedAnswers, GetParam().times_ms.size());
    EXPECT_EQ(view.answerMin_ms, GetParam().min);
    EXPECT_EQ(view.answerMax_ms, GetParam().max);
    EXPECT_EQ(view.answerMeanTenths_ms, GetParam().meanTenths);
    EXPECT_EQ(view.answerP99_ms, GetParam().p99);
}

std::vector<U16> repeated(std::vector<std::pair<U16, int>> runs) {
    std::vector<U16> out;
    for (const auto& [value, count] : runs) {
        out.insert(out.end(), static_cast<std::size_t>(count), value);
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Stats, StatsAnswers,
    testing::Values(AnswerCase{"One", {4}, 4, 4, 40, 4}, AnswerCase{"ZeroGap", {0, 2}, 0, 2, 10, 2},
                    AnswerCase{"MeanRounds", {1, 2, 2}, 1, 2, 17, 2},
                    // 99 of 100 by 3 ms: the one late answer is beyond the 99th.
                    AnswerCase{"OneOutlierInAHundred", repeated({{3, 99}, {200, 1}}), 3, 200, 50, 3},
                    AnswerCase{"TwoOutliersInAHundred", repeated({{3, 98}, {200, 2}}), 3, 200, 69, 200},
                    AnswerCase{"AboveTheHistogram", {2, 300, 300}, 2, 300, 2007, ZV_EAC_STATS_ANSWER_BUCKETS_MS},
                    AnswerCase{"LastBucketInside", {255}, 255, 255, 2550, 255}),
    [](const testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

TEST_F(Stats, AnswerWithoutReceiverTimesCountsButIsNotTimed) {
    zvEacStatsFrame(0, 4, 0, nullptr);
    zvEacStatsFrame(4, 0, 0, nullptr);
    zvEacStatsAnswer(4);
    const ZvEacStatsDeviceView view = zvEacStatsDevice(4);
    EXPECT_EQ(view.answers, 1U);
    EXPECT_EQ(view.timedAnswers, 0U);
}

TEST_F(Stats, LineTotalsDropsNoiseAndLoad) {
    zvEacStatsLine(ZV_EAC_STATS_LINE_NOISE, 5, 0, 0);
    zvEacStatsLine(ZV_EAC_STATS_LINE_DROP_BCC, 7, 0, 0);
    zvEacStatsLine(ZV_EAC_STATS_LINE_DROP_TIMEOUT, 3, 0, 0);
    zvEacStatsLine(ZV_EAC_STATS_LINE_DROP_TIMEOUT, 4, 0, 0);
    zvEacStatsLine(ZV_EAC_STATS_LINE_DROP_NO_ETX, 9, 0, 0);
    zvEacStatsLine(ZV_EAC_STATS_LINE_FRAME, 408, 0, 0);
    EXPECT_EQ(zvEacStatsLineTotals().loadTenthsPercent, MAX_U32) << "no time has passed";
    clock_ms += 1000;

    const ZvEacStatsLineView view = zvEacStatsLineTotals();
    EXPECT_EQ(view.bytes, 436U);
    EXPECT_EQ(view.frames, 1U);
    EXPECT_EQ(view.noiseBytes, 5U);
    EXPECT_EQ(view.drops[ZV_EAC_STATS_LINE_DROP_BCC], 1U);
    EXPECT_EQ(view.drops[ZV_EAC_STATS_LINE_DROP_TIMEOUT], 2U);
    EXPECT_EQ(view.drops[ZV_EAC_STATS_LINE_DROP_NO_ETX], 1U);
    EXPECT_EQ(view.drops[ZV_EAC_STATS_LINE_DROP_NO_MEMORY], 0U);
    // 436 bytes of 11 bits in one second at 9600 bit/s: 49.96 %.
    EXPECT_EQ(view.loadTenthsPercent, 499U);

    zvEacStatsReset();
    EXPECT_EQ(zvEacStatsLineTotals().bytes, 0U);
}

TEST_F(Stats, ResetForgetsDevicesAndLastHeardCountsOn) {
    pollAndAnswer(9, 100, 103);
    clock_ms += 2500;
    EXPECT_EQ(zvEacStatsDevice(9).lastHeardAgo_ms, 2500U);
    EXPECT_EQ(zvEacStatsDevice(3).lastHeardAgo_ms, MAX_U32);
    zvEacStatsReset();
    EXPECT_FALSE(zvEacStatsDeviceSeen(9));
    EXPECT_EQ(zvEacStatsDevice(9).polls, 0U);
    EXPECT_EQ(zvEacStatsTelegrams(9, ZV_EAC_STATS_FROM_DEVICE, 0xA3), 0U);
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        parts.push_back(part);
    }
    return parts;
}

// Every device line of the table as wide as the header, the CSV's rows as
// wide as its header, and each CSV figure under its own name.
TEST_F(Stats, TableAndCsvKeepTheirColumns) {
    pollAndAnswer(3, 100, 104);
    pollAndAnswer(12, 200, 202);
    pollAndAnswer(12, 300, 302);
    zvEacStatsMissed(12);
    zvEacStatsOnline(12, TRUE);
    const U8 unknown[] = {0xBC};
    zvEacStatsFrame(0, 200, 1, unknown);

    std::string table;
    zvEacStatsPrintTable(collect, &table);
    const std::vector<std::string> lines = split(table, '\n');
    ASSERT_EQ(lines.size(), 6U) << table;  // header, 3 devices, 2 line totals
    for (std::size_t i = 1; i <= 3; ++i) {
        EXPECT_EQ(lines[i].size(), lines[0].size()) << table;
    }
    // Sorted by address.
    EXPECT_NE(lines[1].find(" 3 "), std::string::npos) << table;
    EXPECT_NE(lines[2].find(" 12 "), std::string::npos) << table;

    std::string csv;
    zvEacStatsWriteCsv(collect, &csv);
    const std::vector<std::string> rows = split(csv, '\n');
    ASSERT_EQ(rows.size(), 7U) << csv;  // header, 3 devices, blank, header, line
    const std::vector<std::string> names = split(rows[0], ',');
    const std::vector<std::string> device12 = split(rows[2], ',');
    ASSERT_EQ(device12.size(), names.size()) << csv;
    const auto valueOf = [&](const std::string& name) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] == name) {
                return device12[i];
            }
        }
        return std::string("no column ") + name;
    };
    EXPECT_EQ(valueOf("device"), "12");
    EXPECT_EQ(valueOf("polls"), "2");
    EXPECT_EQ(valueOf("answers"), "2");
    EXPECT_EQ(valueOf("missed"), "1");
    EXPECT_EQ(valueOf("online"), "1");
    EXPECT_EQ(valueOf("answer_mean_ms"), "2.0");
    EXPECT_EQ(valueOf("to 0xbc"), "0");
    EXPECT_EQ(valueOf("from 0xa3 MSGID_LOCK_STATE"), "2");
    EXPECT_EQ(split(rows[5], ',').size(), split(rows[6], ',').size()) << csv;
}

}  // namespace
