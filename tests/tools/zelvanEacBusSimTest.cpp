// The bus simulator as a program: its command line, the byte stream it
// writes into a file (read back through the link layer's own receiver), and
// a run against the real sniffer over a pseudo-terminal, whose log must show
// exactly what the simulator's summary says reached it intact.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Dkit/Include/dkitCredential.h"
#include "eac/zelvan/zvEacNetwork.h"
#include "eac/zelvan/zvEacTelegrams.h"
#include "eac/zelvan/zvEacToStr.h"
#include "fifo/icFifo.h"
#include "hal/include/icPlatformTimer.h"
#include "support/childProcess.h"
#include "support/ptyPair.h"

namespace {

using namespace std::chrono_literals;
using zvtest::ChildProcess;

const std::string kSim = ZV_BUSSIM_BIN;
const std::string kSniffer = ZV_SNIFFER_BIN;
constexpr const char* kUnknownMsgId = "## unknown msgid ###";

// --- the summary -------------------------------------------------------------------------

struct Counts {
    unsigned good = 0;
    unsigned faulty = 0;
};

struct Summary {
    std::map<std::string, Counts> frames;  // "0xa3" or "empty"
    std::map<std::string, unsigned> faults;
    std::map<int, std::pair<unsigned, unsigned>> reports;  // device -> online, offline
    std::map<std::string, unsigned> totals;
    std::map<std::string, unsigned> drops;  // what a receiver makes of the faults
    unsigned noiseBytes = 0;

    unsigned goodOf(int msgid) const {
        char key[8];
        std::snprintf(key, sizeof key, "0x%02x", static_cast<unsigned>(msgid));
        const auto it = frames.find(key);
        return it == frames.end() ? 0 : it->second.good;
    }
};

Summary parseSummary(const std::string& text) {
    Summary summary;
    std::istringstream lines(text);
    std::string kind;
    while (lines >> kind) {
        std::string a, b, c, d, e, f;
        if (kind == "frames") {
            lines >> a >> b >> c >> d >> e;  // ID good N faulty M
            summary.frames[a] = Counts{static_cast<unsigned>(std::stoul(c)), static_cast<unsigned>(std::stoul(e))};
        } else if (kind == "faults") {
            lines >> a >> b;
            summary.faults[a] = static_cast<unsigned>(std::stoul(b));
        } else if (kind == "reports") {
            lines >> a >> b >> c >> d >> e >> f;  // device N online X offline Y
            summary.reports[std::stoi(b)] = {static_cast<unsigned>(std::stoul(d)),
                                             static_cast<unsigned>(std::stoul(f))};
        } else if (kind == "drops") {
            lines >> a >> b;
            summary.drops[a] = static_cast<unsigned>(std::stoul(b));
        } else if (kind == "noise") {
            lines >> a >> b;  // bytes N
            summary.noiseBytes = static_cast<unsigned>(std::stoul(b));
        } else if (kind == "total") {
            lines >> a >> b;
            summary.totals[a] = static_cast<unsigned>(std::stoul(b));
        } else {
            std::getline(lines, a);  // seed, devices
        }
    }
    return summary;
}

// --- the command line ------------------------------------------------------------------------

struct CliCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* says;  // on standard output for status 0, else on standard error
};

// Names the case in test listings and failures.
void PrintTo(const CliCase& c, std::ostream* os) { *os << c.name; }

class BusSimCommandLine : public testing::TestWithParam<CliCase> {};

TEST_P(BusSimCommandLine, AnswersWithStatusAndText) {
    std::vector<std::string> args{kSim};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    const zvtest::RunResult run = zvtest::runProgram(args);
    EXPECT_EQ(run.exitStatus, GetParam().status) << run.out << run.err;
    const std::string& shown = GetParam().status == 0 ? run.out : run.err;
    EXPECT_NE(shown.find(GetParam().says), std::string::npos) << shown;
}

