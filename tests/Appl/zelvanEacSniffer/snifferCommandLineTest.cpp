// The command line and the port prompt, checked by running the real program
// and by calling the parser directly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ostream>
#include <string>
#include <vector>

#include "Appl/zelvanEacSniffer/commandLine.h"
#include "support/childProcess.h"

namespace {

using zvtest::ChildProcess;
using zvtest::runProgram;

const std::string kBin = ZV_SNIFFER_BIN;
const std::string kPrompt = "\n> Enter COM port for serial communication: \n";
const std::string kVersionLine = "\n " + kBin + " Version: 11.3.31476\n";

std::string usageText() {
    return "> usage: " + kBin +
           " port [-b baudrate]\n\n  -h, help (this)\n  -v, print version and exit application\n"
           "  port        number of serial port to use, COM1 => port=1 \n"
           "  -b baudrate {19200, 38400, 57600, 115200}, \n     default is 19200\n";
}

std::vector<std::string> withBin(std::vector<std::string> args) {
    args.insert(args.begin(), kBin);
    return args;
}

struct RejectedCase {
    const char* name;
    std::vector<std::string> args;
};

// Names the case in test listings and failures.
void PrintTo(const RejectedCase& c, std::ostream* os) { *os << c.name; }

class RejectedCommandLine : public testing::TestWithParam<RejectedCase> {};

TEST_P(RejectedCommandLine, PrintsUsageAndEndsWithStatus1) {
    const zvtest::RunResult result = runProgram(withBin(GetParam().args));
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, usageText());
}

INSTANTIATE_TEST_SUITE_P(
    Cli, RejectedCommandLine,
    testing::Values(RejectedCase{"Help", {"-h"}}, RejectedCase{"OddCount", {"3", "-b"}},
                    RejectedCase{"MoreThanFiveArguments", {"3", "-b", "9600", "-a", "1", "-f", "ZELVAN"}},
                    RejectedCase{"FlavourWrongCase", {"3", "-f", "zelvan"}},
                    RejectedCase{"VersionAsOption", {"3", "-v", "1"}}, RejectedCase{"UnknownOption", {"3", "-x", "1"}},
                    RejectedCase{"PortWithoutDigit", {"COM"}}, RejectedCase{"PortMixedCase", {"Com7"}},
                    RejectedCase{"PortWord", {"abc"}}, RejectedCase{"HelpWithExtraPair", {"-h", "-b", "1"}}),
    [](const testing::TestParamInfo<RejectedCase>& info) { return std::string(info.param.name); });

TEST(CommandLine, VersionOptionPrintsVersionAndEndsWithStatus1) {
    const zvtest::RunResult result = runProgram(withBin({"-v"}));
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "\n> " + kBin + " Version: 11.3.31476\n");
}

// Accepted command lines go on to open the port; the serial ports named here
// do not exist, so the program ends with status 1 naming the device.
struct AcceptedCase {
    const char* name;
    std::vector<std::string> args;
    std::string input;  // typed at the prompt
    const char* device;
};

// Names the case in test listings and failures.
void PrintTo(const AcceptedCase& c, std::ostream* os) { *os << c.name; }

class AcceptedPort : public testing::TestWithParam<AcceptedCase> {};

