// The wiring of the byte path, the console commands and the main loop.
#include "Appl/zelvanEacSniffer/main.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "Appl/zelvanEacSniffer/mainPrivate.h"
#include "Shell/shell.h"
#include "error/icError.h"
#include "fifo/icFifo.h"
#include "hal/include/icOsal.h"
#include "hal/include/icOutputGuard.h"
#include "hal/include/icProcess.h"
#include "logger/logger.h"
#include "stats/zvEacFilter.h"
#include "stats/zvEacStats.h"
#include "timer/icTimer.h"

namespace {

constexpr const char* kModuleFile = "Appl/zelvanEacSniffer/main";

constexpr U32 kDefaultBaudRate = 19200;

constexpr IcFifoIndex kFifoTxSize = 255;
constexpr IcFifoIndex kFifoRxSize = 255;
constexpr IcFifoIndex kFifoShellTxSize = 5000;
constexpr IcFifoIndex kFifoShellRxSize = 255;

// The drivers' wait objects and the timer service's.
constexpr std::size_t kMaxWaitObjects = 2 + CONSOLE_MAX_WAIT_OBJECTS;
struct WaitList {
    std::array<OsalWaitObject, kMaxWaitObjects> objects{};
    U8 count = 0;
};

// The drivers move blocks and size their reads by the FIFOs' room.
constexpr UartFifoOps kFifoOps{icFifoCharsHeld, icFifoFreeRoom, icFifoPushBlock, icFifoPopBlock};

// The lines these fatal errors have always reported.
constexpr U16 kLineNoConsole = 496;
constexpr U16 kLineNoSerialPort = 497;

constexpr const char* kHelpStrQuit = "stop application";
constexpr const char* kHelpStrVerboseMsg =
    " verboseMessages 3  -> maximum printouts, including raw messages \n"
    " verboseMessages 2  -> print message ids and message contents (default)\n"
    " verboseMessages 1  -> print message ids \n"
    " verboseMessages 0  -> minimum printouts \n";
constexpr const char* kHelpStrLogToFile =
    " Enables or disables logging to file.\n \n logToFile 1 FILENAME\n logToFile 0\n";
constexpr const char* kHelpStrRawDataMsg =
    " rawData 1  -> raw data printing on \n rawData 0  -> raw data printing off (default)\n";
constexpr const char* kHelpStrStats =
    " stats            -> per device: polls, answers, missed answers, ONLINE/OFFLINE, telegrams,\n"
    "                     answer times (min, mean, 99th percentile, max), last heard; line totals\n"
    " stats msg        -> telegrams per device and message id\n"
    " stats csv FILE   -> the same figures as CSV into FILE\n"
    " stats reset      -> start counting again\n";
constexpr const char* kHelpStrFilter =
    " filter                         -> show the filter\n"
    " filter addr 7 | addr 5,7-9     -> only telegrams to or from these devices, and their ONLINE/OFFLINE\n"
    " filter msg MSGID_LOCK_STATE,0xa3 -> only these message ids (catalogue names or numbers)\n"
    " filter addr 7 msg 0xa3         -> both; each filter command replaces the one before\n"
    " filter off                     -> print everything (default)\n"
    " the statistics and the ONLINE/OFFLINE bookkeeping always see everything\n";
constexpr const char* kReplyOk = "ok\n";
constexpr const char* kReplyStopping = "-- Stopping --\n";

Boolean running = FALSE;
UartInstancePtr comAinst = nullptr;
UartInstancePtr ui = nullptr;
ZvEacNwkInst nwkInst{};
IcFifoInstance fifoTx{};
IcFifoInstance fifoRx{};
IcFifoInstance fifoShellTx{};
IcFifoInstance fifoShellRx{};
std::array<Char, kFifoTxSize> fifoBufTx{};
std::array<Char, kFifoRxSize> fifoBufRx{};
// When each received byte came off the line: the frame receiver measures the
// gaps inside a frame by these, not by when the main loop got round to it.
std::array<U16, kFifoRxSize> fifoRxArrivalTicks{};
std::array<Char, kFifoShellTxSize> fifoShellBufTx{};
std::array<Char, kFifoShellRxSize> fifoShellBufRx{};

// The words Tab offers after stats and filter.
const char* statsWord(std::size_t index) {
    constexpr std::array<const char*, 3> kWords{"msg", "reset", "csv"};
    return index < kWords.size() ? kWords[index] : nullptr;
}

const char* filterWord(std::size_t index) {
    constexpr std::array<const char*, 3> kKeywords{"addr", "msg", "off"};
    return index < kKeywords.size() ? kKeywords[index] : zvEacFilterMsgIdName(index - kKeywords.size());
}

void registerCommands() {
    shellApi->reg(shellApi->sh, "quit", kHelpStrQuit, mainShellCbQuit, nullptr);
    shellApi->reg(shellApi->sh, "exit", kHelpStrQuit, mainShellCbQuit, nullptr);
    shellApi->reg(shellApi->sh, "verboseMessages", kHelpStrVerboseMsg, mainVerboseMsgCmd, nullptr);
    shellApi->reg(shellApi->sh, "logToFile", kHelpStrLogToFile, mainLogToFileCmd, nullptr);
    shellApi->reg(shellApi->sh, "rawData", kHelpStrRawDataMsg, mainRawDataCmd, nullptr);
    shellApi->reg(shellApi->sh, "stats", kHelpStrStats, mainStatsCmd, nullptr);
    shellApi->reg(shellApi->sh, "filter", kHelpStrFilter, mainFilterCmd, nullptr);
    shellSetArgCompleter("stats", statsWord);
    shellSetArgCompleter("filter", filterWord);
}

void closePorts() {
    uartCloseRx(comAinst);
    uartDelete(comAinst);
    comAinst = nullptr;
}

// --- bus health ----------------------------------------------------------------------

constexpr std::size_t kFilterTextSize = ZV_EAC_FILTER_TEXT_MAX;
std::array<char, kFilterTextSize + 16> filterReply{};
std::array<char, 512> statsCsvReply{};

// Everything the receiver decides on, whatever is printed.
void lineTap(void* /*arg*/, const ZvEacNwkUnit& unit) {
    zvEacStatsTap(nullptr, unit);
    mainCaptureTap(unit);
}

Boolean rawDumpGate(void* /*arg*/, U8 source, U8 destination) {
    return zvEacFilterAddressPasses(zvEacFilterActive(), source, destination);
}

void applyFilter(const ZvEacFilter& filter) {
    zvEacFilterSet(filter);
    // Without an address filter the dump prints every byte as it comes.
    zvEacNwkSetRawDumpGate(&nwkInst, filter.byAddress != FALSE ? rawDumpGate : nullptr, nullptr);
}

void shellSink(void* /*arg*/, const char* text) { mainShellPrint(text); }

const char* droppedScreenNote() { return loggerLogsToFile() != FALSE ? " (the log file has them)" : ""; }
void loggerSink(void* /*arg*/, const char* text) { loggerPrintf("%s", text); }
void fileSink(void* arg, const char* text) { std::fputs(text, static_cast<std::FILE*>(arg)); }

// FALSE, with the reason, when the file cannot be written completely.
Boolean writeStatsCsv(const char* path, IcOutputUse use, std::string& reason) {
    std::FILE* file = icOutputOpen(path, "w", use, reason);
    if (file == nullptr) {
        return FALSE;
    }
    zvEacStatsWriteCsv(fileSink, file);
    const bool written = std::ferror(file) == 0 && std::fflush(file) == 0;
    const int error = errno;
    const bool closed = std::fclose(file) == 0;
    if (use == IC_OUTPUT_TABLE) {
        icOutputGuardRelease(use);
    }
    if (!written || !closed) {
        reason = std::strerror(written ? errno : error);
        return FALSE;
    }
    return TRUE;
}

Boolean applyStatsOptions() {
    const MainOptions& options = mainGetOptions();
    if (options.filter != nullptr) {
        ZvEacFilter filter{};
        (void)zvEacFilterParseText(options.filter, filter);  // checked on the command line
        applyFilter(filter);
    }
    return TRUE;
}

// Found out before the port is touched rather than after a long session.
Boolean statsCsvWritable() {
    const MainOptions& options = mainGetOptions();
    if (options.statsCsvFile != nullptr) {
        // Held from here to the end: no other output may take the file.
        std::string reason;
        std::FILE* file = icOutputOpen(options.statsCsvFile, "a", IC_OUTPUT_STATS_CSV, reason);
        if (file == nullptr) {
            std::fprintf(stderr, "%s: option --stats-csv: cannot write to %s: %s\n", mainAppName(),
                         options.statsCsvFile, reason.c_str());
            return FALSE;
        }
        (void)std::fclose(file);  // nothing written: nothing to lose
    }
    return TRUE;
}

// What --stats and --stats-csv ask for at the end. FALSE when the CSV could
// not be written.
Boolean finishStats() {
    const MainOptions& options = mainGetOptions();
    zvEacNwkFlush(&nwkInst);  // noise still waiting to be ended by a quiet line
    if (options.stats != FALSE) {
        loggerPrintf("\n");  // off the prompt's line
        zvEacStatsPrintTable(loggerSink, nullptr);
    }
    std::string reason;
    if (options.statsCsvFile != nullptr && writeStatsCsv(options.statsCsvFile, IC_OUTPUT_STATS_CSV, reason) == FALSE) {
        std::fprintf(stderr, "%s: option --stats-csv: cannot write to %s: %s\n", mainAppName(), options.statsCsvFile,
                     reason.c_str());
        return FALSE;
    }
    return TRUE;
}

// --- a port that goes away (--reconnect) --------------------------------------------

constexpr IcTimerTick kReopenInterval_ms = 500;
IcTimerHandle reopenTimer = 0;
bool reopenTimerAllocated = false;

void tryReopen(void* /*cbArg*/, IcTimerHandle th) {
    if (uartReopen(comAinst) == FALSE) {
        return;
    }
    (void)icTimerStop(th);
    // The gap was longer than the receive time-out, so the receiver has
    // already dropped any frame the loss cut; nothing is stitched across it.
    loggerPrintf("port %s is back; sniffing again\n", uartDeviceName(comAinst));
}

void onPortLost(void* /*arg*/, const char* device, const char* reason) {
    loggerPrintf("port %s lost: %s; waiting for it to come back\n", device, reason);
    if (!reopenTimerAllocated) {
        reopenTimer = icTimerAlloc(nullptr);
        reopenTimerAllocated = true;
    }
    (void)icTimerStart(reopenTimer, kReopenInterval_ms, IC_TIMER_FIRE_REPEATEDLY, tryReopen);
}

// What the command line asked for beyond the port and the rate, applied
// before the first byte is read. FALSE when it cannot be done.
Boolean applyOptions() {
    const MainOptions& options = mainGetOptions();
    if (options.verbosity >= 0) {
        loggerSetVerbosity(static_cast<U8>(options.verbosity));
    }
    if (options.rawData != FALSE) {
        zvEacNwkSetRawData(1);
    }
    if (options.reconnect != FALSE) {
        uartSetLostHandler(comAinst, onPortLost, nullptr);
    }
    std::string reason;
    if (options.logFile != nullptr && loggerOpenLogFile(options.logFile, reason) == FALSE) {
        std::fprintf(stderr, "%s: option --log: cannot write to %s: %s\n", mainAppName(), options.logFile,
                     reason.c_str());
        return FALSE;
    }
    return applyStatsOptions();
}

Boolean wireUp(UartBitrate uartFormattedBaudRate, WaitList& waitList) {
    osalApi->setPriority(OSAL_PRIO_HIGH);
    icTimerInit();
    uartInit();
    consoleInit();

    icFifoInit(&fifoTx, fifoBufTx.data(), kFifoTxSize);
    icFifoInit(&fifoRx, fifoBufRx.data(), kFifoRxSize);
    icFifoEnableArrivalTicks(&fifoRx, fifoRxArrivalTicks.data());
    icFifoInit(&fifoShellTx, fifoShellBufTx.data(), kFifoShellTxSize);
    icFifoInit(&fifoShellRx, fifoShellBufRx.data(), kFifoShellRxSize);

    ui = consoleNew();
    const MainCommandLineResult cli = mainGetCommandLineResult();
    comAinst = cli.devicePath != nullptr ? uartNewDevice(cli.devicePath, uartFormattedBaudRate)
                                         : uartNew(static_cast<U8>(cli.comAIndex), uartFormattedBaudRate);
    if (ui == nullptr) {
        icErrorHandler(kModuleFile, 0, kLineNoConsole, "Assertion failed 'NULL != ui'");
    }
    if (comAinst == nullptr) {
        icErrorHandler(kModuleFile, 0, kLineNoSerialPort, "Assertion failed 'NULL != comAinst'");
    }

    consoleSetFifoOps(ui, &kFifoOps);
    uartSetFifoOps(comAinst, &kFifoOps);
    consoleOpenTx(ui, icFifoPopChar, icFifoCharsToPop, &fifoShellTx);
    consoleOpenRx(ui, icFifoPushChar, &fifoShellRx);
    // The main loop writes the screen itself: a push into the full output
    // FIFO lets the console write some out instead of losing text.
    icFifoSetMakeRoomFunc(&fifoShellTx, consoleMakeRoom, ui);
    uartOpenRx(comAinst, icFifoPushChar, &fifoRx);
    uartOpenTx(comAinst, icFifoPopChar, icFifoCharsToPop, &fifoTx);
    icFifoSetStartTxFunc(&fifoTx, uartStartTx, comAinst);

    shellInit(ui, &fifoShellTx, &fifoShellRx);
    shellSetDroppedNote(droppedScreenNote);
    registerCommands();
    loggerSetVerbosity(VERB_CLEARTEXT);

    mainShellPrint(" Current settings: eac flavour: ");
    mainShellPrint("ZELVAN ");
    zvEacNwkInit(&nwkInst, &fifoTx, &fifoRx, zvEacNetworkRxCb, zvEacNwkTxResCb, nullptr);
    zvEacNwkSetTap(&nwkInst, lineTap, nullptr);
    zvEacStatsSetBitRate(baudrateEnum2baudrate(uartFormattedBaudRate));
    zvEacStatsReset();
    shellApi->printf(shellApi->sh, "baudrate: %d\n", static_cast<int>(baudrateEnum2baudrate(uartFormattedBaudRate)));
    if (applyOptions() == FALSE) {
        return FALSE;
    }
    mainCaptureInit(&nwkInst, baudrateEnum2baudrate(uartFormattedBaudRate));
    // An unattended run that was asked to record must not run without it.
    const char* captureFile = mainGetOptions().captureFile;
    std::string reason;
    if (captureFile != nullptr && mainCaptureStart(captureFile, reason) == FALSE) {
        std::fprintf(stderr, "%s: option -w: cannot write to %s: %s\n", mainAppName(), captureFile, reason.c_str());
        return FALSE;
    }

    uartStartTx(comAinst);
    uartStartRx(comAinst);
    mainShellPrint(" application initialized\n");

    waitList.count = 0;
    waitList.objects[waitList.count++] = uartRxWaitObject(comAinst);
    waitList.count = static_cast<U8>(
        waitList.count + consoleWaitObjects(ui, waitList.objects.data() + waitList.count, CONSOLE_MAX_WAIT_OBJECTS));
    waitList.objects[waitList.count++] = hioTimerGetWaitObject();
    return TRUE;
}

// How long the loop may sleep: until the frame in progress would run out of
// time or the log file's buffer is due; without either, until something
// happens (0). Software timers shorten the sleep through their wait object.
U16 waitLimit_ms(U32 due) {
    constexpr U32 kLongestLimit = 0xFFFF;
    return due == MAX_U32 ? U16{0} : static_cast<U16>(std::clamp<U32>(due, 1, kLongestLimit));
}

// One thread does all the work. Each pass takes what the line and the
// keyboard brought in, decodes and prints all of it, runs due timers, writes
// the screen and the log file, and sleeps in one wait until the next byte,
// key, room on a slow screen, stop request or deadline.
void runMainLoop(const WaitList& waitList) {
    running = TRUE;
    while (running != FALSE && consoleStopRequested() == FALSE) {
        uartExe(comAinst);
        // A step per received byte (each takes one), and at least one for
        // the receive time-out; anything left over makes the loop come
        // round again before it waits.
        for (IcFifoIndex steps = std::max<IcFifoIndex>(icFifoCharsHeld(&fifoRx), 1); steps > 0; --steps) {
            mainReceiveStep(&nwkInst);
        }
        icTimerExe();
        while (running != FALSE && icFifoCharsHeld(&fifoShellRx) != 0) {
            shellExe();
        }
        if (consoleResumed() != FALSE) {
            shellRedrawLine();
        }
        // Before the screen is served: what the log file has to say about
        // itself (a write failure, a gap it dropped) goes out in this pass,
        // not after the next wake-up, which may be long in coming.
        loggerExe();
        consoleExe(ui);
        // The screen took text again after some was dropped: the notice goes
        // out on the next pass even when nothing else is printed, followed by
        // the prompt the dropped text may have taken with it.
        const Boolean noticeQueued = shellShowDroppedNotice();
        if (noticeQueued != FALSE) {
            shellRedrawLine();
        }
        if (running == FALSE || noticeQueued != FALSE || icFifoCharsHeld(&fifoShellRx) != 0 ||
            icFifoCharsHeld(&fifoRx) != 0) {
            continue;  // stopping, text just queued, or keys consoleExe just read
        }
        const U32 due = std::min(zvEacNwkNextDeadline_ms(&nwkInst), loggerNextDeadline_ms());
        if (due == 0) {
            continue;
        }
        osalApi->waitForObjects(waitList.objects.data(), waitList.count, waitLimit_ms(due));
    }
    // A frame still coming in belongs in the figures and the capture too.
    zvEacNwkFinish(&nwkInst);
    loggerFlush();
}

}  // namespace

