// Link layer of the bus: the frame receiver (a state machine fed one byte per
// execute step), the raw byte dump and the frame encoder.
//
// Frame on the wire: STX, destination, source, length, data..., BCC, ETX.
// Every byte between STX and ETX that equals STX, ETX or ESC travels as ESC
// followed by the value with bit 7 set; the BCC is the XOR of the unescaped
// header and data bytes.
#include "eac/zelvan/zvEacNetwork.h"

#include <array>

#include "eac/zelvan/zvEacNetworkPrivate.h"
#include "error/icError.h"
#include "fifo/icFifo.h"
#include "logger/logger.h"
#include "memory/mallocWrap/mallocWrap.h"
#include "timer/icTimer.h"

namespace {

constexpr const char* ZV_EAC_NWK_FILE = "eac/zelvan/zvEacNetwork";
// The line this fatal error has always reported; operators and scripts
// recognise it, so it does not follow the position in this file.
constexpr U16 ZV_EAC_NWK_TX_TOO_LONG_LINE = 670;
constexpr U8 ZV_EAC_NWK_ESCAPE_BIT = 0x80;
// STX, destination, source, length, BCC and ETX, before any escapes.
constexpr U16 ZV_EAC_NWK_FRAME_OVERHEAD = 6;

U8 rawDataActive = 0;
// The raw dump's memory that the byte printed last was an ESC, so the next
// one is shown as a plain value whatever it is.
Boolean lastWasEscape = FALSE;

ZvEacNwkInst* instanceOf(void* userData) { return static_cast<ZvEacNwkInst*>(userData); }

void requestState(ZvEacNwkInst* inst, IcSmState state) { inst->stateMachine.nextState = state; }

// The 16-bit tick wraps at a multiple of 16384, so its low 14 bits count on
// evenly across the wrap and 0xFFFF stays free as the "stopped" marker.
U16 getTickWithWrap() { return static_cast<U16>(icTimerGetRunningTimer_ms() & ZV_EAC_NWK_TICK_MASK); }

// Gaps are measured between the times the bytes came off the line, so a main
// loop that falls behind neither drops a frame whose bytes came together nor
// hides a real pause on the line.
void restartRxTimer(ZvEacNwkInst* inst, U16 arrivalTick) {
    inst->rxTimerStart = static_cast<U16>(arrivalTick & ZV_EAC_NWK_TICK_MASK);
}

void checkRxTimerExpiry(ZvEacNwkInst* inst) {
    if (inst->rxTimerStart == ZV_EAC_NWK_RX_TIMER_STOPPED) {
        return;
    }
    // The clock is read before the FIFO is asked: if it is empty then, the
    // line has been quiet at least until this reading.
    U16 until = getTickWithWrap();
    U16 nextArrival = 0;
    if (icFifoPeekArrivalTick(inst->fifoRx, &nextArrival) != FALSE) {
        until = static_cast<U16>(nextArrival & ZV_EAC_NWK_TICK_MASK);
    }
    const U16 elapsed = static_cast<U16>((until - inst->rxTimerStart) & ZV_EAC_NWK_TICK_MASK);
    if (elapsed > ZV_EAC_NWK_RX_MAX_GAP_MS) {
        inst->rxTimerStart = ZV_EAC_NWK_RX_TIMER_STOPPED;
        icSmHandleEvent(&inst->stateMachine, ZV_EAC_NWK_EV_RX_TIMEOUT);
    }
}

constexpr bool isControlChar(U8 chr) {
    return chr == ZV_EAC_NWK_CHARS_STX || chr == ZV_EAC_NWK_CHARS_ETX || chr == ZV_EAC_NWK_CHARS_ESC;
}

void printRawData(U8 byte) {
    if (lastWasEscape) {
        lastWasEscape = FALSE;
        loggerPrintf("%02x  ", byte);
        return;
    }
    switch (byte) {
        case ZV_EAC_NWK_CHARS_STX:
            loggerPrintf("     STX ");
            break;
        case ZV_EAC_NWK_CHARS_ETX:
            loggerPrintf("ETX  ");
            break;
        case ZV_EAC_NWK_CHARS_ESC:
            loggerPrintf("ESC ");
            lastWasEscape = TRUE;
            break;
        default:
            loggerPrintf("%02x  ", byte);
            break;
    }
}

// Takes the next received byte. Popping an empty FIFO would yield a 0 that
// looks like data, so the count is asked first.
bool popRxByte(ZvEacNwkInst* inst, U8& byte, U16& arrivalTick) {
    if (icFifoCharsToPop(inst->fifoRx) == 0) {
        return false;
    }
    byte = static_cast<U8>(icFifoPopCharWithTick(inst->fifoRx, &arrivalTick));
    return true;
}

bool popAndPrintRxByte(ZvEacNwkInst* inst, U8& byte, U16& arrivalTick) {
    if (!popRxByte(inst, byte, arrivalTick)) {
        return false;
    }
    if (rawDataActive != 0) {
        printRawData(byte);
    }
    return true;
}

// Escape step of the header, data and BCC states. Returns false for an ESC,
// which only announces that the next byte is to be restored; otherwise
// `byte` holds the value to use.
bool unescapeRxByte(ZvEacRxRcvdInfo& rx, U8& byte) {
    if (rx.escapeRcvd) {
        rx.escapeRcvd = FALSE;
        byte = static_cast<U8>(byte & ~ZV_EAC_NWK_ESCAPE_BIT);
        return true;
    }
    if (byte == ZV_EAC_NWK_CHARS_ESC) {
        rx.escapeRcvd = TRUE;
        return false;
    }
    return true;
}

// The common start of every byte inside a frame: pop it, restart the
// receive time-out (ESC bytes count too) and undo escaping. FALSE while no
// value is ready: nothing waiting, or the byte was an ESC.
bool takeFrameValue(ZvEacNwkInst* inst, U8& value) {
    U16 arrivalTick = 0;
    if (!popAndPrintRxByte(inst, value, arrivalTick)) {
        return false;
    }
    restartRxTimer(inst, arrivalTick);
    return unescapeRxByte(inst->rxRcvdInfo, value);
}

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

void putAndEscapeChar(std::array<U8, ZV_EAC_NWK_MAX_ENCODED_FRAME>& msg, U8& bufIndex, U8 chr) {
    if (isControlChar(chr)) {
        msg[bufIndex++] = ZV_EAC_NWK_CHARS_ESC;
        msg[bufIndex++] = static_cast<U8>(chr | ZV_EAC_NWK_ESCAPE_BIT);
    } else {
        msg[bufIndex++] = chr;
    }
}

}  // namespace

