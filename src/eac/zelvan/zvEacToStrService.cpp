// Printers for the access-control, diagnostic, alarm, housekeeping and
// service telegrams.
#include <array>
#include <cstddef>
#include <cstdlib>
#include <span>

#include "eac/zelvan/zvEacTelegrams.h"
#include "eac/zelvan/zvEacToStr.h"
#include "eac/zelvan/zvEacToStrFields.h"
#include "eac/zelvan/zvEacToStrPrivate.h"

namespace {

namespace row = zvEacRow;

// Text fields run to the end of the telegram, which holds at most 255 bytes.
constexpr std::size_t kWireTextMax = 255;

// Text from the wire up to the first NUL or the end of `text`, at most
// `outSize` - 1 characters, made safe for a terminal.
void wireTextToStr(ZvEacBytes text, char* out, std::size_t outSize) {
    const std::size_t count = text.size() < outSize - 1 ? text.size() : outSize - 1;
    zvEacSanitizeText(text.at(0, count), count, out);
}

const char* msgIdName(U32 id) { return zvEacMsgIdToStr(static_cast<U8>(id)); }

// ---------------------------------------------------------------- access

struct CodeName {
    U8 code;
    const char* text;
};

// A coded byte shown by its name, or as a number when it has none.
Boolean printNamedCode(const char* field, ZvEacBytes body, std::size_t offset, std::span<const CodeName> names) {
    if (!body.has(offset, 1)) {
        return FALSE;
    }
    const U8 code = body.u8(offset);
    zvEacFieldNumber(field, code);
    for (const CodeName& name : names) {
        if (name.code == code) {
            zvEacPrintLine("%s", name.text);
            return TRUE;
        }
    }
    zvEacPrintLine("## unknown %d ##", code);
    return TRUE;
}

constexpr CodeName kDecisions[] = {{ZV_EAC_ACCD_ACCESS_GRANTED, "GRANTED"}, {ZV_EAC_ACCD_ACCESS_DENIED, "DENIED"}};
constexpr CodeName kResets[] = {{ZV_EAC_RESET_DIU, "DIU"}, {ZV_EAC_RESET_DEVICE, "DEVICE"}};

using Gas = ZvEacTeleGrantAccessSequence;
using GasExt = ZvEacTeleGrantAccessSequenceWithIndication;
static_assert(offsetof(Gas, requstedSequenceAction) == offsetof(GasExt, requstedSequenceAction) &&
              offsetof(Gas, openTimerSpecifier) == offsetof(GasExt, openTimerSpecifier) &&
              offsetof(Gas, timeInSec) == offsetof(GasExt, timeInSec));

// Lines 1 to 3 of both forms.
constexpr ZvEacRow kGrantAccessCommon[] = {
    row::name("requested_action", offsetof(Gas, requstedSequenceAction), "Requested Action:     %s",
              zvEacRequstedSequenceActionToStr),
    row::name("open_timer_specifier", offsetof(Gas, openTimerSpecifier), "OpenTimer Specifier:  %s",
              zvEacOpenTimerSpecifierToStr),
    row::u16("open_time", offsetof(Gas, timeInSec), "OpenTime in Sec:      %d"),
};

constexpr ZvEacRow kGrantAccess[] = {
    row::rows(kGrantAccessCommon),
    row::name("light_indication", offsetof(Gas, lightIndication), "Light Indication:     %s",
              zvEacLightIndicationToStr),
};

constexpr ZvEacRow kGrantAccessWithIndication[] = {
    row::rows(kGrantAccessCommon),
    row::name("indication_mode", offsetof(GasExt, indicationMode), "Indication Mode:     %s", zvEacIndicationModeToStr),
    row::rows(kZvEacIndicationSettings<GasExt>),
};

using Iad = ZvEacTeleIndicateAccessDenied;
using IadExt = ZvEacTeleIndicateAccessDeniedWithIndication;

constexpr ZvEacRow kAccessDenied[] = {
    row::name("light_indication", offsetof(Iad, lightIndication), "Light Indication:   %s", zvEacLightIndicationToStr),
};

constexpr ZvEacRow kAccessDeniedWithIndication[] = {
    row::name("indication_mode", offsetof(IadExt, indicationMode), "Indication Mode:     %s", zvEacIndicationModeToStr),
    row::rows(kZvEacIndicationSettings<IadExt>),
};

using Keypad = ZvEacTeleKeypad;

// In the record: the group "keys" with both lines as its text, and one
// entry "key" per key, its character as text.
void printKeys(ZvEacBytes body) {
    const std::size_t count = body.u8(offsetof(Keypad, length));
    const ZvEacBytes keys = body.from(offsetof(Keypad, keys));
    zvEacGroupBegin("keys");
    zvEacPrintLine("Keys [ascii]:    [ ");
    for (std::size_t i = 0; i < count; ++i) {
        const U8 key = keys.u8(i);
        if (key == 0) {
            zvEacOut("  ");
        } else {
            char shown[2];
            zvEacSanitizeText(&key, 1, shown);
            zvEacOut("%c ", shown[0]);
        }
    }
    zvEacOut("]");
    zvEacPrintLine("     [ hex ]:    [ ");
    for (std::size_t i = 0; i < count; ++i) {
        zvEacOut("0x%01x ", keys.u8(i));
    }
    zvEacOut("]");
    for (std::size_t i = 0; i < count; ++i) {
        const U8 key = keys.u8(i);
        char shown[2];
        zvEacSanitizeText(&key, 1, shown);
        zvEacFieldNumber("key", key);
        zvEacFieldShown(shown);
    }
    zvEacGroupEnd();
}

constexpr ZvEacFieldDecl kKeyFields[] = {{"keys", ZvEacValueKind::GROUP, 0}, {"keys.key", ZvEacValueKind::NUMBER, 1}};

constexpr ZvEacRow kKeypad[] = {
    row::deviceId("device_id", offsetof(Keypad, devId), "Device id:      "),
    row::nameAndValue("door_side", offsetof(Keypad, doorSide), "Door side:       %s hex(0x%01x)", zvEacDoorSideToStr),
    row::valueTwice("key_count", offsetof(Keypad, length), "Number of keys:  %i hex(0x%01x)"),
    row::custom("keys", printKeys, kKeyFields),
};

// ---------------------------------------------------------------- diagnostics and alarms

constexpr ZvEacRow kGetDtcs[] = {
    row::deviceId("device_id", offsetof(ZvEacTeleGetDtcs, devId), "Device id:      "),
    row::name("request", offsetof(ZvEacTeleGetDtcs, request), "DTC request:     %s", zvEacDtcRequestToStr),
};

constexpr ZvEacRow kDtc[] = {
    row::deviceId("device_id", offsetof(ZvEacTeleDtc, devId), "Device id:      "),
    row::u32("dtc_id", offsetof(ZvEacTeleDtc, dtcId), "DTC ID:          %08X"),
    row::yesNo("test_failed", offsetof(ZvEacTeleDtc, dtcFlags), ZV_EAC_DTC_FLAG_TEST_FAILED, "Test failed:     %s"),
    row::yesNo("confirmed", offsetof(ZvEacTeleDtc, dtcFlags), ZV_EAC_DTC_FLAG_CONFIRMED, "DTC confirmed:   %s"),
    row::yesNo("test_completed", offsetof(ZvEacTeleDtc, dtcFlags), ZV_EAC_DTC_FLAG_TEST_COMPLETED,
               "Test completed:  %s"),
};

constexpr ZvEacRow kClearDtc[] = {
    row::deviceId("device_id", offsetof(ZvEacTeleClearDtc, devId), "Device id:      "),
    row::withNote("dtc_id", offsetof(ZvEacTeleClearDtc, dtcId), 4, "DTC ID:          %08X %s", 0, "(All Dtcs)"),
};

constexpr ZvEacRow kGetAlarms[] = {
    row::deviceId("device_id", offsetof(ZvEacTeleGetAlarms, devId), "Device ID:      "),
    row::name("request", offsetof(ZvEacTeleGetAlarms, request), "Alarm request:     %s", zvEacAlarmRequestToStr),
};

// The reserved byte of the alarm info is not shown.
constexpr std::size_t kAlarmInfo = offsetof(ZvEacTeleAlarm, alarmInfo);
constexpr ZvEacRow kAlarm[] = {
    row::deviceId("device_id", offsetof(ZvEacTeleAlarm, devId), "Device ID:      "),
    row::valueAndName("alarm_id", kAlarmInfo + offsetof(ZvEacAlarmInfo, alarmId), "Alarm ID:      0x%X: %s",
                      zvEacAlarmIdToStr),
    row::u8("alarm_details", kAlarmInfo + offsetof(ZvEacAlarmInfo, alarmDetails), "Alarm Details: 0x%X"),
    row::u8("alarm_level", kAlarmInfo + offsetof(ZvEacAlarmInfo, alarmLevel), "Alarm Level:   0x%X"),
    row::yesNo("active", offsetof(ZvEacTeleAlarm, alarmFlags), ZV_EAC_ALARM_FLAG_ACTIVE, "Alarm Active:     %s"),
    row::yesNo("occurred", offsetof(ZvEacTeleAlarm, alarmFlags), ZV_EAC_ALARM_FLAG_OCCURRED, "Alarm Occurred:   %s"),
};

// CONFIRM_ALARM's alarm id that confirms every alarm at once.
constexpr U8 kAllAlarms = 255;

constexpr ZvEacRow kConfirmAlarm[] = {
    row::deviceId("device_id", offsetof(ZvEacTeleConfirmAlarm, devId), "Device ID:      "),
    row::withNote("alarm_id", offsetof(ZvEacTeleConfirmAlarm, alarmId), 1, "Alarm ID:          0x%X %s", kAllAlarms,
                  "(All Alarms)"),
};

// ---------------------------------------------------------------- housekeeping

constexpr ZvEacRow kGetVersion[] = {
    row::name("selector", offsetof(ZvEacTeleGetVersionReq, selector), "%s", zvEacVersionSelectorToStr),
};

using Version = ZvEacTeleGetVersionRsp;
// The version text holds at most 20 characters: telegrams of 11 to 30 bytes
// carry 1 to 20 of them.
constexpr std::size_t kVersionTextMax = sizeof(Version::humanInfo);
constexpr std::size_t kVersionFixedLength = 1 + offsetof(Version, humanInfo);  // message id and the fixed fields

constexpr ZvEacRow kResult[] = {
    row::name("command", offsetof(ZvEacTeleResult, cmd), "%s", msgIdName),
    row::name("result", offsetof(ZvEacTeleResult, result), "%s", zvEacResultToStr),
};

constexpr ZvEacRow kGetParameter[] = {
    row::name("parameter_id", offsetof(ZvEacTeleParamReadReq, paramId), "%s", zvEacParamIdToStr),
};

// Value width of ZvEacTeleParamOpData by parameter id; 0 for ids whose value
// is not decoded.
constexpr std::array<U8, 256> kParamValueWidth = [] {
    using Value = decltype(ZvEacTeleParamOpData::u);
    std::array<U8, 256> width{};
    for (U8 id : {ZV_EAC_PARAM_ID_TMO_SLAVE_OFFLINE, ZV_EAC_PARAM_ID_TMO_SLAVE_MIN, ZV_EAC_PARAM_ID_TMO_SLAVE_PROBE_MAX,
                  ZV_EAC_PARAM_ID_TMO_SLAVE_POLL_MAX}) {
        width[id] = sizeof(Value::timeout);
    }
    width[ZV_EAC_PARAM_ID_RX_BUF_LENGTH] = sizeof(Value::rxBufLength);
    for (U8 id : {ZV_EAC_PARAM_ID_EAC_PARAM_A, ZV_EAC_PARAM_ID_EAC_PARAM_B, ZV_EAC_PARAM_ID_OEM_FLASH_PARAM_A,
                  ZV_EAC_PARAM_ID_OEM_FLASH_PARAM_B}) {
        width[id] = sizeof(Value::eacParam);
    }
    for (unsigned id = ZV_EAC_PARAM_ID_OEM_PARAM_128; id <= ZV_EAC_PARAM_ID_OEM_PARAM_159; ++id) {
        width[id] = sizeof(Value::eacParam);
    }
    return width;
}();

constexpr ZvEacRow kGetEvent[] = {
    row::u16("index", offsetof(ZvEacTeleEventReq, index), "eventIndex( %d )"),
};

using Event = ZvEacTeleEventRsp;
constexpr ZvEacRow kEvent[] = {
    row::time("timestamp", offsetof(Event, timestamp), "timestamp(%02d.%02d.%02d %02d:%02d:%02d)"),
    row::name("event", offsetof(Event, event), "%s", zvEacEventCodeToStr),
    row::u8("event_code", offsetof(Event, event), "event code : 0x%02x"),
    row::u16("details", offsetof(Event, eventCodeDetails), "details    : 0x%04x"),
};

// ---------------------------------------------------------------- service

void printDeviceString(ZvEacBytes body) {
    if (body.u8(ZV_EAC_FW_STATUS_OFS_STRING_FLAG) == 0) {
        return;
    }
    char deviceString[kWireTextMax + 1];
    wireTextToStr(body.from(ZV_EAC_FW_STATUS_OFS_STRING), deviceString, sizeof deviceString);
    zvEacFieldText("device_string", body.from(ZV_EAC_FW_STATUS_OFS_STRING));
    zvEacPrintLine("Device string:   %s", deviceString);
}

constexpr ZvEacFieldDecl kDeviceStringFields[] = {{"device_string", ZvEacValueKind::TEXT, 0}};

constexpr ZvEacRow kFirmwareStatus[] = {
    row::deviceId("device_id", ZV_EAC_FW_STATUS_OFS_DEV_ID, "Device id:      "),
    row::u8("status", ZV_EAC_FW_STATUS_OFS_STATUS, "Status:          %d"),
    row::u8("status_details", ZV_EAC_FW_STATUS_OFS_DETAILS, "Status details:  %d"),
    row::custom("device_string", printDeviceString, kDeviceStringFields),
};

constexpr ZvEacRow kBlockData[] = {
    row::u8("op_code", ZV_EAC_BLOCK_DATA_OFS_OP_CODE, "OpCode:  %d"),
    row::u8("payload_length", ZV_EAC_BLOCK_DATA_OFS_PAYLOAD_LENGTH, "Payload: %d bytes"),
};

constexpr U8 kBdtOpWithBlock1 = 3;
constexpr U8 kBdtOpWithBlock2 = 4;

using SetTime = ZvEacTeleSetTime;

void printTimeZone(ZvEacBytes body) {
    const U8 timeFunction = body.u8(offsetof(SetTime, timeFunction));
    zvEacFieldNumber("time_function", timeFunction);
    if (timeFunction == ZV_EAC_TIME_FUNCTION_UTC_TIME) {
        zvEacFieldNumber("time_zone_offset", body.u8(offsetof(SetTime, timezoneOffset)));
    }
    if (timeFunction == ZV_EAC_TIME_FUNCTION_LOCAL_TIME) {
        zvEacPrintLine("No time zone information");
    } else if (timeFunction == ZV_EAC_TIME_FUNCTION_UTC_TIME) {
        // Quarter hours; the sign is the offset's own, so -1 to -3 show "-0".
        const int raw = body.u8(offsetof(SetTime, timezoneOffset));
        const int offset = raw < 0x80 ? raw : raw - 0x100;  // two's complement byte
        const int hours = offset / 4;
        const int minutes = std::abs(offset - 4 * hours) * 15;
        zvEacPrintLine("Time zone offset: %d (%c%d:%02d)", offset, offset < 0 ? '-' : '+', std::abs(hours), minutes);
    } else {
        zvEacPrintLine("Unknown time zone information specifier");
    }
}

constexpr ZvEacFieldDecl kTimeZoneFields[] = {{"time_function", ZvEacValueKind::NUMBER, 1},
                                              {"time_zone_offset", ZvEacValueKind::NUMBER, 1}};

constexpr ZvEacRow kSetTime[] = {
    row::time("time", offsetof(SetTime, time), "Time: %02d.%02d.%02d %02d:%02d:%02d"),
    row::custom("time_zone", printTimeZone, kTimeZoneFields),
};

}  // namespace

