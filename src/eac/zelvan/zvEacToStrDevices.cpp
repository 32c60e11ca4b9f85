// Printers for the telegrams that describe devices and their states: device
// information, lock, door, handle, key cylinder and tamper states, the
// supported-state lists, the activator, the door mode and the permanent
// indications.
#include <cstddef>
#include <cstring>

#include "eac/zelvan/zvEacTelegrams.h"
#include "eac/zelvan/zvEacToStr.h"
#include "eac/zelvan/zvEacToStrPrivate.h"
#include "logger/logger.h"

namespace {

// Body offsets of the fields read here (multi-byte fields big-endian).
namespace off {
constexpr std::size_t kDevInfoDevId = offsetof(ZvEacTeleDeviceInfo, devId);
constexpr std::size_t kDevInfoHostDevId = offsetof(ZvEacTeleDeviceInfo, hostDevId);
constexpr std::size_t kDevInfoDoorSide = offsetof(ZvEacTeleDeviceInfo, doorSide);
constexpr std::size_t kDevInfoProductClass = offsetof(ZvEacTeleDeviceInfo, productClass);
constexpr std::size_t kGetExtDevId = offsetof(ZvEacTeleGetExtendedDeviceInfo, devId);
constexpr std::size_t kGetExtDataId = offsetof(ZvEacTeleGetExtendedDeviceInfo, dataId);
constexpr std::size_t kExtDevId = offsetof(ZvEacTeleExtendedDeviceInfo, devId);
constexpr std::size_t kExtOnlineStatus = offsetof(ZvEacTeleExtendedDeviceInfo, onlineStatus);
constexpr std::size_t kExtDataId = offsetof(ZvEacTeleExtendedDeviceInfo, dataId);
constexpr std::size_t kExtDataLength = offsetof(ZvEacTeleExtendedDeviceInfo, dataLength);
constexpr std::size_t kExtData = sizeof(ZvEacTeleExtendedDeviceInfo);
static_assert(offsetof(ZvEacTeleSupportedLockStates, length) == offsetof(ZvEacTeleSupportedDoorStates, length));
constexpr std::size_t kListLength = offsetof(ZvEacTeleSupportedLockStates, length);
constexpr std::size_t kListEntries = sizeof(ZvEacTeleSupportedLockStates);
constexpr std::size_t kLockStatus = offsetof(ZvEacTeleLockState, status);
constexpr std::size_t kDoorStatus = offsetof(ZvEacTeleDoorState, status);
constexpr std::size_t kTamperStatus = offsetof(ZvEacTeleTamperState, status);
constexpr std::size_t kDoorModeMode = offsetof(ZvEacTeleDoorMode, mode);
// Handle and key cylinder states share one layout.
static_assert(sizeof(ZvEacTeleHandleState) == sizeof(ZvEacTeleKeyCylinderState));
static_assert(offsetof(ZvEacTeleHandleState, doorSide) == offsetof(ZvEacTeleKeyCylinderState, doorSide));
static_assert(offsetof(ZvEacTeleHandleState, status) == offsetof(ZvEacTeleKeyCylinderState, status));
constexpr std::size_t kDevStateDevId = offsetof(ZvEacTeleHandleState, devId);
constexpr std::size_t kDevStateDoorSide = offsetof(ZvEacTeleHandleState, doorSide);
constexpr std::size_t kDevStateStatus = offsetof(ZvEacTeleHandleState, status);
constexpr std::size_t kTamperDevDevId = offsetof(ZvEacTeleTamperStateForDevice, devId);
constexpr std::size_t kTamperDevStatus = offsetof(ZvEacTeleTamperStateForDevice, status);
constexpr std::size_t kAllStatesDevId = offsetof(ZvEacTeleGetAllStatesForDevice, devId);
static_assert(offsetof(ZvEacTeleActivatorState, doorSide) ==
              offsetof(ZvEacTeleActivatorStateWithActivatorId, doorSide));
static_assert(offsetof(ZvEacTeleActivatorState, activatorState) ==
              offsetof(ZvEacTeleActivatorStateWithActivatorId, activatorState));
constexpr std::size_t kActDevId = offsetof(ZvEacTeleActivatorState, devId);
constexpr std::size_t kActDoorSide = offsetof(ZvEacTeleActivatorState, doorSide);
constexpr std::size_t kActState = offsetof(ZvEacTeleActivatorState, activatorState);
constexpr std::size_t kActActivatorId = offsetof(ZvEacTeleActivatorStateWithActivatorId, activatorId);
static_assert(offsetof(ZvEacTeleSetDoorMode, timeInSec) == offsetof(ZvEacTeleSetDoorModeWithIndication, timeInSec));
constexpr std::size_t kSdmDoorMode = offsetof(ZvEacTeleSetDoorMode, doorMode);
constexpr std::size_t kSdmTimeInSec = offsetof(ZvEacTeleSetDoorMode, timeInSec);
constexpr std::size_t kSdmLightIndication = offsetof(ZvEacTeleSetDoorMode, lightIndication);
constexpr std::size_t kSdmIndicationMode = offsetof(ZvEacTeleSetDoorModeWithIndication, indicationMode);
constexpr std::size_t kSdmDoorSide = offsetof(ZvEacTeleSetDoorModeWithIndication, doorSide);
constexpr std::size_t kSdmIndicationStatus = offsetof(ZvEacTeleSetDoorModeWithIndication, indicationStatus);
constexpr std::size_t kSdmIndicationMask = offsetof(ZvEacTeleSetDoorModeWithIndication, indicationMask);
constexpr std::size_t kSdmPhysicalRepresentation = offsetof(ZvEacTeleSetDoorModeWithIndication, physicalRepresentation);
constexpr std::size_t kSpiDoorSide = offsetof(ZvEacTeleSetPermanentIndication, doorSide);
constexpr std::size_t kSpiIndicationStatus = offsetof(ZvEacTeleSetPermanentIndication, indicationStatus);
constexpr std::size_t kSpiIndicationMask = offsetof(ZvEacTeleSetPermanentIndication, indicationMask);
constexpr std::size_t kSpiPhysicalRepresentation =
    offsetof(ZvEacTeleSetPermanentIndicationWithPhysicalRepresentation, physicalRepresentation);
}  // namespace off

constexpr U32 kDoorModeTimeInfinite = 0xFFFFFFFFu;

const char* onlineStatusToStr(U8 status) {
    switch (status) {
        case ZV_EAC_ONLINESTATUS_UNKNOWN:
            return "Status Unknown";
        case ZV_EAC_ONLINESTATUS_ONLINE:
            return "Status Online";
        case ZV_EAC_ONLINESTATUS_OFFLINE:
            return "Status Offline";
        default:
            return "Unknown value";
    }
}

using StateToStr = const char* (*)(U32);

Boolean printStateList(ZvEacBytes body, StateToStr toStr) {
    if (!body.has(off::kListLength, 1)) {
        return FALSE;
    }
    const std::size_t count = body.u8(off::kListLength);
    if (!body.has(off::kListEntries, count)) {
        return FALSE;
    }
    zvEacShellPrintInfoLine();
    if (count == 0) {
        loggerPrintf("NONE");
        return TRUE;
    }
    for (std::size_t i = 0; i < count; ++i) {
        loggerPrintf("%s ", toStr(body.u8(off::kListEntries + i)));
    }
    return TRUE;
}

Boolean printSingleState(ZvEacBytes body, std::size_t statusOffset, StateToStr toStr) {
    if (!body.has(statusOffset, 1)) {
        return FALSE;
    }
    zvEacShellPrintInfoLine();
    loggerPrintf("%s", toStr(body.u8(statusOffset)));
    return TRUE;
}

// Handle and key cylinder states share one layout and one output.
Boolean printDeviceState(ZvEacBytes body, StateToStr toStr) {
    if (!body.has(0, sizeof(ZvEacTeleHandleState))) {
        return FALSE;
    }
    zvEacShellPrintInfoLine();
    loggerPrintf("%s", toStr(body.u8(off::kDevStateStatus)));
    zvEacPrintDeviceIdLine("Device id: ", body, off::kDevStateDevId);
    zvEacShellPrintInfoLine();
    loggerPrintf("%s", zvEacDoorSideToStr(body.u8(off::kDevStateDoorSide)));
    return TRUE;
}

// Lines 1 and 2 of both SET_DOOR_MODE forms.
void printDoorModeAndTime(ZvEacBytes body) {
    zvEacShellPrintInfoLine();
    loggerPrintf("DoorMode:          %s", zvEacDoorModeToStr(body.u8(off::kSdmDoorMode)));
    zvEacShellPrintInfoLine();
    loggerPrintf("Time in Sec:   ");
    const U32 timeInSec = body.u32be(off::kSdmTimeInSec);
    if (timeInSec == kDoorModeTimeInfinite) {
        loggerPrintf("INFINITE");
    } else {
        loggerPrintf("%u", static_cast<unsigned>(timeInSec));
    }
}

// Door side line and indication-flag block shared by both permanent
// indication forms.
void printPermanentIndicationCommon(ZvEacBytes body) {
    const U8 doorSide = body.u8(off::kSpiDoorSide);
    zvEacShellPrintInfoLine();
    loggerPrintf("Door side:       %s hex(0x%01x)", zvEacDoorSideToStr(doorSide), doorSide);
    loggerPrintf("\n");
    printPermanentIndicationFlagsSettingsToStr(body.u32be(off::kSpiIndicationStatus),
                                               body.u32be(off::kSpiIndicationMask));
}

}  // namespace

