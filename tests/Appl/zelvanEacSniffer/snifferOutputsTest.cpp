// The sniffer never transmits: no output, whichever way it is asked for, may
// land on the serial port or any other line, on the file being read, or on
// another output's file; and an output that fails never ends in status 0.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/childProcess.h"
#include "support/ptyPair.h"

namespace {

using namespace std::chrono_literals;
using zvtest::ChildProcess;

const std::string kSniffer = ZV_SNIFFER_BIN;
// Device 5 answers the master.
const std::string kAnswer("\x02\x00\x05\x02\xa3\x02\xa6\x03", 8);

// Placeholders in a case's words: PORT the sniffer's own port, LINE another
// line, FILE:name a file in the test's folder (the name ends at a blank or a
// colon).
std::string expand(std::string text, const PtyPair& port, const PtyPair& other, const zvtest::TempDir& tmp) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        if (text.compare(at, 4, "PORT") == 0) {
            out += port.slavePath();
            at += 4;
        } else if (text.compare(at, 4, "LINE") == 0) {
            out += other.slavePath();
            at += 4;
        } else if (text.compare(at, 5, "FILE:") == 0) {
            const std::size_t end = std::min(text.find_first_of(" :", at + 5), text.size());
            out += tmp.file(text.substr(at + 5, end - at - 5));
            at = end;
        } else {
            out += text[at++];
        }
    }
    return out;
}

struct ConsoleCase {
    const char* name;
    std::vector<std::string> before;  // commands that succeed first
    std::string command;
    std::string reply;  // the start of the line that refuses
};

class RefusedFromTheConsole : public testing::TestWithParam<ConsoleCase> {};

TEST_P(RefusedFromTheConsole, NothingReachesTheLineAndSniffingGoesOn) {
    const ConsoleCase& c = GetParam();
    PtyPair port;
    PtyPair other;
    ASSERT_TRUE(port.ok() && other.ok());
    zvtest::TempDir tmp;
    ChildProcess sniffer;
    ASSERT_TRUE(sniffer.start({kSniffer, port.slavePath()}));
    ASSERT_TRUE(sniffer.waitForStdout(" application initialized\n"));
    auto expandLine = [&](const std::string& line) { return expand(line, port, other, tmp); };
    for (const std::string& line : c.before) {
        ASSERT_TRUE(sniffer.writeStdin(expandLine(line) + "\n"));
    }
    ASSERT_TRUE(sniffer.writeStdin(expandLine(c.command) + "\n"));
    EXPECT_TRUE(sniffer.waitForStdout(expandLine(c.reply))) << sniffer.stdoutText();
    // Reports that would go to a log file, frames that would go to a capture.
    ASSERT_TRUE(port.write(kAnswer));
    ASSERT_TRUE(sniffer.waitForStdout("MSGID_LOCK_STATE"));
    ASSERT_TRUE(sniffer.writeStdin("quit\n"));
    EXPECT_EQ(sniffer.waitExit(), 0) << sniffer.stdoutText();
    EXPECT_EQ(port.read(300ms), "");
    EXPECT_EQ(other.read(10ms), "");
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, RefusedFromTheConsole,
    testing::Values(
        ConsoleCase{"CaptureOnThePort", {}, "capture 1 PORT", "Could not open capture file PORT: refused: a terminal"},
        ConsoleCase{"LogOnThePort", {}, "logToFile 1 PORT", "Could not open file: PORT: refused: a terminal"},
        ConsoleCase{"CsvOnThePort", {}, "stats csv PORT", "Could not write file: PORT: refused: a terminal"},
        ConsoleCase{"CaptureOnAnotherLine", {}, "capture 1 LINE", "Could not open capture file LINE: refused"},
        ConsoleCase{"JsonOnThePort", {}, "json 1 PORT", "Could not open file: PORT: refused: a terminal"},
        ConsoleCase{"ReportOnThePort", {}, "writeReport PORT", "Could not write file: PORT: refused: a terminal"},
        ConsoleCase{"JsonIntoTheConsole", {}, "json 1 -", "Could not open file: -: standard output is the console's"},
        ConsoleCase{"CaptureOnTheLogFile",
                    {"logToFile 1 FILE:a"},
                    "capture 1 FILE:a",
                    "Could not open capture file FILE:a: refused: it is already the log file"},
        ConsoleCase{"LogOnTheCaptureFile",
                    {"capture 1 FILE:c"},
                    "logToFile 1 FILE:c",
                    "Could not open file: FILE:c: refused: it is already the capture file"},
        ConsoleCase{"CsvOnTheCaptureFile",
                    {"capture 1 FILE:c"},
                    "stats csv FILE:c",
                    "Could not write file: FILE:c: refused: it is already the capture file"}),
    [](const testing::TestParamInfo<ConsoleCase>& info) { return std::string(info.param.name); });

