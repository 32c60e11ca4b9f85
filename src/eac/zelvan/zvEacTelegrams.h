// Application layer of the bus: message ids, coded field values and the body
// records of every telegram.
//
// The records hold the bytes in wire order and are packed; multi-byte fields
// are byte arrays so that nothing depends on the host's byte order or
// alignment. Readers take a field at offsetof(Record, field) through the
// bounds-checked ZvEacBytes view and decode it big-endian (u16be, u32be).
// "Body offset N" is telegram offset N + 1 (byte 0 is the message id).
#pragma once

#include <cstddef>

#include "base/hal_types.h"

// ---------------------------------------------------------------------------
// Message ids (byte 0 of every telegram).

enum ZvEacTeleMsgId : U8 {
    ZV_EAC_MSGID_GET_VERSION = 0x20,
    ZV_EAC_MSGID_VERSION = 0x21,
    ZV_EAC_MSGID_RESULT = 0x28,
    ZV_EAC_MSGID_RESET = 0x30,
    ZV_EAC_MSGID_RESERVED_0x40 = 0x40,
    ZV_EAC_MSGID_MIFARE_CREDENTIAL_UID_ONLY = 0x41,
    ZV_EAC_MSGID_MIFARE_CREDENTIAL_WITH_SECTOR_DATA = 0x42,
    ZV_EAC_MSGID_GENERIC_CREDENTIAL = 0x43,
    ZV_EAC_MSGID_ACCESS_DECISION = 0x48,
    ZV_EAC_MSGID_DABS_GET_ACTIVATOR_STATE = 0x49,
    ZV_EAC_MSGID_RESERVED_0x50 = 0x50,
    ZV_EAC_MSGID_ACTIVATOR = 0x51,
    ZV_EAC_MSGID_INDICATE_CREDENTIAL_REQUEST = 0x52,
    ZV_EAC_MSGID_GRANT_ACCESS_SEQUENCE = 0x54,
    ZV_EAC_MSGID_SET_DOOR_MODE = 0x55,
    ZV_EAC_MSGID_RESET_DOOR_MODE = 0x56,
    ZV_EAC_MSGID_INDICATE_ACCESS_DENIED = 0x57,
    ZV_EAC_MSGID_RESERVED_0x58 = 0x58,
    ZV_EAC_MSGID_RESERVED_0x59 = 0x59,
    ZV_EAC_MSGID_GET_EVENT = 0x60,
    ZV_EAC_MSGID_EVENT = 0x61,
    ZV_EAC_MSGID_RESERVED_0x68 = 0x68,
    ZV_EAC_MSGID_RESERVED_0x69 = 0x69,
    ZV_EAC_MSGID_SET_PARAMETER = 0x70,
    ZV_EAC_MSGID_GET_PARAMETER = 0x71,
    ZV_EAC_MSGID_PARAMETER = 0x72,
    ZV_EAC_MSGID_KEYPAD = 0x73,
    ZV_EAC_MSGID_DABS_GET_SUPPORTED_LOCK_STATES = 0xA0,
    ZV_EAC_MSGID_DABS_SUPPORTED_LOCK_STATES = 0xA1,
    ZV_EAC_MSGID_DABS_GET_LOCK_STATE = 0xA2,
    ZV_EAC_MSGID_DABS_LOCK_STATE = 0xA3,
    ZV_EAC_MSGID_RESERVED_0xA4 = 0xA4,
    ZV_EAC_MSGID_DABS_GET_SUPPORTED_DOOR_STATES = 0xA5,
    ZV_EAC_MSGID_DABS_SUPPORTED_DOOR_STATES = 0xA6,
    ZV_EAC_MSGID_DABS_GET_DOOR_STATE = 0xA7,
    ZV_EAC_MSGID_DABS_DOOR_STATE = 0xA8,
    ZV_EAC_MSGID_RESERVED_0xA9 = 0xA9,
    ZV_EAC_MSGID_DABS_GET_ALL_HANDLE_STATES = 0xAA,
    ZV_EAC_MSGID_DABS_HANDLE_STATE_FOR_DEVICE = 0xAB,
    ZV_EAC_MSGID_DABS_GET_ALL_KEY_CYLINDER_STATES = 0xAC,
    ZV_EAC_MSGID_DABS_KEY_CYLINDER_STATE_FOR_DEVICE = 0xAD,
    ZV_EAC_MSGID_DABS_GET_TAMPER_STATE = 0xAE,
    ZV_EAC_MSGID_DABS_TAMPER_STATE = 0xAF,
    ZV_EAC_MSGID_DABS_GET_ALL_TAMPER_STATES = 0xB0,
    ZV_EAC_MSGID_DABS_TAMPER_STATE_FOR_DEVICE = 0xB1,
    ZV_EAC_MSGID_DABS_GET_DEVICE_INFO = 0xB2,
    ZV_EAC_MSGID_DABS_DEVICE_INFO = 0xB3,
    ZV_EAC_MSGID_GET_EXTENDED_DEVICE_INFO = 0xB4,
    ZV_EAC_MSGID_EXTENDED_DEVICE_INFO = 0xB5,
    ZV_EAC_MSGID_GET_DTCS = 0xB6,
    ZV_EAC_MSGID_DTC = 0xB7,
    ZV_EAC_MSGID_CLEAR_DTC = 0xB8,
    ZV_EAC_MSGID_SET_PERMANENT_INDICATION = 0xB9,
    ZV_EAC_MSGID_FIRMWARE_UPGRADE = 0xBA,
    ZV_EAC_MSGID_FIRMWARE_STATUS_NOTIFICATION = 0xBB,
    ZV_EAC_MSGID_BLOCK_DATA_TRANSPORT = 0xBD,
    ZV_EAC_MSGID_SET_TIME = 0xBE,
    ZV_EAC_MSGID_DABS_GET_ALL_STATES = 0xBF,
    ZV_EAC_MSGID_GET_ALARMS = 0xC0,
    ZV_EAC_MSGID_ALARM = 0xC1,
    ZV_EAC_MSGID_CONFIRM_ALARM = 0xC2,
    ZV_EAC_MSGID_ACTION_WITH_TIMER = 0xC3,
    ZV_EAC_MSGID_DOOR_MODE = 0xC5,
};

// ---------------------------------------------------------------------------
// Named scalars. Wider ones are the decoded value types; on the wire they are
// byte arrays inside the records.

