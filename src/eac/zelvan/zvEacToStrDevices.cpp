// Printers for the telegrams that describe devices and their states: device
// information, lock, door, handle, key cylinder and tamper states, the
// supported-state lists, the activator, the door mode and the permanent
// indications.
#include <cstddef>

#include "eac/zelvan/zvEacTelegrams.h"
#include "eac/zelvan/zvEacToStr.h"
#include "eac/zelvan/zvEacToStrFields.h"
#include "eac/zelvan/zvEacToStrPrivate.h"

namespace {

namespace row = zvEacRow;

// ---------------------------------------------------------------- device information

constexpr ZvEacRow kDeviceInfo[] = {
    row::deviceId("device_id", offsetof(ZvEacTeleDeviceInfo, devId), "Device id:      "),
    row::deviceId("host_device_id", offsetof(ZvEacTeleDeviceInfo, hostDevId), "Host device id: "),
    row::name("door_side", offsetof(ZvEacTeleDeviceInfo, doorSide), "Door side:       %s", zvEacDoorSideToStr),
    row::name("product_class", offsetof(ZvEacTeleDeviceInfo, productClass), "Product class:   %s",
              zvEacProductCodeToStr),
};

constexpr ZvEacRow kGetExtendedDeviceInfo[] = {
    row::deviceId("device_id", offsetof(ZvEacTeleGetExtendedDeviceInfo, devId), "Device id:      "),
    row::u32("data_id", offsetof(ZvEacTeleGetExtendedDeviceInfo, dataId), "Data ID:         0x%08X"),
};

using ExtInfo = ZvEacTeleExtendedDeviceInfo;

const char* onlineStatusToStr(U32 status) {
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

// The data bytes follow the record.
void printExtendedData(ZvEacBytes body) {
    const std::size_t count = body.u8(offsetof(ExtInfo, dataLength));
    const ZvEacBytes data = body.from(sizeof(ExtInfo));
    zvEacFieldBytes("data", data.slice(0, count));
    zvEacPrintLine("Data:            [ ");
    for (std::size_t i = 0; i < count; ++i) {
        zvEacOut("%02X ", data.u8(i));
    }
    zvEacOut("]");
}

constexpr ZvEacFieldDecl kExtendedDataFields[] = {{"data", ZvEacValueKind::BYTES, 0}};

constexpr ZvEacRow kExtendedDeviceInfo[] = {
    row::deviceId("device_id", offsetof(ExtInfo, devId), "Device id:      "),
    row::name("online_status", offsetof(ExtInfo, onlineStatus), "Online Status:   %s", onlineStatusToStr),
    row::u32("data_id", offsetof(ExtInfo, dataId), "Data ID:         0x%08X"),
    row::u8("data_length", offsetof(ExtInfo, dataLength), "Data length:     %d"),
    row::custom("data", printExtendedData, kExtendedDataFields),
};

// ---------------------------------------------------------------- states

// Both supported-state lists: a count and one state code per byte after it.
static_assert(offsetof(ZvEacTeleSupportedLockStates, length) == 0 && sizeof(ZvEacTeleSupportedLockStates) == 1);
static_assert(offsetof(ZvEacTeleSupportedDoorStates, length) == 0 && sizeof(ZvEacTeleSupportedDoorStates) == 1);

// In the record: the group "states", one entry "state" per code.
template <ZvEacNameOf nameOf>
void printStateList(ZvEacBytes body) {
    const std::size_t count = body.u8(0);
    zvEacGroupBegin("states");
    if (count == 0) {
        zvEacPrintLine("NONE");
        zvEacGroupEnd();
        return;
    }
    zvEacShellPrintInfoLine();
    for (std::size_t i = 0; i < count; ++i) {
        zvEacFieldNumber("state", body.u8(1 + i));
        zvEacOut("%s ", nameOf(body.u8(1 + i)));
    }
    zvEacGroupEnd();
}

template <ZvEacNameOf nameOf>
constexpr ZvEacFieldDecl kStateListFields[] = {{"states", ZvEacValueKind::GROUP, 0},
                                               {"states.state", ZvEacValueKind::NUMBER, 1, nameOf}};

constexpr ZvEacRow kSupportedLockStates[] = {
    row::custom("states", printStateList<zvEacLockStateCodeToStr>, kStateListFields<zvEacLockStateCodeToStr>)};
constexpr ZvEacRow kSupportedDoorStates[] = {
    row::custom("states", printStateList<zvEacDoorStateCodeToStr>, kStateListFields<zvEacDoorStateCodeToStr>)};

constexpr ZvEacRow kLockState[] = {
    row::name("state", offsetof(ZvEacTeleLockState, status), "%s", zvEacLockStateCodeToStr)};
constexpr ZvEacRow kDoorState[] = {
    row::name("state", offsetof(ZvEacTeleDoorState, status), "%s", zvEacDoorStateCodeToStr)};
constexpr ZvEacRow kTamperState[] = {
    row::name("state", offsetof(ZvEacTeleTamperState, status), "%s", zvEacTamperStateCodeToStr)};

// Handle and key cylinder states share one layout and one output.
template <typename Record, ZvEacNameOf nameOf>
constexpr ZvEacRow kDeviceState[] = {
    row::name("state", offsetof(Record, status), "%s", *nameOf),
    row::deviceId("device_id", offsetof(Record, devId), "Device id: "),
    row::name("door_side", offsetof(Record, doorSide), "%s", zvEacDoorSideToStr),
};

constexpr ZvEacRow kTamperStateForDevice[] = {
    row::name("state", offsetof(ZvEacTeleTamperStateForDevice, status), "%s", zvEacTamperStateCodeToStr),
    row::deviceId("device_id", offsetof(ZvEacTeleTamperStateForDevice, devId), "Device id: "),
};

constexpr ZvEacRow kGetAllStates[] = {
    row::deviceId("device_id", offsetof(ZvEacTeleGetAllStatesForDevice, devId), "Device id: "),
};

// ---------------------------------------------------------------- activator and door mode

using Activator = ZvEacTeleActivatorState;
using ActivatorWithId = ZvEacTeleActivatorStateWithActivatorId;

constexpr ZvEacRow kActivator[] = {
    row::deviceId("device_id", offsetof(Activator, devId), "Device id:      "),
    row::nameAndValue("door_side", offsetof(Activator, doorSide), "Doorside:        %s hex(0x%01x)",
                      zvEacDoorSideToStr),
    row::name("activator_state", offsetof(Activator, activatorState), "ActivatorState:  %s", zvEacActStateToStr),
};

constexpr ZvEacRow kActivatorWithId[] = {
    row::deviceId("device_id", offsetof(ActivatorWithId, devId), "Device id:      "),
    row::nameAndValue("door_side", offsetof(ActivatorWithId, doorSide), "Doorside:        %s hex(0x%02x)",
                      zvEacDoorSideToStr),
    row::name("activator_state", offsetof(ActivatorWithId, activatorState), "ActivatorState:  %s", zvEacActStateToStr),
    row::u8("activator_id", offsetof(ActivatorWithId, activatorId), "Activator id:    hex(0x%02x)"),
};

constexpr ZvEacRow kDoorMode[] = {
    row::name("mode", offsetof(ZvEacTeleDoorMode, mode), "Door Mode notification:  %s", zvEacDoorModeToStr),
};

using SetDoorMode = ZvEacTeleSetDoorMode;
using SetDoorModeExt = ZvEacTeleSetDoorModeWithIndication;
static_assert(offsetof(SetDoorMode, doorMode) == offsetof(SetDoorModeExt, doorMode) &&
              offsetof(SetDoorMode, timeInSec) == offsetof(SetDoorModeExt, timeInSec));

constexpr U32 kDoorModeTimeInfinite = 0xFFFFFFFFu;

void printDoorModeTime(ZvEacBytes body) {
    const U32 timeInSec = body.u32be(offsetof(SetDoorMode, timeInSec));
    zvEacFieldNumber("time", timeInSec);
    zvEacPrintLine("Time in Sec:   ");
    if (timeInSec == kDoorModeTimeInfinite) {
        zvEacOut("INFINITE");
    } else {
        zvEacOut("%u", static_cast<unsigned>(timeInSec));
    }
}

constexpr ZvEacFieldDecl kDoorModeTimeFields[] = {{"time", ZvEacValueKind::NUMBER, 4}};

// Lines 1 and 2 of both forms.
constexpr ZvEacRow kSetDoorModeCommon[] = {
    row::name("door_mode", offsetof(SetDoorMode, doorMode), "DoorMode:          %s", zvEacDoorModeToStr),
    row::custom("time", printDoorModeTime, kDoorModeTimeFields),
};

constexpr ZvEacRow kSetDoorMode[] = {
    row::rows(kSetDoorModeCommon),
    row::name("light_indication", offsetof(SetDoorMode, lightIndication), "Light Indication:  %s",
              zvEacLightIndicationToStr),
};

constexpr ZvEacRow kSetDoorModeWithIndication[] = {
    row::rows(kSetDoorModeCommon),
    row::name("indication_mode", offsetof(SetDoorModeExt, indicationMode), "Indication Mode:  %s",
              zvEacIndicationModeToStr),
    row::rows(kZvEacIndicationSettings<SetDoorModeExt>),
};

// ---------------------------------------------------------------- permanent indication

using Spi = ZvEacTeleSetPermanentIndication;
using SpiExt = ZvEacTeleSetPermanentIndicationWithPhysicalRepresentation;
static_assert(offsetof(Spi, doorSide) == offsetof(SpiExt, doorSide) &&
              offsetof(Spi, indicationStatus) == offsetof(SpiExt, indicationStatus) &&
              offsetof(Spi, indicationMask) == offsetof(SpiExt, indicationMask));

constexpr ZvEacRow kPermanentIndication[] = {
    row::nameAndValue("door_side", offsetof(Spi, doorSide), "Door side:       %s hex(0x%01x)", zvEacDoorSideToStr),
    row::flagBlock(offsetof(Spi, indicationStatus), offsetof(Spi, indicationMask)),
};

constexpr ZvEacRow kPermanentIndicationWithPhysical[] = {
    row::rows(kPermanentIndication),
    row::physicalBlock(offsetof(SpiExt, physicalRepresentation)),
};

}  // namespace

Boolean zvEacPrintDeviceInfo(ZvEacBytes body) {
    return zvEacPrintTable<sizeof(ZvEacTeleDeviceInfo), kDeviceInfo>(body);
}

Boolean zvEacPrintGetExtendedDeviceInfo(ZvEacBytes body) {
    return zvEacPrintTable<sizeof(ZvEacTeleGetExtendedDeviceInfo), kGetExtendedDeviceInfo>(body);
}

Boolean zvEacPrintExtendedDeviceInfo(ZvEacBytes body) {
    return zvEacPrintCountedTable<sizeof(ExtInfo), offsetof(ExtInfo, dataLength), kExtendedDeviceInfo>(body);
}

Boolean zvEacPrintSupportedLockStates(ZvEacBytes body) {
    return zvEacPrintCountedTable<sizeof(ZvEacTeleSupportedLockStates), 0, kSupportedLockStates>(body);
}

Boolean zvEacPrintSupportedDoorStates(ZvEacBytes body) {
    return zvEacPrintCountedTable<sizeof(ZvEacTeleSupportedDoorStates), 0, kSupportedDoorStates>(body);
}

Boolean zvEacPrintLockState(ZvEacBytes body) { return zvEacPrintTable<sizeof(ZvEacTeleLockState), kLockState>(body); }

Boolean zvEacPrintDoorState(ZvEacBytes body) { return zvEacPrintTable<sizeof(ZvEacTeleDoorState), kDoorState>(body); }

Boolean zvEacPrintTamperState(ZvEacBytes body) {
    return zvEacPrintTable<sizeof(ZvEacTeleTamperState), kTamperState>(body);
}

Boolean zvEacPrintHandleStateForDevice(ZvEacBytes body) {
    using Record = ZvEacTeleHandleState;
    return zvEacPrintTable<sizeof(Record), kDeviceState<Record, zvEacHandleStateCodeToStr>>(body);
}

Boolean zvEacPrintKeyCylinderStateForDevice(ZvEacBytes body) {
    using Record = ZvEacTeleKeyCylinderState;
    return zvEacPrintTable<sizeof(Record), kDeviceState<Record, zvEacKeyCylinderStateCodeToStr>>(body);
}

Boolean zvEacPrintTamperStateForDevice(ZvEacBytes body) {
    return zvEacPrintTable<sizeof(ZvEacTeleTamperStateForDevice), kTamperStateForDevice>(body);
}

Boolean zvEacPrintGetAllStatesForDevice(ZvEacBytes body) {
    return zvEacPrintTable<sizeof(ZvEacTeleGetAllStatesForDevice), kGetAllStates>(body);
}

Boolean zvEacPrintActivator(ZvEacBytes body) { return zvEacPrintTable<sizeof(Activator), kActivator>(body); }

Boolean zvEacPrintActivatorWithActivatorId(ZvEacBytes body) {
    return zvEacPrintTable<sizeof(ActivatorWithId), kActivatorWithId>(body);
}

Boolean zvEacPrintDoorMode(ZvEacBytes body) { return zvEacPrintTable<sizeof(ZvEacTeleDoorMode), kDoorMode>(body); }

Boolean zvEacPrintSetDoorMode(ZvEacBytes body) { return zvEacPrintTable<sizeof(SetDoorMode), kSetDoorMode>(body); }

Boolean zvEacPrintSetDoorModeWithIndication(ZvEacBytes body) {
    return zvEacPrintTable<sizeof(SetDoorModeExt), kSetDoorModeWithIndication>(body);
}

Boolean zvEacPrintSetPermanentIndication(ZvEacBytes body) {
    return zvEacPrintTable<sizeof(Spi), kPermanentIndication>(body);
}

Boolean zvEacSetPermanentIndicationWithPhysicalRepresentation(ZvEacBytes body) {
    return zvEacPrintTable<sizeof(SpiExt), kPermanentIndicationWithPhysical>(body);
}

std::span<const ZvEacLayout> zvEacDeviceLayouts() {
    using When = ZvEacFormWhen;
    static constexpr ZvEacLayout kLayouts[] = {
        {ZV_EAC_MSGID_ACTIVATOR, sizeof(Activator), kActivator, When::LENGTH_IS, 1 + sizeof(Activator)},
        {ZV_EAC_MSGID_ACTIVATOR, sizeof(ActivatorWithId), kActivatorWithId, When::LENGTH_IS,
         1 + sizeof(ActivatorWithId)},
        {ZV_EAC_MSGID_SET_DOOR_MODE, sizeof(SetDoorModeExt), kSetDoorModeWithIndication, When::BYTE_IS,
         offsetof(SetDoorMode, lightIndication), ZV_EAC_INDICATION_USE_SPECIFIC_INDICATION_IN_EXTENDED_MESSAGE},
        {ZV_EAC_MSGID_SET_DOOR_MODE, sizeof(SetDoorMode), kSetDoorMode},
        {ZV_EAC_MSGID_DABS_SUPPORTED_LOCK_STATES, sizeof(ZvEacTeleSupportedLockStates), kSupportedLockStates},
        {ZV_EAC_MSGID_DABS_LOCK_STATE, sizeof(ZvEacTeleLockState), kLockState},
        {ZV_EAC_MSGID_DABS_SUPPORTED_DOOR_STATES, sizeof(ZvEacTeleSupportedDoorStates), kSupportedDoorStates},
        {ZV_EAC_MSGID_DABS_DOOR_STATE, sizeof(ZvEacTeleDoorState), kDoorState},
        {ZV_EAC_MSGID_DABS_HANDLE_STATE_FOR_DEVICE, sizeof(ZvEacTeleHandleState),
         kDeviceState<ZvEacTeleHandleState, zvEacHandleStateCodeToStr>},
        {ZV_EAC_MSGID_DABS_KEY_CYLINDER_STATE_FOR_DEVICE, sizeof(ZvEacTeleKeyCylinderState),
         kDeviceState<ZvEacTeleKeyCylinderState, zvEacKeyCylinderStateCodeToStr>},
        {ZV_EAC_MSGID_DABS_TAMPER_STATE, sizeof(ZvEacTeleTamperState), kTamperState},
        {ZV_EAC_MSGID_DABS_TAMPER_STATE_FOR_DEVICE, sizeof(ZvEacTeleTamperStateForDevice), kTamperStateForDevice},
        {ZV_EAC_MSGID_DABS_DEVICE_INFO, sizeof(ZvEacTeleDeviceInfo), kDeviceInfo},
        {ZV_EAC_MSGID_GET_EXTENDED_DEVICE_INFO, sizeof(ZvEacTeleGetExtendedDeviceInfo), kGetExtendedDeviceInfo},
        {ZV_EAC_MSGID_EXTENDED_DEVICE_INFO, sizeof(ExtInfo), kExtendedDeviceInfo},
        {ZV_EAC_MSGID_SET_PERMANENT_INDICATION, sizeof(SpiExt), kPermanentIndicationWithPhysical, When::BYTE_NOT_ZERO,
         offsetof(SpiExt, physicalRepresentation)},
        {ZV_EAC_MSGID_SET_PERMANENT_INDICATION, sizeof(Spi), kPermanentIndication},
        {ZV_EAC_MSGID_DABS_GET_ALL_STATES, sizeof(ZvEacTeleGetAllStatesForDevice), kGetAllStates},
        {ZV_EAC_MSGID_DOOR_MODE, sizeof(ZvEacTeleDoorMode), kDoorMode},
    };
    return kLayouts;
}
