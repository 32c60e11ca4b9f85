// Printers for the access-control, diagnostic, alarm, housekeeping and
// service telegrams.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "eac/zelvan/zvEacTelegrams.h"
#include "eac/zelvan/zvEacToStr.h"
#include "eac/zelvan/zvEacToStrPrivate.h"
#include "logger/logger.h"

namespace {

constexpr std::size_t kDevIdSize = sizeof(ZvEacDabsDeviceId);

// Body offsets of the fields read here (multi-byte fields big-endian).
namespace off {
constexpr std::size_t kGetVerSelector = offsetof(ZvEacTeleGetVersionReq, selector);
constexpr std::size_t kVerProtMajor = offsetof(ZvEacTeleGetVersionRsp, protocolVersionMajor);
constexpr std::size_t kVerProtMinor = offsetof(ZvEacTeleGetVersionRsp, protocolVersionMinor);
constexpr std::size_t kVerVendorId = offsetof(ZvEacTeleGetVersionRsp, vendorId);
constexpr std::size_t kVerProductId = offsetof(ZvEacTeleGetVersionRsp, productId);
constexpr std::size_t kVerSelector = offsetof(ZvEacTeleGetVersionRsp, selector);
constexpr std::size_t kVerMajor = offsetof(ZvEacTeleGetVersionRsp, versionNumberMajor);
constexpr std::size_t kVerMinor = offsetof(ZvEacTeleGetVersionRsp, versionNumberMinor);
constexpr std::size_t kVerBuildNumber = offsetof(ZvEacTeleGetVersionRsp, buildNumber);
constexpr std::size_t kVerHumanInfo = offsetof(ZvEacTeleGetVersionRsp, humanInfo);
constexpr std::size_t kResultCmd = offsetof(ZvEacTeleResult, cmd);
constexpr std::size_t kResultResult = offsetof(ZvEacTeleResult, result);
constexpr std::size_t kResetParam = offsetof(ZvEacTeleReset, param);
constexpr std::size_t kAccDecDecision = offsetof(ZvEacTeleAccDec, decision);
constexpr std::size_t kCredIndicationCode = offsetof(ZvEacTeleIndicateCredentialRequest, credentialIndicationCode);
static_assert(offsetof(ZvEacTeleGrantAccessSequence, timeInSec) ==
              offsetof(ZvEacTeleGrantAccessSequenceWithIndication, timeInSec));
constexpr std::size_t kGasAction = offsetof(ZvEacTeleGrantAccessSequence, requstedSequenceAction);
constexpr std::size_t kGasTimerSpecifier = offsetof(ZvEacTeleGrantAccessSequence, openTimerSpecifier);
constexpr std::size_t kGasTimeInSec = offsetof(ZvEacTeleGrantAccessSequence, timeInSec);
constexpr std::size_t kGasLightIndication = offsetof(ZvEacTeleGrantAccessSequence, lightIndication);
constexpr std::size_t kIadLightIndication = offsetof(ZvEacTeleIndicateAccessDenied, lightIndication);
constexpr std::size_t kKeypadDevId = offsetof(ZvEacTeleKeypad, devId);
constexpr std::size_t kKeypadDoorSide = offsetof(ZvEacTeleKeypad, doorSide);
constexpr std::size_t kKeypadLength = offsetof(ZvEacTeleKeypad, length);
constexpr std::size_t kKeypadKeys = offsetof(ZvEacTeleKeypad, keys);
constexpr std::size_t kGetDtcsDevId = offsetof(ZvEacTeleGetDtcs, devId);
constexpr std::size_t kGetDtcsRequest = offsetof(ZvEacTeleGetDtcs, request);
constexpr std::size_t kDtcDevId = offsetof(ZvEacTeleDtc, devId);
constexpr std::size_t kDtcId = offsetof(ZvEacTeleDtc, dtcId);
constexpr std::size_t kDtcFlags = offsetof(ZvEacTeleDtc, dtcFlags);
constexpr std::size_t kClearDtcDevId = offsetof(ZvEacTeleClearDtc, devId);
constexpr std::size_t kClearDtcId = offsetof(ZvEacTeleClearDtc, dtcId);
constexpr std::size_t kGetAlarmsDevId = offsetof(ZvEacTeleGetAlarms, devId);
constexpr std::size_t kGetAlarmsRequest = offsetof(ZvEacTeleGetAlarms, request);
constexpr std::size_t kAlarmDevId = offsetof(ZvEacTeleAlarm, devId);
constexpr std::size_t kAlarmId = offsetof(ZvEacTeleAlarm, alarmInfo) + offsetof(ZvEacAlarmInfo, alarmId);
constexpr std::size_t kAlarmDetails = offsetof(ZvEacTeleAlarm, alarmInfo) + offsetof(ZvEacAlarmInfo, alarmDetails);
constexpr std::size_t kAlarmLevel = offsetof(ZvEacTeleAlarm, alarmInfo) + offsetof(ZvEacAlarmInfo, alarmLevel);
constexpr std::size_t kAlarmFlags = offsetof(ZvEacTeleAlarm, alarmFlags);
constexpr std::size_t kConfirmAlarmDevId = offsetof(ZvEacTeleConfirmAlarm, devId);
constexpr std::size_t kConfirmAlarmId = offsetof(ZvEacTeleConfirmAlarm, alarmId);
constexpr std::size_t kEventIndex = offsetof(ZvEacTeleEventReq, index);
constexpr std::size_t kEventTimestamp = offsetof(ZvEacTeleEventRsp, timestamp);
constexpr std::size_t kEventCode = offsetof(ZvEacTeleEventRsp, event);
constexpr std::size_t kEventDetails = offsetof(ZvEacTeleEventRsp, eventCodeDetails);
constexpr std::size_t kGetParamId = offsetof(ZvEacTeleParamReadReq, paramId);
constexpr std::size_t kParamId = offsetof(ZvEacTeleParamOpData, paramId);
constexpr std::size_t kParamValue = offsetof(ZvEacTeleParamOpData, u);
constexpr std::size_t kSetTimeTime = offsetof(ZvEacTeleSetTime, time);
constexpr std::size_t kSetTimeFunction = offsetof(ZvEacTeleSetTime, timeFunction);
constexpr std::size_t kSetTimeZoneOffset = offsetof(ZvEacTeleSetTime, timezoneOffset);
}  // namespace off

// Offsets of the fields of ZvEacTeleTime, in printing order.
constexpr std::size_t kTimeFields[] = {
    offsetof(ZvEacTeleTime, year), offsetof(ZvEacTeleTime, month),  offsetof(ZvEacTeleTime, day),
    offsetof(ZvEacTeleTime, hour), offsetof(ZvEacTeleTime, minute), offsetof(ZvEacTeleTime, second),
};

// The version text holds at most 20 characters: telegrams of 11 to 30 bytes
// carry 1 to 20 of them.
constexpr std::size_t kVersionTextMax = sizeof(ZvEacTeleGetVersionRsp::humanInfo);
constexpr std::size_t kVersionFixedLength = 1 + off::kVerHumanInfo;  // message id and the fixed fields

// Text fields run to the end of the telegram, which holds at most 255 bytes.
constexpr std::size_t kWireTextMax = 255;

// CONFIRM_ALARM's alarm id that confirms every alarm at once.
constexpr U8 kAllAlarms = 255;

constexpr U8 kBdtOpWithBlock1 = 3;
constexpr U8 kBdtOpWithBlock2 = 4;

// The six fields of a ZvEacTeleTime at `offset`, in printing order.
struct TimeFields {
    int v[std::size(kTimeFields)];
};

TimeFields timeAt(ZvEacBytes bytes, std::size_t offset) {
    TimeFields time{};
    for (std::size_t i = 0; i < std::size(kTimeFields); ++i) {
        time.v[i] = bytes.u8(offset + kTimeFields[i]);
    }
    return time;
}

const char* yesNo(bool set) { return set ? "Yes" : "No"; }

// Text from the wire up to the first NUL or the end of `text`, at most
// `outSize` - 1 characters, made safe for a terminal.
void wireTextToStr(ZvEacBytes text, char* out, std::size_t outSize) {
    const std::size_t count = text.size() < outSize - 1 ? text.size() : outSize - 1;
    zvEacSanitizeText(text.at(0, count), count, out);
}

// Value width of ZvEacTeleParamOpData by parameter id; 0 for ids whose value
// is not decoded.
std::size_t paramValueWidth(U8 paramId) {
    using Value = decltype(ZvEacTeleParamOpData::u);
    switch (paramId) {
        case ZV_EAC_PARAM_ID_TMO_SLAVE_OFFLINE:
        case ZV_EAC_PARAM_ID_TMO_SLAVE_MIN:
        case ZV_EAC_PARAM_ID_TMO_SLAVE_PROBE_MAX:
        case ZV_EAC_PARAM_ID_TMO_SLAVE_POLL_MAX:
            return sizeof(Value::timeout);
        case ZV_EAC_PARAM_ID_RX_BUF_LENGTH:
            return sizeof(Value::rxBufLength);
        case ZV_EAC_PARAM_ID_EAC_PARAM_A:
        case ZV_EAC_PARAM_ID_EAC_PARAM_B:
        case ZV_EAC_PARAM_ID_OEM_FLASH_PARAM_A:
        case ZV_EAC_PARAM_ID_OEM_FLASH_PARAM_B:
            return sizeof(Value::eacParam);
        default:
            return paramId >= ZV_EAC_PARAM_ID_OEM_PARAM_128 && paramId <= ZV_EAC_PARAM_ID_OEM_PARAM_159
                       ? sizeof(Value::eacParam)
                       : 0;
    }
}

// Lines 1 to 3 of both GRANT_ACCESS_SEQUENCE forms.
void printGrantAccessCommon(ZvEacBytes body) {
    zvEacShellPrintInfoLine();
    loggerPrintf("Requested Action:     %s", zvEacRequstedSequenceActionToStr(body.u8(off::kGasAction)));
    zvEacShellPrintInfoLine();
    loggerPrintf("OpenTimer Specifier:  %s", zvEacOpenTimerSpecifierToStr(body.u8(off::kGasTimerSpecifier)));
    zvEacShellPrintInfoLine();
    loggerPrintf("OpenTime in Sec:      %d", static_cast<int>(body.u16be(off::kGasTimeInSec)));
}

// Indication mode, door side and the two flag blocks of the extended forms.
void printIndicationBlock(ZvEacBytes body, std::size_t modeOff, std::size_t doorSideOff, std::size_t statusOff,
                          std::size_t maskOff, std::size_t physOff) {
    zvEacShellPrintInfoLine();
    loggerPrintf("Indication Mode:     %s", zvEacIndicationModeToStr(body.u8(modeOff)));
    zvEacPrintIndicationSettings(body, doorSideOff, statusOff, maskOff, physOff);
}

}  // namespace

