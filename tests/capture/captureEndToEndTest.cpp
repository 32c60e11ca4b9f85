// Capture files end to end: the simulator with line faults into the sniffer
// recording a capture and a log, the capture decoded again (-r) and read by
// tshark with the project's dissector, a recording cut by SIGKILL, and what
// -r makes of files that are not what they should be.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "eac/zelvan/zvEacToStr.h"
#include "support/childProcess.h"
#include "support/ptyPair.h"

namespace {

using namespace std::chrono_literals;
using zvtest::ChildProcess;

const std::string kSim = ZV_BUSSIM_BIN;
const std::string kSniffer = ZV_SNIFFER_BIN;
const std::string kDissector = std::string(ZV_SOURCE_DIR) + "/wireshark/zvEac.lua";
// The raw dump ends the line of every frame that passed every check so.
constexpr const char* kGoodFrameLineEnd = "ETX  \n";

std::size_t countOf(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
        ++n;
    }
    return n;
}

std::map<std::string, unsigned> summaryCounts(const std::string& text) {
    // "frames 0xa3 good N faulty M" -> "0xa3" = N; "faults bcc N" -> "bcc" = N;
    // "total good N" -> "good" = N; "devices N" -> "devices" = N.
    std::map<std::string, unsigned> counts;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string kind, a, b, c;
        words >> kind >> a >> b >> c;
        if (kind == "frames") {
            counts[a] = static_cast<unsigned>(std::stoul(c));
        } else if (kind == "faults" || kind == "total") {
            counts[a] = static_cast<unsigned>(std::stoul(b));
        } else if (kind == "devices") {
            counts[kind] = static_cast<unsigned>(std::stoul(a));
        }
    }
    return counts;
}

// The CSV of `stats csv` without what depends on when it was written: the
// time since a device was heard, and the line's period and load.
std::string timelessCsv(const std::string& csv) {
    std::istringstream lines(csv);
    std::string out;
    std::string line;
    bool lineSection = false;
    while (std::getline(lines, line)) {
        std::vector<std::string> cells;
        std::istringstream row(line);
        for (std::string cell; std::getline(row, cell, ',');) {
            cells.push_back(cell);
        }
        lineSection = lineSection || (!cells.empty() && cells[0] == "bytes");
        // Device rows: last_heard_s_ago; the line: load_percent and elapsed_s.
        const std::vector<std::size_t> volatileCells =
            lineSection ? std::vector<std::size_t>{2, 4} : std::vector<std::size_t>{12};
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (std::find(volatileCells.begin(), volatileCells.end(), i) == volatileCells.end()) {
                out += cells[i] + ",";
            }
        }
        out += "\n";
    }
    return out;
}

bool haveTshark() { return std::system("tshark -v >/dev/null 2>&1") == 0; }

// One line per packet: kind, source, destination, message id ("" where absent).
zvtest::RunResult tsharkFields(const std::string& capture) {
    return zvtest::runProgram({"/bin/sh", "-c",
                               "tshark -X lua_script:" + kDissector + " -r " + capture +
                                   " -T fields -E separator=, -e zveac.kind -e zveac.src -e zveac.dst -e zveac.msgid"},
                              {}, true, 60s);
}

// The microseconds of every packet's time stamp in a pcap file.
std::vector<unsigned> stampMicros(const std::string& path) {
    const std::string file = zvtest::readFile(path);
    std::vector<unsigned> micros;
    const auto le32At = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) {
            v = (v << 8U) | static_cast<unsigned char>(file[at + static_cast<std::size_t>(i)]);
        }
        return v;
    };
    for (std::size_t at = 24; at + 16 <= file.size(); at += 16 + le32At(at + 8)) {
        micros.push_back(le32At(at + 4));
    }
    return micros;
}

// --- recorded live, decoded again, dissected ---------------------------------------------

