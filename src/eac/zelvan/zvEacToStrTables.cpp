// Value-to-text tables for the coded fields of the telegram bodies, and the
// two printers that expand the indication bit sets into one line per bit.
#include <array>

#include "eac/zelvan/zvEacTelegrams.h"
#include "eac/zelvan/zvEacToStr.h"
#include "eac/zelvan/zvEacToStrPrivate.h"

namespace {

template <typename Value>
struct Row {
    Value value;
    const char* text;
};

using ByteRow = Row<U8>;

// Tables are keyed by one wire byte, so a wider code is cut to its low byte
// before the lookup: a caller passing one bit of a 16-bit mask (0x0100) gets
// the row of 0, exactly as a one-byte parameter would.
template <std::size_t N>
constexpr const char* lookupByte(const ByteRow (&rows)[N], U32 code, const char* fallback) {
    const U8 key = static_cast<U8>(code & 0xFFu);
    for (const ByteRow& row : rows) {
        if (row.value == key) {
            return row.text;
        }
    }
    return fallback;
}

template <std::size_t N>
constexpr const char* lookupWord(const Row<U32> (&rows)[N], U32 code, const char* fallback) {
    for (const Row<U32>& row : rows) {
        if (row.value == code) {
            return row.text;
        }
    }
    return fallback;
}

// A duplicated value would silently shadow a row; catch it at compile time.
template <typename Value, std::size_t N>
constexpr bool valuesUnique(const Row<Value> (&rows)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        for (std::size_t j = i + 1; j < N; ++j) {
            if (rows[i].value == rows[j].value) {
                return false;
            }
        }
    }
    return true;
}

constexpr ByteRow kVersionSelector[] = {
    {ZV_EAC_VERSION_DIU_HW, "DIU_HW"},
    {ZV_EAC_VERSION_DEVICE_HW, "DEVICE_HW"},
    {ZV_EAC_VERSION_DIU_FW, "DIU_FW"},
    {ZV_EAC_VERSION_DEVICE_FW, "DEVICE_FW"},
};

// FAIL_NO_TAG_IN_FIELD deliberately has no row: it prints the fallback.
constexpr ByteRow kResult[] = {
    {ZV_EAC_RESULT_OK, "OK"},
    {ZV_EAC_RESULT_OK_OP_PENDING, "OK_OP_PENDING"},
    {ZV_EAC_RESULT_FAIL, "FAIL"},
    {ZV_EAC_RESULT_FAIL_UNKNOWN_CMD, "FAIL_UNKNOWN_CMD"},
    {ZV_EAC_RESULT_FAIL_PARAMETER_OUT_OF_RANGE, "FAIL_PARAMETER_OUT_OF_RANGE"},
    {ZV_EAC_RESULT_FAIL_OPERATION_MODE, "FAIL_OPERATION_MODE"},
};

// ACCESS_DECISION_TMO and UNKNOWN have names but no rows; 128..159 are
// generated below.
constexpr ByteRow kParamId[] = {
    {ZV_EAC_PARAM_ID_TMO_SLAVE_OFFLINE, "PARAM_ID_TMO_SLAVE_OFFLINE"},
    {ZV_EAC_PARAM_ID_TMO_SLAVE_MIN, "PARAM_ID_TMO_SLAVE_MIN"},
    {ZV_EAC_PARAM_ID_TMO_SLAVE_PROBE_MAX, "PARAM_ID_TMO_SLAVE_PROBE_MAX"},
    {ZV_EAC_PARAM_ID_TMO_SLAVE_POLL_MAX, "PARAM_ID_TMO_SLAVE_POLL_MAX"},
    {ZV_EAC_PARAM_ID_RX_BUF_LENGTH, "PARAM_ID_RX_BUF_LENGTH"},
    {ZV_EAC_PARAM_ID_EAC_PARAM_A, "PARAM_ID_EAC_PARAM_A"},
    {ZV_EAC_PARAM_ID_EAC_PARAM_B, "PARAM_ID_EAC_PARAM_B"},
    {ZV_EAC_PARAM_ID_OEM_FLASH_PARAM_A, "PARAM_ID_EAC_OEM_FLASH_PARAM_A"},
    {ZV_EAC_PARAM_ID_OEM_FLASH_PARAM_B, "PARAM_ID_EAC_OEM_FLASH_PARAM_B"},
};

