// Telegram builder: writes the body records of the bus catalogue, field by
// field in wire order (multi-byte values big-endian), into a telegram that
// always fits one frame of the link layer's encoder.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>

#include "Dkit/Include/dkitCredential.h"
#include "base/hal_types.h"
#include "eac/zelvan/zvEacNetwork.h"
#include "eac/zelvan/zvEacTelegrams.h"

// Longest telegram the simulator sends. Even if every byte of the frame had
// to be escaped (STX and ETX never are), 2 + 2 * (3 header bytes + telegram
// + BCC) stays within the encoder's limit.
inline constexpr U8 BUS_SIM_MAX_TELEGRAM = (ZV_EAC_NWK_MAX_ENCODED_FRAME - 2) / 2 - 4;
static_assert(BUS_SIM_MAX_TELEGRAM == 85);

// One telegram: message id and body; length 0 is a frame without data.
class BusSimTelegram {
public:
    BusSimTelegram() = default;
    explicit BusSimTelegram(U8 msgid) { put(msgid); }

    U8 length() const { return length_; }
    const U8* data() const { return bytes_.data(); }
    std::span<const U8> bytes() const { return {bytes_.data(), length_}; }
    // The message id, or nothing for a frame without data.
    std::optional<U8> msgid() const { return length_ == 0 ? std::nullopt : std::optional<U8>(bytes_[0]); }

    // Appending past BUS_SIM_MAX_TELEGRAM is a programming error of the
    // scenario and ends the program.
    void put(U8 value);
    void put16(U16 value);
    void put32(U32 value);
    void putBytes(std::span<const U8> values);
    void putText(const char* text, std::size_t maxChars);
    template <typename Record>
    void putRecord(const Record& record) {
        putBytes({reinterpret_cast<const U8*>(&record), sizeof record});
    }

private:
    U8 length_ = 0;
    std::array<U8, BUS_SIM_MAX_TELEGRAM> bytes_{};
};

// Big-endian fields of the packed records.
void busSimSetBe16(U8 (&field)[2], U16 value);
void busSimSetBe32(U8 (&field)[4], U32 value);

// What the three indication telegrams carry in their extended form.
struct BusSimIndication {
    ZvEacDoorSide doorSide;
    ZvEacPermanentIndicationFlags status;
    ZvEacPermanentIndicationFlags mask;
    ZvEacPhysicalRepresentation representation;
};

struct BusSimVersion {
    U8 protocolMajor;
    U8 protocolMinor;
    ZvEacVendorId vendor;
    ZvEacProductId product;
    ZvEacVersionSelector selector;
    U8 major;
    U8 minor;
    U16 build;
    const char* text;  // 1 to 20 characters are sent
};

// One group of ACTION_WITH_TIMER: action id, start and duration (U32 BE each).
struct BusSimTimedAction {
    ZvEacActionId action;
    ZvEacStartTimer start;
    ZvEacDurationTimer duration;
};

// A telegram of the message id alone (the state requests, RESET_DOOR_MODE)
// or with arbitrary bytes after it (reserved and undeclared ids).
BusSimTelegram busSimTeleBare(U8 msgid, std::span<const U8> payload = {});

BusSimTelegram busSimTeleGetVersion(ZvEacVersionSelector selector);
BusSimTelegram busSimTeleVersion(const BusSimVersion& version);
BusSimTelegram busSimTeleResult(U8 answeredMsgid, ZvEacTeleResultCode result);
BusSimTelegram busSimTeleReset(ZvEacResetParam param);

BusSimTelegram busSimTeleMifareUidOnly(std::span<const U8> uid);
BusSimTelegram busSimTeleMifareWithSectorData(U8 cardType, std::span<const U8> uid, std::span<const U8> sectorData);
// The container must be finalized.
BusSimTelegram busSimTeleGenericCredential(const ZvEacDabsDeviceId& devId, ZvEacDoorSide doorSide,
                                           const DkitCredential& container);

BusSimTelegram busSimTeleAccessDecision(ZvEacAccessDecisionCode decision);
BusSimTelegram busSimTeleIndicateCredentialRequest(U16 indicationBits);
BusSimTelegram busSimTeleGrantAccess(ZvEacRequestedSequenceAction action, ZvEacOpenTimerSpecifier timer, U16 seconds,
                                     ZvEacLightIndication light);
BusSimTelegram busSimTeleGrantAccessWithIndication(ZvEacRequestedSequenceAction action, ZvEacOpenTimerSpecifier timer,
                                                   U16 seconds, const BusSimIndication& indication);
BusSimTelegram busSimTeleAccessDenied(ZvEacLightIndication light);
BusSimTelegram busSimTeleAccessDeniedWithIndication(const BusSimIndication& indication);
BusSimTelegram busSimTeleKeypad(const ZvEacDabsDeviceId& devId, ZvEacDoorSide doorSide, std::span<const U8> keys);