Boolean nwkSmInitState(IcSmStateMachine* /*smPtr*/, IcSmEvent ev, void* userData) {
    ZvEacNwkInst* inst = instanceOf(userData);
    ZvEacRxRcvdInfo& rx = inst->rxRcvdInfo;
    switch (ev) {
        case ZV_EAC_NWK_EV_ENTER_STATE:
            // Every way back here passes this point, so a frame dropped
            // half-way never keeps its buffer.
            zvEacNwkFree(rx.data);
            rx = ZvEacRxRcvdInfo{};
            inst->rxTimerStart = ZV_EAC_NWK_RX_TIMER_STOPPED;
            // A frame dropped right after an ESC must not make the dump show
            // the next byte, possibly an STX, as an escaped value.
            lastWasEscape = FALSE;
            return TRUE;
        case ZV_EAC_NWK_EV_DATA_RCVD: {
            U8 byte = 0;
            U16 arrivalTick = 0;
            if (!popRxByte(inst, byte, arrivalTick)) {
                return TRUE;
            }
            if (rawDataActive != 0) {
                loggerPrintTimestamp();
                printRawData(byte);
            }
            if (rx.escapeRcvd) {
                rx.escapeRcvd = FALSE;  // an escaped STX is a value, not a frame start
            } else if (byte == ZV_EAC_NWK_CHARS_STX) {
                requestState(inst, nwkSmGetHeaderState);
                restartRxTimer(inst, arrivalTick);
            } else if (byte == ZV_EAC_NWK_CHARS_ESC) {
                rx.escapeRcvd = TRUE;
            }
            return TRUE;
        }
        default:
            return FALSE;
    }
}