TEST(CaptureEndToEnd, ReplayPrintsTheLiveLogAndTsharkSeesWhatTheSimulatorSent) {
    zvtest::TempDir tmp;
    const std::string link = tmp.file("bus");
    const std::string summaryFile = tmp.file("summary");
    const std::string capture = tmp.file("bus.pcap");
    const std::string logFile = tmp.file("live.log");

    ChildProcess sim;
    // A moderate rate: the raw dump of every byte into the log file keeps up
    // on a loaded machine and under the sanitizers too.
    ASSERT_TRUE(sim.start({kSim, "--link", link, "-b", "19200", "-c", "300", "-s", "11", "--faults", "0.05", "--hold",
                           "--summary", summaryFile, "--delay", "1", "--wait-reader", "30", "-q"}));
    ASSERT_TRUE(zvtest::waitUntil([&] { return std::filesystem::exists(link); })) << sim.stderrText();
    ChildProcess sniffer;
    ASSERT_TRUE(sniffer.start({kSniffer, link, "-b", "19200", "-w", capture, "--log", logFile, "--verbosity", "3",
                               "--raw", "--drops", "--stats-csv", tmp.file("live.csv")}));
    ASSERT_TRUE(zvtest::waitUntil([&] { return std::filesystem::exists(summaryFile); }, 90s)) << sim.stderrText();
    auto expected = summaryCounts(zvtest::readFile(summaryFile));
    ASSERT_GT(expected["bcc"] + expected["etx"] + expected["pause"] + expected["noise"], 0U);
    // Whether or not every frame made it: the replay must say what the live
    // run said. The counts against the simulator's come after.
    zvtest::waitUntil([&] { return countOf(zvtest::readFile(logFile), kGoodFrameLineEnd) >= expected["good"]; }, 60s);
    ASSERT_TRUE(sniffer.writeStdin("quit\n"));
    ASSERT_EQ(sniffer.waitExit(), 0) << sniffer.stderrText();
    EXPECT_EQ(sim.waitExit(), 0) << sim.stderrText();

    // Same text, timestamps and drop lines included: both come from the same
    // arrival times; and the same figures.
    const zvtest::RunResult replay = zvtest::runProgram(
        {kSniffer, "-r", capture, "--verbosity", "3", "--raw", "--drops", "--stats-csv", tmp.file("replay.csv")}, {},
        true, 60s);
    ASSERT_EQ(replay.exitStatus, 0) << replay.err;
    const std::string live = zvtest::readFile(logFile);
    EXPECT_EQ(countOf(live, kGoodFrameLineEnd), expected["good"]);
    EXPECT_TRUE(replay.out == live) << "replay differs from the live log";
    EXPECT_EQ(countOf(live, "!!  dropped frame: wrong BCC"), expected["bcc"]);
    // Stamped to the microsecond when the bytes were read, not on the
    // millisecond grid of the receiver's tick.
    std::set<unsigned> fractions;
    for (const unsigned us : stampMicros(capture)) {
        fractions.insert(us % 1000);
    }
    EXPECT_GT(fractions.size(), 10U);
    EXPECT_EQ(timelessCsv(zvtest::readFile(tmp.file("replay.csv"))),
              timelessCsv(zvtest::readFile(tmp.file("live.csv"))));
    // Standard input and --log give the same.
    const zvtest::RunResult fromStdin = zvtest::runProgram(
        {kSniffer, "--read", "-", "--verbosity", "3", "--raw", "--drops", "--log", tmp.file("replay.log")},
        zvtest::readFile(capture), true, 60s);
    EXPECT_EQ(fromStdin.exitStatus, 0) << fromStdin.err;
    EXPECT_TRUE(fromStdin.out == live);
    EXPECT_TRUE(zvtest::readFile(tmp.file("replay.log")) == live);

    if (!haveTshark()) {
        GTEST_SKIP() << "tshark is not installed";
    }
    const zvtest::RunResult fields = tsharkFields(capture);
    ASSERT_EQ(fields.exitStatus, 0) << fields.err;
    std::map<std::string, unsigned> kinds;
    std::map<std::string, unsigned> goodById;
    unsigned devicesBad = 0;
    unsigned goodTo5 = 0, goodFrom5 = 0, dropped5 = 0;
    std::istringstream lines(fields.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::array<std::string, 4> f;
        std::istringstream cells(line);
        for (std::string& cell : f) {
            std::getline(cells, cell, ',');
        }
        ++kinds[f[0]];
        const bool with5 = f[1] == "5" || f[2] == "5";
        if (f[0] != "0") {
            dropped5 += with5 ? 1 : 0;
        } else {
            goodTo5 += f[2] == "5" ? 1 : 0;
            goodFrom5 += f[1] == "5" ? 1 : 0;
        }
        if (f[0] == "0") {
            ++goodById[f[3].empty() ? "empty" : f[3]];
            const int src = std::stoi(f[1]);
            const int dst = std::stoi(f[2]);
            const int device = src == 0 ? dst : src;
            devicesBad += ((src == 0) == (dst == 0) || device > static_cast<int>(expected["devices"])) ? 1 : 0;
        }
    }
    EXPECT_EQ(kinds["0"], expected["good"]);
    EXPECT_EQ(kinds["2"], expected["bcc"]);
    // A missing ETX is followed by a pause on the simulator's line.
    EXPECT_EQ(kinds["3"], expected["etx"] + expected["pause"]);
    EXPECT_GE(kinds["1"], expected["noise"]);
    EXPECT_EQ(devicesBad, 0U);
    for (const auto& [id, n] : goodById) {
        EXPECT_EQ(n, expected[id]) << "message id " << id;
    }
    // The body fields the dissector gets from the printers' tables: each
    // lock state tshark decodes is one the replay printed, and one field
    // filters both directions of a device.
    const auto tshark = [&](const std::string& args) {
        return zvtest::runProgram(
            {"/bin/sh", "-c", "tshark -X lua_script:" + kDissector + " -r " + capture + " " + args}, {}, true, 60s);
    };
    const zvtest::RunResult states = tshark("-Y zveac.lock_state.state -T fields -e zveac.lock_state.state");
    ASSERT_EQ(states.exitStatus, 0) << states.err;
    std::map<std::string, unsigned> decoded;
    std::istringstream stateLines(states.out);
    while (std::getline(stateLines, line)) {
        ++decoded[zvEacLockStateCodeToStr(static_cast<U32>(std::stoul(line)))];
    }
    const zvtest::RunResult text = zvtest::runProgram({kSniffer, "-r", capture}, {}, true, 60s);
    std::map<std::string, unsigned> printed;
    const std::string header = "MSGID_LOCK_STATE\n\t\t ";
    for (auto at = text.out.find(header); at != std::string::npos; at = text.out.find(header, at + 1)) {
        const auto begin = at + header.size();
        ++printed[text.out.substr(begin, text.out.find('\n', begin) - begin)];
    }
    EXPECT_FALSE(printed.empty());
    EXPECT_EQ(decoded, printed);
    for (const char* filter : {"zveac.addr == 5", "zveac.src == 5 || zveac.dst == 5"}) {
        const zvtest::RunResult both = tshark(std::string("-Y '") + filter + "' -T fields -e zveac.src");
        EXPECT_EQ(countOf(both.out, "\n"), goodTo5 + goodFrom5 + dropped5) << filter;
    }
    const zvtest::RunResult bcc = tshark("-Y 'zveac.kind == 2'");
    EXPECT_EQ(countOf(bcc.out, "(wrong BCC)"), expected["bcc"]);
    EXPECT_EQ(countOf(bcc.out, "(no ETX)"), 0U);
}