// "PARAM_ID_OEM_PARAM_128" .. "PARAM_ID_OEM_PARAM_159", built once at compile
// time so each id has its own constant text.
constexpr char kOemParamPrefix[] = "PARAM_ID_OEM_PARAM_";
constexpr std::size_t kOemParamTextSize = sizeof kOemParamPrefix - 1 + 3 + 1;
constexpr U8 kOemParamFirst = ZV_EAC_PARAM_ID_OEM_PARAM_128;
constexpr U8 kOemParamLast = ZV_EAC_PARAM_ID_OEM_PARAM_159;
using OemParamTexts = std::array<std::array<char, kOemParamTextSize>, kOemParamLast - kOemParamFirst + 1>;

constexpr OemParamTexts makeOemParamTexts() {
    OemParamTexts texts{};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        std::size_t pos = 0;
        for (; kOemParamPrefix[pos] != '\0'; ++pos) {
            texts[i][pos] = kOemParamPrefix[pos];
        }
        const std::size_t id = kOemParamFirst + i;
        texts[i][pos++] = static_cast<char>('0' + id / 100);
        texts[i][pos++] = static_cast<char>('0' + id / 10 % 10);
        texts[i][pos++] = static_cast<char>('0' + id % 10);
        texts[i][pos] = '\0';
    }
    return texts;
}
constexpr OemParamTexts kOemParamTexts = makeOemParamTexts();

// LOCK_JAMMED and LOCK_NOT_JAMMED have no rows.
constexpr ByteRow kEventCode[] = {
    {ZV_EAC_EVENT_RESTARTED, "RESTARTED"},
    {ZV_EAC_EVENT_BATTERY_FLAT, "BATTERY_FLAT"},
    {ZV_EAC_EVENT_BATTERY_LOW, "BATTERY_LOW"},
    {ZV_EAC_EVENT_BATTERY_OK, "BATTERY_OK"},
    {ZV_EAC_EVENT_DEVICE_OFFLINE, "DEVICE_OFFLINE"},
    {ZV_EAC_EVENT_DEVICE_ONLINE, "DEVICE_ONLINE"},
    {ZV_EAC_EVENT_RADIO_DISTURBANCE, "RADIO_DISTURBANCE"},
    {ZV_EAC_EVENT_RADIO_DISTURBANCE_RESET, "RADIO_DISTURBANCE_RESET"},
    {ZV_EAC_EVENT_WATCHDOG_RESET, "WATCHDOG_RESET"},
};

constexpr const char* kUnknownState = "## unknown state code ##";

constexpr ByteRow kLockState[] = {
    {ZV_EAC_LOCK_STATE_UNKNOWN, "LOCK_STATE_UNKNOWN"}, {ZV_EAC_LOCK_STATE_UNLOCKED, "LOCK_STATE_UNLOCKED"},
    {ZV_EAC_LOCK_STATE_LOCKED, "LOCK_STATE_LOCKED"},   {ZV_EAC_LOCK_STATE_SECURED, "LOCK_STATE_SECURED"},
    {ZV_EAC_LOCK_STATE_JAMMED, "LOCK_STATE_JAMMED"},
};

constexpr ByteRow kDoorState[] = {
    {ZV_EAC_DOOR_STATE_UNKNOWN, "DOOR_STATE_UNKNOWN"},
    {ZV_EAC_DOOR_STATE_NOTCLOSED, "DOOR_STATE_NOTCLOSED"},
    {ZV_EAC_DOOR_STATE_CLOSED, "DOOR_STATE_CLOSED"},
};