// ---------------------------------------------------------------- access

Boolean zvEacPrintAccessDecision(ZvEacBytes body) {
    // The two reserved bytes are never shown, so a telegram without them
    // still decodes.
    if (!body.has(off::kAccDecDecision, 1)) {
        return FALSE;
    }
    const U8 decision = body.u8(off::kAccDecDecision);
    zvEacShellPrintInfoLine();
    if (decision == ZV_EAC_ACCD_ACCESS_GRANTED) {
        loggerPrintf("GRANTED");
    } else if (decision == ZV_EAC_ACCD_ACCESS_DENIED) {
        loggerPrintf("DENIED");
    } else {
        loggerPrintf("## unknown %d ##", decision);
    }
    return TRUE;
}

Boolean zvEacPrintIndicateCredentialRequest(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleIndicateCredentialRequest))) {
        return FALSE;
    }
    const U16 code = body.u16be(off::kCredIndicationCode);
    if (code == 0) {
        zvEacShellPrintInfoLine();
        loggerPrintf("Credential request:   %s", zvEacCredentialIndicationToStr(0));
        return TRUE;
    }
    for (unsigned bit = 0; bit < 16; ++bit) {
        const U32 bitValue = 1u << bit;
        if ((code & bitValue) != 0) {
            zvEacShellPrintInfoLine();
            loggerPrintf("Credential request:   %s", zvEacCredentialIndicationToStr(bitValue));
        }
    }
    return TRUE;
}

