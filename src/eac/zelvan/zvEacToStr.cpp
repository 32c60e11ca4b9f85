// The message printer: header line, dispatch to the per-message printers,
// raw dump, the message-id names and the output helpers every printer uses.
#include "eac/zelvan/zvEacToStr.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <iterator>

#include "eac/zelvan/zvEacTelegrams.h"
#include "eac/zelvan/zvEacToStrPrivate.h"
#include "logger/logger.h"

namespace {

// ---------------------------------------------------------------------------
// Message-id names.

struct MsgIdRow {
    U8 id;
    const char* text;
};

// The reserved ids have no row on purpose: they share the fallback text with
// every undeclared id.
constexpr MsgIdRow kMsgIdNames[] = {
    {ZV_EAC_MSGID_GET_VERSION, "MSGID_GET_VERSION"},
    {ZV_EAC_MSGID_VERSION, "MSGID_VERSION"},
    {ZV_EAC_MSGID_RESULT, "MSGID_RESULT"},
    {ZV_EAC_MSGID_RESET, "MSGID_RESET"},
    {ZV_EAC_MSGID_MIFARE_CREDENTIAL_UID_ONLY, "MSGID_MIFARE_CREDENTIAL"},
    {ZV_EAC_MSGID_MIFARE_CREDENTIAL_WITH_SECTOR_DATA, "MSGID_MIFARE_CREDENTIAL_WITH_SECTOR_DATA"},
    {ZV_EAC_MSGID_GENERIC_CREDENTIAL, "MSGID_GENERIC_CREDENTIAL"},
    {ZV_EAC_MSGID_ACCESS_DECISION, "MSGID_ACCESS_DECISION"},
    {ZV_EAC_MSGID_DABS_GET_ACTIVATOR_STATE, "MSGID_GET_ACTIVATOR_STATE"},
    {ZV_EAC_MSGID_ACTIVATOR, "MSGID_ACTIVATOR"},
    {ZV_EAC_MSGID_INDICATE_CREDENTIAL_REQUEST, "MSGID_INDICATE_CREDENTIAL_REQUEST"},
    {ZV_EAC_MSGID_GRANT_ACCESS_SEQUENCE, "MSGID_GRANT_ACCESS_SEQUENCE"},
    {ZV_EAC_MSGID_SET_DOOR_MODE, "MSGID_SET_DOOR_MODE"},
    {ZV_EAC_MSGID_RESET_DOOR_MODE, "MSGID_RESET_DOOR_MODE"},
    {ZV_EAC_MSGID_INDICATE_ACCESS_DENIED, "MSGID_INDICATE_ACCESS_DENIED"},
    {ZV_EAC_MSGID_GET_EVENT, "MSGID_GET_EVENT"},
    {ZV_EAC_MSGID_EVENT, "MSGID_EVENT"},
    {ZV_EAC_MSGID_SET_PARAMETER, "MSGID_SET_PARAMETER"},
    {ZV_EAC_MSGID_GET_PARAMETER, "MSGID_GET_PARAMETER"},
    {ZV_EAC_MSGID_PARAMETER, "MSGID_PARAMETER"},
    {ZV_EAC_MSGID_KEYPAD, "MSGID_KEYPAD"},
    {ZV_EAC_MSGID_DABS_GET_SUPPORTED_LOCK_STATES, "MSGID_GET_SUPPORTED_LOCK_STATES"},
    {ZV_EAC_MSGID_DABS_SUPPORTED_LOCK_STATES, "MSGID_SUPPORTED_LOCK_STATES"},
    {ZV_EAC_MSGID_DABS_GET_LOCK_STATE, "MSGID_GET_LOCK_STATE"},
    {ZV_EAC_MSGID_DABS_LOCK_STATE, "MSGID_LOCK_STATE"},
    {ZV_EAC_MSGID_DABS_GET_SUPPORTED_DOOR_STATES, "MSGID_GET_SUPPORTED_DOOR_STATES"},
    {ZV_EAC_MSGID_DABS_SUPPORTED_DOOR_STATES, "MSGID_SUPPORTED_DOOR_STATES"},
    {ZV_EAC_MSGID_DABS_GET_DOOR_STATE, "MSGID_GET_DOOR_STATE"},
    {ZV_EAC_MSGID_DABS_DOOR_STATE, "MSGID_DOOR_STATE"},
    {ZV_EAC_MSGID_DABS_GET_ALL_HANDLE_STATES, "MSGID_GET_ALL_HANDLE_STATES"},
    {ZV_EAC_MSGID_DABS_HANDLE_STATE_FOR_DEVICE, "MSGID_HANDLE_STATE"},
    {ZV_EAC_MSGID_DABS_GET_ALL_KEY_CYLINDER_STATES, "MSGID_GET_KEY_CYLINDER_STATE"},
    {ZV_EAC_MSGID_DABS_KEY_CYLINDER_STATE_FOR_DEVICE, "MSGID_KEY_CYLINDER_STATE"},
    {ZV_EAC_MSGID_DABS_GET_TAMPER_STATE, "MSGID_GET_TAMPER_STATE"},
    {ZV_EAC_MSGID_DABS_TAMPER_STATE, "MSGID_TAMPER_STATE"},
    {ZV_EAC_MSGID_DABS_GET_ALL_TAMPER_STATES, "MSGID_GET_ALL_TAMPER_STATES"},
    {ZV_EAC_MSGID_DABS_TAMPER_STATE_FOR_DEVICE, "MSGID_DEVICE_TAMPER_STATE"},
    {ZV_EAC_MSGID_DABS_GET_DEVICE_INFO, "MSGID_GET_DEVICE_INFO"},
    {ZV_EAC_MSGID_DABS_DEVICE_INFO, "MSGID_DEVICE_INFO"},
    {ZV_EAC_MSGID_GET_EXTENDED_DEVICE_INFO, "MSGID_GET_EXTENDED_DEVICE_INFO"},
    {ZV_EAC_MSGID_EXTENDED_DEVICE_INFO, "MSGID_EXTENDED_DEVICE_INFO"},
    {ZV_EAC_MSGID_GET_DTCS, "MSGID_GET_DTCS"},
    {ZV_EAC_MSGID_DTC, "MSGID_DTC"},
    {ZV_EAC_MSGID_CLEAR_DTC, "MSGID_CLEAR_DTC"},
    {ZV_EAC_MSGID_SET_PERMANENT_INDICATION, "MSGID_SET_PERMANENT_INDICATION"},
    {ZV_EAC_MSGID_FIRMWARE_UPGRADE, "MSGID_FIRMWARE_UPGRADE"},
    {ZV_EAC_MSGID_FIRMWARE_STATUS_NOTIFICATION, "MSGID_FIRMWARE_STATUS_NOTIFICATION"},
    {ZV_EAC_MSGID_BLOCK_DATA_TRANSPORT, "MSGID_BLOCK_DATA_TRANSPORT"},
    {ZV_EAC_MSGID_SET_TIME, "MSGID_SET_TIME"},
    {ZV_EAC_MSGID_DABS_GET_ALL_STATES, "MSGID_GET_ALL_STATES"},
    {ZV_EAC_MSGID_GET_ALARMS, "MSGID_GET_ALARMS"},
    {ZV_EAC_MSGID_ALARM, "MSGID_ALARM"},
    {ZV_EAC_MSGID_CONFIRM_ALARM, "MSGID_CONFIRM_ALARM"},
    {ZV_EAC_MSGID_ACTION_WITH_TIMER, "MSGID_ACTION_WITH_TIMER"},
    {ZV_EAC_MSGID_DOOR_MODE, "MSGID_DOOR_MODE"},
};
static_assert(std::size(kMsgIdNames) == 55);

constexpr const char* kUnknownMsgId = "## unknown msgid ###";

constexpr std::array<const char*, 256> makeMsgIdNameIndex() {
    std::array<const char*, 256> index{};
    for (const char*& text : index) {
        text = kUnknownMsgId;
    }
    for (const MsgIdRow& row : kMsgIdNames) {
        index[row.id] = row.text;
    }
    return index;
}
constexpr std::array<const char*, 256> kMsgIdNameIndex = makeMsgIdNameIndex();

// ---------------------------------------------------------------------------
// Dispatch.

using Handler = ZvEacBodyOutcome (*)(ZvEacBytes telegram);
using BodyPrinter = Boolean (*)(ZvEacBytes body);
using BodyLengthPrinter = Boolean (*)(ZvEacBytes body, U8 length);

constexpr ZvEacBodyOutcome outcomeOf(Boolean printed) {
    return printed ? ZvEacBodyOutcome::PRINTED : ZvEacBodyOutcome::SHORT;
}

// Telegram offset of a body field.
constexpr std::size_t teleOffset(std::size_t bodyOffset) { return 1 + bodyOffset; }

ZvEacBodyOutcome headerOnly(ZvEacBytes /*telegram*/) { return ZvEacBodyOutcome::HEADER_ONLY; }

template <BodyPrinter printer>
ZvEacBodyOutcome body(ZvEacBytes telegram) {
    return outcomeOf(printer(telegram.from(1)));
}

template <BodyLengthPrinter printer>
ZvEacBodyOutcome bodyWithLength(ZvEacBytes telegram) {
    return outcomeOf(printer(telegram.from(1), static_cast<U8>(telegram.size())));
}

template <BodyPrinter printer>
ZvEacBodyOutcome wholeTelegram(ZvEacBytes telegram) {
    return outcomeOf(printer(telegram));
}

// The short form shares its light-indication byte with the extended form's
// indication mode; a 2 there announces the extended form. A missing byte
// reads as 0, so a truncated telegram goes to the short printer, which then
// checks its own length.
template <std::size_t selectorOffset, BodyPrinter shortForm, BodyPrinter extendedForm>
ZvEacBodyOutcome byIndicationMode(ZvEacBytes telegram) {
    const bool extended = telegram.u8(selectorOffset) == ZV_EAC_INDICATION_USE_SPECIFIC_INDICATION_IN_EXTENDED_MESSAGE;
    return outcomeOf((extended ? extendedForm : shortForm)(telegram.from(1)));
}

ZvEacBodyOutcome activator(ZvEacBytes telegram) {
    constexpr std::size_t shortLength = teleOffset(sizeof(ZvEacTeleActivatorState));
    constexpr std::size_t extendedLength = teleOffset(sizeof(ZvEacTeleActivatorStateWithActivatorId));
    if (telegram.size() == shortLength) {
        return outcomeOf(zvEacPrintActivator(telegram.from(1)));
    }
    if (telegram.size() == extendedLength) {
        return outcomeOf(zvEacPrintActivatorWithActivatorId(telegram.from(1)));
    }
    return ZvEacBodyOutcome::UNDECODED_LENGTH;
}

ZvEacBodyOutcome setPermanentIndication(ZvEacBytes telegram) {
    constexpr std::size_t selector =
        teleOffset(offsetof(ZvEacTeleSetPermanentIndicationWithPhysicalRepresentation, physicalRepresentation));
    if (telegram.u8(selector) != 0) {
        return outcomeOf(zvEacSetPermanentIndicationWithPhysicalRepresentation(telegram.from(1)));
    }
    return outcomeOf(zvEacPrintSetPermanentIndication(telegram.from(1)));
}

struct DispatchRow {
    U8 id;
    Handler handler;
};

// Ids missing here (the reserved ones, ACTION_WITH_TIMER and every undeclared
// id) have no printer: their bytes are dumped raw.
constexpr DispatchRow kDispatchRows[] = {
    {ZV_EAC_MSGID_GET_VERSION, body<zvEacPrintGetVersion>},
    {ZV_EAC_MSGID_VERSION, bodyWithLength<zvEacPrintVersion>},
    {ZV_EAC_MSGID_RESULT, body<zvEacPrintResult>},
    {ZV_EAC_MSGID_RESET, body<zvEacPrintReset>},
    {ZV_EAC_MSGID_MIFARE_CREDENTIAL_UID_ONLY, body<zvEacPrintMifareCredentialUidOnly>},
    {ZV_EAC_MSGID_MIFARE_CREDENTIAL_WITH_SECTOR_DATA, body<zvEacPrintMifareCredentialWithSectorData>},
    {ZV_EAC_MSGID_GENERIC_CREDENTIAL, bodyWithLength<zvEacPrintGenericCredential>},
    {ZV_EAC_MSGID_ACCESS_DECISION, body<zvEacPrintAccessDecision>},
    {ZV_EAC_MSGID_DABS_GET_ACTIVATOR_STATE, headerOnly},
    {ZV_EAC_MSGID_ACTIVATOR, activator},
    {ZV_EAC_MSGID_INDICATE_CREDENTIAL_REQUEST, body<zvEacPrintIndicateCredentialRequest>},
    {ZV_EAC_MSGID_GRANT_ACCESS_SEQUENCE,
     byIndicationMode<teleOffset(offsetof(ZvEacTeleGrantAccessSequence, lightIndication)),
                      zvEacPrintGrantAccessSequence, zvEacPrintGrantAccessSequenceWithIndication>},
    {ZV_EAC_MSGID_SET_DOOR_MODE, byIndicationMode<teleOffset(offsetof(ZvEacTeleSetDoorMode, lightIndication)),
                                                  zvEacPrintSetDoorMode, zvEacPrintSetDoorModeWithIndication>},
    {ZV_EAC_MSGID_RESET_DOOR_MODE, headerOnly},
    {ZV_EAC_MSGID_INDICATE_ACCESS_DENIED,
     byIndicationMode<teleOffset(offsetof(ZvEacTeleIndicateAccessDenied, lightIndication)),
                      zvEacPrintIndicateAccessDenied, zvEacPrintIndicateAccessDeniedWithIndication>},
    {ZV_EAC_MSGID_GET_EVENT, body<zvEacPrintGetEvent>},
    {ZV_EAC_MSGID_EVENT, body<zvEacPrintEvent>},
    {ZV_EAC_MSGID_SET_PARAMETER, body<zvEacPrintParameter>},
    {ZV_EAC_MSGID_GET_PARAMETER, body<zvEacPrintGetParameter>},
    {ZV_EAC_MSGID_PARAMETER, body<zvEacPrintParameter>},
    {ZV_EAC_MSGID_KEYPAD, body<zvEacPrintKeypad>},
    {ZV_EAC_MSGID_DABS_GET_SUPPORTED_LOCK_STATES, headerOnly},
    {ZV_EAC_MSGID_DABS_SUPPORTED_LOCK_STATES, body<zvEacPrintSupportedLockStates>},
    {ZV_EAC_MSGID_DABS_GET_LOCK_STATE, headerOnly},
    {ZV_EAC_MSGID_DABS_LOCK_STATE, body<zvEacPrintLockState>},
    {ZV_EAC_MSGID_DABS_GET_SUPPORTED_DOOR_STATES, headerOnly},
    {ZV_EAC_MSGID_DABS_SUPPORTED_DOOR_STATES, body<zvEacPrintSupportedDoorStates>},
    {ZV_EAC_MSGID_DABS_GET_DOOR_STATE, headerOnly},
    {ZV_EAC_MSGID_DABS_DOOR_STATE, body<zvEacPrintDoorState>},
    {ZV_EAC_MSGID_DABS_GET_ALL_HANDLE_STATES, headerOnly},
    {ZV_EAC_MSGID_DABS_HANDLE_STATE_FOR_DEVICE, body<zvEacPrintHandleStateForDevice>},
    {ZV_EAC_MSGID_DABS_GET_ALL_KEY_CYLINDER_STATES, headerOnly},
    {ZV_EAC_MSGID_DABS_KEY_CYLINDER_STATE_FOR_DEVICE, body<zvEacPrintKeyCylinderStateForDevice>},
    {ZV_EAC_MSGID_DABS_GET_TAMPER_STATE, headerOnly},
    {ZV_EAC_MSGID_DABS_TAMPER_STATE, body<zvEacPrintTamperState>},
    {ZV_EAC_MSGID_DABS_GET_ALL_TAMPER_STATES, headerOnly},
    {ZV_EAC_MSGID_DABS_TAMPER_STATE_FOR_DEVICE, body<zvEacPrintTamperStateForDevice>},
    {ZV_EAC_MSGID_DABS_GET_DEVICE_INFO, headerOnly},
    {ZV_EAC_MSGID_DABS_DEVICE_INFO, body<zvEacPrintDeviceInfo>},
    {ZV_EAC_MSGID_GET_EXTENDED_DEVICE_INFO, body<zvEacPrintGetExtendedDeviceInfo>},
    {ZV_EAC_MSGID_EXTENDED_DEVICE_INFO, body<zvEacPrintExtendedDeviceInfo>},
    {ZV_EAC_MSGID_GET_DTCS, body<zvEacPrintGetDtcs>},
    {ZV_EAC_MSGID_DTC, body<zvEacPrintDtc>},
    {ZV_EAC_MSGID_CLEAR_DTC, body<zvEacPrintClearDtc>},
    {ZV_EAC_MSGID_SET_PERMANENT_INDICATION, setPermanentIndication},
    {ZV_EAC_MSGID_FIRMWARE_UPGRADE, wholeTelegram<zvEacPrintFirmwareUpgrade>},
    {ZV_EAC_MSGID_FIRMWARE_STATUS_NOTIFICATION, wholeTelegram<zvEacPrintFirmwareStatusNtf>},
    {ZV_EAC_MSGID_BLOCK_DATA_TRANSPORT, wholeTelegram<zvEacPrintBlockDataTransport>},
    {ZV_EAC_MSGID_SET_TIME, body<zvEacPrintSetTime>},
    {ZV_EAC_MSGID_DABS_GET_ALL_STATES, body<zvEacPrintGetAllStatesForDevice>},
    {ZV_EAC_MSGID_GET_ALARMS, body<zvEacPrintGetAlarms>},
    {ZV_EAC_MSGID_ALARM, body<zvEacPrintAlarm>},
    {ZV_EAC_MSGID_CONFIRM_ALARM, body<zvEacPrintConfirmAlarm>},
    {ZV_EAC_MSGID_DOOR_MODE, body<zvEacPrintDoorMode>},
};

constexpr bool idsAscending() {
    for (std::size_t i = 1; i < std::size(kDispatchRows); ++i) {
        if (kDispatchRows[i - 1].id >= kDispatchRows[i].id) {
            return false;
        }
    }
    return true;
}
static_assert(idsAscending(), "one dispatch row per id, in id order");

constexpr std::array<Handler, 256> makeDispatchIndex() {
    std::array<Handler, 256> index{};
    for (const DispatchRow& row : kDispatchRows) {
        index[row.id] = row.handler;
    }
    return index;
}
constexpr std::array<Handler, 256> kDispatchIndex = makeDispatchIndex();

void printRawDump(U8 length, ZvEacBytes telegram) {
    zvEacShellPrintInfoLine();
    loggerPrintf("length = %d", length);
    if (telegram.size() != 0) {
        loggerPrintf(", msg [ ");
        // One piece per byte: a whole 255-byte telegram would not fit into
        // one logger line.
        for (std::size_t i = 0; i < telegram.size(); ++i) {
            loggerPrintf("0x%02x ", telegram.u8(i));
        }
        loggerPrintf("]");
    }
}

}  // namespace