// --- a recording cut short --------------------------------------------------------------

TEST(CaptureEndToEnd, SigkillLeavesACaptureReadToItsLastPacket) {
    zvtest::TempDir tmp;
    const std::string link = tmp.file("bus");
    const std::string capture = tmp.file("killed.pcap");
    ChildProcess sim;
    ASSERT_TRUE(sim.start({kSim, "--link", link, "-b", "115200", "-t", "60", "--faults", "0.05", "--hold", "--delay",
                           "0.2", "--wait-reader", "30", "-q"}));
    ASSERT_TRUE(zvtest::waitUntil([&] { return std::filesystem::exists(link); })) << sim.stderrText();
    ChildProcess sniffer;
    ASSERT_TRUE(sniffer.start({kSniffer, link, "-b", "115200"}));
    ASSERT_TRUE(sniffer.waitForStdout(" application initialized\n"));
    ASSERT_TRUE(sniffer.writeStdin("capture 1 " + capture + "\n"));
    // Flushed once a second whatever the traffic: some whole packets reach
    // the disk while the sniffer runs.
    ASSERT_TRUE(zvtest::waitUntil(
        [&] {
            std::error_code missing;
            const auto size = std::filesystem::file_size(capture, missing);
            return !missing && size > 4000;
        },
        30s));
    sniffer.sendSignal(SIGKILL);
    sniffer.waitExit();
    sim.sendSignal(SIGTERM);
    sim.waitExit();

    const zvtest::RunResult replay = zvtest::runProgram({kSniffer, "-r", capture, "--raw"}, {}, true, 60s);
    EXPECT_EQ(replay.exitStatus, 0) << replay.err;
    const std::size_t frames = countOf(replay.out, kGoodFrameLineEnd);
    EXPECT_GT(frames, 0U);
    if (!haveTshark()) {
        GTEST_SKIP() << "tshark is not installed";
    }
    const zvtest::RunResult fields = tsharkFields(capture);
    EXPECT_EQ(fields.exitStatus, 0) << fields.err;
    EXPECT_EQ(countOf("\n" + fields.out, "\n0,"), frames);
}

