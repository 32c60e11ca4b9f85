// The whole program on a pseudo-terminal: bus bytes go in at the far end of
// the line, console commands through standard input, and the tests read what
// reaches standard output and the log file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/childProcess.h"
#include "support/frameEncoder.h"
#include "support/ptyPair.h"

namespace {

using namespace std::chrono_literals;
using zvtest::ChildProcess;

const std::string kBin = ZV_SNIFFER_BIN;
constexpr const char* kEnter = "\n";
constexpr U8 kGetLockState = 0xA2;
constexpr U8 kLockState = 0xA3;

// The console shows every line feed followed by a carriage return.
std::string onConsole(std::string text) {
    std::string out;
    for (char c : text) {
        out.push_back(c);
        if (c == '\n') {
            out.push_back('\r');
        }
    }
    return out;
}

std::size_t countOf(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + what.size())) {
        ++n;
    }
    return n;
}

std::string bytes(const std::vector<U8>& v) { return std::string(v.begin(), v.end()); }

std::string poll(ZvEacNwkAddr device) {
    const U8 telegram[] = {kGetLockState};
    return bytes(zvtest::encodeFrame(0, device, telegram));
}

std::string answer(ZvEacNwkAddr device) {
    const U8 telegram[] = {kLockState, 0x02};
    return bytes(zvtest::encodeFrame(device, 0, telegram));
}

std::string header(bool fromDevice, int address, const char* msgid) {
    char text[96];
    std::snprintf(text, sizeof text, "%s  %3d \n\t\t %s", fromDevice ? " ==> from" : "<==  to  ", address, msgid);
    return text;
}

std::string pairs(int count) {
    std::string wire;
    for (int i = 0; i < count; ++i) {
        const auto device = static_cast<ZvEacNwkAddr>(1 + i % 200);
        wire += poll(device) + answer(device);
    }
    return wire;
}

// Voluntary and involuntary context switches of all threads of a process.
long wakeUps(pid_t pid) {
    long total = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        std::ifstream status(task.path() / "status");
        std::string key;
        long value = 0;
        while (status >> key) {
            if (key.find("ctxt_switches:") != std::string::npos && status >> value) {
                total += value;
            }
        }
    }
    return total;
}

class SnifferEndToEnd : public testing::Test {
protected:
    void start(std::vector<std::string> options = {}) {
        ASSERT_TRUE(pty_.ok()) << pty_.error();
        std::vector<std::string> args{kBin, pty_.slavePath()};
        args.insert(args.end(), options.begin(), options.end());
        ASSERT_TRUE(sniffer_.start(args));
        ASSERT_TRUE(sniffer_.waitForStdout(" application initialized\n")) << output();
    }

    std::string output() const { return sniffer_.stdoutText() + "\n--- stderr:\n" + sniffer_.stderrText(); }

    // Types a command and waits until its reply appears after everything
    // shown so far.
    void command(const std::string& line, const std::string& reply) {
        const std::size_t before = sniffer_.stdoutText().size();
        ASSERT_TRUE(sniffer_.writeStdin(line + kEnter));
        const std::string expected = onConsole(reply);
        EXPECT_TRUE(zvtest::waitUntil([&] {
            return sniffer_.stdoutText().find(expected, before) != std::string::npos;
        })) << "command '"
            << line << "'\n"
            << output();
    }

    void send(const std::string& frames) { ASSERT_TRUE(pty_.write(frames)); }

    bool stdoutShows(const std::string& text) { return sniffer_.waitForStdout(onConsole(text)); }

    void quit() {
        command("quit", "-- Stopping --\n");
        EXPECT_EQ(sniffer_.waitExit(), 0) << output();
    }

    PtyPair pty_;
    ChildProcess sniffer_;
    zvtest::TempDir tmp_;
};

struct StartupCase {
    const char* name;
    const char* rate;
    const char* shown;
};

// Names the case in test listings and failures.
void PrintTo(const StartupCase& c, std::ostream* os) { *os << c.name; }

class SnifferStartup : public SnifferEndToEnd, public testing::WithParamInterface<StartupCase> {};

