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
    platformTimerSetTickSource(replayTick);
}

void zvCapReplayPacket(U64 wall_us, ZvCapKind kind, std::span<const U8> wire) {
    U32 tick = nowTick;
    if (!started) {
        started = true;
        baseWall_us = wall_us;
        baseTick = nowTick;
    } else {
        // From the first packet, not the previous one: whole milliseconds
        // apart on the line stay whole milliseconds apart here.
        if (wall_us >= baseWall_us) {
            tick = baseTick + static_cast<U32>((wall_us - baseWall_us) / kMicrosPerMilli);
        }
        if (static_cast<S32>(tick - nowTick) < 0) {
            tick = nowTick;  // out of order: as soon as possible
        }
        if (lastKind == ZV_CAP_KIND_DROP_TIMEOUT &&
            static_cast<S32>(tick - nowTick) < static_cast<S32>(kTimeoutGap_ms)) {
            tick = nowTick + kTimeoutGap_ms;
        }
    }
    advanceTo(tick);
    currentWall_us = wall_us;
    currentTick = tick;
    lastKind = kind;
    for (const U8 byte : wire) {
        push(byte);
    }
    runReceiver();
    if (kind == ZV_CAP_KIND_DROP_CUT) {
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

void zvCapReplayEnd() {
    if (receiver != nullptr && fifo != nullptr) {
        runReceiver();
        // The input ends as a live run does: what was still coming in is cut.
        zvEacNwkFinish(receiver);
        advanceTo(nowTick + kTimeoutGap_ms);
    }
    platformTimerSetTickSource(nullptr);
    receiver = nullptr;
    fifo = nullptr;
}

U64 zvCapReplayWallOf(U16 tick) {
    const U32 tick32 = nowTick - static_cast<U16>(static_cast<U16>(nowTick) - tick);
    const auto offset_ms = static_cast<S32>(tick32 - currentTick);
    return static_cast<U64>(static_cast<S64>(currentWall_us) + static_cast<S64>(offset_ms) * 1000);
}
