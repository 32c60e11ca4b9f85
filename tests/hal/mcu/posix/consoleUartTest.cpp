// The console driver works on the process's own standard input and output,
// terminal and signal handlers, so every scenario runs in a death-test child
// that rewires fds 0 and 1 and reports a failed check on stderr with a
// non-zero status.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "error/icError.h"
#include "fifo/icFifo.h"
#include "hal/include/icOsal.h"
#include "hal/include/multiUart.h"
#include "support/ptyPair.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string printable(const std::string& s) {
    if (s.size() > 80) {
        return printable(s.substr(0, 30)) + "...(" + std::to_string(s.size()) + " bytes)..." +
               printable(s.substr(s.size() - 30));
    }
    std::string out;
    for (const unsigned char c : s) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

[[noreturn]] void fail(const std::string& what) {
    const std::string line = "FAILED: " + what + "\n";
    (void)!::write(STDERR_FILENO, line.data(), line.size());
    _exit(3);
}

void check(bool ok, const std::string& what) {
    if (!ok) {
        fail(what);
    }
}

void checkEq(const std::string& got, const std::string& want, const std::string& what) {
    check(got == want, what + ": got \"" + printable(got) + "\", want \"" + printable(want) + "\"");
}

void writeFd(int fd, const std::string& bytes) {
    check(::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()), "write to pipe");
}

// Reads from `fd` until `count` bytes came, the writer closed or the time-out
// ran out.
std::string readFd(int fd, std::size_t count, std::chrono::milliseconds timeout = 10s) {
    std::string out;
    const auto deadline = Clock::now() + timeout;
    while (out.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(std::max<long long>(left, 0))) <= 0) {
            break;
        }
        char buf[4096];
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, count - out.size()));
        if (n <= 0) {
            break;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

struct Pipe {
    int readEnd = -1;
    int writeEnd = -1;
    Pipe() {
        int fds[2];
        check(pipe(fds) == 0, "pipe");
        readEnd = fds[0];
        writeEnd = fds[1];
    }
};

// Replaces standard input or output of this (child) process.
void rewire(int fd, int target) { check(dup2(fd, target) == target, "dup2"); }

// The wiring of the application: shell output and input FIFOs on one console.
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
        consoleOpenTx(ui, icFifoPopChar, icFifoCharsToPop, &tx);
        consoleOpenRx(ui, icFifoPushChar, &rx);
    }
    void queue(const std::string& text) { icFifoPushBlock(&tx, text.data(), static_cast<IcFifoIndex>(text.size())); }
    // Pops keys until `count` came or the time-out ran out; `pauseEvery` > 0
    // makes a slow consumer.
    std::string keys(std::size_t count, std::chrono::milliseconds timeout = 10s, std::size_t pauseEvery = 0) {
        std::string got;
        const auto deadline = Clock::now() + timeout;
        while (got.size() < count && Clock::now() < deadline) {
            if (icFifoCharsToPop(&rx) == 0) {
                osalApi->waitForObjects(&rx.event, 1, 10);
                continue;
            }
            got.push_back(icFifoPopChar(&rx));
            if (pauseEvery > 0 && got.size() % pauseEvery == 0) {
                std::this_thread::sleep_for(1ms);
            }
        }
        return got;
    }
};

std::string pattern(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s.push_back(static_cast<char>('A' + i % 26));
    }
    return s;
}

termios cookedTerminal(int fd) {
    termios tio{};
    check(tcgetattr(fd, &tio) == 0, "tcgetattr");
    tio.c_lflag |= ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    tio.c_iflag |= ICRNL | IXON;
    tio.c_oflag |= OPOST | ONLCR;
    tio.c_cc[VMIN] = 1;
    check(tcsetattr(fd, TCSANOW, &tio) == 0, "tcsetattr");
    check(tcgetattr(fd, &tio) == 0, "tcgetattr");
    return tio;
}

bool sameTerminal(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
           std::equal(std::begin(a.c_cc), std::end(a.c_cc), std::begin(b.c_cc));
}

