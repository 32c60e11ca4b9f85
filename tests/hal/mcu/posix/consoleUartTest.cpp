// The console driver works on the process's own standard input and output,
// terminal and signal handlers, so every scenario runs in a death-test child
// that rewires fds 0 and 1; a failed check ends the child with status 3 and
// says why on stderr.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <fstream>
#include <ostream>
#include <string>
#include <thread>

#include "base/icError.h"
#include "fifo/icFifo.h"
#include "fifo/icFifoDriverHooks.h"
#include "hal/include/icOsal.h"
#include "hal/include/multiUart.h"
#include "support/ptyPair.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

void check(bool ok, const std::string& what) {
    if (!ok) {
        const std::string line = "FAILED: " + what + "\n";
        (void)!::write(STDERR_FILENO, line.data(), line.size());
        _exit(3);
    }
}

void checkEq(const std::string& got, const std::string& want, const std::string& what) {
    const std::size_t at = std::mismatch(got.begin(), got.end(), want.begin(), want.end()).first - got.begin();
    check(got == want, what + ": " + std::to_string(got.size()) + " bytes instead of " + std::to_string(want.size()) +
                           ", first difference at " + std::to_string(at));
}

// Reads from `fd` until `count` bytes came or the time-out ran out.
std::string readFd(int fd, std::size_t count, std::chrono::milliseconds timeout = 10s) {
    std::string out;
    const auto deadline = Clock::now() + timeout;
    while (out.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd pfd{fd, POLLIN, 0};
        char buf[4096];
        if (poll(&pfd, 1, static_cast<int>(std::max<long long>(left, 0))) <= 0) {
            break;
        }
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, count - out.size()));
        if (n <= 0) {
            break;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

struct Pipe {
    std::array<int, 2> fds{-1, -1};
    Pipe() { check(pipe(fds.data()) == 0, "pipe"); }
    int readEnd() const { return fds[0]; }
    int writeEnd() const { return fds[1]; }
};

void rewire(int fd, int target) { check(dup2(fd, target) == target, "dup2"); }

// The application's wiring: shell output and input FIFOs on one console,
// served the way the main loop serves it.
struct Console {
    std::array<Char, 5000> txBuf{};
    std::array<Char, 255> rxBuf{};
    IcFifoInstance tx{};
    IcFifoInstance rx{};
    UartInstancePtr ui = nullptr;

    Console() {
        icFifoInit(&tx, txBuf.data(), static_cast<IcFifoIndex>(txBuf.size()));
        icFifoInit(&rx, rxBuf.data(), static_cast<IcFifoIndex>(rxBuf.size()));
    }
    void open() {
        ui = consoleNew();
        check(ui != nullptr, "consoleNew");
        consoleSetFifoOps(ui, &kIcFifoDriverOps);
        consoleOpenTx(ui, icFifoDriverPopChar, icFifoDriverCharsToPop, &tx);
        consoleOpenRx(ui, icFifoDriverPushChar, &rx);
        icFifoSetMakeRoomFunc(&tx, consoleMakeRoom, ui);
    }
    // One pass of the main loop's share: sleep until the console has work
    // (or `limitMs`), then let it do it. TRUE when it had work.
    bool serve(U16 limitMs = 10) {
        std::array<OsalWaitObject, CONSOLE_MAX_WAIT_OBJECTS> list{};
        const U8 n = consoleWaitObjects(ui, list.data(), static_cast<U8>(list.size()));
        osalApi->waitForObjects(list.data(), n, limitMs);
        const bool work =
            std::any_of(list.begin(), list.begin() + n, [](OsalWaitObject o) { return osalWaitObjIsSet(o); });
        consoleExe(ui);
        return work;
    }
    void queue(const std::string& text) { icFifoPushBlock(&tx, text.data(), static_cast<IcFifoIndex>(text.size())); }
    // A slow consumer: pops keys with a pause now and then, so the input
    // FIFO fills up when there is much to read.
    std::string keys(std::size_t count, std::chrono::milliseconds timeout = 10s) {
        std::string got;
        const auto deadline = Clock::now() + timeout;
        while (got.size() < count && Clock::now() < deadline) {
            if (icFifoCharsToPop(&rx) == 0) {
                serve();
                continue;
            }
            got.push_back(icFifoPopChar(&rx));
            if (got.size() % 16 == 0) {
                std::this_thread::sleep_for(1ms);
            }
        }
        return got;
    }
};

// Console on a pipe for input and a pipe for output.
struct PipedConsole : Console {
    Pipe in;
    Pipe out;
    PipedConsole() {
        rewire(in.readEnd(), STDIN_FILENO);
        rewire(out.writeEnd(), STDOUT_FILENO);
    }
};

std::string pattern(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s.push_back(static_cast<char>('A' + i % 26));
    }
    return s;
}