TEST_P(SnifferStartup, PrintsVersionSettingsAndReadiness) {
    start({"-b", GetParam().rate});
    const std::string expected =
        "\n " + kBin + " Version: 11.3.31476\n" +
        onConsole(std::string(" shell online\n Current settings: eac flavour: ZELVAN baudrate: ") + GetParam().shown +
                  "\n application initialized\n");
    EXPECT_EQ(sniffer_.stdoutText().substr(0, expected.size()), expected) << output();
    quit();
}

INSTANTIATE_TEST_SUITE_P(E2e, SnifferStartup,
                         testing::Values(StartupCase{"Rate38400", "38400", "38400"},
                                         StartupCase{"UnlistedRate4800", "4800", "19200"}),
                         [](const testing::TestParamInfo<StartupCase>& info) { return std::string(info.param.name); });

TEST_F(SnifferEndToEnd, ExitStopsWithStatus0AndFlushesTheReply) {
    start();
    ASSERT_TRUE(sniffer_.writeStdin(std::string("exit now") + kEnter));
    EXPECT_EQ(sniffer_.waitExit(), 0) << output();
    EXPECT_NE(sniffer_.stdoutText().find(onConsole("-- Stopping --\n")), std::string::npos) << output();
}

TEST_F(SnifferEndToEnd, PortTypedAtThePromptLeavesTheFollowingLinesToTheConsole) {
    ASSERT_TRUE(pty_.ok()) << pty_.error();
    ASSERT_TRUE(sniffer_.start({kBin}));
    // All at once: reading the port line must not take the commands with it.
    ASSERT_TRUE(sniffer_.writeStdin(pty_.slavePath() + "\nverboseMessages 1\nquit\n"));
    EXPECT_EQ(sniffer_.waitExit(), 0) << output();
    EXPECT_NE(sniffer_.stdoutText().find(onConsole("verboseMessages 1\nok\n > quit\n-- Stopping --\n")),
              std::string::npos)
        << output();
}

class SnifferSignal : public SnifferEndToEnd, public testing::WithParamInterface<int> {};

TEST_P(SnifferSignal, StopsInOrderWithStatus0) {
    start();
    sniffer_.sendSignal(GetParam());
    EXPECT_EQ(sniffer_.waitExit(), 0) << output();
}

INSTANTIATE_TEST_SUITE_P(E2e, SnifferSignal, testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const testing::TestParamInfo<int>& info) { return std::string(sigabbrev_np(info.param)); });

struct ClosedFdsCase {
    const char* name;
    std::vector<int> closed;
};
void PrintTo(const ClosedFdsCase& c, std::ostream* os) { *os << c.name; }

class SnifferClosedDescriptors : public SnifferEndToEnd, public testing::WithParamInterface<ClosedFdsCase> {};

// Started by a service manager or with `<&-`: a standard descriptor left
// closed must not go to the first descriptor the program opens (a timer's
// counter then arrives as keys).
TEST_P(SnifferClosedDescriptors, AreOpenedOnTheNullDevice) {
    ASSERT_TRUE(pty_.ok()) << pty_.error();
    ASSERT_TRUE(sniffer_.start({kBin, pty_.slavePath()}, {GetParam().closed}));
    const std::string fds = "/proc/" + std::to_string(sniffer_.pid()) + "/fd/";
    const auto target = [&](int fd) {
        char link[256] = {};
        const ssize_t n = readlink((fds + std::to_string(fd)).c_str(), link, sizeof link - 1);
        return n > 0 ? std::string(link, static_cast<std::size_t>(n)) : std::string();
    };
    // The port is opened after every wait object and timer descriptor.
    ASSERT_TRUE(zvtest::waitUntil([&] {
        for (int fd = 3; fd < 64; ++fd) {
            if (target(fd) == pty_.slavePath()) {
                return true;
            }
        }
        return false;
    })) << output();
    for (const int fd : GetParam().closed) {
        EXPECT_EQ(target(fd), "/dev/null") << "descriptor " << fd;
    }
    sniffer_.sendSignal(SIGTERM);
    EXPECT_EQ(sniffer_.waitExit(), 0) << output();
}

