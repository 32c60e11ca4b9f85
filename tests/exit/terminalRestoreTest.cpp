// Every way the sniffer ends must hand the operator's terminal back as it
// found it. The program runs with a pseudo-terminal as its console (standard
// input, output and error on the slave side, which is also its controlling
// terminal, so Ctrl-C typed on the master raises SIGINT as on a real
// console). The test keeps a descriptor of its own on the slave side to read
// the settings before, during and after the run.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "base/icError.h"
#include "fifo/icFifo.h"
#include "fifo/icFifoDriverHooks.h"
#include "hal/include/multiUart.h"
#include "support/childProcess.h"
#include "support/frameEncoder.h"
#include "support/ptyPair.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kTimeout = 20s;
constexpr const char* kReady = "application initialized";

// What an interactive shell leaves on a terminal: line editing, echo,
// signals, CR to NL on input, NL to CR NL on output.
termios cookTerminal(int fd) {
    termios tio{};
    EXPECT_EQ(tcgetattr(fd, &tio), 0);
    tio.c_iflag = ICRNL | IXON | BRKINT | IMAXBEL;
    tio.c_oflag = OPOST | ONLCR;
    tio.c_lflag = ICANON | ECHO | ECHOE | ECHOK | ISIG | IEXTEN | ECHOCTL | ECHOKE;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    tio.c_cc[VINTR] = 0x03;
    EXPECT_EQ(tcsetattr(fd, TCSANOW, &tio), 0);
    EXPECT_EQ(tcgetattr(fd, &tio), 0);
    return tio;
}

termios currentTerminal(int fd) {
    termios tio{};
    EXPECT_EQ(tcgetattr(fd, &tio), 0);
    return tio;
}

testing::AssertionResult sameTerminal(const termios& before, const termios& after) {
    if (before.c_iflag == after.c_iflag && before.c_oflag == after.c_oflag && before.c_cflag == after.c_cflag &&
        before.c_lflag == after.c_lflag && std::equal(std::begin(before.c_cc), std::end(before.c_cc), after.c_cc)) {
        return testing::AssertionSuccess();
    }
    char text[160];
    std::snprintf(text, sizeof text, "iflag %o -> %o, oflag %o -> %o, cflag %o -> %o, lflag %o -> %o", before.c_iflag,
                  after.c_iflag, before.c_oflag, after.c_oflag, before.c_cflag, after.c_cflag, before.c_lflag,
                  after.c_lflag);
    return testing::AssertionFailure() << "terminal settings changed: " << text;
}

int decodeStatus(int status) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? zvtest::ChildProcess::kSignalBase + WTERMSIG(status) : zvtest::ChildProcess::kTimedOut;
}

// One run of a program whose console is `console`'s slave side.
class ConsoleRun {
public:
    explicit ConsoleRun(PtyPair& console) : console_(console) {}
    ~ConsoleRun() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    ConsoleRun(const ConsoleRun&) = delete;
    ConsoleRun& operator=(const ConsoleRun&) = delete;