// Puts the pty into the mode a login shell leaves it in and returns it.
termios cookedTerminal(int fd) {
    termios tio{};
    check(tcgetattr(fd, &tio) == 0, "tcgetattr");
    tio.c_lflag |= ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    tio.c_iflag |= ICRNL | IXON;
    tio.c_oflag |= OPOST | ONLCR;
    check(tcsetattr(fd, TCSANOW, &tio) == 0 && tcgetattr(fd, &tio) == 0, "tcsetattr");
    return tio;
}

void checkTerminalIs(int fd, const termios& want) {
    termios now{};
    check(tcgetattr(fd, &now) == 0, "tcgetattr");
    check(now.c_iflag == want.c_iflag && now.c_oflag == want.c_oflag && now.c_cflag == want.c_cflag &&
              now.c_lflag == want.c_lflag &&
              std::equal(std::begin(now.c_cc), std::end(now.c_cc), std::begin(want.c_cc)),
          "terminal settings restored");
}

// Runs `body` in a forked process and returns its wait status. Safe here:
// a death-test child is a fresh process without other threads.
template <typename Body>
int runChild(Body body) {
    const pid_t pid = fork();
    check(pid >= 0, "fork");
    if (pid == 0) {
        body();
        _exit(0);
    }
    int status = 0;
    check(waitpid(pid, &status, 0) == pid, "waitpid");
    return status;
}

// --- piped input -----------------------------------------------------------

struct InputCase {
    const char* name;
    std::string input;
    std::string keys;
};
void PrintTo(const InputCase& c, std::ostream* os) { *os << c.name; }

class ConsolePipedInputTest : public testing::TestWithParam<InputCase> {};

TEST_P(ConsolePipedInputTest, LineEndsBecomeOneCarriageReturnAndTheEndOfInputIsNotTheEnd) {
    EXPECT_EXIT(
        {
            PipedConsole console;
            console.open();
            const std::string& input = GetParam().input;
            check(::write(console.in.writeEnd(), input.data(), input.size()) == static_cast<ssize_t>(input.size()),
                  "write input");
            close(console.in.writeEnd());
            checkEq(console.keys(GetParam().keys.size()), GetParam().keys, "keys");
            checkEq(console.keys(1, 100ms), "", "keys after the end of input");

            console.queue("still here\n");
            console.serve();
            checkEq(readFd(console.out.readEnd(), 11), "still here\n", "output after the end of input");
            consoleDelete(console.ui);
            _exit(0);
        },
        testing::ExitedWithCode(0), "");
}

std::string script(const char* lineEnd, int lines) {
    std::string s;
    for (int i = 0; i < lines; ++i) {
        s += "verboseMessages " + std::to_string(i % 4) + lineEnd;
    }
    return s;
}

INSTANTIATE_TEST_SUITE_P(Inputs, ConsolePipedInputTest,
                         testing::Values(InputCase{"LineFeeds", "help\nquit\n", "help\rquit\r"},
                                         InputCase{"CrLfPairs", "help\r\nquit\r\n", "help\rquit\r"},
                                         InputCase{"LoneCarriageReturns", "a\rb\r", "a\rb\r"},
                                         InputCase{"EmptyLinesStay", "\n\r\n\n", "\r\r\r"},
                                         InputCase{"NoFinalLineEnd", "quit", "quit"},
                                         InputCase{"OtherBytesPassUnchanged", std::string("\0\x7f\xff\t", 4),
                                                   std::string("\0\x7f\xff\t", 4)},
                                         InputCase{"LongerThanTheInputFifo", script("\r\n", 200), script("\r", 200)}),
                         [](const testing::TestParamInfo<InputCase>& info) { return info.param.name; });

TEST(ConsoleInputTest, CrLfSplitAcrossReadsIsStillOneCarriageReturn) {
    EXPECT_EXIT(
        {
            PipedConsole console;
            console.open();
            check(::write(console.in.writeEnd(), "a\r", 2) == 2, "write input");
            checkEq(console.keys(2), "a\r", "first part");
            check(::write(console.in.writeEnd(), "\nb\n", 3) == 3, "write input");
            checkEq(console.keys(2), "b\r", "second part");
            consoleDelete(console.ui);
            _exit(0);
        },
        testing::ExitedWithCode(0), "");
}

// --- output ------------------------------------------------------------------

long writeSyscalls() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long value = -1;
    while (io >> key >> value) {
        if (key == "syscw:") {
            return value;
        }
    }
    return -1;
}