ZvEacBodyOutcome zvEacWalkBody(ZvEacBytes telegram) {
    const Handler handler = kDispatchIndex[telegram.u8(0)];
    return handler != nullptr ? handler(telegram) : ZvEacBodyOutcome::NO_PRINTER;
}

const char* zvEacMsgIdToStr(U8 msgid) { return kMsgIdNameIndex[msgid]; }

void zvEacShellPrintInfoLine() { zvEacOut("\n\t\t "); }

void zvEacShellPrintNextLine() { loggerPrintf("\n\n"); }

void printDeviceIdToStr(const char* firstStr, const U8 (&deviceId)[12]) {
    zvEacOut("%s [ %02x %02x %02x %02x %02x %02x %02x %02x %02x %02x %02x %02x ]", firstStr ? firstStr : "",
             deviceId[0], deviceId[1], deviceId[2], deviceId[3], deviceId[4], deviceId[5], deviceId[6], deviceId[7],
             deviceId[8], deviceId[9], deviceId[10], deviceId[11]);
}

void zvEacPrintDeviceIdLine(const char* label, ZvEacBytes bytes, std::size_t offset) {
    zvEacPrintDeviceIdLine(nullptr, label, bytes, offset);
}

void zvEacPrintDeviceIdLine(const char* field, const char* label, ZvEacBytes bytes, std::size_t offset) {
    if (field != nullptr) {
        zvEacFieldBytes(field, bytes.slice(offset, sizeof(ZvEacDabsDeviceId)));
    }
    U8 deviceId[12] = {};
    if (const U8* p = bytes.at(offset, sizeof(deviceId))) {
        std::memcpy(deviceId, p, sizeof(deviceId));
    }
    zvEacShellPrintInfoLine();
    printDeviceIdToStr(label, deviceId);
}