constexpr ByteRow kHandleState[] = {
    {ZV_EAC_HANDLE_STATE_UNKNOWN, "HANDLE_STATE_UNKNOWN"},
    {ZV_EAC_HANDLE_STATE_NOT_USED, "HANDLE_STATE_NOT_USED"},
    {ZV_EAC_HANDLE_STATE_USED, "HANDLE_STATE_USED"},
};

constexpr ByteRow kKeyCylinderState[] = {
    {ZV_EAC_KEY_CYLINDER_STATE_UNKNOWN, "KEY_CYLINDER_STATE_UNKNOWN"},
    {ZV_EAC_KEY_CYLINDER_STATE_NOT_USED, "KEY_CYLINDER_STATE_NOT_USED"},
    {ZV_EAC_KEY_CYLINDER_STATE_USED, "KEY_CYLINDER_STATE_USED"},
    {ZV_EAC_KEY_CYLINDER_STATE_USED_SPECIFIC_POS_0, "KEY_CYLINDER_STATE_USED_SPECIFIC_POS_0"},
    {ZV_EAC_KEY_CYLINDER_STATE_USED_SPECIFIC_POS_1, "KEY_CYLINDER_STATE_USED_SPECIFIC_POS_1"},
    {ZV_EAC_KEY_CYLINDER_STATE_USED_SPECIFIC_POS_2, "KEY_CYLINDER_STATE_USED_SPECIFIC_POS_2"},
};

constexpr ByteRow kTamperState[] = {
    {ZV_EAC_TAMPER_STATE_UNKNOWN, "TAMPER_STATE_UNKNOWN"},
    {ZV_EAC_TAMPER_STATE_NO_TAMPER, "TAMPER_STATE_NO_TAMPER"},
    {ZV_EAC_TAMPER_STATE_TAMPER, "TAMPER_STATE_TAMPER"},
};

constexpr ByteRow kProductClass[] = {
    {ZV_EAC_PRODCLASS_UNKNOWN, "PRODCLASS_UNKNOWN"},
    {ZV_EAC_PRODCLASS_ALARM_LIGHT, "PRODCLASS_ALARM_LIGHT"},
    {ZV_EAC_PRODCLASS_DOOR_AUTOMATICS, "PRODCLASS_DOOR_AUTOMATICS"},
    {ZV_EAC_PRODCLASS_DOOR_AUTOMATICS_MOTION_SENSOR, "PRODCLASS_DOOR_AUTOMATICS_MOTION_SENSOR"},
    {ZV_EAC_PRODCLASS_ELECTRIC_STRIKE, "PRODCLASS_ELECTRIC_STRIKE"},
    {ZV_EAC_PRODCLASS_GATEWAY, "PRODCLASS_GATEWAY"},
    {ZV_EAC_PRODCLASS_IO_MODULE, "PRODCLASS_IO_MODULE"},
    {ZV_EAC_PRODCLASS_KEYPAD, "PRODCLASS_KEYPAD"},
    {ZV_EAC_PRODCLASS_KEYPAD_READER, "PRODCLASS_KEYPAD_READER"},
    {ZV_EAC_PRODCLASS_LOCK, "PRODCLASS_LOCK"},
    {ZV_EAC_PRODCLASS_MAGNETIC_DOOR_HOLDER, "PRODCLASS_MAGNETIC_DOOR_HOLDER"},
    {ZV_EAC_PRODCLASS_MAGNETIC_LOCK, "PRODCLASS_MAGNETIC_LOCK"},
    {ZV_EAC_PRODCLASS_MOTION_SENSOR, "PRODCLASS_MOTION_SENSOR"},
    {ZV_EAC_PRODCLASS_MOTORLOCK_CONTROLLER, "PRODCLASS_MOTORLOCK_CONTROLLER"},
    {ZV_EAC_PRODCLASS_PANIC_BAR, "PRODCLASS_PANIC_BAR"},
    {ZV_EAC_PRODCLASS_PUSHBUTTON_DISABLED, "PRODCLASS_PUSHBUTTON_DISABLED"},
    {ZV_EAC_PRODCLASS_PUSHBUTTON_EMERGENCY, "PRODCLASS_PUSHBUTTON_EMERGENCY"},
    {ZV_EAC_PRODCLASS_PUSHBUTTON_EXIT, "PRODCLASS_PUSHBUTTON_EXIT"},
    {ZV_EAC_PRODCLASS_READER, "PRODCLASS_READER"},
    {ZV_EAC_PRODCLASS_SECURITY_LOCK, "PRODCLASS_SECURITY_LOCK"},
    {ZV_EAC_PRODCLASS_HYBRID_LOCK, "PRODCLASS_HYBRID_LOCK"},
    {ZV_EAC_PRODCLASS_ELMECH_LOCKING_INTERFACE, "PRODCLASS_ELMECH_LOCKING_INTERFACE"},
    {ZV_EAC_PRODCLASS_ESCAPE_ROUTE, "PRODCLASS_ESCAPE_ROUTE"},
};

