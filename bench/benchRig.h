// Pieces shared by the benchmark program's modes: bus byte streams and their
// frames, a pseudo-terminal that plays the serial line, the reader program
// under measurement as a child process, and its CPU and memory figures from
// /proc.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/hal_types.h"
#include "eac/zelvan/zvEacNetwork.h"

namespace bench {

// One frame of a byte stream, as the project's own receiver cuts it.
struct StreamFrame {
    std::size_t etxOffset = 0;  // position of the frame's ETX in the stream
    ZvEacNwkAddr source = 0;
    ZvEacNwkAddr destination = 0;
    std::vector<U8> telegram;  // empty for a frame without data
};

std::optional<std::vector<U8>> readFile(const std::string& path);
bool writeFile(const std::string& path, const std::vector<U8>& bytes);

// The frames in `bytes`, found by the frame receiver with the clock held
// still (so no receive time-out can cut a frame while indexing).
std::vector<StreamFrame> indexFrames(const std::vector<U8>& bytes);

// A stream of `frames` frames for when no recorded stream is given: a master
// polling eight devices that answer with telegrams of typical sizes, encoded
// by the project's frame encoder (escapes included).
std::vector<U8> builtinStream(std::size_t frames);

// The stream named by `path`, or the built-in one when `path` is empty.
std::vector<U8> loadStreamOrBuiltin(const std::string& path, std::size_t builtinFrames);

double monotonicSeconds();

// CPU time of all threads of a process and its memory, from /proc.
struct ProcSample {
    bool valid = false;
    double cpuSeconds = 0.0;   // from the threads' schedstat (ns), else stat ticks
    long contextSwitches = 0;  // voluntary and involuntary, all threads
    long rssKb = 0;
    long hwmKb = 0;  // peak resident size
    struct Thread {
        long tid = 0;
        double cpuSeconds = 0.0;
        long contextSwitches = 0;
    };
    std::vector<Thread> threads;
};
ProcSample sampleProcess(pid_t pid);

// The master side of a pseudo-terminal; readers open slavePath().
class PtyLine {
public:
    PtyLine();
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    bool ok() const { return masterFd_ >= 0; }
    const std::string& slavePath() const { return slavePath_; }
    int masterFd() const { return masterFd_; }

    // TRUE once some process holds the slave side open.
    bool readerAttached() const;
    // Writes everything; waits while the line is full. FALSE on an error.
    bool writeAll(const U8* data, std::size_t len);
    // Discards whatever the reader wrote back into the line.
    void discardInput();

private:
    int masterFd_ = -1;
    std::string slavePath_;
};

// The program under measurement. "{pty}" in its arguments is replaced by the
// line's device path. Its standard input is a pipe the rig writes console
// commands into; its standard output goes to a file, or to a pipe the rig
// reads (outputFd()). With kTerminal for the file, all three are a terminal
// of 120 x 40 (a pseudo-terminal the rig types into and empties on a thread
// of its own, as a terminal window would, outside the measured process).
class ReaderProcess {
public:
    ReaderProcess() = default;
    ~ReaderProcess();
    ReaderProcess(const ReaderProcess&) = delete;
    ReaderProcess& operator=(const ReaderProcess&) = delete;

    static constexpr const char* kTerminal = "tty";
    // outFile empty: standard output into a pipe.
    bool start(const std::vector<std::string>& argv, const std::string& ptyPath, const std::string& outFile);
    pid_t pid() const { return pid_; }
    int outputFd() const { return outReadFd_; }
    bool sendText(const std::string& text);
    // `quitText` (when not empty) on standard input, then SIGTERM, then
    // SIGKILL, each after a grace time. Returns the exit status, -1 if killed.
    int stop(const std::string& quitText, double graceSeconds);
    bool running();

private:
    bool startOnTerminal(std::vector<char*>& cargs);
    pid_t pid_ = -1;
    int stdinFd_ = -1;
    std::thread drain_;
    int terminalHold_ = -1;  // keeps the terminal open until the drain may end
    int outReadFd_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

// "\n" and "\t" in command-line texts.
std::string unescape(const std::string& text);

}  // namespace bench
