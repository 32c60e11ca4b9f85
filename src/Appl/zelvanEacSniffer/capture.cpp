#include "Appl/zelvanEacSniffer/capture.h"

#include <array>
#include <chrono>
#include <cstring>
#include <span>
#include <thread>

#include "Shell/shell.h"
#include "capture/zvCapFormat.h"
#include "hal/include/icLocalTime.h"
#include "hal/include/icPlatformTimer.h"
#include "logger/logger.h"

namespace {

constexpr IcTimerTick kFlushPeriod_ms = 1000;
// How long the way out waits for the main loop to finish a write.
constexpr std::chrono::milliseconds kExitFlushWait{200};

// The kinds of the receiver as stored in the file, whose numbers never change.
constexpr std::array<ZvCapKind, ZV_EAC_NWK_UNIT_KINDS> kKindOfUnit{
    ZV_CAP_KIND_FRAME,       ZV_CAP_KIND_NOISE,          ZV_CAP_KIND_DROP_BCC, ZV_CAP_KIND_DROP_TIMEOUT,
    ZV_CAP_KIND_DROP_NO_ETX, ZV_CAP_KIND_DROP_NO_MEMORY, ZV_CAP_KIND_DROP_CUT,
};
static_assert(ZV_EAC_NWK_UNIT_DROP_CUT == 6 && kKindOfUnit[ZV_EAC_NWK_UNIT_DROP_CUT] == ZV_CAP_KIND_DROP_CUT);

void printNote(void* /*arg*/, const std::string& text) { shellApi->printf(shellApi->sh, "%s", text.c_str()); }

}  // namespace

U64 CaptureRecorder::wallOf(U16 tick) {
    return zvCapWallClockAt(clock_, tick, platformTimerGetTickCount(), icWallClockNow_us());
}

Boolean CaptureRecorder::reportTime(void* arg, U64* wall_us) {
    auto* self = static_cast<CaptureRecorder*>(arg);
    if (self->insideReceiver_ == FALSE || self->nwk_ == nullptr) {
        return FALSE;
    }
    *wall_us = self->wallOf(zvEacNwkUnitFirstTick(self->nwk_));
    return TRUE;
}

// Called with writerLock_ held.
void CaptureRecorder::closeWriter() {
    std::string error;
    if (ring_.close(error) == FALSE) {
        shellApi->printf(shellApi->sh, "Could not write capture file %s: %s\n", ring_.currentPath().c_str(),
                         error.c_str());
    }
    unflushed_ = FALSE;
    if (flushTimerAllocated_ != FALSE) {
        icTimerStop(flushTimer_);
    }
}

// Called with writerLock_ held: a file that fails is given up, sniffing goes on.
void CaptureRecorder::giveUp(const std::string& error) {
    shellApi->printf(shellApi->sh, "Could not write capture file %s: %s; recording stopped\n",
                     ring_.currentPath().c_str(), error.c_str());
    std::string ignored;
    (void)ring_.close(ignored);
    unflushed_ = FALSE;
    if (flushTimerAllocated_ != FALSE) {
        icTimerStop(flushTimer_);
    }
}

CaptureRingLimits mainCaptureRingLimits(const MainOptions& options) {
    constexpr U64 kBytesPerMB = 1000000;
    constexpr U64 kMicrosPerSecond = 1000000;
    CaptureRingLimits limits;
    limits.maxBytes = options.captureSize_MB * kBytesPerMB;
    limits.maxDuration_us = options.captureDuration_s * kMicrosPerSecond;
    limits.keepFiles = options.captureFiles;
    return limits;
}

