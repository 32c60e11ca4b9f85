#include "Appl/zelvanEacSniffer/main.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "Shell/shell.h"
#include "eac/zelvan/zvEacToStr.h"
#include "error/icError.h"
#include "fifo/icFifo.h"
#include "hal/include/icHalArchBitfield.h"
#include "hal/include/icOsal.h"
#include "logger/logger.h"
#include "timer/icTimer.h"

namespace {

constexpr const char* kModuleFile = "Appl/zelvanEacSniffer/main";

// --- command line state ---------------------------------------------------------

constexpr int kVersionMajor = 11;
constexpr int kVersionMinor = 3;
constexpr int kVersionBuild = 31476;

constexpr U32 kDefaultBaudRate = 19200;

constexpr const char* kUsageText =
    "> usage: %s port [-b baudrate]\n\n  -h, help (this)\n  -v, print version and exit application\n"
    "  port        number of serial port to use, COM1 => port=1 \n"
    "  -b baudrate {19200, 38400, 57600, 115200}, \n     default is 19200\n";

// Long enough for any device path (/dev/serial/by-id/... names run long).
constexpr std::size_t kPromptLineSize = 4096;

struct BitrateRow {
    U32 bitsPerSecond;
    UartBitrate bitrate;
};
constexpr std::array<BitrateRow, 5> kBitrates{{
    {9600, UART_9600},
    {19200, UART_19200},
    {38400, UART_38400},
    {57600, UART_57600},
    {115200, UART_115200},
}};

const char* appName = "zelvanEacSniffer";
std::array<Char, 25> appVersion{};
S32 comAIndex = 0;
U32 baudRate = 0;
EacFlavour eacFlavour = EAC_FLAVOUR_ZELVAN;
const char* devicePath = nullptr;
std::array<Char, kPromptLineSize> promptLine{};

// --- bus observer state ---------------------------------------------------------

constexpr ZvEacNwkAddr kMasterAddr = 0;
constexpr U8 kOnlineSetElements = 32;  // one bit per network address 0..255

std::array<IcHalArchBitfieldStorageElement, kOnlineSetElements> onlineDevices{};
ZvEacNwkAddr currentProbeOrPoll = 0;

// --- main loop state ------------------------------------------------------------

constexpr IcFifoIndex kFifoTxSize = 255;
constexpr IcFifoIndex kFifoRxSize = 255;
constexpr IcFifoIndex kFifoShellTxSize = 5000;
constexpr IcFifoIndex kFifoShellRxSize = 255;

// The drivers' wait objects and the timer service's.
constexpr std::size_t kMaxWaitObjects = 2 + CONSOLE_MAX_WAIT_OBJECTS;
using WaitList = std::array<OsalWaitObject, kMaxWaitObjects>;

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

// --- helpers --------------------------------------------------------------------

bool isDigit(Char c) { return c >= '0' && c <= '9'; }

// Reads text the way atoi does (leading blanks, optional sign, leading
// digits), but saturates at the int range instead of overflowing.
int textToInt(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) {
        ++text;
    }
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    long long value = 0;
    constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
    for (; isDigit(*text); ++text) {
        value = value * 10 + (*text - '0');
        if (value > kLimit) {
            value = kLimit;
        }
    }
    if (negative) {
        return static_cast<int>(-value);
    }
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

// Reads one line from standard input one byte at a time: the console driver
// reads the same descriptor afterwards, and a buffered read would swallow
// whatever was typed (or piped) after this line. The whole line is consumed
// so an over-long one does not spill into the shell as a command. FALSE when
// the input ended before anything was read.
Boolean readPromptLine() {
    std::size_t used = 0;
    bool gotAny = false;
    for (;;) {
        Char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n != 1) {
            break;
        }
        gotAny = true;
        if (c == '\n') {
            break;
        }
        if (used + 1 < promptLine.size()) {
            promptLine[used++] = c;
        }
    }
    while (used > 0 && promptLine[used - 1] == '\r') {
        --used;
    }
    promptLine[used] = '\0';
    return gotAny ? TRUE : FALSE;
}

Boolean usage() {
    printHelp();
    return FALSE;
}