    // Starts `args` in a session of its own whose controlling terminal is
    // the console.
    bool spawn(const std::vector<std::string>& args) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, console_.slavePath().c_str(), O_RDWR, 0);
        posix_spawn_file_actions_adddup2(&actions, STDIN_FILENO, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, STDIN_FILENO, STDERR_FILENO);

        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (const int signo :
             {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGSEGV, SIGABRT}) {
            sigaddset(&defaults, signo);
        }
        posix_spawnattr_setsigdefault(&attr, &defaults);
        sigset_t emptyMask;
        sigemptyset(&emptyMask);
        posix_spawnattr_setsigmask(&attr, &emptyMask);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

        std::vector<char*> argv;
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        // Some endings are deadly signals: no core files from them.
        rlimit core{};
        if (getrlimit(RLIMIT_CORE, &core) == 0 && core.rlim_cur != 0) {
            core.rlim_cur = 0;
            (void)setrlimit(RLIMIT_CORE, &core);
        }
        const bool ok = posix_spawn(&pid_, args[0].c_str(), &actions, &attr, argv.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        return ok;
    }

    // Runs `body` in a forked child with the console as standard input,
    // output and error; the child ends when `body` returns.
    bool fork(const std::function<void()>& body) {
        std::fflush(nullptr);
        pid_ = ::fork();
        if (pid_ < 0) {
            return false;
        }
        if (pid_ == 0) {
            const int fd = ::open(console_.slavePath().c_str(), O_RDWR);
            if (fd < 0 || dup2(fd, STDIN_FILENO) < 0 || dup2(fd, STDOUT_FILENO) < 0 || dup2(fd, STDERR_FILENO) < 0) {
                _exit(100);
            }
            body();
            _exit(101);
        }
        return true;
    }

    // Reads the console until `text` has appeared (or the time-out).
    // Reads the console until `text` has appeared at or after `from` (or the
    // time-out).
    bool waitForOutput(const std::string& text, std::size_t from = 0) {
        const auto deadline = Clock::now() + kTimeout;
        while (output_.find(text, from) == std::string::npos && Clock::now() < deadline) {
            output_ += console_.read(50ms);
        }
        return output_.find(text, from) != std::string::npos;
    }
    // Types `keys` and waits for `reply` to appear after them.
    bool type(const std::string& keys, const std::string& reply) {
        const std::size_t from = output_.size();
        return console_.write(keys) && waitForOutput(reply, from);
    }

    // Waits for the end, reading the console meanwhile so that the program
    // never blocks on a full terminal.
    int waitExit() {
        const auto deadline = Clock::now() + kTimeout;
        int status = 0;
        while (Clock::now() < deadline) {
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                output_ += console_.read(50ms);
                return decodeStatus(status);
            }
            output_ += console_.read(10ms);
        }
        return zvtest::ChildProcess::kTimedOut;
    }

    void signal(int signo) const { ::kill(pid_, signo); }
    pid_t pid() const { return pid_; }
    const std::string& output() const { return output_; }

private:
    PtyPair& console_;
    pid_t pid_ = -1;
    std::string output_;
};

// --- the sniffer ---------------------------------------------------------------

// KEYS: typed on the console after the signal, if any; SIGNAL: sent only.
enum class Ending : U8 { KEYS, SIGNAL, BUS_HANG_UP, MISSING_PORT };

struct EndingCase {
    const char* name;
    Ending ending;
    const char* keys;
    int signo;  // sent once the console is in the program's mode; 0: none
    int status;
    const char* lastWords;  // shown on the console before the end
    int ignoredAtStart;     // the program is started with this signal ignored (nohup); 0: none
};
void PrintTo(const EndingCase& c, std::ostream* os) { *os << c.name; }

// Whether /proc says the process ignores the signal.
bool ignores(pid_t pid, int signo) {
    const std::string status = zvtest::readFile("/proc/" + std::to_string(pid) + "/status");
    const std::size_t at = status.find("SigIgn:\t");
    return at != std::string::npos && ((std::stoull(status.substr(at + 8, 16), nullptr, 16) >> (signo - 1)) & 1u) != 0;
}

class SnifferEnding : public testing::TestWithParam<EndingCase> {};

TEST_P(SnifferEnding, RestoresTheTerminal) {
    const EndingCase& c = GetParam();
    PtyPair console;
    PtyPair bus;
    ASSERT_TRUE(console.ok()) << console.error();
    ASSERT_TRUE(bus.ok()) << bus.error();
    const termios before = cookTerminal(console.slaveFd());

    const std::string port = c.ending == Ending::MISSING_PORT ? "/dev/zvMissingPort" : bus.slavePath();
    ConsoleRun run(console);
    std::vector<std::string> args{ZV_SNIFFER_BIN, port, "-b", "115200"};
    if (c.ignoredAtStart != 0) {
        args.insert(args.begin(), {"/usr/bin/env", std::string("--ignore-signal=") + sigabbrev_np(c.ignoredAtStart)});
    }
    ASSERT_TRUE(run.spawn(args));

    if (c.ending != Ending::MISSING_PORT) {
        // The port failure comes on its own; every other ending is the
        // test's move, made once the console is in the program's mode.
        ASSERT_TRUE(run.waitForOutput(kReady)) << run.output();
        const termios during = currentTerminal(console.slaveFd());
        EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u) << "console mode not entered";
        if (c.ignoredAtStart != 0) {
            EXPECT_TRUE(ignores(run.pid(), c.ignoredAtStart)) << "a signal ignored at start must stay ignored";
        }
        if (c.signo != 0) {
            run.signal(c.signo);
        }
        if (c.ending == Ending::KEYS) {
            ASSERT_TRUE(console.write(c.keys));
        } else if (c.ending == Ending::BUS_HANG_UP) {
            bus.closeMaster();
        }
    }

    EXPECT_EQ(run.waitExit(), c.status) << run.output();
    EXPECT_NE(run.output().find(c.lastWords), std::string::npos) << run.output();
    EXPECT_TRUE(sameTerminal(before, currentTerminal(console.slaveFd())));
}

