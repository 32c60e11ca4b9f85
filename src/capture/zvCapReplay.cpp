#include "capture/zvCapReplay.h"

#include "eac/zelvan/zvEacNetworkPrivate.h"
#include "hal/include/icPlatformTimer.h"

namespace {

constexpr U64 kMicrosPerMilli = 1000;
// 8 data bits, 2 stop bits and the start bit.
constexpr U64 kBitsPerByte = 11;
constexpr U64 kMillisPerSecond = 1000;
// Past the receive time-out: what timed out on the line times out again.
constexpr U32 kTimeoutGap_ms = ZV_EAC_NWK_RX_MAX_GAP_MS + 1;
// Events the receiver may still hold once its FIFO is empty.
constexpr int kSettleSteps = 2;

ZvEacNwkInst* receiver = nullptr;
IcFifoInstance* fifo = nullptr;
U32 nowTick = 0;
bool started = false;
U64 baseWall_us = 0;
U32 baseTick = 0;
// The instant and tick of the packet played last: reports map to them.
U64 currentWall_us = 0;
U32 currentTick = 0;
ZvCapKind lastKind = ZV_CAP_KIND_FRAME;
U64 rawBytesPlayed = 0;
bool finished = false;
U16 firstStoredTick = 0;

U32 replayTick() { return nowTick; }

void runReceiver() {
    while (icFifoCharsToPop(fifo) != 0) {
        zvEacNwkExe(receiver);
    }
    for (int i = 0; i < kSettleSteps; ++i) {
        zvEacNwkExe(receiver);
    }
}

// Moves the clock on; the receiver sees the quiet time before the next byte.
void advanceTo(U32 tick) {
    nowTick = tick;
    runReceiver();
}

void push(U8 byte) {
    if (icFifoCharsToPop(fifo) + 1 >= fifo->buflen) {
        runReceiver();
    }
    icFifoPushChar(fifo, static_cast<Char>(byte));
}

}  // namespace

void zvCapReplayBegin(ZvEacNwkInst* nwk, IcFifoInstance* fifoRx) {
    receiver = nwk;
    fifo = fifoRx;
    nowTick = 0;
    started = false;
    baseWall_us = 0;
    baseTick = 0;
    currentWall_us = 0;
    currentTick = 0;
    lastKind = ZV_CAP_KIND_FRAME;
    rawBytesPlayed = 0;
    finished = false;
    platformTimerSetTickSource(replayTick);
}

void zvCapReplayPacket(U64 wall_us, const ZvCapHeader& header, std::span<const U8> wire) {
    // The live run stamped its reports on a grid of whole milliseconds; the
    // microseconds beyond it only say when within that millisecond the first
    // byte came.
    const U64 gridWall_us = wall_us - wall_us % kMicrosPerMilli;
    U32 tick = nowTick;
    if (!started) {
        started = true;
        baseWall_us = gridWall_us;
        baseTick = nowTick;
        firstStoredTick = header.firstTick;
    } else {
        // From the first packet, not the previous one: whole milliseconds
        // apart on the line stay whole milliseconds apart here.
        if (gridWall_us >= baseWall_us) {
            tick = baseTick + static_cast<U32>((gridWall_us - baseWall_us) / kMicrosPerMilli);
        }
        if (header.hasTicks != FALSE) {
            // The receiver's own clock, as it was: the tick nearest to the
            // wall clock's estimate that has the stored low 16 bits.
            const auto stored = static_cast<U16>(header.firstTick - firstStoredTick + baseTick);
            tick += static_cast<U32>(static_cast<S32>(static_cast<S16>(static_cast<U16>(stored - tick))));
        }
        if (static_cast<S32>(tick - nowTick) < 0) {
            tick = nowTick;  // out of order: as soon as possible
        }
        if (header.hasTicks == FALSE && lastKind == ZV_CAP_KIND_DROP_TIMEOUT &&
            static_cast<S32>(tick - nowTick) < static_cast<S32>(kTimeoutGap_ms)) {
            tick = nowTick + kTimeoutGap_ms;
        }
    }
    advanceTo(tick);
    currentWall_us = gridWall_us;
    currentTick = tick;
    lastKind = header.kind;
    // The bytes between the first and the last came evenly spread, as far
    // as anyone can tell: no gap between them is longer than the live one.
    const U32 span = header.hasTicks != FALSE ? static_cast<U16>(header.lastTick - header.firstTick) : 0U;
    for (std::size_t i = 0; i < wire.size(); ++i) {
        if (span != 0 && i != 0) {
            nowTick = tick + static_cast<U32>(static_cast<U64>(span) * i / (wire.size() - 1));
        }
        push(wire[i]);
    }
    runReceiver();
    if (header.kind == ZV_CAP_KIND_DROP_CUT) {
        zvEacNwkFinish(receiver);  // as the live run ended here
    }
}

void zvCapReplayRaw(std::span<const U8> bytes, U32 bitRate) {
    if (bitRate == 0) {
        return;
    }
    for (const U8 byte : bytes) {
        const U32 tick = static_cast<U32>(rawBytesPlayed * kBitsPerByte * kMillisPerSecond / bitRate);
        ++rawBytesPlayed;
        if (tick != nowTick) {
            nowTick = tick;
        }
        push(byte);
    }
    runReceiver();
}

void zvCapReplayFinish() {
    if (receiver != nullptr && fifo != nullptr && !finished) {
        finished = true;
        runReceiver();
        if (lastKind == ZV_CAP_KIND_DROP_TIMEOUT) {
            // The live receiver timed this frame out before the run ended:
            // the quiet line that did it is not in the file, so give it.
            advanceTo(nowTick + kTimeoutGap_ms);
        }
        // The input ends as a live run does: what was still coming in is cut.
        zvEacNwkFinish(receiver);
        advanceTo(nowTick + kTimeoutGap_ms);
    }
}

void zvCapReplayEnd() {
    zvCapReplayFinish();
    platformTimerSetTickSource(nullptr);
    receiver = nullptr;
    fifo = nullptr;
}

U64 zvCapReplayWallOf(U16 tick) {
    const U32 tick32 = nowTick - static_cast<U16>(static_cast<U16>(nowTick) - tick);
    const auto offset_ms = static_cast<S32>(tick32 - currentTick);
    return static_cast<U64>(static_cast<S64>(currentWall_us) + static_cast<S64>(offset_ms) * 1000);
}