TEST_P(AcceptedPort, PrintsVersionLineAndOpensTheNamedDevice) {
    const AcceptedCase& c = GetParam();
    // Standard input stays open: the console must not see its end before the
    // port fails.
    const zvtest::RunResult result = runProgram(withBin(c.args), c.input, false);
    EXPECT_EQ(result.exitStatus, 1) << result.out << result.err;
    const std::string expectedStart = (c.args.empty() ? kPrompt : std::string()) + kVersionLine;
    EXPECT_EQ(result.out.substr(0, expectedStart.size()), expectedStart);
    EXPECT_NE(result.err.find(c.device), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, AcceptedPort,
    testing::Values(AcceptedCase{"PromptUpperCom", {}, "COM7\n", "/dev/ttyS6"},
                    AcceptedCase{"PromptLowerCom", {}, "com7\n", "/dev/ttyS6"},
                    AcceptedCase{"PromptNumber", {}, "7\n", "/dev/ttyS6"},
                    AcceptedCase{"PromptCrLf", {}, "7\r\n", "/dev/ttyS6"},
                    AcceptedCase{"PromptDevicePath", {}, "/dev/zvNoSuchPort0\n", "/dev/zvNoSuchPort0"},
                    AcceptedCase{"PromptLongDevicePath",
                                 {},
                                 "/dev/serial/by-id/usb-zvNoSuchAdapter_RS485_Converter_A1B2C3D4-if00-port0\n",
                                 "/dev/serial/by-id/usb-zvNoSuchAdapter_RS485_Converter_A1B2C3D4-if00-port0"},
                    AcceptedCase{"ArgumentsWithRate", {"3", "-b", "38400"}, "", "/dev/ttyS2"},
                    AcceptedCase{"PortZeroWrapsTo255", {"0"}, "", "/dev/ttyS255"},
                    AcceptedCase{
                        "ArgumentDevicePath", {"/dev/zvNoSuchPort1", "-f", "ZELVAN"}, "", "/dev/zvNoSuchPort1"}),
    [](const testing::TestParamInfo<AcceptedCase>& info) { return std::string(info.param.name); });

struct PromptRejectedCase {
    const char* name;
    std::string input;
};

// Names the case in test listings and failures.
void PrintTo(const PromptRejectedCase& c, std::ostream* os) { *os << c.name; }

class PromptRejected : public testing::TestWithParam<PromptRejectedCase> {};

TEST_P(PromptRejected, PrintsPromptThenUsage) {
    const zvtest::RunResult result = runProgram({kBin}, GetParam().input);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, kPrompt + usageText());
}

INSTANTIATE_TEST_SUITE_P(Cli, PromptRejected,
                         testing::Values(PromptRejectedCase{"MixedCase", "Com7\n"},
                                         PromptRejectedCase{"ComAlone", "COM\n"}, PromptRejectedCase{"EmptyLine", "\n"},
                                         PromptRejectedCase{"EndOfInput", ""}),
                         [](const testing::TestParamInfo<PromptRejectedCase>& info) {
                             return std::string(info.param.name);
                         });

// --- the parser in-process ------------------------------------------------------

struct ParsedCase {
    std::vector<std::string> args;
    S32 comAIndex;
    U32 baudRate;
};

class ParsedCommandLine : public testing::TestWithParam<ParsedCase> {};

TEST_P(ParsedCommandLine, SettlesPortAndRate) {
    std::vector<std::string> args = withBin(GetParam().args);
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    MainCommandLine r;
    ASSERT_EQ(handleCommandLineOptions(static_cast<int>(args.size()), argv.data(), r), TRUE);
    EXPECT_EQ(r.comAIndex, GetParam().comAIndex);
    EXPECT_EQ(r.baudRate, GetParam().baudRate);
    EXPECT_EQ(r.eacFlavour, EAC_FLAVOUR_ZELVAN);
    EXPECT_EQ(r.devicePath, "");
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ParsedCommandLine,
    testing::Values(ParsedCase{{"3", "-b", "38400"}, 2, 38400}, ParsedCase{{"3", "-b", "4800"}, 2, 4800},
                    ParsedCase{{"3", "-b", "abc"}, 2, 0}, ParsedCase{{"3", "-f", "ZELVAN"}, 2, 0},
                    ParsedCase{{"3", "-b", "57600", "-f", "ZELVAN"}, 2, 57600}, ParsedCase{{"COM12", "-a", "5"}, 11, 0},
                    ParsedCase{{"com1x"}, 0, 0}, ParsedCase{{"0"}, -1, 0}, ParsedCase{{"257"}, 256, 0},
                    ParsedCase{{"3", "-baud", "9600"}, 2, 9600},
                    // atoi would overflow here; the rate saturates and maps to 19200.
                    ParsedCase{{"99999999999999999999", "-b", "99999999999999999999"}, 2147483646, 2147483647}),
    [](const testing::TestParamInfo<ParsedCase>& info) {
        std::string name = std::to_string(info.index);
        for (const std::string& a : info.param.args) {
            name += '_';
            for (char c : a) {
                name += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : 'x';
            }
        }
        return name;
    });