constexpr ByteRow kDoorSide[] = {
    {ZV_EAC_DOORSIDE_UNKNOWN, "DOORSIDE_UNKNOWN"},
    {ZV_EAC_DOORSIDE_INSIDE, "DOORSIDE_INSIDE"},
    {ZV_EAC_DOORSIDE_OUTSIDE, "DOORSIDE_OUTSIDE"},
    {ZV_EAC_DOORSIDE_BOTH_SIDES, "DOORSIDE_BOTH_SIDES"},
};

constexpr ByteRow kKeyState[] = {
    {ZV_EAC_KEYSTATE_UNKNOWN, "KEYSTATE_UNKNOWN"},
    {ZV_EAC_KEYSTATE_RELEASED, "KEYSTATE_RELEASED"},
    {ZV_EAC_KEYSTATE_PRESSED, "KEYSTATE_PRESSED"},
};

constexpr ByteRow kActivatorState[] = {
    {ZV_EAC_ACTIVATOR_STATE_UNKNOWN, "ACTIVATOR_STATE_UNKNOWN"},
    {ZV_EAC_ACTIVATOR_STATE_NOT_ACTIVE, "ACTIVATOR_STATE_NOT_ACTIVE"},
    {ZV_EAC_ACTIVATOR_STATE_ACTIVE, "ACTIVATOR_STATE_ACTIVE"},
};

// Credential source main type; 0 (invalid) and 4 have no row.
constexpr ByteRow kCredTypeMain[] = {
    {1, "MIFARE"}, {2, "ICLASS"}, {3, "LOW_FREQUENCY"}, {5, "PICO_PASS"}, {6, "LEGIC"}, {7, "SEOS"},
};

constexpr const char* kUnknownCredSubType = "## unknown credential sub type ##";

constexpr ByteRow kCredSubMifare[] = {
    {0, "UNKNOWN"}, {1, "CLASSIC_1K"}, {2, "CLASSIC_4K"}, {3, "ULTRALIGHT"}, {4, "DESFIRE"}, {5, "PLUS"}, {6, "MINI"},
};
constexpr ByteRow kCredSubIclass[] = {{0, "UNKNOWN"}, {1, "STD"}};
constexpr ByteRow kCredSubUnknownOnly[] = {{0, "UNKNOWN"}};
constexpr ByteRow kCredSubLegic[] = {
    {0, "UNKNOWN"},    {1, "PRIME"},         {2, "ISO-15693"},     {3, "ISO-14443A"},
    {4, "ISO-14443B"}, {5, "INSIDE Secure"}, {6, "FeliCa subset"},
};
constexpr ByteRow kCredSubSeos[] = {{0, "UNKNOWN"}, {1, "ISO 14443A"}, {2, "ISO 14443B"}};