Boolean zvEacPrintGrantAccessSequence(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleGrantAccessSequence))) {
        return FALSE;
    }
    printGrantAccessCommon(body);
    zvEacShellPrintInfoLine();
    loggerPrintf("Light Indication:     %s", zvEacLightIndicationToStr(body.u8(off::kGasLightIndication)));
    return TRUE;
}

Boolean zvEacPrintGrantAccessSequenceWithIndication(ZvEacBytes body) {
    using Record = ZvEacTeleGrantAccessSequenceWithIndication;
    if (!body.has(0, sizeof(Record))) {
        return FALSE;
    }
    printGrantAccessCommon(body);
    printIndicationBlock(body, offsetof(Record, indicationMode), offsetof(Record, doorSide),
                         offsetof(Record, indicationStatus), offsetof(Record, indicationMask),
                         offsetof(Record, physicalRepresentation));
    return TRUE;
}

Boolean zvEacPrintIndicateAccessDenied(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleIndicateAccessDenied))) {
        return FALSE;
    }
    zvEacShellPrintInfoLine();
    loggerPrintf("Light Indication:   %s", zvEacLightIndicationToStr(body.u8(off::kIadLightIndication)));
    return TRUE;
}

Boolean zvEacPrintIndicateAccessDeniedWithIndication(ZvEacBytes body) {
    using Record = ZvEacTeleIndicateAccessDeniedWithIndication;
    if (!body.has(0, sizeof(Record))) {
        return FALSE;
    }
    printIndicationBlock(body, offsetof(Record, indicationMode), offsetof(Record, doorSide),
                         offsetof(Record, indicationStatus), offsetof(Record, indicationMask),
                         offsetof(Record, physicalRepresentation));
    return TRUE;
}

