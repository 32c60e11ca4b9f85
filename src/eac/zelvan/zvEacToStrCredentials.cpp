// Placeholder printers: each shows the raw dump until it is written.
#include "eac/zelvan/zvEacToStrPrivate.h"

Boolean zvEacPrintMifareCredentialUidOnly(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintMifareCredentialWithSectorData(ZvEacBytes /*body*/) { return FALSE; }
Boolean zvEacPrintGenericCredential(ZvEacBytes /*body*/, U8 /*length*/) { return FALSE; }