constexpr ByteRow kDoorMode[] = {
    {ZV_EAC_DOORMODE_UNKNOWN, "DOORMODE_UNKNOWN"},
    {ZV_EAC_DOORMODE_OPEN, "DOORMODE_OPEN"},
    {ZV_EAC_DOORMODE_CLOSED_UNLOCKED, "DOORMODE_CLOSED_UNLOCKED"},
    {ZV_EAC_DOORMODE_CLOSED_LOCKED, "DOORMODE_CLOSED_LOCKED"},
    {ZV_EAC_DOORMODE_CLOSED_SECURED, "DOORMODE_CLOSED_SECURED"},
    {ZV_EAC_DOORMODE_CLOSED_LOCKED_RESTRICTED, "DOORMODE_CLOSED_LOCKED_RESTRICTED"},
    {ZV_EAC_DOORMODE_CLOSED_SECURED_RESTRICTED, "DOORMODE_CLOSED_SECURED_RESTRICTED"},
};

constexpr ByteRow kLightIndication[] = {
    {ZV_EAC_LIGHT_INDICATION_DEFAULT, "LIGHT_INDICATION_DEFAULT"},
    {ZV_EAC_LIGHT_INDICATION_NO_INDICATION, "LIGHT_INDICATION_NO_INDICATION"},
};

constexpr ByteRow kIndicationMode[] = {
    {ZV_EAC_INDICATION_DEFAULT, "INDICATION_DEFAULT"},
    {ZV_EAC_INDICATION_NO_INDICATION, "INDICATION_NO_INDICATION"},
    {ZV_EAC_INDICATION_USE_SPECIFIC_INDICATION_IN_EXTENDED_MESSAGE, "INDICATION_USE_INDICATION_IN_EXTENDED_MESSAGE"},
};

constexpr Row<U32> kPermanentIndicationMask[] = {
    {ZV_EAC_PERMANENT_INDICATION_FLAG_NONE, "PERMANENT_INDICATION_FLAG_NONE"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_ENTER_PIN, "PERMANENT_INDICATION_FLAG_ENTER_PIN"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_SHOW_CARD, "PERMANENT_INDICATION_FLAG_SHOW_CARD"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_ACCESS_GRANTED, "PERMANENT_INDICATION_FLAG_ACCESS_GRANTED"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_ACCESS_DENIED, "PERMANENT_INDICATION_FLAG_ACCESS_DENIED"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_BACKLIGHT, "PERMANENT_INDICATION_FLAG_BACKLIGHT"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_ALARM_ARMED, "PERMANENT_INDICATION_FLAG_ALARM_ARMED"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_ALARM_DISARMED, "PERMANENT_INDICATION_FLAG_ALARM_DISARMED"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_APPL_1, "PERMANENT_INDICATION_FLAG_APPL_1"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_APPL_2, "PERMANENT_INDICATION_FLAG_APPL_2"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_APPL_3, "PERMANENT_INDICATION_FLAG_APPL_3"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_DOOR_HELD, "PERMANENT_INDICATION_FLAG_DOOR_HELD"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_DOOR_FORCED, "PERMANENT_INDICATION_FLAG_DOOR_FORCED"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_USER_ATTENTION, "PERMANENT_INDICATION_FLAG_USER_ATTENTION"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_FIRE, "PERMANENT_INDICATION_FLAG_FIRE"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_BEACON, "PERMANENT_INDICATION_FLAG_BEACON"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_BURGLARY, "PERMANENT_INDICATION_FLAG_BURGLARY"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_PANIC, "PERMANENT_INDICATION_FLAG_PANIC"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_ACKNOWLEDGE, "PERMANENT_INDICATION_FLAG_ACKNOWLEDGE"},
    {ZV_EAC_PERMANENT_INDICATION_FLAG_ALL, "PERMANENT_INDICATION_FLAG_ALL"},
};

constexpr ByteRow kPhysicalRepresentation[] = {
    {ZV_EAC_PHYSICAL_REPRESENTATION_AUTOMATIC, "PHYSICAL_REPRESENTATION_AUTOMATIC"},
    {ZV_EAC_PHYSICAL_REPRESENTATION_VISUAL, "PHYSICAL_REPRESENTATION_VISUAL"},
    {ZV_EAC_PHYSICAL_REPRESENTATION_AUDIBLE, "PHYSICAL_REPRESENTATION_AUDIBLE"},
    {ZV_EAC_PHYSICAL_REPRESENTATION_TACTILE, "PHYSICAL_REPRESENTATION_TACTILE"},
};