void zvEacSanitizeText(const U8* bytes, std::size_t count, char* out) {
    if (out == nullptr) {
        return;
    }
    std::size_t written = 0;
    if (bytes != nullptr) {
        // Text fields on the bus end at a NUL; what follows it is padding.
        for (; written < count && bytes[written] != 0; ++written) {
            const U8 byte = bytes[written];
            out[written] = (byte >= 0x20 && byte <= 0x7E) ? static_cast<char>(byte) : '.';
        }
    }
    out[written] = '\0';
}

void zvEacShellPrintMessage(U8 messageDirection, U8 baseNetworkAddr, U8 peer, U8 length, const U8* message) {
    const U8 verbosity = loggerGetVerbosity();
    U8 level = verbosity;
    const ZvEacBytes telegram(message, length);

    if (verbosity >= VERB_MSGID) {
        loggerPrintTimestamp();
        // An empty telegram has no id byte; it reads as 0 and is named unknown.
        loggerPrintf("%s  %3d \n\t\t %s", messageDirection == PRINT_MSG_DIR_INCOMING ? " ==> from" : "<==  to  ",
                     static_cast<int>(baseNetworkAddr) + static_cast<int>(peer), zvEacMsgIdToStr(telegram.u8(0)));
    }

    if (level >= VERB_CLEARTEXT) {
        const ZvEacBodyOutcome outcome = zvEacWalkBody(telegram);
        if (outcome == ZvEacBodyOutcome::SHORT || outcome == ZvEacBodyOutcome::NO_PRINTER) {
            level = VERB_RAW;
        }
    }

    if (level >= VERB_RAW) {
        printRawDump(length, telegram);
    }

    if (verbosity >= VERB_MSGID) {
        zvEacShellPrintNextLine();
    }
}