constexpr int kKilledBy = zvtest::ChildProcess::kSignalBase;
// Under AddressSanitizer a SIGSEGV goes on to its report, which ends the
// process with status 1.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZV_TEST_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(ZV_TEST_UNDER_ASAN)
constexpr int kSegvStatus = 1;
#else
constexpr int kSegvStatus = kKilledBy + SIGSEGV;
#endif

// Stop requests end in order with status 0. Signals whose default action
// ends the process still do so (no orderly stop), but never leave the
// terminal raw behind them.
INSTANTIATE_TEST_SUITE_P(
    Exit, SnifferEnding,
    testing::Values(EndingCase{"Quit", Ending::KEYS, "quit\r", 0, 0, "-- Stopping --", 0},
                    EndingCase{"CtrlC", Ending::KEYS, "\x03", 0, 0, kReady, 0},
                    EndingCase{"Sigterm", Ending::SIGNAL, "", SIGTERM, 0, kReady, 0},
                    EndingCase{"Sighup", Ending::SIGNAL, "", SIGHUP, 0, kReady, 0},
                    // Nobody does job control here: the stop is discarded.
                    EndingCase{"CtrlZThenQuit", Ending::KEYS, "\x1aquit\r", 0, 0, "-- Stopping --", 0},
                    EndingCase{"SighupUnderNohup", Ending::KEYS, "quit\r", SIGHUP, 0, "-- Stopping --", SIGHUP},
                    EndingCase{"CtrlBackslash", Ending::KEYS, "\x1c", 0, kKilledBy + SIGQUIT, kReady, 0},
                    EndingCase{"Sigusr1", Ending::SIGNAL, "", SIGUSR1, kKilledBy + SIGUSR1, kReady, 0},
                    EndingCase{"Sigusr2", Ending::SIGNAL, "", SIGUSR2, kKilledBy + SIGUSR2, kReady, 0},
                    EndingCase{"Sigalrm", Ending::SIGNAL, "", SIGALRM, kKilledBy + SIGALRM, kReady, 0},
                    EndingCase{"Sigsegv", Ending::SIGNAL, "", SIGSEGV, kSegvStatus, kReady, 0},
                    EndingCase{"Sigabrt", Ending::SIGNAL, "", SIGABRT, kKilledBy + SIGABRT, kReady, 0},
                    EndingCase{"BusHangUp", Ending::BUS_HANG_UP, "", 0, 1, "cannot", 0},
                    EndingCase{"MissingPort", Ending::MISSING_PORT, "", 0, 1, "/dev/zvMissingPort", 0}),
    [](const testing::TestParamInfo<EndingCase>& info) { return std::string(info.param.name); });

