// Placeholder printers: each shows the raw dump until it is written.
#include "eac/zelvan/zvEacToStrPrivate.h"

Boolean zvEacPrintDeviceInfo(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintGetExtendedDeviceInfo(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintExtendedDeviceInfo(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintSupportedLockStates(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintSupportedDoorStates(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintLockState(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintDoorState(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintTamperState(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintHandleStateForDevice(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintKeyCylinderStateForDevice(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintTamperStateForDevice(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintGetAllStatesForDevice(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintActivator(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintActivatorWithActivatorId(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintDoorMode(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintSetDoorMode(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintSetDoorModeWithIndication(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintSetPermanentIndication(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacSetPermanentIndicationWithPhysicalRepresentation(ZvEacBytes /*body*/) { return FALSE; }
