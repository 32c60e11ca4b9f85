#include "busSimTelegrams.h"

#include <algorithm>
#include <cstring>

#include "base/icError.h"

namespace {

constexpr const char* kModuleFile = "zelvanEacBusSim/busSimTelegrams";

// Group of ACTION_WITH_TIMER on the wire: action id, start, duration.
constexpr std::size_t kTimedActionSize = 1 + 4 + 4;

}  // namespace

void BusSimTelegram::put(U8 value) {
    IC_ASSERT(kModuleFile, length_ < bytes_.size());
    bytes_[length_++] = value;
}

void BusSimTelegram::put16(U16 value) {
    put(static_cast<U8>(value >> 8));
    put(static_cast<U8>(value));
}

void BusSimTelegram::put32(U32 value) {
    put16(static_cast<U16>(value >> 16));
    put16(static_cast<U16>(value));
}

void BusSimTelegram::putBytes(std::span<const U8> values) {
    IC_ASSERT(kModuleFile, values.size() <= bytes_.size() - length_);
    for (const U8 value : values) {
        bytes_[length_++] = value;
    }
}

void BusSimTelegram::putText(const char* text, std::size_t maxChars) {
    const std::size_t count = text == nullptr ? 0 : strnlen(text, maxChars);
    putBytes({reinterpret_cast<const U8*>(text), count});
}

void busSimSetBe16(U8 (&field)[2], U16 value) {
    field[0] = static_cast<U8>(value >> 8);
    field[1] = static_cast<U8>(value);
}

void busSimSetBe32(U8 (&field)[4], U32 value) {
    field[0] = static_cast<U8>(value >> 24);
    field[1] = static_cast<U8>(value >> 16);
    field[2] = static_cast<U8>(value >> 8);
    field[3] = static_cast<U8>(value);
}

BusSimTelegram busSimTeleBare(U8 msgid, std::span<const U8> payload) {
    BusSimTelegram t(msgid);
    t.putBytes(payload);
    return t;
}

// --- version and housekeeping -------------------------------------------------------

BusSimTelegram busSimTeleGetVersion(ZvEacVersionSelector selector) {
    BusSimTelegram t(ZV_EAC_MSGID_GET_VERSION);
    t.putRecord(ZvEacTeleGetVersionReq{selector});
    return t;
}

BusSimTelegram busSimTeleVersion(const BusSimVersion& version) {
    ZvEacTeleGetVersionRsp rsp{};
    rsp.protocolVersionMajor = version.protocolMajor;
    rsp.protocolVersionMinor = version.protocolMinor;
    rsp.vendorId = version.vendor;
    rsp.productId = version.product;
    rsp.selector = version.selector;
    rsp.versionNumberMajor = version.major;
    rsp.versionNumberMinor = version.minor;
    busSimSetBe16(rsp.buildNumber, version.build);
    BusSimTelegram t(ZV_EAC_MSGID_VERSION);
    // The readable text is sent only as far as it goes.
    t.putBytes({reinterpret_cast<const U8*>(&rsp), offsetof(ZvEacTeleGetVersionRsp, humanInfo)});
    t.putText(version.text, sizeof rsp.humanInfo);
    return t;
}

BusSimTelegram busSimTeleResult(U8 answeredMsgid, ZvEacTeleResultCode result) {
    BusSimTelegram t(ZV_EAC_MSGID_RESULT);
    t.putRecord(ZvEacTeleResult{static_cast<ZvEacTeleMsgId>(answeredMsgid), result});
    return t;
}

BusSimTelegram busSimTeleReset(ZvEacResetParam param) {
    BusSimTelegram t(ZV_EAC_MSGID_RESET);
    t.putRecord(ZvEacTeleReset{param});
    return t;
}

// --- credentials ---------------------------------------------------------------------

BusSimTelegram busSimTeleMifareUidOnly(std::span<const U8> uid) {
    ZvEacTeleMifareCredentialUidOnly rec{};
    const std::size_t used = std::min(uid.size(), sizeof rec.tag);
    rec.lengthInBits = static_cast<U8>(used * 8);
    std::copy_n(uid.begin(), used, rec.tag);
    BusSimTelegram t(ZV_EAC_MSGID_MIFARE_CREDENTIAL_UID_ONLY);
    t.putRecord(rec);
    return t;
}

