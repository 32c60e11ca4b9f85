// Raw byte dump of a receiver: every byte it takes from the line, printed
// through the logger as it comes. With an address gate it shows only frames
// the gate lets through: a frame's first bytes are held until its addresses
// are known, then printed or discarded with the rest of the frame; bytes
// outside frames are not shown.
#pragma once

#include <array>

#include "base/hal_types.h"

// Where the receiver stands when it takes the byte; decides what goes around
// it on the dump's lines.
enum ZvEacRawDumpPlace : U8 {
    ZV_EAC_RAW_DUMP_OUTSIDE_FRAME = 0,  // waiting for STX: each byte after its own timestamp
    ZV_EAC_RAW_DUMP_INSIDE_FRAME = 1,   // header, data or BCC
    ZV_EAC_RAW_DUMP_FRAME_END = 2,      // in place of ETX: the line ends after it
    ZV_EAC_RAW_DUMP_FRAME_START = 3,    // the STX that starts a frame: printed as outside one
};

// TRUE when a frame with these addresses is to be shown.
using ZvEacRawDumpGate = Boolean (*)(void* arg, U8 source, U8 destination);

enum ZvEacRawDumpHold : U8 {
    ZV_EAC_RAW_DUMP_LIVE = 0,      // printing as the bytes come
    ZV_EAC_RAW_DUMP_HOLDING = 1,   // a frame's start, waiting for its addresses
    ZV_EAC_RAW_DUMP_SKIPPING = 2,  // until the receiver waits for STX again
};

// STX, destination and source, each of the two escaped at worst.
inline constexpr std::size_t ZV_EAC_RAW_DUMP_HELD_MAX = 5;

// One per receiver: the memory that the byte printed last was an ESC, so
// that the next one is shown as a plain value whatever it is; and the gate
// with the bytes it holds.
struct ZvEacRawDump {
    Boolean lastWasEscape;
    ZvEacRawDumpGate gate;  // nullptr: every byte, as it comes
    void* gateArg;
    ZvEacRawDumpHold hold;
    U8 heldLength;
    std::array<U8, ZV_EAC_RAW_DUMP_HELD_MAX> held;
};

void zvEacRawDumpByte(ZvEacRawDump* dump, U8 byte, ZvEacRawDumpPlace place);
// The frame in progress has these addresses (told once its source is read).
void zvEacRawDumpAddresses(ZvEacRawDump* dump, U8 source, U8 destination);
// The receiver is back waiting for STX.
void zvEacRawDumpReset(ZvEacRawDump* dump);
// A frame already under way when the gate changes is not shown.
void zvEacRawDumpSetGate(ZvEacRawDump* dump, ZvEacRawDumpGate gate, void* arg);
