#include "hal/mcu/posix/icPosixTerminal.h"

#include <signal.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <thread>

namespace {

// The settings the terminal had before we changed it, and whether it has
// our mode now. consoleModeWanted stays set while the process is stopped by
// Ctrl-Z, so that continuing brings the mode back.
termios savedTerminal{};
std::atomic<bool> terminalChanged{false};
std::atomic<bool> consoleModeWanted{false};

void (*continueCallback)() = nullptr;
void (*stopCallback)(int signo) = nullptr;

// After the first stop signal the program has this long to end in order.
// Past it, whatever keeps it (a write that does not return, say), it ends as
// a second signal would end it.
constexpr auto kOrderlyStopLimit = std::chrono::milliseconds(1000);
int watchdogFd = -1;
std::atomic<int> firstStopSignal{0};

constexpr std::array<int, 3> kStopSignals{SIGINT, SIGTERM, SIGHUP};

// Default action: end the process (SIGPIPE aside, which we ignore, and the
// stop signals, which end it in order).
constexpr std::array<int, 17> kFatalSignals{SIGQUIT, SIGILL,    SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,
                                            SIGUSR1, SIGSEGV,   SIGUSR2, SIGALRM, SIGSTKFLT, SIGXCPU,
                                            SIGXFSZ, SIGVTALRM, SIGPROF, SIGPOLL, SIGSYS};

// What each signal did before we took it over: the default action, or
// whatever a sanitizer put there. Indexed by signal number.
std::array<struct sigaction, _NSIG> dispositionAtStart{};
struct sigaction terminalStopAction {};

// A handler for a crash from running out of stack needs a stack of its own.
alignas(16) std::array<char, std::size_t{64} * 1024> alternateStack{};

// A process in the background that changes the terminal is stopped for it.
bool inForeground() { return tcgetpgrp(STDIN_FILENO) == getpgrp(); }

// Async-signal-safe, as everything the handlers below call.
void applyConsoleMode() {
    termios tio{};
    if (tcgetattr(STDIN_FILENO, &tio) != 0) {
        return;
    }
    if (!terminalChanged.load()) {
        savedTerminal = tio;
    }
    tio.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL);
    tio.c_lflag |= ISIG;
    tio.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    terminalChanged = tcsetattr(STDIN_FILENO, TCSANOW, &tio) == 0 || terminalChanged.load();
}

void giveTerminalBack() {
    if (terminalChanged.exchange(false)) {
        (void)tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    }
}

extern "C" void onStop(int signo) {
    const int savedErrno = errno;
    int none = 0;
    if (firstStopSignal.compare_exchange_strong(none, signo) && watchdogFd >= 0) {
        const std::uint64_t one = 1;
        (void)!write(watchdogFd, &one, sizeof one);
    }
    errno = savedErrno;
    stopCallback(signo);
}

// Sleeps until the first stop signal, gives the orderly stop its time, then
// ends the process with that signal's default action. Runs with every signal
// blocked, so the signal goes to a thread that takes it.
void watchdog() {
    std::uint64_t count = 0;
    while (read(watchdogFd, &count, sizeof count) < 0 && errno == EINTR) {
    }
    std::this_thread::sleep_for(kOrderlyStopLimit);
    const int signo = firstStopSignal.load();
    icPosixTerminalRestore();
    (void)signal(signo, SIG_DFL);
    (void)kill(getpid(), signo);
}

void startWatchdog() {
    watchdogFd = eventfd(0, EFD_CLOEXEC);
    if (watchdogFd < 0) {
        return;
    }
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    (void)pthread_sigmask(SIG_SETMASK, &all, &previous);
    std::thread(watchdog).detach();
    (void)pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

bool isFault(int signo) { return signo == SIGSEGV || signo == SIGBUS || signo == SIGFPE || signo == SIGILL; }

// Puts the terminal back, then lets the signal act as it would have without
// us. A fault (SIGSEGV from a bug, say) happens again when the handler
// returns, with its own details; anything else is raised again.
extern "C" void onFatalSignal(int signo, siginfo_t* info, void*) {
    const int savedErrno = errno;
    icPosixTerminalRestore();
    (void)sigaction(signo, &dispositionAtStart[static_cast<std::size_t>(signo)], nullptr);
    if (!isFault(signo) || info == nullptr || info->si_code <= 0) {
        (void)raise(signo);
    }
    errno = savedErrno;
}

// Ctrl-Z: the terminal goes back to the shell as it was, then the process
// stops with the default action. It goes on from the raise() when continued.
extern "C" void onTerminalStop(int signo) {
    const int savedErrno = errno;
    if (inForeground()) {
        giveTerminalBack();
    }
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    (void)sigaction(signo, &defaultAction, nullptr);
    sigset_t self;
    sigemptyset(&self);
    sigaddset(&self, signo);
    (void)pthread_sigmask(SIG_UNBLOCK, &self, nullptr);
    (void)raise(signo);
    (void)sigaction(signo, &terminalStopAction, nullptr);
    // Without a shell that does job control the stop is discarded, and the
    // program goes on at once: it needs its mode back as after a continue.
    if (consoleModeWanted.load() && inForeground()) {
        applyConsoleMode();
    }
    errno = savedErrno;
}

// Continued (fg, or SIGCONT after any stop): the shell has set the terminal
// up for itself meanwhile. Continued in the background (bg), the process
// stops again right here, as programs that own the terminal do: changing its
// mode from the background raises SIGTTOU. The next fg goes on from here.
extern "C" void onContinue(int) {
    const int savedErrno = errno;
    if (consoleModeWanted.load()) {
        applyConsoleMode();
    }
    if (continueCallback != nullptr) {
        continueCallback();
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

void install(int signo, const struct sigaction& action) {
    if (!ignoredAtStart(signo)) {
        (void)sigaction(signo, &action, nullptr);
    }
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
    for (const int signo : kFatalSignals) {
        install(signo, sa);
    }
    for (int signo = SIGRTMIN; signo <= SIGRTMAX; ++signo) {
        install(signo, sa);
    }
}

void installJobControlHandlers() {
    terminalStopAction.sa_handler = onTerminalStop;
    terminalStopAction.sa_flags = SA_RESTART;
    sigemptyset(&terminalStopAction.sa_mask);
    install(SIGTSTP, terminalStopAction);

    struct sigaction sa {};
    sa.sa_handler = onContinue;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    install(SIGCONT, sa);
}

}  // namespace

void icPosixTerminalEnter() {
    if (terminalChanged.load() || isatty(STDIN_FILENO) == 0) {
        return;
    }
    consoleModeWanted = true;
    applyConsoleMode();
}

void icPosixTerminalRestore() {
    consoleModeWanted = false;
    giveTerminalBack();
}

void icPosixSignalsInstall(void (*onStopCallback)(int signo), void (*onContinueCallback)()) {
    static std::atomic<bool> installed{false};
    if (installed.exchange(true)) {
        return;
    }
    continueCallback = onContinueCallback;
    stopCallback = onStopCallback;
    startWatchdog();
    struct sigaction sa {};
    sa.sa_handler = ::onStop;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    for (const int signo : kStopSignals) {
        sigaddset(&sa.sa_mask, signo);
    }
    for (const int signo : kStopSignals) {
        install(signo, sa);
    }
    // A reader of our standard output that went away must not end us.
    (void)signal(SIGPIPE, SIG_IGN);
    installFatalHandlers();
    installJobControlHandlers();
}