BusSimTelegram busSimTeleSetDoorMode(ZvEacDoorMode mode, U32 seconds, ZvEacLightIndication light);
BusSimTelegram busSimTeleSetDoorModeWithIndication(ZvEacDoorMode mode, U32 seconds, const BusSimIndication& indication);
BusSimTelegram busSimTeleDoorMode(ZvEacDoorMode mode);
// GET_ACTIVATOR_STATE and GET_ALL_STATES: the device id alone.
BusSimTelegram busSimTeleDeviceIdOnly(U8 msgid, const ZvEacDabsDeviceId& devId);
// The short form without an activator id, the extended form with one.
BusSimTelegram busSimTeleActivator(const ZvEacDabsDeviceId& devId, ZvEacDoorSide doorSide,
                                   ZvEacActivatorStateCode state, std::optional<U8> activatorId);

BusSimTelegram busSimTeleGetEvent(U16 index);
BusSimTelegram busSimTeleEvent(const ZvEacTeleTime& time, ZvEacTeleEventCode event, U16 details);
BusSimTelegram busSimTeleGetParameter(ZvEacTeleParamId id);
// SET_PARAMETER or PARAMETER; the value is written in the width its id
// calls for (16 bits for the time-outs, 8 for the buffer length, 32 for the
// EAC and OEM parameters, nothing for the others).
BusSimTelegram busSimTeleParameter(U8 msgid, ZvEacTeleParamId id, U32 value);

// SUPPORTED_LOCK_STATES and SUPPORTED_DOOR_STATES.
BusSimTelegram busSimTeleStateList(U8 msgid, std::span<const U8> states);
// LOCK_STATE, DOOR_STATE and TAMPER_STATE: one status byte.
BusSimTelegram busSimTeleStatus(U8 msgid, U8 status);
// HANDLE_STATE_FOR_DEVICE and KEY_CYLINDER_STATE_FOR_DEVICE.
BusSimTelegram busSimTeleSideStatus(U8 msgid, const ZvEacDabsDeviceId& devId, ZvEacDoorSide doorSide, U8 status);
BusSimTelegram busSimTeleTamperForDevice(const ZvEacDabsDeviceId& devId, ZvEacTamperStateCode status);

BusSimTelegram busSimTeleDeviceInfo(const ZvEacDabsDeviceId& devId, const ZvEacDabsDeviceId& hostId,
                                    ZvEacDoorSide doorSide, ZvEacDabsProductClass productClass);
BusSimTelegram busSimTeleGetExtendedDeviceInfo(const ZvEacDabsDeviceId& devId, ZvEacDidoDataId dataId);
BusSimTelegram busSimTeleExtendedDeviceInfo(const ZvEacDabsDeviceId& devId, ZvEacOnlineStatus status,
                                            ZvEacDidoDataId dataId, std::span<const U8> data);

BusSimTelegram busSimTeleGetDtcs(const ZvEacDabsDeviceId& devId, ZvEacDtcRequest request);
BusSimTelegram busSimTeleDtc(const ZvEacDabsDeviceId& devId, ZvEacDtcId dtcId, ZvEacDtcFlags flags);
BusSimTelegram busSimTeleClearDtc(const ZvEacDabsDeviceId& devId, ZvEacDtcId dtcId);
BusSimTelegram busSimTeleGetAlarms(const ZvEacDabsDeviceId& devId, ZvEacAlarmRequest request);
BusSimTelegram busSimTeleAlarm(const ZvEacDabsDeviceId& devId, ZvEacAlarmId alarm, ZvEacAlarmDetails details,
                               ZvEacAlarmLevel level, ZvEacAlarmFlags flags);
BusSimTelegram busSimTeleConfirmAlarm(const ZvEacDabsDeviceId& devId, ZvEacAlarmId alarm);

// The short form leaves out the physical representation byte.
BusSimTelegram busSimTeleSetPermanentIndication(const BusSimIndication& indication, bool withRepresentation);

BusSimTelegram busSimTeleFirmwareUpgrade(const ZvEacDabsDeviceId& devId, U8 flags, const char* fileReference);
// Without a device string the flag byte is 0 and the telegram ends there.
BusSimTelegram busSimTeleFirmwareStatus(const ZvEacDabsDeviceId& devId, U8 status, U8 details,
                                        const char* deviceString);
// Op codes 3 and 4 carry a block number after the payload length.
BusSimTelegram busSimTeleBlockData(U8 opCode, std::optional<U16> blockNumber, std::span<const U8> payload);
BusSimTelegram busSimTeleSetTime(const ZvEacTeleTime& time, ZvEacTeleTimeFunction function, S8 quarterHours);
BusSimTelegram busSimTeleActionWithTimer(const ZvEacDabsDeviceId& devId, std::span<const BusSimTimedAction> groups);