// ---------------------------------------------------------------- access

// The two reserved bytes are never shown, so a telegram without them still
// decodes.
Boolean zvEacPrintAccessDecision(ZvEacBytes body) {
    return printNamedCode("decision", body, offsetof(ZvEacTeleAccDec, decision), kDecisions);
}

Boolean zvEacPrintIndicateCredentialRequest(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleIndicateCredentialRequest))) {
        return FALSE;
    }
    const U16 code = body.u16be(offsetof(ZvEacTeleIndicateCredentialRequest, credentialIndicationCode));
    zvEacFieldNumber("indication_code", code);
    if (code == 0) {
        zvEacPrintLine("Credential request:   %s", zvEacCredentialIndicationToStr(0));
        return TRUE;
    }
    for (unsigned bit = 0; bit < 16; ++bit) {
        const U32 bitValue = 1u << bit;
        if ((code & bitValue) != 0) {
            zvEacPrintLine("Credential request:   %s", zvEacCredentialIndicationToStr(bitValue));
        }
    }
    return TRUE;
}

Boolean zvEacPrintGrantAccessSequence(ZvEacBytes body) { return zvEacPrintTable<sizeof(Gas), kGrantAccess>(body); }

Boolean zvEacPrintGrantAccessSequenceWithIndication(ZvEacBytes body) {
    return zvEacPrintTable<sizeof(GasExt), kGrantAccessWithIndication>(body);
}