Boolean nwkSmGetHeaderState(IcSmStateMachine* /*smPtr*/, IcSmEvent ev, void* userData) {
    ZvEacNwkInst* inst = instanceOf(userData);
    ZvEacRxRcvdInfo& rx = inst->rxRcvdInfo;
    switch (ev) {
        case ZV_EAC_NWK_EV_DATA_RCVD: {
            U8 byte = 0;
            if (!takeFrameValue(inst, byte)) {
                return TRUE;
            }
            switch (rx.numRcvdBytes) {
                case 0:
                    rx.dest = byte;
                    rx.bcc = byte;
                    rx.numRcvdBytes = 1;
                    break;
                case 1:
                    rx.source = byte;
                    rx.bcc ^= byte;
                    rx.numRcvdBytes = 2;
                    break;
                default:
                    rx.length = byte;
                    rx.bcc ^= byte;
                    if (rx.length == 0) {
                        rx.data = nullptr;
                        requestState(inst, nwkSmGetBccState);
                    } else {
                        // Exactly the announced size, once per frame; without
                        // memory the frame is dropped here and its remaining
                        // bytes, escaped, hold no STX for the idle state.
                        rx.data = zvEacNwkAlloc(rx.length);
                        requestState(inst, rx.data != nullptr ? nwkSmGetDataState : nwkSmInitState);
                    }
                    break;
            }
            return TRUE;
        }
        case ZV_EAC_NWK_EV_RX_TIMEOUT:
            requestState(inst, nwkSmInitState);
            return TRUE;
        default:
            return FALSE;
    }
}

Boolean nwkSmGetDataState(IcSmStateMachine* /*smPtr*/, IcSmEvent ev, void* userData) {
    ZvEacNwkInst* inst = instanceOf(userData);
    ZvEacRxRcvdInfo& rx = inst->rxRcvdInfo;
    switch (ev) {
        case ZV_EAC_NWK_EV_ENTER_STATE:
            rx.numRcvdBytes = 0;
            return TRUE;
        case ZV_EAC_NWK_EV_DATA_RCVD: {
            U8 byte = 0;
            if (!takeFrameValue(inst, byte)) {
                return TRUE;
            }
            if (rx.data == nullptr || rx.numRcvdBytes >= rx.length) {
                // Only reachable through a damaged instance record; never
                // write past the buffer for it.
                requestState(inst, nwkSmInitState);
                return TRUE;
            }
            rx.bcc ^= byte;
            rx.data[rx.numRcvdBytes++] = byte;
            if (rx.numRcvdBytes == rx.length) {
                requestState(inst, nwkSmGetBccState);
            }
            return TRUE;
        }
        case ZV_EAC_NWK_EV_RX_TIMEOUT:
            requestState(inst, nwkSmInitState);
            return TRUE;
        default:
            return FALSE;
    }
}

Boolean nwkSmGetBccState(IcSmStateMachine* /*smPtr*/, IcSmEvent ev, void* userData) {
    ZvEacNwkInst* inst = instanceOf(userData);
    ZvEacRxRcvdInfo& rx = inst->rxRcvdInfo;
    switch (ev) {
        case ZV_EAC_NWK_EV_DATA_RCVD: {
            U8 byte = 0;
            if (!takeFrameValue(inst, byte)) {
                return TRUE;
            }
            if (byte == rx.bcc) {
                requestState(inst, nwkSmGetEtxState);
            } else {
                requestState(inst, nwkSmInitState);
                inst->rxTimerStart = ZV_EAC_NWK_RX_TIMER_STOPPED;
            }
            return TRUE;
        }
        case ZV_EAC_NWK_EV_RX_TIMEOUT:
            requestState(inst, nwkSmInitState);
            return TRUE;
        default:
            return FALSE;
    }
}