using ZvEacVendorId = U8;
using ZvEacProductId = U8;
using ZvEacDidoDataId = U32;
using ZvEacDtcId = U32;
using ZvEacDtcFlags = U8;
using ZvEacAlarmDetails = U8;
using ZvEacAlarmLevel = U8;
using ZvEacAlarmFlags = U8;
using ZvEacPermanentIndicationFlags = U32;
using ZvEacPhysicalRepresentation = U8;
using ZvEacTeleParamTimeout = U16;
using ZvEacTeleParamTensOfMs = U16;
using ZvEacTmoSlave = U16;
using ZvEacStartTimer = U32;
using ZvEacDurationTimer = U32;
using ZvEacActionId = U8;

// ---------------------------------------------------------------------------
// Coded field values, one byte each on the wire.

enum ZvEacTeleResultCode : U8 {
    ZV_EAC_RESULT_OK = 0x00,
    ZV_EAC_RESULT_OK_OP_PENDING = 0x01,
    ZV_EAC_RESULT_FAIL = 0x10,
    ZV_EAC_RESULT_FAIL_UNKNOWN_CMD = 0x11,
    ZV_EAC_RESULT_FAIL_PARAMETER_OUT_OF_RANGE = 0x12,
    ZV_EAC_RESULT_FAIL_NO_TAG_IN_FIELD = 0x13,
    ZV_EAC_RESULT_FAIL_OPERATION_MODE = 0x14,
};

enum ZvEacVersionSelector : U8 {
    ZV_EAC_VERSION_DIU_HW = 0x00,
    ZV_EAC_VERSION_DEVICE_HW = 0x01,
    ZV_EAC_VERSION_DIU_FW = 0x10,
    ZV_EAC_VERSION_DEVICE_FW = 0x11,
};

enum ZvEacResetParam : U8 {
    ZV_EAC_RESET_DIU = 0,
    ZV_EAC_RESET_DEVICE = 1,
};

enum ZvEacTeleParamId : U8 {
    ZV_EAC_PARAM_ID_TMO_SLAVE_OFFLINE = 1,
    ZV_EAC_PARAM_ID_TMO_SLAVE_MIN = 2,
    ZV_EAC_PARAM_ID_TMO_SLAVE_PROBE_MAX = 3,
    ZV_EAC_PARAM_ID_TMO_SLAVE_POLL_MAX = 4,
    ZV_EAC_PARAM_ID_ACCESS_DECISION_TMO = 7,
    ZV_EAC_PARAM_ID_RX_BUF_LENGTH = 32,
    ZV_EAC_PARAM_ID_EAC_PARAM_A = 67,
    ZV_EAC_PARAM_ID_EAC_PARAM_B = 68,
    ZV_EAC_PARAM_ID_OEM_FLASH_PARAM_A = 71,
    ZV_EAC_PARAM_ID_OEM_FLASH_PARAM_B = 72,
    ZV_EAC_PARAM_ID_OEM_PARAM_128 = 128,
    ZV_EAC_PARAM_ID_OEM_PARAM_129,
    ZV_EAC_PARAM_ID_OEM_PARAM_130,
    ZV_EAC_PARAM_ID_OEM_PARAM_131,
    ZV_EAC_PARAM_ID_OEM_PARAM_132,
    ZV_EAC_PARAM_ID_OEM_PARAM_133,
    ZV_EAC_PARAM_ID_OEM_PARAM_134,
    ZV_EAC_PARAM_ID_OEM_PARAM_135,
    ZV_EAC_PARAM_ID_OEM_PARAM_136,
    ZV_EAC_PARAM_ID_OEM_PARAM_137,
    ZV_EAC_PARAM_ID_OEM_PARAM_138,
    ZV_EAC_PARAM_ID_OEM_PARAM_139,
    ZV_EAC_PARAM_ID_OEM_PARAM_140,
    ZV_EAC_PARAM_ID_OEM_PARAM_141,
    ZV_EAC_PARAM_ID_OEM_PARAM_142,
    ZV_EAC_PARAM_ID_OEM_PARAM_143,
    ZV_EAC_PARAM_ID_OEM_PARAM_144,
    ZV_EAC_PARAM_ID_OEM_PARAM_145,
    ZV_EAC_PARAM_ID_OEM_PARAM_146,
    ZV_EAC_PARAM_ID_OEM_PARAM_147,
    ZV_EAC_PARAM_ID_OEM_PARAM_148,
    ZV_EAC_PARAM_ID_OEM_PARAM_149,
    ZV_EAC_PARAM_ID_OEM_PARAM_150,
    ZV_EAC_PARAM_ID_OEM_PARAM_151,
    ZV_EAC_PARAM_ID_OEM_PARAM_152,
    ZV_EAC_PARAM_ID_OEM_PARAM_153,
    ZV_EAC_PARAM_ID_OEM_PARAM_154,
    ZV_EAC_PARAM_ID_OEM_PARAM_155,
    ZV_EAC_PARAM_ID_OEM_PARAM_156,
    ZV_EAC_PARAM_ID_OEM_PARAM_157,
    ZV_EAC_PARAM_ID_OEM_PARAM_158,
    ZV_EAC_PARAM_ID_OEM_PARAM_159,
    ZV_EAC_PARAM_ID_UNKNOWN = 255,
};
static_assert(ZV_EAC_PARAM_ID_OEM_PARAM_159 == 159);

enum ZvEacTeleEventCode : U8 {
    ZV_EAC_EVENT_RESTARTED = 1,
    ZV_EAC_EVENT_BATTERY_FLAT = 17,
    ZV_EAC_EVENT_BATTERY_LOW = 18,
    ZV_EAC_EVENT_BATTERY_OK = 19,
    ZV_EAC_EVENT_DEVICE_OFFLINE = 20,
    ZV_EAC_EVENT_DEVICE_ONLINE = 21,
    ZV_EAC_EVENT_RADIO_DISTURBANCE = 22,
    ZV_EAC_EVENT_RADIO_DISTURBANCE_RESET = 23,
    ZV_EAC_EVENT_LOCK_JAMMED = 26,
    ZV_EAC_EVENT_LOCK_NOT_JAMMED = 27,
    ZV_EAC_EVENT_WATCHDOG_RESET = 65,
};

enum ZvEacLockStateCode : U8 {
    ZV_EAC_LOCK_STATE_UNKNOWN = 0,
    ZV_EAC_LOCK_STATE_UNLOCKED = 1,
    ZV_EAC_LOCK_STATE_LOCKED = 2,
    ZV_EAC_LOCK_STATE_SECURED = 3,
    ZV_EAC_LOCK_STATE_JAMMED = 4,
    ZV_EAC_LOCK_STATE_LAST = 5,
};

