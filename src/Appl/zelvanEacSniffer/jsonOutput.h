// The reports as JSON Lines into a file or standard output. Live, nothing
// ever waits for the reader: records are collected and written without
// blocking at most every 100 ms; a reader that falls more than a few
// megabytes behind loses records, and the next record it gets says how
// many. Decoding a file, the reader is waited for and nothing is lost.
#pragma once

#include <cstdio>
#include <string>

#include "base/hal_types.h"
#include "hal/include/icLogFile.h"
#include "output/zvEacJson.h"

class JsonOutput {
public:
    JsonOutput() = default;
    JsonOutput(const JsonOutput&) = delete;
    JsonOutput& operator=(const JsonOutput&) = delete;
    ~JsonOutput() { close(); }

    // `path` "-": standard output. `waitForReader`: decoding a file, where
    // waiting costs nothing. FALSE, with the reason, when it cannot be
    // written.
    Boolean open(const char* path, bool waitForReader, std::string& reason);
    // Writes out what is collected (waiting for the reader when it may) and
    // lets the file go.
    void close();
    Boolean active() const { return open_ ? TRUE : FALSE; }
    // The observer's record sink, with the output as `arg`.
    static void takeReport(void* arg, const ZvEacReport& report);
    // The main loop's step: writes what is due. Milliseconds until the next
    // write is due (0: now), MAX_U32 while nothing waits.
    void exe();
    U32 nextDeadline_ms() const;
    // Why writing failed, "" while it has not.
    const std::string& problem() const { return problem_; }
    const std::string& path() const { return path_; }

private:
    void append(const ZvEacReport& report);
    // Decoding a file into standard output goes through stdio, in order with
    // whatever else is printed there; everything else through file_.
    bool usesFile() const { return !(toStdout_ && waitForReader_); }
    void writeOut(bool all);

    bool open_ = false;
    bool waitForReader_ = false;
    bool toStdout_ = false;
    std::string path_;
    IcLogFile file_{};
    std::string buffer_;
    U16 bufferedSince_ = 0;
    U64 dropped_ = 0;
    std::string problem_;
};