Boolean zvEacPrintIndicateAccessDenied(ZvEacBytes body) { return zvEacPrintTable<sizeof(Iad), kAccessDenied>(body); }

Boolean zvEacPrintIndicateAccessDeniedWithIndication(ZvEacBytes body) {
    return zvEacPrintTable<sizeof(IadExt), kAccessDeniedWithIndication>(body);
}

// More keys than the record has room for are shown: the telegram decides.
Boolean zvEacPrintKeypad(ZvEacBytes body) {
    return zvEacPrintCountedTable<offsetof(Keypad, keys), offsetof(Keypad, length), kKeypad>(body);
}

// ---------------------------------------------------------------- diagnostics and alarms

Boolean zvEacPrintGetDtcs(ZvEacBytes body) { return zvEacPrintTable<sizeof(ZvEacTeleGetDtcs), kGetDtcs>(body); }

Boolean zvEacPrintDtc(ZvEacBytes body) { return zvEacPrintTable<sizeof(ZvEacTeleDtc), kDtc>(body); }

Boolean zvEacPrintClearDtc(ZvEacBytes body) { return zvEacPrintTable<sizeof(ZvEacTeleClearDtc), kClearDtc>(body); }

Boolean zvEacPrintGetAlarms(ZvEacBytes body) { return zvEacPrintTable<sizeof(ZvEacTeleGetAlarms), kGetAlarms>(body); }