enum ZvEacDoorStateCode : U8 {
    ZV_EAC_DOOR_STATE_UNKNOWN = 0,
    ZV_EAC_DOOR_STATE_NOTCLOSED = 1,
    ZV_EAC_DOOR_STATE_CLOSED = 2,
    ZV_EAC_DOOR_STATE_LAST = 3,
};

enum ZvEacHandleStateCode : U8 {
    ZV_EAC_HANDLE_STATE_UNKNOWN = 0,
    ZV_EAC_HANDLE_STATE_NOT_USED = 1,
    ZV_EAC_HANDLE_STATE_USED = 2,
    ZV_EAC_HANDLE_STATE_LAST = 3,
};

enum ZvEacKeyCylinderStateCode : U8 {
    ZV_EAC_KEY_CYLINDER_STATE_UNKNOWN = 0,
    ZV_EAC_KEY_CYLINDER_STATE_NOT_USED = 1,
    ZV_EAC_KEY_CYLINDER_STATE_USED = 2,
    ZV_EAC_KEY_CYLINDER_STATE_USED_SPECIFIC_POS_0 = 3,
    ZV_EAC_KEY_CYLINDER_STATE_USED_SPECIFIC_POS_1 = 4,
    ZV_EAC_KEY_CYLINDER_STATE_USED_SPECIFIC_POS_2 = 5,
    ZV_EAC_KEY_CYLINDER_STATE_LAST = 6,
};

enum ZvEacTamperStateCode : U8 {
    ZV_EAC_TAMPER_STATE_UNKNOWN = 0,
    ZV_EAC_TAMPER_STATE_NO_TAMPER = 1,
    ZV_EAC_TAMPER_STATE_TAMPER = 2,
    ZV_EAC_TAMPER_STATE_LAST = 3,
};

enum ZvEacDabsProductClass : U8 {
    ZV_EAC_PRODCLASS_UNKNOWN = 0,
    ZV_EAC_PRODCLASS_ALARM_LIGHT = 1,
    ZV_EAC_PRODCLASS_DOOR_AUTOMATICS = 2,
    ZV_EAC_PRODCLASS_DOOR_AUTOMATICS_MOTION_SENSOR = 3,
    ZV_EAC_PRODCLASS_ELECTRIC_STRIKE = 4,
    ZV_EAC_PRODCLASS_GATEWAY = 5,
    ZV_EAC_PRODCLASS_IO_MODULE = 6,
    ZV_EAC_PRODCLASS_KEYPAD = 7,
    ZV_EAC_PRODCLASS_KEYPAD_READER = 8,
    ZV_EAC_PRODCLASS_LOCK = 9,
    ZV_EAC_PRODCLASS_MAGNETIC_DOOR_HOLDER = 10,
    ZV_EAC_PRODCLASS_MAGNETIC_LOCK = 11,
    ZV_EAC_PRODCLASS_MOTION_SENSOR = 12,
    ZV_EAC_PRODCLASS_MOTORLOCK_CONTROLLER = 13,
    ZV_EAC_PRODCLASS_PANIC_BAR = 14,
    ZV_EAC_PRODCLASS_PUSHBUTTON_DISABLED = 15,
    ZV_EAC_PRODCLASS_PUSHBUTTON_EMERGENCY = 16,
    ZV_EAC_PRODCLASS_PUSHBUTTON_EXIT = 17,
    ZV_EAC_PRODCLASS_READER = 18,
    ZV_EAC_PRODCLASS_SECURITY_LOCK = 19,
    ZV_EAC_PRODCLASS_HYBRID_LOCK = 20,
    ZV_EAC_PRODCLASS_ELMECH_LOCKING_INTERFACE = 21,
    ZV_EAC_PRODCLASS_ESCAPE_ROUTE = 22,
};

enum ZvEacDoorSide : U8 {
    ZV_EAC_DOORSIDE_UNKNOWN = 0,
    ZV_EAC_DOORSIDE_INSIDE = 1,
    ZV_EAC_DOORSIDE_OUTSIDE = 2,
    ZV_EAC_DOORSIDE_BOTH_SIDES = 3,
    ZV_EAC_DOORSIDE_MAXCOUNT = 4,
};

enum ZvEacKeyStateCode : U8 {
    ZV_EAC_KEYSTATE_UNKNOWN = 0,
    ZV_EAC_KEYSTATE_RELEASED = 1,
    ZV_EAC_KEYSTATE_PRESSED = 2,
    ZV_EAC_KEYSTATE_MAXCOUNT = 3,
};

enum ZvEacActivatorStateCode : U8 {
    ZV_EAC_ACTIVATOR_STATE_UNKNOWN = 0,
    ZV_EAC_ACTIVATOR_STATE_NOT_ACTIVE = 1,
    ZV_EAC_ACTIVATOR_STATE_ACTIVE = 2,
    ZV_EAC_ACTIVATOR_STATE_MAXCOUNT = 3,
};

enum ZvEacDoorMode : U8 {
    ZV_EAC_DOORMODE_UNKNOWN = 0,
    ZV_EAC_DOORMODE_OPEN = 1,
    ZV_EAC_DOORMODE_CLOSED_UNLOCKED = 2,
    ZV_EAC_DOORMODE_CLOSED_LOCKED = 3,
    ZV_EAC_DOORMODE_CLOSED_SECURED = 4,
    ZV_EAC_DOORMODE_CLOSED_LOCKED_RESTRICTED = 5,
    ZV_EAC_DOORMODE_CLOSED_SECURED_RESTRICTED = 6,
    ZV_EAC_DOORMODE_LAST = 7,
};

enum ZvEacLightIndication : U8 {
    ZV_EAC_LIGHT_INDICATION_DEFAULT = 0,
    ZV_EAC_LIGHT_INDICATION_NO_INDICATION = 1,
    ZV_EAC_LIGHT_INDICATION_LAST = 2,
};

// Shares its byte with ZvEacLightIndication: the value 2 announces the
// extended form of the telegram that carries it.
enum ZvEacIndicationMode : U8 {
    ZV_EAC_INDICATION_DEFAULT = 0,
    ZV_EAC_INDICATION_NO_INDICATION = 1,
    ZV_EAC_INDICATION_USE_SPECIFIC_INDICATION_IN_EXTENDED_MESSAGE = 2,
    ZV_EAC_INDICATION_LAST = 3,
};

enum ZvEacRequestedSequenceAction : U8 {
    ZV_EAC_REQ_SEQ_ACTION_UNLOCK_AND_OPEN = 1,
    ZV_EAC_REQ_SEQ_ACTION_UNLOCK = 2,
};