// --- files -r refuses ----------------------------------------------------------------------

void put32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>(v >> (8 * i)));
    }
}

std::string pcapHeader(std::uint32_t linkType) {
    std::string out;
    put32(out, 0xa1b2c3d4);
    out += std::string("\x02\x00\x04\x00", 4);
    put32(out, 0);
    put32(out, 0);
    put32(out, 65535);
    put32(out, linkType);
    return out;
}

std::string record(const std::string& data, std::uint32_t length = 0) {
    std::string out;
    put32(out, 1700000000);
    put32(out, 0);
    put32(out, length != 0 ? length : static_cast<std::uint32_t>(data.size()));
    put32(out, length != 0 ? length : static_cast<std::uint32_t>(data.size()));
    return out + data;
}

// Device 5 answers the master: one good frame with its pseudo-header.
const std::string kGoodPacket =
    std::string("\x01\x08\x00\x00\x00\x00\x4b\x00", 8) + std::string("\x02\x00\x05\x02\xa3\x02\xa6\x03", 8);

struct BadInput {
    const char* name;
    std::string content;
    const char* says;    // on standard error, after the file name
    bool decodedBefore;  // the good first packet is printed before the fault
};

class CaptureBadInput : public testing::TestWithParam<BadInput> {};

TEST_P(CaptureBadInput, OneMessageStatus1AndWhatCameBeforeStaysPrinted) {
    const BadInput& c = GetParam();
    zvtest::TempDir tmp;
    const std::string file = tmp.file("input");
    std::ofstream(file, std::ios::binary) << c.content;
    const zvtest::RunResult run = zvtest::runProgram({kSniffer, "-r", file});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(countOf(run.err, "\n"), 1U) << run.err;
    EXPECT_NE(run.err.find(file + ": " + c.says), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("MSGID_LOCK_STATE") != std::string::npos, c.decodedBefore) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Capture, CaptureBadInput,
    testing::Values(
        BadInput{"Empty", "", "packet 1: empty file", false},
        BadInput{"RandomBytesBehindAPcapMagic", "\xd4\xc3\xb2\xa1\x17\x99\x03\x00\x42\x42\x42", "packet 1: ", false},
        BadInput{"AnotherLinkType", pcapHeader(1) + record(kGoodPacket), "packet 1: link type 1, not 149", false},
        BadInput{"TruncatedPacket", pcapHeader(149) + record(kGoodPacket) + record(kGoodPacket).substr(0, 20),
                 "packet 2: ", true},
        BadInput{"HugePacketLength", pcapHeader(149) + record(kGoodPacket) + record("", 0x7ffffff0),
                 "packet 2: ", true},
        BadInput{"UnknownPseudoHeaderVersion", pcapHeader(149) + record(kGoodPacket) + record("\x07\x08" + kGoodPacket),
                 "packet 2: unknown pseudo-header version", true}),
    [](const testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

TEST(CaptureEndToEnd, RawLineBytesDecodeAtTheGivenBitRate) {
    zvtest::TempDir tmp;
    const std::string raw = tmp.file("line.bin");
    const zvtest::RunResult sim =
        zvtest::runProgram({kSim, "-o", raw, "-c", "300", "-s", "3", "--summary", tmp.file("summary"), "-q"});
    ASSERT_EQ(sim.exitStatus, 0) << sim.err;
    auto expected = summaryCounts(zvtest::readFile(tmp.file("summary")));
    const zvtest::RunResult run = zvtest::runProgram({kSniffer, "-r", raw, "-b", "9600", "--raw"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(countOf(run.out, kGoodFrameLineEnd), expected["good"]);
    // 300 frames at 9600 bit/s take seconds: times count from the file's start.
    EXPECT_NE(run.out.find("(1970-01-01 00:00:0"), std::string::npos);
}

// --- recording from the console -------------------------------------------------------------

// Asked for on the command line, the recording is part of the run: without
// it an unattended run would go on for hours recording nothing.
TEST(CaptureEndToEnd, AFileThatCannotBeCreatedAtStartEndsTheRun) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok()) << pty.error();
    ChildProcess sniffer;
    ASSERT_TRUE(sniffer.start({kSniffer, pty.slavePath(), "-w", "/nonexistent/dir/x.pcap"}));
    EXPECT_EQ(sniffer.waitExit(), 1);
    EXPECT_NE(sniffer.stdoutText().find("Could not open capture file /nonexistent/dir/x.pcap: "), std::string::npos)
        << sniffer.stdoutText();
}

TEST(CaptureEndToEnd, AFileThatCannotBeCreatedFromTheConsoleIsReportedAndSniffingGoesOn) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok()) << pty.error();
    zvtest::TempDir tmp;
    ChildProcess sniffer;
    ASSERT_TRUE(sniffer.start({kSniffer, pty.slavePath()}));
    ASSERT_TRUE(sniffer.waitForStdout(" application initialized\n"));
    ASSERT_TRUE(sniffer.writeStdin("capture 1 /nonexistent/dir/x.pcap\n"));
    ASSERT_TRUE(sniffer.waitForStdout("Could not open capture file /nonexistent/dir/x.pcap: "));
    ASSERT_TRUE(sniffer.writeStdin("capture 2\ncapture 1 " + tmp.file("c.pcap") + "\n"));
    ASSERT_TRUE(sniffer.waitForStdout(" capture 1 FILENAME\n"));
    ASSERT_TRUE(zvtest::waitUntil([&] { return std::filesystem::exists(tmp.file("c.pcap")); }));
    ASSERT_TRUE(pty.write(std::string("\x02\x00\x05\x02\xa3\x02\xa6\x03", 8)));
    ASSERT_TRUE(sniffer.waitForStdout("MSGID_LOCK_STATE"));
    ASSERT_TRUE(sniffer.writeStdin("capture 0\nquit\n"));
    EXPECT_EQ(sniffer.waitExit(), 0);
    const zvtest::RunResult replay = zvtest::runProgram({kSniffer, "-r", tmp.file("c.pcap")});
    EXPECT_EQ(replay.exitStatus, 0) << replay.err;
    EXPECT_NE(replay.out.find("MSGID_LOCK_STATE"), std::string::npos) << replay.out;
}

