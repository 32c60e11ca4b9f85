#include "Appl/zelvanEacSniffer/commandLineOptions.h"

#include <array>
#include <string_view>

#include "filter/zvEacFilter.h"

namespace {

// An option without a value: it turns `field` on.
template <Boolean MainOptions::*field>
bool setSwitch(MainOptions& out, const char* /*value*/, std::string& /*problem*/) {
    out.*field = TRUE;
    return true;
}

// An option naming a file to write: any name the file system takes.
template <const char* MainOptions::*field>
bool setFileName(MainOptions& out, const char* value, std::string& problem) {
    if (value[0] == '\0') {
        problem = "expects a file name";
        return false;
    }
    out.*field = value;
    return true;
}

bool setVerbosity(MainOptions& out, const char* value, std::string& problem) {
    if (value[0] < '0' || value[0] > '3' || value[1] != '\0') {
        problem = "expects 0, 1, 2 or 3";
        return false;
    }
    out.verbosity = static_cast<S8>(value[0] - '0');
    return true;
}

bool setFilter(MainOptions& out, const char* value, std::string& problem) {
    ZvEacFilter filter{};
    ZvEacFilterProblem why{};
    if (zvEacFilterParseText(value, filter, &why) == FALSE) {
        problem = std::string("refuses ") + why.text.data() +
                  "; it expects an expression such as 'addr 5,7-9', 'msg MSGID_LOCK_STATE,0xa3' or both";
        return false;
    }
    out.filter = value;
    return true;
}

// A whole number from 1 to U32's largest, digits only.
bool positiveCount(const char* value, U32& out, std::string& problem, const char* what) {
    constexpr U64 kLargest = 0xffffffffU;
    U64 n = 0;
    std::size_t digits = 0;
    for (; value[digits] >= '0' && value[digits] <= '9' && n <= kLargest; ++digits) {
        n = n * 10 + static_cast<U64>(value[digits] - '0');
    }
    if (digits == 0 || value[digits] != '\0' || n == 0 || n > kLargest) {
        problem = std::string("expects ") + what + ", a whole number from 1 on";
        return false;
    }
    out = static_cast<U32>(n);
    return true;
}

bool setCaptureSize(MainOptions& out, const char* value, std::string& problem) {
    return positiveCount(value, out.captureSize_MB, problem, "megabytes");
}

bool setCaptureDuration(MainOptions& out, const char* value, std::string& problem) {
    return positiveCount(value, out.captureDuration_s, problem, "seconds");
}

bool setCaptureFiles(MainOptions& out, const char* value, std::string& problem) {
    return positiveCount(value, out.captureFiles, problem, "a number of files");
}

bool setRead(MainOptions& out, const char* value, std::string& problem) {
    if (value[0] == '\0') {
        problem = "expects a file name, or - for standard input";
        return false;
    }
    out.readFile = value;
    return true;
}

bool setJson(MainOptions& out, const char* value, std::string& problem) {
    if (value[0] == '\0') {
        problem = "expects a file name, or - for standard output";
        return false;
    }
    out.jsonFile = value;
    return true;
}

constexpr std::array kOptions{
    OptionRow{"--verbosity", nullptr, "N", OptionWhere::AfterPort, setVerbosity,
              "how much each telegram prints, as verboseMessages N"},
    OptionRow{"--raw", nullptr, nullptr, OptionWhere::AfterPort, setSwitch<&MainOptions::rawData>,
              "dump every byte of the line, as rawData 1"},
    OptionRow{"--log", nullptr, "FILE", OptionWhere::AfterPort, setFileName<&MainOptions::logFile>,
              "append every report to FILE from the first byte on, as logToFile 1 FILE"},
    OptionRow{"--reconnect", nullptr, nullptr, OptionWhere::PortOnly, setSwitch<&MainOptions::reconnect>,
              "keep running when the port fails and reopen it when it comes back"},
    OptionRow{"--stats", nullptr, nullptr, OptionWhere::AfterPort, setSwitch<&MainOptions::stats>,
              "print the bus statistics table once more at the end, as stats"},
    OptionRow{"--stats-csv", nullptr, "FILE", OptionWhere::AfterPort, setFileName<&MainOptions::statsCsvFile>,
              "write the bus statistics to FILE at the end, as stats csv FILE"},
    OptionRow{"--filter", nullptr, "EXPR", OptionWhere::AfterPort, setFilter,
              "print only what EXPR lets through, as filter EXPR"},
    OptionRow{"--drops", nullptr, nullptr, OptionWhere::AfterPort, setSwitch<&MainOptions::drops>,
              "a line for every dropped frame and run of noise, as drops 1"},
    OptionRow{"--json", nullptr, "FILE", OptionWhere::AfterPort, setJson,
              "every report as a JSON object, one per line, into FILE (- : standard output, the console then on "
              "standard error), as json 1 FILE"},
    OptionRow{"--devices", nullptr, nullptr, OptionWhere::AfterPort, setSwitch<&MainOptions::devices>,
              "print the device table once more at the end, as devices"},
    OptionRow{"--devices-csv", nullptr, "FILE", OptionWhere::AfterPort, setFileName<&MainOptions::devicesCsvFile>,
              "write the device table to FILE at the end, as devices csv FILE"},
    OptionRow{"--report", nullptr, "FILE", OptionWhere::AfterPort, setFileName<&MainOptions::reportFile>,
              "write an HTML report of the run (timelines, plots, the tables) to FILE at the end, as writeReport "
              "FILE"},
    OptionRow{"--top", nullptr, nullptr, OptionWhere::PortOnly, setSwitch<&MainOptions::top>,
              "show the live device table instead of the console; q ends the sniffer"},
    OptionRow{"--capture", "-w", "FILE", OptionWhere::AfterPort, setFileName<&MainOptions::captureFile>,
              "record the line into the capture FILE (pcap); with -r, the frames the filter passes"},
    OptionRow{"--capture-size", nullptr, "MB", OptionWhere::AfterPort, setCaptureSize,
              "with -w: a new numbered file when the file reaches MB megabytes (FILE_00001_<time>.pcap, ...)"},
    OptionRow{"--capture-duration", nullptr, "S", OptionWhere::AfterPort, setCaptureDuration,
              "with -w: a new numbered file when the file's packets span S seconds"},
    OptionRow{"--capture-files", nullptr, "N", OptionWhere::AfterPort, setCaptureFiles,
              "with --capture-size or --capture-duration, keep only the newest N files of the run"},
    OptionRow{"--read", "-r", "FILE", OptionWhere::Anywhere, setRead,
              "decode a capture file or raw line bytes (- reads standard input) instead of a port"},
    OptionRow{"--help", nullptr, nullptr, OptionWhere::Anywhere, setSwitch<&MainOptions::help>, "this text"},
    OptionRow{"--version", nullptr, nullptr, OptionWhere::Anywhere, setSwitch<&MainOptions::version>,
              "the version line"},
};

}  // namespace

std::span<const OptionRow> mainCommandLineOptions() { return kOptions; }

bool mainIsReadOption(const OptionRow& row) { return row.set == setRead; }

const OptionRow* mainFindOption(const char* word, const char*& inlineValue) {
    inlineValue = nullptr;
    const std::string_view text(word);
    for (const OptionRow& row : kOptions) {
        if (row.shortName != nullptr && text == row.shortName) {
            return &row;
        }
        const std::string_view name(row.longName);
        if (text == name) {
            return &row;
        }
        if (row.valueName != nullptr && text.size() > name.size() && text.substr(0, name.size()) == name &&
            text[name.size()] == '=') {
            inlineValue = word + name.size() + 1;
            return &row;
        }
    }
    return nullptr;
}
