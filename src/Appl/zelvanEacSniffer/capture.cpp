// Capture files: recording the receiver's units from the live line, and
// decoding a recorded file (or raw line bytes) without a port.
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "Appl/zelvanEacSniffer/main.h"
#include "Appl/zelvanEacSniffer/mainPrivate.h"
#include "Shell/shell.h"
#include "capture/zvCapClock.h"
#include "capture/zvCapFile.h"
#include "capture/zvCapFormat.h"
#include "capture/zvCapReplay.h"
#include "error/icError.h"
#include "hal/include/icLocalTime.h"
#include "hal/include/icPlatformTimer.h"
#include "logger/logger.h"
#include "timer/icTimer.h"

namespace {

constexpr const char* kHelpStrCapture =
    " Records every byte of the line into a capture file (pcap).\n \n capture 1 FILENAME\n capture 0\n";
constexpr const char* kReplyOk = "ok\n";
constexpr IcTimerTick kFlushPeriod_ms = 1000;
// How long the way out waits for the main loop to finish a write.
constexpr std::chrono::milliseconds kExitFlushWait{200};
constexpr std::size_t kReadChunk = 4096;

// The kinds of the receiver as stored in the file, whose numbers never change.
constexpr std::array<ZvCapKind, ZV_EAC_NWK_UNIT_KINDS> kKindOfUnit{
    ZV_CAP_KIND_FRAME,       ZV_CAP_KIND_NOISE,          ZV_CAP_KIND_DROP_BCC, ZV_CAP_KIND_DROP_TIMEOUT,
    ZV_CAP_KIND_DROP_NO_ETX, ZV_CAP_KIND_DROP_NO_MEMORY, ZV_CAP_KIND_DROP_CUT,
};
static_assert(ZV_EAC_NWK_UNIT_DROP_CUT == 6 && kKindOfUnit[ZV_EAC_NWK_UNIT_DROP_CUT] == ZV_CAP_KIND_DROP_CUT);

ZvEacNwkInst* liveNwk = nullptr;
std::thread::id liveThread;
U32 lineBitRate = 0;
ZvCapWallClock liveClock{};
Boolean insideReceiver = FALSE;

// The writer is used by the main loop and, on a way out, by whichever thread
// ends the process.
std::recursive_timed_mutex writerLock;
ZvCapWriter* writer = nullptr;
std::string writerPath;
Boolean unflushed = FALSE;
IcTimerHandle flushTimer = 0;
Boolean flushTimerAllocated = FALSE;

U64 liveWallOf(U16 tick) { return zvCapWallClockAt(liveClock, tick, platformTimerGetTickCount(), icWallClockNow_us()); }

Boolean liveReportTime(void* /*arg*/, U64* wall_us) {
    if (insideReceiver == FALSE || liveNwk == nullptr) {
        return FALSE;
    }
    *wall_us = liveWallOf(zvEacNwkUnitFirstTick(liveNwk));
    return TRUE;
}

// Called with writerLock held.
void closeWriter() {
    std::string error;
    if (zvCapWriterClose(writer, error) == FALSE) {
        shellApi->printf(shellApi->sh, "Could not write capture file %s: %s\n", writerPath.c_str(), error.c_str());
    }
    writer = nullptr;
    unflushed = FALSE;
    if (flushTimerAllocated != FALSE) {
        icTimerStop(flushTimer);
    }
}

// Called with writerLock held: a file that fails is given up, sniffing goes on.
void giveUp(const std::string& error) {
    shellApi->printf(shellApi->sh, "Could not write capture file %s: %s; recording stopped\n", writerPath.c_str(),
                     error.c_str());
    std::string ignored;
    (void)zvCapWriterClose(writer, ignored);
    writer = nullptr;
    unflushed = FALSE;
    if (flushTimerAllocated != FALSE) {
        icTimerStop(flushTimer);
    }
}

}  // namespace

void mainCaptureTap(const ZvEacNwkUnit& unit) {
    const std::lock_guard<std::recursive_timed_mutex> guard(writerLock);
    if (writer == nullptr) {
        return;
    }
    std::array<U8, ZV_CAP_HEADER_SIZE + ZV_EAC_NWK_WIRE_CAPACITY> packet{};
    const ZvCapHeader header{unit.kind < kKindOfUnit.size() ? kKindOfUnit[unit.kind] : ZV_CAP_KIND_NOISE, lineBitRate};
    const std::size_t headerSize = zvCapEncodeHeader(header, packet);
    const std::size_t wireSize =
        unit.wire.size() < packet.size() - headerSize ? unit.wire.size() : packet.size() - headerSize;
    std::memcpy(packet.data() + headerSize, unit.wire.data(), wireSize);
    std::string error;
    if (zvCapWriterAppend(writer, liveWallOf(unit.firstArrivalTick),
                          std::span<const U8>(packet.data(), headerSize + wireSize), error) == FALSE) {
        giveUp(error);
        return;
    }
    unflushed = TRUE;
}