void mainShellPrint(const char* text) { shellApi->printf(shellApi->sh, "%s", text); }

// --- console commands -----------------------------------------------------------

const char* mainShellCbQuit(U8 /*argc*/, char** /*argv*/, void* /*cbArg*/) {
    running = FALSE;
    return kReplyStopping;
}

const char* mainVerboseMsgCmd(U8 argc, char** argv, void* /*cbArg*/) {
    if (argc != 2) {
        return kHelpStrVerboseMsg;
    }
    loggerSetVerbosity(static_cast<U8>(mainTextToInt(argv[1]) & 0xFF));
    return kReplyOk;
}

const char* mainLogToFileCmd(U8 argc, char** argv, void* /*cbArg*/) {
    return loggerLogToFileCmd(argc, argv) != FALSE ? kReplyOk : kHelpStrLogToFile;
}

const char* mainStatsCmd(U8 argc, char** argv, void* /*cbArg*/) {
    if (argc == 1) {
        zvEacStatsPrintTable(shellSink, nullptr);
        return "";
    }
    const std::string_view what(argv[1]);
    if (argc == 2 && what == "msg") {
        zvEacStatsPrintTelegrams(shellSink, nullptr);
        return "";
    }
    if (argc == 2 && what == "reset") {
        zvEacStatsReset();
        return kReplyOk;
    }
    if (argc == 3 && what == "csv") {
        std::string reason;
        if (writeStatsCsv(argv[2], IC_OUTPUT_TABLE, reason) == FALSE) {
            std::snprintf(statsCsvReply.data(), statsCsvReply.size(), "Could not write file: %s: %s\n", argv[2],
                          reason.c_str());
            return statsCsvReply.data();
        }
        return kReplyOk;
    }
    return kHelpStrStats;
}

