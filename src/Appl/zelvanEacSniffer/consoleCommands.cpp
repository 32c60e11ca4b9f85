#include "Appl/zelvanEacSniffer/consoleCommands.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>

#include "Shell/shell.h"
#include "devices/zvEacDevices.h"
#include "logger/logger.h"
#include "report/zvReportHtml.h"
#include "stats/zvEacStats.h"

namespace {

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
constexpr const char* kHelpStrCapture =
    " Records every byte of the line into a capture file (pcap).\n \n capture 1 FILENAME\n capture 0\n";
constexpr const char* kHelpStrDrops =
    " drops 1  -> a line for every dropped frame and run of noise \n drops 0  -> no such lines (default)\n";
constexpr const char* kHelpStrJson =
    " Writes every report as a JSON object, one per line, into a file as well.\n \n json 1 FILENAME\n json 0\n";
constexpr const char* kHelpStrDevices =
    " devices            -> every device seen: kind, online, lock and door, last change, missed %, drops\n"
    " devices wide       -> every column: all decoded states, polls, answers, firmware, hardware, serial\n"
    " devices csv FILE   -> every column as CSV into FILE\n";
constexpr const char* kHelpStrTop =
    " top  -> the device table live, in place of the console; q returns here\n"
    "         keys: a by address, c by last change, m by missed %, / devices to show (5,7-9), Esc all\n";
constexpr const char* kHelpStrWriteReport =
    " Writes an HTML report of what was seen so far (summary, device table, timelines,\n"
    " answer times, the line's load, message mix) into a file.\n \n writeReport FILENAME\n";
constexpr const char* kReplyOk = "ok\n";
constexpr const char* kReplyStopping = "-- Stopping --\n";

Sniffer& snifferOf(void* cbArg) { return *static_cast<Sniffer*>(cbArg); }

// The words Tab offers after stats and filter.
const char* statsWord(std::size_t index) {
    constexpr std::array<const char*, 3> kWords{"msg", "reset", "csv"};
    return index < kWords.size() ? kWords[index] : nullptr;
}

const char* filterWord(std::size_t index) {
    constexpr std::array<const char*, 3> kKeywords{"addr", "msg", "off"};
    return index < kKeywords.size() ? kKeywords[index] : zvEacFilterMsgIdName(index - kKeywords.size());
}

void shellSink(void* /*arg*/, const char* text) { snifferPrint(text); }
void loggerSink(void* /*arg*/, const char* text) { loggerPrintf("%s", text); }

// The shell and the logger format into buffers of a report line's size;
// a table goes through them in pieces that fit.
void printInPieces(void (*sink)(void*, const char*), const std::string& text) {
    constexpr std::size_t kPiece = 120;
    for (std::size_t at = 0; at < text.size(); at += kPiece) {
        sink(nullptr, text.substr(at, kPiece).c_str());
    }
}

Boolean rawDumpGate(void* /*arg*/, U8 source, U8 destination) {
    return zvEacFilterAddressPasses(zvEacFilterActive(), source, destination);
}

const char* quitCmd(U8 /*argc*/, char** /*argv*/, void* cbArg) {
    snifferOf(cbArg).running = FALSE;
    return kReplyStopping;
}

const char* verboseMsgCmd(U8 argc, char** argv, void* /*cbArg*/) {
    if (argc != 2) {
        return kHelpStrVerboseMsg;
    }
    loggerSetVerbosity(static_cast<U8>(mainTextToInt(argv[1]) & 0xFF));
    return kReplyOk;
}

const char* logToFileCmd(U8 argc, char** argv, void* /*cbArg*/) {
    return loggerLogToFileCmd(argc, argv) != FALSE ? kReplyOk : kHelpStrLogToFile;
}

const char* rawDataCmd(U8 argc, char** argv, void* /*cbArg*/) {
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

const char* statsCmd(U8 argc, char** argv, void* cbArg) {
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
        snifferOf(cbArg).observer.history.reset();  // a report covers what the figures cover
        return kReplyOk;
    }
    if (argc == 3 && what == "csv") {
        std::string reason;
        if (mainWriteStatsCsv(argv[2], IC_OUTPUT_TABLE, reason) == FALSE) {
            auto& reply = snifferOf(cbArg).statsCsvReply;
            std::snprintf(reply.data(), reply.size(), "Could not write file: %s: %s\n", argv[2], reason.c_str());
            return reply.data();
        }
        return kReplyOk;
    }
    return kHelpStrStats;
}

const char* devicesCmd(U8 argc, char** argv, void* cbArg) {
    Sniffer& sniffer = snifferOf(cbArg);
    const std::string_view what(argc >= 2 ? argv[1] : "");
    if (argc == 1 || (argc == 2 && what == "wide")) {
        printInPieces(shellSink, zvEacDevicesText(sniffer.observer.devices, argc == 2));
        return "";
    }
    if (argc == 3 && what == "csv") {
        std::string reason;
        if (mainWriteTable(argv[2], IC_OUTPUT_TABLE, zvEacDevicesCsv(sniffer.observer.devices), reason) == FALSE) {
            std::snprintf(sniffer.statsCsvReply.data(), sniffer.statsCsvReply.size(), "Could not write file: %s: %s\n",
                          argv[2], reason.c_str());
            return sniffer.statsCsvReply.data();
        }
        return kReplyOk;
    }
    return kHelpStrDevices;
}

const char* topCmd(U8 argc, char** /*argv*/, void* cbArg) {
    if (argc != 1) {
        return kHelpStrTop;
    }
    Sniffer& sniffer = snifferOf(cbArg);
    std::string reason;
    if (sniffer.top.open(sniffer, false, reason) == FALSE) {
        std::snprintf(sniffer.statsCsvReply.data(), sniffer.statsCsvReply.size(), "Cannot show the live view: %s\n",
                      reason.c_str());
        return sniffer.statsCsvReply.data();
    }
    return "";
}

const char* devicesWord(std::size_t index) {
    constexpr std::array<const char*, 2> kWords{"wide", "csv"};
    return index < kWords.size() ? kWords[index] : nullptr;
}

const char* filterCmd(U8 argc, char** argv, void* cbArg) {
    Sniffer& sniffer = snifferOf(cbArg);
    if (argc > 1) {
        ZvEacFilter filter{};
        ZvEacFilterProblem why{};
        if (zvEacFilterParse(std::span<const char* const>(argv + 1, argc - 1U), filter, &why) == FALSE) {
            // Which word and why first, then how it is done.
            std::snprintf(sniffer.filterReply.data(), sniffer.filterReply.size(), " filter refused: %s\n%s",
                          why.text.data(), kHelpStrFilter);
            return sniffer.filterReply.data();
        }
        mainApplyFilter(sniffer.nwkInst, filter);
    }
    std::array<char, ZV_EAC_FILTER_TEXT_MAX> text{};
    zvEacFilterDescribe(zvEacFilterActive(), text.data(), text.size());
    std::snprintf(sniffer.filterReply.data(), sniffer.filterReply.size(), " filter %s\n", text.data());
    return sniffer.filterReply.data();
}

const char* captureCmd(U8 argc, char** argv, void* cbArg) {
    CaptureRecorder& recorder = snifferOf(cbArg).recorder;
    if (argc == 2 && std::strcmp(argv[1], "0") == 0) {
        recorder.stop();
        return kReplyOk;
    }
    if (argc == 3 && std::strcmp(argv[1], "1") == 0 && argv[2][0] != '\0') {
        std::string reason;
        return recorder.start(argv[2], reason) != FALSE ? kReplyOk : kHelpStrCapture;
    }
    return kHelpStrCapture;
}

const char* dropsCmd(U8 argc, char** argv, void* cbArg) {
    if (argc != 2 || (std::strcmp(argv[1], "0") != 0 && std::strcmp(argv[1], "1") != 0)) {
        return kHelpStrDrops;
    }
    snifferOf(cbArg).observer.reportDrops = argv[1][0] == '1' ? TRUE : FALSE;
    return kReplyOk;
}

const char* jsonCmd(U8 argc, char** argv, void* cbArg) {
    Sniffer& sniffer = snifferOf(cbArg);
    if (argc == 2 && std::strcmp(argv[1], "0") == 0) {
        mainStopJson(sniffer);
        return kReplyOk;
    }
    if (argc == 3 && std::strcmp(argv[1], "1") == 0 && argv[2][0] != '\0') {
        std::string reason;
        if (std::strcmp(argv[2], "-") == 0 && !sniffer.stdoutIsJson) {
            // Records between the console's lines would serve neither.
            std::snprintf(sniffer.statsCsvReply.data(), sniffer.statsCsvReply.size(),
                          "Could not open file: -: standard output is the console's (start with --json - for that)\n%s",
                          kHelpStrJson);
            return sniffer.statsCsvReply.data();
        }
        if (mainStartJson(sniffer, argv[2], reason) == FALSE) {
            std::snprintf(sniffer.statsCsvReply.data(), sniffer.statsCsvReply.size(), "Could not open file: %s: %s\n%s",
                          argv[2], reason.c_str(), kHelpStrJson);
            return sniffer.statsCsvReply.data();
        }
        return kReplyOk;
    }
    return kHelpStrJson;
}

const char* writeReportCmd(U8 argc, char** argv, void* cbArg) {
    if (argc != 2 || argv[1][0] == '\0') {
        return kHelpStrWriteReport;
    }
    Sniffer& sniffer = snifferOf(cbArg);
    std::string reason;
    if (mainWriteReport(argv[1], IC_OUTPUT_TABLE, sniffer.cli, sniffer.observer, reason) == FALSE) {
        std::snprintf(sniffer.statsCsvReply.data(), sniffer.statsCsvReply.size(), "Could not write file: %s: %s\n",
                      argv[1], reason.c_str());
        return sniffer.statsCsvReply.data();
    }
    return kReplyOk;
}

struct CommandRow {
    const char* name;
    const char* help;
    ShellCmdCallback run;
    ShellArgCompleter argWord;  // what Tab offers after the name, or nullptr
};

// In the order help lists them.
constexpr std::array kCommands{
    CommandRow{"quit", kHelpStrQuit, quitCmd, nullptr},
    CommandRow{"exit", kHelpStrQuit, quitCmd, nullptr},
    CommandRow{"verboseMessages", kHelpStrVerboseMsg, verboseMsgCmd, nullptr},
    CommandRow{"logToFile", kHelpStrLogToFile, logToFileCmd, nullptr},
    CommandRow{"rawData", kHelpStrRawDataMsg, rawDataCmd, nullptr},
    CommandRow{"stats", kHelpStrStats, statsCmd, statsWord},
    CommandRow{"filter", kHelpStrFilter, filterCmd, filterWord},
    CommandRow{"capture", kHelpStrCapture, captureCmd, nullptr},
    CommandRow{"drops", kHelpStrDrops, dropsCmd, nullptr},
    CommandRow{"json", kHelpStrJson, jsonCmd, nullptr},
    CommandRow{"devices", kHelpStrDevices, devicesCmd, devicesWord},
    CommandRow{"top", kHelpStrTop, topCmd, nullptr},
    CommandRow{"writeReport", kHelpStrWriteReport, writeReportCmd, nullptr},
};

}  // namespace

