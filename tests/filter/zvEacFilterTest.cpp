// The print filter: what a technician may type, what it lets through, and
// how it is shown back.
#include "filter/zvEacFilter.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

struct ParseCase {
    const char* text;
    const char* shown;     // nullptr: refused
    const char* why = "";  // when refused: the word and the reason
};

class FilterParse : public testing::TestWithParam<ParseCase> {};

TEST_P(FilterParse, ReadsAndShowsTheExpression) {
    ZvEacFilter before{};
    before.byAddress = TRUE;
    before.addresses[0] = 0x80;  // address 7, kept when the text is refused
    ZvEacFilter filter = before;
    ZvEacFilterProblem problem{};
    const Boolean ok = zvEacFilterParseText(GetParam().text, filter, &problem);
    std::array<char, 2048> shown{};
    zvEacFilterDescribe(filter, shown.data(), shown.size());
    if (GetParam().shown == nullptr) {
        EXPECT_FALSE(ok) << "shown as " << shown.data();
        EXPECT_STREQ(shown.data(), "addr 7");
        EXPECT_STREQ(problem.text.data(), GetParam().why);
        return;
    }
    ASSERT_TRUE(ok);
    EXPECT_STREQ(shown.data(), GetParam().shown);
    // What is shown reads back as the same filter.
    ZvEacFilter again{};
    ASSERT_TRUE(zvEacFilterParseText(shown.data(), again));
    EXPECT_EQ(again.addresses, filter.addresses);
    EXPECT_EQ(again.msgIds, filter.msgIds);
}

INSTANTIATE_TEST_SUITE_P(
    Filter, FilterParse,
    testing::Values(
        ParseCase{"addr 7", "addr 7"}, ParseCase{"addr 5,7-9", "addr 5,7-9"}, ParseCase{"ADDR 9,8,7,5", "addr 5,7-9"},
        ParseCase{"addr 5, 7", "addr 5,7"}, ParseCase{"addr 0x10,255", "addr 16,255"},
        ParseCase{"addr 0-255", "addr 0-255"}, ParseCase{"msg MSGID_LOCK_STATE,0xa3", "msg MSGID_LOCK_STATE"},
        ParseCase{"msg lock_state 0x21", "msg MSGID_VERSION,MSGID_LOCK_STATE"},
        ParseCase{"msg 0x40-0x42,0xbc",
                  "msg 0x40,MSGID_MIFARE_CREDENTIAL,MSGID_MIFARE_CREDENTIAL_"
                  "WITH_SECTOR_DATA,0xbc"},
        ParseCase{"msg 0-3", "msg 0x00-0x03"}, ParseCase{"msg 0xa3 addr 7", "addr 7 msg MSGID_LOCK_STATE"},
        ParseCase{"off", "off"}, ParseCase{"  addr   7  ", "addr 7"},
        // Refused: the filter before stays.
        ParseCase{"", nullptr, "filter: no expression"}, ParseCase{"addr", nullptr, "addr: no list after it"},
        ParseCase{"addr 256", nullptr, "256: an address is 0 to 255"},
        ParseCase{"addr 300", nullptr, "300: an address is 0 to 255"},
        ParseCase{"addr 9-5", nullptr, "9-5: a range runs upwards"},
        ParseCase{"addr 5-", nullptr, "5-: a range is two numbers"},
        ParseCase{"addr -5", nullptr, "-5: a range is two numbers"}, ParseCase{"addr x", nullptr, "x: not an address"},
        ParseCase{"addr MSGID_LOCK_STATE", nullptr, "MSGID_LOCK_STATE: not an address"},
        ParseCase{"addr 7 addr 8", nullptr, "addr: given twice"},
        ParseCase{"addr msg 7", nullptr, "addr: no list after it"},
        ParseCase{"msg NOT_A_MSG", nullptr, "NOT_A_MSG: no message of that name or number"},
        ParseCase{"msg 0x", nullptr, "0x: no message of that name or number"},
        ParseCase{"msg 0x1ff", nullptr, "0x1ff: a message id is 0 to 255 (0x00 to 0xff)"},
        ParseCase{"7", nullptr, "7: addr, msg or off expected"}, ParseCase{"off addr 7", nullptr, "off: stands alone"},
        ParseCase{"addr 7 off", nullptr, "off: stands alone"}, ParseCase{"addr ,", nullptr, "addr: no list after it"}),
    [](const testing::TestParamInfo<ParseCase>& info) { return "Case" + std::to_string(info.index); });

struct PassCase {
    const char* filter;
    U8 source, destination, msgid;
    bool telegram;  // the telegram is printed
    bool address;   // its addresses pass (raw dump, reports)
};

class FilterPass : public testing::TestWithParam<PassCase> {};

TEST_P(FilterPass, LetsThroughOnlyWhatWasAskedFor) {
    ZvEacFilter filter{};
    ASSERT_TRUE(zvEacFilterParseText(GetParam().filter, filter));
    const PassCase& c = GetParam();
    EXPECT_EQ(zvEacFilterTelegramPasses(filter, c.source, c.destination, c.msgid) != FALSE, c.telegram);
    EXPECT_EQ(zvEacFilterAddressPasses(filter, c.source, c.destination) != FALSE, c.address);
}

INSTANTIATE_TEST_SUITE_P(
    Filter, FilterPass,
    testing::Values(PassCase{"off", 0, 5, 0xA2, true, true}, PassCase{"addr 7", 0, 7, 0xA2, true, true},
                    PassCase{"addr 7", 7, 0, 0xA3, true, true}, PassCase{"addr 7", 0, 8, 0xA2, false, false},
                    PassCase{"addr 7", 8, 0, 0xA3, false, false}, PassCase{"msg 0xa3", 8, 0, 0xA3, true, true},
                    PassCase{"msg 0xa3", 0, 8, 0xA2, false, true}, PassCase{"addr 7 msg 0xa3", 7, 0, 0xA3, true, true},
                    PassCase{"addr 7 msg 0xa3", 7, 0, 0x28, false, true},
                    PassCase{"addr 7 msg 0xa3", 8, 0, 0xA3, false, false},
                    PassCase{"addr 255", 0, 255, 0x00, true, true}),
    [](const testing::TestParamInfo<PassCase>& info) { return "Case" + std::to_string(info.index); });

TEST(Filter, NamesForCompletionAreTheCatalogues) {
    EXPECT_STREQ(zvEacFilterMsgIdName(0), "MSGID_GET_VERSION");
    std::size_t count = 0;
    while (zvEacFilterMsgIdName(count) != nullptr) {
        ++count;
    }
    EXPECT_EQ(count, 55U);
}

}  // namespace