INSTANTIATE_TEST_SUITE_P(
    BusSim, BusSimCommandLine,
    testing::Values(
        CliCase{"Help", {"--help"}, 0, "Usage: zelvanEacBusSim [OPTION]... [DEVICE]"},
        CliCase{"UnknownOption", {"--bogus"}, 2, "unknown option '--bogus'"},
        CliCase{"UnlistedBitRate", {"-b", "4800"}, 2, "invalid value '4800' for -b"},
        CliCase{"NoDevices", {"-n", "0"}, 2, "invalid value '0' for -n"},
        CliCase{"AddressBeyond254", {"--devices=255"}, 2, "invalid value '255' for --devices"},
        CliCase{"FaultRateAboveOne", {"--faults", "1.5"}, 2, "invalid value '1.5' for --faults"},
        CliCase{"MissingValue", {"-c"}, 2, "option -c needs a value"},
        CliCase{"ValueForAFlag", {"--hold=yes"}, 2, "option --hold takes no value"},
        CliCase{"FileWithoutEnd", {"-o", "never-written"}, 2, "a file needs an end"},
        CliCase{"LinkOnAFile", {"-o", "never-written", "-c", "5", "--link", "x"}, 2, "apply to a pseudo-terminal only"},
        CliCase{"TwoOutputs", {"/dev/null", "-o", "never-written"}, 2, "give one of DEVICE and -o FILE"},
        CliCase{"DeviceThatCannotBeOpened", {"/nonexistent/ttyZV", "-c", "1"}, 1, "cannot open /nonexistent/ttyZV"},
        CliCase{"NoReaderInTime", {"--wait-reader", "0.2", "-q"}, 1, "no reader opened"},
        CliCase{"SummaryCannotBeWritten",
                {"-o", "/dev/null", "-c", "3", "--summary", "/nonexistent/dir/summary"},
                1,
                "cannot write /nonexistent/dir/summary"}),
    [](const testing::TestParamInfo<CliCase>& info) { return std::string(info.param.name); });

TEST(BusSimSummary, AFullStandardOutputEndsWithAFailure) {
    EXPECT_NE(std::system((kSim + " -o /dev/null -c 3 -q >/dev/full 2>/dev/null").c_str()), 0);
}

// A summary into a pipe (or a device such as /dev/null) goes through it; a
// file put in its place would replace it for every other program.
TEST(BusSimSummary, IntoAPipeLeavesThePipe) {
    zvtest::TempDir tmp;
    const std::string fifo = tmp.file("summary.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = zvtest::readFile(fifo); });
    const zvtest::RunResult run =
        zvtest::runProgram({kSim, "-o", tmp.file("line.bin"), "-c", "3", "-q", "--summary", fifo});
    reader.join();
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(received.find("total frames 3\n"), std::string::npos) << received;
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

TEST(BusSimSignals, PrintsTheSummaryOnUsr1AndStopsCleanlyOnTerm) {
    zvtest::TempDir tmp;
    const std::string link = tmp.file("bus");
    ChildProcess sim;
    ASSERT_TRUE(sim.start({kSim, "--link", link}));
    ASSERT_TRUE(sim.waitForStderr("waiting for a reader")) << sim.stderrText();
    EXPECT_TRUE(std::filesystem::is_symlink(link));

    sim.sendSignal(SIGUSR1);
    EXPECT_TRUE(sim.waitForStdout("total frames 0\n")) << sim.stdoutText();
    sim.sendSignal(SIGTERM);
    EXPECT_EQ(sim.waitExit(), 0) << sim.stderrText();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link))) << "the link goes with the line";
}

