#include "Appl/zelvanEacSniffer/replay.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>

#include "Appl/zelvanEacSniffer/busObserver.h"
#include "Appl/zelvanEacSniffer/capture.h"
#include "Appl/zelvanEacSniffer/consoleCommands.h"
#include "Appl/zelvanEacSniffer/jsonOutput.h"
#include "capture/zvCapFile.h"
#include "capture/zvCapFormat.h"
#include "capture/zvCapReplay.h"
#include "eac/zelvan/zvEacDropReport.h"
#include "fifo/icFifo.h"
#include "filter/zvEacFilter.h"
#include "hal/include/icProcess.h"
#include "logger/logger.h"
#include "stats/zvEacStats.h"

namespace {

constexpr std::size_t kReadChunk = 4096;
constexpr IcFifoIndex kReplayFifoSize = 255;
// Reports show the year in four digits: 9999-12-30 00:00 UTC is the latest
// instant that stays in the year 9999 in every time zone.
constexpr U64 kLatestShownInstant_us = 253402128000ULL * 1000000ULL;

// One decoding run: the receiver and what it prints through.
struct Replay {
    explicit Replay(const MainCommandLine& commandLine) : cli(commandLine), path(commandLine.options.readFile) {}

    const MainCommandLine& cli;
    const char* path;
    IcFifoInstance fifo{};
    std::array<Char, kReplayFifoSize> fifoBuf{};
    std::array<U16, kReplayFifoSize> fifoTicks{};
    ZvEacNwkInst nwk{};
    BusObserver observer{};
    // The first reason standard output refused text; 0 while it takes it.
    int stdoutError = 0;
    // -w: the frames the filter passes, into a new capture.
    CaptureRing copy;
    std::string copyError;
    U32 rawBitRate = 0;
    Boolean bitRateKnown = FALSE;
    JsonOutput json;
    // --json -: standard output is the records' alone.
    bool textToStdout = true;
};

// A frame the filter passes (everything while no filter is set): the rule
// for what -w copies.
bool copyPasses(ZvEacNwkUnitKind kind, std::span<const U8> wire) {
    const ZvEacFilter& filter = zvEacFilterActive();
    if (filter.byAddress == FALSE && filter.byMsgId == FALSE) {
        return true;
    }
    if (kind != ZV_EAC_NWK_UNIT_FRAME) {
        return false;
    }
    const ZvEacDropHeader header = zvEacDropHeaderOf(wire);
    if (header.addressesKnown == FALSE) {
        return false;
    }
    return header.msgIdKnown != FALSE
               ? zvEacFilterTelegramPasses(filter, header.source, header.destination, header.msgId) != FALSE
               : zvEacFilterAddressPasses(filter, header.source, header.destination) != FALSE;
}

void noteToStderr(void* arg, const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s", static_cast<Replay*>(arg)->cli.appName, text.c_str());
    std::fflush(stderr);
}

void copyFailed(Replay& replay, const std::string& error) {
    if (replay.copyError.empty()) {
        replay.copyError = error;
    }
}

// Every unit the receiver decides on: statistics, drop lines, and for raw
// line bytes the copy (a capture is copied packet by packet instead).
void replayTap(void* arg, const ZvEacNwkUnit& unit) {
    auto* replay = static_cast<Replay*>(arg);
    zvEacStatsTap(nullptr, unit);
    busObserverUnit(replay->observer, unit);
    if (replay->copy.isOpen() && replay->rawBitRate != 0 && copyPasses(unit.kind, unit.wire)) {
        std::string error;
        if (captureAppendUnit(replay->copy, unit, replay->rawBitRate, zvCapReplayWallOf(unit.firstArrivalTick),
                              error) == FALSE) {
            copyFailed(*replay, error);
        }
    }
}

void printToStdout(void* arg, const char* text) {
    auto* replay = static_cast<Replay*>(arg);
    if (!replay->textToStdout) {
        return;
    }
    if (std::fputs(text, stdout) == EOF && replay->stdoutError == 0) {
        replay->stdoutError = errno != 0 ? errno : EIO;
    }
}

Boolean reportTime(void* arg, U64* wall_us) {
    *wall_us = zvCapReplayWallOf(zvEacNwkUnitFirstTick(&static_cast<Replay*>(arg)->nwk));
    return TRUE;
}

// A decoded file whose text did not all arrive is no success: one line on
// the error channel and status 1.
int outputFailures(Replay& replay) {
    if ((std::fflush(stdout) != 0 || std::ferror(stdout) != 0) && replay.stdoutError == 0) {
        replay.stdoutError = errno != 0 ? errno : EIO;
    }
    int status = 0;
    if (replay.stdoutError != 0) {
        std::fprintf(stderr, "%s: standard output: cannot write: %s\n", replay.cli.appName,
                     std::strerror(replay.stdoutError));
        status = 1;
    }
    replay.json.close();
    if (!replay.json.problem().empty()) {
        std::fprintf(stderr, "%s: option --json: cannot write to %s: %s\n", replay.cli.appName,
                     replay.json.path().c_str(), replay.json.problem().c_str());
        status = 1;
    }
    if (replay.copy.isOpen()) {
        std::string error;
        if (replay.copy.close(error) == FALSE) {
            copyFailed(replay, error);
        }
    }
    if (!replay.copyError.empty()) {
        std::fprintf(stderr, "%s: option -w: cannot write to %s: %s\n", replay.cli.appName,
                     replay.copy.currentPath().c_str(), replay.copyError.c_str());
        status = 1;
    }
    const char* logProblem = loggerFileProblem();
    if (logProblem[0] != '\0') {
        std::fprintf(stderr, "%s: option --log: cannot write to %s: %s\n", replay.cli.appName,
                     replay.cli.options.logFile, logProblem);
        status = 1;
    }
    std::fflush(stderr);
    return status;
}

// The files the run writes besides standard output, opened before the
// first byte is decoded; FALSE (with one line on standard error) when one
// cannot be.
Boolean openOutputs(Replay& replay) {
    const MainOptions& options = replay.cli.options;
    std::string reason;
    if (options.logFile != nullptr && loggerOpenLogFile(options.logFile, reason) == FALSE) {
        std::fprintf(stderr, "%s: option --log: cannot write to %s: %s\n", replay.cli.appName, options.logFile,
                     reason.c_str());
        return FALSE;
    }
    if (mainClaimStatsCsv(replay.cli) == FALSE) {
        return FALSE;
    }
    if (options.jsonFile != nullptr) {
        if (replay.json.open(options.jsonFile, true, reason) == FALSE) {
            std::fprintf(stderr, "%s: option --json: cannot write to %s: %s\n", replay.cli.appName, options.jsonFile,
                         reason.c_str());
            return FALSE;
        }
        replay.observer.recordSink = JsonOutput::takeReport;
        replay.observer.recordSinkArg = &replay.json;
        replay.textToStdout = std::strcmp(options.jsonFile, "-") != 0;
    }
    if (options.captureFile != nullptr) {
        replay.copy.setNote(noteToStderr, &replay);
        if (replay.copy.open(options.captureFile, mainCaptureRingLimits(options), reason) == FALSE) {
            std::fprintf(stderr, "%s: option -w: cannot write to %s: %s\n", replay.cli.appName,
                         replay.copy.currentPath().c_str(), reason.c_str());
            return FALSE;
        }
    }
    return TRUE;
}

int readFailure(const Replay& replay, unsigned long packet, const std::string& reason) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s: packet %lu: %s\n", replay.cli.appName, replay.path, packet, reason.c_str());
    std::fflush(stderr);
    return 1;
}