namespace {

void onFlushTimer(void* /*cbArg*/, IcTimerHandle /*th*/) {
    const std::lock_guard<std::recursive_timed_mutex> guard(writerLock);
    if (writer == nullptr || unflushed == FALSE) {
        return;
    }
    unflushed = FALSE;
    std::string error;
    if (zvCapWriterFlush(writer, error) == FALSE) {
        giveUp(error);
    }
}

// Any thread, on a way out of the process: what was recorded reaches the file
// unless the main loop holds the writer beyond a short wait. On the main
// loop's own thread (a port that failed) the receiver is idle, so a frame
// still coming in is recorded as cut first; another thread must not touch it.
void flushOnExit() {
    if (!writerLock.try_lock_for(kExitFlushWait)) {
        return;
    }
    if (liveNwk != nullptr && std::this_thread::get_id() == liveThread) {
        zvEacNwkFinish(liveNwk);
    }
    if (writer != nullptr) {
        std::string ignored;
        (void)zvCapWriterFlush(writer, ignored);
    }
    writerLock.unlock();
}

// --- reading a file -------------------------------------------------------------

constexpr IcFifoIndex kReplayFifoSize = 255;
IcFifoInstance replayFifo{};
std::array<Char, kReplayFifoSize> replayFifoBuf{};
std::array<U16, kReplayFifoSize> replayFifoTicks{};
ZvEacNwkInst replayNwk{};

// The first reason standard output refused text; 0 while it takes it.
int stdoutError = 0;

void printToStdout(void* /*arg*/, const char* text) {
    if (std::fputs(text, stdout) == EOF && stdoutError == 0) {
        stdoutError = errno != 0 ? errno : EIO;
    }
}

// A decoded file whose text did not all arrive is no success: one line on
// the error channel and status 1.
int outputFailures() {
    if ((std::fflush(stdout) != 0 || std::ferror(stdout) != 0) && stdoutError == 0) {
        stdoutError = errno != 0 ? errno : EIO;
    }
    int status = 0;
    if (stdoutError != 0) {
        std::fprintf(stderr, "%s: standard output: cannot write: %s\n", mainAppName(), std::strerror(stdoutError));
        status = 1;
    }
    const char* logProblem = loggerFileProblem();
    if (logProblem[0] != '\0') {
        std::fprintf(stderr, "%s: option --log: cannot write to %s: %s\n", mainAppName(), mainGetOptions().logFile,
                     logProblem);
        status = 1;
    }
    std::fflush(stderr);
    return status;
}

Boolean replayReportTime(void* /*arg*/, U64* wall_us) {
    *wall_us = zvCapReplayWallOf(zvEacNwkUnitFirstTick(&replayNwk));
    return TRUE;
}

int readFailure(const char* path, unsigned long packet, const std::string& reason) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s: packet %lu: %s\n", mainAppName(), path, packet, reason.c_str());
    std::fflush(stderr);
    return 1;
}

// Reports show the year in four digits: 9999-12-30 00:00 UTC is the latest
// instant that stays in the year 9999 in every time zone.
constexpr U64 kLatestShownInstant_us = 253402128000ULL * 1000000ULL;

int replayCapture(const char* path, std::FILE* file, std::span<const U8> head) {
    std::string error;
    ZvCapReader* reader = zvCapReaderOpen(file, head, error);
    if (reader == nullptr) {
        return readFailure(path, 1, error);
    }
    unsigned long number = 0;
    int status = 0;
    bool clamped = false;
    for (;;) {
        U64 wall_us = 0;
        std::span<const U8> packet;
        const ZvCapReadResult result = zvCapReaderNext(reader, wall_us, packet, error);
        if (result == ZV_CAP_READ_END) {
            break;
        }
        ++number;
        if (result != ZV_CAP_READ_PACKET) {
            status = readFailure(path, number, error);
            break;
        }
        ZvCapHeader header{};
        std::span<const U8> wire;
        const ZvCapDecodeResult decoded = zvCapDecodePacket(packet, header, wire);
        if (decoded != ZV_CAP_DECODE_OK) {
            status = readFailure(path, number, zvCapDecodeResultText(decoded));
            break;
        }
        if (wall_us > kLatestShownInstant_us) {
            if (!clamped) {
                clamped = true;
                std::fflush(stdout);
                std::fprintf(stderr,
                             "%s: %s: packet %lu: time stamp beyond the year 9999; such packets are shown at "
                             "9999-12-30 00:00 UTC\n",
                             mainAppName(), path, number);
                std::fflush(stderr);
            }
            wall_us = kLatestShownInstant_us;
        }
        zvCapReplayPacket(wall_us, header.kind, wire);
    }
    zvCapReaderClose(reader);
    return status;
}

int replayRaw(const char* path, std::FILE* file, std::span<const U8> head, U32 bitRate) {
    zvCapReplayRaw(head, bitRate);
    std::array<U8, kReadChunk> chunk{};
    for (;;) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file);
        zvCapReplayRaw(std::span<const U8>(chunk.data(), got), bitRate);
        if (got < chunk.size()) {
            break;
        }
    }
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    if (file != stdin) {
        (void)std::fclose(file);  // read only: nothing to lose
    }
    return failed ? readFailure(path, 1, std::strerror(error)) : 0;
}

}  // namespace