Boolean zvEacPrintAlarm(ZvEacBytes body) { return zvEacPrintTable<sizeof(ZvEacTeleAlarm), kAlarm>(body); }

Boolean zvEacPrintConfirmAlarm(ZvEacBytes body) {
    return zvEacPrintTable<sizeof(ZvEacTeleConfirmAlarm), kConfirmAlarm>(body);
}

// ---------------------------------------------------------------- version, result, reset

Boolean zvEacPrintGetVersion(ZvEacBytes body) {
    return zvEacPrintTable<sizeof(ZvEacTeleGetVersionReq), kGetVersion>(body);
}

Boolean zvEacPrintVersion(ZvEacBytes body, U8 length) {
    if (!body.has(0, offsetof(Version, humanInfo))) {
        return FALSE;
    }
    // Only telegrams of 11 to 30 bytes carry a version text; longer ones are
    // not trusted to hold one.
    const bool hasText = length > kVersionFixedLength && length <= kVersionFixedLength + kVersionTextMax;
    const std::size_t textLength = hasText ? length - kVersionFixedLength : 0;
    if (!body.has(offsetof(Version, humanInfo), textLength)) {
        return FALSE;
    }
    char versionText[kVersionTextMax + 1] = {};
    wireTextToStr(body.from(offsetof(Version, humanInfo)), versionText, textLength + 1);

    // Each line is the text of its first number.
    zvEacFieldNumber("protocol_major", body.u8(offsetof(Version, protocolVersionMajor)));
    zvEacPrintLine("protVer(%3d.%03d)", body.u8(offsetof(Version, protocolVersionMajor)),
                   body.u8(offsetof(Version, protocolVersionMinor)));
    zvEacFieldNumber("protocol_minor", body.u8(offsetof(Version, protocolVersionMinor)));
    zvEacFieldNumber("vendor_id", body.u8(offsetof(Version, vendorId)));
    zvEacPrintLine("vendorId(0x%02x) productId(0x%02x) ", body.u8(offsetof(Version, vendorId)),
                   body.u8(offsetof(Version, productId)));
    zvEacFieldNumber("product_id", body.u8(offsetof(Version, productId)));
    zvEacFieldNumber("selector", body.u8(offsetof(Version, selector)));
    zvEacOut("%s", zvEacVersionSelectorToStr(body.u8(offsetof(Version, selector))));
    zvEacFieldNumber("version_major", body.u8(offsetof(Version, versionNumberMajor)));
    zvEacPrintLine("version(%3d.%03d) buildNr(%4d)", body.u8(offsetof(Version, versionNumberMajor)),
                   body.u8(offsetof(Version, versionNumberMinor)),
                   static_cast<int>(body.u16be(offsetof(Version, buildNumber))));
    zvEacFieldNumber("version_minor", body.u8(offsetof(Version, versionNumberMinor)));
    zvEacFieldNumber("build", body.u16be(offsetof(Version, buildNumber)));
    if (hasText) {
        zvEacFieldText("text", body.slice(offsetof(Version, humanInfo), textLength));
        zvEacOut("[%s]", versionText);
    }
    return TRUE;
}

