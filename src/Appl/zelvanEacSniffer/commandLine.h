// The command line: the port and the -b/-a/-f pairs that have always been
// accepted, and the long options for unattended runs, read from one table.
#pragma once

#include <string>

#include "base/hal_types.h"
#include "hal/include/multiUart.h"

enum EacFlavour : U8 {
    EAC_FLAVOUR_ZELVAN = 0,
};

enum MainCommandLineOutcome : U8 {
    MAIN_CLI_RUN = 0,        // start sniffing
    MAIN_CLI_EXIT_OK = 1,    // --help or --version was printed: status 0
    MAIN_CLI_EXIT_FAIL = 2,  // usage, -h, -v or a wrong option value was printed: status 1
};

// The long options. Texts point into the argument vector.
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
    // -w as a ring of files: a new one at this size or age, only the newest kept (0: no limit)
    U32 captureSize_MB = 0;
    U32 captureDuration_s = 0;
    U32 captureFiles = 0;
    // Bus health: the table and/or the CSV once more at the end, and the
    // filter in force from the first byte.
    Boolean stats = FALSE;
    const char* statsCsvFile = nullptr;
    const char* filter = nullptr;
    Boolean drops = FALSE;           // a line for every dropped frame and run of noise
    const char* jsonFile = nullptr;  // the reports as JSON Lines ("-": standard output)
    // The device table once more at the end, and/or as CSV.
    Boolean devices = FALSE;
    const char* devicesCsvFile = nullptr;
    Boolean top = FALSE;               // the live device table instead of the console
    const char* reportFile = nullptr;  // the HTML report, written at the end
};

// What the command line settled.
struct MainCommandLine {
    MainCommandLineOutcome outcome = MAIN_CLI_EXIT_FAIL;
    const char* appName = "zelvanEacSniffer";  // argv[0], for messages
    S32 comAIndex = 0;                         // zero-based port index (unused with a device path)
    U32 baudRate = 0;                          // 0 while no rate was requested
    EacFlavour eacFlavour = EAC_FLAVOUR_ZELVAN;
    std::string devicePath;  // the port given as a device path, or empty
    MainOptions options;
};

// Reads the command line, or asks for the port on standard input when there
// are no arguments; prints the usage, help or version text where the line
// asks for it or is wrong.
MainCommandLine mainParseCommandLine(int argc, char** argv);
// "11.3.31476"
const char* mainVersionText();
// TRUE to start the sniffer, FALSE to end the program (a text was printed).
Boolean handleCommandLineOptions(int argc, char** argv, MainCommandLine& result);
void printHelp(const char* appName);
UartBitrate baudrate2baudrateEnum(U32 baudrate);
U32 baudrateEnum2baudrate(U8 value);
const char* mainAppVersion();
// Reads text the way atoi does, saturating at the int range.
int mainTextToInt(const char* text);
