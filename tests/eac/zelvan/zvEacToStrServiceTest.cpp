// Printers for access control, diagnostics, alarms, housekeeping and service
// telegrams: telegram bytes in, exact text out.
#include <gtest/gtest.h>

#include <cctype>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "eac/zelvan/zvEacToStr.h"
#include "support/printCapture.h"
#include "support/printerCases.h"

namespace {

const std::vector<U8> kDevId = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c};
const std::string kIdLine = "\n\t\t Device id:       [ 01 02 03 04 05 06 07 08 09 0a 0b 0c ]";
const std::string kAlarmIdLine = "\n\t\t Device ID:       [ 01 02 03 04 05 06 07 08 09 0a 0b 0c ]";

std::vector<U8> text(const std::string& s) { return std::vector<U8>(s.begin(), s.end()); }

class ZvEacServicePrinters : public testing::TestWithParam<PrintCase> {};

TEST_P(ZvEacServicePrinters, PrintsBody) {
    const PrintCase& c = GetParam();
    EXPECT_EQ(zvTestPrintBody(c.telegram), c.body);
}

TEST_P(ZvEacServicePrinters, TelegramOneByteShortShowsRawDumpOnly) {
    const PrintCase& c = GetParam();
    if (!c.lastByteRequired) {
        return;  // the shorter telegram is still complete
    }
    std::vector<U8> shorter = c.telegram;
    shorter.pop_back();
    EXPECT_EQ(zvTestPrintBody(shorter), zvTestRawDump(shorter));
}

