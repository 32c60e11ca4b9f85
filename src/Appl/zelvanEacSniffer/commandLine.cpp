// The command line: the port and the -b/-a/-f pairs that have always been
// accepted, and the long options for unattended runs, read from one table.
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "Appl/zelvanEacSniffer/commandLine.h"
#include "Appl/zelvanEacSniffer/commandLineOptions.h"

#include "filter/zvEacFilter.h"
#include "hal/include/multiUart.h"

namespace {

constexpr int kVersionMajor = 11;
constexpr int kVersionMinor = 3;
constexpr int kVersionBuild = 31476;

// "major.minor.build", the build number in five digits, made when compiling.
constexpr std::array<char, 32> formatVersion() {
    std::array<char, 32> text{};
    std::size_t at = 0;
    const auto put = [&](int value, int minDigits) {
        std::array<char, 12> digits{};
        int count = 0;
        do {
            digits[static_cast<std::size_t>(count++)] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0 || count < minDigits);
        while (count > 0) {
            text[at++] = digits[static_cast<std::size_t>(--count)];
        }
    };
    put(kVersionMajor, 1);
    text[at++] = '.';
    put(kVersionMinor, 1);
    text[at++] = '.';
    put(kVersionBuild, 5);
    return text;
}
constexpr std::array<char, 32> kVersion = formatVersion();
constexpr const char* kVersionText = kVersion.data();
constexpr const char* kDefaultAppName = "zelvanEacSniffer";

constexpr U32 kDefaultBaudRate = 19200;
// argv[0], the port and two option pairs: all the words the port form with
// -b/-a/-f has ever taken.
constexpr int kMaxClassicWords = 6;

constexpr const char* kUsageText =
    "> usage: %s port [-b baudrate]\n\n  -h, help (this)\n  -v, print version and exit application\n"
    "  port        number of serial port to use, COM1 => port=1 \n"
    "  -b baudrate {19200, 38400, 57600, 115200}, \n     default is 19200\n";

constexpr const char* kFullHelpHead =
    "usage: %s port [-b baudrate] [-f ZELVAN] [options]\n"
    "       %s -r FILE [-b baudrate] [options]\n"
    "       %s --help | --version | -h | -v\n"
    "\n"
    "  port               the serial line: a device path (/dev/ttyUSB0, /dev/serial/by-id/...),\n"
    "                     or COMn, comn, n for /dev/ttyS<n-1>; asked for when no argument is given\n"
    "  -b baudrate        9600, 19200, 38400, 57600 or 115200 (any other value: 19200)\n"
    "  -f ZELVAN          protocol flavour (the only one, and the default)\n";

constexpr const char* kFullHelpTail =
    "\n"
    "console commands (type them while the sniffer runs; Tab completes):\n"
    "  help [command]           list the commands, or show one command's help\n"
    "  verboseMessages 0..3     0 nothing, 1 message ids, 2 ids and contents (default), 3 also hex dumps\n"
    "  rawData 1 | 0            dump every byte of the line, one line per frame\n"
    "  logToFile 1 FILE | 0     append every report to FILE as well, or stop\n"
    "  stats [msg|reset]        bus health: per device polls, answers, answer times; line load, drops\n"
    "  stats csv FILE           the same figures as CSV into FILE\n"
    "  filter [EXPR | off]      print only some devices or message ids (EXPR: addr 5,7-9 msg 0xa3)\n"
    "  capture 1 FILE | 0       record every byte of the line into a capture file, or stop\n"
    "  drops 1 | 0              a line for every dropped frame and run of noise, or none\n"
    "  json 1 FILE | 0          every report as JSON Lines into FILE as well, or stop\n"
    "  devices [wide|csv FILE]  every device seen: kind, presence, decoded states; as CSV into FILE\n"
    "  top                      the device table live, in place of the console (q returns)\n"
    "  writeReport FILE         an HTML report of what was seen so far into FILE\n"
    "  quit, exit               stop the sniffer (status 0)\n"
    "\n"
    "exit status: 0 after quit, Ctrl-C, SIGTERM or SIGHUP, and for --help and --version;\n"
    "1 for -h, -v, a wrong command line or a serial port that fails; 2 on an internal error.\n";

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

void optionProblem(const MainCommandLine& cl, const char* name, const char* problem) {
    std::fprintf(stderr, "%s: option %s %s\n", cl.appName, name, problem);
    std::fflush(stderr);
}

enum class TakeResult : U8 { NotAnOption, Taken, Failed };

// Takes the option at argv[i] (and its value), advancing i past them.
// `portGiven` is also true for a line that reads a file (-r): what changes
// the decoding applies there too.
TakeResult takeOption(MainCommandLine& cl, int argc, char** argv, int& i, bool portGiven, bool reading = false) {
    const char* inlineValue = nullptr;
    const OptionRow* row = mainFindOption(argv[i], inlineValue);
    if (row == nullptr) {
        return TakeResult::NotAnOption;
    }
    const char* value = "";
    if (row->valueName != nullptr) {
        if (inlineValue != nullptr) {
            value = inlineValue;
        } else if (i + 1 < argc) {
            value = argv[++i];
            // "--log --raw" would otherwise log into a file named --raw.
            const char* ignored = nullptr;
            if (std::strncmp(value, "--", 2) == 0 && mainFindOption(value, ignored) != nullptr) {
                optionProblem(cl, row->longName, "needs a value, not the option that follows it");
                return TakeResult::Failed;
            }
        } else {
            optionProblem(cl, row->longName, "needs a value");
            return TakeResult::Failed;
        }
    }
    ++i;
    if ((!portGiven && row->where == OptionWhere::AfterPort) ||
        ((!portGiven || reading) && row->where == OptionWhere::PortOnly)) {
        optionProblem(cl, row->longName, "needs a serial port before it");
        return TakeResult::Failed;
    }
    std::string problem;
    if (!row->set(cl.options, value, problem)) {
        optionProblem(cl, row->longName, problem.c_str());
        return TakeResult::Failed;
    }
    return TakeResult::Taken;
}

// The ring options shape what -w writes: alone they would be ignored.
bool ringOptionsFit(const MainCommandLine& cl) {
    const MainOptions& o = cl.options;
    const char* lonely = o.captureSize_MB != 0      ? "--capture-size"
                         : o.captureDuration_s != 0 ? "--capture-duration"
                         : o.captureFiles != 0      ? "--capture-files"
                                                    : nullptr;
    if (lonely != nullptr && o.captureFile == nullptr) {
        optionProblem(cl, lonely, "needs -w FILE (--capture FILE)");
        return false;
    }
    if (o.captureFiles != 0 && o.captureSize_MB == 0 && o.captureDuration_s == 0) {
        optionProblem(cl, "--capture-files", "needs --capture-size or --capture-duration");
        return false;
    }
    return true;
}

// --- helpers ----------------------------------------------------------------------

bool isDigit(Char c) { return c >= '0' && c <= '9'; }

// Reads one line from standard input one byte at a time: the console driver
// reads the same descriptor afterwards, and a buffered read would swallow
// whatever was typed (or piped) after this line. The whole line is consumed
// so an over-long one does not spill into the shell as a command. FALSE when
// the input ended before anything was read.
Boolean readPromptLine(std::string& promptLine) {
    std::array<Char, kPromptLineSize> line{};
    std::size_t used = 0;
    bool gotAny = false;
    for (;;) {
        Char c = 0;
        if (consoleReadStdinByte(&c) == FALSE) {
            break;
        }
        gotAny = true;
        if (c == '\n') {
            break;
        }
        if (used + 1 < line.size()) {
            line[used++] = c;
        }
    }
    while (used > 0 && line[used - 1] == '\r') {
        --used;
    }
    promptLine.assign(line.data(), used);
    return gotAny ? TRUE : FALSE;
}

Boolean usage(const MainCommandLine& cl) {
    printHelp(cl.appName);
    return FALSE;
}

void printFullHelp(const MainCommandLine& cl) {
    std::printf(kFullHelpHead, cl.appName, cl.appName, cl.appName);
    for (const OptionRow& row : mainCommandLineOptions()) {
        std::array<char, 40> left{};
        std::snprintf(left.data(), left.size(), "%s%s%s%s%s", row.shortName != nullptr ? row.shortName : "",
                      row.shortName != nullptr ? ", " : "", row.longName, row.valueName != nullptr ? " " : "",
                      row.valueName != nullptr ? row.valueName : "");
        std::printf("  %-17s  %s\n", left.data(), row.help);
    }
    std::printf("%s", kFullHelpTail);
    std::fflush(stdout);
}

MainCommandLineOutcome printVersion(const MainCommandLine& cl) {
    std::printf("%s Version: %s\n", cl.appName, kVersionText);
    std::fflush(stdout);
    return MAIN_CLI_EXIT_OK;
}

// The port text as the classic grammar reads it: a device path, or COMn,
// comn, n.
Boolean settlePort(MainCommandLine& cl, const char* portText) {
    if (portText[0] == '/') {
        cl.devicePath = portText;
        return TRUE;
    }
    if (std::strncmp(portText, "COM", 3) == 0 || std::strncmp(portText, "com", 3) == 0) {
        portText += 3;
    }
    if (!isDigit(portText[0])) {
        return FALSE;
    }
    cl.comAIndex = mainTextToInt(portText) - 1;
    return TRUE;
}

// One -b/-a/-f pair; FALSE for a word the classic grammar does not know.
Boolean takeClassicPair(MainCommandLine& cl, const char* option, const char* value) {
    if (std::strncmp(option, "-b", 2) == 0) {
        cl.baudRate = static_cast<U32>(mainTextToInt(value));
    } else if (std::strncmp(option, "-a", 2) == 0) {
        // Accepted for compatibility; it has no effect.
    } else if (std::strncmp(option, "-f", 2) == 0) {
        if (std::strcmp(value, "ZELVAN") != 0) {
            return FALSE;
        }
        cl.eacFlavour = EAC_FLAVOUR_ZELVAN;
    } else {
        return FALSE;
    }
    return TRUE;
}

bool readsAFile(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* inlineValue = nullptr;
        const OptionRow* row = mainFindOption(argv[i], inlineValue);
        if (row != nullptr && mainIsReadOption(*row)) {
            return true;
        }
        if (row != nullptr && row->valueName != nullptr && inlineValue == nullptr) {
            ++i;  // its value is no option
        }
    }
    return false;
}