TEST(ConsoleOutputTest, QueuedOutputIsWrittenInBlocks) {
    if (writeSyscalls() < 0) {
        GTEST_SKIP() << "no /proc/self/io to count write calls";
    }
    EXPECT_EXIT(
        {
            PipedConsole console;
            const std::string text = pattern(4000);
            console.queue(text);
            const long before = writeSyscalls();
            console.open();
            console.serve();
            checkEq(readFd(console.out.readEnd(), text.size()), text, "output");
            const long calls = writeSyscalls() - before;
            check(calls < 20, "4000 bytes took " + std::to_string(calls) + " write calls");
            consoleDelete(console.ui);
            _exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST(ConsoleOutputTest, FlushReturnsOnlyWhenEverythingIsWritten) {
    EXPECT_EXIT(
        {
            PipedConsole console;
            console.open();
            const std::string text = pattern(4900) + "-- Stopping --\n";
            console.queue(text);
            consoleFlush(console.ui);
            // No waiting: all of it must be in the pipe already, once and in
            // order, whether the console thread or the flush wrote it.
            checkEq(readFd(console.out.readEnd(), text.size() + 1, 0ms), text, "output after the flush");
            consoleDelete(console.ui);
            _exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST(ConsoleOutputTest, OutputToAClosedPipeIsDroppedNotFatal) {
    EXPECT_EXIT(
        {
            PipedConsole console;
            close(console.out.readEnd());
            console.open();
            console.queue("nobody reads this\n");
            consoleFlush(console.ui);
            console.queue("nor this\n");
            const auto deadline = Clock::now() + 10s;
            while (icFifoCharsToPop(&console.tx) > 0 && Clock::now() < deadline) {
                console.serve();
            }
            check(icFifoCharsToPop(&console.tx) == 0, "output FIFO drained");
            consoleDelete(console.ui);
            _exit(0);
        },
        testing::ExitedWithCode(0), "");
}

// --- terminal ------------------------------------------------------------------

TEST(ConsoleTerminalTest, KeysComeSinglyWithoutEchoAndDeleteRestoresTheMode) {
    EXPECT_EXIT(
        {
            PtyPair pty;
            check(pty.ok(), pty.error());
            const termios before = cookedTerminal(pty.slaveFd());
            rewire(pty.slaveFd(), STDIN_FILENO);
            Console console;
            console.open();

            termios during{};
            check(tcgetattr(pty.slaveFd(), &during) == 0, "tcgetattr");
            check((during.c_lflag & ISIG) != 0, "Ctrl-C still raises a signal");
            check(pty.write("x"), "type");
            checkEq(console.keys(1), "x", "a key without Enter");
            check(pty.write("\r\n"), "type");
            checkEq(console.keys(2), "\r\n", "line ends as typed");
            checkEq(pty.read(100ms), "", "echo");

            consoleDelete(console.ui);
            checkTerminalIs(pty.slaveFd(), before);
            _exit(0);
        },
        testing::ExitedWithCode(0), "");
}

// Fatal errors and port failures end through icErrorExit.
TEST(ConsoleTerminalTest, ErrorExitWritesQueuedOutputAndRestoresTheTerminal) {
    EXPECT_EXIT(
        {
            PtyPair pty;
            check(pty.ok(), pty.error());
            const termios before = cookedTerminal(pty.slaveFd());
            Pipe out;
            const std::string text = pattern(4900);
            const int status = runChild([&] {
                rewire(pty.slaveFd(), STDIN_FILENO);
                rewire(out.writeEnd(), STDOUT_FILENO);
                Console console;
                console.open();
                console.queue(text);
                icErrorExit(1);
            });
            check(WIFEXITED(status) && WEXITSTATUS(status) == 1, "exit status 1");
            close(out.writeEnd());
            checkEq(readFd(out.readEnd(), text.size() + 1), text, "queued output");
            checkTerminalIs(pty.slaveFd(), before);
            _exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST(ConsoleTerminalTest, SecondInterruptEndsAStuckProgramAndRestoresTheTerminal) {
    EXPECT_EXIT(
        {
            PtyPair pty;
            check(pty.ok(), pty.error());
            const termios before = cookedTerminal(pty.slaveFd());
            const int status = runChild([&] {
                rewire(pty.slaveFd(), STDIN_FILENO);
                Console console;
                console.open();
                std::raise(SIGINT);
                check(consoleStopRequested() == TRUE, "the first interrupt asks to stop");
                std::raise(SIGINT);
                check(false, "still running after the second interrupt");
            });
            check(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT, "ended by SIGINT");
            checkTerminalIs(pty.slaveFd(), before);
            _exit(0);
        },
        testing::ExitedWithCode(0), "");
}

// --- stop signals ------------------------------------------------------------------

struct SignalCase {
    int signo;
    const char* name;
};
void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

class ConsoleStopSignalTest : public testing::TestWithParam<SignalCase> {};

TEST_P(ConsoleStopSignalTest, RequestsAnOrderlyStopAndWakesTheMainLoop) {
    EXPECT_EXIT(
        {
            PipedConsole console;
            console.open();
            check(consoleStopRequested() == FALSE, "no stop before the signal");
            check(!console.serve(20), "idle: nothing wakes the main loop");
            std::raise(GetParam().signo);
            check(consoleStopRequested() == TRUE, "stop requested");
            check(console.serve(10000), "main loop woken");
            check(!console.serve(20), "woken once");
            consoleDelete(console.ui);
            _exit(0);
        },
        testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(Signals, ConsoleStopSignalTest,
                         testing::Values(SignalCase{SIGINT, "Interrupt"}, SignalCase{SIGTERM, "Terminate"},
                                         SignalCase{SIGHUP, "HangUp"}),
                         [](const testing::TestParamInfo<SignalCase>& info) { return info.param.name; });

}  // namespace