BusSimTelegram busSimTeleMifareWithSectorData(U8 cardType, std::span<const U8> uid, std::span<const U8> sectorData) {
    ZvEacTeleMifareCredentialWithSectorData rec{};
    const std::size_t used = std::min(uid.size(), sizeof rec.tag);
    rec.cardType = cardType;
    rec.uidLength = static_cast<U8>(used);
    std::copy_n(uid.begin(), used, rec.tag);
    rec.dataLength = static_cast<U8>(sectorData.size());
    BusSimTelegram t(ZV_EAC_MSGID_MIFARE_CREDENTIAL_WITH_SECTOR_DATA);
    t.putRecord(rec);
    t.putBytes(sectorData);
    return t;
}

BusSimTelegram busSimTeleGenericCredential(const ZvEacDabsDeviceId& devId, ZvEacDoorSide doorSide,
                                           const DkitCredential& container) {
    IC_ASSERT(kModuleFile, container.numberOfBytes <= sizeof(ZvEacTeleGenericCredential::credInfoData));
    BusSimTelegram t(ZV_EAC_MSGID_GENERIC_CREDENTIAL);
    t.putRecord(devId);
    t.put(doorSide);
    t.putBytes({container.credentialDataPtr, container.numberOfBytes});
    return t;
}

// --- access control ------------------------------------------------------------------

BusSimTelegram busSimTeleAccessDecision(ZvEacAccessDecisionCode decision) {
    BusSimTelegram t(ZV_EAC_MSGID_ACCESS_DECISION);
    t.putRecord(ZvEacTeleAccDec{decision, {0, 0}});
    return t;
}

BusSimTelegram busSimTeleIndicateCredentialRequest(U16 indicationBits) {
    ZvEacTeleIndicateCredentialRequest rec{};
    busSimSetBe16(rec.credentialIndicationCode, indicationBits);
    BusSimTelegram t(ZV_EAC_MSGID_INDICATE_CREDENTIAL_REQUEST);
    t.putRecord(rec);
    return t;
}

BusSimTelegram busSimTeleGrantAccess(ZvEacRequestedSequenceAction action, ZvEacOpenTimerSpecifier timer, U16 seconds,
                                     ZvEacLightIndication light) {
    ZvEacTeleGrantAccessSequence rec{};
    rec.requstedSequenceAction = action;
    rec.openTimerSpecifier = timer;
    busSimSetBe16(rec.timeInSec, seconds);
    rec.lightIndication = light;
    BusSimTelegram t(ZV_EAC_MSGID_GRANT_ACCESS_SEQUENCE);
    t.putRecord(rec);
    return t;
}

BusSimTelegram busSimTeleGrantAccessWithIndication(ZvEacRequestedSequenceAction action, ZvEacOpenTimerSpecifier timer,
                                                   U16 seconds, const BusSimIndication& indication) {
    ZvEacTeleGrantAccessSequenceWithIndication rec{};
    rec.requstedSequenceAction = action;
    rec.openTimerSpecifier = timer;
    busSimSetBe16(rec.timeInSec, seconds);
    rec.indicationMode = ZV_EAC_INDICATION_USE_SPECIFIC_INDICATION_IN_EXTENDED_MESSAGE;
    rec.doorSide = indication.doorSide;
    busSimSetBe32(rec.indicationStatus, indication.status);
    busSimSetBe32(rec.indicationMask, indication.mask);
    rec.physicalRepresentation = indication.representation;
    BusSimTelegram t(ZV_EAC_MSGID_GRANT_ACCESS_SEQUENCE);
    t.putRecord(rec);
    return t;
}

BusSimTelegram busSimTeleAccessDenied(ZvEacLightIndication light) {
    BusSimTelegram t(ZV_EAC_MSGID_INDICATE_ACCESS_DENIED);
    t.putRecord(ZvEacTeleIndicateAccessDenied{light});
    return t;
}

BusSimTelegram busSimTeleAccessDeniedWithIndication(const BusSimIndication& indication) {
    ZvEacTeleIndicateAccessDeniedWithIndication rec{};
    rec.indicationMode = ZV_EAC_INDICATION_USE_SPECIFIC_INDICATION_IN_EXTENDED_MESSAGE;
    rec.doorSide = indication.doorSide;
    busSimSetBe32(rec.indicationStatus, indication.status);
    busSimSetBe32(rec.indicationMask, indication.mask);
    rec.physicalRepresentation = indication.representation;
    BusSimTelegram t(ZV_EAC_MSGID_INDICATE_ACCESS_DENIED);
    t.putRecord(rec);
    return t;
}