// --- live -----------------------------------------------------------------------

void mainCaptureInit(ZvEacNwkInst* nwk, U32 bitRate) {
    liveNwk = nwk;
    liveThread = std::this_thread::get_id();
    lineBitRate = bitRate;
    liveClock = ZvCapWallClock{};
    loggerSetTimeSource(liveReportTime, nullptr);
    flushTimer = icTimerAlloc(nullptr);
    flushTimerAllocated = TRUE;
    icErrorAddExitHook(flushOnExit);
    shellApi->reg(shellApi->sh, "capture", kHelpStrCapture, mainCaptureCmd, nullptr);
}

Boolean mainCaptureStart(const char* path, std::string& reason) {
    mainCaptureStop();
    ZvCapWriter* opened = zvCapWriterOpen(path, reason);
    if (opened == nullptr) {
        shellApi->printf(shellApi->sh, "Could not open capture file %s: %s\n", path, reason.c_str());
        return FALSE;
    }
    const std::lock_guard<std::recursive_timed_mutex> guard(writerLock);
    writer = opened;
    writerPath = path;
    unflushed = FALSE;
    if (flushTimerAllocated != FALSE) {
        icTimerStart(flushTimer, kFlushPeriod_ms, IC_TIMER_FIRE_REPEATEDLY, onFlushTimer);
    }
    return TRUE;
}

void mainCaptureStop() {
    // A run of noise the receiver still holds belongs in the file too.
    if (liveNwk != nullptr) {
        zvEacNwkFlush(liveNwk);
    }
    const std::lock_guard<std::recursive_timed_mutex> guard(writerLock);
    if (writer != nullptr) {
        closeWriter();
    }
}

void mainReceiveStep(ZvEacNwkInst* nwk) {
    insideReceiver = TRUE;
    zvEacNwkExe(nwk);
    insideReceiver = FALSE;
}

const char* mainCaptureCmd(U8 argc, char** argv, void* /*cbArg*/) {
    if (argc == 2 && std::strcmp(argv[1], "0") == 0) {
        mainCaptureStop();
        return kReplyOk;
    }
    if (argc == 3 && std::strcmp(argv[1], "1") == 0 && argv[2][0] != '\0') {
        std::string reason;
        return mainCaptureStart(argv[2], reason) != FALSE ? kReplyOk : kHelpStrCapture;
    }
    return kHelpStrCapture;
}

// --- reading --------------------------------------------------------------------

int mainReadCapture(const char* path, U32 rawBitRate) {
    const bool fromStdin = std::strcmp(path, "-") == 0;
    std::FILE* file = fromStdin ? stdin : std::fopen(path, "rb");
    if (file == nullptr) {
        return readFailure(path, 1, std::string("cannot open: ") + std::strerror(errno));
    }
    std::array<U8, ZV_CAP_MAGIC_SIZE> head{};
    errno = 0;
    const std::size_t headSize = std::fread(head.data(), 1, head.size(), file);
    if (headSize == 0) {
        // A folder or a failing disk reads as nothing too; say which it was.
        const int error = std::ferror(file) != 0 ? (errno != 0 ? errno : EIO) : 0;
        if (!fromStdin) {
            (void)std::fclose(file);  // read only: nothing to lose
        }
        return readFailure(path, 1, error != 0 ? std::string("cannot read: ") + std::strerror(error) : "empty file");
    }

    const MainOptions& options = mainGetOptions();
    loggerSetVerbosity(options.verbosity >= 0 ? static_cast<U8>(options.verbosity) : static_cast<U8>(VERB_CLEARTEXT));
    zvEacNwkSetRawData(options.rawData != FALSE ? 1 : 0);
    std::string reason;
    if (options.logFile != nullptr && loggerOpenLogFile(options.logFile, reason) == FALSE) {
        std::fprintf(stderr, "%s: option --log: cannot write to %s: %s\n", mainAppName(), options.logFile,
                     reason.c_str());
        if (!fromStdin) {
            (void)std::fclose(file);  // read only: nothing to lose
        }
        return 1;
    }
    loggerSetSink(printToStdout, nullptr);
    loggerSetTimeSource(replayReportTime, nullptr);

    icFifoInit(&replayFifo, replayFifoBuf.data(), kReplayFifoSize);
    icFifoEnableArrivalTicks(&replayFifo, replayFifoTicks.data());
    zvEacNwkInit(&replayNwk, nullptr, &replayFifo, zvEacNetworkRxCb, zvEacNwkTxResCb, nullptr);
    zvCapReplayBegin(&replayNwk, &replayFifo);

    const std::span<const U8> headBytes(head.data(), headSize);
    const int status = zvCapLooksLikeCapture(headBytes) != FALSE ? replayCapture(path, file, headBytes)
                                                                 : replayRaw(path, file, headBytes, rawBitRate);
    zvCapReplayEnd();
    loggerFlush();
    loggerSetTimeSource(nullptr, nullptr);
    loggerSetSink(nullptr, nullptr);
    const int outputStatus = outputFailures();
    return status != 0 ? status : outputStatus;
}