INSTANTIATE_TEST_SUITE_P(E2e, SnifferClosedDescriptors,
                         testing::Values(ClosedFdsCase{"Stdin", {0}}, ClosedFdsCase{"Stdout", {1}},
                                         ClosedFdsCase{"All", {0, 1, 2}}),
                         [](const testing::TestParamInfo<ClosedFdsCase>& info) {
                             return std::string(info.param.name);
                         });

// Left alone overnight: everything set from the command line, nobody typing,
// stopped by the service manager.
TEST_F(SnifferEndToEnd, OptionsSetUpAnUnattendedRun) {
    const std::string logFile = tmp_.file("site.log");
    start({"-b", "38400", "--verbosity", "1", "--raw", "--log", logFile});
    sniffer_.closeStdin();
    send(poll(5) + answer(5));
    ASSERT_TRUE(stdoutShows(header(true, 5, "MSGID_LOCK_STATE") + "\n\n > ")) << output();
    sniffer_.sendSignal(SIGTERM);
    EXPECT_EQ(sniffer_.waitExit(), 0) << output();
    const std::string log = zvtest::readFile(logFile);
    for (const std::string& piece :
         {std::string("     STX 05  00  01  a2  a6  ETX  \n"), header(false, 5, "MSGID_GET_LOCK_STATE") + "\n\n",
          std::string(" ##  device 5  ONLINE\n\n"), header(true, 5, "MSGID_LOCK_STATE") + "\n\n"}) {
        EXPECT_NE(log.find(piece), std::string::npos) << piece << "\n--- log:\n" << log;
    }
    EXPECT_EQ(log.find("LOCK_STATE_LOCKED"), std::string::npos) << "verbosity 1 shows ids only\n" << log;
}

TEST_F(SnifferEndToEnd, LogsDecodedFramesAndOnlineChangesToFile) {
    start();
    const std::string logFile = tmp_.file("bus.log");
    command("logToFile 1 " + logFile, "ok\n");
    // Device 5 answers its poll, then misses one: the master moves on to 6.
    send(poll(5) + answer(5) + poll(5) + poll(6));

    const std::vector<std::string> expectedInOrder{header(false, 5, "MSGID_GET_LOCK_STATE"),
                                                   " ##  device 5  ONLINE\n\n",
                                                   header(true, 5, "MSGID_LOCK_STATE"),
                                                   header(false, 5, "MSGID_GET_LOCK_STATE"),
                                                   " ##  device 5  OFFLINE\n\n",
                                                   header(false, 6, "MSGID_GET_LOCK_STATE")};
    ASSERT_TRUE(zvtest::waitUntil([&] {
        return zvtest::readFile(logFile).find(expectedInOrder.back()) != std::string::npos;
    })) << zvtest::readFile(logFile);
    const std::string log = zvtest::readFile(logFile);
    std::size_t pos = 0;
    for (const std::string& piece : expectedInOrder) {
        const std::size_t found = log.find(piece, pos);
        ASSERT_NE(found, std::string::npos) << "missing in order: " << piece << "\n" << log;
        pos = found + piece.size();
    }
    EXPECT_EQ(log.find(" > "), std::string::npos) << "prompts stay on the console";
    EXPECT_TRUE(stdoutShows(" ##  device 5  OFFLINE\n\n")) << output();

    command("logToFile 0", "ok\n");
    send(answer(6));
    EXPECT_TRUE(stdoutShows(" ##  device 6  ONLINE\n\n")) << output();
    EXPECT_EQ(zvtest::readFile(logFile).find("device 6"), std::string::npos);
    quit();
}

