// The bus observer: online bookkeeping, the order of reports, decoded frames
// and prompts.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "Appl/zelvanEacSniffer/busObserver.h"
#include "Shell/shell.h"
#include "eac/zelvan/zvEacNetwork.h"
#include "fifo/icFifo.h"
#include "filter/zvEacFilter.h"
#include "hal/include/icLocalTime.h"
#include "logger/logger.h"
#include "stats/zvEacStats.h"

namespace {

constexpr const char* kStamp = "\r (2024-01-31 13:05:09.042) ";
constexpr U8 kGetLockState = 0xA2;  // header-only request from the master
constexpr U8 kLockState = 0xA3;     // a device's answer, one body byte

void pinnedTime(IcLocalTime* out) { *out = IcLocalTime{2024, 1, 31, 13, 5, 9, 42}; }

IcFifoInstance shellTx{};
IcFifoInstance shellRx{};
std::array<Char, 5000> shellTxBuf{};
std::array<Char, 64> shellRxBuf{};

struct Frame {
    ZvEacNwkAddr source;
    ZvEacNwkAddr destination;
    bool withData = true;
};

// The observer under test, prompting on the console as the program's does.
::BusObserver observer{};

void promptOnConsole(void* /*arg*/) { shellApi->printf(shellApi->sh, "%s", " > "); }

class BusObserverTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        icFifoInit(&shellTx, shellTxBuf.data(), static_cast<IcFifoIndex>(shellTxBuf.size()));
        icFifoInit(&shellRx, shellRxBuf.data(), static_cast<IcFifoIndex>(shellRxBuf.size()));
        shellInit(nullptr, &shellTx, &shellRx);
    }

    void SetUp() override {
        icLocalTimeSetSource(pinnedTime);
        loggerSetVerbosity(VERB_CLEARTEXT);
        busObserverReset(observer);
        observer.prompt = promptOnConsole;
        zvEacStatsReset();
        zvEacFilterSet(ZvEacFilter{});
        console();
    }
    void TearDown() override {
        icLocalTimeSetSource(nullptr);
        zvEacFilterSet(ZvEacFilter{});
    }

    // Everything queued for the console since the last call, with the shell's
    // carriage returns after line feeds taken out again.
    static std::string console() {
        std::string text;
        while (icFifoCharsToPop(&shellTx) != 0) {
            const Char c = icFifoPopChar(&shellTx);
            if (c == '\r' && !text.empty() && text.back() == '\n') {
                continue;
            }
            text.push_back(c);
        }
        return text;
    }

    // Hands one frame to the observer the way the link layer does: a buffer
    // of exactly the data length that the observer then owns.
    static std::string deliver(const Frame& f) {
        U8* data = nullptr;
        ZvEacNwkLen length = 0;
        if (f.withData) {
            const std::vector<U8> telegram =
                f.source == 0 ? std::vector<U8>{kGetLockState} : std::vector<U8>{kLockState, 0x02};
            length = static_cast<ZvEacNwkLen>(telegram.size());
            data = zvEacNwkAlloc(length);
            std::copy(telegram.begin(), telegram.end(), data);
        }
        zvEacNetworkRxCb(&observer, f.source, f.destination, length, data);
        return console();
    }

    // "5 ONLINE", "5 OFFLINE", ... for every change report in the text.
    static std::vector<std::string> reportsOf(const std::string& text) {
        static const std::string kMarker = " ##  device ";
        std::vector<std::string> found;
        for (std::size_t pos = text.find(kMarker); pos != std::string::npos; pos = text.find(kMarker, pos + 1)) {
            const std::size_t number = pos + kMarker.size();
            const std::size_t gap = text.find("  ", number);
            const std::size_t end = text.find("\n\n", number);
            if (gap == std::string::npos || end == std::string::npos || gap > end) {
                found.push_back("malformed: " + text.substr(pos));
                break;
            }
            found.push_back(text.substr(number, gap - number) + " " + text.substr(gap + 2, end - gap - 2));
        }
        return found;
    }
};

struct SequenceCase {
    const char* name;
    std::vector<Frame> frames;
    std::vector<std::string> reports;
    // Per device seen: "address polls/answers/missed/online/offline".
    std::vector<std::string> stats;
};