// A reader that only looks in (as stty does) does not start the play; the
// reader that stays does, and its leaving ends the run.
TEST(BusSimPty, PlaysWhileAReaderHoldsTheLine) {
    zvtest::TempDir tmp;
    const std::string link = tmp.file("bus");
    ChildProcess sim;
    ASSERT_TRUE(sim.start({kSim, "--link", link, "--delay", "0.3", "-b", "115200"}));
    ASSERT_TRUE(sim.waitForStderr("waiting for a reader")) << sim.stderrText();

    ::close(::open(link.c_str(), O_RDWR | O_NOCTTY));
    std::this_thread::sleep_for(800ms);
    EXPECT_EQ(sim.stderrText().find("playing"), std::string::npos) << sim.stderrText();

    const int reader = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(sim.waitForStderr("playing 8 devices")) << sim.stderrText();
    std::array<char, 64> bytes{};
    EXPECT_TRUE(zvtest::waitUntil([&] { return ::read(reader, bytes.data(), bytes.size()) > 0; }));
    ::close(reader);

    EXPECT_TRUE(sim.waitForStderr("the reader closed the line")) << sim.stderrText();
    EXPECT_EQ(sim.waitExit(), 0);
    EXPECT_GT(parseSummary(sim.stdoutText()).totals["frames"], 0U);
}

// --- the byte stream, read back -----------------------------------------------------------------

struct Frame {
    ZvEacNwkAddr source;
    std::vector<U8> telegram;
};

U32 frozenTick() { return 1000; }

void collect(void* arg, ZvEacNwkAddr source, ZvEacNwkAddr /*destination*/, ZvEacNwkLen length, U8* data) {
    auto* frames = static_cast<std::vector<Frame>*>(arg);
    frames->push_back({source, std::vector<U8>(data, data + length)});
    zvEacNwkFree(data);
}

// What the receiver decided, per kind: units and bytes.
struct Decided {
    std::map<ZvEacNwkUnitKind, unsigned> units;
    std::map<ZvEacNwkUnitKind, unsigned> bytes;
};

void tally(void* arg, const ZvEacNwkUnit& unit) {
    auto* decided = static_cast<Decided*>(arg);
    ++decided->units[unit.kind];
    decided->bytes[unit.kind] += static_cast<unsigned>(unit.wire.size());
}

// Runs the bytes through the link layer's receiver, as the sniffer does, with
// its clock stopped: a file has no gaps.
std::vector<Frame> receive(const std::string& bytes, Decided* decided = nullptr) {
    static std::array<Char, 255> rxBuffer{};
    static std::array<Char, 255> txBuffer{};
    static IcFifoInstance rx{};
    static IcFifoInstance tx{};
    static const bool fifosMade = [] {
        icFifoInit(&rx, rxBuffer.data(), static_cast<IcFifoIndex>(rxBuffer.size()));
        icFifoInit(&tx, txBuffer.data(), static_cast<IcFifoIndex>(txBuffer.size()));
        return true;
    }();
    (void)fifosMade;

    std::vector<Frame> frames;
    platformTimerSetTickSource(frozenTick);
    icFifoReset(&rx);
    ZvEacNwkInst nwk{};
    zvEacNwkInit(&nwk, &tx, &rx, collect, nullptr, &frames);
    zvEacNwkSetTap(&nwk, decided != nullptr ? tally : nullptr, decided);
    for (const char byte : bytes) {
        icFifoPushChar(&rx, byte);
        while (icFifoCharsToPop(&rx) != 0) {
            zvEacNwkExe(&nwk);
        }
    }
    zvEacNwkExe(&nwk);
    zvEacNwkFlush(&nwk);
    platformTimerSetTickSource(nullptr);
    return frames;
}

struct FileRun {
    int status;
    std::string bytes;
    std::string summary;
};

FileRun writeFile(const zvtest::TempDir& tmp, const std::string& name, const std::vector<std::string>& options) {
    const std::string out = tmp.file(name);
    std::vector<std::string> args{kSim, "-o", out, "-q"};
    args.insert(args.end(), options.begin(), options.end());
    const zvtest::RunResult run = zvtest::runProgram(args);
    return {run.exitStatus, zvtest::readFile(out), run.out};
}