TEST_F(SnifferEndToEnd, VerbosityLevelsShapeTheOutput) {
    start();
    command("verboseMessages 0", "ok\n");
    send(answer(11));
    // The change report still shows; the telegram itself prints nothing
    // between the report's prompt and its own.
    EXPECT_TRUE(stdoutShows(" ##  device 11  ONLINE\n\n >  > ")) << output();
    command("verboseMessages 1", "ok\n");
    send(answer(12));
    EXPECT_TRUE(stdoutShows(header(true, 12, "MSGID_LOCK_STATE") + "\n\n > ")) << output();
    command("verboseMessages 3", "ok\n");
    send(answer(13));
    EXPECT_TRUE(stdoutShows(header(true, 13, "MSGID_LOCK_STATE") +
                            "\n\t\t LOCK_STATE_LOCKED\n\t\t length = 2, msg [ 0xa3 0x02 ]\n\n > "))
        << output();
    command("verboseMessages 2", "ok\n");
    send(poll(14));
    EXPECT_TRUE(stdoutShows(header(false, 14, "MSGID_GET_LOCK_STATE") + "\n\n > ")) << output();
    quit();
}

TEST_F(SnifferEndToEnd, RawDataShowsEveryByteOfTheLine) {
    start();
    command("rawData 1", "ok\n");
    send(poll(5));
    EXPECT_TRUE(stdoutShows("     STX 05  00  01  a2  a6  ETX  \n")) << output();
    // Escaped bytes show as ESC and the escaped value.
    const U8 telegram[] = {kLockState, 0x03};
    send(bytes(zvtest::encodeFrame(2, 0, telegram)));
    EXPECT_TRUE(stdoutShows("     STX 00  ESC 82  ESC 82  a3  ESC 83  a0  ETX  \n")) << output();
    command("rawData 0", "ok\n");
    quit();
}

TEST_F(SnifferEndToEnd, MalformedCommandsAnswerWithTheirHelpText) {
    const std::string verboseHelp =
        " verboseMessages 3  -> maximum printouts, including raw messages \n"
        " verboseMessages 2  -> print message ids and message contents (default)\n"
        " verboseMessages 1  -> print message ids \n"
        " verboseMessages 0  -> minimum printouts \n";
    const std::string rawHelp =
        " rawData 1  -> raw data printing on \n rawData 0  -> raw data printing off (default)\n";
    const std::string logHelp = " Enables or disables logging to file.\n \n logToFile 1 FILENAME\n logToFile 0\n";
    start();
    struct Case {
        std::string line;
        std::string reply;
    };
    for (const Case& c :
         {Case{"verboseMessages", verboseHelp}, Case{"verboseMessages 1 2", verboseHelp}, Case{"rawData 2", rawHelp},
          Case{"rawData -1", rawHelp}, Case{"rawData", rawHelp}, Case{"logToFile 2", logHelp},
          Case{"logToFile 1", logHelp}, Case{"verboseMessages 9", "ok\n"}}) {
        command(c.line, c.reply + " > ");
    }
    // Level 9 prints like level 3: the telegram's dump follows.
    send(answer(21));
    EXPECT_TRUE(stdoutShows("length = 2, msg [ 0xa3 0x02 ]\n\n")) << output();
    quit();
}

TEST_F(SnifferEndToEnd, BurstOfFramesIsDecodedCompletely) {
    constexpr int kPairs = 1000;
    start();
    const std::string logFile = tmp_.file("burst.log");
    command("logToFile 1 " + logFile, "ok\n");
    send(pairs(kPairs));
    const auto complete = [&] {
        const std::string log = zvtest::readFile(logFile);
        return countOf(log, "MSGID_LOCK_STATE") == kPairs && countOf(log, "MSGID_GET_LOCK_STATE") == kPairs;
    };
    EXPECT_TRUE(zvtest::waitUntil(complete, 20s))
        << "decoded " << countOf(zvtest::readFile(logFile), "MSGID_LOCK_STATE") << " answers of " << kPairs;
    const std::string log = zvtest::readFile(logFile);
    EXPECT_EQ(countOf(log, " ONLINE\n"), 200u);
    EXPECT_EQ(countOf(log, " OFFLINE\n"), 0u);
    quit();
}

