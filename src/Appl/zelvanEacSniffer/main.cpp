// The wiring of the byte path, the console commands and the main loop.
#include "Appl/zelvanEacSniffer/main.h"

#include <array>
#include <cstdio>
#include <span>
#include <string_view>

#include "Appl/zelvanEacSniffer/mainPrivate.h"
#include "Shell/shell.h"
#include "error/icError.h"
#include "fifo/icFifo.h"
#include "hal/include/icOsal.h"
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
void lineTap(void* /*arg*/, const ZvEacNwkUnit& unit) { zvEacStatsTap(nullptr, unit); }

Boolean rawDumpGate(void* /*arg*/, U8 source, U8 destination) {
    return zvEacFilterAddressPasses(zvEacFilterActive(), source, destination);
}

void applyFilter(const ZvEacFilter& filter) {
    zvEacFilterSet(filter);
    // Without an address filter the dump prints every byte as it comes.
    zvEacNwkSetRawDumpGate(&nwkInst, filter.byAddress != FALSE ? rawDumpGate : nullptr, nullptr);
}

void shellSink(void* /*arg*/, const char* text) { mainShellPrint(text); }
void loggerSink(void* /*arg*/, const char* text) { loggerPrintf("%s", text); }
void fileSink(void* arg, const char* text) { std::fputs(text, static_cast<std::FILE*>(arg)); }

// FALSE when the file cannot be written completely.
Boolean writeStatsCsv(const char* path) {
    std::FILE* file = std::fopen(path, "w");
    if (file == nullptr) {
        return FALSE;
    }
    zvEacStatsWriteCsv(fileSink, file);
    const bool written = std::ferror(file) == 0;
    return std::fclose(file) == 0 && written ? TRUE : FALSE;
}

Boolean applyStatsOptions() {
    const MainOptions& options = mainGetOptions();
    if (options.filter != nullptr) {
        ZvEacFilter filter{};
        (void)zvEacFilterParseText(options.filter, filter);  // checked on the command line
        applyFilter(filter);
    }
    // Found out now rather than after a long session.
    if (options.statsCsvFile != nullptr) {
        std::FILE* file = std::fopen(options.statsCsvFile, "a");
        if (file == nullptr) {
            std::fprintf(stderr, "%s: option --stats-csv: cannot write to %s\n", mainAppName(), options.statsCsvFile);
            return FALSE;
        }
        std::fclose(file);
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
    if (options.statsCsvFile != nullptr && writeStatsCsv(options.statsCsvFile) == FALSE) {
        std::fprintf(stderr, "%s: option --stats-csv: cannot write to %s\n", mainAppName(), options.statsCsvFile);
        return FALSE;
    }
    return TRUE;
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
    if (options.logFile != nullptr && loggerEnableLogToFile(options.logFile) == FALSE) {
        std::fprintf(stderr, "%s: option --log: cannot write to %s\n", mainAppName(), options.logFile);
        return FALSE;
    }
    return applyStatsOptions();
}

Boolean wireUp(UartBitrate uartFormattedBaudRate, std::array<OsalWaitObject, 3>& waitList) {
    osalApi->setPriority(OSAL_PRIO_HIGH);
    icTimerInit();
    uartInit();
    consoleInit();

    icFifoInit(&fifoTx, fifoBufTx.data(), kFifoTxSize);
    icFifoInit(&fifoRx, fifoBufRx.data(), kFifoRxSize);
    icFifoEnableArrivalTicks(&fifoRx, fifoRxArrivalTicks.data());
    icFifoInit(&fifoShellTx, fifoShellBufTx.data(), kFifoShellTxSize);
    icFifoInit(&fifoShellRx, fifoShellBufRx.data(), kFifoShellRxSize);

    waitList = {icFifoGetWaitObject(&fifoRx), icFifoGetWaitObject(&fifoShellRx), hioTimerGetWaitObject()};

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

    // The console thread takes the output FIFO's wait object when it starts,
    // so its transmit side goes first.
    consoleOpenTx(ui, icFifoPopChar, icFifoCharsToPop, &fifoShellTx);
    consoleOpenRx(ui, icFifoPushChar, &fifoShellRx);
    uartOpenRx(comAinst, icFifoPushChar, &fifoRx);
    uartOpenTx(comAinst, icFifoPopChar, icFifoCharsToPop, &fifoTx);
    icFifoSetStartTxFunc(&fifoTx, uartStartTx, comAinst);

    shellInit(ui, &fifoShellTx, &fifoShellRx);
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

    uartStartTx(comAinst);
    uartStartRx(comAinst);
    mainShellPrint(" application initialized\n");
    return TRUE;
}

void runMainLoop(const std::array<OsalWaitObject, 3>& waitList) {
    running = TRUE;
    while (running != FALSE && consoleStopRequested() == FALSE) {
        uartExe(comAinst);
        consoleExe(ui);
        if (consoleResumed() != FALSE) {
            shellRedrawLine();
        }
        zvEacNwkExe(&nwkInst);
        icTimerExe();
        shellExe();
        osalApi->waitForObjects(waitList.data(), static_cast<U8>(waitList.size()), 0);
    }
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
        if (writeStatsCsv(argv[2]) == FALSE) {
            std::snprintf(statsCsvReply.data(), statsCsvReply.size(), "Could not write file: %s\n", argv[2]);
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
    std::printf("\n %s Version: %s\n", mainAppName(), mainAppVersion());
    std::fflush(stdout);

    U32 baudRate = mainGetCommandLineResult().baudRate;
    if (baudRate == 0) {
        baudRate = kDefaultBaudRate;
    }
    const UartBitrate uartFormattedBaudRate = baudrate2baudrateEnum(baudRate);

    std::array<OsalWaitObject, 3> waitList{};
    if (wireUp(uartFormattedBaudRate, waitList) == FALSE) {
        closePorts();
        consoleFlush(ui);
        return 1;
    }
    runMainLoop(waitList);
    const Boolean statsWritten = finishStats();

    closePorts();
    // The reply to quit and everything queued before it must reach the screen.
    consoleFlush(ui);
    return statsWritten != FALSE ? 0 : 1;
}
