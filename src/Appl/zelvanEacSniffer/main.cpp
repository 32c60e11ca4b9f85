// The wiring of the byte path and the main loop.
#include "Appl/zelvanEacSniffer/main.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "Appl/zelvanEacSniffer/consoleCommands.h"
#include "Appl/zelvanEacSniffer/replay.h"
#include "Appl/zelvanEacSniffer/sniffer.h"
#include "Shell/shell.h"
#include "base/icError.h"
#include "fifo/icFifoDriverHooks.h"
#include "hal/include/icOsal.h"
#include "hal/include/icOutputGuard.h"
#include "hal/include/icProcess.h"
#include "hal/include/icScreen.h"
#include "logger/logger.h"
#include "stats/zvEacStats.h"
#include "timer/icTimer.h"

namespace {

constexpr const char* kModuleFile = "Appl/zelvanEacSniffer/main";

constexpr U32 kDefaultBaudRate = 19200;

// The drivers' wait objects and the timer service's.
constexpr std::size_t kMaxWaitObjects = 2 + CONSOLE_MAX_WAIT_OBJECTS;
struct WaitList {
    std::array<OsalWaitObject, kMaxWaitObjects> objects{};
    U8 count = 0;
};

// The lines these fatal errors have always reported.
constexpr U16 kLineNoConsole = 496;
constexpr U16 kLineNoSerialPort = 497;

// An exit hook takes no argument: the running sniffer, for the way out only.
std::atomic<Sniffer*> snifferOnExit{nullptr};

// A way out that does not return from main (a port that fails without
// --reconnect, a fatal error): the capture is flushed, and on the main
// loop's own thread, which is then not in the middle of anything, the
// figures --stats and --stats-csv ask for are written as at quit.
void finishOnExit() {
    Sniffer* sniffer = snifferOnExit.load();
    if (sniffer == nullptr) {
        return;
    }
    sniffer->recorder.flushOnExit();
    if (sniffer->recorder.onLoopThread()) {
        snifferOnExit = nullptr;
        zvEacNwkFlush(&sniffer->nwkInst);
        (void)mainFinishStats(sniffer->cli, sniffer->observer);
        mainStopJson(*sniffer);
        loggerFlush();
    }
}

void closePorts(Sniffer& sniffer) {
    uartCloseRx(sniffer.comAinst);
    uartDelete(sniffer.comAinst);
    sniffer.comAinst = nullptr;
}

// Everything the receiver decides on, whatever is printed.
void lineTap(void* arg, const ZvEacNwkUnit& unit) {
    Sniffer& sniffer = *static_cast<Sniffer*>(arg);
    zvEacStatsTap(nullptr, unit);
    sniffer.recorder.tap(unit);
    busObserverUnit(sniffer.observer, unit);
}

void promptToConsole(void* /*arg*/) { snifferPrint(" > "); }

const char* droppedScreenNote() { return loggerLogsToFile() != FALSE ? " (the log file has them)" : ""; }

// What the command line asked for beyond the port and the rate, applied
// before the first byte is read. FALSE when it cannot be done.
Boolean applyOptions(Sniffer& sniffer) {
    const MainOptions& options = sniffer.cli.options;
    if (options.verbosity >= 0) {
        loggerSetVerbosity(static_cast<U8>(options.verbosity));
    }
    if (options.rawData != FALSE) {
        zvEacNwkSetRawData(1);
    }
    sniffer.observer.reportDrops = options.drops;
    if (options.reconnect != FALSE) {
        portReconnectEnable(sniffer.reconnect, sniffer.comAinst);
    }
    std::string reason;
    if (options.logFile != nullptr && loggerOpenLogFile(options.logFile, reason) == FALSE) {
        std::fprintf(stderr, "%s: option --log: cannot write to %s: %s\n", sniffer.cli.appName, options.logFile,
                     reason.c_str());
        return FALSE;
    }
    if (options.filter != nullptr) {
        ZvEacFilter filter{};
        (void)zvEacFilterParseText(options.filter, filter);  // checked on the command line
        mainApplyFilter(sniffer.nwkInst, filter);
    }
    if (options.jsonFile != nullptr && mainStartJson(sniffer, options.jsonFile, reason) == FALSE) {
        std::fprintf(stderr, "%s: option --json: cannot write to %s: %s\n", sniffer.cli.appName, options.jsonFile,
                     reason.c_str());
        return FALSE;
    }
    return TRUE;
}

Boolean wireUp(Sniffer& sniffer, UartBitrate uartFormattedBaudRate, WaitList& waitList) {
    osalApi->setPriority(OSAL_PRIO_HIGH);
    icTimerInit();
    uartInit();
    consoleInit();

    icFifoInit(&sniffer.fifoTx, sniffer.fifoBufTx.data(), kSnifferFifoTxSize);
    icFifoInit(&sniffer.fifoRx, sniffer.fifoBufRx.data(), kSnifferFifoRxSize);
    icFifoEnableArrivalTicks(&sniffer.fifoRx, sniffer.fifoRxArrivalTicks.data());
    icFifoEnableArrivalMicros(&sniffer.fifoRx, sniffer.fifoRxArrivalMicros.data());
    icFifoInit(&sniffer.fifoShellTx, sniffer.fifoShellBufTx.data(), kSnifferFifoShellTxSize);
    icFifoInit(&sniffer.fifoShellRx, sniffer.fifoShellBufRx.data(), kSnifferFifoShellRxSize);

    sniffer.ui = consoleNew();
    const MainCommandLine& cli = sniffer.cli;
    sniffer.comAinst = !cli.devicePath.empty() ? uartNewDevice(cli.devicePath.c_str(), uartFormattedBaudRate)
                                               : uartNew(static_cast<U8>(cli.comAIndex), uartFormattedBaudRate);
    if (sniffer.ui == nullptr) {
        icErrorHandler(kModuleFile, 0, kLineNoConsole, "Assertion failed 'NULL != ui'");
    }
    if (sniffer.comAinst == nullptr) {
        icErrorHandler(kModuleFile, 0, kLineNoSerialPort, "Assertion failed 'NULL != comAinst'");
    }

    // The drivers move blocks and size their reads by the FIFOs' room.
    consoleSetFifoOps(sniffer.ui, &kIcFifoDriverOps);
    uartSetFifoOps(sniffer.comAinst, &kIcFifoDriverOps);
    consoleOpenTx(sniffer.ui, icFifoDriverPopChar, icFifoDriverCharsToPop, &sniffer.fifoShellTx);
    consoleOpenRx(sniffer.ui, icFifoDriverPushChar, &sniffer.fifoShellRx);
    // The main loop writes the screen itself: a push into the full output
    // FIFO lets the console write some out instead of losing text.
    icFifoSetMakeRoomFunc(&sniffer.fifoShellTx, consoleMakeRoom, sniffer.ui);
    uartOpenRx(sniffer.comAinst, icFifoDriverPushChar, &sniffer.fifoRx);
    uartOpenTx(sniffer.comAinst, icFifoDriverPopChar, icFifoDriverCharsToPop, &sniffer.fifoTx);
    icFifoSetStartTxFunc(&sniffer.fifoTx, uartStartTx, sniffer.comAinst);

    shellInit(sniffer.ui, &sniffer.fifoShellTx, &sniffer.fifoShellRx);
    shellSetDroppedNote(droppedScreenNote);
    mainRegisterCommands(sniffer);
    loggerSetVerbosity(VERB_CLEARTEXT);

    const U32 bitRate = baudrateEnum2baudrate(uartFormattedBaudRate);
    snifferPrint(" Current settings: eac flavour: ");
    snifferPrint("ZELVAN ");
    sniffer.observer.prompt = promptToConsole;
    zvEacNwkInit(&sniffer.nwkInst, &sniffer.fifoTx, &sniffer.fifoRx, zvEacNetworkRxCb, zvEacNwkTxResCb,
                 &sniffer.observer);
    zvEacNwkSetTap(&sniffer.nwkInst, lineTap, &sniffer);
    zvEacStatsSetBitRate(bitRate);
    zvEacStatsReset();
    shellApi->printf(shellApi->sh, "baudrate: %d\n", static_cast<int>(bitRate));
    if (applyOptions(sniffer) == FALSE) {
        return FALSE;
    }
    sniffer.recorder.init(&sniffer.nwkInst, bitRate);
    sniffer.recorder.setRing(mainCaptureRingLimits(cli.options));
    snifferOnExit = &sniffer;
    icErrorAddExitHook(finishOnExit);
    // An unattended run that was asked to record must not run without it.
    const char* captureFile = cli.options.captureFile;
    std::string reason;
    if (captureFile != nullptr && sniffer.recorder.start(captureFile, reason) == FALSE) {
        std::fprintf(stderr, "%s: option -w: cannot write to %s: %s\n", cli.appName, captureFile, reason.c_str());
        return FALSE;
    }

    uartStartTx(sniffer.comAinst);
    uartStartRx(sniffer.comAinst);
    snifferPrint(" application initialized\n");

    waitList.count = 0;
    waitList.objects[waitList.count++] = uartRxWaitObject(sniffer.comAinst);
    waitList.count =
        static_cast<U8>(waitList.count + consoleWaitObjects(sniffer.ui, waitList.objects.data() + waitList.count,
                                                            CONSOLE_MAX_WAIT_OBJECTS));
    waitList.objects[waitList.count++] = hioTimerGetWaitObject();
    return TRUE;
}

// How long the loop may sleep: until the frame in progress would run out of
// time, the log file's or the records' buffer or a software timer is due;
// without any, until something happens (0).
U16 waitLimit_ms(U32 due) {
    constexpr U32 kLongestLimit = 0xFFFF;
    return due == MAX_U32 ? U16{0} : static_cast<U16>(std::clamp<U32>(due, 1, kLongestLimit));
}

// One thread does all the work. Each pass takes what the line and the
// keyboard brought in, decodes and prints all of it, runs due timers, writes
// the screen and the log file, and sleeps in one wait until the next byte,
// key, room on a slow screen, stop request or deadline.
void runMainLoop(Sniffer& sniffer, const WaitList& waitList) {
    sniffer.running = TRUE;
    while (sniffer.running != FALSE && consoleStopRequested() == FALSE) {
        uartExe(sniffer.comAinst);
        // A step per received byte (each takes one), and at least one for
        // the receive time-out; anything left over makes the loop come
        // round again before it waits.
        for (IcFifoIndex steps = std::max<IcFifoIndex>(icFifoCharsHeld(&sniffer.fifoRx), 1); steps > 0; --steps) {
            sniffer.recorder.receiveStep();
        }
        icTimerExe();
        while (sniffer.running != FALSE && icFifoCharsHeld(&sniffer.fifoShellRx) != 0) {
            if (sniffer.top.active()) {
                sniffer.top.key(icFifoPopChar(&sniffer.fifoShellRx));
            } else {
                shellExe();
            }
        }
        if (consoleResumed() != FALSE) {
            shellRedrawLine();
        }
        // Before the screen is served: what the log file has to say about
        // itself (a write failure, a gap it dropped) goes out in this pass,
        // not after the next wake-up, which may be long in coming.
        loggerExe();
        sniffer.json.exe();
        if (sniffer.top.active()) {
            // The view owns the screen: console text has nowhere to go.
            icFifoReset(&sniffer.fifoShellTx);
            sniffer.top.exe();
        }
        consoleExe(sniffer.ui);
        // The screen took text again after some was dropped: the notice goes
        // out on the next pass even when nothing else is printed, followed by
        // the prompt the dropped text may have taken with it.
        const Boolean noticeQueued = shellShowDroppedNotice();
        if (noticeQueued != FALSE) {
            shellRedrawLine();
        }
        if (sniffer.running == FALSE || noticeQueued != FALSE || icFifoCharsHeld(&sniffer.fifoShellRx) != 0 ||
            icFifoCharsHeld(&sniffer.fifoRx) != 0) {
            continue;  // stopping, text just queued, or keys consoleExe just read
        }
        const U32 due =
            std::min({zvEacNwkNextDeadline_ms(&sniffer.nwkInst), loggerNextDeadline_ms(), icTimerNextDeadline_ms(),
                      sniffer.json.nextDeadline_ms(), sniffer.top.nextDeadline_ms()});
        if (due == 0) {
            continue;
        }
        osalApi->waitForObjects(waitList.objects.data(), waitList.count, waitLimit_ms(due));
    }
    // A frame still coming in belongs in the figures and the capture too.
    zvEacNwkFinish(&sniffer.nwkInst);
    loggerFlush();
}

int runLive(Sniffer& sniffer, UartBitrate uartFormattedBaudRate) {
    std::string reason;
    if (sniffer.cli.options.top != FALSE && icScreenAvailable(reason) == FALSE) {
        std::fprintf(stderr, "%s: option --top: %s\n", sniffer.cli.appName, reason.c_str());
        return 1;
    }
    const char* jsonFile = sniffer.cli.options.jsonFile;
    sniffer.stdoutIsJson = jsonFile != nullptr && std::strcmp(jsonFile, "-") == 0;
    std::FILE* text = stdout;
    if (sniffer.stdoutIsJson) {
        consoleUseStandardError();
        text = stderr;
    }
    std::fprintf(text, "\n %s Version: %s\n", sniffer.cli.appName, mainAppVersion());
    std::fflush(text);

    if (mainClaimStatsCsv(sniffer.cli) == FALSE) {
        return 1;
    }
    WaitList waitList;
    if (wireUp(sniffer, uartFormattedBaudRate, waitList) == FALSE) {
        snifferOnExit = nullptr;
        sniffer.recorder.stop();
        closePorts(sniffer);
        consoleFlush(sniffer.ui);
        return 1;
    }
    const bool topFailed = sniffer.cli.options.top != FALSE && sniffer.top.open(sniffer, true, reason) == FALSE;
    if (topFailed) {
        std::fprintf(stderr, "%s: option --top: %s\n", sniffer.cli.appName, reason.c_str());
    } else {
        runMainLoop(sniffer, waitList);
    }
    sniffer.top.close();
    snifferOnExit = nullptr;  // from here on main does it
    sniffer.recorder.stop();
    zvEacNwkFlush(&sniffer.nwkInst);  // noise still waiting to be ended by a quiet line
    const Boolean statsWritten = mainFinishStats(sniffer.cli, sniffer.observer);
    mainStopJson(sniffer);

    closePorts(sniffer);
    // The reply to quit and everything queued before it must reach the screen.
    consoleFlush(sniffer.ui);
    return statsWritten != FALSE && !topFailed ? 0 : 1;
}

}  // namespace