// The loop sleeps without a time-out while nothing is due, but wakes by
// itself when a frame in progress runs out of time: otherwise the next
// frame's bytes would be taken for the rest of the cut-off one.
TEST_F(SnifferEndToEnd, FrameCutOffBySilenceIsDroppedBeforeTheNextOneComes) {
    start();
    send(poll(5).substr(0, 4));  // STX, destination, source, length 1: the data byte never comes
    std::this_thread::sleep_for(1s);
    send(answer(5));
    EXPECT_TRUE(stdoutShows(header(true, 5, "MSGID_LOCK_STATE"))) << output();
    quit();
}

TEST_F(SnifferEndToEnd, QuietBusWakesNothing) {
    start();
    command("verboseMessages 2", "ok\n > ");
    std::this_thread::sleep_for(100ms);  // the reply's last pass
    const long before = wakeUps(sniffer_.pid());
    std::this_thread::sleep_for(500ms);
    EXPECT_LE(wakeUps(sniffer_.pid()) - before, 2);
    quit();
}

// A screen that takes its text more slowly than the sniffer prints it holds
// the sniffer back; nothing is lost on the line or on the screen.
TEST_F(SnifferEndToEnd, SlowScreenLosesNothing) {
    constexpr int kPairs = 1000;
    sniffer_.slowScreen(4096, 2ms);
    start();
    command("verboseMessages 3", "ok\n");  // far more text than line bytes
    send(pairs(kPairs));
    const auto complete = [&] {
        const std::string out = sniffer_.stdoutText();
        return countOf(out, "MSGID_LOCK_STATE") == kPairs && countOf(out, "MSGID_GET_LOCK_STATE") == kPairs;
    };
    EXPECT_TRUE(zvtest::waitUntil(complete, 60s))
        << "shown " << countOf(sniffer_.stdoutText(), "MSGID_LOCK_STATE") << " answers of " << kPairs;
    EXPECT_EQ(countOf(sniffer_.stdoutText(), "length = 2, msg [ 0xa3 0x02 ]"), static_cast<std::size_t>(kPairs));
    quit();
}

// Ctrl-S for a while: the screen misses telegrams, but says in place how
// many lines it missed, and every line of the log file is either on the
// screen or counted as not shown.
TEST_F(SnifferEndToEnd, HeldScreenSaysHowManyLinesItMissed) {
    constexpr int kPairs = 400;  // far more text than the screen's buffers hold
    const std::string logFile = tmp_.file("held.log");
    sniffer_.slowScreen(4096, 0ms);
    start({"--log", logFile});
    sniffer_.holdScreen(true);
    send(pairs(kPairs));
    ASSERT_TRUE(
        zvtest::waitUntil([&] { return countOf(zvtest::readFile(logFile), "MSGID_LOCK_STATE") == kPairs; }, 30s));
    sniffer_.holdScreen(false);
    ASSERT_TRUE(sniffer_.waitForStdout("not shown: the terminal did not keep up (the log file has them) --\n\r"))
        << output();
    quit();

    const std::string all = sniffer_.stdoutText();
    const std::string init = onConsole(" application initialized\n");
    const std::size_t from = all.find(init) + init.size();
    std::string screen = all.substr(from, all.rfind(onConsole("quit\n-- Stopping --\n")) - from);
    const std::regex notice(
        "(\r\n)?-- (\\d+) lines? not shown: the terminal did not keep up \\(the log file has them\\) --\n\r");
    std::size_t notShown = 0;
    for (auto it = std::sregex_iterator(screen.begin(), screen.end(), notice); it != std::sregex_iterator(); ++it) {
        notShown += std::stoul((*it)[2].str());
    }
    ASSERT_GT(notShown, 0U) << screen;
    screen = std::regex_replace(screen, notice, "");
    EXPECT_EQ(countOf(screen, "\n") + notShown, countOf(zvtest::readFile(logFile), "\n"));
}

struct StuckScreenCase {
    const char* name;
    int signo;  // 0: quit typed
};
void PrintTo(const StuckScreenCase& c, std::ostream* os) { *os << c.name; }

class SnifferStuckScreen : public SnifferEndToEnd, public testing::WithParamInterface<StuckScreenCase> {};