void mainRegisterCommands(Sniffer& sniffer) {
    for (const CommandRow& row : kCommands) {
        shellApi->reg(shellApi->sh, row.name, row.help, row.run, &sniffer);
        if (row.argWord != nullptr) {
            shellSetArgCompleter(row.name, row.argWord);
        }
    }
}

void mainApplyFilter(ZvEacNwkInst& nwk, const ZvEacFilter& filter) {
    zvEacFilterSet(filter);
    // Without an address filter the dump prints every byte as it comes.
    zvEacNwkSetRawDumpGate(&nwk, filter.byAddress != FALSE ? rawDumpGate : nullptr, nullptr);
}

namespace {

Boolean claimAtStart(const MainCommandLine& cli, const char* option, const char* path, IcOutputUse use) {
    if (path == nullptr) {
        return TRUE;
    }
    std::string reason;
    std::FILE* file = icOutputOpen(path, "a", use, reason);
    if (file == nullptr) {
        std::fprintf(stderr, "%s: option %s: cannot write to %s: %s\n", cli.appName, option, path, reason.c_str());
        return FALSE;
    }
    (void)std::fclose(file);  // nothing written: nothing to lose
    return TRUE;
}

}  // namespace

Boolean mainClaimStatsCsv(const MainCommandLine& cli) {
    return claimAtStart(cli, "--stats-csv", cli.options.statsCsvFile, IC_OUTPUT_STATS_CSV) != FALSE &&
                   claimAtStart(cli, "--devices-csv", cli.options.devicesCsvFile, IC_OUTPUT_DEVICES_CSV) != FALSE &&
                   claimAtStart(cli, "--report", cli.options.reportFile, IC_OUTPUT_REPORT) != FALSE
               ? TRUE
               : FALSE;
}