const char* mainFilterCmd(U8 argc, char** argv, void* /*cbArg*/) {
    if (argc > 1) {
        ZvEacFilter filter{};
        if (zvEacFilterParse(std::span<const char* const>(argv + 1, argc - 1U), filter) == FALSE) {
            return kHelpStrFilter;
        }
        applyFilter(filter);
    }
    std::array<char, kFilterTextSize> text{};
    zvEacFilterDescribe(zvEacFilterActive(), text.data(), text.size());
    std::snprintf(filterReply.data(), filterReply.size(), " filter %s\n", text.data());
    return filterReply.data();
}

const char* mainRawDataCmd(U8 argc, char** argv, void* /*cbArg*/) {
    if (argc != 2) {
        return kHelpStrRawDataMsg;
    }
    const int value = mainTextToInt(argv[1]);
    if (value != 0 && value != 1) {
        return kHelpStrRawDataMsg;
    }
    zvEacNwkSetRawData(static_cast<U8>(value));
    return kReplyOk;
}

// --- entry point ----------------------------------------------------------------

int zelvanEacSnifferMain(int argc, char** argv) {
    icProcessInit();
    mainFormatVersion();
    mainResetBusObserver();

    switch (mainParseCommandLine(argc, argv)) {
        case MAIN_CLI_RUN:
            break;
        case MAIN_CLI_EXIT_OK:
            return 0;
        case MAIN_CLI_EXIT_FAIL:
            return 1;
    }
    U32 baudRate = mainGetCommandLineResult().baudRate;
    if (baudRate == 0) {
        baudRate = kDefaultBaudRate;
    }
    const UartBitrate uartFormattedBaudRate = baudrate2baudrateEnum(baudRate);
    const char* source =
        mainGetOptions().readFile != nullptr ? mainGetOptions().readFile : mainGetCommandLineResult().devicePath;
    if (source != nullptr && std::strcmp(source, "-") != 0) {
        icOutputGuardSetSource(source);
    }
    if (mainGetOptions().readFile != nullptr) {
        return mainReadCapture(mainGetOptions().readFile, baudrateEnum2baudrate(uartFormattedBaudRate));
    }
    std::printf("\n %s Version: %s\n", mainAppName(), mainAppVersion());
    std::fflush(stdout);

    if (statsCsvWritable() == FALSE) {
        return 1;
    }
    WaitList waitList;
    if (wireUp(uartFormattedBaudRate, waitList) == FALSE) {
        mainCaptureStop();
        closePorts();
        consoleFlush(ui);
        return 1;
    }
    runMainLoop(waitList);
    mainCaptureStop();
    const Boolean statsWritten = finishStats();

    closePorts();
    // The reply to quit and everything queued before it must reach the screen.
    consoleFlush(ui);
    return statsWritten != FALSE ? 0 : 1;
}
