// Placeholder printers: each shows the raw dump until it is written.
#include "eac/zelvan/zvEacToStrPrivate.h"

Boolean zvEacPrintGetVersion(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintVersion(ZvEacBytes /*body*/, U8 /*length*/) { return FALSE; }
Boolean zvEacPrintResult(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintReset(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintAccessDecision(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintIndicateCredentialRequest(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintGrantAccessSequence(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintGrantAccessSequenceWithIndication(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintIndicateAccessDenied(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintIndicateAccessDeniedWithIndication(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintGetEvent(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintEvent(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintParameter(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintGetParameter(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintKeypad(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintGetDtcs(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintDtc(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintClearDtc(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintGetAlarms(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintAlarm(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintConfirmAlarm(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintFirmwareUpgrade(ZvEacBytes /*telegram*/) { return FALSE; }
Boolean zvEacPrintFirmwareStatusNtf(ZvEacBytes /*telegram*/) { return FALSE; }
Boolean zvEacPrintBlockDataTransport(ZvEacBytes /*telegram*/) { return FALSE; }
Boolean zvEacPrintSetTime(ZvEacBytes /*body*/) { return FALSE; }