constexpr ByteRow kRequestedSequenceAction[] = {
    {ZV_EAC_REQ_SEQ_ACTION_UNLOCK_AND_OPEN, "REQ_SEQ_ACTION_UNLOCK_AND_OPEN"},
    {ZV_EAC_REQ_SEQ_ACTION_UNLOCK, "REQ_SEQ_ACTION_UNLOCK"},
};

constexpr ByteRow kOpenTimerSpecifier[] = {
    {ZV_EAC_TIMER_SPECIFIER_USE_DEFAULT, "TIMER_SPECIFIER_USE_DEFAULT"},
    {ZV_EAC_TIMER_SPECIFIER_SET_TIME, "TIMER_SPECIFIER_SET_TIME"},
};

constexpr ByteRow kCredentialIndication[] = {
    {ZV_EAC_CREDENTIAL_INDICATION_NONE, "CREDENTIAL_INDICATION_NONE"},
    {ZV_EAC_CREDENTIAL_INDICATION_ENTER_PIN_CODE, "CREDENTIAL_INDICATION_ENTER_PIN_CODE"},
    {ZV_EAC_CREDENTIAL_INDICATION_SHOW_CARD, "CREDENTIAL_INDICATION_SHOW_CARD"},
};

constexpr ByteRow kDtcRequest[] = {
    {ZV_EAC_DTC_REQUEST_ALL, "DTC_REQUEST_ALL"},
    {ZV_EAC_DTC_REQUEST_CONFIRMED, "DTC_REQUEST_CONFIRMED"},
    {ZV_EAC_DTC_REQUEST_UNCOMPLETED, "DTC_REQUEST_UNCOMPLETED"},
    {ZV_EAC_DTC_REQUEST_ACTIVE, "DTC_REQUEST_ACTIVE"},
};

constexpr ByteRow kAlarmRequest[] = {
    {ZV_EAC_ALARM_REQUEST_INACTIVE_NOT_OCCURRED, "ALARM_REQUEST_INACTIVE_NOT_OCCURRED"},
    {ZV_EAC_ALARM_REQUEST_ACTIVE_CONFIRMED, "ALARM_REQUEST_ACTIVE_CONFIRMED"},
    {ZV_EAC_ALARM_REQUEST_INACTIVE_OCCURRED, "ALARM_REQUEST_INACTIVE_OCCURRED"},
    {ZV_EAC_ALARM_REQUEST_ACTIVE_NOT_CONFIRMED, "ALARM_REQUEST_ACTIVE_NOT_CONFIRMED"},
    {ZV_EAC_ALARM_REQUEST_ALL, "ALARM_REQUEST_ALL"},
};

// The alarm id has no fallback: its last rows are ranges that together with
// the exact rows cover every byte value.
constexpr ByteRow kAlarmIdExact[] = {
    {ZV_EAC_ALARM_UNKNOWN_ALARM, "ZV_EAC_ALARM_UNKNOWN_ALARM"},
    {ZV_EAC_ALARM_FIRE, "ZV_EAC_ALARM_FIRE"},
    {ZV_EAC_ALARM_BURGLARY, "ZV_EAC_ALARM_BURGLARY"},
    {ZV_EAC_ALARM_PANIC, "ZV_EAC_ALARM_PANIC"},
};
static_assert(ZV_EAC_ALARM_RESERVED_FROM_XX == ZV_EAC_ALARM_PANIC + 1);
static_assert(ZV_EAC_ALARM_APPLICATION_SPECIFIC_FROM_XX == ZV_EAC_ALARM_RESERVED_TO_XX + 1);
static_assert(ZV_EAC_ALARM_APPLICATION_SPECIFIC_TO_XX == 0xFF);