TEST(CommandLine, DevicePathIsKeptAsGiven) {
    char bin[] = "sniffer";
    char path[] = "/dev/serial/by-id/usb-adapter-if00-port0";
    char opt[] = "-b";
    char rate[] = "115200";
    char* argv[] = {bin, path, opt, rate, nullptr};
    MainCommandLine r;
    ASSERT_EQ(handleCommandLineOptions(4, argv, r), TRUE);
    EXPECT_EQ(r.devicePath, path);
    EXPECT_EQ(r.baudRate, 115200u);
}

TEST(CommandLine, NoProgramNameIsRejectedWithoutCrashing) {
    char* argv[] = {nullptr};
    testing::internal::CaptureStdout();
    MainCommandLine r;
    EXPECT_EQ(handleCommandLineOptions(0, argv, r), FALSE);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("> usage: "), std::string::npos);
    // A count without a vector must not be believed.
    testing::internal::CaptureStdout();
    EXPECT_EQ(mainParseCommandLine(2, nullptr).outcome, MAIN_CLI_EXIT_FAIL);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("> usage: "), std::string::npos);
}

TEST(CommandLine, BitRateMapping) {
    struct Row {
        U32 bitsPerSecond;
        UartBitrate bitrate;
    };
    for (const Row& row : {Row{9600, UART_9600}, Row{19200, UART_19200}, Row{38400, UART_38400}, Row{57600, UART_57600},
                           Row{115200, UART_115200}}) {
        EXPECT_EQ(baudrate2baudrateEnum(row.bitsPerSecond), row.bitrate);
        EXPECT_EQ(baudrateEnum2baudrate(row.bitrate), row.bitsPerSecond);
    }
    for (U32 unlisted : {0u, 4800u, 9601u, 230400u}) {
        EXPECT_EQ(baudrate2baudrateEnum(unlisted), UART_19200) << unlisted;
    }
    for (U8 value : {U8{5}, U8{7}, U8{255}}) {
        EXPECT_EQ(baudrateEnum2baudrate(value), 19200u) << static_cast<int>(value);
    }
}

// --- long options ---------------------------------------------------------------

struct OptionCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string outStart;
    std::string errHas;
};

// Names the case in test listings and failures.
void PrintTo(const OptionCase& c, std::ostream* os) { *os << c.name; }

class LongOption : public testing::TestWithParam<OptionCase> {};

