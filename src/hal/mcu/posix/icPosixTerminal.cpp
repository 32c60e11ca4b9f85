#include "hal/mcu/posix/icPosixTerminal.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <initializer_list>

namespace {

termios savedTerminal{};
std::atomic<bool> terminalChanged{false};

constexpr std::array<int, 3> kStopSignals{SIGINT, SIGTERM, SIGHUP};

// Default action: end the process (SIGPIPE aside, which we ignore, and the
// stop signals, which end it in order).
constexpr std::array<int, 17> kFatalSignals{SIGQUIT, SIGILL,    SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,
                                            SIGUSR1, SIGSEGV,   SIGUSR2, SIGALRM, SIGSTKFLT, SIGXCPU,
                                            SIGXFSZ, SIGVTALRM, SIGPROF, SIGPOLL, SIGSYS};

// What each signal did before we took it over: the default action, or
// whatever a sanitizer put there. Indexed by signal number.
std::array<struct sigaction, _NSIG> dispositionAtStart{};

// A handler for a crash from running out of stack needs a stack of its own.
alignas(16) std::array<char, 64 * 1024> alternateStack{};

bool isFault(int signo) { return signo == SIGSEGV || signo == SIGBUS || signo == SIGFPE || signo == SIGILL; }

// Async-signal-safe: puts the terminal back, then lets the signal act as it
// would have without us. A fault (SIGSEGV from a bug, say) happens again when
// the handler returns, with its own details; anything else is raised again.
extern "C" void onFatalSignal(int signo, siginfo_t* info, void*) {
    const int savedErrno = errno;
    icPosixTerminalRestore();
    (void)sigaction(signo, &dispositionAtStart[static_cast<std::size_t>(signo)], nullptr);
    if (!isFault(signo) || info == nullptr || info->si_code <= 0) {
        (void)raise(signo);
    }
    errno = savedErrno;
}

bool ignoredAtStart(int signo) {
    struct sigaction current {};
    if (sigaction(signo, nullptr, &current) != 0) {
        return true;  // not a signal we may touch
    }
    dispositionAtStart[static_cast<std::size_t>(signo)] = current;
    return (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_IGN;
}

void installFatalHandlers() {
    stack_t stack{};
    stack.ss_sp = alternateStack.data();
    stack.ss_size = alternateStack.size();
    (void)sigaltstack(&stack, nullptr);

    struct sigaction sa {};
    sa.sa_sigaction = onFatalSignal;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    auto install = [&sa](int signo) {
        if (!ignoredAtStart(signo)) {
            (void)sigaction(signo, &sa, nullptr);
        }
    };
    for (const int signo : kFatalSignals) {
        install(signo);
    }
    for (int signo = SIGRTMIN; signo <= SIGRTMAX; ++signo) {
        install(signo);
    }
}

}  // namespace

void icPosixTerminalEnter() {
    if (terminalChanged.load() || isatty(STDIN_FILENO) == 0) {
        return;
    }
    termios tio{};
    if (tcgetattr(STDIN_FILENO, &tio) != 0) {
        return;
    }
    savedTerminal = tio;
    tio.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL);
    tio.c_lflag |= ISIG;
    tio.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    terminalChanged = true;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &tio) != 0) {
        terminalChanged = false;
    }
}

void icPosixTerminalRestore() {
    if (terminalChanged.exchange(false)) {
        (void)tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    }
}

void icPosixSignalsInstall(void (*onStop)(int signo)) {
    static std::atomic<bool> installed{false};
    if (installed.exchange(true)) {
        return;
    }
    struct sigaction sa {};
    sa.sa_handler = onStop;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    for (const int signo : kStopSignals) {
        sigaddset(&sa.sa_mask, signo);
    }
    for (const int signo : kStopSignals) {
        if (!ignoredAtStart(signo)) {
            (void)sigaction(signo, &sa, nullptr);
        }
    }
    // A reader of our standard output that went away must not end us.
    (void)signal(SIGPIPE, SIG_IGN);
    installFatalHandlers();
}