// --- the end of a run -------------------------------------------------------------------------

// The kind byte and the line bytes of each packet of a capture file.
std::vector<std::pair<int, std::string>> capturedUnits(const std::string& path) {
    const std::string file = zvtest::readFile(path);
    std::vector<std::pair<int, std::string>> units;
    for (std::size_t at = 24; at + 16 <= file.size();) {
        const auto caplen = static_cast<std::size_t>(static_cast<unsigned char>(file[at + 8])) |
                            static_cast<std::size_t>(static_cast<unsigned char>(file[at + 9])) << 8U;
        const std::string packet = file.substr(at + 16, caplen);
        at += 16 + caplen;
        if (packet.size() >= 8) {
            units.emplace_back(packet[2], packet.substr(static_cast<unsigned char>(packet[1])));
        }
    }
    return units;
}

struct RunEnd {
    const char* name;
    bool bySignal;
};

class CaptureRunEnd : public testing::TestWithParam<RunEnd> {};

// A frame still coming in when the run ends is neither lost nor stitched: it
// is the capture's last packet, counted as cut, and the file still replays.
TEST_P(CaptureRunEnd, AFrameStillComingInIsRecordedAndCountedAsCut) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok()) << pty.error();
    zvtest::TempDir tmp;
    const std::string file = tmp.file("cut.pcap");
    ChildProcess sniffer;
    ASSERT_TRUE(sniffer.start({kSniffer, pty.slavePath(), "-w", file, "--stats"}));
    ASSERT_TRUE(sniffer.waitForStdout(" application initialized\n"));
    // A 200-byte telegram announced, its bytes coming in far inside the
    // receive time-out until the sniffer has ended (or 150 of them came).
    const std::string head("\x02\x05\x00\xc8", 4);
    ASSERT_TRUE(pty.write(head));
    std::atomic<bool> ended{false};
    std::atomic<int> fed{0};
    std::thread feeder([&] {
        for (; !ended && fed < 150; ++fed) {
            (void)pty.write("\x11");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    ASSERT_TRUE(zvtest::waitUntil([&] { return fed >= 4; }));
    if (GetParam().bySignal) {
        sniffer.sendSignal(SIGTERM);
    } else {
        ASSERT_TRUE(sniffer.writeStdin("quit\n"));
    }
    const int status = sniffer.waitExit();
    ended = true;
    feeder.join();
    EXPECT_EQ(status, 0) << sniffer.stdoutText();
    const std::string sent = head + std::string(static_cast<std::size_t>(fed.load()), '\x11');
    EXPECT_NE(sniffer.stdoutText().find("no memory 0, cut by the end 1; noise 0 bytes"), std::string::npos)
        << sniffer.stdoutText();
    const auto units = capturedUnits(file);
    ASSERT_FALSE(units.empty());
    EXPECT_EQ(units.back().first, 6);
    EXPECT_GE(units.back().second.size(), head.size() + 4);
    EXPECT_EQ(units.back().second, sent.substr(0, units.back().second.size()));
    const zvtest::RunResult replay = zvtest::runProgram({kSniffer, "-r", file, "--raw"});
    EXPECT_EQ(replay.exitStatus, 0) << replay.err;
}

INSTANTIATE_TEST_SUITE_P(Capture, CaptureRunEnd, testing::Values(RunEnd{"Quit", false}, RunEnd{"Sigterm", true}),
                         [](const testing::TestParamInfo<RunEnd>& info) { return std::string(info.param.name); });

// A frame the line left unfinished well before the end timed out live; the
// file does not hold the quiet line that did it, and its replay must not
// call the frame cut instead.
TEST(CaptureEndToEnd, AFrameThatTimedOutBeforeTheEndIsATimeOutInTheReplay) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok()) << pty.error();
    zvtest::TempDir tmp;
    const std::string file = tmp.file("late.pcap");
    ChildProcess sniffer;
    ASSERT_TRUE(sniffer.start({kSniffer, pty.slavePath(), "-w", file, "--drops"}));
    ASSERT_TRUE(sniffer.waitForStdout(" application initialized\n"));
    ASSERT_TRUE(pty.write(std::string("\x02\x05\x00\x08\x11", 5)));
    ASSERT_TRUE(sniffer.waitForStdout("dropped frame: time-out"));
    ASSERT_TRUE(sniffer.writeStdin("quit\n"));
    ASSERT_EQ(sniffer.waitExit(), 0) << sniffer.stdoutText();
    const zvtest::RunResult replay = zvtest::runProgram({kSniffer, "-r", file, "--stats"});
    EXPECT_EQ(replay.exitStatus, 0) << replay.err;
    EXPECT_NE(replay.out.find("wrong bcc 0, time-out 1, no etx 0, no memory 0; noise"), std::string::npos)
        << replay.out;
}