Boolean zvEacPrintKeypad(ZvEacBytes body) {
    if (!body.has(0, off::kKeypadKeys)) {
        return FALSE;
    }
    const std::size_t keyCount = body.u8(off::kKeypadLength);
    if (!body.has(off::kKeypadKeys, keyCount)) {
        return FALSE;
    }
    const U8 doorSide = body.u8(off::kKeypadDoorSide);
    zvEacPrintDeviceIdLine("Device id:      ", body, off::kKeypadDevId);
    zvEacShellPrintInfoLine();
    loggerPrintf("Door side:       %s hex(0x%01x)", zvEacDoorSideToStr(doorSide), doorSide);
    zvEacShellPrintInfoLine();
    loggerPrintf("Number of keys:  %i hex(0x%01x)", static_cast<int>(keyCount), static_cast<unsigned>(keyCount));

    zvEacShellPrintInfoLine();
    loggerPrintf("Keys [ascii]:    [ ");
    for (std::size_t i = 0; i < keyCount; ++i) {
        const U8 key = body.u8(off::kKeypadKeys + i);
        if (key == 0) {
            loggerPrintf("  ");
        } else {
            char shown[2];
            zvEacSanitizeText(&key, 1, shown);
            loggerPrintf("%c ", shown[0]);
        }
    }
    loggerPrintf("]");

    zvEacShellPrintInfoLine();
    loggerPrintf("     [ hex ]:    [ ");
    for (std::size_t i = 0; i < keyCount; ++i) {
        loggerPrintf("0x%01x ", body.u8(off::kKeypadKeys + i));
    }
    loggerPrintf("]");
    return TRUE;
}

// ---------------------------------------------------------------- diagnostics

Boolean zvEacPrintGetDtcs(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleGetDtcs))) {
        return FALSE;
    }
    zvEacPrintDeviceIdLine("Device id:      ", body, off::kGetDtcsDevId);
    zvEacShellPrintInfoLine();
    loggerPrintf("DTC request:     %s", zvEacDtcRequestToStr(body.u8(off::kGetDtcsRequest)));
    return TRUE;
}

Boolean zvEacPrintDtc(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleDtc))) {
        return FALSE;
    }
    const U8 flags = body.u8(off::kDtcFlags);
    zvEacPrintDeviceIdLine("Device id:      ", body, off::kDtcDevId);
    zvEacShellPrintInfoLine();
    loggerPrintf("DTC ID:          %08X", static_cast<unsigned>(body.u32be(off::kDtcId)));
    zvEacShellPrintInfoLine();
    loggerPrintf("Test failed:     %s", yesNo((flags & ZV_EAC_DTC_FLAG_TEST_FAILED) != 0));
    zvEacShellPrintInfoLine();
    loggerPrintf("DTC confirmed:   %s", yesNo((flags & ZV_EAC_DTC_FLAG_CONFIRMED) != 0));
    zvEacShellPrintInfoLine();
    loggerPrintf("Test completed:  %s", yesNo((flags & ZV_EAC_DTC_FLAG_TEST_COMPLETED) != 0));
    return TRUE;
}

