// Link layer of the bus: frame receiver, raw-data dump and frame encoder.
#pragma once

#include "common/statemachine/icStateMachine.h"
#include "fifo/icFifo.h"
#include "hal/include/hal_types.h"

using ZvEacNwkAddr = U8;
using ZvEacNwkLen = U8;

enum ZvEacNwkControlChars : U8 {
    ZV_EAC_NWK_CHARS_STX = 0x02,
    ZV_EAC_NWK_CHARS_ETX = 0x03,
    ZV_EAC_NWK_CHARS_ESC = 0x1B,
};

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

struct _ZvEacNwkInstance {
    IcFifoInstance* fifoTx;
    IcFifoInstance* fifoRx;
    ZvEacNwkRxCbFunc rxCbFunc;
    ZvEacNwkTxResultCbFunc txResultFunc;
    IcSmStateMachine stateMachine;
    ZvEacRxRcvdInfo rxRcvdInfo;
    U16 rxTimerStart;
    void* cbArg;
    Boolean doTxResCb;
};
using ZvEacNwkInst = _ZvEacNwkInstance;

// Longest frame the encoder writes, STX to ETX with every escape.
inline constexpr U8 ZV_EAC_NWK_MAX_ENCODED_FRAME = 180;

void zvEacNwkInit(ZvEacNwkInst* self, IcFifoInstance* fifoTx, IcFifoInstance* fifoRx, ZvEacNwkRxCbFunc rxCbFunc,
                  ZvEacNwkTxResultCbFunc txResultFunc, void* cbArg);
void zvEacNwkExe(ZvEacNwkInst* self);
// Milliseconds until the frame in progress runs out of time if no further
// byte comes (0: it has already), MAX_U32 while no frame is open. A main
// loop that waits no longer than this before its next zvEacNwkExe drops a
// frame cut off by a silent line on time.
U32 zvEacNwkNextDeadline_ms(ZvEacNwkInst* self);
// Takes ownership of `message` (from zvEacNwkAlloc, or nullptr when length is 0).
void zvEacNwkTx(ZvEacNwkInst* self, ZvEacNwkAddr source, ZvEacNwkAddr destination, ZvEacNwkLen length, U8* message);
U8* zvEacNwkAlloc(ZvEacNwkLen requestedSize);
void zvEacNwkFree(U8* buffer);
void zvEacNwkSetRawData(U8 rawDataState);
