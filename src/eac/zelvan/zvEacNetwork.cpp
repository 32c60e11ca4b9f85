// Link layer of the bus: the frame receiver (a state machine fed one byte per
// execute step) and the frame sender. The frame format itself is the codec's
// (zvEacFrame), the raw byte dump its own module (zvEacRawDump).
#include "eac/zelvan/zvEacNetwork.h"

#include <algorithm>
#include <array>

#include "base/icError.h"
#include "eac/zelvan/zvEacNetworkPrivate.h"
#include "fifo/icFifo.h"
#include "memory/mallocWrap/mallocWrap.h"
#include "timer/icTimer.h"

namespace {

constexpr const char* ZV_EAC_NWK_FILE = "eac/zelvan/zvEacNetwork";
// The line this fatal error has always reported; operators and scripts
// recognise it, so it does not follow the position in this file.
constexpr U16 ZV_EAC_NWK_TX_TOO_LONG_LINE = 670;

static_assert(ZV_EAC_NWK_WIRE_CAPACITY >= ZV_EAC_FRAME_MAX_WIRE, "a frame in progress must fit its wire buffer");

U8 rawDataActive = 0;

// Where the receiver stands; each of the engine's five states is one stage.
enum RxStage : U8 {
    RX_STAGE_IDLE = 0,  // waiting for STX
    RX_STAGE_HEADER = 1,
    RX_STAGE_DATA = 2,
    RX_STAGE_BCC = 3,
    RX_STAGE_ETX = 4,
};

ZvEacNwkInst* instanceOf(void* userData) { return static_cast<ZvEacNwkInst*>(userData); }

void requestState(ZvEacNwkInst* inst, IcSmState state) { inst->stateMachine.nextState = state; }

// The 16-bit tick wraps at a multiple of 16384, so its low 14 bits count on
// evenly across the wrap and 0xFFFF stays free as the "stopped" marker.
U16 getTickWithWrap() { return static_cast<U16>(icTimerGetRunningTimer_ms() & ZV_EAC_NWK_TICK_MASK); }

U16 elapsedTicks(U16 until, U16 since) { return static_cast<U16>((until - since) & ZV_EAC_NWK_TICK_MASK); }

// Gaps are measured between the times the bytes came off the line, so a main
// loop that falls behind neither drops a frame whose bytes came together nor
// hides a real pause on the line.
void restartRxTimer(ZvEacNwkInst* inst, U16 arrivalTick) {
    inst->rxTimerStart = static_cast<U16>(arrivalTick & ZV_EAC_NWK_TICK_MASK);
}

// ---- the undecided run of bytes and the tap ---------------------------------------

// Hands the run to the tap as `kind` and starts a new one.
void endUnit(ZvEacNwkInst* inst, ZvEacNwkUnitKind kind) {
    ZvEacNwkWire& wire = inst->wire;
    if (wire.length == 0) {
        return;
    }
    const ZvEacNwkUnit unit{kind, std::span<const U8>(wire.bytes.data(), wire.length), wire.firstArrivalTick,
                            wire.lastArrivalTick, wire.firstArrivalMicros};
    // Forgotten before the call: a tap that flushes gets nothing twice.
    wire.length = 0;
    wire.inFrame = FALSE;
    if (inst->tap != nullptr) {
        inst->tap(inst->tapArg, unit);
    }
}

void recordWireByte(ZvEacNwkInst* inst, U8 byte, U16 arrivalTick, U16 arrivalMicros) {
    ZvEacNwkWire& wire = inst->wire;
    if (wire.length >= wire.bytes.size()) {
        if (wire.inFrame != FALSE) {
            // A frame never gets this long (every value escaped still fits);
            // only a damaged record could, and it must not write past the end.
            return;
        }
        endUnit(inst, ZV_EAC_NWK_UNIT_NOISE);
    }
    if (wire.length == 0) {
        wire.firstArrivalTick = arrivalTick;
        wire.firstArrivalMicros = arrivalMicros;
    }
    wire.previousArrivalMicros = wire.lastArrivalMicros;
    wire.lastArrivalMicros = arrivalMicros;
    wire.previousArrivalTick = wire.lastArrivalTick;
    wire.lastArrivalTick = arrivalTick;
    wire.bytes[wire.length++] = byte;
}

// The STX just recorded starts a frame; what came before it was noise.
void startFrameUnit(ZvEacNwkInst* inst) {
    ZvEacNwkWire& wire = inst->wire;
    const U16 stxTick = wire.lastArrivalTick;
    const U16 stxMicros = wire.lastArrivalMicros;
    if (wire.length > 1) {
        wire.length = static_cast<U16>(wire.length - 1);
        wire.lastArrivalTick = wire.previousArrivalTick;
        endUnit(inst, ZV_EAC_NWK_UNIT_NOISE);
    }
    wire.bytes[0] = ZV_EAC_NWK_CHARS_STX;
    wire.length = 1;
    wire.firstArrivalTick = stxTick;
    wire.firstArrivalMicros = stxMicros;
    wire.lastArrivalTick = stxTick;
    wire.inFrame = TRUE;
}

// Drops the frame in progress; every way back to the idle state passes its
// enter event, which releases the frame's buffer.
void dropFrame(ZvEacNwkInst* inst, ZvEacNwkUnitKind why) {
    endUnit(inst, why);
    requestState(inst, nwkSmInitState);
}

void checkRxTimerExpiry(ZvEacNwkInst* inst) {
    const bool frameTimed = inst->rxTimerStart != ZV_EAC_NWK_RX_TIMER_STOPPED;
    const bool noisePending = inst->wire.length != 0 && inst->wire.inFrame == FALSE;
    if (!frameTimed && !noisePending) {
        return;
    }
    // The clock is read before the FIFO is asked: if it is empty then, the
    // line has been quiet at least until this reading.
    U16 until = getTickWithWrap();
    U16 nextArrival = 0;
    if (icFifoPeekArrivalTick(inst->fifoRx, &nextArrival) != FALSE) {
        until = static_cast<U16>(nextArrival & ZV_EAC_NWK_TICK_MASK);
    }
    if (frameTimed && elapsedTicks(until, inst->rxTimerStart) > ZV_EAC_NWK_RX_MAX_GAP_MS) {
        inst->rxTimerStart = ZV_EAC_NWK_RX_TIMER_STOPPED;
        icSmHandleEvent(&inst->stateMachine, ZV_EAC_NWK_EV_RX_TIMEOUT);
    }
    // A run of noise ends where a frame would have timed out.
    const U16 lastNoise = static_cast<U16>(inst->wire.lastArrivalTick & ZV_EAC_NWK_TICK_MASK);
    if (noisePending && elapsedTicks(until, lastNoise) > ZV_EAC_NWK_RX_MAX_GAP_MS) {
        endUnit(inst, ZV_EAC_NWK_UNIT_NOISE);
    }
}

// ---- what each stage does with a byte ---------------------------------------------

void deliverFrame(ZvEacNwkInst* inst) {
    const ZvEacRxRcvdInfo frame = inst->rxRcvdInfo;
    // The buffer is the callee's from here on; forget it before the call so
    // that nothing the callback does can make the idle state release it.
    inst->rxRcvdInfo = ZvEacRxRcvdInfo{};
    if (inst->rxCbFunc != nullptr) {
        inst->rxCbFunc(inst->cbArg, frame.source, frame.dest, frame.length, frame.data);
    } else {
        zvEacNwkFree(frame.data);
    }
}

void idleByte(ZvEacNwkInst* inst, U8 byte, U16 arrivalTick) {
    ZvEacRxRcvdInfo& rx = inst->rxRcvdInfo;
    if (rx.escapeRcvd) {
        rx.escapeRcvd = FALSE;  // an escaped STX is a value, not a frame start
    } else if (byte == ZV_EAC_NWK_CHARS_STX) {
        requestState(inst, nwkSmGetHeaderState);
        restartRxTimer(inst, arrivalTick);
    } else if (byte == ZV_EAC_NWK_CHARS_ESC) {
        rx.escapeRcvd = TRUE;
    }
}

void headerValue(ZvEacNwkInst* inst, U8 value) {
    ZvEacRxRcvdInfo& rx = inst->rxRcvdInfo;
    switch (rx.numRcvdBytes) {
        case 0:
            rx.dest = value;
            rx.bcc = zvEacFrameBccAdd(0, value);
            rx.numRcvdBytes = 1;
            return;
        case 1:
            rx.source = value;
            rx.bcc = zvEacFrameBccAdd(rx.bcc, value);
            rx.numRcvdBytes = 2;
            zvEacRawDumpAddresses(&inst->rawDump, rx.source, rx.dest);
            return;
        default:
            break;
    }
    rx.length = value;
    rx.bcc = zvEacFrameBccAdd(rx.bcc, value);
    if (rx.length == 0) {
        rx.data = nullptr;
        requestState(inst, nwkSmGetBccState);
        return;
    }
    // Exactly the announced size, once per frame; without memory the frame
    // is dropped here and its remaining bytes, escaped, hold no STX for the
    // idle state.
    rx.data = zvEacNwkAlloc(rx.length);
    if (rx.data == nullptr) {
        dropFrame(inst, ZV_EAC_NWK_UNIT_DROP_NO_MEMORY);
    } else {
        requestState(inst, nwkSmGetDataState);
    }
}

void dataValue(ZvEacNwkInst* inst, U8 value) {
    ZvEacRxRcvdInfo& rx = inst->rxRcvdInfo;
    if (rx.data == nullptr || rx.numRcvdBytes >= rx.length) {
        // Only reachable through a damaged instance record; never write past
        // the buffer for it.
        dropFrame(inst, ZV_EAC_NWK_UNIT_DROP_NO_MEMORY);
        return;
    }
    rx.bcc = zvEacFrameBccAdd(rx.bcc, value);
    rx.data[rx.numRcvdBytes++] = value;
    if (rx.numRcvdBytes == rx.length) {
        requestState(inst, nwkSmGetBccState);
    }
}

void bccValue(ZvEacNwkInst* inst, U8 value) {
    if (value == inst->rxRcvdInfo.bcc) {
        requestState(inst, nwkSmGetEtxState);
        return;
    }
    dropFrame(inst, ZV_EAC_NWK_UNIT_DROP_BCC);
    inst->rxTimerStart = ZV_EAC_NWK_RX_TIMER_STOPPED;
}

// No escape step: only a plain ETX ends a frame, and whatever came instead is
// consumed with the dropped frame. The frame ends here; no gap to measure.
void etxByte(ZvEacNwkInst* inst, U8 byte) {
    if (byte == ZV_EAC_NWK_CHARS_ETX) {
        endUnit(inst, ZV_EAC_NWK_UNIT_FRAME);
        deliverFrame(inst);
        requestState(inst, nwkSmInitState);
    } else {
        dropFrame(inst, ZV_EAC_NWK_UNIT_DROP_NO_ETX);
    }
    inst->rxTimerStart = ZV_EAC_NWK_RX_TIMER_STOPPED;
}

constexpr ZvEacRawDumpPlace dumpPlaceOf(RxStage stage) {
    switch (stage) {
        case RX_STAGE_IDLE:
            return ZV_EAC_RAW_DUMP_OUTSIDE_FRAME;
        case RX_STAGE_ETX:
            return ZV_EAC_RAW_DUMP_FRAME_END;
        default:
            return ZV_EAC_RAW_DUMP_INSIDE_FRAME;
    }
}

// The one place a byte leaves the receive FIFO: it is dumped, recorded for
// the tap and handed to the stage.
void takeByte(ZvEacNwkInst* inst, RxStage stage) {
    // Popping an empty FIFO would yield a 0 that looks like data, so the
    // count is asked first.
    if (icFifoCharsToPop(inst->fifoRx) == 0) {
        return;
    }
    U16 arrivalTick = 0;
    U16 arrivalMicros = 0;
    U8 byte = static_cast<U8>(icFifoPopCharWithArrival(inst->fifoRx, &arrivalTick, &arrivalMicros));
    recordWireByte(inst, byte, arrivalTick, arrivalMicros);
    // The unit this byte belongs to is settled before it is dumped: the
    // dump's timestamp is when that unit began.
    if (stage == RX_STAGE_IDLE && inst->rxRcvdInfo.escapeRcvd == FALSE && byte == ZV_EAC_NWK_CHARS_STX) {
        startFrameUnit(inst);
    }
    if (rawDataActive != 0) {
        const bool startsFrame =
            stage == RX_STAGE_IDLE && byte == ZV_EAC_NWK_CHARS_STX && inst->rxRcvdInfo.escapeRcvd == FALSE;
        zvEacRawDumpByte(&inst->rawDump, byte, startsFrame ? ZV_EAC_RAW_DUMP_FRAME_START : dumpPlaceOf(stage));
    }
    switch (stage) {
        case RX_STAGE_IDLE:
            idleByte(inst, byte, arrivalTick);
            return;
        case RX_STAGE_ETX:
            etxByte(inst, byte);
            return;
        default:
            break;
    }
    // Between STX and ETX every byte restarts the time-out, ESC bytes too.
    restartRxTimer(inst, arrivalTick);
    if (!zvEacFrameUnescapeStep(inst->rxRcvdInfo.escapeRcvd, byte)) {
        return;
    }
    switch (stage) {
        case RX_STAGE_HEADER:
            headerValue(inst, byte);
            break;
        case RX_STAGE_DATA:
            dataValue(inst, byte);
            break;
        default:
            bccValue(inst, byte);
            break;
    }
}

Boolean enterStage(ZvEacNwkInst* inst, RxStage stage) {
    switch (stage) {
        case RX_STAGE_IDLE:
            // Every way back here passes this point, so a frame dropped
            // half-way never keeps its buffer.
            zvEacNwkFree(inst->rxRcvdInfo.data);
            inst->rxRcvdInfo = ZvEacRxRcvdInfo{};
            inst->rxTimerStart = ZV_EAC_NWK_RX_TIMER_STOPPED;
            zvEacRawDumpReset(&inst->rawDump);
            return TRUE;
        case RX_STAGE_DATA:
            inst->rxRcvdInfo.numRcvdBytes = 0;
            return TRUE;
        default:
            return FALSE;
    }
}

Boolean handleEvent(void* userData, IcSmEvent ev, RxStage stage) {
    ZvEacNwkInst* inst = instanceOf(userData);
    switch (ev) {
        case ZV_EAC_NWK_EV_ENTER_STATE:
            return enterStage(inst, stage);
        case ZV_EAC_NWK_EV_DATA_RCVD:
            takeByte(inst, stage);
            return TRUE;
        case ZV_EAC_NWK_EV_RX_TIMEOUT:
            if (stage == RX_STAGE_IDLE) {
                return FALSE;  // no frame to give up
            }
            dropFrame(inst, ZV_EAC_NWK_UNIT_DROP_TIMEOUT);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

Boolean nwkSmInitState(IcSmStateMachine* /*smPtr*/, IcSmEvent ev, void* userData) {
    return handleEvent(userData, ev, RX_STAGE_IDLE);
}

Boolean nwkSmGetHeaderState(IcSmStateMachine* /*smPtr*/, IcSmEvent ev, void* userData) {
    return handleEvent(userData, ev, RX_STAGE_HEADER);
}

Boolean nwkSmGetDataState(IcSmStateMachine* /*smPtr*/, IcSmEvent ev, void* userData) {
    return handleEvent(userData, ev, RX_STAGE_DATA);
}

Boolean nwkSmGetBccState(IcSmStateMachine* /*smPtr*/, IcSmEvent ev, void* userData) {
    return handleEvent(userData, ev, RX_STAGE_BCC);
}

Boolean nwkSmGetEtxState(IcSmStateMachine* /*smPtr*/, IcSmEvent ev, void* userData) {
    return handleEvent(userData, ev, RX_STAGE_ETX);
}

void zvEacNwkInit(ZvEacNwkInst* self, IcFifoInstance* fifoTx, IcFifoInstance* fifoRx, ZvEacNwkRxCbFunc rxCbFunc,
                  ZvEacNwkTxResultCbFunc txResultFunc, void* cbArg) {
    self->fifoTx = fifoTx;
    self->fifoRx = fifoRx;
    self->rxCbFunc = rxCbFunc;
    self->txResultFunc = txResultFunc;
    self->cbArg = cbArg;
    self->rxTimerStart = ZV_EAC_NWK_RX_TIMER_STOPPED;
    self->doTxResCb = FALSE;
    self->rxRcvdInfo = ZvEacRxRcvdInfo{};
    self->rawDump = ZvEacRawDump{};
    self->tap = nullptr;
    self->tapArg = nullptr;
    self->wire.length = 0;
    self->wire.inFrame = FALSE;
    self->wire.firstArrivalTick = 0;
    self->wire.lastArrivalTick = 0;
    self->wire.previousArrivalTick = 0;
    self->wire.firstArrivalMicros = 0;
    self->wire.lastArrivalMicros = 0;
    self->wire.previousArrivalMicros = 0;
    icSmInit(&self->stateMachine, nwkSmInitState, nullptr, self);
}

void zvEacNwkExe(ZvEacNwkInst* self) {
    // At most one received byte per step. The queue is first-in first-out:
    // an event left from the previous step (the first enter event, or a
    // time-out) goes first, the new byte event second, so the queue never
    // holds more than two events and is empty again after this.
    if (icFifoCharsToPop(self->fifoRx) != 0) {
        icSmHandleEvent(&self->stateMachine, ZV_EAC_NWK_EV_DATA_RCVD);
        icSmExe(&self->stateMachine);
    }
    icSmExe(&self->stateMachine);

    if (self->doTxResCb) {
        self->doTxResCb = FALSE;
        if (self->txResultFunc != nullptr) {
            self->txResultFunc(self->cbArg, ZV_EAC_NWK_RC_SUCCESS);
        }
    }

    checkRxTimerExpiry(self);
}

U32 zvEacNwkNextDeadline_ms(ZvEacNwkInst* self) {
    // The same two gaps checkRxTimerExpiry looks at: a frame in progress and
    // a run of noise, each since its last byte.
    U32 due = MAX_U32;
    const U16 now = getTickWithWrap();
    const auto dueAfter = [now](U16 since) {
        const U16 elapsed = elapsedTicks(now, since);
        return elapsed > ZV_EAC_NWK_RX_MAX_GAP_MS ? 0U : static_cast<U32>(ZV_EAC_NWK_RX_MAX_GAP_MS + 1U - elapsed);
    };
    if (self->rxTimerStart != ZV_EAC_NWK_RX_TIMER_STOPPED) {
        due = dueAfter(self->rxTimerStart);
    }
    if (self->wire.length != 0 && self->wire.inFrame == FALSE) {
        due = std::min(due, dueAfter(static_cast<U16>(self->wire.lastArrivalTick & ZV_EAC_NWK_TICK_MASK)));
    }
    return due;
}

void zvEacNwkTx(ZvEacNwkInst* self, ZvEacNwkAddr source, ZvEacNwkAddr destination, ZvEacNwkLen length, U8* message) {
    IC_ASSERT(ZV_EAC_NWK_FILE, length == 0 || message != nullptr);
    std::array<U8, ZV_EAC_NWK_MAX_ENCODED_FRAME> frame{};
    const std::size_t size = zvEacFrameEncode(source, destination, std::span<const U8>(message, length), frame);
    if (size == 0) {
        icErrorHandler(ZV_EAC_NWK_FILE, 0, ZV_EAC_NWK_TX_TOO_LONG_LINE, "Assertion failed 'FALSE'");
    }
    icFifoPushBlock(self->fifoTx, reinterpret_cast<const Char*>(frame.data()), static_cast<IcFifoIndex>(size));
    self->doTxResCb = TRUE;
    zvEacNwkFree(message);
}

U8* zvEacNwkAlloc(ZvEacNwkLen requestedSize) {
    // A frame without data has no buffer at all.
    if (requestedSize == 0) {
        return nullptr;
    }
    return static_cast<U8*>(memAlloc(requestedSize));
}

void zvEacNwkFree(U8* buffer) {
    if (buffer != nullptr) {
        memFree(buffer);
    }
}

void zvEacNwkSetRawData(U8 rawDataState) { rawDataActive = rawDataState; }

void zvEacNwkSetTap(ZvEacNwkInst* self, ZvEacNwkTapFunc tap, void* arg) {
    self->tap = tap;
    self->tapArg = arg;
}

void zvEacNwkSetRawDumpGate(ZvEacNwkInst* self, ZvEacRawDumpGate gate, void* arg) {
    zvEacRawDumpSetGate(&self->rawDump, gate, arg);
}

void zvEacNwkFlush(ZvEacNwkInst* self) {
    if (self->wire.inFrame == FALSE) {
        endUnit(self, ZV_EAC_NWK_UNIT_NOISE);
    }
}

void zvEacNwkFinish(ZvEacNwkInst* self) {
    if (self->wire.inFrame != FALSE) {
        dropFrame(self, ZV_EAC_NWK_UNIT_DROP_CUT);
        icSmExe(&self->stateMachine);  // back to idle: the frame's buffer goes
        return;
    }
    zvEacNwkFlush(self);
}

U16 zvEacNwkUnitFirstTick(const ZvEacNwkInst* self) { return self->wire.firstArrivalTick; }
