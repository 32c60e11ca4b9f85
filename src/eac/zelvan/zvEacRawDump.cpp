#include "eac/zelvan/zvEacRawDump.h"

#include "eac/zelvan/zvEacFrame.h"
#include "logger/logger.h"

void zvEacRawDumpByte(ZvEacRawDump* dump, U8 byte, ZvEacRawDumpPlace place) {
    if (place == ZV_EAC_RAW_DUMP_OUTSIDE_FRAME) {
        loggerPrintTimestamp();
    }
    if (dump->lastWasEscape != FALSE) {
        dump->lastWasEscape = FALSE;
        loggerPrintf("%02x  ", byte);
    } else {
        switch (byte) {
            case ZV_EAC_NWK_CHARS_STX:
                loggerPrintf("     STX ");
                break;
            case ZV_EAC_NWK_CHARS_ETX:
                loggerPrintf("ETX  ");
                break;
            case ZV_EAC_NWK_CHARS_ESC:
                loggerPrintf("ESC ");
                dump->lastWasEscape = TRUE;
                break;
            default:
                loggerPrintf("%02x  ", byte);
                break;
        }
    }
    // Finishes the raw line before the receiver hands the frame on and its
    // decoded form is printed.
    if (place == ZV_EAC_RAW_DUMP_FRAME_END) {
        loggerPrintf("\n");
    }
}

// A frame dropped right after an ESC must not make the dump show the next
// byte, possibly an STX, as an escaped value.
void zvEacRawDumpReset(ZvEacRawDump* dump) { dump->lastWasEscape = FALSE; }