Boolean zvEacPrintClearDtc(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleClearDtc))) {
        return FALSE;
    }
    const U32 dtcId = body.u32be(off::kClearDtcId);
    zvEacPrintDeviceIdLine("Device id:      ", body, off::kClearDtcDevId);
    zvEacShellPrintInfoLine();
    loggerPrintf("DTC ID:          %08X %s", static_cast<unsigned>(dtcId), dtcId == 0 ? "(All Dtcs)" : "");
    return TRUE;
}

// ---------------------------------------------------------------- alarms

Boolean zvEacPrintGetAlarms(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleGetAlarms))) {
        return FALSE;
    }
    zvEacPrintDeviceIdLine("Device ID:      ", body, off::kGetAlarmsDevId);
    zvEacShellPrintInfoLine();
    loggerPrintf("Alarm request:     %s", zvEacAlarmRequestToStr(body.u8(off::kGetAlarmsRequest)));
    return TRUE;
}

Boolean zvEacPrintAlarm(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleAlarm))) {
        return FALSE;
    }
    const U8 alarmId = body.u8(off::kAlarmId);
    const U8 flags = body.u8(off::kAlarmFlags);
    zvEacPrintDeviceIdLine("Device ID:      ", body, off::kAlarmDevId);
    zvEacShellPrintInfoLine();
    loggerPrintf("Alarm ID:      0x%X: %s", alarmId, zvEacAlarmIdToStr(alarmId));
    zvEacShellPrintInfoLine();
    loggerPrintf("Alarm Details: 0x%X", body.u8(off::kAlarmDetails));
    zvEacShellPrintInfoLine();
    loggerPrintf("Alarm Level:   0x%X", body.u8(off::kAlarmLevel));
    zvEacShellPrintInfoLine();
    loggerPrintf("Alarm Active:     %s", yesNo((flags & ZV_EAC_ALARM_FLAG_ACTIVE) != 0));
    zvEacShellPrintInfoLine();
    loggerPrintf("Alarm Occurred:   %s", yesNo((flags & ZV_EAC_ALARM_FLAG_OCCURRED) != 0));
    return TRUE;
}

Boolean zvEacPrintConfirmAlarm(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleConfirmAlarm))) {
        return FALSE;
    }
    const U8 alarmId = body.u8(off::kConfirmAlarmId);
    zvEacPrintDeviceIdLine("Device ID:      ", body, off::kConfirmAlarmDevId);
    zvEacShellPrintInfoLine();
    loggerPrintf("Alarm ID:          0x%X %s", alarmId, alarmId == kAllAlarms ? "(All Alarms)" : "");
    return TRUE;
}

// ---------------------------------------------------------------- version, result, reset

Boolean zvEacPrintGetVersion(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleGetVersionReq))) {
        return FALSE;
    }
    zvEacShellPrintInfoLine();
    loggerPrintf("%s", zvEacVersionSelectorToStr(body.u8(off::kGetVerSelector)));
    return TRUE;
}

Boolean zvEacPrintVersion(ZvEacBytes body, U8 length) {
    if (!body.has(0, off::kVerHumanInfo)) {
        return FALSE;
    }
    // Only telegrams of 11 to 30 bytes carry a version text; longer ones are
    // not trusted to hold one.
    const bool hasText = length > kVersionFixedLength && length <= kVersionFixedLength + kVersionTextMax;
    const std::size_t textLength = hasText ? length - kVersionFixedLength : 0;
    if (!body.has(off::kVerHumanInfo, textLength)) {
        return FALSE;
    }
    char versionText[kVersionTextMax + 1] = {};
    wireTextToStr(body.from(off::kVerHumanInfo), versionText, textLength + 1);

    zvEacShellPrintInfoLine();
    loggerPrintf("protVer(%3d.%03d)", body.u8(off::kVerProtMajor), body.u8(off::kVerProtMinor));
    zvEacShellPrintInfoLine();
    loggerPrintf("vendorId(0x%02x) productId(0x%02x) ", body.u8(off::kVerVendorId), body.u8(off::kVerProductId));
    loggerPrintf("%s", zvEacVersionSelectorToStr(body.u8(off::kVerSelector)));
    zvEacShellPrintInfoLine();
    loggerPrintf("version(%3d.%03d) buildNr(%4d)", body.u8(off::kVerMajor), body.u8(off::kVerMinor),
                 static_cast<int>(body.u16be(off::kVerBuildNumber)));
    if (hasText) {
        loggerPrintf("[%s]", versionText);
    }
    return TRUE;
}