Boolean zvEacPrintResult(ZvEacBytes body) { return zvEacPrintTable<sizeof(ZvEacTeleResult), kResult>(body); }

Boolean zvEacPrintReset(ZvEacBytes body) {
    return printNamedCode("target", body, offsetof(ZvEacTeleReset, param), kResets);
}

// ---------------------------------------------------------------- parameters

Boolean zvEacPrintGetParameter(ZvEacBytes body) {
    return zvEacPrintTable<sizeof(ZvEacTeleParamReadReq), kGetParameter>(body);
}

Boolean zvEacPrintParameter(ZvEacBytes body) {
    constexpr std::size_t idAt = offsetof(ZvEacTeleParamOpData, paramId);
    constexpr std::size_t valueAt = offsetof(ZvEacTeleParamOpData, u);
    if (!body.has(idAt, 1)) {
        return FALSE;
    }
    const U8 paramId = body.u8(idAt);
    const std::size_t width = kParamValueWidth[paramId];
    if (!body.has(valueAt, width)) {
        return FALSE;
    }
    zvEacFieldNumber("parameter_id", paramId);
    zvEacPrintLine("%s ", zvEacParamIdToStr(paramId));
    if (width != 0) {
        zvEacFieldNumber("value", width == 1   ? body.u8(valueAt)
                                  : width == 2 ? body.u16be(valueAt)
                                               : body.u32be(valueAt));
    }
    switch (width) {
        case 2:
            zvEacPrintLine("value( %d ) ", static_cast<int>(body.u16be(valueAt)));
            break;
        case 1:
            zvEacPrintLine("rxLen(% 3d) ", body.u8(valueAt));
            break;
        case 4:
            zvEacPrintLine("value(0x%08x) ", static_cast<unsigned>(body.u32be(valueAt)));
            break;
        default:
            zvEacPrintLine("## not implemented ##");
            break;
    }
    return TRUE;
}

