// zelvanEacBusSim: plays a ZELVAN EAC bus (a master and its devices) into a
// pseudo-terminal, a serial port or a file, so that the sniffer can be run,
// shown and tested without hardware.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "busSimLine.h"
#include "busSimOptions.h"
#include "busSimRandom.h"
#include "busSimScenario.h"
#include "busSimSummary.h"
#include "busSimWire.h"

namespace {

constexpr const char* kProgram = "zelvanEacBusSim";
constexpr int kExitOk = 0;
constexpr int kExitRuntimeError = 1;
constexpr int kExitUsage = 2;
// Separate from the scenario's own sequences: faults on or off, the same
// telegrams are played.
constexpr U32 kFaultStream = 3;
constexpr U32 kDrainLimit_ms = 2000;

enum class End : U8 { DONE, STOPPED, READER_GONE, FAILED };

volatile sig_atomic_t stopRequest = 0;
volatile sig_atomic_t summaryRequest = 0;
BusSimOptions options;

void onStop(int) { stopRequest = 1; }
void onSummary(int) { summaryRequest = 1; }

// No SA_RESTART: a signal ends a blocking wait at once. A job that a shell
// starts in the background finds SIGINT ignored (and nohup SIGHUP); they stay
// ignored, so that Ctrl-C meant for the program in the foreground does not
// end the bus under it.
void installSignals() {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = onStop;
    for (const int sig : {SIGINT, SIGHUP, SIGTERM}) {
        struct sigaction inherited {};
        if (sig != SIGTERM && sigaction(sig, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(sig, &action, nullptr);
    }
    action.sa_handler = onSummary;
    sigaction(SIGUSR1, &action, nullptr);
    action.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &action, nullptr);
}

__attribute__((format(printf, 1, 2))) void progress(const char* format, ...) {
    if (options.quiet) {
        return;
    }
    std::fprintf(stderr, "%s: ", kProgram);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

void reportError(const std::string& text) { std::fprintf(stderr, "%s: %s\n", kProgram, text.c_str()); }

bool writeSummary() {
    std::string error;
    if (!busSimSummaryWrite(options.summaryPath, error)) {
        reportError(error);
        return false;
    }
    return true;
}

void serviceHook() {
    if (summaryRequest != 0) {
        summaryRequest = 0;
        writeSummary();
    }
}

bool stopHook() { return stopRequest != 0; }

End endOf(BusSimLineStatus status) {
    switch (status) {
        case BUS_SIM_LINE_OK:
            return End::DONE;
        case BUS_SIM_LINE_STOPPED:
            return End::STOPPED;
        case BUS_SIM_LINE_READER_GONE:
            return End::READER_GONE;
        case BUS_SIM_LINE_FAILED:
            return End::FAILED;
    }
    return End::FAILED;
}

// Puts one frame on the line with its fault, and books it.
// `frameTime_us` tells how long the frame took on the line, idle time,
// pauses and all.
End playFrame(const BusSimFrame& frame, BusSimRandom& faultRandom, U32& previousAirTime_us, U32& frameTime_us) {
    const BusSimEncodedFrame encoded = busSimWireEncode(frame);
    const BusSimWirePlan plan = busSimWirePlan(encoded, faultRandom, options.faultRate, busSimLineTimed());

    U32 gap = frame.gapBefore_us;
    if (options.framesPerSecond > 0.0) {
        const auto interval = static_cast<U32>(1.0e6 / options.framesPerSecond);
        gap = std::max(gap, interval > previousAirTime_us ? interval - previousAirTime_us : 0);
    }
    busSimLineIdle(gap);
    frameTime_us = gap;
    BusSimLineStatus status = BUS_SIM_LINE_OK;
    U32 wireBytes = 0;
    for (const BusSimSegment& segment : plan.segments) {
        status = busSimLineSend(segment.bytes);
        if (status != BUS_SIM_LINE_OK) {
            break;
        }
        wireBytes += static_cast<U32>(segment.bytes.size());
        if (segment.pauseAfter_ms != 0) {
            // A pause cut short by a stop leaves the frame as damaged as planned.
            (void)busSimLinePause(segment.pauseAfter_ms);
            frameTime_us += segment.pauseAfter_ms * 1000U;
        }
    }
    previousAirTime_us = busSimLineAirTime_us(wireBytes);
    frameTime_us += previousAirTime_us;

    if (plan.fault != BUS_SIM_FAULT_NONE) {
        busSimSummaryFault(plan.fault);
    }
    const bool cut = status != BUS_SIM_LINE_OK;
    if (cut && plan.intact) {
        busSimSummaryFault(BUS_SIM_FAULT_CUT);
    }
    if (!cut) {
        busSimSummaryReceiverEffect(plan, busSimLineTimed());
    }
    busSimSummaryFrame(frame, plan.intact && !cut, wireBytes);

    return endOf(status);
}

End play() {
    using Clock = std::chrono::steady_clock;
    BusSimRandom faultRandom(options.seed, kFaultStream);
    const Clock::time_point start = Clock::now();
    const auto limit = std::chrono::duration<double>(options.seconds);
    U32 previousAirTime_us = 0;
    double busTime_s = 0.0;
    for (;;) {
        serviceHook();
        if (stopRequest != 0) {
            return End::STOPPED;
        }
        if (options.frames != 0 && busSimSummaryFramesSent() >= options.frames) {
            return End::DONE;
        }
        // A file takes the bytes at once: its time limit is the time the
        // traffic would have taken on the line.
        const bool timeUp = busSimLineTimed() ? Clock::now() - start >= limit : busTime_s >= options.seconds;
        if (options.seconds > 0.0 && timeUp) {
            return End::DONE;
        }
        U32 frameTime_us = 0;
        const End end = playFrame(busSimScenarioNext(), faultRandom, previousAirTime_us, frameTime_us);
        busTime_s += frameTime_us / 1.0e6;
        if (end != End::DONE) {
            return end;
        }
    }
}

const char* targetName() {
    switch (options.line.kind) {
        case BUS_SIM_LINE_PTY:
            return busSimLinePtyPath().c_str();
        default:
            return options.line.path.c_str();
    }
}

int run() {
    busSimScenarioInit(options.seed, options.devices);
    busSimSummaryInit(options.seed, options.devices);

    std::string error;
    if (!busSimSummaryCanWrite(options.summaryPath, error)) {
        reportError(error);
        return kExitRuntimeError;
    }
    const BusSimLineHooks hooks{serviceHook, stopHook};
    if (!busSimLineOpen(options.line, hooks)) {
        reportError(busSimLineError());
        busSimLineClose();
        return kExitRuntimeError;
    }
    if (options.line.kind == BUS_SIM_LINE_PTY) {
        if (options.line.link.empty()) {
            progress("bus on %s", busSimLinePtyPath().c_str());
        } else {
            progress("bus on %s (link %s)", busSimLinePtyPath().c_str(), options.line.link.c_str());
        }
        progress("waiting for a reader to open it");
    }
    const BusSimLineStatus waited = busSimLineWaitReader(static_cast<U32>(options.waitReaderSeconds * 1000.0),
                                                         static_cast<U32>(options.delaySeconds * 1000.0));
    if (waited == BUS_SIM_LINE_FAILED) {
        reportError(busSimLineError());
        busSimLineClose();
        return kExitRuntimeError;
    }

    End end = End::STOPPED;
    if (waited == BUS_SIM_LINE_OK) {
        progress("playing %u devices into %s at %s bit/s, seed %u", static_cast<unsigned>(options.devices),
                 targetName(), options.line.paced ? std::to_string(options.line.bitRate).c_str() : "max",
                 static_cast<unsigned>(options.seed));
        end = play();
    }
    if (end == End::FAILED) {
        reportError(busSimLineError());
    } else if (end != End::READER_GONE) {
        busSimLineDrain(kDrainLimit_ms);
    }
    progress("%s after %u frames",
             end == End::READER_GONE ? "the reader closed the line"
             : end == End::DONE      ? "done"
                                     : "stopped",
             static_cast<unsigned>(busSimSummaryFramesSent()));
    const bool summaryWritten = writeSummary();

    if (end == End::DONE && options.hold) {
        progress("holding the line until the reader closes it");
        (void)busSimLineHold();
    }
    busSimLineClose();
    return end == End::FAILED || !summaryWritten ? kExitRuntimeError : kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    switch (busSimParseOptions(argc, argv, options, error)) {
        case BUS_SIM_PARSE_HELP:
            std::fputs(busSimUsage(kProgram).c_str(), stdout);
            return kExitOk;
        case BUS_SIM_PARSE_ERROR:
            std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram, error.c_str(), kProgram);
            return kExitUsage;
        case BUS_SIM_PARSE_RUN:
            break;
    }
    installSignals();
    return run();
}