int replayCapture(Replay& replay, std::FILE* file, std::span<const U8> head) {
    std::string error;
    ZvCapReader* reader = zvCapReaderOpen(file, head, error);
    if (reader == nullptr) {
        return readFailure(replay, 1, error);
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
            status = readFailure(replay, number, error);
            break;
        }
        ZvCapHeader header{};
        std::span<const U8> wire;
        const ZvCapDecodeResult decoded = zvCapDecodePacket(packet, header, wire);
        if (decoded != ZV_CAP_DECODE_OK) {
            status = readFailure(replay, number, zvCapDecodeResultText(decoded));
            break;
        }
        if (wall_us > kLatestShownInstant_us) {
            if (!clamped) {
                clamped = true;
                std::fflush(stdout);
                std::fprintf(stderr,
                             "%s: %s: packet %lu: time stamp beyond the year 9999; such packets are shown at "
                             "9999-12-30 00:00 UTC\n",
                             replay.cli.appName, replay.path, number);
                std::fflush(stderr);
            }
            wall_us = kLatestShownInstant_us;
        }
        if (replay.bitRateKnown == FALSE) {
            replay.bitRateKnown = TRUE;
            zvEacStatsSetBitRate(header.bitRate);
        }
        if (replay.copy.isOpen() && copyPasses(static_cast<ZvEacNwkUnitKind>(header.kind), wire) &&
            replay.copy.append(wall_us, packet, error) == FALSE) {
            copyFailed(replay, error);
        }
        zvCapReplayPacket(wall_us, header, wire);
    }
    zvCapReaderClose(reader);
    return status;
}