Boolean captureAppendUnit(CaptureRing& ring, const ZvEacNwkUnit& unit, U32 bitRate, U64 wall_us, std::string& error) {
    std::array<U8, ZV_CAP_HEADER_SIZE + ZV_EAC_NWK_WIRE_CAPACITY> packet{};
    const ZvCapHeader header{unit.kind < kKindOfUnit.size() ? kKindOfUnit[unit.kind] : ZV_CAP_KIND_NOISE, bitRate, TRUE,
                             unit.firstArrivalTick, unit.lastArrivalTick};
    const std::size_t headerSize = zvCapEncodeHeader(header, packet);
    const std::size_t wireSize =
        unit.wire.size() < packet.size() - headerSize ? unit.wire.size() : packet.size() - headerSize;
    std::memcpy(packet.data() + headerSize, unit.wire.data(), wireSize);
    return ring.append(wall_us, std::span<const U8>(packet.data(), headerSize + wireSize), error);
}

void CaptureRecorder::tap(const ZvEacNwkUnit& unit) {
    const std::lock_guard<std::recursive_timed_mutex> guard(writerLock_);
    if (!ring_.isOpen()) {
        return;
    }
    std::string error;
    // The tick's instant plus how far into the tick the first byte came.
    const U64 wall_us = wallOf(unit.firstArrivalTick) + unit.firstArrivalMicros;
    if (captureAppendUnit(ring_, unit, bitRate_, wall_us, error) == FALSE) {
        giveUp(error);
        return;
    }
    unflushed_ = TRUE;
}

void CaptureRecorder::onFlushTimer(void* cbArg, IcTimerHandle /*th*/) {
    auto* self = static_cast<CaptureRecorder*>(cbArg);
    const std::lock_guard<std::recursive_timed_mutex> guard(self->writerLock_);
    if (!self->ring_.isOpen() || self->unflushed_ == FALSE) {
        return;
    }
    self->unflushed_ = FALSE;
    std::string error;
    if (self->ring_.flush(error) == FALSE) {
        self->giveUp(error);
    }
}

// What was recorded reaches the file unless the main loop holds the writer
// beyond a short wait. On the main loop's own thread (a port that failed) the
// receiver is idle, so a frame still coming in is recorded as cut first;
// another thread must not touch it.
void CaptureRecorder::flushOnExit() {
    if (!writerLock_.try_lock_for(kExitFlushWait)) {
        return;
    }
    if (nwk_ != nullptr && std::this_thread::get_id() == loopThread_) {
        zvEacNwkFinish(nwk_);
    }
    if (ring_.isOpen()) {
        std::string ignored;
        (void)ring_.flush(ignored);
    }
    writerLock_.unlock();
}

void CaptureRecorder::init(ZvEacNwkInst* nwk, U32 bitRate) {
    nwk_ = nwk;
    loopThread_ = std::this_thread::get_id();
    bitRate_ = bitRate;
    clock_ = ZvCapWallClock{};
    loggerSetTimeSource(reportTime, this);
    ring_.setNote(printNote, nullptr);
    flushTimer_ = icTimerAlloc(this);
    flushTimerAllocated_ = TRUE;
}

Boolean CaptureRecorder::start(const char* path, std::string& reason) {
    stop();
    const std::lock_guard<std::recursive_timed_mutex> guard(writerLock_);
    if (ring_.open(path, limits_, reason) == FALSE) {
        shellApi->printf(shellApi->sh, "Could not open capture file %s: %s\n", ring_.currentPath().c_str(),
                         reason.c_str());
        return FALSE;
    }
    unflushed_ = FALSE;
    if (flushTimerAllocated_ != FALSE) {
        icTimerStart(flushTimer_, kFlushPeriod_ms, IC_TIMER_FIRE_REPEATEDLY, onFlushTimer);
    }
    return TRUE;
}

void CaptureRecorder::stop() {
    // A run of noise the receiver still holds belongs in the file too.
    if (nwk_ != nullptr) {
        zvEacNwkFlush(nwk_);
    }
    const std::lock_guard<std::recursive_timed_mutex> guard(writerLock_);
    if (ring_.isOpen()) {
        closeWriter();
    }
}

void CaptureRecorder::receiveStep() {
    insideReceiver_ = TRUE;
    zvEacNwkExe(nwk_);
    insideReceiver_ = FALSE;
}