// Standard output into a pipe that nobody reads: quit and the stop signals
// still end the program in order within about a second, dropping what the
// screen did not take.
TEST_P(SnifferStuckScreen, StopsInOrderWithinASecond) {
    ASSERT_TRUE(pty_.ok()) << pty_.error();
    ChildProcess::Options options;
    options.stuckScreen = true;
    ASSERT_TRUE(sniffer_.start({kBin, pty_.slavePath()}, options));
    std::string helps;
    for (int i = 0; i < 1000; ++i) {  // some 100 KB of answers
        helps += "help\n";
    }
    ASSERT_TRUE(sniffer_.writeStdin(helps));
    ASSERT_TRUE(zvtest::waitUntil([&] { return sniffer_.stuckScreenHolds() >= 32768; })) << "screen never filled";
    if (GetParam().signo != 0) {
        sniffer_.sendSignal(GetParam().signo);
    } else {
        ASSERT_TRUE(sniffer_.writeStdin("quit\n"));
    }
    EXPECT_EQ(sniffer_.waitExit(3s), 0) << sniffer_.stderrText();
}

INSTANTIATE_TEST_SUITE_P(E2e, SnifferStuckScreen,
                         testing::Values(StuckScreenCase{"Quit", 0}, StuckScreenCase{"Sigterm", SIGTERM}),
                         [](const testing::TestParamInfo<StuckScreenCase>& info) { return info.param.name; });

class SnifferLogIntoStalledPipe : public SnifferEndToEnd, public testing::WithParamInterface<bool> {};

// The log file is a pipe whose reader stops reading: decoding and the console
// go on, the log drops text and says so once; a stop still ends the program
// at once, and a reader that catches up finds the gap marked, as the console
// does.
TEST_P(SnifferLogIntoStalledPipe, HoldsNothingUp) {
    const bool readerCatchesUp = GetParam();
    const std::string fifo = tmp_.file("log.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    start({"--log", fifo});
    send(pairs(2000) + answer(250));  // far more log text than the pipe and the buffer hold
    EXPECT_TRUE(stdoutShows(header(true, 250, "MSGID_LOCK_STATE"))) << output();
    EXPECT_EQ(countOf(sniffer_.stdoutText(), "Could not write to log file " + fifo + ": "), 1U) << output();
    if (readerCatchesUp) {
        const std::string gap = " bytes of log text dropped: the log file did not keep up --\n";
        std::string log;
        EXPECT_TRUE(zvtest::waitUntil([&] {
            std::array<char, 65536> buf{};
            for (ssize_t n = 0; (n = ::read(reader, buf.data(), buf.size())) > 0;) {
                log.append(buf.data(), static_cast<std::size_t>(n));
            }
            return log.find(gap) != std::string::npos;
        })) << log.size()
            << " bytes read";
        EXPECT_TRUE(stdoutShows(gap)) << output();
        quit();
    } else {
        sniffer_.sendSignal(SIGTERM);
        EXPECT_EQ(sniffer_.waitExit(3s), 0) << output();
    }
    ::close(reader);
}

INSTANTIATE_TEST_SUITE_P(E2e, SnifferLogIntoStalledPipe, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "ReaderCatchesUp" : "Stopped");
                         });

class SnifferSignalWhileBusy : public SnifferEndToEnd, public testing::WithParamInterface<int> {};

TEST_P(SnifferSignalWhileBusy, StopsInOrderWithStatus0) {
    start();
    std::atomic<bool> stop{false};
    std::thread line([&] {
        const std::string burst = pairs(100);
        while (!stop) {
            (void)pty_.write(burst, 200ms);
        }
    });
    EXPECT_TRUE(sniffer_.waitForStdout("MSGID_LOCK_STATE")) << output();
    sniffer_.sendSignal(GetParam());
    EXPECT_EQ(sniffer_.waitExit(), 0) << output();
    stop = true;
    line.join();
}

INSTANTIATE_TEST_SUITE_P(E2e, SnifferSignalWhileBusy, testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const testing::TestParamInfo<int>& info) { return std::string(sigabbrev_np(info.param)); });

}  // namespace