TEST(BusSimFile, TheSameSeedWritesTheSameBytes) {
    zvtest::TempDir tmp;
    const FileRun first = writeFile(tmp, "a", {"-c", "1500", "-s", "42", "--faults", "0.05"});
    const FileRun second = writeFile(tmp, "b", {"-c", "1500", "-s", "42", "--faults", "0.05"});
    const FileRun otherSeed = writeFile(tmp, "c", {"-c", "1500", "-s", "43", "--faults", "0.05"});
    ASSERT_EQ(first.status, 0);
    EXPECT_FALSE(first.bytes.empty());
    EXPECT_TRUE(first.bytes == second.bytes) << "same seed, different bytes";
    EXPECT_EQ(first.summary, second.summary);
    EXPECT_FALSE(first.bytes == otherSeed.bytes);
    EXPECT_EQ(parseSummary(first.summary).totals["frames"], 1500U);
}

// On a file -t is the time the traffic takes on the line, not the time it
// takes to write it.
TEST(BusSimFile, TimeLimitCountsLineTime) {
    zvtest::TempDir tmp;
    const FileRun slow = writeFile(tmp, "slow", {"-t", "20", "-b", "9600"});
    const FileRun fast = writeFile(tmp, "fast", {"-t", "20", "-b", "115200"});
    ASSERT_EQ(slow.status, 0);
    ASSERT_EQ(fast.status, 0);
    const unsigned slowBytes = parseSummary(slow.summary).totals["bytes"];
    // 9600 bit/s carry at most 873 bytes a second, idle time aside.
    EXPECT_GT(slowBytes, 20U * 873 / 4);
    EXPECT_LE(slowBytes, 20U * 873);
    EXPECT_GT(parseSummary(fast.summary).totals["frames"], 2 * parseSummary(slow.summary).totals["frames"]);
}

TEST(BusSimFile, AReceiverGetsExactlyTheFramesTheSummaryCallsGood) {
    zvtest::TempDir tmp;
    const FileRun run = writeFile(tmp, "bus", {"-c", "3000", "-s", "9", "--faults", "0.05", "-n", "12"});
    ASSERT_EQ(run.status, 0) << run.summary;
    Summary summary = parseSummary(run.summary);
    EXPECT_GT(summary.faults["bcc"] + summary.faults["etx"] + summary.faults["noise"], 0U);

    std::map<int, unsigned> received;
    unsigned empty = 0;
    Decided decided;
    for (const Frame& frame : receive(run.bytes, &decided)) {
        if (frame.telegram.empty()) {
            ++empty;
        } else {
            ++received[frame.telegram[0]];
        }
    }
    EXPECT_EQ(empty, summary.frames["empty"].good);
    for (int id = 0; id < 256; ++id) {
        EXPECT_EQ(received[id], summary.goodOf(id)) << "message id " << id;
    }
    // The drops and noise the summary predicts are the receiver's.
    EXPECT_EQ(decided.units[ZV_EAC_NWK_UNIT_DROP_BCC], summary.drops.at("bcc"));
    EXPECT_EQ(decided.units[ZV_EAC_NWK_UNIT_DROP_TIMEOUT], summary.drops.at("timeout"));
    EXPECT_EQ(decided.units[ZV_EAC_NWK_UNIT_DROP_NO_ETX], summary.drops.at("noetx"));
    EXPECT_EQ(decided.bytes[ZV_EAC_NWK_UNIT_NOISE], summary.noiseBytes);
    EXPECT_GT(summary.noiseBytes, 0U);
}