enum ZvEacOpenTimerSpecifier : U8 {
    ZV_EAC_TIMER_SPECIFIER_USE_DEFAULT = 0,
    ZV_EAC_TIMER_SPECIFIER_SET_TIME = 1,
    ZV_EAC_TIMER_SPECIFIER_LAST = 2,
};

// Bit values of the 16-bit credential request field; 0 means none.
enum ZvEacCredentialIndicationCode : U8 {
    ZV_EAC_CREDENTIAL_INDICATION_NONE = 0,
    ZV_EAC_CREDENTIAL_INDICATION_ENTER_PIN_CODE = 1,
    ZV_EAC_CREDENTIAL_INDICATION_SHOW_CARD = 2,
    ZV_EAC_CREDENTIAL_INDICATION_LAST = 3,
};

enum ZvEacDtcRequest : U8 {
    ZV_EAC_DTC_REQUEST_ALL = 0,
    ZV_EAC_DTC_REQUEST_CONFIRMED = 1,
    ZV_EAC_DTC_REQUEST_UNCOMPLETED = 2,
    ZV_EAC_DTC_REQUEST_ACTIVE = 3,
};

enum ZvEacAlarmRequest : U8 {
    ZV_EAC_ALARM_REQUEST_INACTIVE_NOT_OCCURRED = 0,
    ZV_EAC_ALARM_REQUEST_ACTIVE_CONFIRMED = 1,
    ZV_EAC_ALARM_REQUEST_INACTIVE_OCCURRED = 2,
    ZV_EAC_ALARM_REQUEST_ACTIVE_NOT_CONFIRMED = 3,
    ZV_EAC_ALARM_REQUEST_ALL = 255,
};

enum ZvEacAlarmId : U8 {
    ZV_EAC_ALARM_UNKNOWN_ALARM = 0,
    ZV_EAC_ALARM_FIRE = 1,
    ZV_EAC_ALARM_BURGLARY = 2,
    ZV_EAC_ALARM_PANIC = 3,
    ZV_EAC_ALARM_RESERVED_FROM_XX = 4,
    ZV_EAC_ALARM_RESERVED_TO_XX = 63,
    ZV_EAC_ALARM_APPLICATION_SPECIFIC_FROM_XX = 64,
    ZV_EAC_ALARM_APPLICATION_SPECIFIC_TO_XX = 255,
};

enum ZvEacAccessDecisionCode : U8 {
    ZV_EAC_ACCD_ACCESS_GRANTED = 1,
    ZV_EAC_ACCD_ACCESS_DENIED = 2,
};

// Status of an access decision (the `status` byte of ZvEacTeleAccDecStatus).
enum : U8 {
    ZV_EAC_ACCDSTAT_ACCESS_DID_NOT_OCCUR = 0,
    ZV_EAC_ACCDSTAT_ACCESS_OCCURRED = 1,
};

enum ZvEacOnlineStatus : U8 {
    ZV_EAC_ONLINESTATUS_UNKNOWN = 0,
    ZV_EAC_ONLINESTATUS_ONLINE = 1,
    ZV_EAC_ONLINESTATUS_OFFLINE = 2,
    ZV_EAC_ONLINESTATUS_MAXCOUNT = 3,
};

enum ZvEacTeleTimeFunction : U8 {
    ZV_EAC_TIME_FUNCTION_LOCAL_TIME = 0,
    ZV_EAC_TIME_FUNCTION_UTC_TIME = 1,
};

enum ZvEacTeleAuditLogType : U8 {
    ZV_EAC_AUDITLOG_ACCESS_GRANTED_OFFLINE = 5,
    ZV_EAC_AUDITLOG_ACCESS_DENIED_OFFLINE = 6,
};

enum ZvEacCredentialType : U8 {
    ZV_EAC_CREDTYPE_UNKNOWN = 0,
    ZV_EAC_CREDTYPE_MIFARE_1K = 1,
    ZV_EAC_CREDTYPE_MIFARE_4K = 2,
    ZV_EAC_CREDTYPE_MIFARE_ULTRALIGHT = 3,
    ZV_EAC_CREDTYPE_MIFARE_DESFIRE = 4,
    ZV_EAC_CREDTYPE_ICLASS_STD = 5,
    ZV_EAC_CREDTYPE_ICLASS_G2_0 = 6,
    ZV_EAC_CREDTYPE_ICLASS_BIOCLASS = 7,
    ZV_EAC_CREDTYPE_LOW_FREQUENCY = 8,
    ZV_EAC_CREDTYPE_LEGIC = 9,
};

// Bits of ZvEacDtcFlags and ZvEacAlarmFlags.
inline constexpr ZvEacDtcFlags ZV_EAC_DTC_FLAG_TEST_FAILED = 0x01;
inline constexpr ZvEacDtcFlags ZV_EAC_DTC_FLAG_CONFIRMED = 0x02;
inline constexpr ZvEacDtcFlags ZV_EAC_DTC_FLAG_TEST_COMPLETED = 0x04;
inline constexpr ZvEacAlarmFlags ZV_EAC_ALARM_FLAG_ACTIVE = 0x01;
inline constexpr ZvEacAlarmFlags ZV_EAC_ALARM_FLAG_OCCURRED = 0x02;

// One bit per permanent indication; bit 2 and bits 19 to 31 have no flag.
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_NONE = 0x0;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_ENTER_PIN = 0x1;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_SHOW_CARD = 0x2;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_ACCESS_GRANTED = 0x8;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_ACCESS_DENIED = 0x10;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_BACKLIGHT = 0x20;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_ALARM_ARMED = 0x40;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_ALARM_DISARMED = 0x80;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_APPL_1 = 0x100;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_APPL_2 = 0x200;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_APPL_3 = 0x400;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_DOOR_HELD = 0x800;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_DOOR_FORCED = 0x1000;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_USER_ATTENTION = 0x2000;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_FIRE = 0x4000;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_BEACON = 0x8000;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_BURGLARY = 0x10000;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_PANIC = 0x20000;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_ACKNOWLEDGE = 0x40000;
inline constexpr ZvEacPermanentIndicationFlags ZV_EAC_PERMANENT_INDICATION_FLAG_ALL = 0x7FFFB;

