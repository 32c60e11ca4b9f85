// Link layer of the bus: the frame receiver and the frame sender.
#pragma once

#include <array>
#include <span>

#include "base/hal_types.h"
#include "common/statemachine/icStateMachine.h"
#include "eac/zelvan/zvEacFrame.h"
#include "eac/zelvan/zvEacRawDump.h"
#include "fifo/icFifo.h"

enum ZvEacNwkResult : U8 {
    ZV_EAC_NWK_RC_SUCCESS = 0,
    ZV_EAC_NWK_RC_TIMEOUT = 1,
};

// `data` holds exactly `length` bytes (nullptr when 0) and belongs to the
// callee, which releases it with zvEacNwkFree.
using ZvEacNwkRxCbFunc = void (*)(void* cbArg, ZvEacNwkAddr source, ZvEacNwkAddr destination, ZvEacNwkLen length,
                                  U8* data);
using ZvEacNwkTxResultCbFunc = void (*)(void* cbArg, ZvEacNwkResult rc);

struct ZvEacRxRcvdInfo {
    U8 dest;
    U8 source;
    U8 length;
    U8 bcc;
    U8 numRcvdBytes;
    Boolean escapeRcvd;
    U8* data;
};

// What the receiver decided about a run of bytes from the line.
enum ZvEacNwkUnitKind : U8 {
    ZV_EAC_NWK_UNIT_FRAME = 0,           // complete frame, every check passed (delivered to the rx callback)
    ZV_EAC_NWK_UNIT_NOISE = 1,           // bytes outside any frame
    ZV_EAC_NWK_UNIT_DROP_BCC = 2,        // wrong BCC
    ZV_EAC_NWK_UNIT_DROP_TIMEOUT = 3,    // gap inside the frame longer than the receive time-out
    ZV_EAC_NWK_UNIT_DROP_NO_ETX = 4,     // something other than ETX after the BCC
    ZV_EAC_NWK_UNIT_DROP_NO_MEMORY = 5,  // no buffer for the announced length
    ZV_EAC_NWK_UNIT_DROP_CUT = 6,        // still coming in when the run ended (zvEacNwkFinish)
};
// How many kinds there are: tables indexed by kind have this many rows.
inline constexpr U8 ZV_EAC_NWK_UNIT_KINDS = 7;
struct ZvEacNwkUnit {
    ZvEacNwkUnitKind kind;
    std::span<const U8> wire;  // the bytes exactly as on the line, escapes and all
    U16 firstArrivalTick;      // FIFO arrival tick of the first byte
    U16 lastArrivalTick;       // ... and of the last byte
    U16 firstArrivalMicros;    // microseconds into the first byte's tick (0 where not noted)
};
// `unit.wire` is valid during the call only.
using ZvEacNwkTapFunc = void (*)(void* arg, const ZvEacNwkUnit& unit);

// Holds any frame the line can carry; a run of noise is cut when it fills it.
inline constexpr std::size_t ZV_EAC_NWK_WIRE_CAPACITY = ZV_EAC_FRAME_MAX_WIRE;

// The bytes of the unit the receiver has not decided on yet.
struct ZvEacNwkWire {
    std::array<U8, ZV_EAC_NWK_WIRE_CAPACITY> bytes;
    U16 length;
    Boolean inFrame;  // from an STX that started a frame on; otherwise noise
    U16 firstArrivalTick;
    U16 lastArrivalTick;
    U16 previousArrivalTick;  // of the byte before the last one
    U16 firstArrivalMicros;   // microseconds into those ticks
    U16 lastArrivalMicros;
    U16 previousArrivalMicros;
};

struct ZvEacNwkInstance {
    IcFifoInstance* fifoTx;
    IcFifoInstance* fifoRx;
    ZvEacNwkRxCbFunc rxCbFunc;
    ZvEacNwkTxResultCbFunc txResultFunc;
    IcSmStateMachine stateMachine;
    ZvEacRxRcvdInfo rxRcvdInfo;
    U16 rxTimerStart;
    void* cbArg;
    Boolean doTxResCb;
    ZvEacRawDump rawDump;
    ZvEacNwkTapFunc tap;
    void* tapArg;
    ZvEacNwkWire wire;
};
using ZvEacNwkInst = ZvEacNwkInstance;

void zvEacNwkInit(ZvEacNwkInst* self, IcFifoInstance* fifoTx, IcFifoInstance* fifoRx, ZvEacNwkRxCbFunc rxCbFunc,
                  ZvEacNwkTxResultCbFunc txResultFunc, void* cbArg);
void zvEacNwkExe(ZvEacNwkInst* self);
// Milliseconds until the frame in progress (or a run of noise) runs out of
// time if no further byte comes (0: it has already), MAX_U32 while there is
// neither. A main loop that waits no longer than this before its next
// zvEacNwkExe drops a frame cut off by a silent line on time.
U32 zvEacNwkNextDeadline_ms(ZvEacNwkInst* self);
// Takes ownership of `message` (from zvEacNwkAlloc, or nullptr when length is 0).
void zvEacNwkTx(ZvEacNwkInst* self, ZvEacNwkAddr source, ZvEacNwkAddr destination, ZvEacNwkLen length, U8* message);
U8* zvEacNwkAlloc(ZvEacNwkLen requestedSize);
void zvEacNwkFree(U8* buffer);
void zvEacNwkSetRawData(U8 rawDataState);
// The raw dump shows only frames `gate` lets through (nullptr: every byte).
void zvEacNwkSetRawDumpGate(ZvEacNwkInst* self, ZvEacRawDumpGate gate, void* arg);
// Every byte the receiver takes ends up in exactly one unit, in order; a good
// frame's unit comes right before the rx callback. nullptr turns it off.
void zvEacNwkSetTap(ZvEacNwkInst* self, ZvEacNwkTapFunc tap, void* arg);
// Hands a pending run of noise to the tap (at stop / end of input); a frame
// in progress stays pending.
void zvEacNwkFlush(ZvEacNwkInst* self);
// The run ends (quit, signal, a port that fails, the end of a file): a frame
// in progress goes to the tap as cut, pending noise as noise, so that every
// byte taken is in exactly one unit.
void zvEacNwkFinish(ZvEacNwkInst* self);
// Arrival tick of the first byte of the unit that the byte taken last belongs
// to (a frame from its STX on, or a run of noise): what reports about that
// byte date from.
U16 zvEacNwkUnitFirstTick(const ZvEacNwkInst* self);