static_assert(valuesUnique(kVersionSelector) && valuesUnique(kResult) && valuesUnique(kParamId) &&
              valuesUnique(kEventCode) && valuesUnique(kLockState) && valuesUnique(kDoorState) &&
              valuesUnique(kHandleState) && valuesUnique(kKeyCylinderState) && valuesUnique(kTamperState) &&
              valuesUnique(kProductClass) && valuesUnique(kDoorSide) && valuesUnique(kKeyState) &&
              valuesUnique(kActivatorState) && valuesUnique(kCredTypeMain) && valuesUnique(kCredSubMifare) &&
              valuesUnique(kCredSubIclass) && valuesUnique(kCredSubLegic) && valuesUnique(kCredSubSeos) &&
              valuesUnique(kDoorMode) && valuesUnique(kLightIndication) && valuesUnique(kIndicationMode) &&
              valuesUnique(kPermanentIndicationMask) && valuesUnique(kPhysicalRepresentation) &&
              valuesUnique(kRequestedSequenceAction) && valuesUnique(kOpenTimerSpecifier) &&
              valuesUnique(kCredentialIndication) && valuesUnique(kDtcRequest) && valuesUnique(kAlarmRequest) &&
              valuesUnique(kAlarmIdExact));

}  // namespace

const char* zvEacVersionSelectorToStr(U32 selector) {
    return lookupByte(kVersionSelector, selector, "## unknown selector ##");
}

const char* zvEacResultToStr(U32 rc) { return lookupByte(kResult, rc, "## unknown result code ##"); }

const char* zvEacParamIdToStr(U32 id) {
    const U8 key = static_cast<U8>(id & 0xFFu);
    if (key >= kOemParamFirst && key <= kOemParamLast) {
        return kOemParamTexts[key - kOemParamFirst].data();
    }
    return lookupByte(kParamId, key, "## unknown paramId ##");
}

const char* zvEacEventCodeToStr(U32 event) { return lookupByte(kEventCode, event, "## unknown event code ##"); }

const char* zvEacLockStateCodeToStr(U32 state) { return lookupByte(kLockState, state, kUnknownState); }
const char* zvEacDoorStateCodeToStr(U32 state) { return lookupByte(kDoorState, state, kUnknownState); }
const char* zvEacHandleStateCodeToStr(U32 state) { return lookupByte(kHandleState, state, kUnknownState); }
const char* zvEacKeyCylinderStateCodeToStr(U32 state) { return lookupByte(kKeyCylinderState, state, kUnknownState); }
const char* zvEacTamperStateCodeToStr(U32 state) { return lookupByte(kTamperState, state, kUnknownState); }

const char* zvEacProductCodeToStr(U32 productClass) {
    return lookupByte(kProductClass, productClass, "### unknown prodclass ###");
}

const char* zvEacDoorSideToStr(U32 doorSide) { return lookupByte(kDoorSide, doorSide, "## unknown door side code ##"); }

const char* zvEacKeyStateToStr(U32 keyState) {
    return lookupByte(kKeyState, keyState, "## unknown keysState side code ##");
}

const char* zvEacActStateToStr(U32 actState) {
    return lookupByte(kActivatorState, actState, "## unknown activator state code ##");
}

const char* zvEacCredTypeMainToStr(U32 mainType) {
    return lookupByte(kCredTypeMain, mainType, "## unknown credential main type ##");
}

const char* zvEacCredTypeSubMifareToStr(U32 subType) {
    return lookupByte(kCredSubMifare, subType, kUnknownCredSubType);
}
const char* zvEacCredTypeSubIclassToStr(U32 subType) {
    return lookupByte(kCredSubIclass, subType, kUnknownCredSubType);
}
const char* zvEacCredTypeSubLowFrequencyToStr(U32 subType) {
    return lookupByte(kCredSubUnknownOnly, subType, kUnknownCredSubType);
}
const char* zvEacCredTypeSubPicoPassToStr(U32 subType) {
    return lookupByte(kCredSubUnknownOnly, subType, kUnknownCredSubType);
}
const char* zvEacCredTypeSubLegicToStr(U32 subType) { return lookupByte(kCredSubLegic, subType, kUnknownCredSubType); }
const char* zvEacCredTypeSubSeosToStr(U32 subType) { return lookupByte(kCredSubSeos, subType, kUnknownCredSubType); }