// Every id of the catalogue, both forms where there are two, and credential
// containers that the reading side accepts.
TEST(BusSimFile, PlaysTheWholeCatalogue) {
    zvtest::TempDir tmp;
    const FileRun run = writeFile(tmp, "bus", {"-c", "3000", "-s", "5"});
    ASSERT_EQ(run.status, 0);
    const std::vector<Frame> frames = receive(run.bytes);

    std::set<int> ids;
    std::set<std::string> forms;
    for (const Frame& frame : frames) {
        const std::vector<U8>& t = frame.telegram;
        if (t.empty()) {
            continue;
        }
        ids.insert(t[0]);
        const auto byteAt = [&](std::size_t i) { return i < t.size() ? t[i] : 0; };
        switch (t[0]) {
            case ZV_EAC_MSGID_ACTIVATOR:
                forms.insert("activator/" + std::to_string(t.size()));
                break;
            case ZV_EAC_MSGID_GRANT_ACCESS_SEQUENCE:
                forms.insert(byteAt(5) == 2 ? "grant/extended" : "grant/short");
                break;
            case ZV_EAC_MSGID_SET_DOOR_MODE:
                forms.insert(byteAt(6) == 2 ? "doorMode/extended" : "doorMode/short");
                break;
            case ZV_EAC_MSGID_INDICATE_ACCESS_DENIED:
                forms.insert(byteAt(1) == 2 ? "denied/extended" : "denied/short");
                break;
            case ZV_EAC_MSGID_SET_PERMANENT_INDICATION:
                forms.insert(byteAt(10) != 0 ? "indication/extended" : "indication/short");
                break;
            case ZV_EAC_MSGID_GENERIC_CREDENTIAL: {
                std::vector<U8> container(t.begin() + 14, t.end());
                const DkitCredential credential{static_cast<U16>(container.size()), container.data()};
                EXPECT_TRUE(dkitCredentialIsValid(&credential));
                EXPECT_NE(dkitCredentialGetNextBlockHandleOfType(&credential, nullptr, CREDBLOCKTYPE_SOURCE_DETAILS),
                          nullptr);
                break;
            }
            default:
                break;
        }
    }
    constexpr int kReserved[] = {0x40, 0x50, 0x58, 0x59, 0x68, 0x69, 0xA4, 0xA9};
    for (int id = 0; id < 256; ++id) {
        const bool named = std::string(zvEacMsgIdToStr(static_cast<ZvEacTeleMsgId>(id))) != kUnknownMsgId;
        if (named || std::find(std::begin(kReserved), std::end(kReserved), id) != std::end(kReserved)) {
            EXPECT_TRUE(ids.count(id)) << "message id " << id << " never played";
        }
    }
    EXPECT_TRUE(ids.count(0xBC) && ids.count(0xC4)) << "undeclared ids inside the catalogue's range";
    const std::set<std::string> expectedForms{
        "activator/15",      "activator/16", "grant/short",     "grant/extended",   "doorMode/short",
        "doorMode/extended", "denied/short", "denied/extended", "indication/short", "indication/extended"};
    for (const std::string& form : expectedForms) {
        EXPECT_TRUE(forms.count(form)) << form << " never played";
    }
}

// A serial port gets the same bytes as a file, on a line set to 8 data bits,
// no parity and 2 stop bits at the chosen rate.
TEST(BusSimDevice, WritesTheSameBytesOnASerialLineSetTo8N2) {
    zvtest::TempDir tmp;
    const FileRun reference = writeFile(tmp, "reference", {"-c", "80", "-s", "3"});
    ASSERT_EQ(reference.status, 0);

    PtyPair line;
    ASSERT_TRUE(line.ok()) << line.error();
    const zvtest::RunResult run =
        zvtest::runProgram({kSim, line.slavePath(), "-c", "80", "-s", "3", "-b", "57600", "-q"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(line.readExactly(reference.bytes.size()) == reference.bytes);

    termios tio{};
    ASSERT_EQ(tcgetattr(line.slaveFd(), &tio), 0);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_NE(tio.c_cflag & CSTOPB, 0U);
    EXPECT_EQ(tio.c_cflag & PARENB, 0U);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B57600));
}

// --- against the sniffer ----------------------------------------------------------------------

std::map<int, unsigned> headerCounts(const std::string& log) {
    std::map<std::string, int> idOfText;
    for (int id = 0; id < 256; ++id) {
        const std::string text = zvEacMsgIdToStr(static_cast<ZvEacTeleMsgId>(id));
        if (text != kUnknownMsgId) {
            idOfText[text] = id;
        }
    }
    std::map<int, unsigned> counts;
    for (const char* direction : {" ==> from  ", "<==  to    "}) {
        const std::string marker = direction;
        for (std::size_t at = log.find(marker); at != std::string::npos; at = log.find(marker, at + 1)) {
            const std::size_t textStart = log.find("\n\t\t ", at);
            if (textStart == std::string::npos) {
                break;
            }
            const std::size_t textEnd = log.find('\n', textStart + 4);
            const std::string text = log.substr(textStart + 4, textEnd - textStart - 4);
            if (text != kUnknownMsgId) {
                ++counts[idOfText.count(text) ? idOfText[text] : -1];
                continue;
            }
            // At verbosity 2 an id without a printer comes with its dump.
            const std::size_t dump = log.find("msg [ 0x", textEnd);
            ++counts[dump == std::string::npos ? -1 : std::stoi(log.substr(dump + 8, 2), nullptr, 16)];
        }
    }
    return counts;
}