Boolean zvEacPrintResult(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleResult))) {
        return FALSE;
    }
    zvEacShellPrintInfoLine();
    loggerPrintf("%s", zvEacMsgIdToStr(body.u8(off::kResultCmd)));
    zvEacShellPrintInfoLine();
    loggerPrintf("%s", zvEacResultToStr(body.u8(off::kResultResult)));
    return TRUE;
}

Boolean zvEacPrintReset(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleReset))) {
        return FALSE;
    }
    const U8 param = body.u8(off::kResetParam);
    zvEacShellPrintInfoLine();
    if (param == ZV_EAC_RESET_DIU) {
        loggerPrintf("DIU");
    } else if (param == ZV_EAC_RESET_DEVICE) {
        loggerPrintf("DEVICE");
    } else {
        loggerPrintf("## unknown %d ##", param);
    }
    return TRUE;
}

// ---------------------------------------------------------------- parameters

Boolean zvEacPrintGetParameter(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleParamReadReq))) {
        return FALSE;
    }
    zvEacShellPrintInfoLine();
    loggerPrintf("%s", zvEacParamIdToStr(body.u8(off::kGetParamId)));
    return TRUE;
}

Boolean zvEacPrintParameter(ZvEacBytes body) {
    if (!body.has(off::kParamId, 1)) {
        return FALSE;
    }
    const U8 paramId = body.u8(off::kParamId);
    const std::size_t width = paramValueWidth(paramId);
    if (!body.has(off::kParamValue, width)) {
        return FALSE;
    }
    zvEacShellPrintInfoLine();
    loggerPrintf("%s ", zvEacParamIdToStr(paramId));
    zvEacShellPrintInfoLine();
    switch (width) {
        case 2:
            loggerPrintf("value( %d ) ", static_cast<int>(body.u16be(off::kParamValue)));
            break;
        case 1:
            loggerPrintf("rxLen(% 3d) ", body.u8(off::kParamValue));
            break;
        case 4:
            loggerPrintf("value(0x%08x) ", static_cast<unsigned>(body.u32be(off::kParamValue)));
            break;
        default:
            loggerPrintf("## not implemented ##");
            break;
    }
    return TRUE;
}

// ---------------------------------------------------------------- events

Boolean zvEacPrintGetEvent(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleEventReq))) {
        return FALSE;
    }
    zvEacShellPrintInfoLine();
    loggerPrintf("eventIndex( %d )", static_cast<int>(body.u16be(off::kEventIndex)));
    return TRUE;
}

Boolean zvEacPrintEvent(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleEventRsp))) {
        return FALSE;
    }
    const U8 event = body.u8(off::kEventCode);
    const TimeFields time = timeAt(body, off::kEventTimestamp);
    zvEacShellPrintInfoLine();
    loggerPrintf("timestamp(%02d.%02d.%02d %02d:%02d:%02d)", time.v[0], time.v[1], time.v[2], time.v[3], time.v[4],
                 time.v[5]);
    zvEacShellPrintInfoLine();
    loggerPrintf("%s", zvEacEventCodeToStr(event));
    zvEacShellPrintInfoLine();
    loggerPrintf("event code : 0x%02x", event);
    zvEacShellPrintInfoLine();
    loggerPrintf("details    : 0x%04x", static_cast<unsigned>(body.u16be(off::kEventDetails)));
    return TRUE;
}

// ---------------------------------------------------------------- service

Boolean zvEacPrintFirmwareUpgrade(ZvEacBytes telegram) {
    const ZvEacBytes body = telegram.from(1);
    if (!body.has(ZV_EAC_FW_UPGRADE_OFS_DEV_ID, kDevIdSize)) {
        return FALSE;
    }
    char fileReference[kWireTextMax + 1];
    wireTextToStr(body.from(ZV_EAC_FW_UPGRADE_OFS_FILE_REFERENCE), fileReference, sizeof fileReference);
    zvEacPrintDeviceIdLine("Device id:      ", body, ZV_EAC_FW_UPGRADE_OFS_DEV_ID);
    zvEacShellPrintInfoLine();
    loggerPrintf("File reference:  %s", fileReference);
    return TRUE;
}

