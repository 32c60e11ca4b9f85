// Value tables: fallbacks, rows the enums name but the tables lack, the
// low-byte rule, ranges, the 32-bit mask tables and the two flag printers.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "eac/zelvan/zvEacToStr.h"
#include "support/printCapture.h"
#include "support/printerCases.h"

namespace {

using Lookup = const char* (*)(U32);

struct LookupCase {
    const char* table;
    Lookup lookup;
    U32 code;
    const char* expected;
};

void PrintTo(const LookupCase& c, std::ostream* os) { *os << c.table << "(0x" << std::hex << c.code << ")"; }

class ZvEacValueTable : public testing::TestWithParam<LookupCase> {};

TEST_P(ZvEacValueTable, Lookup) {
    const LookupCase& c = GetParam();
    EXPECT_STREQ(c.lookup(c.code), c.expected);
}

// The fallback of every table, with the value just past its last row, and
// one ordinary row each so a function wired to the wrong table shows up.
INSTANTIATE_TEST_SUITE_P(
    Fallbacks, ZvEacValueTable,
    testing::Values(
        LookupCase{"selector", zvEacVersionSelectorToStr, 0x02, "## unknown selector ##"},
        LookupCase{"selector", zvEacVersionSelectorToStr, 0x11, "DEVICE_FW"},
        LookupCase{"result", zvEacResultToStr, 0x15, "## unknown result code ##"},
        LookupCase{"result", zvEacResultToStr, 0x12, "FAIL_PARAMETER_OUT_OF_RANGE"},
        LookupCase{"paramId", zvEacParamIdToStr, 5, "## unknown paramId ##"},
        LookupCase{"paramId", zvEacParamIdToStr, 32, "PARAM_ID_RX_BUF_LENGTH"},
        LookupCase{"event", zvEacEventCodeToStr, 0, "## unknown event code ##"},
        LookupCase{"event", zvEacEventCodeToStr, 65, "WATCHDOG_RESET"},
        LookupCase{"lock", zvEacLockStateCodeToStr, 5, "## unknown state code ##"},
        LookupCase{"lock", zvEacLockStateCodeToStr, 4, "LOCK_STATE_JAMMED"},
        LookupCase{"door", zvEacDoorStateCodeToStr, 3, "## unknown state code ##"},
        LookupCase{"door", zvEacDoorStateCodeToStr, 1, "DOOR_STATE_NOTCLOSED"},
        LookupCase{"handle", zvEacHandleStateCodeToStr, 3, "## unknown state code ##"},
        LookupCase{"handle", zvEacHandleStateCodeToStr, 2, "HANDLE_STATE_USED"},
        LookupCase{"cylinder", zvEacKeyCylinderStateCodeToStr, 6, "## unknown state code ##"},
        LookupCase{"cylinder", zvEacKeyCylinderStateCodeToStr, 5, "KEY_CYLINDER_STATE_USED_SPECIFIC_POS_2"},
        LookupCase{"tamper", zvEacTamperStateCodeToStr, 3, "## unknown state code ##"},
        LookupCase{"tamper", zvEacTamperStateCodeToStr, 1, "TAMPER_STATE_NO_TAMPER"},
        LookupCase{"product", zvEacProductCodeToStr, 23, "### unknown prodclass ###"},
        LookupCase{"product", zvEacProductCodeToStr, 22, "PRODCLASS_ESCAPE_ROUTE"},
        LookupCase{"product", zvEacProductCodeToStr, 3, "PRODCLASS_DOOR_AUTOMATICS_MOTION_SENSOR"},
        LookupCase{"doorSide", zvEacDoorSideToStr, 4, "## unknown door side code ##"},
        LookupCase{"doorSide", zvEacDoorSideToStr, 3, "DOORSIDE_BOTH_SIDES"},
        LookupCase{"keyState", zvEacKeyStateToStr, 3, "## unknown keysState side code ##"},
        LookupCase{"keyState", zvEacKeyStateToStr, 2, "KEYSTATE_PRESSED"},
        LookupCase{"actState", zvEacActStateToStr, 3, "## unknown activator state code ##"},
        LookupCase{"actState", zvEacActStateToStr, 1, "ACTIVATOR_STATE_NOT_ACTIVE"},
        LookupCase{"credMain", zvEacCredTypeMainToStr, 8, "## unknown credential main type ##"},
        LookupCase{"credMain", zvEacCredTypeMainToStr, 5, "PICO_PASS"},
        LookupCase{"mifare", zvEacCredTypeSubMifareToStr, 7, "## unknown credential sub type ##"},
        LookupCase{"mifare", zvEacCredTypeSubMifareToStr, 6, "MINI"},
        LookupCase{"iclass", zvEacCredTypeSubIclassToStr, 2, "## unknown credential sub type ##"},
        LookupCase{"iclass", zvEacCredTypeSubIclassToStr, 1, "STD"},
        LookupCase{"lowFreq", zvEacCredTypeSubLowFrequencyToStr, 1, "## unknown credential sub type ##"},
        LookupCase{"lowFreq", zvEacCredTypeSubLowFrequencyToStr, 0, "UNKNOWN"},
        LookupCase{"picoPass", zvEacCredTypeSubPicoPassToStr, 1, "## unknown credential sub type ##"},
        LookupCase{"picoPass", zvEacCredTypeSubPicoPassToStr, 0, "UNKNOWN"},
        LookupCase{"legic", zvEacCredTypeSubLegicToStr, 7, "## unknown credential sub type ##"},
        LookupCase{"legic", zvEacCredTypeSubLegicToStr, 2, "ISO-15693"},
        LookupCase{"legic", zvEacCredTypeSubLegicToStr, 5, "INSIDE Secure"},
        LookupCase{"seos", zvEacCredTypeSubSeosToStr, 3, "## unknown credential sub type ##"},
        LookupCase{"seos", zvEacCredTypeSubSeosToStr, 1, "ISO 14443A"},
        LookupCase{"doorMode", zvEacDoorModeToStr, 7, " ## unknown DoorMode ## "},
        LookupCase{"doorMode", zvEacDoorModeToStr, 6, "DOORMODE_CLOSED_SECURED_RESTRICTED"},
        LookupCase{"light", zvEacLightIndicationToStr, 2, " ## unknown light indication ## "},
        LookupCase{"light", zvEacLightIndicationToStr, 1, "LIGHT_INDICATION_NO_INDICATION"},
        LookupCase{"indMode", zvEacIndicationModeToStr, 3, " ## unknown indication ## "},
        LookupCase{"indMode", zvEacIndicationModeToStr, 2, "INDICATION_USE_INDICATION_IN_EXTENDED_MESSAGE"},
        LookupCase{"physRep", physicalRepresentationMaskToStr, 0x10, "## unknown physical representation ##"},
        LookupCase{"physRep", physicalRepresentationMaskToStr, 0x08, "PHYSICAL_REPRESENTATION_TACTILE"},
        LookupCase{"reqSeq", zvEacRequstedSequenceActionToStr, 3, " ## unknown requested sequence action ## "},
        LookupCase{"reqSeq", zvEacRequstedSequenceActionToStr, 1, "REQ_SEQ_ACTION_UNLOCK_AND_OPEN"},
        LookupCase{"timer", zvEacOpenTimerSpecifierToStr, 2, " ## unknown timer specifier ## "},
        LookupCase{"timer", zvEacOpenTimerSpecifierToStr, 1, "TIMER_SPECIFIER_SET_TIME"},
        LookupCase{"credInd", zvEacCredentialIndicationToStr, 3, " ## unknown credential indication ## "},
        LookupCase{"credInd", zvEacCredentialIndicationToStr, 2, "CREDENTIAL_INDICATION_SHOW_CARD"},
        LookupCase{"dtcReq", zvEacDtcRequestToStr, 4, "## unknown dtc request ##"},
        LookupCase{"dtcReq", zvEacDtcRequestToStr, 3, "DTC_REQUEST_ACTIVE"},
        LookupCase{"alarmReq", zvEacAlarmRequestToStr, 4, "## unknown alarm request ##"},
        LookupCase{"alarmReq", zvEacAlarmRequestToStr, 255, "ALARM_REQUEST_ALL"}),
    caseName);

// Values the enumerations name but the tables deliberately leave out.
INSTANTIATE_TEST_SUITE_P(
    MissingRows, ZvEacValueTable,
    testing::Values(LookupCase{"result", zvEacResultToStr, 0x13, "## unknown result code ##"},
                    LookupCase{"paramId", zvEacParamIdToStr, 7, "## unknown paramId ##"},
                    LookupCase{"paramId", zvEacParamIdToStr, 255, "## unknown paramId ##"},
                    LookupCase{"event", zvEacEventCodeToStr, 26, "## unknown event code ##"},
                    LookupCase{"event", zvEacEventCodeToStr, 27, "## unknown event code ##"},
                    LookupCase{"credMain", zvEacCredTypeMainToStr, 0, "## unknown credential main type ##"},
                    LookupCase{"credMain", zvEacCredTypeMainToStr, 4, "## unknown credential main type ##"},
                    LookupCase{"reqSeq", zvEacRequstedSequenceActionToStr, 0,
                               " ## unknown requested sequence action ## "},
                    LookupCase{"flashA", zvEacParamIdToStr, 71, "PARAM_ID_EAC_OEM_FLASH_PARAM_A"},
                    LookupCase{"flashB", zvEacParamIdToStr, 72, "PARAM_ID_EAC_OEM_FLASH_PARAM_B"}),
    caseName);

// Only the low byte of a wider code is looked at.
INSTANTIATE_TEST_SUITE_P(
    LowByte, ZvEacValueTable,
    testing::Values(LookupCase{"credInd", zvEacCredentialIndicationToStr, 0x0100, "CREDENTIAL_INDICATION_NONE"},
                    LookupCase{"credInd", zvEacCredentialIndicationToStr, 0x8002, "CREDENTIAL_INDICATION_SHOW_CARD"},
                    LookupCase{"lock", zvEacLockStateCodeToStr, 0x0100, "LOCK_STATE_UNKNOWN"},
                    LookupCase{"result", zvEacResultToStr, 0xFFFFFF10, "FAIL"},
                    LookupCase{"paramId", zvEacParamIdToStr, 0x0191, "PARAM_ID_OEM_PARAM_145"},
                    LookupCase{"alarmId", zvEacAlarmIdToStr, 0x0101, "ZV_EAC_ALARM_FIRE"},
                    LookupCase{"physRep", physicalRepresentationMaskToStr, 0x0101,
                               "PHYSICAL_REPRESENTATION_AUTOMATIC"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Ranges, ZvEacValueTable,
    testing::Values(LookupCase{"paramId", zvEacParamIdToStr, 127, "## unknown paramId ##"},
                    LookupCase{"paramId", zvEacParamIdToStr, 128, "PARAM_ID_OEM_PARAM_128"},
                    LookupCase{"paramId", zvEacParamIdToStr, 145, "PARAM_ID_OEM_PARAM_145"},
                    LookupCase{"paramId", zvEacParamIdToStr, 159, "PARAM_ID_OEM_PARAM_159"},
                    LookupCase{"paramId", zvEacParamIdToStr, 160, "## unknown paramId ##"},
                    LookupCase{"alarmId", zvEacAlarmIdToStr, 0, "ZV_EAC_ALARM_UNKNOWN_ALARM"},
                    LookupCase{"alarmId", zvEacAlarmIdToStr, 3, "ZV_EAC_ALARM_PANIC"},
                    LookupCase{"alarmId", zvEacAlarmIdToStr, 4, "ZV_EAC_ALARM_RESERVED_ID"},
                    LookupCase{"alarmId", zvEacAlarmIdToStr, 63, "ZV_EAC_ALARM_RESERVED_ID"},
                    LookupCase{"alarmId", zvEacAlarmIdToStr, 64, "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID"},
                    LookupCase{"alarmId", zvEacAlarmIdToStr, 255, "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID"}),
    caseName);

// The permanent-indication tables look at all 32 bits; the physical
// representation table wants exactly one of its four bits.
INSTANTIATE_TEST_SUITE_P(
    Masks, ZvEacValueTable,
    testing::Values(
        LookupCase{"mask", permanentIndicationMaskToStr, 0x0, "PERMANENT_INDICATION_FLAG_NONE"},
        LookupCase{"mask", permanentIndicationMaskToStr, 0x100, "PERMANENT_INDICATION_FLAG_APPL_1"},
        LookupCase{"mask", permanentIndicationMaskToStr, 0x40000, "PERMANENT_INDICATION_FLAG_ACKNOWLEDGE"},
        LookupCase{"mask", permanentIndicationMaskToStr, 0x7FFFB, "PERMANENT_INDICATION_FLAG_ALL"},
        LookupCase{"mask", permanentIndicationMaskToStr, 0x7FFFF, "## unknown light indication ##"},
        LookupCase{"mask", permanentIndicationMaskToStr, 0x4, "## unknown light indication ##"},
        LookupCase{"mask", permanentIndicationMaskToStr, 0x9, "## unknown light indication ##"},
        LookupCase{"mask", permanentIndicationMaskToStr, 0x80000, "## unknown light indication ##"},
        LookupCase{"mask", permanentIndicationMaskToStr, 0x80000000, "## unknown light indication ##"},
        LookupCase{"status", permanentIndicationStatusToStr, 0, " OFF "},
        LookupCase{"status", permanentIndicationStatusToStr, 0x100, " ON"},
        LookupCase{"status", permanentIndicationStatusToStr, 0x80000000, " ON"},
        LookupCase{"physRep", physicalRepresentationMaskToStr, 0x00, "## unknown physical representation ##"},
        LookupCase{"physRep", physicalRepresentationMaskToStr, 0x03, "## unknown physical representation ##"},
        LookupCase{"physRep", physicalRepresentationMaskToStr, 0x80, "## unknown physical representation ##"}),
    caseName);

TEST(ZvEacValueTables, OemParameterTextsAreDistinctPerValue) {
    for (U32 id = 128; id <= 159; ++id) {
        EXPECT_EQ(std::string(zvEacParamIdToStr(id)), "PARAM_ID_OEM_PARAM_" + std::to_string(id));
    }
}

const std::string kIndent = "\t\t                  ";

TEST(ZvEacFlagPrinters, PermanentIndicationFlags) {
    struct Case {
        U32 status;
        U32 mask;
        std::string expected;
    };
    const std::string title = "\t\t Indication Flags:\n";
    const Case cases[] = {
        {0x1, 0x9,
         title + kIndent + "PERMANENT_INDICATION_FLAG_ENTER_PIN is turned  ON\n" + kIndent +
             "PERMANENT_INDICATION_FLAG_ACCESS_GRANTED is turned  OFF \n"},
        {0xFFFFFFFF, 0x0, title},  // status bits outside the mask print nothing
        {0x0, 0x80000004,
         title + kIndent + "## unknown light indication ## is turned  OFF \n" + kIndent +
             "## unknown light indication ## is turned  OFF \n"},
        {0x40000, 0x40020,
         title + kIndent + "PERMANENT_INDICATION_FLAG_BACKLIGHT is turned  OFF \n" + kIndent +
             "PERMANENT_INDICATION_FLAG_ACKNOWLEDGE is turned  ON\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zvTestCapture([&] { printPermanentIndicationFlagsSettingsToStr(c.status, c.mask); }), c.expected)
            << std::hex << c.status << "/" << c.mask;
    }
}

TEST(ZvEacFlagPrinters, PhysicalRepresentationFlags) {
    struct Case {
        U8 flags;
        std::string expected;
    };
    const std::string title = "\t\t Physical Representation Flags:\n";
    const std::string tail = " representation is desired\n";
    const Case cases[] = {
        {0x00, title},
        {0x0F, title + kIndent + "PHYSICAL_REPRESENTATION_AUTOMATIC" + tail + kIndent +
                   "PHYSICAL_REPRESENTATION_VISUAL" + tail + kIndent + "PHYSICAL_REPRESENTATION_AUDIBLE" + tail +
                   kIndent + "PHYSICAL_REPRESENTATION_TACTILE" + tail},
        {0x84, title + kIndent + "PHYSICAL_REPRESENTATION_AUDIBLE" + tail + kIndent +
                   "## unknown physical representation ##" + tail},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zvTestCapture([&] { printPhysicalRepresentationFlagsSettingsToStr(c.flags); }), c.expected)
            << int(c.flags);
    }
}

}  // namespace