Boolean zvEacPrintDeviceInfo(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleDeviceInfo))) {
        return FALSE;
    }
    zvEacPrintDeviceIdLine("Device id:      ", body, off::kDevInfoDevId);
    zvEacPrintDeviceIdLine("Host device id: ", body, off::kDevInfoHostDevId);
    zvEacShellPrintInfoLine();
    loggerPrintf("Door side:       %s", zvEacDoorSideToStr(body.u8(off::kDevInfoDoorSide)));
    zvEacShellPrintInfoLine();
    loggerPrintf("Product class:   %s", zvEacProductCodeToStr(body.u8(off::kDevInfoProductClass)));
    return TRUE;
}

Boolean zvEacPrintGetExtendedDeviceInfo(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleGetExtendedDeviceInfo))) {
        return FALSE;
    }
    zvEacPrintDeviceIdLine("Device id:      ", body, off::kGetExtDevId);
    zvEacShellPrintInfoLine();
    loggerPrintf("Data ID:         0x%08X", static_cast<unsigned>(body.u32be(off::kGetExtDataId)));
    return TRUE;
}

Boolean zvEacPrintExtendedDeviceInfo(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleExtendedDeviceInfo))) {
        return FALSE;
    }
    const std::size_t dataLength = body.u8(off::kExtDataLength);
    if (!body.has(off::kExtData, dataLength)) {
        return FALSE;
    }
    zvEacPrintDeviceIdLine("Device id:      ", body, off::kExtDevId);
    zvEacShellPrintInfoLine();
    loggerPrintf("Online Status:   %s", onlineStatusToStr(body.u8(off::kExtOnlineStatus)));
    zvEacShellPrintInfoLine();
    loggerPrintf("Data ID:         0x%08X", static_cast<unsigned>(body.u32be(off::kExtDataId)));
    zvEacShellPrintInfoLine();
    loggerPrintf("Data length:     %d", static_cast<int>(dataLength));
    zvEacShellPrintInfoLine();
    loggerPrintf("Data:            [ ");
    for (std::size_t i = 0; i < dataLength; ++i) {
        loggerPrintf("%02X ", body.u8(off::kExtData + i));
    }
    loggerPrintf("]");
    return TRUE;
}