inline constexpr ZvEacPhysicalRepresentation ZV_EAC_PHYSICAL_REPRESENTATION_AUTOMATIC = 0x01;
inline constexpr ZvEacPhysicalRepresentation ZV_EAC_PHYSICAL_REPRESENTATION_VISUAL = 0x02;
inline constexpr ZvEacPhysicalRepresentation ZV_EAC_PHYSICAL_REPRESENTATION_AUDIBLE = 0x04;
inline constexpr ZvEacPhysicalRepresentation ZV_EAC_PHYSICAL_REPRESENTATION_TACTILE = 0x08;

// ---------------------------------------------------------------------------
// Body records, packed and in wire order.

#pragma pack(push, 1)

struct ZvEacDabsDeviceId {
    U8 id[12];
};

struct ZvEacTeleTime {
    U8 year;  // years after 2000
    U8 month;
    U8 day;
    U8 hour;
    U8 minute;
    U8 second;
};

struct ZvEacAlarmInfo {
    U8 reserved;
    ZvEacAlarmId alarmId;
    ZvEacAlarmDetails alarmDetails;
    ZvEacAlarmLevel alarmLevel;
};

// Version and housekeeping.

struct ZvEacTeleGetVersionReq {
    ZvEacVersionSelector selector;
};

struct ZvEacTeleGetVersionRsp {
    U8 protocolVersionMajor;
    U8 protocolVersionMinor;
    ZvEacVendorId vendorId;
    ZvEacProductId productId;
    ZvEacVersionSelector selector;
    U8 versionNumberMajor;
    U8 versionNumberMinor;
    U8 buildNumber[2];  // BE
    // Readable version text; a telegram of `length` bytes carries length - 10
    // of these characters, and a NUL ends the text early.
    Char humanInfo[20];
};

struct ZvEacTeleResult {
    ZvEacTeleMsgId cmd;  // the telegram being answered
    ZvEacTeleResultCode result;
};

struct ZvEacTeleReset {
    ZvEacResetParam param;
};

// Credentials.

struct ZvEacTeleMifareCredentialUidOnly {
    U8 lengthInBits;
    U8 tag[7];  // ceil(lengthInBits / 8) bytes used
};

// Followed by `dataLength` bytes of sector data at body offset 12.
struct ZvEacTeleMifareCredentialWithSectorData {
    U8 cardType;
    U8 uidLength;
    U8 tag[7];
    U8 reserved1;
    U8 reserved2;
    U8 dataLength;
};

// The credential block container fills the rest of the telegram
// (length - 14 bytes, at most 72).
struct ZvEacTeleGenericCredential {
    ZvEacDabsDeviceId devId;
    ZvEacDoorSide doorSide;
    U8 credInfoData[72];
};

// Access control.

struct ZvEacTeleAccDec {
    ZvEacAccessDecisionCode decision;
    U8 reserved[2];
};

struct ZvEacTeleAccDecStatus {
    ZvEacAccessDecisionCode decision;
    U8 status;  // ZV_EAC_ACCDSTAT_...
};

struct ZvEacTeleIndicateCredentialRequest {
    U8 credentialIndicationCode[2];  // BE bit set of ZvEacCredentialIndicationCode values
};

struct ZvEacTeleGrantAccessSequence {
    ZvEacRequestedSequenceAction requstedSequenceAction;
    ZvEacOpenTimerSpecifier openTimerSpecifier;
    U8 timeInSec[2];  // BE
    ZvEacLightIndication lightIndication;
};

struct ZvEacTeleGrantAccessSequenceWithIndication {
    ZvEacRequestedSequenceAction requstedSequenceAction;
    ZvEacOpenTimerSpecifier openTimerSpecifier;
    U8 timeInSec[2];  // BE
    ZvEacIndicationMode indicationMode;
    ZvEacDoorSide doorSide;
    U8 indicationStatus[4];  // BE ZvEacPermanentIndicationFlags
    U8 indicationMask[4];    // BE ZvEacPermanentIndicationFlags
    ZvEacPhysicalRepresentation physicalRepresentation;
};

struct ZvEacTeleIndicateAccessDenied {
    ZvEacLightIndication lightIndication;
};

struct ZvEacTeleIndicateAccessDeniedWithIndication {
    ZvEacIndicationMode indicationMode;
    ZvEacDoorSide doorSide;
    U8 indicationStatus[4];  // BE
    U8 indicationMask[4];    // BE
    ZvEacPhysicalRepresentation physicalRepresentation;
};

struct ZvEacTeleKeypad {
    ZvEacDabsDeviceId devId;
    ZvEacDoorSide doorSide;
    U8 length;    // number of keys that follow
    U8 keys[16];  // one character code per key, 0 = no character
};

// Door mode and activator.

struct ZvEacTeleSetDoorMode {
    ZvEacDoorMode doorMode;
    U8 timeInSec[4];  // BE; all bytes 0xFF = infinite
    ZvEacLightIndication lightIndication;
};

struct ZvEacTeleSetDoorModeWithIndication {
    ZvEacDoorMode doorMode;
    U8 timeInSec[4];  // BE
    ZvEacIndicationMode indicationMode;
    ZvEacDoorSide doorSide;
    U8 indicationStatus[4];  // BE
    U8 indicationMask[4];    // BE
    ZvEacPhysicalRepresentation physicalRepresentation;
};

struct ZvEacTeleDoorMode {
    ZvEacDoorMode mode;
};

struct ZvEacTeleGetActivatorState {
    ZvEacDabsDeviceId devId;
};

struct ZvEacTeleActivatorState {
    ZvEacDabsDeviceId devId;
    ZvEacDoorSide doorSide;
    ZvEacActivatorStateCode activatorState;
};

struct ZvEacTeleActivatorStateWithActivatorId {
    ZvEacDabsDeviceId devId;
    ZvEacDoorSide doorSide;
    ZvEacActivatorStateCode activatorState;
    U8 activatorId;
};

// Events and parameters.

struct ZvEacTeleEventReq {
    U8 index[2];  // BE
};

struct ZvEacTeleEventRsp {
    ZvEacTeleTime timestamp;
    ZvEacTeleEventCode event;
    U8 eventCodeDetails[2];  // BE
};

struct ZvEacTeleParamReadReq {
    ZvEacTeleParamId paramId;
};

// The value is read according to paramId: ids 1..4 a timeout (U16 BE),
// 32 the receive buffer length, 67, 68, 71, 72 and 128..159 a U32 BE.
struct ZvEacTeleParamOpData {
    ZvEacTeleParamId paramId;
    union {
        U8 timeout[2];
        U8 rxBufLength;
        U8 eacParam[4];
    } u;
};

struct ZvEacTeleAuditLogReq {
    U8 index[2];
};

