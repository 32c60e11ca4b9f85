// Telegram decoding into text: the message printer, its output helpers and
// the value-to-text tables.
#pragma once

#include "base/hal_types.h"

enum ZvEacToStrMsgDirection : U8 {
    PRINT_MSG_DIR_OUTGOING = 0,  // master to device
    PRINT_MSG_DIR_INCOMING = 1,  // device to master
};

// Prints one telegram of `length` bytes (byte 0 the message id) at the
// logger's verbosity. Reads nothing beyond `length` bytes.
void zvEacShellPrintMessage(U8 messageDirection, U8 baseNetworkAddr, U8 peer, U8 length, const U8* message);

const char* zvEacMsgIdToStr(U8 msgid);

void zvEacShellPrintInfoLine();
void zvEacShellPrintNextLine();
void printDeviceIdToStr(const char* firstStr, const U8 (&deviceId)[12]);

// Value tables. Unless noted, only the low 8 bits of the code are looked at,
// and a code without a row gives the table's fallback text.
const char* zvEacVersionSelectorToStr(U32 selector);
const char* zvEacResultToStr(U32 rc);
const char* zvEacParamIdToStr(U32 id);
const char* zvEacEventCodeToStr(U32 event);
const char* zvEacLockStateCodeToStr(U32 state);
const char* zvEacDoorStateCodeToStr(U32 state);
const char* zvEacHandleStateCodeToStr(U32 state);
const char* zvEacKeyCylinderStateCodeToStr(U32 state);
const char* zvEacTamperStateCodeToStr(U32 state);
const char* zvEacProductCodeToStr(U32 productClass);
const char* zvEacDoorSideToStr(U32 doorSide);
const char* zvEacKeyStateToStr(U32 keyState);
const char* zvEacActStateToStr(U32 actState);
const char* zvEacDkitCredentialBlockTypeToStr(U32 blockType);  // looks at 16 bits
const char* zvEacCredTypeMainToStr(U32 mainType);
const char* zvEacCredTypeSubMifareToStr(U32 subType);
const char* zvEacCredTypeSubIclassToStr(U32 subType);
const char* zvEacCredTypeSubLowFrequencyToStr(U32 subType);
const char* zvEacCredTypeSubPicoPassToStr(U32 subType);
const char* zvEacCredTypeSubLegicToStr(U32 subType);
const char* zvEacCredTypeSubSeosToStr(U32 subType);
const char* zvEacDoorModeToStr(U32 state);
const char* zvEacLightIndicationToStr(U32 state);
const char* zvEacIndicationModeToStr(U32 state);
const char* permanentIndicationStatusToStr(U32 onOrOff);   // looks at 32 bits
const char* permanentIndicationMaskToStr(U32 indication);  // looks at 32 bits
const char* physicalRepresentationMaskToStr(U32 physicalRepresentation);
const char* zvEacRequstedSequenceActionToStr(U32 state);
const char* zvEacOpenTimerSpecifierToStr(U32 state);
const char* zvEacCredentialIndicationToStr(U32 indication);
const char* zvEacDtcRequestToStr(U32 dtcRequest);
const char* zvEacAlarmRequestToStr(U32 alarmRequest);
const char* zvEacAlarmIdToStr(U32 alarmId);

void printPermanentIndicationFlagsSettingsToStr(U32 status, U32 mask);
void printPhysicalRepresentationFlagsSettingsToStr(U8 physicalRepresentation);