// Ctrl-Z and fg under a shell with job control: after fg the console takes
// commands again and shows the line typed before the stop.
TEST(SnifferJobControl, CtrlZAndFgGiveTheConsoleBack) {
    PtyPair console;
    PtyPair bus;
    ASSERT_TRUE(console.ok()) << console.error();
    ASSERT_TRUE(bus.ok()) << bus.error();
    cookTerminal(console.slaveFd());
    ConsoleRun shell(console);
    const std::string prompt = "zvJobShell$ ";
    ASSERT_TRUE(
        shell.spawn({"/usr/bin/env", "PS1=" + prompt, "/bin/bash", "--norc", "--noprofile", "--noediting", "-ib"}));

    const std::string start = std::string(ZV_SNIFFER_BIN) + " " + bus.slavePath() + "\r";
    ASSERT_TRUE(shell.type(start, kReady)) << shell.output();
    ASSERT_TRUE(shell.type("hel", "hel")) << shell.output();
    ASSERT_TRUE(shell.type("\x1a", "Stopped")) << shell.output();
    // Continued in the background it stops again at once, as programs that
    // own the terminal do; after fg it goes on decoding without waiting for
    // a key.
    ASSERT_TRUE(shell.type("bg\r", "Stopped")) << shell.output();  // -b: the shell says so at once
    EXPECT_TRUE(shell.type("fg\r", "\r > hel")) << "line not shown again\n" << shell.output();
    const U8 getLockState[] = {0xA2};
    const std::vector<U8> poll = zvtest::encodeFrame(0, 5, getLockState);
    EXPECT_TRUE(bus.write(std::string(poll.begin(), poll.end())));
    EXPECT_TRUE(shell.type("", "MSGID_GET_LOCK_STATE")) << "decoding stopped after fg\n" << shell.output();
    EXPECT_TRUE(shell.type("p\r", " Available commands:")) << "console mode not back\n" << shell.output();
    // Typed before the sniffer has gone, `exit` would be its command.
    EXPECT_TRUE(shell.type("quit\r", "-- Stopping --\r\n\r > " + prompt)) << shell.output();
    ASSERT_TRUE(console.write("exit\r"));
    EXPECT_EQ(shell.waitExit(), 0) << shell.output();
}

// --- a fatal error -----------------------------------------------------------------

// The console driver wired as the application wires it, on the process's own
// standard input and output.
void openConsole() {
    static std::array<Char, 5000> txBuf{};
    static std::array<Char, 255> rxBuf{};
    static IcFifoInstance tx{};
    static IcFifoInstance rx{};
    icFifoInit(&tx, txBuf.data(), static_cast<IcFifoIndex>(txBuf.size()));
    icFifoInit(&rx, rxBuf.data(), static_cast<IcFifoIndex>(rxBuf.size()));
    UartInstancePtr ui = consoleNew();
    if (ui == nullptr) {
        _exit(102);
    }
    consoleOpenTx(ui, icFifoDriverPopChar, icFifoDriverCharsToPop, &tx);
    consoleOpenRx(ui, icFifoDriverPushChar, &rx);
    termios during{};
    if (tcgetattr(STDIN_FILENO, &during) != 0 || (during.c_lflag & (ICANON | ECHO)) != 0) {
        _exit(103);  // console mode not entered: the test would prove nothing
    }
    const char queued[] = "queued before the failure\n";
    icFifoPushBlock(&tx, queued, sizeof queued - 1);
}

[[noreturn]] void failFatally() { icErrorHandler("exit/terminalRestoreTest", 0, 42, "Assertion failed 'FALSE'"); }

struct FatalCase {
    const char* name;
    bool fromOtherThread;
};

// Names the case in test listings and failures.
void PrintTo(const FatalCase& c, std::ostream* os) { *os << c.name; }

class FatalError : public testing::TestWithParam<FatalCase> {};

TEST_P(FatalError, EndsWithStatus2AndRestoresTheTerminal) {
    PtyPair console;
    ASSERT_TRUE(console.ok()) << console.error();
    const termios before = cookTerminal(console.slaveFd());

    ConsoleRun run(console);
    const bool fromOtherThread = GetParam().fromOtherThread;
    ASSERT_TRUE(run.fork([fromOtherThread] {
        openConsole();
        if (fromOtherThread) {
            std::thread worker(failFatally);
            worker.join();
        } else {
            failFatally();
        }
    }));

    EXPECT_EQ(run.waitExit(), 2) << run.output();
    EXPECT_NE(run.output().find("queued before the failure"), std::string::npos) << run.output();
    EXPECT_NE(run.output().find("exit/terminalRestoreTest:42: (F) Assertion failed 'FALSE'"), std::string::npos)
        << run.output();
    EXPECT_TRUE(sameTerminal(before, currentTerminal(console.slaveFd())));
}

INSTANTIATE_TEST_SUITE_P(Exit, FatalError,
                         testing::Values(FatalCase{"OnTheMainThread", false}, FatalCase{"OnAnotherThread", true}),
                         [](const testing::TestParamInfo<FatalCase>& info) { return std::string(info.param.name); });

}  // namespace