// Nothing but options, no port: --help, --version, or -r with the options
// and -b/-a/-f pairs that shape the decoding.
MainCommandLineOutcome parseWithoutPort(MainCommandLine& cl, int argc, char** argv) {
    const bool reading = readsAFile(argc, argv);
    cl.baudRate = 0;
    for (int i = 1; i < argc;) {
        switch (takeOption(cl, argc, argv, i, reading, reading)) {
            case TakeResult::Taken:
                break;
            case TakeResult::Failed:
                return MAIN_CLI_EXIT_FAIL;
            case TakeResult::NotAnOption:
                if (!reading || i + 1 >= argc || takeClassicPair(cl, argv[i], argv[i + 1]) == FALSE) {
                    usage(cl);
                    return MAIN_CLI_EXIT_FAIL;
                }
                i += 2;
                break;
        }
    }
    if (cl.options.help != FALSE) {
        printFullHelp(cl);
        return MAIN_CLI_EXIT_OK;
    }
    if (cl.options.version != FALSE || !reading) {
        return printVersion(cl);
    }
    return ringOptionsFit(cl) ? MAIN_CLI_RUN : MAIN_CLI_EXIT_FAIL;
}

// A port, then -b/-a/-f pairs and options in any order. The pairs keep
// their old limits: at most two, each complete.
MainCommandLineOutcome parseAfterPort(MainCommandLine& cl, int argc, char** argv) {
    int classicWords = 2;
    for (int i = 2; i < argc;) {
        const TakeResult taken = takeOption(cl, argc, argv, i, true);
        if (taken == TakeResult::Failed) {
            return MAIN_CLI_EXIT_FAIL;
        }
        if (taken == TakeResult::Taken) {
            continue;
        }
        classicWords += 2;
        if (i + 1 >= argc || classicWords > kMaxClassicWords || takeClassicPair(cl, argv[i], argv[i + 1]) == FALSE) {
            usage(cl);
            return MAIN_CLI_EXIT_FAIL;
        }
        i += 2;
    }
    if (cl.options.help != FALSE) {
        printFullHelp(cl);
        return MAIN_CLI_EXIT_OK;
    }
    if (cl.options.version != FALSE) {
        return printVersion(cl);
    }
    if (cl.options.readFile != nullptr) {
        optionProblem(cl, "--read", "takes no serial port");
        return MAIN_CLI_EXIT_FAIL;
    }
    return ringOptionsFit(cl) ? MAIN_CLI_RUN : MAIN_CLI_EXIT_FAIL;
}