std::vector<std::string> statsOfSeenDevices() {
    std::vector<std::string> seen;
    for (int address = 0; address < 256; ++address) {
        if (zvEacStatsDeviceSeen(static_cast<ZvEacNwkAddr>(address)) != FALSE) {
            const ZvEacStatsDeviceView v = zvEacStatsDevice(static_cast<ZvEacNwkAddr>(address));
            seen.push_back(std::to_string(address) + " " + std::to_string(v.polls) + "/" + std::to_string(v.answers) +
                           "/" + std::to_string(v.missed) + "/" + std::to_string(v.online) + "/" +
                           std::to_string(v.offline));
        }
    }
    return seen;
}

// Names the case in test listings and failures.
void PrintTo(const SequenceCase& c, std::ostream* os) { *os << c.name; }

class BusObserverSequence : public BusObserverTest, public testing::WithParamInterface<SequenceCase> {};

TEST_P(BusObserverSequence, ReportsEachChangeOnceAndCountsIt) {
    std::string all;
    for (const Frame& f : GetParam().frames) {
        all += deliver(f);
    }
    EXPECT_EQ(reportsOf(all), GetParam().reports) << all;
    EXPECT_EQ(statsOfSeenDevices(), GetParam().stats);
}

INSTANTIATE_TEST_SUITE_P(
    Observer, BusObserverSequence,
    testing::Values(
        SequenceCase{"AnswerMarksOnline", {{0, 5}, {5, 0}}, {"5 ONLINE"}, {"5 1/1/0/1/0"}},
        SequenceCase{"UnansweredPollThenOtherPoll",
                     {{0, 5}, {5, 0}, {0, 5}, {0, 6}},
                     {"5 ONLINE", "5 OFFLINE"},
                     {"5 2/1/1/1/1", "6 1/0/0/0/0"}},
        SequenceCase{"NeverAnsweredDevicesStaySilent", {{0, 7}, {0, 8}, {0, 7}}, {}, {"7 2/0/1/0/0", "8 1/0/1/0/0"}},
        SequenceCase{"TwoPollsInARow", {{0, 5}, {5, 0}, {0, 5}, {0, 5}}, {"5 ONLINE", "5 OFFLINE"}, {"5 3/1/1/1/1"}},
        SequenceCase{"OtherDeviceAnswerForgetsPoll",
                     {{0, 5}, {5, 0}, {0, 5}, {9, 0}, {0, 6}},
                     {"5 ONLINE", "9 ONLINE"},
                     {"5 2/1/0/1/0", "6 1/0/0/0/0", "9 0/0/0/1/0"}},
        SequenceCase{"ConfirmingAnswersAreQuiet",
                     {{0, 5}, {5, 0}, {0, 5}, {5, 0}, {0, 5}, {5, 0}},
                     {"5 ONLINE"},
                     {"5 3/3/0/1/0"}},
        SequenceCase{"BackOnline",
                     {{0, 5}, {5, 0}, {0, 5}, {0, 6}, {0, 5}, {5, 0}},
                     {"5 ONLINE", "5 OFFLINE", "5 ONLINE"},
                     {"5 3/2/1/2/1", "6 1/0/1/0/0"}},
        SequenceCase{"DestinationOfDeviceFrameIgnored",
                     {{0, 5}, {9, 5}, {0, 9}, {0, 1}},
                     {"9 ONLINE", "9 OFFLINE"},
                     {"1 1/0/0/0/0", "5 1/0/0/0/0", "9 1/0/1/1/1"}},
        SequenceCase{"ZeroLengthFrameMarksOnline",
                     {{0, 3, false}, {3, 0, false}, {0, 3, false}, {0, 4, false}},
                     {"3 ONLINE", "3 OFFLINE"},
                     {"3 2/1/1/1/1", "4 1/0/0/0/0"}},
        SequenceCase{"HighestAddress",
                     {{255, 0}, {0, 255}, {0, 1}},
                     {"255 ONLINE", "255 OFFLINE"},
                     {"1 1/0/0/0/0", "255 1/0/1/1/1"}}),
    [](const testing::TestParamInfo<SequenceCase>& info) { return std::string(info.param.name); });

// "to 5", "from 7", "5 ONLINE", ... in the order printed.
std::vector<std::string> eventsOf(const std::string& text) {
    static const std::regex kEvent(R"((<==  to|==> from) +(\d+) \n| ##  device (\d+)  (ONLINE|OFFLINE)\n)");
    std::vector<std::string> events;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), kEvent); it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        events.push_back(m[1].matched ? (m[1].str()[0] == '<' ? "to " : "from ") + m[2].str()
                                      : m[3].str() + " " + m[4].str());
    }
    return events;
}