const char* zvEacDoorModeToStr(U32 state) { return lookupByte(kDoorMode, state, " ## unknown DoorMode ## "); }

const char* zvEacLightIndicationToStr(U32 state) {
    return lookupByte(kLightIndication, state, " ## unknown light indication ## ");
}

const char* zvEacIndicationModeToStr(U32 state) {
    return lookupByte(kIndicationMode, state, " ## unknown indication ## ");
}

const char* permanentIndicationStatusToStr(U32 onOrOff) { return onOrOff != 0 ? " ON" : " OFF "; }

const char* permanentIndicationMaskToStr(U32 indication) {
    return lookupWord(kPermanentIndicationMask, indication, "## unknown light indication ##");
}

const char* physicalRepresentationMaskToStr(U32 physicalRepresentation) {
    return lookupByte(kPhysicalRepresentation, physicalRepresentation, "## unknown physical representation ##");
}

const char* zvEacRequstedSequenceActionToStr(U32 state) {
    return lookupByte(kRequestedSequenceAction, state, " ## unknown requested sequence action ## ");
}

const char* zvEacOpenTimerSpecifierToStr(U32 state) {
    return lookupByte(kOpenTimerSpecifier, state, " ## unknown timer specifier ## ");
}

const char* zvEacCredentialIndicationToStr(U32 indication) {
    return lookupByte(kCredentialIndication, indication, " ## unknown credential indication ## ");
}

const char* zvEacDtcRequestToStr(U32 dtcRequest) {
    return lookupByte(kDtcRequest, dtcRequest, "## unknown dtc request ##");
}

const char* zvEacAlarmRequestToStr(U32 alarmRequest) {
    return lookupByte(kAlarmRequest, alarmRequest, "## unknown alarm request ##");
}

const char* zvEacAlarmIdToStr(U32 alarmId) {
    const U8 key = static_cast<U8>(alarmId & 0xFFu);
    if (key >= ZV_EAC_ALARM_APPLICATION_SPECIFIC_FROM_XX) {
        return "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID";
    }
    if (key >= ZV_EAC_ALARM_RESERVED_FROM_XX) {
        return "ZV_EAC_ALARM_RESERVED_ID";
    }
    return lookupByte(kAlarmIdExact, key, "ZV_EAC_ALARM_UNKNOWN_ALARM");
}

// In the record: both words as numbers, then one entry "flag" per bit of
// the mask (the bit as its number), in the group of the lines.
void printPermanentIndicationFlagsSettingsToStr(U32 status, U32 mask) {
    zvEacFieldNumber("indication_status", status);
    zvEacFieldNumber("indication_mask", mask);
    zvEacGroupBegin("indication_flags");
    zvEacOut("\t\t Indication Flags:\n");
    for (unsigned bit = 0; bit < 32; ++bit) {
        const U32 oneHot = U32{1} << bit;
        const U32 maskValue = oneHot & mask;
        if (maskValue != 0) {
            zvEacFieldNumber("flag", maskValue);
            zvEacOut("\t\t                  %s is turned %s\n", permanentIndicationMaskToStr(maskValue),
                     permanentIndicationStatusToStr(oneHot & status));
        }
    }
    zvEacGroupEnd();
}

void printPhysicalRepresentationFlagsSettingsToStr(U8 physicalRepresentation) {
    zvEacFieldNumber("physical_representation", physicalRepresentation);
    zvEacGroupBegin("physical_representation_flags");
    zvEacOut("\t\t Physical Representation Flags:\n");
    for (unsigned bit = 0; bit < 8; ++bit) {
        const U8 oneHot = static_cast<U8>(1u << bit);
        if ((physicalRepresentation & oneHot) != 0) {
            zvEacFieldNumber("flag", oneHot);
            zvEacOut("\t\t                  %s representation is desired\n", physicalRepresentationMaskToStr(oneHot));
        }
    }
    zvEacGroupEnd();
}