// --- time stamps a report cannot show -------------------------------------------------------

std::string le32(std::uint32_t v) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) {
        out[static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
    }
    return out;
}

// A pcapng file (its time stamps are 64 bits of microseconds) with device
// 5's answer at each of the given instants.
std::string pcapngWith(const std::vector<std::uint64_t>& instants_us) {
    std::string out = le32(0x0a0d0d0a) + le32(28) + le32(0x1a2b3c4d) + std::string("\x01\x00\x00\x00", 4) +
                      std::string(8, '\xff') + le32(28);
    out += le32(1) + le32(20) + le32(149) + le32(65535) + le32(20);
    for (const std::uint64_t t : instants_us) {
        out += le32(6) + le32(48) + le32(0) + le32(static_cast<std::uint32_t>(t >> 32U)) +
               le32(static_cast<std::uint32_t>(t)) + le32(16) + le32(16) + kGoodPacket + le32(48);
    }
    return out;
}

TEST(CaptureEndToEnd, TimeStampsBeyondTheYear9999AreShownClampedAndSaidOnce) {
    zvtest::TempDir tmp;
    const std::string file = tmp.file("far.pcapng");
    std::ofstream(file, std::ios::binary)
        << pcapngWith({1700000000000000ULL, 0xffffffffffffff00ULL, 0xfffffffffffffff0ULL});
    const zvtest::RunResult run = zvtest::runProgram({kSniffer, "-r", file});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(countOf(run.out, "MSGID_LOCK_STATE"), 3U) << run.out;
    EXPECT_EQ(countOf(run.out, "(9999-12-"), 2U) << run.out;
    EXPECT_EQ(countOf(run.err, "\n"), 1U) << run.err;
    EXPECT_NE(run.err.find("packet 2: time stamp beyond the year 9999"), std::string::npos) << run.err;
}

}  // namespace