Boolean nwkSmGetEtxState(IcSmStateMachine* /*smPtr*/, IcSmEvent ev, void* userData) {
    ZvEacNwkInst* inst = instanceOf(userData);
    switch (ev) {
        case ZV_EAC_NWK_EV_DATA_RCVD: {
            U8 byte = 0;
            U16 arrivalTick = 0;  // the frame ends here; no gap to measure
            if (!popRxByte(inst, byte, arrivalTick)) {
                return TRUE;
            }
            if (rawDataActive != 0) {
                // Finish the raw line before the callback prints the frame.
                printRawData(byte);
                loggerPrintf("\n");
            }
            // No escape step: only a plain ETX ends a frame, and whatever
            // came instead is consumed with the dropped frame.
            if (byte == ZV_EAC_NWK_CHARS_ETX) {
                deliverFrame(inst);
            }
            inst->rxTimerStart = ZV_EAC_NWK_RX_TIMER_STOPPED;
            requestState(inst, nwkSmInitState);
            return TRUE;
        }
        case ZV_EAC_NWK_EV_RX_TIMEOUT:
            requestState(inst, nwkSmInitState);
            return TRUE;
        default:
            return FALSE;
    }
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
    if (self->rxTimerStart == ZV_EAC_NWK_RX_TIMER_STOPPED) {
        return MAX_U32;
    }
    const U16 elapsed = static_cast<U16>((getTickWithWrap() - self->rxTimerStart) & ZV_EAC_NWK_TICK_MASK);
    return elapsed > ZV_EAC_NWK_RX_MAX_GAP_MS ? 0U : static_cast<U32>(ZV_EAC_NWK_RX_MAX_GAP_MS + 1U - elapsed);
}

void zvEacNwkTx(ZvEacNwkInst* self, ZvEacNwkAddr source, ZvEacNwkAddr destination, ZvEacNwkLen length, U8* message) {
    IC_ASSERT(ZV_EAC_NWK_FILE, length == 0 || message != nullptr);

    // Size the frame exactly first; wide enough that a long message full of
    // control values cannot wrap the count below the limit.
    U16 newLength = ZV_EAC_NWK_FRAME_OVERHEAD;
    U8 bcc = static_cast<U8>(source ^ destination ^ length);
    newLength += isControlChar(destination) + isControlChar(source) + isControlChar(length);
    for (U16 i = 0; i < length; ++i) {
        bcc ^= message[i];
        newLength += 1 + isControlChar(message[i]);
    }
    newLength += isControlChar(bcc);
    if (newLength > ZV_EAC_NWK_MAX_ENCODED_FRAME) {
        icErrorHandler(ZV_EAC_NWK_FILE, 0, ZV_EAC_NWK_TX_TOO_LONG_LINE, "Assertion failed 'FALSE'");
    }

    std::array<U8, ZV_EAC_NWK_MAX_ENCODED_FRAME> newMessage{};
    U8 bufIndex = 0;
    newMessage[bufIndex++] = ZV_EAC_NWK_CHARS_STX;
    putAndEscapeChar(newMessage, bufIndex, destination);
    putAndEscapeChar(newMessage, bufIndex, source);
    putAndEscapeChar(newMessage, bufIndex, length);
    for (U16 i = 0; i < length; ++i) {
        putAndEscapeChar(newMessage, bufIndex, message[i]);
    }
    putAndEscapeChar(newMessage, bufIndex, bcc);
    newMessage[bufIndex++] = ZV_EAC_NWK_CHARS_ETX;

    icFifoPushBlock(self->fifoTx, reinterpret_cast<const Char*>(newMessage.data()), newLength);
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