void snifferPrint(const char* text) { shellApi->printf(shellApi->sh, "%s", text); }

int zelvanEacSnifferMain(int argc, char** argv) {
    icProcessInit();
    // Lives to the very end: the way out of the process may still reach it
    // from another thread while main returns.
    static Sniffer sniffer;
    busObserverReset(sniffer.observer);

    sniffer.cli = mainParseCommandLine(argc, argv);
    switch (sniffer.cli.outcome) {
        case MAIN_CLI_RUN:
            break;
        case MAIN_CLI_EXIT_OK:
            return 0;
        case MAIN_CLI_EXIT_FAIL:
            return 1;
    }
    U32 baudRate = sniffer.cli.baudRate;
    if (baudRate == 0) {
        baudRate = kDefaultBaudRate;
    }
    const UartBitrate uartFormattedBaudRate = baudrate2baudrateEnum(baudRate);
    const MainOptions& options = sniffer.cli.options;
    const char* source = options.readFile != nullptr ? options.readFile : sniffer.cli.devicePath.c_str();
    if (source[0] != '\0' && std::strcmp(source, "-") != 0) {
        icOutputGuardSetSource(source);
    }
    if (options.readFile != nullptr) {
        return mainReadCapture(sniffer.cli, baudrateEnum2baudrate(uartFormattedBaudRate));
    }
    return runLive(sniffer, uartFormattedBaudRate);
}