void shellPrint(const char* text) { shellApi->printf(shellApi->sh, "%s", text); }

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

U8 wireUp(UartBitrate uartFormattedBaudRate, WaitList& waitList) {
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
    comAinst = devicePath != nullptr ? uartNewDevice(devicePath, uartFormattedBaudRate)
                                     : uartNew(static_cast<U8>(comAIndex), uartFormattedBaudRate);
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

    shellPrint(" Current settings: eac flavour: ");
    shellPrint("ZELVAN ");
    zvEacNwkInit(&nwkInst, &fifoTx, &fifoRx, zvEacNetworkRxCb, zvEacNwkTxResCb, nullptr);
    shellApi->printf(shellApi->sh, "baudrate: %d\n", static_cast<int>(baudrateEnum2baudrate(uartFormattedBaudRate)));

    uartStartTx(comAinst);
    uartStartRx(comAinst);
    shellPrint(" application initialized\n");

    U8 count = 0;
    waitList[count++] = uartRxWaitObject(comAinst);
    count = static_cast<U8>(count + consoleWaitObjects(ui, waitList.data() + count, CONSOLE_MAX_WAIT_OBJECTS));
    waitList[count++] = hioTimerGetWaitObject();
    return count;
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
void runMainLoop(const WaitList& waitList, U8 count) {
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
        osalApi->waitForObjects(waitList.data(), count, waitLimit_ms(due));
    }
    loggerFlush();
}

}  // namespace

// --- command line ---------------------------------------------------------------

void printHelp() {
    std::printf(kUsageText, appName);
    std::fflush(stdout);
}

UartBitrate baudrate2baudrateEnum(U32 baudrate) {
    for (const BitrateRow& row : kBitrates) {
        if (row.bitsPerSecond == baudrate) {
            return row.bitrate;
        }
    }
    return UART_19200;
}

U32 baudrateEnum2baudrate(U8 value) {
    for (const BitrateRow& row : kBitrates) {
        if (row.bitrate == value) {
            return row.bitsPerSecond;
        }
    }
    return kDefaultBaudRate;
}

Boolean handleCommandLineOptions(int argc, char** argv) {
    appName = (argc >= 1 && argv != nullptr && argv[0] != nullptr) ? argv[0] : "zelvanEacSniffer";
    devicePath = nullptr;

    if (argc < 1 || argc > 6 || (argc != 1 && argc % 2 != 0)) {
        return usage();
    }

    const char* portText = nullptr;
    if (argc > 1) {
        if (std::strcmp(argv[1], "-h") == 0) {
            return usage();
        }
        if (std::strcmp(argv[1], "-v") == 0) {
            std::printf("\n> %s Version: %s\n", appName, appVersion.data());
            std::fflush(stdout);
            return FALSE;
        }
        portText = argv[1];
    } else {
        std::printf("\n> Enter COM port for serial communication: \n");
        std::fflush(stdout);
        if (readPromptLine() == FALSE) {
            return usage();
        }
        portText = promptLine.data();
    }

    if (portText[0] == '/') {
        devicePath = portText;
    } else {
        if (std::strncmp(portText, "COM", 3) == 0 || std::strncmp(portText, "com", 3) == 0) {
            portText += 3;
        }
        if (!isDigit(portText[0])) {
            return usage();
        }
        comAIndex = textToInt(portText) - 1;
    }
    baudRate = 0;

    for (int i = 2; i + 1 < argc; i += 2) {
        const char* option = argv[i];
        const char* value = argv[i + 1];
        if (std::strncmp(option, "-b", 2) == 0) {
            baudRate = static_cast<U32>(textToInt(value));
        } else if (std::strncmp(option, "-a", 2) == 0) {
            // Accepted for compatibility; it has no effect.
        } else if (std::strncmp(option, "-f", 2) == 0) {
            if (std::strcmp(value, "ZELVAN") != 0) {
                return usage();
            }
            eacFlavour = EAC_FLAVOUR_ZELVAN;
        } else {
            return usage();
        }
    }
    return TRUE;
}

MainCommandLineResult mainGetCommandLineResult() { return {comAIndex, baudRate, eacFlavour, devicePath}; }