BusSimTelegram busSimTeleKeypad(const ZvEacDabsDeviceId& devId, ZvEacDoorSide doorSide, std::span<const U8> keys) {
    ZvEacTeleKeypad rec{};
    const std::size_t count = std::min(keys.size(), sizeof rec.keys);
    rec.devId = devId;
    rec.doorSide = doorSide;
    rec.length = static_cast<U8>(count);
    BusSimTelegram t(ZV_EAC_MSGID_KEYPAD);
    // Only the keys pressed travel, not the record's spare room.
    t.putBytes({reinterpret_cast<const U8*>(&rec), offsetof(ZvEacTeleKeypad, keys)});
    t.putBytes(keys.first(count));
    return t;
}

// --- door mode and activator -----------------------------------------------------------

BusSimTelegram busSimTeleSetDoorMode(ZvEacDoorMode mode, U32 seconds, ZvEacLightIndication light) {
    ZvEacTeleSetDoorMode rec{};
    rec.doorMode = mode;
    busSimSetBe32(rec.timeInSec, seconds);
    rec.lightIndication = light;
    BusSimTelegram t(ZV_EAC_MSGID_SET_DOOR_MODE);
    t.putRecord(rec);
    return t;
}

BusSimTelegram busSimTeleSetDoorModeWithIndication(ZvEacDoorMode mode, U32 seconds,
                                                   const BusSimIndication& indication) {
    ZvEacTeleSetDoorModeWithIndication rec{};
    rec.doorMode = mode;
    busSimSetBe32(rec.timeInSec, seconds);
    rec.indicationMode = ZV_EAC_INDICATION_USE_SPECIFIC_INDICATION_IN_EXTENDED_MESSAGE;
    rec.doorSide = indication.doorSide;
    busSimSetBe32(rec.indicationStatus, indication.status);
    busSimSetBe32(rec.indicationMask, indication.mask);
    rec.physicalRepresentation = indication.representation;
    BusSimTelegram t(ZV_EAC_MSGID_SET_DOOR_MODE);
    t.putRecord(rec);
    return t;
}

BusSimTelegram busSimTeleDoorMode(ZvEacDoorMode mode) {
    BusSimTelegram t(ZV_EAC_MSGID_DOOR_MODE);
    t.putRecord(ZvEacTeleDoorMode{mode});
    return t;
}

BusSimTelegram busSimTeleDeviceIdOnly(U8 msgid, const ZvEacDabsDeviceId& devId) {
    BusSimTelegram t(msgid);
    t.putRecord(devId);
    return t;
}

BusSimTelegram busSimTeleActivator(const ZvEacDabsDeviceId& devId, ZvEacDoorSide doorSide,
                                   ZvEacActivatorStateCode state, std::optional<U8> activatorId) {
    BusSimTelegram t(ZV_EAC_MSGID_ACTIVATOR);
    if (activatorId) {
        t.putRecord(ZvEacTeleActivatorStateWithActivatorId{devId, doorSide, state, *activatorId});
    } else {
        t.putRecord(ZvEacTeleActivatorState{devId, doorSide, state});
    }
    return t;
}

// --- events and parameters -------------------------------------------------------------

BusSimTelegram busSimTeleGetEvent(U16 index) {
    ZvEacTeleEventReq rec{};
    busSimSetBe16(rec.index, index);
    BusSimTelegram t(ZV_EAC_MSGID_GET_EVENT);
    t.putRecord(rec);
    return t;
}

BusSimTelegram busSimTeleEvent(const ZvEacTeleTime& time, ZvEacTeleEventCode event, U16 details) {
    ZvEacTeleEventRsp rec{};
    rec.timestamp = time;
    rec.event = event;
    busSimSetBe16(rec.eventCodeDetails, details);
    BusSimTelegram t(ZV_EAC_MSGID_EVENT);
    t.putRecord(rec);
    return t;
}

BusSimTelegram busSimTeleGetParameter(ZvEacTeleParamId id) {
    BusSimTelegram t(ZV_EAC_MSGID_GET_PARAMETER);
    t.putRecord(ZvEacTeleParamReadReq{id});
    return t;
}