struct FilterCase {
    const char* filter;
    std::vector<std::string> events;
};

void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.filter; }

class BusObserverFilter : public BusObserverTest, public testing::WithParamInterface<FilterCase> {
protected:
    static std::string play() {
        busObserverReset(observer);
        observer.prompt = promptOnConsole;
        std::string all;
        for (const Frame& f :
             std::vector<Frame>{{0, 5}, {5, 0}, {0, 7}, {7, 0}, {0, 5}, {0, 7}, {7, 0}, {0, 5}, {5, 0}}) {
            all += deliver(f);
        }
        return all;
    }
};

// The filter changes what is printed, never the counting; and once it is
// off again the output is what it was without it.
TEST_P(BusObserverFilter, PrintsOnlyWhatPassesAndCountsEverything) {
    const std::string open = play();
    const std::vector<std::string> statsOpen = statsOfSeenDevices();
    ZvEacFilter filter{};
    ASSERT_TRUE(zvEacFilterParseText(GetParam().filter, filter));
    zvEacFilterSet(filter);
    zvEacStatsReset();
    const std::string filtered = play();
    EXPECT_EQ(eventsOf(filtered), GetParam().events) << filtered;
    EXPECT_EQ(statsOfSeenDevices(), statsOpen);

    zvEacFilterSet(ZvEacFilter{});
    EXPECT_EQ(play(), open);
}

INSTANTIATE_TEST_SUITE_P(Observer, BusObserverFilter,
                         testing::Values(FilterCase{"off",
                                                    {"to 5", "5 ONLINE", "from 5", "to 7", "7 ONLINE", "from 7", "to 5",
                                                     "5 OFFLINE", "to 7", "from 7", "to 5", "5 ONLINE", "from 5"}},
                                         FilterCase{"addr 7", {"to 7", "7 ONLINE", "from 7", "to 7", "from 7"}},
                                         FilterCase{"msg MSGID_LOCK_STATE",
                                                    {"5 ONLINE", "from 5", "7 ONLINE", "from 7", "5 OFFLINE", "from 7",
                                                     "5 ONLINE", "from 5"}},
                                         FilterCase{"addr 7 msg 0xa2", {"to 7", "7 ONLINE", "to 7"}}),
                         [](const testing::TestParamInfo<FilterCase>& info) {
                             std::string name = info.param.filter;
                             std::replace_if(
                                 name.begin(), name.end(),
                                 [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                             return name;
                         });

TEST_F(BusObserverTest, ChangeReportComesBeforeTheFrameThatCausedIt) {
    deliver({0, 5});
    const std::string out = deliver({5, 0});
    const std::string report = std::string(kStamp) + " ##  device 5  ONLINE\n\n > ";
    ASSERT_EQ(out.substr(0, report.size()), report) << out;
    const std::string frame = out.substr(report.size());
    EXPECT_EQ(frame.rfind(std::string(kStamp) + " ==> from    5 \n", 0), 0u) << frame;
    EXPECT_NE(frame.find("MSGID_LOCK_STATE"), std::string::npos) << frame;
    EXPECT_EQ(frame.substr(frame.size() - 5), "\n\n > ") << frame;
}

TEST_F(BusObserverTest, OfflineReportPrecedesThePollToTheNextDevice) {
    deliver({0, 5});
    deliver({5, 0});
    deliver({0, 5});
    const std::string out = deliver({0, 6});
    const auto offline = out.find(" ##  device 5  OFFLINE\n\n > ");
    const auto frame = out.find("<==  to      6 \n");
    ASSERT_NE(offline, std::string::npos) << out;
    ASSERT_NE(frame, std::string::npos) << out;
    EXPECT_LT(offline, frame);
}

TEST_F(BusObserverTest, FrameWithoutDataPrintsNoTelegramAndNoPrompt) {
    EXPECT_EQ(deliver({3, 0, false}), std::string(kStamp) + " ##  device 3  ONLINE\n\n > ");
    EXPECT_EQ(deliver({3, 0, false}), "");
    EXPECT_EQ(deliver({0, 3, false}), "");
}

}  // namespace