// ---------------------------------------------------------------- events

Boolean zvEacPrintGetEvent(ZvEacBytes body) { return zvEacPrintTable<sizeof(ZvEacTeleEventReq), kGetEvent>(body); }

Boolean zvEacPrintEvent(ZvEacBytes body) { return zvEacPrintTable<sizeof(Event), kEvent>(body); }

// ---------------------------------------------------------------- service

Boolean zvEacPrintFirmwareUpgrade(ZvEacBytes telegram) {
    const ZvEacBytes body = telegram.from(1);
    if (!body.has(ZV_EAC_FW_UPGRADE_OFS_DEV_ID, sizeof(ZvEacDabsDeviceId))) {
        return FALSE;
    }
    char fileReference[kWireTextMax + 1];
    wireTextToStr(body.from(ZV_EAC_FW_UPGRADE_OFS_FILE_REFERENCE), fileReference, sizeof fileReference);
    zvEacPrintDeviceIdLine("device_id", "Device id:      ", body, ZV_EAC_FW_UPGRADE_OFS_DEV_ID);
    zvEacFieldText("file_reference", body.from(ZV_EAC_FW_UPGRADE_OFS_FILE_REFERENCE));
    zvEacPrintLine("File reference:  %s", fileReference);
    return TRUE;
}

