// The application module: command line (commandLine.cpp), bus observer
// (busObserver.cpp), and the wiring, console commands and main loop
// (main.cpp).
#pragma once

#include <string>

#include "eac/zelvan/zvEacNetwork.h"
#include "hal/include/hal_types.h"
#include "hal/include/multiUart.h"

enum EacFlavour : U8 {
    EAC_FLAVOUR_ZELVAN = 0,
};

// The program's entry point; returns the process exit status.
int zelvanEacSnifferMain(int argc, char** argv);

// --- command line -------------------------------------------------------------

// TRUE to start the sniffer, FALSE to end the program (the usage or version
// text has been printed). Without arguments it asks for the port on standard
// input.
Boolean handleCommandLineOptions(int argc, char** argv);
void printHelp();
UartBitrate baudrate2baudrateEnum(U32 baudrate);
U32 baudrateEnum2baudrate(U8 value);

// What the last successful handleCommandLineOptions settled.
struct MainCommandLineResult {
    S32 comAIndex;  // zero-based port index (unused with a device path)
    U32 baudRate;   // 0 while no rate was requested
    EacFlavour eacFlavour;
    const char* devicePath;  // the port given as a device path, or nullptr
};
MainCommandLineResult mainGetCommandLineResult();

enum MainCommandLineOutcome : U8 {
    MAIN_CLI_RUN = 0,        // start sniffing
    MAIN_CLI_EXIT_OK = 1,    // --help or --version was printed: status 0
    MAIN_CLI_EXIT_FAIL = 2,  // usage, -h, -v or a wrong option value was printed: status 1
};
// handleCommandLineOptions with the long options: the outcome tells a help
// text that was asked for from one that answers a mistake.
MainCommandLineOutcome mainParseCommandLine(int argc, char** argv);

// The long options the last mainParseCommandLine settled.
struct MainOptions {
    S8 verbosity = -1;  // 0..3, or -1 when not given
    Boolean rawData = FALSE;
    const char* logFile = nullptr;
    Boolean reconnect = FALSE;
    Boolean help = FALSE;
    Boolean version = FALSE;
    // capture files
    const char* captureFile = nullptr;  // -w: record the line into this file
    const char* readFile = nullptr;     // -r: decode this file ("-": standard input) instead of a port
    // Bus health: the table and/or the CSV once more at the end, and the
    // filter in force from the first byte.
    Boolean stats = FALSE;
    const char* statsCsvFile = nullptr;
    const char* filter = nullptr;
};
const MainOptions& mainGetOptions();

// --- bus observer -------------------------------------------------------------

// Frame callback for zvEacNwkInit: online bookkeeping, printing, prompt. Takes
// ownership of `message`.
void zvEacNetworkRxCb(void* cbArg, ZvEacNwkAddr source, ZvEacNwkAddr destination, ZvEacNwkLen length, U8* message);
// The sniffer never transmits; nothing to do.
void zvEacNwkTxResCb(void* cbArg, ZvEacNwkResult rc);
void reportOnOffline(U8 addr, Boolean online);

// Forgets every online device and the pending poll.
void mainResetBusObserver();

// --- console commands ---------------------------------------------------------

const char* mainShellCbQuit(U8 argc, char** argv, void* cbArg);
const char* mainVerboseMsgCmd(U8 argc, char** argv, void* cbArg);
const char* mainLogToFileCmd(U8 argc, char** argv, void* cbArg);
const char* mainRawDataCmd(U8 argc, char** argv, void* cbArg);

// --- capture files (capture.cpp) ----------------------------------------------

// Live: the receiver's units go into the capture file while one is open, and
// every report about bytes from the line carries when they came in.
void mainCaptureInit(ZvEacNwkInst* nwk, U32 bitRate);
// Opens the capture file; FALSE (with one line on the console, and the
// reason in `reason`) when it cannot.
Boolean mainCaptureStart(const char* path, std::string& reason);
void mainCaptureStop();
// What the receiver decided on, into the capture file while one is open.
void mainCaptureTap(const ZvEacNwkUnit& unit);
// One receive step of the main loop: reports made inside it carry the time
// their bytes came in.
void mainReceiveStep(ZvEacNwkInst* nwk);
const char* mainCaptureCmd(U8 argc, char** argv, void* cbArg);
// Decodes a capture file or raw line bytes to standard output; the exit status.
int mainReadCapture(const char* path, U32 rawBitRate);
// Bus health: statistics and the print filter.
const char* mainStatsCmd(U8 argc, char** argv, void* cbArg);
const char* mainFilterCmd(U8 argc, char** argv, void* cbArg);