TEST_P(LongOption, EndsWithItsStatusAndText) {
    const OptionCase& c = GetParam();
    const zvtest::RunResult result = runProgram(withBin(c.args));
    EXPECT_EQ(result.exitStatus, c.status) << result.out << result.err;
    EXPECT_EQ(result.out.substr(0, c.outStart.size()), c.outStart) << result.out;
    EXPECT_NE(result.err.find(c.errHas), std::string::npos) << result.err;
    if (c.status == 1 && c.outStart.empty()) {
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << "one clear line: " << result.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, LongOption,
    testing::Values(
        OptionCase{"Help", {"--help"}, 0, "usage: " + kBin + " port", ""},
        OptionCase{"HelpAfterPort", {"/dev/null", "--raw", "--help"}, 0, "usage: " + kBin + " port", ""},
        OptionCase{"Version", {"--version"}, 0, kBin + " Version: 11.3.31476\n", ""},
        OptionCase{"VerbosityOutOfRange", {"/dev/null", "--verbosity", "4"}, 1, "", "--verbosity"},
        OptionCase{"VerbosityInlineNotANumber", {"/dev/null", "--verbosity=x"}, 1, "", "--verbosity"},
        OptionCase{"LogWithoutFile", {"/dev/null", "--log"}, 1, "", "--log needs a value"},
        OptionCase{"RawWithoutPort", {"--raw"}, 1, "", "--raw"},
        OptionCase{"FilterNotAnExpression",
                   {"/dev/null", "--filter", "addr 7-"},
                   1,
                   "",
                   "--filter refuses 7-: a range is two numbers; it expects"},
        OptionCase{"StatsCsvUnwritable",
                   {"/dev/null", "--stats-csv", "/nonexistent/dir/s.csv"},
                   1,
                   "\n " + kBin + " Version: ",
                   "--stats-csv: cannot write to /nonexistent/dir/s.csv"},
        OptionCase{"StatsWithoutPort", {"--stats"}, 1, "", "--stats needs a serial port"},
        OptionCase{"RingSizeWithoutCapture", {"/dev/null", "--capture-size", "5"}, 1, "", "--capture-size needs -w"},
        OptionCase{
            "RingDurationWithoutCapture", {"-r", "x", "--capture-duration=60"}, 1, "", "--capture-duration needs -w"},
        OptionCase{"RingFilesWithoutALimit",
                   {"/dev/null", "-w", "x.pcap", "--capture-files", "3"},
                   1,
                   "",
                   "--capture-files needs --capture-size or --capture-duration"},
        OptionCase{
            "RingSizeZero", {"/dev/null", "-w", "x.pcap", "--capture-size", "0"}, 1, "", "--capture-size expects"},
        OptionCase{"RingDurationBeyond32Bits",
                   {"/dev/null", "-w", "x", "--capture-duration", "4294967296"},
                   1,
                   "",
                   "--capture-duration expects"},
        OptionCase{"RingFilesNotANumber",
                   {"/dev/null", "-w", "x", "--capture-size", "1", "--capture-files", "3x"},
                   1,
                   "",
                   "--capture-files expects"},
        // The words after -h and -v were never read; options do not change that.
        OptionCase{
            "ClassicVersionIgnoresTheRest", {"-v", "-b", "--raw"}, 1, "\n> " + kBin + " Version: 11.3.31476\n", ""},
        OptionCase{"ClassicHelpWithOption", {"-h", "--raw"}, 1, usageText(), ""},
        OptionCase{
            "OptionsDoNotLiftThePairLimit", {"3", "--raw", "-b", "1", "-a", "2", "-f", "ZELVAN"}, 1, usageText(), ""},
        OptionCase{"UnknownLongWordIsStillUsage", {"3", "--rawdata", "1"}, 1, usageText(), ""}),
    [](const testing::TestParamInfo<OptionCase>& info) { return std::string(info.param.name); });

TEST(CommandLine, OptionsMixWithPairsAndOptionWordsStayPairValues) {
    std::vector<std::string> args =
        withBin({"3", "--verbosity", "0", "-b", "38400", "--raw", "--log=site.log", "-a", "--reconnect"});
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    const MainCommandLine cl = mainParseCommandLine(static_cast<int>(args.size()), argv.data());
    ASSERT_EQ(cl.outcome, MAIN_CLI_RUN);
    EXPECT_EQ(cl.baudRate, 38400U);
    const MainOptions& o = cl.options;
    EXPECT_EQ(o.verbosity, 0);
    EXPECT_EQ(o.rawData, TRUE);
    EXPECT_STREQ(o.logFile, "site.log");
    // "--reconnect" is the value of -a here, as it always was.
    EXPECT_EQ(o.reconnect, FALSE);
}

}  // namespace

namespace {

// The manual page keeps up with the option table and the console commands:
// every option --help lists and every command it names is described there.
TEST(CommandLine, TheManualPageNamesEveryOptionAndCommand) {
    const zvtest::RunResult help = runProgram({kBin, "--help"});
    ASSERT_EQ(help.exitStatus, 0);
    std::string page = zvtest::readFile(std::string(ZV_SOURCE_DIR) + "/man/zelvanEacSniffer.1");
    for (std::size_t at = page.find("\\-"); at != std::string::npos; at = page.find("\\-", at)) {
        page.erase(at, 1);
    }
    std::vector<std::string> names;
    bool commands = false;
    std::size_t start = 0;
    while (start < help.out.size()) {
        const std::size_t end = std::min(help.out.find('\n', start), help.out.size());
        const std::string line = help.out.substr(start, end - start);
        start = end + 1;
        if (line.rfind("console commands", 0) == 0) {
            commands = true;
            continue;
        }
        if (commands && line.rfind("  ", 0) == 0) {
            const std::size_t first = line.find_first_not_of(' ');
            names.push_back(line.substr(first, line.find_first_of(" ,", first) - first));
        } else if (!commands) {
            for (std::size_t at = line.find("--"); at != std::string::npos; at = line.find("--", at + 2)) {
                names.push_back(line.substr(at, line.find_first_of(" ,=", at) - at));
            }
        }
    }
    names.push_back("exit");
    ASSERT_GT(names.size(), 20U) << help.out;
    for (const std::string& name : names) {
        EXPECT_NE(page.find(name), std::string::npos) << name << " is not in the manual page";
    }
}

}  // namespace