Boolean mainFinishStats(const MainCommandLine& cli, const BusObserver& observer) {
    const MainOptions& options = cli.options;
    const ZvEacDeviceTable& devices = observer.devices;
    if (options.stats != FALSE) {
        loggerPrintf("\n");  // off the prompt's line
        zvEacStatsPrintTable(loggerSink, nullptr);
    }
    if (options.devices != FALSE) {
        loggerPrintf("\n");
        printInPieces(loggerSink, zvEacDevicesText(devices, false));
    }
    std::string reason;
    if (options.devicesCsvFile != nullptr &&
        mainWriteTable(options.devicesCsvFile, IC_OUTPUT_DEVICES_CSV, zvEacDevicesCsv(devices), reason) == FALSE) {
        std::fprintf(stderr, "%s: option --devices-csv: cannot write to %s: %s\n", cli.appName, options.devicesCsvFile,
                     reason.c_str());
        return FALSE;
    }
    if (options.statsCsvFile != nullptr &&
        mainWriteStatsCsv(options.statsCsvFile, IC_OUTPUT_STATS_CSV, reason) == FALSE) {
        std::fprintf(stderr, "%s: option --stats-csv: cannot write to %s: %s\n", cli.appName, options.statsCsvFile,
                     reason.c_str());
        return FALSE;
    }
    if (options.reportFile != nullptr &&
        mainWriteReport(options.reportFile, IC_OUTPUT_REPORT, cli, observer, reason) == FALSE) {
        std::fprintf(stderr, "%s: option --report: cannot write to %s: %s\n", cli.appName, options.reportFile,
                     reason.c_str());
        return FALSE;
    }
    return TRUE;
}

