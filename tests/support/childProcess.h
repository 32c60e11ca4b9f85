// Runs a program as a child process for end-to-end tests: a pipe feeds its
// standard input, its standard output and standard error go to files that the
// test can read while it runs.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zvtest {

inline constexpr std::chrono::milliseconds kGenerousTimeout{10000};

// How a child finds its standard descriptors at start.
struct ChildOptions {
    // Among 0, 1, 2: left closed, as a service manager or `<&-` may do.
    std::vector<int> closedFds;
    // Standard output into a pipe that nobody reads: a screen that takes
    // nothing once the pipe's 64 KiB are full.
    bool stuckScreen = false;
};

class ChildProcess {
public:
    // Exit status values besides 0..255.
    static constexpr int kTimedOut = -1;     // still running at the deadline: killed
    static constexpr int kNotStarted = -2;   // spawn failed
    static constexpr int kSignalBase = 128;  // ended by signal n: kSignalBase + n

    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    using Options = ChildOptions;

    // args[0] is the program path and also its argv[0]. FALSE when the
    // program could not be started.
    bool start(const std::vector<std::string>& args, const Options& options = {});
    // Before start(): standard output goes to a small pipe that the test
    // empties into the stdout file at most `bytesPerRead` bytes every
    // `pause`, like a screen that takes its text slowly.
    void slowScreen(std::size_t bytesPerRead, std::chrono::milliseconds pause);
    // With slowScreen: the screen stops taking text (as after Ctrl-S) until
    // it is let go again.
    void holdScreen(bool hold);
    pid_t pid() const { return pid_; }
    // What waits in the stuck screen's pipe.
    std::size_t stuckScreenHolds() const;

    // Writes to the child's standard input (all of it, or FALSE).
    bool writeStdin(std::string_view text);
    void closeStdin();

    std::string stdoutText() const;
    std::string stderrText() const;
    // Polls until the text appears or the time-out passes.
    bool waitForStdout(std::string_view text, std::chrono::milliseconds timeout = kGenerousTimeout) const;
    bool waitForStderr(std::string_view text, std::chrono::milliseconds timeout = kGenerousTimeout) const;

    void sendSignal(int sig) const;
    // Waits for the end and returns the exit status; kills the child and
    // returns kTimedOut when it is still running at the deadline.
    int waitExit(std::chrono::milliseconds timeout = kGenerousTimeout);
    bool running() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
    int stdinFd_ = -1;
    std::string dir_;
    std::string stdoutPath_;
    std::string stderrPath_;
    int exitStatus_ = kNotStarted;
    std::size_t screenBytesPerRead_ = 0;
    std::chrono::milliseconds screenPause_{0};
    std::thread screen_;
    std::atomic<bool> screenHeld_{false};
    int stuckScreenFd_ = -1;
};

struct RunResult {
    int exitStatus;
    std::string out;
    std::string err;
};

// Starts the program, writes `input` to its standard input, closes it only
// when `closeInput` is set, and waits for the end.
RunResult runProgram(const std::vector<std::string>& args, std::string_view input = {}, bool closeInput = true,
                     std::chrono::milliseconds timeout = kGenerousTimeout);

// Polls `predicate` every few milliseconds until it holds or the time-out passes.
template <typename Predicate>
bool waitUntil(Predicate predicate, std::chrono::milliseconds timeout = kGenerousTimeout);

// A fresh directory under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    std::string path_;
};

std::string readFile(const std::string& path);

}  // namespace zvtest

template <typename Predicate>
bool zvtest::waitUntil(Predicate predicate, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (predicate()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return predicate();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
