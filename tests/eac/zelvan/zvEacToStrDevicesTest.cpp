// Printers for device information, states, activator, door mode and
// permanent indication: telegram bytes in, exact text out.
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
const std::string kDevIdText = "[ 01 02 03 04 05 06 07 08 09 0a 0b 0c ]";
const std::vector<U8> kHostId = {0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x2b, 0xff};
const std::string kHostIdText = "[ 21 22 23 24 25 26 27 28 29 2a 2b ff ]";

std::string flagLine(const std::string& flag, const char* onOff) {
    return kFlagIndent + flag + " is turned " + onOff + "\n";
}

std::string physLine(const std::string& name) { return kFlagIndent + name + " representation is desired\n"; }

class ZvEacDevicePrinters : public testing::TestWithParam<PrintCase> {};

TEST_P(ZvEacDevicePrinters, PrintsBody) {
    const PrintCase& c = GetParam();
    EXPECT_EQ(zvTestPrintBody(c.telegram), c.body);
}

TEST_P(ZvEacDevicePrinters, TelegramOneByteShortShowsRawDumpOnly) {
    const PrintCase& c = GetParam();
    if (!c.lastByteRequired) {
        return;  // the shorter telegram is complete in another form
    }
    std::vector<U8> shorter = c.telegram;
    shorter.pop_back();
    EXPECT_EQ(zvTestPrintBody(shorter), zvTestRawDump(shorter));
}