Boolean zvEacPrintSupportedLockStates(ZvEacBytes body) { return printStateList(body, zvEacLockStateCodeToStr); }

Boolean zvEacPrintSupportedDoorStates(ZvEacBytes body) { return printStateList(body, zvEacDoorStateCodeToStr); }

Boolean zvEacPrintLockState(ZvEacBytes body) {
    return printSingleState(body, off::kLockStatus, zvEacLockStateCodeToStr);
}

Boolean zvEacPrintDoorState(ZvEacBytes body) {
    return printSingleState(body, off::kDoorStatus, zvEacDoorStateCodeToStr);
}

Boolean zvEacPrintTamperState(ZvEacBytes body) {
    return printSingleState(body, off::kTamperStatus, zvEacTamperStateCodeToStr);
}

Boolean zvEacPrintHandleStateForDevice(ZvEacBytes body) { return printDeviceState(body, zvEacHandleStateCodeToStr); }

Boolean zvEacPrintKeyCylinderStateForDevice(ZvEacBytes body) {
    return printDeviceState(body, zvEacKeyCylinderStateCodeToStr);
}

Boolean zvEacPrintTamperStateForDevice(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleTamperStateForDevice))) {
        return FALSE;
    }
    zvEacShellPrintInfoLine();
    loggerPrintf("%s", zvEacTamperStateCodeToStr(body.u8(off::kTamperDevStatus)));
    zvEacPrintDeviceIdLine("Device id: ", body, off::kTamperDevDevId);
    return TRUE;
}