namespace {

// An adapter unplugged and plugged in again: the same name comes back on a
// new line. The sniffer keeps running, and no frame is made of bytes from
// both sides of the gap.
TEST(SnifferReconnect, SurvivesTheLineGoingAwayAndComingBack) {
    zvtest::TempDir tmp;
    const std::string link = tmp.file("ttyUSB0");
    auto before = std::make_unique<PtyPair>();
    ASSERT_TRUE(before->ok()) << before->error();
    ASSERT_EQ(::symlink(before->slavePath().c_str(), link.c_str()), 0);
    const std::string logFile = tmp.file("night.log");

    ChildProcess sniffer;
    ASSERT_TRUE(sniffer.start({kBin, link, "--reconnect", "--log", logFile}));
    ASSERT_TRUE(sniffer.waitForStdout(" application initialized\n")) << sniffer.stdoutText();
    // Half a frame goes out just before the line dies; its rest arrives on
    // the new line and must not complete it.
    const std::string cut = poll(6);
    ASSERT_TRUE(before->write(poll(5) + answer(5) + cut.substr(0, 3)));
    ASSERT_TRUE(sniffer.waitForStdout(onConsole(header(true, 5, "MSGID_LOCK_STATE")))) << sniffer.stdoutText();
    before->closeSlave();
    before->closeMaster();
    ASSERT_TRUE(sniffer.waitForStdout("port " + link + " lost: ")) << sniffer.stdoutText() << sniffer.stderrText();
    EXPECT_TRUE(sniffer.running());

    auto after = std::make_unique<PtyPair>();
    ASSERT_TRUE(after->ok()) << after->error();
    ASSERT_EQ(::unlink(link.c_str()), 0);
    ASSERT_EQ(::symlink(after->slavePath().c_str(), link.c_str()), 0);
    ASSERT_TRUE(sniffer.waitForStdout("port " + link + " is back; sniffing again")) << sniffer.stdoutText();
    ASSERT_TRUE(after->write(cut.substr(3) + poll(7) + answer(7)));
    ASSERT_TRUE(sniffer.waitForStdout(onConsole(header(true, 7, "MSGID_LOCK_STATE")))) << sniffer.stdoutText();

    ASSERT_TRUE(sniffer.writeStdin("quit\n"));
    EXPECT_EQ(sniffer.waitExit(), 0) << sniffer.stdoutText() << sniffer.stderrText();
    const std::string log = zvtest::readFile(logFile);
    EXPECT_EQ(countOf(log, "waiting for it to come back\n"), 1U) << log;
    EXPECT_EQ(countOf(log, "is back; sniffing again\n"), 1U) << log;
    // Both stamped like every report: an overnight log says when.
    EXPECT_TRUE(std::regex_search(log, std::regex(R"(\.\d{3}\) port .* lost: )"))) << log;
    EXPECT_TRUE(std::regex_search(log, std::regex(R"(\.\d{3}\) port .* is back; sniffing again)"))) << log;
    EXPECT_EQ(log.find(header(false, 6, "MSGID_GET_LOCK_STATE")), std::string::npos) << "stitched frame\n" << log;
    EXPECT_NE(log.find(header(false, 7, "MSGID_GET_LOCK_STATE")), std::string::npos) << log;
}

// Without --reconnect a lost port still ends the program as it always did.
TEST(SnifferReconnect, WithoutTheOptionALostPortEndsWithStatus1) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok()) << pty.error();
    ChildProcess sniffer;
    ASSERT_TRUE(sniffer.start({kBin, pty.slavePath()}));
    ASSERT_TRUE(sniffer.waitForStdout(" application initialized\n")) << sniffer.stdoutText();
    pty.closeSlave();
    pty.closeMaster();
    EXPECT_EQ(sniffer.waitExit(), 1) << sniffer.stdoutText();
    EXPECT_NE(sniffer.stderrText().find("cannot read " + pty.slavePath()), std::string::npos) << sniffer.stderrText();
}

}  // namespace