unsigned countOf(const std::string& text, const std::string& what) {
    unsigned n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
        ++n;
    }
    return n;
}

TEST(BusSimAgainstSniffer, TheSnifferShowsWhatArrivedIntactAndTheSameDeviceChanges) {
    zvtest::TempDir tmp;
    const std::string link = tmp.file("bus");
    const std::string summaryFile = tmp.file("summary");
    const std::string logFile = tmp.file("sniffer.log");

    ChildProcess sim;
    ASSERT_TRUE(sim.start({kSim, "--link", link, "-b", "115200", "-c", "1200", "-s", "7", "--faults", "0.03", "--hold",
                           "--summary", summaryFile, "--delay", "1", "--wait-reader", "30", "-q"}));
    ASSERT_TRUE(zvtest::waitUntil([&] { return std::filesystem::exists(link); })) << sim.stderrText();

    // The simulator starts a second after the sniffer opens the line; the
    // log is on by then.
    ChildProcess sniffer;
    ASSERT_TRUE(sniffer.start({kSniffer, link, "-b", "115200"}));
    ASSERT_TRUE(sniffer.waitForStdout(" application initialized\n")) << sniffer.stdoutText() << sniffer.stderrText();
    ASSERT_TRUE(sniffer.writeStdin("logToFile 1 " + logFile + "\n"));

    ASSERT_TRUE(zvtest::waitUntil([&] { return std::filesystem::exists(summaryFile); }, 90s)) << sim.stderrText();
    const Summary summary = parseSummary(zvtest::readFile(summaryFile));
    ASSERT_EQ(summary.totals.at("frames"), 1200U);
    EXPECT_GT(summary.totals.at("faulty"), 0U);
    unsigned expectedHeaders = 0;
    for (const auto& [id, counts] : summary.frames) {
        expectedHeaders += id == "empty" ? 0 : counts.good;
    }

    std::map<int, unsigned> seen;
    zvtest::waitUntil([&] {
        unsigned total = 0;
        for (const auto& [id, n] : headerCounts(zvtest::readFile(logFile))) {
            total += n;
        }
        return total >= expectedHeaders;
    });
    const std::string log = zvtest::readFile(logFile);
    seen = headerCounts(log);
    EXPECT_EQ(seen.count(-1), 0U) << "headers the test cannot place";
    for (int id = 0; id < 256; ++id) {
        EXPECT_EQ(seen[id], summary.goodOf(id)) << "message id " << id;
    }
    ASSERT_EQ(summary.reports.size(), 8U);
    bool someDeviceCameBack = false;
    for (const auto& [device, changes] : summary.reports) {
        const std::string prefix = " ##  device " + std::to_string(device) + "  ";
        EXPECT_EQ(countOf(log, prefix + "ONLINE\n"), changes.first) << "device " << device;
        EXPECT_EQ(countOf(log, prefix + "OFFLINE\n"), changes.second) << "device " << device;
        someDeviceCameBack = someDeviceCameBack || (changes.second > 0 && changes.first > 1);
    }
    EXPECT_TRUE(someDeviceCameBack);

    ASSERT_TRUE(sniffer.writeStdin("quit\n"));
    EXPECT_EQ(sniffer.waitExit(), 0) << sniffer.stderrText();
    // Held open until now; the reader's leaving ends the simulator.
    EXPECT_EQ(sim.waitExit(), 0) << sim.stderrText();
}

}  // namespace