Boolean mainWriteReport(const char* path, IcOutputUse use, const MainCommandLine& cli, const BusObserver& observer,
                        std::string& reason) {
    ZvReportSource source;
    const MainOptions& options = cli.options;
    if (options.readFile != nullptr) {
        source.what = std::strcmp(options.readFile, "-") == 0 ? std::string("standard input")
                                                              : std::string("file ") + options.readFile;
    } else {
        source.what =
            "serial port " + (cli.devicePath.empty() ? "COM" + std::to_string(cli.comAIndex + 1) : cli.devicePath);
    }
    source.version = std::string("zelvanEacSniffer ") + mainVersionText();
    source.bitRate = zvEacStatsLineTotals().bitRate;
    // Bytes as built: the same page from every build, line ends included.
    return mainWriteTable(path, use, zvReportHtml(source, observer.history, observer.devices), reason, "wb");
}

Boolean mainWriteStatsCsv(const char* path, IcOutputUse use, std::string& reason) {
    std::string csv;
    zvEacStatsWriteCsv([](void* arg, const char* text) { *static_cast<std::string*>(arg) += text; }, &csv);
    return mainWriteTable(path, use, csv, reason);
}

Boolean mainWriteTable(const char* path, IcOutputUse use, const std::string& text, std::string& reason,
                       const char* mode) {
    std::FILE* file = icOutputOpen(path, mode, use, reason);
    if (file == nullptr) {
        return FALSE;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
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

Boolean mainStartJson(Sniffer& sniffer, const char* path, std::string& reason) {
    mainStopJson(sniffer);
    if (sniffer.json.open(path, false, reason) == FALSE) {
        return FALSE;
    }
    sniffer.observer.recordSink = JsonOutput::takeReport;
    sniffer.observer.recordSinkArg = &sniffer.json;
    return TRUE;
}

void mainStopJson(Sniffer& sniffer) {
    sniffer.observer.recordSink = nullptr;
    sniffer.json.close();
}
