// Raw byte dump of a receiver: every byte it takes from the line, printed
// through the logger as it comes.
#pragma once

#include "hal/include/hal_types.h"

// Where the receiver stands when it takes the byte; decides what goes around
// it on the dump's lines.
enum ZvEacRawDumpPlace : U8 {
    ZV_EAC_RAW_DUMP_OUTSIDE_FRAME = 0,  // waiting for STX: each byte after its own timestamp
    ZV_EAC_RAW_DUMP_INSIDE_FRAME = 1,   // header, data or BCC
    ZV_EAC_RAW_DUMP_FRAME_END = 2,      // in place of ETX: the line ends after it
};

// One per receiver: the memory that the byte printed last was an ESC, so
// that the next one is shown as a plain value whatever it is.
struct ZvEacRawDump {
    Boolean lastWasEscape;
};

void zvEacRawDumpByte(ZvEacRawDump* dump, U8 byte, ZvEacRawDumpPlace place);
// The receiver is back waiting for STX.
void zvEacRawDumpReset(ZvEacRawDump* dump);
