// The message printer core: verbosity levels, header, dispatch choices, raw
// dump, short telegrams, message-id names and the output helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "eac/zelvan/zvEacTelegrams.h"
#include "eac/zelvan/zvEacToStr.h"
#include "eac/zelvan/zvEacToStrFields.h"
#include "eac/zelvan/zvEacToStrPrivate.h"
#include "logger/logger.h"
#include "support/printCapture.h"
#include "support/printerCases.h"

namespace {

const std::string kClosing = "\n\n";

bool contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

// --- Verbosity levels -------------------------------------------------------

TEST(ZvEacPrintMessage, VerbosityNonePrintsNothingAtAll) {
    for (const std::vector<U8>& telegram :
         {std::vector<U8>{0xA3, 0x02}, std::vector<U8>{0x10}, std::vector<U8>{0xC3, 1, 2, 3}}) {
        EXPECT_EQ(zvTestPrintTelegram(telegram, VERB_NONE), "");
    }
}

TEST(ZvEacPrintMessage, VerbosityMsgIdPrintsTimestampHeaderAndClosingOnly) {
    EXPECT_EQ(zvTestPrintTelegram({0xA3, 0x02}, VERB_MSGID, PRINT_MSG_DIR_INCOMING, 7),
              "\r (2024-01-31 13:05:09.042)  ==> from    7 \n\t\t MSGID_LOCK_STATE\n\n");
    EXPECT_EQ(zvTestPrintTelegram({0x10, 0x01}, VERB_MSGID), zvTestHeader(0x10) + kClosing);
    EXPECT_EQ(zvTestPrintTelegram({0xC3, 0x01}, VERB_MSGID), zvTestHeader(0xC3) + kClosing);
}

TEST(ZvEacPrintMessage, IdWithoutPrinterShowsRawDumpAtCleartext) {
    std::vector<U8> actionWithTimer = {0xC3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0};
    ASSERT_EQ(actionWithTimer.size(), 14u);
    EXPECT_EQ(zvTestPrintTelegram(actionWithTimer, VERB_CLEARTEXT),
              zvTestHeader(0xC3) +
                  "\n\t\t length = 14, msg [ 0xc3 0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x08 0x09 0x0a 0x0b 0x0c 0x00 ]" +
                  kClosing);

    EXPECT_EQ(zvTestPrintTelegram({0x10, 0xAB}, VERB_CLEARTEXT), std::string(ZV_TEST_TIMESTAMP) +
                                                                     " ==> from    5 \n\t\t ## unknown msgid ###" +
                                                                     "\n\t\t length = 2, msg [ 0x10 0xab ]" + kClosing);
}

TEST(ZvEacPrintMessage, ReservedAndUndeclaredIdsAreDumped) {
    for (U8 id : {0x00, 0x1F, 0x40, 0x50, 0x58, 0x59, 0x68, 0x69, 0xA4, 0xA9, 0xBC, 0xC4, 0xC6, 0xFF}) {
        const std::vector<U8> telegram = {id, 0x55};
        EXPECT_EQ(zvTestPrintTelegram(telegram, VERB_CLEARTEXT), zvTestHeader(id) + zvTestRawDump(telegram) + kClosing)
            << "id " << int(id);
    }
}

TEST(ZvEacPrintMessage, HeaderOnlyIdsPrintNoBodyEvenWithExtraBytes) {
    for (U8 id : {0x49, 0x56, 0xA0, 0xA2, 0xA5, 0xA7, 0xAA, 0xAC, 0xAE, 0xB0, 0xB2}) {
        EXPECT_EQ(zvTestPrintTelegram({id}, VERB_CLEARTEXT), zvTestHeader(id) + kClosing) << "id " << int(id);
        EXPECT_EQ(zvTestPrintTelegram({id, 1, 2, 3}, VERB_CLEARTEXT), zvTestHeader(id) + kClosing) << "id " << int(id);
    }
}

TEST(ZvEacPrintMessage, RawLevelAddsDumpAfterHeaderOnlyId) {
    EXPECT_EQ(zvTestPrintTelegram({0xA2}, VERB_RAW), zvTestHeader(0xA2) + "\n\t\t length = 1, msg [ 0xa2 ]" + kClosing);
}

TEST(ZvEacPrintMessage, LevelsAboveRawBehaveAsRaw) {
    const std::vector<std::vector<U8>> telegrams = {{0xA2},       {0xA3, 0x02}, {0x10},
                                                    {0xC3, 0, 0}, {0x51, 1, 2}, {0xB9, 1, 0, 0, 0, 1, 0, 0, 0, 1}};
    for (const auto& telegram : telegrams) {
        const std::string raw = zvTestPrintTelegram(telegram, VERB_RAW);
        for (U8 level : {4, 9, 255}) {
            EXPECT_EQ(zvTestPrintTelegram(telegram, level), raw) << "level " << int(level);
        }
    }
}

TEST(ZvEacPrintMessage, RawLevelDumpsOnceAfterDecodedBody) {
    const std::string cleartext = zvTestPrintTelegram({0xA3, 0x02}, VERB_CLEARTEXT);
    const std::string raw = zvTestPrintTelegram({0xA3, 0x02}, VERB_RAW);
    const std::string dump = zvTestRawDump({0xA3, 0x02});
    // Whatever the body looks like, the raw level is the cleartext output
    // with exactly one dump line in front of the closing blank line.
    if (contains(cleartext, dump)) {
        EXPECT_EQ(raw, cleartext);
    } else {
        EXPECT_EQ(raw, cleartext.substr(0, cleartext.size() - kClosing.size()) + dump + kClosing);
    }
}

TEST(ZvEacPrintMessage, ReadsVerbosityOnceAndLeavesItUnchanged) {
    const std::string out = zvTestCapture([] {
        loggerSetVerbosity(VERB_CLEARTEXT);
        const U8 telegram[] = {0x10};
        zvEacShellPrintMessage(PRINT_MSG_DIR_INCOMING, 0, 5, 1, telegram);
        EXPECT_EQ(loggerGetVerbosity(), VERB_CLEARTEXT);
    });
    EXPECT_TRUE(contains(out, "length = 1"));
}

// --- Header -------------------------------------------------------------------

TEST(ZvEacPrintMessage, HeaderDirectionAndAddressColumn) {
    struct Case {
        U8 direction;
        U8 base;
        U8 peer;
        const char* expected;
    };
    const Case cases[] = {
        {PRINT_MSG_DIR_INCOMING, 0, 7, " ==> from    7 \n\t\t MSGID_LOCK_STATE"},
        {PRINT_MSG_DIR_OUTGOING, 0, 12, "<==  to     12 \n\t\t MSGID_LOCK_STATE"},
        {PRINT_MSG_DIR_OUTGOING, 0, 254, "<==  to    254 \n\t\t MSGID_LOCK_STATE"},
        {7, 0, 1, "<==  to      1 \n\t\t MSGID_LOCK_STATE"},  // any other value reads as outgoing
        {PRINT_MSG_DIR_INCOMING, 100, 200, " ==> from  300 \n\t\t MSGID_LOCK_STATE"},
        {PRINT_MSG_DIR_INCOMING, 255, 255, " ==> from  510 \n\t\t MSGID_LOCK_STATE"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zvTestPrintTelegram({0xA3, 0x02}, VERB_MSGID, c.direction, c.peer, c.base),
                  std::string(ZV_TEST_TIMESTAMP) + c.expected + kClosing);
    }
}

// --- Dispatch choices -----------------------------------------------------------

TEST(ZvEacPrintMessage, ActivatorOfOtherLengthsShowsHeaderOnly) {
    std::vector<U8> telegram(17, 0x01);
    telegram[0] = 0x51;
    EXPECT_EQ(zvTestPrintTelegram(telegram, VERB_CLEARTEXT), zvTestHeader(0x51) + kClosing);
    telegram.resize(14);
    EXPECT_EQ(zvTestPrintTelegram(telegram, VERB_CLEARTEXT), zvTestHeader(0x51) + kClosing);
    telegram.resize(1);
    EXPECT_EQ(zvTestPrintTelegram(telegram, VERB_CLEARTEXT), zvTestHeader(0x51) + kClosing);
    // ... and the dump only when asked for.
    EXPECT_EQ(zvTestPrintTelegram(telegram, VERB_RAW), zvTestHeader(0x51) + zvTestRawDump(telegram) + kClosing);
}

// Which of two printers the dispatcher chose, told apart by a text only one
// of them prints. A wrong choice may also surface as the raw dump, when the
// other form needs more bytes than the telegram has.
struct FormCase {
    const char* name;
    std::vector<U8> telegram;
    const char* marker;  // printed by the expected form
    const char* absent;  // printed only by the other form, if there is such a text
};

void PrintTo(const FormCase& c, std::ostream* os) { *os << c.name; }

void expectForm(const FormCase& c) {
    const std::string body = zvTestPrintBody(c.telegram);
    EXPECT_FALSE(contains(body, "length =")) << c.name << ":\n" << body;
    EXPECT_TRUE(contains(body, c.marker)) << c.name << ":\n" << body;
    if (c.absent != nullptr) {
        EXPECT_FALSE(contains(body, c.absent)) << c.name << ":\n" << body;
    }
}

std::vector<U8> telegramOf(U8 id, std::size_t length, std::size_t selectorOffset = 0, U8 selector = 0) {
    std::vector<U8> telegram(length, 0x00);
    telegram[0] = id;
    if (selectorOffset != 0) {
        telegram[selectorOffset] = selector;
    }
    return telegram;
}

class ZvEacPrintForm : public testing::TestWithParam<FormCase> {};

TEST_P(ZvEacPrintForm, DispatcherPicksTheForm) { expectForm(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    ShortAndExtended, ZvEacPrintForm,
    testing::Values(
        FormCase{"activator 15", telegramOf(0x51, 15), "ActivatorState:", "Activator id:"},
        FormCase{"activator 16", telegramOf(0x51, 16), "Activator id:", nullptr},
        FormCase{"permanent 10", telegramOf(0xB9, 10), "Indication Flags:", "Physical Representation"},
        FormCase{"permanent 11, last 0", telegramOf(0xB9, 11), "Indication Flags:", "Physical Representation"},
        FormCase{"permanent 11, last 4", telegramOf(0xB9, 11, 10, 0x04), "Physical Representation", nullptr},
        FormCase{"grant access, light 1", telegramOf(0x54, 6, 5, 1), "Light Indication:", "Indication Mode:"},
        FormCase{"grant access, mode 2", telegramOf(0x54, 16, 5, 2), "Indication Mode:", "Light Indication:"},
        FormCase{"door mode, light 0", telegramOf(0x55, 7, 6, 0), "Light Indication:", "Indication Mode:"},
        FormCase{"door mode, mode 2", telegramOf(0x55, 17, 6, 2), "Indication Mode:", "Light Indication:"},
        FormCase{"access denied, light 1", telegramOf(0x57, 2, 1, 1), "Light Indication:", "Indication Mode:"},
        FormCase{"access denied, mode 2", telegramOf(0x57, 12, 1, 2), "Indication Mode:", "Light Indication:"}),
    caseName);

// --- Short telegrams ---------------------------------------------------------

// Ids whose body goes to a printer. With nothing but the id byte there is no
// body to read, so each must fall back to exactly the raw dump.
const U8 kPrinterIds[] = {0x20, 0x21, 0x28, 0x30, 0x41, 0x42, 0x43, 0x48, 0x52, 0x54, 0x55, 0x57, 0x60, 0x61,
                          0x70, 0x71, 0x72, 0x73, 0xA1, 0xA3, 0xA6, 0xA8, 0xAB, 0xAD, 0xAF, 0xB1, 0xB3, 0xB4,
                          0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBD, 0xBE, 0xBF, 0xC0, 0xC1, 0xC2, 0xC5};

TEST(ZvEacPrintMessage, TelegramWithoutBodyGivesRawDumpOnly) {
    for (U8 id : kPrinterIds) {
        const std::vector<U8> telegram = {id};
        EXPECT_EQ(zvTestPrintTelegram(telegram, VERB_CLEARTEXT), zvTestHeader(id) + zvTestRawDump(telegram) + kClosing)
            << "id " << int(id);
        EXPECT_EQ(zvTestPrintTelegram(telegram, VERB_RAW), zvTestHeader(id) + zvTestRawDump(telegram) + kClosing)
            << "id " << int(id);
    }
}

TEST(ZvEacPrintMessage, MissingSelectorByteChoosesShortFormWhichIsTooShort) {
    // The deciding byte lies beyond the end: the short form is chosen, and it
    // is itself too short, so the dump is all that shows.
    for (const std::vector<U8>& telegram : {std::vector<U8>{0x54, 1, 0, 0, 5}, std::vector<U8>{0x55, 3, 0, 0, 0, 10},
                                            std::vector<U8>{0x57}, std::vector<U8>{0xB9, 1, 0, 0, 0, 1, 0, 0, 0}}) {
        EXPECT_EQ(zvTestPrintBody(telegram), zvTestRawDump(telegram)) << "id " << int(telegram[0]);
    }
}

TEST(ZvEacPrintMessage, ExtendedFormTooShortGivesRawDump) {
    for (const std::vector<U8>& telegram :
         {telegramOf(0x54, 15, 5, 2), telegramOf(0x55, 16, 6, 2), telegramOf(0x57, 11, 1, 2)}) {
        EXPECT_EQ(zvTestPrintBody(telegram), zvTestRawDump(telegram)) << "id " << int(telegram[0]);
    }
}

TEST(ZvEacPrintMessage, EmptyOrNullTelegramIsNamedUnknownAndNotRead) {
    EXPECT_EQ(zvTestPrintTelegram({}, VERB_CLEARTEXT), zvTestHeader(0) + "\n\t\t length = 0" + kClosing);
    const std::string out = zvTestCapture([] {
        loggerSetVerbosity(VERB_RAW);
        zvEacShellPrintMessage(PRINT_MSG_DIR_INCOMING, 0, 5, 3, nullptr);
    });
    EXPECT_EQ(out, zvTestHeader(0) + "\n\t\t length = 3" + kClosing);
}

TEST(ZvEacPrintMessage, LongTelegramIsDumpedCompletely) {
    std::vector<U8> telegram(255);
    telegram[0] = 0xC3;
    for (std::size_t i = 1; i < telegram.size(); ++i) {
        telegram[i] = static_cast<U8>(i);
    }
    const std::string out = zvTestPrintTelegram(telegram, VERB_CLEARTEXT);
    EXPECT_EQ(out, zvTestHeader(0xC3) + zvTestRawDump(telegram) + kClosing);
    EXPECT_TRUE(contains(out, "0xfd 0xfe ]"));
}

// Every id, every length up to past the largest record, and several fill
// patterns, each in a buffer of exactly that size: under the sanitizers any
// read past the received bytes fails here. Output framing must hold for all.
TEST(ZvEacPrintMessage, AnyTelegramPrintsSafelyWithinItsBytes) {
    const U8 fills[] = {0x00, 0x02, 0xFF};
    std::size_t printed = 0;
    for (unsigned id = 0; id < 256; ++id) {
        for (std::size_t length = 1; length <= 96; ++length) {
            for (U8 fill : fills) {
                auto buffer = std::make_unique<U8[]>(length);
                std::memset(buffer.get(), fill, length);
                buffer[0] = static_cast<U8>(id);
                const std::string out = zvTestCapture([&] {
                    loggerSetVerbosity(VERB_RAW);
                    zvEacShellPrintMessage(PRINT_MSG_DIR_INCOMING, 0, 5, static_cast<U8>(length), buffer.get());
                });
                const std::string header = zvTestHeader(static_cast<U8>(id));
                ASSERT_EQ(out.compare(0, header.size(), header), 0) << "id " << id << " length " << length;
                ASSERT_GE(out.size(), header.size() + kClosing.size());
                ASSERT_EQ(out.compare(out.size() - kClosing.size(), kClosing.size(), kClosing), 0)
                    << "id " << id << " length " << length;
                ++printed;
            }
        }
    }
    EXPECT_EQ(printed, 256u * 96u * 3u);
}

// --- Message-id names ------------------------------------------------------------

TEST(ZvEacMsgIdToStr, EveryByteValue) {
    const std::map<U8, const char*> named = {
        {0x20, "MSGID_GET_VERSION"},
        {0x21, "MSGID_VERSION"},
        {0x28, "MSGID_RESULT"},
        {0x30, "MSGID_RESET"},
        {0x41, "MSGID_MIFARE_CREDENTIAL"},
        {0x42, "MSGID_MIFARE_CREDENTIAL_WITH_SECTOR_DATA"},
        {0x43, "MSGID_GENERIC_CREDENTIAL"},
        {0x48, "MSGID_ACCESS_DECISION"},
        {0x49, "MSGID_GET_ACTIVATOR_STATE"},
        {0x51, "MSGID_ACTIVATOR"},
        {0x52, "MSGID_INDICATE_CREDENTIAL_REQUEST"},
        {0x54, "MSGID_GRANT_ACCESS_SEQUENCE"},
        {0x55, "MSGID_SET_DOOR_MODE"},
        {0x56, "MSGID_RESET_DOOR_MODE"},
        {0x57, "MSGID_INDICATE_ACCESS_DENIED"},
        {0x60, "MSGID_GET_EVENT"},
        {0x61, "MSGID_EVENT"},
        {0x70, "MSGID_SET_PARAMETER"},
        {0x71, "MSGID_GET_PARAMETER"},
        {0x72, "MSGID_PARAMETER"},
        {0x73, "MSGID_KEYPAD"},
        {0xA0, "MSGID_GET_SUPPORTED_LOCK_STATES"},
        {0xA1, "MSGID_SUPPORTED_LOCK_STATES"},
        {0xA2, "MSGID_GET_LOCK_STATE"},
        {0xA3, "MSGID_LOCK_STATE"},
        {0xA5, "MSGID_GET_SUPPORTED_DOOR_STATES"},
        {0xA6, "MSGID_SUPPORTED_DOOR_STATES"},
        {0xA7, "MSGID_GET_DOOR_STATE"},
        {0xA8, "MSGID_DOOR_STATE"},
        {0xAA, "MSGID_GET_ALL_HANDLE_STATES"},
        {0xAB, "MSGID_HANDLE_STATE"},
        {0xAC, "MSGID_GET_KEY_CYLINDER_STATE"},
        {0xAD, "MSGID_KEY_CYLINDER_STATE"},
        {0xAE, "MSGID_GET_TAMPER_STATE"},
        {0xAF, "MSGID_TAMPER_STATE"},
        {0xB0, "MSGID_GET_ALL_TAMPER_STATES"},
        {0xB1, "MSGID_DEVICE_TAMPER_STATE"},
        {0xB2, "MSGID_GET_DEVICE_INFO"},
        {0xB3, "MSGID_DEVICE_INFO"},
        {0xB4, "MSGID_GET_EXTENDED_DEVICE_INFO"},
        {0xB5, "MSGID_EXTENDED_DEVICE_INFO"},
        {0xB6, "MSGID_GET_DTCS"},
        {0xB7, "MSGID_DTC"},
        {0xB8, "MSGID_CLEAR_DTC"},
        {0xB9, "MSGID_SET_PERMANENT_INDICATION"},
        {0xBA, "MSGID_FIRMWARE_UPGRADE"},
        {0xBB, "MSGID_FIRMWARE_STATUS_NOTIFICATION"},
        {0xBD, "MSGID_BLOCK_DATA_TRANSPORT"},
        {0xBE, "MSGID_SET_TIME"},
        {0xBF, "MSGID_GET_ALL_STATES"},
        {0xC0, "MSGID_GET_ALARMS"},
        {0xC1, "MSGID_ALARM"},
        {0xC2, "MSGID_CONFIRM_ALARM"},
        {0xC3, "MSGID_ACTION_WITH_TIMER"},
        {0xC5, "MSGID_DOOR_MODE"},
    };
    ASSERT_EQ(named.size(), 55u);
    for (unsigned id = 0; id < 256; ++id) {
        const auto it = named.find(static_cast<U8>(id));
        EXPECT_STREQ(zvEacMsgIdToStr(static_cast<U8>(id)), it != named.end() ? it->second : "## unknown msgid ###")
            << "id " << id;
    }
}

// --- Output helpers --------------------------------------------------------------

TEST(ZvEacOutputHelpers, DeviceIdLine) {
    const U8 id[12] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c};
    EXPECT_EQ(zvTestCapture([&] { printDeviceIdToStr("Device id:      ", id); }),
              "Device id:       [ 01 02 03 04 05 06 07 08 09 0a 0b 0c ]");
    const U8 high[12] = {0xff, 0xab, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10};
    EXPECT_EQ(zvTestCapture([&] { printDeviceIdToStr(nullptr, high); }), " [ ff ab 00 00 00 00 00 00 00 00 00 10 ]");
}

// Past the logger's own limit a field line is cut where the logger cuts any
// piece, not earlier.
TEST(ZvEacOutputHelpers, FieldLineKeepsWhatTheLoggerKeeps) {
    const std::string text(400, 'x');
    EXPECT_EQ(zvTestCapturePieces([&] { zvEacPrintLine("%s", text.c_str()); }), zvTestCapturePieces([&] {
                  zvEacShellPrintInfoLine();
                  loggerPrintf("%s", text.c_str());
              }));
}

// The check made where a table is compiled is all that stands between a
// row's format and printf: it must turn down every row that does not fit.
TEST(ZvEacFieldRows, CheckTurnsDownRowsThatDoNotFit) {
    namespace row = zvEacRow;
    static constexpr ZvEacRow kPart[] = {row::u8(0, "%d"), row::u16(1, "%d")};
    struct Case {
        const char* name;
        ZvEacRow row;
        std::size_t size;
        bool valid;
    };
    const Case cases[] = {
        {"byte", row::u8(2, "n %d"), 3, true},
        {"byte past the record", row::u8(3, "%d"), 3, false},
        {"16 bits half outside", row::u16(1, "%d"), 2, false},
        {"text conversion for a number", row::u8(0, "%s"), 1, false},
        {"number conversion for a name", row::name(0, "%d", zvEacDoorSideToStr), 1, false},
        {"one conversion too many", row::u8(0, "%d %d"), 1, false},
        {"no conversion", row::u8(0, "plain"), 1, false},
        {"percent sign", row::u8(0, "100%% %d"), 1, true},
        {"lone percent at the end", row::u8(0, "%d %"), 1, false},
        {"length modifier", row::u32(0, "%lu"), 4, false},
        {"star width", row::u8(0, "%*d"), 1, false},
        {"32 bits as signed", row::u32(0, "%d"), 4, false},
        {"32 bits as hex", row::u32(0, "0x%08X"), 4, true},
        {"name then value", row::nameAndValue(0, "%s hex(0x%01x)", zvEacDoorSideToStr), 1, true},
        {"value then name swapped", row::nameAndValue(0, "0x%x %s", zvEacDoorSideToStr), 1, false},
        {"note", row::withNote(0, 4, "%08X %s", 0, "(all)"), 4, true},
        {"note without text", row::withNote(0, 1, "%X %s", 0, nullptr), 1, false},
        {"yes-no without bits", row::yesNo(0, 0, "%s"), 1, false},
        {"device id", row::deviceId(1, "id: "), 13, true},
        {"device id past the record", row::deviceId(1, "id: "), 12, false},
        {"device id label with a conversion", row::deviceId(0, "id %s"), 12, false},
        {"time", row::time(0, "%02d.%02d.%02d %02d:%02d:%02d"), 6, true},
        {"time with five numbers", row::time(0, "%d.%d.%d %d:%d"), 6, false},
        {"flag block", row::flagBlock(0, 4), 8, true},
        {"flag block mask past the record", row::flagBlock(0, 4), 7, false},
        {"shared part", row::rows(kPart), 3, true},
        {"shared part past the record", row::rows(kPart), 2, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zvEacRowsValid(std::span(&c.row, 1), c.size), c.valid) << c.name;
    }
}

TEST(ZvEacSanitizeText, ShowsOnlyPrintableAscii) {
    struct Case {
        std::vector<U8> bytes;
        const char* expected;
    };
    const Case cases[] = {
        {{'V', '1', '.', '2', ' ', '~'}, "V1.2 ~"},
        {{0x1B, '[', '2', 'J'}, ".[2J"},  // an escape sequence cannot reach the terminal
        {{'a', 0x7F, 0x80, 0xFF, '\n'}, "a...."},
        {{'a', 'b', 0x00, 'c'}, "ab"},  // the text ends at a NUL
        {{0x00, 'x'}, ""},
        {{}, ""},
    };
    for (const Case& c : cases) {
        char out[16];
        std::memset(out, 'Z', sizeof out);
        zvEacSanitizeText(c.bytes.data(), c.bytes.size(), out);
        EXPECT_STREQ(out, c.expected);
    }
}

}  // namespace