BusSimTelegram busSimTeleParameter(U8 msgid, ZvEacTeleParamId id, U32 value) {
    BusSimTelegram t(msgid);
    t.put(id);
    if (id >= ZV_EAC_PARAM_ID_TMO_SLAVE_OFFLINE && id <= ZV_EAC_PARAM_ID_TMO_SLAVE_POLL_MAX) {
        t.put16(static_cast<U16>(value));
    } else if (id == ZV_EAC_PARAM_ID_RX_BUF_LENGTH) {
        t.put(static_cast<U8>(value));
    } else if (id == ZV_EAC_PARAM_ID_EAC_PARAM_A || id == ZV_EAC_PARAM_ID_EAC_PARAM_B ||
               id == ZV_EAC_PARAM_ID_OEM_FLASH_PARAM_A || id == ZV_EAC_PARAM_ID_OEM_FLASH_PARAM_B ||
               (id >= ZV_EAC_PARAM_ID_OEM_PARAM_128 && id <= ZV_EAC_PARAM_ID_OEM_PARAM_159)) {
        t.put32(value);
    }
    return t;
}

// --- device states -----------------------------------------------------------------------

BusSimTelegram busSimTeleStateList(U8 msgid, std::span<const U8> states) {
    BusSimTelegram t(msgid);
    t.put(static_cast<U8>(states.size()));
    t.putBytes(states);
    return t;
}

BusSimTelegram busSimTeleStatus(U8 msgid, U8 status) {
    BusSimTelegram t(msgid);
    t.put(status);
    return t;
}

BusSimTelegram busSimTeleSideStatus(U8 msgid, const ZvEacDabsDeviceId& devId, ZvEacDoorSide doorSide, U8 status) {
    BusSimTelegram t(msgid);
    t.putRecord(devId);
    t.put(doorSide);
    t.put(status);
    return t;
}

BusSimTelegram busSimTeleTamperForDevice(const ZvEacDabsDeviceId& devId, ZvEacTamperStateCode status) {
    BusSimTelegram t(ZV_EAC_MSGID_DABS_TAMPER_STATE_FOR_DEVICE);
    t.putRecord(ZvEacTeleTamperStateForDevice{devId, status});
    return t;
}

// --- device information ----------------------------------------------------------------

BusSimTelegram busSimTeleDeviceInfo(const ZvEacDabsDeviceId& devId, const ZvEacDabsDeviceId& hostId,
                                    ZvEacDoorSide doorSide, ZvEacDabsProductClass productClass) {
    BusSimTelegram t(ZV_EAC_MSGID_DABS_DEVICE_INFO);
    t.putRecord(ZvEacTeleDeviceInfo{devId, hostId, doorSide, productClass});
    return t;
}

BusSimTelegram busSimTeleGetExtendedDeviceInfo(const ZvEacDabsDeviceId& devId, ZvEacDidoDataId dataId) {
    ZvEacTeleGetExtendedDeviceInfo rec{};
    rec.devId = devId;
    busSimSetBe32(rec.dataId, dataId);
    BusSimTelegram t(ZV_EAC_MSGID_GET_EXTENDED_DEVICE_INFO);
    t.putRecord(rec);
    return t;
}

BusSimTelegram busSimTeleExtendedDeviceInfo(const ZvEacDabsDeviceId& devId, ZvEacOnlineStatus status,
                                            ZvEacDidoDataId dataId, std::span<const U8> data) {
    ZvEacTeleExtendedDeviceInfo rec{};
    rec.devId = devId;
    rec.onlineStatus = status;
    busSimSetBe32(rec.dataId, dataId);
    rec.dataLength = static_cast<U8>(data.size());
    BusSimTelegram t(ZV_EAC_MSGID_EXTENDED_DEVICE_INFO);
    t.putRecord(rec);
    t.putBytes(data);
    return t;
}

// --- diagnostics and alarms ----------------------------------------------------------------

BusSimTelegram busSimTeleGetDtcs(const ZvEacDabsDeviceId& devId, ZvEacDtcRequest request) {
    BusSimTelegram t(ZV_EAC_MSGID_GET_DTCS);
    t.putRecord(ZvEacTeleGetDtcs{devId, request});
    return t;
}

BusSimTelegram busSimTeleDtc(const ZvEacDabsDeviceId& devId, ZvEacDtcId dtcId, ZvEacDtcFlags flags) {
    ZvEacTeleDtc rec{};
    rec.devId = devId;
    busSimSetBe32(rec.dtcId, dtcId);
    rec.dtcFlags = flags;
    BusSimTelegram t(ZV_EAC_MSGID_DTC);
    t.putRecord(rec);
    return t;
}

BusSimTelegram busSimTeleClearDtc(const ZvEacDabsDeviceId& devId, ZvEacDtcId dtcId) {
    ZvEacTeleClearDtc rec{};
    rec.devId = devId;
    busSimSetBe32(rec.dtcId, dtcId);
    BusSimTelegram t(ZV_EAC_MSGID_CLEAR_DTC);
    t.putRecord(rec);
    return t;
}