INSTANTIATE_TEST_SUITE_P(
    Access, ZvEacServicePrinters,
    testing::Values(
        PrintCase{"access granted", {0x48, 0x01, 0x00, 0x00}, line("GRANTED"), false},
        PrintCase{"access decision 3", {0x48, 0x03, 0x00, 0x00}, line("## unknown 3 ##"), false},
        PrintCase{"credential request pin and card",
                  {0x52, 0x00, 0x03},
                  line("Credential request:   CREDENTIAL_INDICATION_ENTER_PIN_CODE") +
                      line("Credential request:   CREDENTIAL_INDICATION_SHOW_CARD"),
                  true},
        PrintCase{"credential request none",
                  {0x52, 0x00, 0x00},
                  line("Credential request:   CREDENTIAL_INDICATION_NONE"),
                  true},
        // Bit 8 cut to eight bits is 0.
        PrintCase{"credential request bit 8",
                  {0x52, 0x01, 0x00},
                  line("Credential request:   CREDENTIAL_INDICATION_NONE"),
                  true},
        PrintCase{"credential request bits 0 2 15",
                  {0x52, 0x80, 0x05},
                  line("Credential request:   CREDENTIAL_INDICATION_ENTER_PIN_CODE") +
                      line("Credential request:    ## unknown credential indication ## ") +
                      line("Credential request:   CREDENTIAL_INDICATION_NONE"),
                  true},
        PrintCase{"grant access",
                  {0x54, 0x01, 0x01, 0x01, 0x2c, 0x01},
                  line("Requested Action:     REQ_SEQ_ACTION_UNLOCK_AND_OPEN") +
                      line("OpenTimer Specifier:  TIMER_SPECIFIER_SET_TIME") + line("OpenTime in Sec:      300") +
                      line("Light Indication:     LIGHT_INDICATION_NO_INDICATION"),
                  true},
        PrintCase{"grant access unknown codes",
                  {0x54, 0x00, 0x02, 0xff, 0xff, 0x00},
                  line("Requested Action:      ## unknown requested sequence action ## ") +
                      line("OpenTimer Specifier:   ## unknown timer specifier ## ") +
                      line("OpenTime in Sec:      65535") + line("Light Indication:     LIGHT_INDICATION_DEFAULT"),
                  true},
        // Only an indication byte of 2 announces the extended form.
        PrintCase{"grant access short with trailing bytes",
                  {0x54, 0x02, 0x00, 0x00, 0x05, 0x01, 0x02, 0, 0, 0, 1, 0, 0, 0, 1, 0x01},
                  line("Requested Action:     REQ_SEQ_ACTION_UNLOCK") +
                      line("OpenTimer Specifier:  TIMER_SPECIFIER_USE_DEFAULT") + line("OpenTime in Sec:      5") +
                      line("Light Indication:     LIGHT_INDICATION_NO_INDICATION"),
                  false},
        PrintCase{"grant access extended",
                  {0x54, 0x02, 0x00, 0x00, 0x05, 0x02, 0x02, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x20, 0x08},
                  line("Requested Action:     REQ_SEQ_ACTION_UNLOCK") +
                      line("OpenTimer Specifier:  TIMER_SPECIFIER_USE_DEFAULT") + line("OpenTime in Sec:      5") +
                      line("Indication Mode:     INDICATION_USE_INDICATION_IN_EXTENDED_MESSAGE") +
                      line("Door side:         DOORSIDE_OUTSIDE") + "\n\t\t Indication Flags:\n" + kFlagIndent +
                      "PERMANENT_INDICATION_FLAG_BACKLIGHT is turned  ON\n" +
                      "\n\t\t Physical Representation Flags:\n" + kFlagIndent +
                      "PHYSICAL_REPRESENTATION_TACTILE representation is desired\n",
                  true},
        PrintCase{"access denied indication", {0x57, 0x00}, line("Light Indication:   LIGHT_INDICATION_DEFAULT"), true},
        PrintCase{"access denied indication short with trailing bytes",
                  {0x57, 0x01, 0x01, 0, 0, 0, 1, 0, 0, 0, 1, 0x01},
                  line("Light Indication:   LIGHT_INDICATION_NO_INDICATION"),
                  false},
        PrintCase{"access denied indication extended",
                  {0x57, 0x02, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00},
                  line("Indication Mode:     INDICATION_USE_INDICATION_IN_EXTENDED_MESSAGE") +
                      line("Door side:         DOORSIDE_INSIDE") + "\n\t\t Indication Flags:\n" + kFlagIndent +
                      "PERMANENT_INDICATION_FLAG_DOOR_FORCED is turned  OFF \n" +
                      "\n\t\t Physical Representation Flags:\n",
                  true},
        PrintCase{"keypad", tele(0x73, {kDevId, {0x01, 0x03, 0x31, 0x00, 0x23}}),
                  kIdLine + line("Door side:       DOORSIDE_INSIDE hex(0x1)") + line("Number of keys:  3 hex(0x3)") +
                      line("Keys [ascii]:    [ 1   # ]") + line("     [ hex ]:    [ 0x31 0x0 0x23 ]"),
                  true},
        PrintCase{"keypad no keys", tele(0x73, {kDevId, {0x02, 0x00}}),
                  kIdLine + line("Door side:       DOORSIDE_OUTSIDE hex(0x2)") + line("Number of keys:  0 hex(0x0)") +
                      line("Keys [ascii]:    [ ]") + line("     [ hex ]:    [ ]"),
                  true},
        // More keys than the record has room for: the telegram decides.
        PrintCase{"keypad 17 keys", tele(0x73, {kDevId, {0x00, 0x11}, std::vector<U8>(17, '7')}),
                  kIdLine + line("Door side:       DOORSIDE_UNKNOWN hex(0x0)") + line("Number of keys:  17 hex(0x11)") +
                      line("Keys [ascii]:    [ 7 7 7 7 7 7 7 7 7 7 7 7 7 7 7 7 7 ]") +
                      line("     [ hex ]:    [ 0x37 0x37 0x37 0x37 0x37 0x37 0x37 0x37 0x37 0x37 0x37 0x37 0x37 0x37 "
                           "0x37 0x37 0x37 ]"),
                  true},
        PrintCase{"keypad control characters", tele(0x73, {kDevId, {0x01, 0x05, 0x1b, 0x7f, 0x0a, 0x80, 0x41}}),
                  kIdLine + line("Door side:       DOORSIDE_INSIDE hex(0x1)") + line("Number of keys:  5 hex(0x5)") +
                      line("Keys [ascii]:    [ . . . . A ]") + line("     [ hex ]:    [ 0x1b 0x7f 0xa 0x80 0x41 ]"),
                  true}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    DiagnosticsAndAlarms, ZvEacServicePrinters,
    testing::Values(PrintCase{"get dtcs", tele(0xB6, {kDevId, {0x03}}),
                              kIdLine + line("DTC request:     DTC_REQUEST_ACTIVE"), true},
                    PrintCase{"dtc", tele(0xB7, {kDevId, {0x00, 0x00, 0x01, 0x02, 0x05}}),
                              kIdLine + line("DTC ID:          00000102") + line("Test failed:     Yes") +
                                  line("DTC confirmed:   No") + line("Test completed:  Yes"),
                              true},
                    PrintCase{"dtc confirmed", tele(0xB7, {kDevId, {0x01, 0x00, 0x00, 0x00, 0xfa}}),
                              kIdLine + line("DTC ID:          01000000") + line("Test failed:     No") +
                                  line("DTC confirmed:   Yes") + line("Test completed:  No"),
                              true},
                    PrintCase{"clear all dtcs", tele(0xB8, {kDevId, {0x00, 0x00, 0x00, 0x00}}),
                              kIdLine + line("DTC ID:          00000000 (All Dtcs)"), true},
                    PrintCase{"clear one dtc", tele(0xB8, {kDevId, {0xde, 0xad, 0xbe, 0xef}}),
                              kIdLine + line("DTC ID:          DEADBEEF "), true},
                    PrintCase{"get alarms", tele(0xC0, {kDevId, {0xff}}),
                              kAlarmIdLine + line("Alarm request:     ALARM_REQUEST_ALL"), true},
                    PrintCase{"alarm", tele(0xC1, {kDevId, {0x77, 0x01, 0x0a, 0x0b, 0x02}}),
                              kAlarmIdLine + line("Alarm ID:      0x1: ZV_EAC_ALARM_FIRE") +
                                  line("Alarm Details: 0xA") + line("Alarm Level:   0xB") +
                                  line("Alarm Active:     No") + line("Alarm Occurred:   Yes"),
                              true},
                    PrintCase{"confirm all alarms", tele(0xC2, {kDevId, {0xff}}),
                              kAlarmIdLine + line("Alarm ID:          0xFF (All Alarms)"), true},
                    PrintCase{"confirm one alarm", tele(0xC2, {kDevId, {0x01}}),
                              kAlarmIdLine + line("Alarm ID:          0x1 "), true}),
    caseName);

const std::vector<U8> kVersionFixed = {0x01, 0x02, 0x0a, 0x0b, 0x11, 0x03, 0x04, 0x01, 0x02};
const std::string kVersionLines = line("protVer(  1.002)") + line("vendorId(0x0a) productId(0x0b) DEVICE_FW") +
                                  line("version(  3.004) buildNr( 258)");

INSTANTIATE_TEST_SUITE_P(
    Housekeeping, ZvEacServicePrinters,
    testing::Values(
        PrintCase{"get version", {0x20, 0x11}, line("DEVICE_FW"), true},
        PrintCase{"version of 10 bytes", tele(0x21, {kVersionFixed}), kVersionLines, true},
        PrintCase{"version of 15 bytes", tele(0x21, {kVersionFixed, {'V', '1', '.', '0', 0x00}}),
                  kVersionLines + "[V1.0]", false},
        PrintCase{"version of 30 bytes", tele(0x21, {kVersionFixed, text("ABCDEFGHIJKLMNOPQRST")}),
                  kVersionLines + "[ABCDEFGHIJKLMNOPQRST]", false},
        PrintCase{"version of 31 bytes", tele(0x21, {kVersionFixed, text("ABCDEFGHIJKLMNOPQRSTU")}), kVersionLines,
                  false},
        PrintCase{"version control characters",
                  tele(0x21, {kVersionFixed, {'v', 0x1b, '[', '2', 'J', 0x07, 0x7f, 0xc3, 0x00, 0x1b}}),
                  kVersionLines + "[v.[2J...]", false},
        PrintCase{"result", {0x28, 0x20, 0x12}, line("MSGID_GET_VERSION") + line("FAIL_PARAMETER_OUT_OF_RANGE"), true},
        PrintCase{"reset diu", {0x30, 0x00}, line("DIU"), true},
        PrintCase{"reset device", {0x30, 0x01}, line("DEVICE"), true},
        PrintCase{"reset unknown", {0x30, 0x07}, line("## unknown 7 ##"), true},
        PrintCase{"get parameter", {0x71, 0x20}, line("PARAM_ID_RX_BUF_LENGTH"), true},
        PrintCase{"parameter timeout",
                  {0x72, 0x01, 0x01, 0xf4},
                  line("PARAM_ID_TMO_SLAVE_OFFLINE ") + line("value( 500 ) "),
                  true},
        PrintCase{"parameter 32", {0x72, 0x20, 0x05}, line("PARAM_ID_RX_BUF_LENGTH ") + line("rxLen(  5) "), true},
        PrintCase{"parameter 7", {0x72, 0x07}, line("## unknown paramId ## ") + line("## not implemented ##"), true},
        PrintCase{"set parameter oem",
                  {0x70, 0x91, 0xde, 0xad, 0xbe, 0xef},
                  line("PARAM_ID_OEM_PARAM_145 ") + line("value(0xdeadbeef) "),
                  true},
        PrintCase{"get event", {0x60, 0x01, 0x00}, line("eventIndex( 256 )"), true},
        PrintCase{"event",
                  {0x61, 24, 2, 29, 23, 59, 5, 0x15, 0x12, 0x34},
                  line("timestamp(24.02.29 23:59:05)") + line("DEVICE_ONLINE") + line("event code : 0x15") +
                      line("details    : 0x1234"),
                  true}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Service, ZvEacServicePrinters,
    testing::Values(
        PrintCase{"firmware upgrade", tele(0xBA, {kDevId, {0x00}, text("fw.bin"), {0x00}, text("junk")}),
                  kIdLine + line("File reference:  fw.bin"), false},
        PrintCase{"firmware upgrade without reference", tele(0xBA, {kDevId}), kIdLine + line("File reference:  "),
                  true},
        PrintCase{"firmware upgrade control characters", tele(0xBA, {kDevId, {0x07, 0x1b}, text("]0;hi"), {0x07}}),
                  kIdLine + line("File reference:  .]0;hi."), false},
        PrintCase{"firmware status without string", tele(0xBB, {kDevId, {0x03, 0x07, 0x00}}),
                  kIdLine + line("Status:          3") + line("Status details:  7"), true},
        PrintCase{"firmware status with string", tele(0xBB, {kDevId, {0x01, 0xff, 0x01}, text("dev-A"), {0x00, 'z'}}),
                  kIdLine + line("Status:          1") + line("Status details:  255") + line("Device string:   dev-A"),
                  false},
        PrintCase{"firmware status control characters", tele(0xBB, {kDevId, {0x00, 0x00, 0x02, 0x1b, 'c', 0x9b}}),
                  kIdLine + line("Status:          0") + line("Status details:  0") + line("Device string:   .c."),
                  false},
        PrintCase{"block data op 2", {0xBD, 0x02, 0x40}, line("OpCode:  2") + line("Payload: 64 bytes"), true},
        PrintCase{"block data op 4",
                  {0xBD, 0x04, 0x40, 0x01, 0x00},
                  line("OpCode:  4") + line("Payload: 64 bytes") + line("Block:   256"),
                  true},
        PrintCase{"block data op 3",
                  {0xBD, 0x03, 0x10, 0xff, 0xff, 0x99},
                  line("OpCode:  3") + line("Payload: 16 bytes") + line("Block:   65535"),
                  false},
        PrintCase{"set time utc",
                  {0xBE, 24, 1, 31, 12, 0, 9, 0x01, 0x08},
                  line("Time: 24.01.31 12:00:09") + line("Time zone offset: 8 (+2:00)"),
                  true},
        PrintCase{"set time local",
                  {0xBE, 5, 12, 1, 0, 0, 0, 0x00, 0x7f},
                  line("Time: 05.12.01 00:00:00") + line("No time zone information"),
                  false},
        PrintCase{"set time function 2",
                  {0xBE, 99, 12, 31, 23, 59, 59, 0x02, 0x00},
                  line("Time: 99.12.31 23:59:59") + line("Unknown time zone information specifier"),
                  false}),
    caseName);

TEST(ZvEacServicePrinters, TimeZoneOffsetInQuarterHours) {
    struct Case {
        S8 offset;
        const char* shown;
    };
    const Case cases[] = {
        {8, "8 (+2:00)"}, {-5, "-5 (-1:15)"}, {-3, "-3 (-0:45)"},    {-1, "-1 (-0:15)"},
        {0, "0 (+0:00)"}, {1, "1 (+0:15)"},   {127, "127 (+31:45)"}, {-128, "-128 (-32:00)"},
    };
    for (const Case& c : cases) {
        const std::vector<U8> telegram = {0xBE, 24, 6, 1, 8, 30, 0, 0x01, static_cast<U8>(c.offset)};
        EXPECT_EQ(zvTestPrintBody(telegram),
                  line("Time: 24.06.01 08:30:00") + line(std::string("Time zone offset: ") + c.shown))
            << "offset " << int(c.offset);
    }
}

TEST(ZvEacServicePrinters, BlockNumberMissingShowsRawDump) {
    for (const std::vector<U8>& telegram :
         {std::vector<U8>{0xBD, 0x03, 0x10}, std::vector<U8>{0xBD, 0x04, 0x10, 0x01}}) {
        EXPECT_EQ(zvTestPrintBody(telegram), zvTestRawDump(telegram));
    }
}

// The longest telegram carries 241 characters of text; all of them must
// reach the operator.
TEST(ZvEacServicePrinters, LongestTextsPrintCompletely) {
    std::string reference;
    for (int i = 0; i < 241; ++i) {
        reference += static_cast<char>('a' + i % 26);
    }
    const std::vector<U8> upgrade = tele(0xBA, {kDevId, {0x00}, text(reference)});
    ASSERT_EQ(upgrade.size(), 255u);
    EXPECT_EQ(zvTestPrintBody(upgrade), kIdLine + line("File reference:  " + reference));

    const std::string deviceString = reference.substr(0, 239);
    const std::vector<U8> status = tele(0xBB, {kDevId, {0x00, 0x00, 0x01}, text(deviceString)});
    ASSERT_EQ(status.size(), 255u);
    EXPECT_EQ(zvTestPrintBody(status), kIdLine + line("Status:          0") + line("Status details:  0") +
                                           line("Device string:   " + deviceString));
}

}  // namespace
