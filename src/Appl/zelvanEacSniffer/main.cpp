// The wiring of the byte path, the console commands and the main loop.
#include "Appl/zelvanEacSniffer/main.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "Appl/zelvanEacSniffer/mainPrivate.h"
#include "Shell/shell.h"
#include "error/icError.h"
#include "fifo/icFifo.h"
#include "hal/include/icOsal.h"
#include "logger/logger.h"
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
            zvEacNwkExe(&nwkInst);
        }
        icTimerExe();
        while (running != FALSE && icFifoCharsHeld(&fifoShellRx) != 0) {
            shellExe();
        }
        consoleExe(ui);
        loggerExe();
        if (running == FALSE || icFifoCharsHeld(&fifoShellRx) != 0 || icFifoCharsHeld(&fifoRx) != 0) {
            continue;  // stopping, or keys consoleExe just read
        }
        const U32 due = std::min(zvEacNwkNextDeadline_ms(&nwkInst), loggerNextDeadline_ms());
        if (due == 0) {
            continue;
        }
        osalApi->waitForObjects(waitList.objects.data(), waitList.count, waitLimit_ms(due));
    }
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

    WaitList waitList;
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
