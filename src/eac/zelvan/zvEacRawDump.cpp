#include "eac/zelvan/zvEacRawDump.h"

#include "eac/zelvan/zvEacFrame.h"
#include "logger/logger.h"

namespace {

void printByte(ZvEacRawDump* dump, U8 byte, ZvEacRawDumpPlace place) {
    if (place == ZV_EAC_RAW_DUMP_OUTSIDE_FRAME || place == ZV_EAC_RAW_DUMP_FRAME_START) {
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

}  // namespace

void zvEacRawDumpByte(ZvEacRawDump* dump, U8 byte, ZvEacRawDumpPlace place) {
    if (place == ZV_EAC_RAW_DUMP_OUTSIDE_FRAME || place == ZV_EAC_RAW_DUMP_FRAME_START) {
        // Waiting for STX: whatever frame was being skipped is over.
        dump->hold = ZV_EAC_RAW_DUMP_LIVE;
        dump->heldLength = 0;
    }
    if (dump->gate == nullptr) {
        if (dump->hold == ZV_EAC_RAW_DUMP_LIVE) {
            printByte(dump, byte, place);
        }
        return;
    }
    // With a gate nothing outside a frame is shown, and a frame's start
    // waits for its addresses.
    if (place == ZV_EAC_RAW_DUMP_FRAME_START) {
        dump->hold = ZV_EAC_RAW_DUMP_HOLDING;
    }
    switch (dump->hold) {
        case ZV_EAC_RAW_DUMP_HOLDING:
            if (dump->heldLength >= dump->held.size()) {
                dump->hold = ZV_EAC_RAW_DUMP_SKIPPING;  // addresses that never come
                return;
            }
            dump->held[dump->heldLength++] = byte;
            return;
        case ZV_EAC_RAW_DUMP_LIVE:
            if (place != ZV_EAC_RAW_DUMP_OUTSIDE_FRAME) {
                printByte(dump, byte, place);
            }
            return;
        default:
            return;
    }
}

void zvEacRawDumpAddresses(ZvEacRawDump* dump, U8 source, U8 destination) {
    if (dump->hold != ZV_EAC_RAW_DUMP_HOLDING) {
        return;
    }
    if (dump->gate == nullptr || dump->gate(dump->gateArg, source, destination) == FALSE) {
        dump->hold = ZV_EAC_RAW_DUMP_SKIPPING;
        return;
    }
    dump->hold = ZV_EAC_RAW_DUMP_LIVE;
    for (U8 i = 0; i < dump->heldLength; ++i) {
        printByte(dump, dump->held[i], i == 0 ? ZV_EAC_RAW_DUMP_FRAME_START : ZV_EAC_RAW_DUMP_INSIDE_FRAME);
    }
    dump->heldLength = 0;
}

// A frame dropped right after an ESC must not make the dump show the next
// byte, possibly an STX, as an escaped value.
void zvEacRawDumpReset(ZvEacRawDump* dump) {
    dump->lastWasEscape = FALSE;
    dump->hold = ZV_EAC_RAW_DUMP_LIVE;
    dump->heldLength = 0;
}

void zvEacRawDumpSetGate(ZvEacRawDump* dump, ZvEacRawDumpGate gate, void* arg) {
    if (gate != dump->gate || arg != dump->gateArg) {
        // Whatever part of a frame has been shown or held, the rest is not.
        dump->hold = ZV_EAC_RAW_DUMP_SKIPPING;
        dump->heldLength = 0;
    }
    dump->gate = gate;
    dump->gateArg = arg;
}