BusSimTelegram busSimTeleGetAlarms(const ZvEacDabsDeviceId& devId, ZvEacAlarmRequest request) {
    BusSimTelegram t(ZV_EAC_MSGID_GET_ALARMS);
    t.putRecord(ZvEacTeleGetAlarms{devId, request});
    return t;
}

BusSimTelegram busSimTeleAlarm(const ZvEacDabsDeviceId& devId, ZvEacAlarmId alarm, ZvEacAlarmDetails details,
                               ZvEacAlarmLevel level, ZvEacAlarmFlags flags) {
    BusSimTelegram t(ZV_EAC_MSGID_ALARM);
    t.putRecord(ZvEacTeleAlarm{devId, ZvEacAlarmInfo{0, alarm, details, level}, flags});
    return t;
}

BusSimTelegram busSimTeleConfirmAlarm(const ZvEacDabsDeviceId& devId, ZvEacAlarmId alarm) {
    BusSimTelegram t(ZV_EAC_MSGID_CONFIRM_ALARM);
    t.putRecord(ZvEacTeleConfirmAlarm{devId, alarm});
    return t;
}

// --- indication, service, time ---------------------------------------------------------------

BusSimTelegram busSimTeleSetPermanentIndication(const BusSimIndication& indication, bool withRepresentation) {
    ZvEacTeleSetPermanentIndicationWithPhysicalRepresentation rec{};
    rec.doorSide = indication.doorSide;
    busSimSetBe32(rec.indicationStatus, indication.status);
    busSimSetBe32(rec.indicationMask, indication.mask);
    rec.physicalRepresentation = indication.representation;
    BusSimTelegram t(ZV_EAC_MSGID_SET_PERMANENT_INDICATION);
    if (withRepresentation) {
        t.putRecord(rec);
    } else {
        t.putBytes({reinterpret_cast<const U8*>(&rec), sizeof(ZvEacTeleSetPermanentIndication)});
    }
    return t;
}

BusSimTelegram busSimTeleFirmwareUpgrade(const ZvEacDabsDeviceId& devId, U8 flags, const char* fileReference) {
    BusSimTelegram t(ZV_EAC_MSGID_FIRMWARE_UPGRADE);
    t.putRecord(devId);
    t.put(flags);
    t.putText(fileReference, BUS_SIM_MAX_TELEGRAM - t.length() - 1);
    t.put(0);
    return t;
}

BusSimTelegram busSimTeleFirmwareStatus(const ZvEacDabsDeviceId& devId, U8 status, U8 details,
                                        const char* deviceString) {
    BusSimTelegram t(ZV_EAC_MSGID_FIRMWARE_STATUS_NOTIFICATION);
    t.putRecord(devId);
    t.put(status);
    t.put(details);
    t.put(deviceString != nullptr ? 1 : 0);
    if (deviceString != nullptr) {
        t.putText(deviceString, BUS_SIM_MAX_TELEGRAM - t.length() - 1);
        t.put(0);
    }
    return t;
}

BusSimTelegram busSimTeleBlockData(U8 opCode, std::optional<U16> blockNumber, std::span<const U8> payload) {
    BusSimTelegram t(ZV_EAC_MSGID_BLOCK_DATA_TRANSPORT);
    t.put(opCode);
    t.put(static_cast<U8>(payload.size()));
    if (blockNumber) {
        t.put16(*blockNumber);
    }
    t.putBytes(payload);
    return t;
}

BusSimTelegram busSimTeleSetTime(const ZvEacTeleTime& time, ZvEacTeleTimeFunction function, S8 quarterHours) {
    BusSimTelegram t(ZV_EAC_MSGID_SET_TIME);
    t.putRecord(ZvEacTeleSetTime{time, function, quarterHours});
    return t;
}

BusSimTelegram busSimTeleActionWithTimer(const ZvEacDabsDeviceId& devId, std::span<const BusSimTimedAction> groups) {
    const std::size_t room = (BUS_SIM_MAX_TELEGRAM - 1 - sizeof(ZvEacTeleActionWithTimer)) / kTimedActionSize;
    const std::size_t count = std::min(groups.size(), room);
    BusSimTelegram t(ZV_EAC_MSGID_ACTION_WITH_TIMER);
    t.putRecord(ZvEacTeleActionWithTimer{devId, static_cast<U8>(count)});
    for (const BusSimTimedAction& group : groups.first(count)) {
        t.put(group.action);
        t.put32(group.start);
        t.put32(group.duration);
    }
    return t;
}
