// Plays recorded line bytes through a frame receiver on a clock taken from
// the recording, so that the receiver decides again what it decided when the
// bytes came in: where frames start and end, which are dropped and why.
#pragma once

#include <span>

#include "base/hal_types.h"
#include "capture/zvCapFormat.h"
#include "eac/zelvan/zvEacNetwork.h"
#include "fifo/icFifo.h"

// The receiver reads `fifoRx`, which must keep arrival ticks. From here to
// zvCapReplayEnd the platform's millisecond count is the replay's clock.
void zvCapReplayBegin(ZvEacNwkInst* nwk, IcFifoInstance* fifoRx);
// One packet of a capture: the bytes of one run, the first of them at
// `wall_us`, timed by the receiver ticks the header carries where it has
// them.
void zvCapReplayPacket(U64 wall_us, const ZvCapHeader& header, std::span<const U8> wire);
// The next bytes of a file of raw line bytes, which came back to back at
// `bitRate` from the instant 0 on.
void zvCapReplayRaw(std::span<const U8> bytes, U32 bitRate);
// The input has ended: what the receiver still holds is decided on, and
// the clock stays the replay's, so that figures read now cover the file.
void zvCapReplayFinish();
// Finishes if that was not done, and gives the real clock back.
void zvCapReplayEnd();
// The recorded instant of a tick of the replay's clock.
U64 zvCapReplayWallOf(U16 tick);