Boolean zvEacPrintFirmwareStatusNtf(ZvEacBytes telegram) {
    const ZvEacBytes body = telegram.from(1);
    if (!body.has(0, ZV_EAC_FW_STATUS_OFS_STRING_FLAG + 1)) {
        return FALSE;
    }
    zvEacPrintDeviceIdLine("Device id:      ", body, ZV_EAC_FW_STATUS_OFS_DEV_ID);
    zvEacShellPrintInfoLine();
    loggerPrintf("Status:          %d", body.u8(ZV_EAC_FW_STATUS_OFS_STATUS));
    zvEacShellPrintInfoLine();
    loggerPrintf("Status details:  %d", body.u8(ZV_EAC_FW_STATUS_OFS_DETAILS));
    if (body.u8(ZV_EAC_FW_STATUS_OFS_STRING_FLAG) != 0) {
        char deviceString[kWireTextMax + 1];
        wireTextToStr(body.from(ZV_EAC_FW_STATUS_OFS_STRING), deviceString, sizeof deviceString);
        zvEacShellPrintInfoLine();
        loggerPrintf("Device string:   %s", deviceString);
    }
    return TRUE;
}

Boolean zvEacPrintBlockDataTransport(ZvEacBytes telegram) {
    const ZvEacBytes body = telegram.from(1);
    if (!body.has(0, ZV_EAC_BLOCK_DATA_OFS_PAYLOAD_LENGTH + 1)) {
        return FALSE;
    }
    const U8 opCode = body.u8(ZV_EAC_BLOCK_DATA_OFS_OP_CODE);
    const bool hasBlock = opCode == kBdtOpWithBlock1 || opCode == kBdtOpWithBlock2;
    if (hasBlock && !body.has(ZV_EAC_BLOCK_DATA_OFS_BLOCK_NUMBER, 2)) {
        return FALSE;
    }
    zvEacShellPrintInfoLine();
    loggerPrintf("OpCode:  %d", opCode);
    zvEacShellPrintInfoLine();
    loggerPrintf("Payload: %d bytes", body.u8(ZV_EAC_BLOCK_DATA_OFS_PAYLOAD_LENGTH));
    if (hasBlock) {
        zvEacShellPrintInfoLine();
        loggerPrintf("Block:   %d", static_cast<int>(body.u16be(ZV_EAC_BLOCK_DATA_OFS_BLOCK_NUMBER)));
    }
    return TRUE;
}

Boolean zvEacPrintSetTime(ZvEacBytes body) {
    if (!body.has(0, off::kSetTimeFunction + 1)) {
        return FALSE;
    }
    const U8 timeFunction = body.u8(off::kSetTimeFunction);
    if (timeFunction == ZV_EAC_TIME_FUNCTION_UTC_TIME && !body.has(off::kSetTimeZoneOffset, 1)) {
        return FALSE;
    }
    const TimeFields time = timeAt(body, off::kSetTimeTime);
    zvEacShellPrintInfoLine();
    loggerPrintf("Time: %02d.%02d.%02d %02d:%02d:%02d", time.v[0], time.v[1], time.v[2], time.v[3], time.v[4],
                 time.v[5]);
    zvEacShellPrintInfoLine();
    if (timeFunction == ZV_EAC_TIME_FUNCTION_LOCAL_TIME) {
        loggerPrintf("No time zone information");
    } else if (timeFunction == ZV_EAC_TIME_FUNCTION_UTC_TIME) {
        // Quarter hours; the sign is the offset's own, so -1 to -3 show "-0".
        const int offset = static_cast<S8>(body.u8(off::kSetTimeZoneOffset));
        const int hours = offset / 4;
        const int minutes = std::abs(offset - 4 * hours) * 15;
        loggerPrintf("Time zone offset: %d (%c%d:%02d)", offset, offset < 0 ? '-' : '+', std::abs(hours), minutes);
    } else {
        loggerPrintf("Unknown time zone information specifier");
    }
    return TRUE;
}