// Runs `body` in a forked process (this death-test child is fresh and has no
// other threads, so forking is safe) and returns its wait status.
template <typename Body>
int runChild(Body body) {
    std::fflush(nullptr);
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

class ConsolePipedInputTest : public testing::TestWithParam<InputCase> {};

TEST_P(ConsolePipedInputTest, LineEndsBecomeOneCarriageReturn) {
    EXPECT_EXIT(
        {
            Pipe in;
            Pipe out;
            rewire(in.readEnd, STDIN_FILENO);
            rewire(out.writeEnd, STDOUT_FILENO);
            Console console;
            console.open();
            writeFd(in.writeEnd, GetParam().input);
            close(in.writeEnd);
            checkEq(console.keys(GetParam().keys.size(), 10s, 16), GetParam().keys, "keys");
            checkEq(console.keys(1, 100ms), "", "nothing after end of input");

            // End of input is not the end of the program: output still flows.
            console.queue("still here\n");
            checkEq(readFd(out.readEnd, 11), "still here\n", "output after end of input");
            consoleDelete(console.ui);
            _exit(0);
        },
        testing::ExitedWithCode(0), "");
}

std::string longScript() {
    std::string s;
    for (int i = 0; i < 200; ++i) {
        s += "verboseMessages " + std::to_string(i % 4) + (i % 2 ? "\r\n" : "\n");
    }
    return s;
}

std::string longScriptKeys() {
    std::string s;
    for (int i = 0; i < 200; ++i) {
        s += "verboseMessages " + std::to_string(i % 4) + "\r";
    }
    return s;
}

INSTANTIATE_TEST_SUITE_P(Inputs, ConsolePipedInputTest,
                         testing::Values(InputCase{"LineFeeds", "help\nquit\n", "help\rquit\r"},
                                         InputCase{"CrLfPairs", "help\r\nquit\r\n", "help\rquit\r"},
                                         InputCase{"LoneCarriageReturns", "a\rb\r", "a\rb\r"},
                                         InputCase{"EmptyLinesStay", "\n\r\n\n", "\r\r\r"},
                                         InputCase{"NoFinalLineEnd", "quit", "quit"},
                                         InputCase{"BinaryBytesPassUnchanged", std::string("\x00\x7f\xff\t", 4),
                                                   std::string("\x00\x7f\xff\t", 4)},
                                         InputCase{"LongerThanTheInputFifo", longScript(), longScriptKeys()}),
                         [](const testing::TestParamInfo<InputCase>& info) { return info.param.name; });

TEST(ConsoleInputTest, CrLfSplitAcrossReadsIsStillOneCarriageReturn) {
    EXPECT_EXIT(
        {
            Pipe in;
            rewire(in.readEnd, STDIN_FILENO);
            Console console;
            console.open();
            writeFd(in.writeEnd, "a\r");
            checkEq(console.keys(2), "a\r", "first part");
            writeFd(in.writeEnd, "\nb\n");
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
            Pipe in;
            Pipe out;
            rewire(in.readEnd, STDIN_FILENO);
            rewire(out.writeEnd, STDOUT_FILENO);
            Console console;
            const std::string text = pattern(4000);
            console.queue(text);
            const long before = writeSyscalls();
            console.open();
            checkEq(readFd(out.readEnd, text.size()), text, "output");
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
            Pipe in;
            Pipe out;
            rewire(in.readEnd, STDIN_FILENO);
            rewire(out.writeEnd, STDOUT_FILENO);
            Console console;
            console.open();
            const std::string text = pattern(4900) + "-- Stopping --\n";
            console.queue(text);
            consoleFlush(console.ui);
            // No waiting: all of it must already be in the pipe, once and in
            // order, whether the console thread or the flush wrote it.
            checkEq(readFd(out.readEnd, text.size() + 1, 0ms), text, "output after flush");
            consoleDelete(console.ui);
            _exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST(ConsoleOutputTest, ClosedOutputIsDroppedNotFatal) {
    EXPECT_EXIT(
        {
            Pipe in;
            Pipe out;
            rewire(in.readEnd, STDIN_FILENO);
            rewire(out.writeEnd, STDOUT_FILENO);
            close(out.readEnd);
            Console console;
            console.open();
            console.queue("nobody reads this\n");
            consoleFlush(console.ui);
            console.queue("nor this\n");
            const auto deadline = Clock::now() + 10s;
            while (icFifoCharsToPop(&console.tx) > 0 && Clock::now() < deadline) {
                std::this_thread::sleep_for(1ms);
            }
            check(icFifoCharsToPop(&console.tx) == 0, "output FIFO drained");
            consoleDelete(console.ui);
            _exit(0);
        },
        testing::ExitedWithCode(0), "");
}

// --- terminal ------------------------------------------------------------------

TEST(ConsoleTerminalTest, KeysComeOneByOneWithoutEchoAndTheModeIsRestoredOnDelete) {
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
            check((during.c_lflag & (ICANON | ECHO)) == 0, "no line editing, no echo");
            check((during.c_lflag & ISIG) != 0, "Ctrl-C still raises a signal");
            check((during.c_iflag & ICRNL) == 0, "Enter stays a carriage return");

            // No line end needed, nothing echoed, line ends passed as typed.
            check(pty.write("x"), "type");
            checkEq(console.keys(1), "x", "key without Enter");
            check(pty.write("\r\n"), "type");
            checkEq(console.keys(2), "\r\n", "terminal keys as typed");
            checkEq(pty.read(100ms), "", "echo");

            consoleDelete(console.ui);
            termios after{};
            check(tcgetattr(pty.slaveFd(), &after) == 0, "tcgetattr");
            check(sameTerminal(before, after), "terminal restored");
            _exit(0);
        },
        testing::ExitedWithCode(0), "");
}

// The process ends through icErrorExit (fatal error, port failure): queued
// output comes out and the terminal is given back.
TEST(ConsoleTerminalTest, ErrorExitFlushesOutputAndRestoresTheTerminal) {
    EXPECT_EXIT(
        {
            PtyPair pty;
            check(pty.ok(), pty.error());
            const termios before = cookedTerminal(pty.slaveFd());
            Pipe out;
            const std::string text = pattern(4900);
            const int status = runChild([&] {
                rewire(pty.slaveFd(), STDIN_FILENO);
                rewire(out.writeEnd, STDOUT_FILENO);
                Console console;
                console.open();
                console.queue(text);
                icErrorExit(1);
            });
            check(WIFEXITED(status) && WEXITSTATUS(status) == 1, "exit status 1");
            close(out.writeEnd);
            checkEq(readFd(out.readEnd, text.size() + 1), text, "queued output");
            termios after{};
            check(tcgetattr(pty.slaveFd(), &after) == 0, "tcgetattr");
            check(sameTerminal(before, after), "terminal restored");
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
                check(consoleStopRequested() == TRUE, "first interrupt asks to stop");
                std::raise(SIGINT);
                fail("still running after the second interrupt");
            });
            check(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT, "ended by SIGINT");
            termios after{};
            check(tcgetattr(pty.slaveFd(), &after) == 0, "tcgetattr");
            check(sameTerminal(before, after), "terminal restored");
            _exit(0);
        },
        testing::ExitedWithCode(0), "");
}

// --- stop signals ------------------------------------------------------------------

struct SignalCase {
    int signo;
    const char* name;
};

class ConsoleStopSignalTest : public testing::TestWithParam<SignalCase> {};

TEST_P(ConsoleStopSignalTest, RequestsAnOrderlyStopAndWakesTheMainLoop) {
    EXPECT_EXIT(
        {
            Pipe in;
            rewire(in.readEnd, STDIN_FILENO);
            Console console;
            console.open();
            check(consoleStopRequested() == FALSE, "no stop before the signal");
            check(icFifoCharsToPop(&console.rx) == 0 && osalWaitObjIsSet(console.rx.event) == FALSE, "idle");
            std::raise(GetParam().signo);
            check(consoleStopRequested() == TRUE, "stop requested");
            osalApi->waitForObjects(&console.rx.event, 1, 10000);
            check(osalWaitObjIsSet(console.rx.event) == TRUE, "main loop woken");
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