// --- a ring of files ----------------------------------------------------------------------------

namespace {

std::vector<std::string> filesStartingWith(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0) {
            names.push_back(entry.path().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The files one after the other, as one capture.
std::string joined(const std::vector<std::string>& files) {
    std::string out = zvtest::readFile(files.front()).substr(0, 24);
    for (const std::string& file : files) {
        out += zvtest::readFile(file).substr(24);
    }
    return out;
}

}  // namespace

// A live run into a ring of files a second long: the files in order decode
// to the live log, and a copy of them into a ring that keeps two leaves the
// last two.
TEST(CaptureEndToEnd, ARingOfFilesHoldsTheRunAndKeepsTheNewest) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok()) << pty.error();
    zvtest::TempDir tmp;
    ChildProcess sniffer;
    ASSERT_TRUE(sniffer.start({kSniffer, pty.slavePath(), "-w", tmp.file("ring.pcap"), "--capture-duration", "1",
                               "--log", tmp.file("live.log"), "--raw"}));
    ASSERT_TRUE(sniffer.waitForStdout(" application initialized\n"));
    const std::string frame("\x02\x00\x05\x02\xa3\x02\xa6\x03", 8);
    for (int i = 1; i <= 4; ++i) {
        ASSERT_TRUE(pty.write(frame));
        ASSERT_TRUE(zvtest::waitUntil(
            [&] { return countOf(sniffer.stdoutText(), "MSGID_LOCK_STATE") >= static_cast<std::size_t>(i); }));
        std::this_thread::sleep_for(1100ms);
    }
    ASSERT_TRUE(sniffer.writeStdin("quit\n"));
    ASSERT_EQ(sniffer.waitExit(), 0) << sniffer.stdoutText();
    const std::vector<std::string> ring = filesStartingWith(tmp.path(), "ring_0000");
    ASSERT_EQ(ring.size(), 4U);
    std::ofstream(tmp.file("joined.pcap"), std::ios::binary) << joined(ring);
    const zvtest::RunResult replay = zvtest::runProgram({kSniffer, "-r", tmp.file("joined.pcap"), "--raw"});
    EXPECT_EQ(replay.exitStatus, 0) << replay.err;
    EXPECT_TRUE(replay.out == zvtest::readFile(tmp.file("live.log"))) << replay.out;

    const zvtest::RunResult copy =
        zvtest::runProgram({kSniffer, "-r", tmp.file("joined.pcap"), "-w", tmp.file("copy.pcap"), "--capture-duration",
                            "1", "--capture-files", "2"});
    EXPECT_EQ(copy.exitStatus, 0) << copy.err;
    const std::vector<std::string> kept = filesStartingWith(tmp.path(), "copy_");
    ASSERT_EQ(kept.size(), 2U);
    EXPECT_NE(kept[0].find("copy_00003_"), std::string::npos) << kept[0];
    EXPECT_TRUE(joined(kept) == joined({ring[2], ring[3]}));
}
