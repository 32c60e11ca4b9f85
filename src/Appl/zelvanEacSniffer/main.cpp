// The wiring of the byte path, the console commands and the main loop.
#include "Appl/zelvanEacSniffer/main.h"

#include <array>
#include <cstdio>

#include "Appl/zelvanEacSniffer/mainPrivate.h"
#include "Shell/shell.h"
#include "error/icError.h"
#include "fifo/icFifo.h"
#include "hal/include/icOsal.h"
#include "hal/include/icProcess.h"
#include "logger/logger.h"
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

void registerCommands() {
    shellApi->reg(shellApi->sh, "quit", kHelpStrQuit, mainShellCbQuit, nullptr);
    shellApi->reg(shellApi->sh, "exit", kHelpStrQuit, mainShellCbQuit, nullptr);
    shellApi->reg(shellApi->sh, "verboseMessages", kHelpStrVerboseMsg, mainVerboseMsgCmd, nullptr);
    shellApi->reg(shellApi->sh, "logToFile", kHelpStrLogToFile, mainLogToFileCmd, nullptr);
    shellApi->reg(shellApi->sh, "rawData", kHelpStrRawDataMsg, mainRawDataCmd, nullptr);
}

void closePorts() {
    uartCloseRx(comAinst);
    uartDelete(comAinst);
    comAinst = nullptr;
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
    return TRUE;
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

    closePorts();
    // The reply to quit and everything queued before it must reach the screen.
    consoleFlush(ui);
    return 0;
}