// --- bus observer ---------------------------------------------------------------

void zvEacNetworkRxCb(void* /*cbArg*/, ZvEacNwkAddr source, ZvEacNwkAddr destination, ZvEacNwkLen length, U8* message) {
    if (source == kMasterAddr) {
        // The device polled last did not answer before the master moved on.
        if (icHalArchBitfieldGet(onlineDevices.data(), currentProbeOrPoll) != FALSE) {
            icHalArchBitfieldSet(onlineDevices.data(), currentProbeOrPoll, FALSE);
            reportOnOffline(currentProbeOrPoll, FALSE);
        }
        currentProbeOrPoll = destination;
    } else {
        if (icHalArchBitfieldGet(onlineDevices.data(), source) == FALSE) {
            icHalArchBitfieldSet(onlineDevices.data(), source, TRUE);
            reportOnOffline(source, TRUE);
        }
        currentProbeOrPoll = kMasterAddr;
    }

    if (message == nullptr) {
        return;
    }
    if (length != 0) {
        if (source == kMasterAddr) {
            zvEacShellPrintMessage(PRINT_MSG_DIR_OUTGOING, 0, destination, length, message);
        } else {
            zvEacShellPrintMessage(PRINT_MSG_DIR_INCOMING, 0, source, length, message);
        }
    }
    zvEacNwkFree(message);
    if (length != 0) {
        shellPrint(" > ");
    }
}

void zvEacNwkTxResCb(void* /*cbArg*/, ZvEacNwkResult /*rc*/) {}

void reportOnOffline(U8 addr, Boolean online) {
    loggerPrintTimestamp();
    loggerPrintf(" ##  device %d  %s\n\n", static_cast<int>(addr), online != FALSE ? "ONLINE" : "OFFLINE");
    shellPrint(" > ");
}

void mainResetBusObserver() {
    onlineDevices.fill(0);
    currentProbeOrPoll = kMasterAddr;
}

// --- console commands -----------------------------------------------------------

const char* mainShellCbQuit(U8 /*argc*/, char** /*argv*/, void* /*cbArg*/) {
    running = FALSE;
    return kReplyStopping;
}

const char* mainVerboseMsgCmd(U8 argc, char** argv, void* /*cbArg*/) {
    if (argc != 2) {
        return kHelpStrVerboseMsg;
    }
    loggerSetVerbosity(static_cast<U8>(textToInt(argv[1]) & 0xFF));
    return kReplyOk;
}

const char* mainLogToFileCmd(U8 argc, char** argv, void* /*cbArg*/) {
    return loggerLogToFileCmd(argc, argv) != FALSE ? kReplyOk : kHelpStrLogToFile;
}

const char* mainRawDataCmd(U8 argc, char** argv, void* /*cbArg*/) {
    if (argc != 2) {
        return kHelpStrRawDataMsg;
    }
    const int value = textToInt(argv[1]);
    if (value != 0 && value != 1) {
        return kHelpStrRawDataMsg;
    }
    zvEacNwkSetRawData(static_cast<U8>(value));
    return kReplyOk;
}

// --- entry point ----------------------------------------------------------------

int zelvanEacSnifferMain(int argc, char** argv) {
    std::snprintf(appVersion.data(), appVersion.size(), "%d.%d.%05d", kVersionMajor, kVersionMinor, kVersionBuild);
    icHalArchBitfieldClear(onlineDevices.data(), 255);
    currentProbeOrPoll = kMasterAddr;

    if (handleCommandLineOptions(argc, argv) == FALSE) {
        return 1;
    }
    std::printf("\n %s Version: %s\n", appName, appVersion.data());
    std::fflush(stdout);

    if (baudRate == 0) {
        baudRate = kDefaultBaudRate;
    }
    const UartBitrate uartFormattedBaudRate = baudrate2baudrateEnum(baudRate);

    WaitList waitList{};
    const U8 waitCount = wireUp(uartFormattedBaudRate, waitList);
    runMainLoop(waitList, waitCount);

    closePorts();
    // The reply to quit and everything queued before it must reach the screen.
    consoleFlush(ui);
    return 0;
}
