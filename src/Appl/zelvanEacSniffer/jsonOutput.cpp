#include "Appl/zelvanEacSniffer/jsonOutput.h"

#include <cerrno>
#include <cstring>

#include "hal/include/icOutputGuard.h"
#include "logger/logger.h"
#include "timer/icTimer.h"

namespace {

constexpr U16 kWriteAfter_ms = 100;
// A second or more of the busiest line as records.
constexpr std::size_t kBufferLimit = std::size_t{4} * 1024 * 1024;

}  // namespace

Boolean JsonOutput::open(const char* path, bool waitForReader, std::string& reason) {
    close();
    toStdout_ = std::strcmp(path, "-") == 0;
    waitForReader_ = waitForReader;
    if (toStdout_ && !waitForReader_) {
        // Live, a reader that stalls must not hold the loop: a descriptor of
        // its own that never waits.
        int error = 0;
        if (icLogFileOpenStandardOutput(&file_, &error) == FALSE) {
            reason = std::strerror(error);
            return FALSE;
        }
    } else if (!toStdout_) {
        if (icOutputGuardCheck(path, IC_OUTPUT_JSON, reason) == FALSE) {
            return FALSE;
        }
        int error = 0;
        if (icLogFileOpen(path, &file_, &error) == FALSE) {
            reason = std::strerror(error);
            return FALSE;
        }
        if (icOutputGuardClaim(file_.os, path, IC_OUTPUT_JSON, reason) == FALSE) {
            (void)icLogFileClose(&file_, &error);  // nothing written
            return FALSE;
        }
    }
    path_ = path;
    open_ = true;
    dropped_ = 0;
    problem_.clear();
    buffer_.clear();
    return TRUE;
}

void JsonOutput::close() {
    if (!open_) {
        return;
    }
    writeOut(true);
    if (usesFile()) {
        int error = 0;
        if (icLogFileClose(&file_, &error) == FALSE && problem_.empty()) {
            problem_ = std::strerror(error);
        }
    }
    if (!toStdout_) {
        icOutputGuardRelease(IC_OUTPUT_JSON);
    }
    open_ = false;
}

void JsonOutput::takeReport(void* arg, const ZvEacReport& report) { static_cast<JsonOutput*>(arg)->append(report); }

void JsonOutput::append(const ZvEacReport& report) {
    if (!open_) {
        return;
    }
    if (buffer_.empty()) {
        bufferedSince_ = icTimerGetRunningTimer_ms();
    }
    if (!waitForReader_ && buffer_.size() >= kBufferLimit) {
        ++dropped_;
        return;
    }
    if (dropped_ != 0) {
        // Where the gap is, before the first record after it.
        ZvEacReport gap;
        gap.kind = ZvEacReportKind::RECORDS_DROPPED;
        gap.wall_us = report.wall_us;
        gap.droppedRecords = dropped_;
        dropped_ = 0;
        zvEacJsonAppend(gap, buffer_);
    }
    zvEacJsonAppend(report, buffer_);
    if (waitForReader_ && buffer_.size() >= kBufferLimit) {
        writeOut(true);
    }
}

void JsonOutput::writeOut(bool all) {
    if (buffer_.empty()) {
        return;
    }
    if (!usesFile()) {
        if (std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) != buffer_.size() || std::fflush(stdout) != 0) {
            if (problem_.empty()) {
                problem_ = std::strerror(errno != 0 ? errno : EIO);
            }
        }
        buffer_.clear();
        return;
    }
    std::size_t done = 0;
    int error = 0;
    do {
        done += icLogFileWrite(file_, buffer_.data() + done, buffer_.size() - done, &error);
    } while (all && waitForReader_ && error == 0 && done < buffer_.size());
    if (error != 0) {
        if (problem_.empty()) {
            problem_ = std::strerror(error);
            loggerPrintf("Could not write JSON records to %s: %s\n", path_.c_str(), problem_.c_str());
        }
        buffer_.clear();
        return;
    }
    buffer_.erase(0, done);
    bufferedSince_ = icTimerGetRunningTimer_ms();
}

void JsonOutput::exe() {
    if (open_ && nextDeadline_ms() == 0) {
        writeOut(false);
    }
}

U32 JsonOutput::nextDeadline_ms() const {
    if (!open_ || buffer_.empty()) {
        return MAX_U32;
    }
    const auto age = static_cast<U16>(icTimerGetRunningTimer_ms() - bufferedSince_);
    return age >= kWriteAfter_ms ? 0U : static_cast<U32>(kWriteAfter_ms - age);
}