struct ZvEacTeleAuditLogRsp {
    ZvEacTeleTime timestamp;
    ZvEacTeleAuditLogType type;
    ZvEacTeleMifareCredentialUidOnly cred;
};

// Device states. The two supported-state records are followed by `length`
// state codes, one per byte.

struct ZvEacTeleSupportedLockStates {
    U8 length;
};

struct ZvEacTeleLockState {
    ZvEacLockStateCode status;
};

struct ZvEacTeleSupportedDoorStates {
    U8 length;
};

struct ZvEacTeleDoorState {
    ZvEacDoorStateCode status;
};

struct ZvEacTeleHandleState {
    ZvEacDabsDeviceId devId;
    ZvEacDoorSide doorSide;
    ZvEacHandleStateCode status;
};

struct ZvEacTeleKeyCylinderState {
    ZvEacDabsDeviceId devId;
    ZvEacDoorSide doorSide;
    ZvEacKeyCylinderStateCode status;
};

struct ZvEacTeleTamperState {
    ZvEacTamperStateCode status;
};

struct ZvEacTeleTamperStateForDevice {
    ZvEacDabsDeviceId devId;
    ZvEacTamperStateCode status;
};

struct ZvEacTeleGetAllStatesForDevice {
    ZvEacDabsDeviceId devId;
};

// Device information.

struct ZvEacTeleDeviceInfo {
    ZvEacDabsDeviceId devId;
    ZvEacDabsDeviceId hostDevId;
    ZvEacDoorSide doorSide;
    ZvEacDabsProductClass productClass;
};

struct ZvEacTeleGetExtendedDeviceInfo {
    ZvEacDabsDeviceId devId;
    U8 dataId[4];  // BE ZvEacDidoDataId
};

// Followed by `dataLength` data bytes at body offset 18.
struct ZvEacTeleExtendedDeviceInfo {
    ZvEacDabsDeviceId devId;
    ZvEacOnlineStatus onlineStatus;
    U8 dataId[4];  // BE ZvEacDidoDataId
    U8 dataLength;
};

// Diagnostics and alarms.

struct ZvEacTeleGetDtcs {
    ZvEacDabsDeviceId devId;
    ZvEacDtcRequest request;
};

struct ZvEacTeleDtc {
    ZvEacDabsDeviceId devId;
    U8 dtcId[4];  // BE ZvEacDtcId
    ZvEacDtcFlags dtcFlags;
};

struct ZvEacTeleClearDtc {
    ZvEacDabsDeviceId devId;
    U8 dtcId[4];  // BE; 0 = all DTCs
};

struct ZvEacTeleGetAlarms {
    ZvEacDabsDeviceId devId;
    ZvEacAlarmRequest request;
};

struct ZvEacTeleAlarm {
    ZvEacDabsDeviceId devId;
    ZvEacAlarmInfo alarmInfo;
    ZvEacAlarmFlags alarmFlags;
};

struct ZvEacTeleConfirmAlarm {
    ZvEacDabsDeviceId devId;
    ZvEacAlarmId alarmId;  // 255 = all alarms
};

// Permanent indication.

struct ZvEacTeleSetPermanentIndication {
    ZvEacDoorSide doorSide;
    U8 indicationStatus[4];  // BE, on/off per indication
    U8 indicationMask[4];    // BE, which indications the telegram sets
};

struct ZvEacTeleSetPermanentIndicationWithPhysicalRepresentation {
    ZvEacDoorSide doorSide;
    U8 indicationStatus[4];  // BE
    U8 indicationMask[4];    // BE
    ZvEacPhysicalRepresentation physicalRepresentation;
};

// Time and timed actions.

struct ZvEacTeleSetTime {
    ZvEacTeleTime time;
    ZvEacTeleTimeFunction timeFunction;
    S8 timezoneOffset;  // quarter hours, meaningful for UTC time
};

// Followed by `nrOfGroups` groups of ZvEacActionId, ZvEacStartTimer and
// ZvEacDurationTimer; nothing decodes them.
struct ZvEacTeleActionWithTimer {
    ZvEacDabsDeviceId devId;
    U8 nrOfGroups;
};

// One telegram: the message id followed by the body.
struct ZvEacTelegram {
    ZvEacTeleMsgId msgid;
    union {
        ZvEacTeleResult rsp;
        ZvEacTeleReset reset;
        ZvEacTeleGetVersionReq getVerReq;
        ZvEacTeleGetVersionRsp getVerRsp;
        ZvEacTeleParamOpData paramData;
        ZvEacTeleParamReadReq paramRead;
        ZvEacTeleMifareCredentialUidOnly cred;
        ZvEacTeleMifareCredentialWithSectorData mifareCredWithSectorData;
        ZvEacTeleGenericCredential genCred;
        ZvEacTeleEventReq eventReq;
        ZvEacTeleEventRsp eventRsp;
        ZvEacTeleAuditLogReq auditReq;
        ZvEacTeleAuditLogRsp auditRsp;
        ZvEacTeleAccDec accd;
        ZvEacTeleAccDecStatus accdStat;
        ZvEacTeleDeviceInfo deviceInfo;
        ZvEacTeleGetExtendedDeviceInfo getExtendedDeviceInfo;
        ZvEacTeleExtendedDeviceInfo extendedDeviceInfo;
        ZvEacTeleGetDtcs getDtcs;
        ZvEacTeleDtc dtc;
        ZvEacTeleClearDtc clearDtc;
        ZvEacTeleSupportedLockStates supportedLockStates;
        ZvEacTeleLockState lockState;
        ZvEacTeleSupportedDoorStates supportedDoorStates;
        ZvEacTeleDoorState doorState;
        ZvEacTeleHandleState handleState;
        ZvEacTeleKeyCylinderState keyCylinderState;
        ZvEacTeleTamperState tamperState;
        ZvEacTeleTamperStateForDevice tamperStateForDevice;
        ZvEacTeleGetAllStatesForDevice getAllStatesForDevice;
        ZvEacTeleGetActivatorState getActivatorState;
        U8 TmoSlaveTimeout10ofMs[2];  // BE ZvEacTmoSlave
        U8 TmoSlavePollMaxMs[2];      // BE ZvEacTmoSlave
        U8 TmoOfflineMs[2];           // BE ZvEacTmoSlave
        U8 TmoProbe10ofMs[2];         // BE ZvEacTmoSlave
        ZvEacTeleKeypad keypadData;
        ZvEacTeleActivatorState activatorState;
        ZvEacTeleActivatorStateWithActivatorId activatorStateWithActivatorId;
        ZvEacTeleGrantAccessSequence grantAccessSequence;
        ZvEacTeleGrantAccessSequenceWithIndication grantAccessSequenceWithIndication;
        ZvEacTeleIndicateAccessDenied indicateAccessDenied;
        ZvEacTeleIndicateAccessDeniedWithIndication indicateAccessDeniedWithIndication;
        ZvEacTeleSetDoorMode setDoorMode;
        ZvEacTeleSetDoorModeWithIndication setDoorModeWithIndication;
        ZvEacTeleDoorMode doorMode;
        ZvEacTeleIndicateCredentialRequest indicateCredReq;
        ZvEacTeleSetPermanentIndication setPermanentIndication;
        ZvEacTeleSetPermanentIndicationWithPhysicalRepresentation setPermanentIndicationWithPhysicalRepresentation;
        ZvEacTeleSetTime setTime;
        ZvEacTeleGetAlarms getAlarms;
        ZvEacTeleAlarm alarm;
        ZvEacTeleConfirmAlarm confirmAlarm;
        ZvEacTeleActionWithTimer actionWithTimer;
        U8 genericU16[2];
    } u;
};