Boolean zvEacPrintGetAllStatesForDevice(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleGetAllStatesForDevice))) {
        return FALSE;
    }
    zvEacPrintDeviceIdLine("Device id: ", body, off::kAllStatesDevId);
    return TRUE;
}

Boolean zvEacPrintActivator(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleActivatorState))) {
        return FALSE;
    }
    const U8 doorSide = body.u8(off::kActDoorSide);
    zvEacPrintDeviceIdLine("Device id:      ", body, off::kActDevId);
    zvEacShellPrintInfoLine();
    loggerPrintf("Doorside:        %s hex(0x%01x)", zvEacDoorSideToStr(doorSide), doorSide);
    zvEacShellPrintInfoLine();
    loggerPrintf("ActivatorState:  %s", zvEacActStateToStr(body.u8(off::kActState)));
    return TRUE;
}

Boolean zvEacPrintActivatorWithActivatorId(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleActivatorStateWithActivatorId))) {
        return FALSE;
    }
    const U8 doorSide = body.u8(off::kActDoorSide);
    zvEacPrintDeviceIdLine("Device id:      ", body, off::kActDevId);
    zvEacShellPrintInfoLine();
    loggerPrintf("Doorside:        %s hex(0x%02x)", zvEacDoorSideToStr(doorSide), doorSide);
    zvEacShellPrintInfoLine();
    loggerPrintf("ActivatorState:  %s", zvEacActStateToStr(body.u8(off::kActState)));
    zvEacShellPrintInfoLine();
    loggerPrintf("Activator id:    hex(0x%02x)", body.u8(off::kActActivatorId));
    return TRUE;
}

Boolean zvEacPrintDoorMode(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleDoorMode))) {
        return FALSE;
    }
    zvEacShellPrintInfoLine();
    loggerPrintf("Door Mode notification:  %s", zvEacDoorModeToStr(body.u8(off::kDoorModeMode)));
    return TRUE;
}

Boolean zvEacPrintSetDoorMode(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleSetDoorMode))) {
        return FALSE;
    }
    printDoorModeAndTime(body);
    zvEacShellPrintInfoLine();
    loggerPrintf("Light Indication:  %s", zvEacLightIndicationToStr(body.u8(off::kSdmLightIndication)));
    return TRUE;
}

Boolean zvEacPrintSetDoorModeWithIndication(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleSetDoorModeWithIndication))) {
        return FALSE;
    }
    printDoorModeAndTime(body);
    zvEacShellPrintInfoLine();
    loggerPrintf("Indication Mode:  %s", zvEacIndicationModeToStr(body.u8(off::kSdmIndicationMode)));
    zvEacPrintIndicationSettings(body, off::kSdmDoorSide, off::kSdmIndicationStatus, off::kSdmIndicationMask,
                                 off::kSdmPhysicalRepresentation);
    return TRUE;
}

Boolean zvEacPrintSetPermanentIndication(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleSetPermanentIndication))) {
        return FALSE;
    }
    printPermanentIndicationCommon(body);
    return TRUE;
}

Boolean zvEacSetPermanentIndicationWithPhysicalRepresentation(ZvEacBytes body) {
    if (!body.has(0, sizeof(ZvEacTeleSetPermanentIndicationWithPhysicalRepresentation))) {
        return FALSE;
    }
    printPermanentIndicationCommon(body);
    loggerPrintf("\n");
    printPhysicalRepresentationFlagsSettingsToStr(body.u8(off::kSpiPhysicalRepresentation));
    return TRUE;
}