INSTANTIATE_TEST_SUITE_P(
    Devices, ZvEacDevicePrinters,
    testing::Values(
        PrintCase{"device info", tele(0xB3, {kDevId, kHostId, {0x01, 0x09}}),
                  line("Device id:       " + kDevIdText) + line("Host device id:  " + kHostIdText) +
                      line("Door side:       DOORSIDE_INSIDE") + line("Product class:   PRODCLASS_LOCK"),
                  true},
        PrintCase{"get extended device info", tele(0xB4, {kDevId, {0x00, 0x01, 0xab, 0xcd}}),
                  line("Device id:       " + kDevIdText) + line("Data ID:         0x0001ABCD"), true},
        PrintCase{"extended device info", tele(0xB5, {kDevId, {0x01, 0x12, 0x34, 0x56, 0x78, 0x03, 0x0a, 0xff, 0x00}}),
                  line("Device id:       " + kDevIdText) + line("Online Status:   Status Online") +
                      line("Data ID:         0x12345678") + line("Data length:     3") +
                      line("Data:            [ 0A FF 00 ]"),
                  true},
        PrintCase{"extended device info status 3 no data", tele(0xB5, {kDevId, {0x03, 0xff, 0xff, 0xff, 0xff, 0x00}}),
                  line("Device id:       " + kDevIdText) + line("Online Status:   Unknown value") +
                      line("Data ID:         0xFFFFFFFF") + line("Data length:     0") + line("Data:            [ ]"),
                  true},
        PrintCase{"extended device info status 0", tele(0xB5, {kDevId, {0x00, 0, 0, 0, 1, 0x00}}),
                  line("Device id:       " + kDevIdText) + line("Online Status:   Status Unknown") +
                      line("Data ID:         0x00000001") + line("Data length:     0") + line("Data:            [ ]"),
                  true},
        PrintCase{"supported lock states none", {0xA1, 0x00}, line("NONE"), true},
        PrintCase{"supported lock states three",
                  {0xA1, 0x03, 0x01, 0x02, 0x04},
                  line("LOCK_STATE_UNLOCKED LOCK_STATE_LOCKED LOCK_STATE_JAMMED "),
                  true},
        PrintCase{"supported door states",
                  {0xA6, 0x02, 0x02, 0x03},
                  line("DOOR_STATE_CLOSED ## unknown state code ## "),
                  true},
        PrintCase{"lock state", {0xA3, 0x02}, line("LOCK_STATE_LOCKED"), true},
        PrintCase{"door state", {0xA8, 0x01}, line("DOOR_STATE_NOTCLOSED"), true},
        PrintCase{"tamper state", {0xAF, 0x02}, line("TAMPER_STATE_TAMPER"), true},
        PrintCase{"handle state", tele(0xAB, {kDevId, {0x02, 0x02}}),
                  line("HANDLE_STATE_USED") + line("Device id:  " + kDevIdText) + line("DOORSIDE_OUTSIDE"), true},
        PrintCase{"key cylinder state", tele(0xAD, {kDevId, {0x03, 0x05}}),
                  line("KEY_CYLINDER_STATE_USED_SPECIFIC_POS_2") + line("Device id:  " + kDevIdText) +
                      line("DOORSIDE_BOTH_SIDES"),
                  true},
        PrintCase{"tamper state for device", tele(0xB1, {kDevId, {0x01}}),
                  line("TAMPER_STATE_NO_TAMPER") + line("Device id:  " + kDevIdText), true},
        PrintCase{"get all states", tele(0xBF, {kDevId}), line("Device id:  " + kDevIdText), true},
        PrintCase{"activator", tele(0x51, {kDevId, {0x02, 0x02}}),
                  line("Device id:       " + kDevIdText) + line("Doorside:        DOORSIDE_OUTSIDE hex(0x2)") +
                      line("ActivatorState:  ACTIVATOR_STATE_ACTIVE"),
                  false},
        PrintCase{"activator with id", tele(0x51, {kDevId, {0x02, 0x01, 0x0b}}),
                  line("Device id:       " + kDevIdText) + line("Doorside:        DOORSIDE_OUTSIDE hex(0x02)") +
                      line("ActivatorState:  ACTIVATOR_STATE_NOT_ACTIVE") + line("Activator id:    hex(0x0b)"),
                  false},
        PrintCase{"door mode", {0xC5, 0x03}, line("Door Mode notification:  DOORMODE_CLOSED_LOCKED"), true},
        PrintCase{"set door mode infinite",
                  {0x55, 0x01, 0xff, 0xff, 0xff, 0xff, 0x01},
                  line("DoorMode:          DOORMODE_OPEN") + line("Time in Sec:   INFINITE") +
                      line("Light Indication:  LIGHT_INDICATION_NO_INDICATION"),
                  true},
        PrintCase{"set door mode 3600",
                  {0x55, 0x02, 0x00, 0x00, 0x0e, 0x10, 0x00},
                  line("DoorMode:          DOORMODE_CLOSED_UNLOCKED") + line("Time in Sec:   3600") +
                      line("Light Indication:  LIGHT_INDICATION_DEFAULT"),
                  true},
        PrintCase{"set door mode almost infinite",
                  {0x55, 0x07, 0xff, 0xff, 0xff, 0xfe, 0x03},
                  line("DoorMode:           ## unknown DoorMode ## ") + line("Time in Sec:   4294967294") +
                      line("Light Indication:   ## unknown light indication ## "),
                  true},
        // Only an indication byte of 2 announces the extended form; the bytes
        // after the short record are ignored.
        PrintCase{"set door mode short with trailing bytes",
                  {0x55, 0x01, 0x00, 0x00, 0x00, 0x3c, 0x01, 0x01, 0, 0, 0, 1, 0, 0, 0, 1, 0x01},
                  line("DoorMode:          DOORMODE_OPEN") + line("Time in Sec:   60") +
                      line("Light Indication:  LIGHT_INDICATION_NO_INDICATION"),
                  false},
        PrintCase{
            "set door mode extended",
            {0x55, 0x04, 0x00, 0x00, 0x00, 0x3c, 0x02, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x09, 0x03},
            line("DoorMode:          DOORMODE_CLOSED_SECURED") + line("Time in Sec:   60") +
                line("Indication Mode:  INDICATION_USE_INDICATION_IN_EXTENDED_MESSAGE") +
                line("Door side:         DOORSIDE_INSIDE") + "\n\t\t Indication Flags:\n" +
                flagLine("PERMANENT_INDICATION_FLAG_ENTER_PIN", " ON") +
                flagLine("PERMANENT_INDICATION_FLAG_ACCESS_GRANTED", " OFF ") +
                "\n\t\t Physical Representation Flags:\n" + physLine("PHYSICAL_REPRESENTATION_AUTOMATIC") +
                physLine("PHYSICAL_REPRESENTATION_VISUAL"),
            true},
        PrintCase{"permanent indication empty mask",
                  {0xB9, 0x03, 0xff, 0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0x00},
                  line("Door side:       DOORSIDE_BOTH_SIDES hex(0x3)") + "\n\t\t Indication Flags:\n",
                  true},
        PrintCase{"permanent indication short form",
                  {0xB9, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x30},
                  line("Door side:       DOORSIDE_UNKNOWN hex(0x0)") + "\n\t\t Indication Flags:\n" +
                      flagLine("PERMANENT_INDICATION_FLAG_ACCESS_DENIED", " ON") +
                      flagLine("PERMANENT_INDICATION_FLAG_BACKLIGHT", " OFF "),
                  true},
        // An 11th byte of 0 is no physical representation: still the short form.
        PrintCase{"permanent indication 11 bytes last 0",
                  {0xB9, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00},
                  line("Door side:       DOORSIDE_INSIDE hex(0x1)") + "\n\t\t Indication Flags:\n" +
                      flagLine("PERMANENT_INDICATION_FLAG_ENTER_PIN", " ON"),
                  false},
        PrintCase{"permanent indication with physical representation",
                  {0xB9, 0x01, 0x00, 0x04, 0x00, 0x02, 0x00, 0x04, 0x00, 0x06, 0x04},
                  line("Door side:       DOORSIDE_INSIDE hex(0x1)") + "\n\t\t Indication Flags:\n" +
                      flagLine("PERMANENT_INDICATION_FLAG_SHOW_CARD", " ON") +
                      flagLine("## unknown light indication ##", " OFF ") +
                      flagLine("PERMANENT_INDICATION_FLAG_ACKNOWLEDGE", " ON") +
                      "\n\t\t Physical Representation Flags:\n" + physLine("PHYSICAL_REPRESENTATION_AUDIBLE"),
                  false}),
    caseName);

// Count fields are trusted only as far as the telegram reaches.
TEST(ZvEacDevicePrinters, CountBeyondTelegramShowsRawDump) {
    const std::vector<std::vector<U8>> telegrams = {
        {0xA1, 0x03, 0x01, 0x02},
        {0xA6, 0xff},
        tele(0xB5, {kDevId, {0x01, 0, 0, 0, 0, 0x04, 0xaa, 0xbb, 0xcc}}),
        tele(0xB5, {kDevId, {0x01, 0, 0, 0, 0, 0xff}}),
    };
    for (const auto& telegram : telegrams) {
        EXPECT_EQ(zvTestPrintBody(telegram), zvTestRawDump(telegram)) << "id " << int(telegram[0]);
    }
}

}  // namespace