int replayRaw(Replay& replay, std::FILE* file, std::span<const U8> head, U32 bitRate) {
    replay.rawBitRate = bitRate;
    zvEacStatsSetBitRate(bitRate);
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
    return failed ? readFailure(replay, 1, std::strerror(error)) : 0;
}

}  // namespace

int mainReadCapture(const MainCommandLine& cli, U32 rawBitRate) {
    Replay replay(cli);
    const bool fromStdin = std::strcmp(replay.path, "-") == 0;
    if (fromStdin) {
        icProcessBinaryStdin();
    }
    std::FILE* file = fromStdin ? stdin : std::fopen(replay.path, "rb");
    if (file == nullptr) {
        return readFailure(replay, 1, std::string("cannot open: ") + std::strerror(errno));
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
        return readFailure(replay, 1, error != 0 ? std::string("cannot read: ") + std::strerror(error) : "empty file");
    }

    const MainOptions& options = cli.options;
    loggerSetVerbosity(options.verbosity >= 0 ? static_cast<U8>(options.verbosity) : static_cast<U8>(VERB_CLEARTEXT));
    zvEacNwkSetRawData(options.rawData != FALSE ? 1 : 0);
    if (openOutputs(replay) == FALSE) {
        if (!fromStdin) {
            (void)std::fclose(file);  // read only: nothing to lose
        }
        return 1;
    }
    loggerSetSink(printToStdout, &replay);
    // Text that nobody sees is not formatted at all (the log file, when
    // there is one, still gets it).
    loggerSetScreenOutput(replay.textToStdout ? TRUE : FALSE);
    loggerSetTimeSource(reportTime, &replay);

    icFifoInit(&replay.fifo, replay.fifoBuf.data(), kReplayFifoSize);
    icFifoEnableArrivalTicks(&replay.fifo, replay.fifoTicks.data());
    // No console here, so no prompt after the reports.
    busObserverReset(replay.observer);
    replay.observer.reportDrops = options.drops;
    zvEacNwkInit(&replay.nwk, nullptr, &replay.fifo, zvEacNetworkRxCb, zvEacNwkTxResCb, &replay.observer);
    zvEacNwkSetTap(&replay.nwk, replayTap, &replay);
    if (options.filter != nullptr) {
        ZvEacFilter filter{};
        (void)zvEacFilterParseText(options.filter, filter);  // checked on the command line
        mainApplyFilter(replay.nwk, filter);
    }
    zvCapReplayBegin(&replay.nwk, &replay.fifo);
    // Counted in the file's time, from its first byte.
    zvEacStatsReset();

    const std::span<const U8> headBytes(head.data(), headSize);
    const int status = zvCapLooksLikeCapture(headBytes) != FALSE ? replayCapture(replay, file, headBytes)
                                                                 : replayRaw(replay, file, headBytes, rawBitRate);
    zvCapReplayFinish();
    const Boolean statsWritten = mainFinishStats(cli, replay.observer);
    zvCapReplayEnd();
    loggerFlush();
    loggerSetTimeSource(nullptr, nullptr);
    loggerSetSink(nullptr, nullptr);
    loggerSetScreenOutput(TRUE);
    const int outputStatus = outputFailures(replay);
    if (status != 0) {
        return status;
    }
    return statsWritten == FALSE ? 1 : outputStatus;
}