struct StartCase {
    const char* name;
    std::vector<std::string> options;
    int status;
    std::string stderrHas;  // empty: nothing on standard error
};

class StartWithOutputs : public testing::TestWithParam<StartCase> {};

TEST_P(StartWithOutputs, RefusesAtStartOnStandardError) {
    const StartCase& c = GetParam();
    PtyPair port;
    PtyPair other;
    ASSERT_TRUE(port.ok() && other.ok());
    zvtest::TempDir tmp;
    std::vector<std::string> args{kSniffer, port.slavePath()};
    for (const std::string& word : c.options) {
        args.push_back(expand(word, port, other, tmp));
    }
    const zvtest::RunResult run = zvtest::runProgram(args, "quit\n", false);
    EXPECT_EQ(run.exitStatus, c.status) << run.out << run.err;
    if (c.stderrHas.empty()) {
        EXPECT_EQ(run.err, "");
    } else {
        EXPECT_NE(run.err.find(expand(c.stderrHas, port, other, tmp)), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_EQ(port.read(100ms), "");
}

const std::string kLongName = "FILE:" + std::string(150, 'n') + ".log";

INSTANTIATE_TEST_SUITE_P(
    Outputs, StartWithOutputs,
    testing::Values(StartCase{"CaptureOnThePort", {"-w", "PORT"}, 1, "option -w: cannot write to PORT: refused"},
                    StartCase{"LogOnThePort", {"--log", "PORT"}, 1, "option --log: cannot write to PORT: refused"},
                    StartCase{"CsvOnThePort", {"--stats-csv", "PORT"}, 1, "option --stats-csv: cannot write to PORT"},
                    StartCase{"ReportOnThePort", {"--report", "PORT"}, 1, "option --report: cannot write to PORT"},
                    StartCase{"LogAndCaptureOnOneFile",
                              {"--log", "FILE:x", "-w", "FILE:x"},
                              1,
                              "option -w: cannot write to FILE:x: refused: it is already the log file"},
                    StartCase{"CaptureAndCsvOnOneFile",
                              {"-w", "FILE:y", "--stats-csv", "FILE:y"},
                              1,
                              "option -w: cannot write to FILE:y: refused: it is already the statistics CSV file"},
                    StartCase{"CaptureInAMissingFolder",
                              {"-w", "FILE:no/x.pcap"},
                              1,
                              "option -w: cannot write to FILE:no/x.pcap: cannot create: No such file"},
                    StartCase{"LogNamedLikeAnOption", {"--log", "--raw"}, 1, "option --log needs a value"},
                    StartCase{"LongLogName", {"--log", kLongName}, 0, ""}),
    [](const testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

// A pcap file with device 5's answer, as the sniffer records it.
void writeCapture(const std::string& path) {
    const std::string header("\xd4\xc3\xb2\xa1\x02\x00\x04\x00\0\0\0\0\0\0\0\0\xff\xff\0\0\x95\0\0\0", 24);
    const std::string packet = std::string("\x01\x08\x00\x00\x00\x00\x4b\x00", 8) + kAnswer;
    std::string record(16, '\0');
    record[8] = record[12] = static_cast<char>(packet.size());
    std::ofstream(path, std::ios::binary) << header << record << packet;
}

struct ReadCase {
    const char* name;
    std::string command;  // run by the shell; IN is the capture, DIR the folder
    std::string stderrHas;
};

class ReadOutputs : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadOutputs, AFailureIsOneLineAndStatus1) {
    const ReadCase& c = GetParam();
    zvtest::TempDir tmp;
    writeCapture(tmp.file("in.pcap"));
    std::string command = c.command;
    for (const auto& [word, value] : {std::pair<std::string, std::string>{"IN", tmp.file("in.pcap")},
                                      std::pair<std::string, std::string>{"DIR", tmp.path()}}) {
        for (std::size_t at = command.find(word); at != std::string::npos; at = command.find(word, at)) {
            command.replace(at, word.size(), value);
        }
    }
    const std::string err = tmp.file("err");
    const int status = std::system(("'" + kSniffer + "' " + command + " 2>'" + err + "'").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string text = zvtest::readFile(err);
    EXPECT_NE(text.find(c.stderrHas), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, ReadOutputs,
    testing::Values(ReadCase{"StandardOutputFull", "-r IN >/dev/full", "standard output: cannot write: No space left"},
                    ReadCase{"LogFull", "-r IN --log /dev/full >/dev/null",
                             "option --log: cannot write to /dev/full: No space left"},
                    ReadCase{"LogOnTheInput", "-r IN --log IN >/dev/null",
                             "refused: it is the port or file being read"},
                    ReadCase{"AFolder", "-r DIR >/dev/null", "packet 1: cannot read: Is a directory"},
                    ReadCase{"Reconnect", "-r IN --reconnect >/dev/null", "option --reconnect needs a serial port"}),
    [](const testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// The statistics asked for on the command line are written at every way
// out: a port that fails without --reconnect ends with status 1 as always,
// but the table and the CSV are complete.
TEST(SnifferFigures, APortThatFailsStillLeavesTheStatistics) {
    PtyPair port;
    ASSERT_TRUE(port.ok()) << port.error();
    zvtest::TempDir tmp;
    const std::string csv = tmp.file("figures.csv");
    const std::string report = tmp.file("report.html");
    ChildProcess sniffer;
    ASSERT_TRUE(sniffer.start({kSniffer, port.slavePath(), "--stats", "--stats-csv", csv, "--report", report}));
    ASSERT_TRUE(sniffer.waitForStdout(" application initialized\n"));
    ASSERT_TRUE(sniffer.writeStdin("writeReport " + tmp.file("early.html") + "\n"));
    ASSERT_TRUE(sniffer.waitForStdout("ok\n"));
    ASSERT_TRUE(port.write(std::string("\x02\x05\x00\x01\xa2\xa6\x03", 7) + kAnswer));
    ASSERT_TRUE(sniffer.waitForStdout("MSGID_LOCK_STATE"));
    port.closeSlave();
    port.closeMaster();
    EXPECT_EQ(sniffer.waitExit(), 1) << sniffer.stdoutText();
    EXPECT_NE(sniffer.stdoutText().find(" line: 15 bytes, 2 frames"), std::string::npos) << sniffer.stdoutText();
    const std::string figures = zvtest::readFile(csv);
    EXPECT_EQ(figures.rfind("device,polls,answers,missed,", 0), 0U) << figures;
    EXPECT_NE(figures.find("\n5,1,1,0,1,0,1,1,"), std::string::npos) << figures;
    EXPECT_NE(figures.find("\n15,2,"), std::string::npos) << figures;
    // The report at the end has them too; the one asked for before the
    // frames came has none.
    const std::string frames = "<tr data-csv=\"frames\"><th>frames</th><td>";
    EXPECT_NE(zvtest::readFile(report).find(frames + "2</td>"), std::string::npos);
    EXPECT_NE(zvtest::readFile(tmp.file("early.html")).find(frames + "0</td>"), std::string::npos);
}

// Everything but the ONLINE/OFFLINE reports, which follow from polls a
// filter may have taken out.
std::string withoutOnlineReports(const std::string& text) {
    std::string out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        if (line.find("##  device") == std::string::npos) {
            out += line + "\n";
        }
        start = end + 1;
    }
    return out;
}

// -r with -w writes a new capture: every unit of raw line bytes, or the
// frames a filter passes, copied packet by packet from a capture.
TEST(SnifferFigures, ReadingWritesACaptureOfWhatTheFilterPasses) {
    zvtest::TempDir tmp;
    const std::string raw = tmp.file("line.bin");
    ASSERT_EQ(
        zvtest::runProgram({ZV_BUSSIM_BIN, "-o", raw, "-c", "400", "-s", "9", "--faults", "0.05", "-q"}).exitStatus, 0);
    const zvtest::RunResult fromRaw =
        zvtest::runProgram({kSniffer, "-r", raw, "-b", "115200", "-w", tmp.file("all.pcap")});
    ASSERT_EQ(fromRaw.exitStatus, 0) << fromRaw.err;
    const zvtest::RunResult all = zvtest::runProgram({kSniffer, "-r", tmp.file("all.pcap")});
    EXPECT_EQ(all.exitStatus, 0) << all.err;
    EXPECT_TRUE(all.out == fromRaw.out) << "the capture of raw bytes decodes differently";

    const zvtest::RunResult five =
        zvtest::runProgram({kSniffer, "-r", tmp.file("all.pcap"), "--filter", "addr 5", "-w", tmp.file("five.pcap")});
    ASSERT_EQ(five.exitStatus, 0) << five.err;
    ASSERT_NE(five.out.find(" 5 \n\t\t MSGID_"), std::string::npos) << five.out;
    const zvtest::RunResult copy = zvtest::runProgram({kSniffer, "-r", tmp.file("five.pcap"), "--filter", "addr 5"});
    EXPECT_EQ(copy.exitStatus, 0) << copy.err;
    EXPECT_EQ(withoutOnlineReports(copy.out), withoutOnlineReports(five.out));
    EXPECT_LT(std::filesystem::file_size(tmp.file("five.pcap")), std::filesystem::file_size(tmp.file("all.pcap")));
}

}  // namespace