bool startsWithOption(const char* word) {
    const char* inlineValue = nullptr;
    return mainFindOption(word, inlineValue) != nullptr;
}

// The classic grammar alone decides: -h, -v, wrong word counts.
bool classicCountIsWrong(int argc) { return argc < 1 || argc > kMaxClassicWords || (argc != 1 && argc % 2 != 0); }

bool hasOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i] != nullptr && startsWithOption(argv[i])) {
            return true;
        }
    }
    return false;
}

}  // namespace

// --- shared within the module ---------------------------------------------------------

// Reads text the way atoi does (leading blanks, optional sign, leading
// digits), but saturates at the int range instead of overflowing.
int mainTextToInt(const char* text) {
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

const char* mainAppVersion() { return kVersionText; }

// --- command line ---------------------------------------------------------------------

void printHelp(const char* appName) {
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

namespace {

MainCommandLineOutcome parse(MainCommandLine& cl, int argc, char** argv) {
    // No vector means no words, whatever the count claims.
    if (argv == nullptr) {
        argc = 0;
    }
    cl.appName = (argc >= 1 && argv != nullptr && argv[0] != nullptr) ? argv[0] : kDefaultAppName;

    // -h and -v, and any line without the long options, mean what they
    // always meant.
    const bool classicFirstWord =
        argc > 1 && argv != nullptr && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "-v") == 0);
    const bool withOptions = !classicFirstWord && argc > 1 && argv != nullptr && hasOption(argc, argv);
    if (!withOptions && classicCountIsWrong(argc)) {
        usage(cl);
        return MAIN_CLI_EXIT_FAIL;
    }

    std::string portText;
    if (argc > 1) {
        if (std::strcmp(argv[1], "-h") == 0) {
            usage(cl);
            return MAIN_CLI_EXIT_FAIL;
        }
        if (std::strcmp(argv[1], "-v") == 0) {
            std::printf("\n> %s Version: %s\n", cl.appName, kVersionText);
            std::fflush(stdout);
            return MAIN_CLI_EXIT_FAIL;
        }
        if (startsWithOption(argv[1])) {
            return parseWithoutPort(cl, argc, argv);
        }
        portText = argv[1];
    } else {
        std::printf("\n> Enter COM port for serial communication: \n");
        std::fflush(stdout);
        if (readPromptLine(portText) == FALSE) {
            usage(cl);
            return MAIN_CLI_EXIT_FAIL;
        }
    }

    if (settlePort(cl, portText.c_str()) == FALSE) {
        usage(cl);
        return MAIN_CLI_EXIT_FAIL;
    }
    cl.baudRate = 0;
    return parseAfterPort(cl, argc, argv);
}

}  // namespace

MainCommandLine mainParseCommandLine(int argc, char** argv) {
    MainCommandLine cl;
    cl.outcome = parse(cl, argc, argv);
    return cl;
}

Boolean handleCommandLineOptions(int argc, char** argv, MainCommandLine& result) {
    result = mainParseCommandLine(argc, argv);
    return result.outcome == MAIN_CLI_RUN ? TRUE : FALSE;
}

const char* mainVersionText() { return kVersionText; }