Boolean zvEacPrintFirmwareStatusNtf(ZvEacBytes telegram) {
    return zvEacPrintTable<ZV_EAC_FW_STATUS_OFS_STRING_FLAG + 1, kFirmwareStatus>(telegram.from(1));
}

Boolean zvEacPrintBlockDataTransport(ZvEacBytes telegram) {
    const ZvEacBytes body = telegram.from(1);
    const U8 opCode = body.u8(ZV_EAC_BLOCK_DATA_OFS_OP_CODE);
    const bool hasBlock = opCode == kBdtOpWithBlock1 || opCode == kBdtOpWithBlock2;
    // Checked before anything is printed: a short telegram shows only its dump.
    if (hasBlock && !body.has(ZV_EAC_BLOCK_DATA_OFS_BLOCK_NUMBER, 2)) {
        return FALSE;
    }
    if (!zvEacPrintTable<ZV_EAC_BLOCK_DATA_OFS_PAYLOAD_LENGTH + 1, kBlockData>(body)) {
        return FALSE;
    }
    if (hasBlock) {
        zvEacFieldNumber("block", body.u16be(ZV_EAC_BLOCK_DATA_OFS_BLOCK_NUMBER));
        zvEacPrintLine("Block:   %d", static_cast<int>(body.u16be(ZV_EAC_BLOCK_DATA_OFS_BLOCK_NUMBER)));
    }
    return TRUE;
}

Boolean zvEacPrintSetTime(ZvEacBytes body) {
    // The offset byte belongs to UTC time only. A missing function byte
    // reads as local time, and the table then finds the body too short.
    if (body.u8(offsetof(SetTime, timeFunction)) == ZV_EAC_TIME_FUNCTION_UTC_TIME &&
        !body.has(offsetof(SetTime, timezoneOffset), 1)) {
        return FALSE;
    }
    return zvEacPrintTable<offsetof(SetTime, timeFunction) + 1, kSetTime>(body);
}