#pragma pack(pop)

// ---------------------------------------------------------------------------
// Telegrams without a record of their own: body offsets.

// FIRMWARE_UPGRADE: device id, one uninterpreted byte, then the file
// reference text up to a NUL or the end of the telegram.
inline constexpr std::size_t ZV_EAC_FW_UPGRADE_OFS_DEV_ID = 0;
inline constexpr std::size_t ZV_EAC_FW_UPGRADE_OFS_FILE_REFERENCE = 13;

// FIRMWARE_STATUS_NOTIFICATION: device id, status, details, a flag, then the
// device string up to a NUL or the end of the telegram.
inline constexpr std::size_t ZV_EAC_FW_STATUS_OFS_DEV_ID = 0;
inline constexpr std::size_t ZV_EAC_FW_STATUS_OFS_STATUS = 12;
inline constexpr std::size_t ZV_EAC_FW_STATUS_OFS_DETAILS = 13;
inline constexpr std::size_t ZV_EAC_FW_STATUS_OFS_STRING_FLAG = 14;
inline constexpr std::size_t ZV_EAC_FW_STATUS_OFS_STRING = 15;

// BLOCK_DATA_TRANSPORT: op code, payload length and, for op codes 3 and 4,
// a BE block number.
inline constexpr std::size_t ZV_EAC_BLOCK_DATA_OFS_OP_CODE = 0;
inline constexpr std::size_t ZV_EAC_BLOCK_DATA_OFS_PAYLOAD_LENGTH = 1;
inline constexpr std::size_t ZV_EAC_BLOCK_DATA_OFS_BLOCK_NUMBER = 2;

// ---------------------------------------------------------------------------
// The layouts the printers rely on.

