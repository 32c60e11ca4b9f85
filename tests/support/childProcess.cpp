#include "support/childProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace zvtest {

namespace {

std::string makeTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zvTestXXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return {};
    }
    return pattern;
}

int decodeStatus(int status) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        return ChildProcess::kSignalBase + WTERMSIG(status);
    }
    return ChildProcess::kTimedOut;
}

}  // namespace

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

TempDir::TempDir() : path_(makeTempDir()) {}

TempDir::~TempDir() {
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

ChildProcess::~ChildProcess() {
    closeStdin();
    screenHeld_ = false;
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    if (screen_.joinable()) {
        screen_.join();
    }
    if (stuckScreenFd_ >= 0) {
        ::close(stuckScreenFd_);
    }
    if (!dir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
}

bool ChildProcess::start(const std::vector<std::string>& args, const Options& options) {
    if (args.empty() || pid_ > 0) {
        return false;
    }
    dir_ = makeTempDir();
    if (dir_.empty()) {
        return false;
    }
    stdoutPath_ = dir_ + "/stdout";
    stderrPath_ = dir_ + "/stderr";

    int stdinPipe[2] = {-1, -1};
    if (::pipe2(stdinPipe, O_CLOEXEC) != 0) {
        return false;
    }
    int outFd = ::open(stdoutPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int screenPipe[2] = {-1, -1};
    if (options.stuckScreen && outFd >= 0 && ::pipe2(screenPipe, O_CLOEXEC) == 0) {
        ::close(outFd);
        outFd = screenPipe[1];
        stuckScreenFd_ = screenPipe[0];
    } else if (screenBytesPerRead_ > 0 && outFd >= 0 && ::pipe2(screenPipe, O_CLOEXEC) == 0) {
        (void)::fcntl(screenPipe[1], F_SETPIPE_SZ, 4096);
        const int file = outFd;
        outFd = screenPipe[1];
        screen_ = std::thread(
            [file, pipeEnd = screenPipe[0], chunk = screenBytesPerRead_, pause = screenPause_, held = &screenHeld_] {
                std::vector<char> buf(chunk);
                ssize_t n = 0;
                while ((n = ::read(pipeEnd, buf.data(), buf.size())) > 0 || (n < 0 && errno == EINTR)) {
                    while (held->load()) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    }
                    if (n > 0 && ::write(file, buf.data(), static_cast<std::size_t>(n)) != n) {
                        break;
                    }
                    std::this_thread::sleep_for(pause);
                }
                ::close(pipeEnd);
                ::close(file);
            });
    }
    const int errFd = ::open(stderrPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, stdinPipe[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    for (const int fd : options.closedFds) {
        posix_spawn_file_actions_addclose(&actions, fd);
    }

    // The test program ignores SIGPIPE (writes to a child that has ended);
    // the child gets the default dispositions and an empty signal mask.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGHUP);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    sigset_t emptyMask;
    sigemptyset(&emptyMask);
    posix_spawnattr_setsigmask(&attr, &emptyMask);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    pid_t pid = -1;
    const bool ok =
        outFd >= 0 && errFd >= 0 && posix_spawn(&pid, args[0].c_str(), &actions, &attr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(stdinPipe[0]);
    if (outFd >= 0) {
        ::close(outFd);
    }
    if (errFd >= 0) {
        ::close(errFd);
    }
    if (!ok) {
        ::close(stdinPipe[1]);
        return false;
    }
    ::signal(SIGPIPE, SIG_IGN);
    pid_ = pid;
    stdinFd_ = stdinPipe[1];
    return true;
}

bool ChildProcess::writeStdin(std::string_view text) {
    while (!text.empty()) {
        if (stdinFd_ < 0) {
            return false;
        }
        const ssize_t n = ::write(stdinFd_, text.data(), text.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void ChildProcess::closeStdin() {
    if (stdinFd_ >= 0) {
        ::close(stdinFd_);
        stdinFd_ = -1;
    }
}

void ChildProcess::slowScreen(std::size_t bytesPerRead, std::chrono::milliseconds pause) {
    screenBytesPerRead_ = bytesPerRead;
    screenPause_ = pause;
}

void ChildProcess::holdScreen(bool hold) { screenHeld_ = hold; }

std::string ChildProcess::stdoutText() const { return stdoutPath_.empty() ? std::string() : readFile(stdoutPath_); }

std::string ChildProcess::stderrText() const { return stderrPath_.empty() ? std::string() : readFile(stderrPath_); }

bool ChildProcess::waitForStdout(std::string_view text, std::chrono::milliseconds timeout) const {
    return waitUntil([&] { return stdoutText().find(text) != std::string::npos; }, timeout);
}

bool ChildProcess::waitForStderr(std::string_view text, std::chrono::milliseconds timeout) const {
    return waitUntil([&] { return stderrText().find(text) != std::string::npos; }, timeout);
}

void ChildProcess::sendSignal(int sig) const {
    if (pid_ > 0) {
        ::kill(pid_, sig);
    }
}

int ChildProcess::waitExit(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) {
        return exitStatus_;
    }
    int status = 0;
    bool reaped = false;
    const bool ended = waitUntil(
        [&] {
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            reaped = r == pid_;
            return reaped || (r < 0 && errno != EINTR);
        },
        timeout);
    if (ended) {
        exitStatus_ = reaped ? decodeStatus(status) : kNotStarted;
    } else {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        exitStatus_ = kTimedOut;
    }
    pid_ = -1;
    closeStdin();
    screenHeld_ = false;
    if (screen_.joinable()) {
        screen_.join();  // the program's end closed the pipe
    }
    if (stuckScreenFd_ >= 0) {
        ::close(stuckScreenFd_);
        stuckScreenFd_ = -1;
    }
    return exitStatus_;
}

std::size_t ChildProcess::stuckScreenHolds() const {
    int held = 0;
    return stuckScreenFd_ >= 0 && ::ioctl(stuckScreenFd_, FIONREAD, &held) == 0 ? static_cast<std::size_t>(held) : 0;
}

RunResult runProgram(const std::vector<std::string>& args, std::string_view input, bool closeInput,
                     std::chrono::milliseconds timeout) {
    ChildProcess child;
    if (!child.start(args)) {
        return {ChildProcess::kNotStarted, {}, {}};
    }
    child.writeStdin(input);
    if (closeInput) {
        child.closeStdin();
    }
    const int status = child.waitExit(timeout);
    return {status, child.stdoutText(), child.stderrText()};
}

}  // namespace zvtest
