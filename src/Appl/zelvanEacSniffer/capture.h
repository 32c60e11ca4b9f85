// Recording the live line into a capture file: every unit the receiver
// decides on, stamped with the arrival of its first byte; and the receive
// step of the main loop, inside which reports carry that time too.
#pragma once

#include <mutex>
#include <string>
#include <thread>

#include "Appl/zelvanEacSniffer/captureRing.h"
#include "Appl/zelvanEacSniffer/commandLine.h"
#include "base/hal_types.h"
#include "capture/zvCapClock.h"
#include "capture/zvCapFile.h"
#include "eac/zelvan/zvEacNetwork.h"
#include "timer/icTimer.h"

// The ring the command line asks -w to write.
CaptureRingLimits mainCaptureRingLimits(const MainOptions& options);

// Appends `unit` as one packet stamped `wall_us`; FALSE with the reason.
Boolean captureAppendUnit(CaptureRing& ring, const ZvEacNwkUnit& unit, U32 bitRate, U64 wall_us, std::string& error);

class CaptureRecorder {
public:
    CaptureRecorder() = default;
    CaptureRecorder(const CaptureRecorder&) = delete;
    CaptureRecorder& operator=(const CaptureRecorder&) = delete;

    // Reports get their time from the receiver `nwk`; the file is flushed
    // once a second and on every way out of the process.
    void init(ZvEacNwkInst* nwk, U32 bitRate);
    // Every recording of the run (-w and the console's) as a ring of files.
    void setRing(const CaptureRingLimits& limits) { limits_ = limits; }
    // Opens the capture file; FALSE (with one line on the console, and the
    // reason in `reason`) when it cannot.
    Boolean start(const char* path, std::string& reason);
    void stop();
    // What the receiver decided on, into the file while one is open.
    void tap(const ZvEacNwkUnit& unit);
    // One receive step of the main loop.
    void receiveStep();
    // On a way out of the process, from any thread: what was recorded reaches
    // the file; on the main loop's thread a frame still coming in first.
    void flushOnExit();
    bool onLoopThread() const { return std::this_thread::get_id() == loopThread_; }
    // A capture file is being written.
    bool recording() const { return ring_.isOpen(); }

private:
    static Boolean reportTime(void* arg, U64* wall_us);
    static void onFlushTimer(void* cbArg, IcTimerHandle th);
    U64 wallOf(U16 tick);
    void closeWriter();
    void giveUp(const std::string& error);

    ZvEacNwkInst* nwk_ = nullptr;
    U32 bitRate_ = 0;
    ZvCapWallClock clock_{};
    Boolean insideReceiver_ = FALSE;
    // The writer is used by the main loop and, on a way out, by whichever
    // thread ends the process.
    std::recursive_timed_mutex writerLock_;
    CaptureRing ring_;
    CaptureRingLimits limits_{};
    Boolean unflushed_ = FALSE;
    IcTimerHandle flushTimer_ = 0;
    Boolean flushTimerAllocated_ = FALSE;
    std::thread::id loopThread_;
};