static_assert(sizeof(ZvEacTeleMsgId) == 1 && sizeof(ZvEacDoorSide) == 1 && sizeof(ZvEacTeleParamId) == 1);
static_assert(sizeof(ZvEacDabsDeviceId) == 12);
static_assert(sizeof(ZvEacTeleTime) == 6);
static_assert(sizeof(ZvEacAlarmInfo) == 4);
static_assert(sizeof(ZvEacTeleGetVersionReq) == 1);
static_assert(sizeof(ZvEacTeleGetVersionRsp) == 29);
static_assert(offsetof(ZvEacTeleGetVersionRsp, selector) == 4);
static_assert(offsetof(ZvEacTeleGetVersionRsp, buildNumber) == 7);
static_assert(offsetof(ZvEacTeleGetVersionRsp, humanInfo) == 9);
static_assert(sizeof(ZvEacTeleResult) == 2);
static_assert(sizeof(ZvEacTeleReset) == 1);
static_assert(sizeof(ZvEacTeleMifareCredentialUidOnly) == 8);
static_assert(sizeof(ZvEacTeleMifareCredentialWithSectorData) == 12);
static_assert(offsetof(ZvEacTeleMifareCredentialWithSectorData, tag) == 2);
static_assert(offsetof(ZvEacTeleMifareCredentialWithSectorData, dataLength) == 11);
static_assert(sizeof(ZvEacTeleGenericCredential) == 85);
static_assert(offsetof(ZvEacTeleGenericCredential, doorSide) == 12);
static_assert(offsetof(ZvEacTeleGenericCredential, credInfoData) == 13);
static_assert(sizeof(ZvEacTeleAccDec) == 3);
static_assert(sizeof(ZvEacTeleAccDecStatus) == 2);
static_assert(sizeof(ZvEacTeleIndicateCredentialRequest) == 2);
static_assert(sizeof(ZvEacTeleGrantAccessSequence) == 5);
static_assert(offsetof(ZvEacTeleGrantAccessSequence, timeInSec) == 2);
static_assert(offsetof(ZvEacTeleGrantAccessSequence, lightIndication) == 4);
static_assert(sizeof(ZvEacTeleGrantAccessSequenceWithIndication) == 15);
static_assert(offsetof(ZvEacTeleGrantAccessSequenceWithIndication, indicationMode) == 4);
static_assert(offsetof(ZvEacTeleGrantAccessSequenceWithIndication, doorSide) == 5);
static_assert(offsetof(ZvEacTeleGrantAccessSequenceWithIndication, indicationStatus) == 6);
static_assert(offsetof(ZvEacTeleGrantAccessSequenceWithIndication, indicationMask) == 10);
static_assert(offsetof(ZvEacTeleGrantAccessSequenceWithIndication, physicalRepresentation) == 14);
static_assert(sizeof(ZvEacTeleIndicateAccessDenied) == 1);
static_assert(sizeof(ZvEacTeleIndicateAccessDeniedWithIndication) == 11);
static_assert(offsetof(ZvEacTeleIndicateAccessDeniedWithIndication, indicationStatus) == 2);
static_assert(offsetof(ZvEacTeleIndicateAccessDeniedWithIndication, indicationMask) == 6);
static_assert(offsetof(ZvEacTeleIndicateAccessDeniedWithIndication, physicalRepresentation) == 10);
static_assert(sizeof(ZvEacTeleKeypad) == 30);
static_assert(offsetof(ZvEacTeleKeypad, length) == 13);
static_assert(offsetof(ZvEacTeleKeypad, keys) == 14);
static_assert(sizeof(ZvEacTeleSetDoorMode) == 6);
static_assert(offsetof(ZvEacTeleSetDoorMode, timeInSec) == 1);
static_assert(offsetof(ZvEacTeleSetDoorMode, lightIndication) == 5);
static_assert(sizeof(ZvEacTeleSetDoorModeWithIndication) == 16);
static_assert(offsetof(ZvEacTeleSetDoorModeWithIndication, indicationMode) == 5);
static_assert(offsetof(ZvEacTeleSetDoorModeWithIndication, doorSide) == 6);
static_assert(offsetof(ZvEacTeleSetDoorModeWithIndication, indicationStatus) == 7);
static_assert(offsetof(ZvEacTeleSetDoorModeWithIndication, indicationMask) == 11);
static_assert(offsetof(ZvEacTeleSetDoorModeWithIndication, physicalRepresentation) == 15);
static_assert(sizeof(ZvEacTeleDoorMode) == 1);
static_assert(sizeof(ZvEacTeleGetActivatorState) == 12);
static_assert(sizeof(ZvEacTeleActivatorState) == 14);
static_assert(offsetof(ZvEacTeleActivatorState, doorSide) == 12);
static_assert(offsetof(ZvEacTeleActivatorState, activatorState) == 13);
static_assert(sizeof(ZvEacTeleActivatorStateWithActivatorId) == 15);
static_assert(offsetof(ZvEacTeleActivatorStateWithActivatorId, activatorId) == 14);
static_assert(sizeof(ZvEacTeleEventReq) == 2);
static_assert(sizeof(ZvEacTeleEventRsp) == 9);
static_assert(offsetof(ZvEacTeleEventRsp, event) == 6);
static_assert(offsetof(ZvEacTeleEventRsp, eventCodeDetails) == 7);
static_assert(sizeof(ZvEacTeleParamReadReq) == 1);
static_assert(sizeof(ZvEacTeleParamOpData) == 5);
static_assert(offsetof(ZvEacTeleParamOpData, u) == 1);
static_assert(sizeof(ZvEacTeleAuditLogReq) == 2);
static_assert(sizeof(ZvEacTeleAuditLogRsp) == 15);
static_assert(sizeof(ZvEacTeleSupportedLockStates) == 1);
static_assert(sizeof(ZvEacTeleLockState) == 1);
static_assert(sizeof(ZvEacTeleSupportedDoorStates) == 1);
static_assert(sizeof(ZvEacTeleDoorState) == 1);
static_assert(sizeof(ZvEacTeleHandleState) == 14);
static_assert(offsetof(ZvEacTeleHandleState, doorSide) == 12);
static_assert(offsetof(ZvEacTeleHandleState, status) == 13);
static_assert(sizeof(ZvEacTeleKeyCylinderState) == 14);
static_assert(offsetof(ZvEacTeleKeyCylinderState, status) == 13);
static_assert(sizeof(ZvEacTeleTamperState) == 1);
static_assert(sizeof(ZvEacTeleTamperStateForDevice) == 13);
static_assert(offsetof(ZvEacTeleTamperStateForDevice, status) == 12);
static_assert(sizeof(ZvEacTeleGetAllStatesForDevice) == 12);
static_assert(sizeof(ZvEacTeleDeviceInfo) == 26);
static_assert(offsetof(ZvEacTeleDeviceInfo, hostDevId) == 12);
static_assert(offsetof(ZvEacTeleDeviceInfo, doorSide) == 24);
static_assert(offsetof(ZvEacTeleDeviceInfo, productClass) == 25);
static_assert(sizeof(ZvEacTeleGetExtendedDeviceInfo) == 16);
static_assert(offsetof(ZvEacTeleGetExtendedDeviceInfo, dataId) == 12);
static_assert(sizeof(ZvEacTeleExtendedDeviceInfo) == 18);
static_assert(offsetof(ZvEacTeleExtendedDeviceInfo, onlineStatus) == 12);
static_assert(offsetof(ZvEacTeleExtendedDeviceInfo, dataId) == 13);
static_assert(offsetof(ZvEacTeleExtendedDeviceInfo, dataLength) == 17);
static_assert(sizeof(ZvEacTeleGetDtcs) == 13);
static_assert(offsetof(ZvEacTeleGetDtcs, request) == 12);
static_assert(sizeof(ZvEacTeleDtc) == 17);
static_assert(offsetof(ZvEacTeleDtc, dtcId) == 12);
static_assert(offsetof(ZvEacTeleDtc, dtcFlags) == 16);
static_assert(sizeof(ZvEacTeleClearDtc) == 16);
static_assert(offsetof(ZvEacTeleClearDtc, dtcId) == 12);
static_assert(sizeof(ZvEacTeleGetAlarms) == 13);
static_assert(offsetof(ZvEacTeleGetAlarms, request) == 12);
static_assert(sizeof(ZvEacTeleAlarm) == 17);
static_assert(offsetof(ZvEacTeleAlarm, alarmInfo) + offsetof(ZvEacAlarmInfo, alarmId) == 13);
static_assert(offsetof(ZvEacTeleAlarm, alarmInfo) + offsetof(ZvEacAlarmInfo, alarmDetails) == 14);
static_assert(offsetof(ZvEacTeleAlarm, alarmInfo) + offsetof(ZvEacAlarmInfo, alarmLevel) == 15);
static_assert(offsetof(ZvEacTeleAlarm, alarmFlags) == 16);
static_assert(sizeof(ZvEacTeleConfirmAlarm) == 13);
static_assert(offsetof(ZvEacTeleConfirmAlarm, alarmId) == 12);
static_assert(sizeof(ZvEacTeleSetPermanentIndication) == 9);
static_assert(offsetof(ZvEacTeleSetPermanentIndication, indicationStatus) == 1);
static_assert(offsetof(ZvEacTeleSetPermanentIndication, indicationMask) == 5);
static_assert(sizeof(ZvEacTeleSetPermanentIndicationWithPhysicalRepresentation) == 10);
static_assert(offsetof(ZvEacTeleSetPermanentIndicationWithPhysicalRepresentation, physicalRepresentation) == 9);
static_assert(sizeof(ZvEacTeleSetTime) == 8);
static_assert(offsetof(ZvEacTeleSetTime, timeFunction) == 6);
static_assert(offsetof(ZvEacTeleSetTime, timezoneOffset) == 7);
static_assert(sizeof(ZvEacTeleActionWithTimer) == 13);
static_assert(offsetof(ZvEacTelegram, u) == 1);
static_assert(sizeof(ZvEacTelegram::u) == 85);
static_assert(sizeof(ZvEacTelegram) == 86);