std::span<const ZvEacLayout> zvEacServiceLayouts() {
    using When = ZvEacFormWhen;
    using K = ZvEacValueKind;
    static constexpr ZvEacFieldDecl kVersionFields[] = {
        {"protocol_major", K::NUMBER, 1},
        {"protocol_minor", K::NUMBER, 1},
        {"vendor_id", K::NUMBER, 1},
        {"product_id", K::NUMBER, 1},
        {"selector", K::NUMBER, 1, zvEacVersionSelectorToStr},
        {"version_major", K::NUMBER, 1},
        {"version_minor", K::NUMBER, 1},
        {"build", K::NUMBER, 2},
        {"text", K::TEXT, 0},
    };
    static constexpr ZvEacFieldDecl kParameterFields[] = {{"parameter_id", K::NUMBER, 1, zvEacParamIdToStr},
                                                          {"value", K::NUMBER, 4}};
    static constexpr ZvEacFieldDecl kDecisionFields[] = {{"decision", K::NUMBER, 1}};
    static constexpr ZvEacFieldDecl kResetFields[] = {{"target", K::NUMBER, 1}};
    static constexpr ZvEacFieldDecl kCredentialRequestFields[] = {{"indication_code", K::NUMBER, 2}};
    static constexpr ZvEacFieldDecl kUpgradeFields[] = {{"device_id", K::BYTES, 0}, {"file_reference", K::TEXT, 0}};
    static constexpr ZvEacFieldDecl kBlockFields[] = {{"block", K::NUMBER, 2}};
    static constexpr ZvEacLayout kLayouts[] = {
        {ZV_EAC_MSGID_GET_VERSION, sizeof(ZvEacTeleGetVersionReq), kGetVersion},
        {ZV_EAC_MSGID_VERSION, offsetof(Version, humanInfo), {}, When::ALWAYS, 0, 0, kVersionFields},
        {ZV_EAC_MSGID_RESULT, sizeof(ZvEacTeleResult), kResult},
        {ZV_EAC_MSGID_RESET, 1, {}, When::ALWAYS, 0, 0, kResetFields},
        {ZV_EAC_MSGID_ACCESS_DECISION, 1, {}, When::ALWAYS, 0, 0, kDecisionFields},
        {ZV_EAC_MSGID_INDICATE_CREDENTIAL_REQUEST,
         sizeof(ZvEacTeleIndicateCredentialRequest),
         {},
         When::ALWAYS,
         0,
         0,
         kCredentialRequestFields},
        {ZV_EAC_MSGID_GRANT_ACCESS_SEQUENCE, sizeof(GasExt), kGrantAccessWithIndication, When::BYTE_IS,
         offsetof(Gas, lightIndication), ZV_EAC_INDICATION_USE_SPECIFIC_INDICATION_IN_EXTENDED_MESSAGE},
        {ZV_EAC_MSGID_GRANT_ACCESS_SEQUENCE, sizeof(Gas), kGrantAccess},
        {ZV_EAC_MSGID_INDICATE_ACCESS_DENIED, sizeof(IadExt), kAccessDeniedWithIndication, When::BYTE_IS,
         offsetof(Iad, lightIndication), ZV_EAC_INDICATION_USE_SPECIFIC_INDICATION_IN_EXTENDED_MESSAGE},
        {ZV_EAC_MSGID_INDICATE_ACCESS_DENIED, sizeof(Iad), kAccessDenied},
        {ZV_EAC_MSGID_GET_EVENT, sizeof(ZvEacTeleEventReq), kGetEvent},
        {ZV_EAC_MSGID_EVENT, sizeof(Event), kEvent},
        {ZV_EAC_MSGID_SET_PARAMETER, 1, {}, When::ALWAYS, 0, 0, kParameterFields},
        {ZV_EAC_MSGID_GET_PARAMETER, sizeof(ZvEacTeleParamReadReq), kGetParameter},
        {ZV_EAC_MSGID_PARAMETER, 1, {}, When::ALWAYS, 0, 0, kParameterFields},
        {ZV_EAC_MSGID_KEYPAD, offsetof(Keypad, keys), kKeypad},
        {ZV_EAC_MSGID_GET_DTCS, sizeof(ZvEacTeleGetDtcs), kGetDtcs},
        {ZV_EAC_MSGID_DTC, sizeof(ZvEacTeleDtc), kDtc},
        {ZV_EAC_MSGID_CLEAR_DTC, sizeof(ZvEacTeleClearDtc), kClearDtc},
        {ZV_EAC_MSGID_FIRMWARE_UPGRADE, sizeof(ZvEacDabsDeviceId), {}, When::ALWAYS, 0, 0, kUpgradeFields},
        {ZV_EAC_MSGID_FIRMWARE_STATUS_NOTIFICATION, ZV_EAC_FW_STATUS_OFS_STRING_FLAG + 1, kFirmwareStatus},
        {ZV_EAC_MSGID_BLOCK_DATA_TRANSPORT, ZV_EAC_BLOCK_DATA_OFS_PAYLOAD_LENGTH + 1, kBlockData, When::ALWAYS, 0, 0,
         kBlockFields},
        {ZV_EAC_MSGID_SET_TIME, offsetof(SetTime, timeFunction) + 1, kSetTime},
        {ZV_EAC_MSGID_GET_ALARMS, sizeof(ZvEacTeleGetAlarms), kGetAlarms},
        {ZV_EAC_MSGID_ALARM, sizeof(ZvEacTeleAlarm), kAlarm},
        {ZV_EAC_MSGID_CONFIRM_ALARM, sizeof(ZvEacTeleConfirmAlarm), kConfirmAlarm},
    };
    return kLayouts;
}
