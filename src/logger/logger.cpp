#include "logger/logger.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Shell/shell.h"
#include "base/icError.h"
#include "hal/include/icLocalTime.h"
#include "hal/include/icLogFile.h"
#include "hal/include/icOutputGuard.h"
#include "timer/icTimer.h"

namespace {

constexpr std::size_t LOGGER_MSG_LEN = 300;
constexpr std::size_t LOGGER_FILE_NAME_LEN = 100;
// Binary: the same bytes on every platform (no CR added before LF on Windows).
constexpr const char* LOGGER_FILE_MODE = "a+b";
// Opening, writing and closing the file for every piece of text cost more
// than the decoding at full line load; the text is collected here instead.
// It also holds what a file that lags (a pipe) has not taken yet: a second or
// more of the busiest output.
constexpr std::size_t LOGGER_FILE_BUFFER_LEN = 65536;
constexpr U16 LOGGER_FLUSH_AFTER_MS = 100;

U8 outputVerbosity = VERB_CLEARTEXT;
Boolean bLogToFile = FALSE;
// Nothing switches the console off; kept so the guard reads as intended.
Boolean bLogToShell = TRUE;
std::string sFileName;
// Why the log file last failed, since it was switched on ("" while it works).
std::string fileProblem;

LoggerTimeSource timeSource = nullptr;
void* timeSourceArg = nullptr;

LoggerSink sink = nullptr;
void* sinkArg = nullptr;

// A failing log file would otherwise say so once per message; one line is
// enough until the file works again.
Boolean writeFailureReported = FALSE;

char fileBuffer[LOGGER_FILE_BUFFER_LEN];
std::size_t fileBuffered = 0;
IcTimerTick bufferedSince = 0;
Boolean flushOnExitSet = FALSE;
// The last text that went into the buffer ended a line.
bool fileAtLineStart = true;

// The file took nothing for so long that the buffer filled up: text is
// dropped (and counted) until everything buffered has gone out.
bool dropping = false;
U64 droppedBytes = 0;

extern "C" void flushAtExit() { loggerFlush(); }

enum class LogFileOpen : U8 { OPENED, FAILED, REFUSED };
LogFileOpen openLogFile(const char* filename, std::string& reason);

void reportWriteFailure(const char* reason) {
    if (fileProblem.empty()) {
        fileProblem = reason;
    }
    if (writeFailureReported == TRUE) {
        return;
    }
    writeFailureReported = TRUE;
    shellApi->printf(shellApi->sh, "Could not write to log file %s: %s\n", sFileName.c_str(), reason);
}

void appendToBuffer(const char* str, std::size_t len) {
    if (fileBuffered == 0) {
        bufferedSince = icTimerGetRunningTimer_ms();
    }
    std::memcpy(fileBuffer + fileBuffered, str, len);
    fileBuffered += len;
    fileAtLineStart = str[len - 1] == '\n';
}

void startDropping(std::size_t len) {
    dropping = true;
    droppedBytes = len;
    if (writeFailureReported == FALSE) {
        writeFailureReported = TRUE;
        shellApi->printf(shellApi->sh,
                         "Could not write to log file %s: it does not keep up; log text is dropped until it does\n",
                         sFileName.c_str());
    }
}

// Everything buffered went out: the gap is marked where it is, in the file
// and on the console.
void endDropping() {
    char line[112];
    const int n =
        std::snprintf(line, sizeof line, "%s-- %llu bytes of log text dropped: the log file did not keep up --\n",
                      fileAtLineStart ? "" : "\n", static_cast<unsigned long long>(droppedBytes));
    dropping = false;
    droppedBytes = 0;
    writeFailureReported = FALSE;
    shellApi->printf(shellApi->sh, "\r%s", line + (fileAtLineStart ? 0 : 1));
    if (n > 0 && static_cast<std::size_t>(n) < sizeof line) {
        appendToBuffer(line, static_cast<std::size_t>(n));
    }
}

// Writes out what the file takes now, never waiting for it. The file is
// opened for every flush, so a log file that is deleted or moved while
// logging is on is created anew by the next one. Text for a file that cannot
// be written is lost, and said so once; what a lagging file did not take yet
// stays for the next flush.
void writeBuffered() {
    if (fileBuffered == 0) {
        return;
    }
    IcLogFile file;
    int error = 0;
    std::size_t written = 0;
    // Checked at every opening: the name may have come to stand for another
    // file since logging was switched on.
    std::string refused;
    if (icOutputGuardCheck(sFileName.c_str(), IC_OUTPUT_LOG, refused) != FALSE &&
        icLogFileOpen(sFileName.c_str(), &file, &error) != FALSE) {
        if (icOutputGuardClaim(file.os, sFileName.c_str(), IC_OUTPUT_LOG, refused) != FALSE) {
            written = icLogFileWrite(file, fileBuffer, fileBuffered, &error);
        }
        // A full disk often shows only at close.
        int closeError = 0;
        if (icLogFileClose(&file, &closeError) == FALSE && error == 0) {
            error = closeError;
        }
    }
    if (!refused.empty() || error != 0) {
        fileBuffered = 0;
        reportWriteFailure(!refused.empty() ? refused.c_str() : std::strerror(error));
    } else if (written < fileBuffered) {
        std::memmove(fileBuffer, fileBuffer + written, fileBuffered - written);
        fileBuffered -= written;
        bufferedSince = icTimerGetRunningTimer_ms();  // tried again when next due
    } else {
        fileBuffered = 0;
        if (!dropping) {
            writeFailureReported = FALSE;
        }
    }
    if (dropping && fileBuffered == 0) {
        endDropping();
    }
}

// What did not reach the file it was printed for is not written to another.
void discardUnwritten() {
    fileBuffered = 0;
    dropping = false;
    droppedBytes = 0;
    fileAtLineStart = true;
}

void loggerPrintToFile(const char* str, std::size_t len) {
    if (bLogToFile == FALSE || len == 0) {
        return;
    }
    if (dropping) {
        droppedBytes += len;
        return;
    }
    if (len > sizeof fileBuffer - fileBuffered) {
        writeBuffered();
    }
    if (len > sizeof fileBuffer - fileBuffered) {
        startDropping(len);
        return;
    }
    appendToBuffer(str, len);
}

// The `atoi` reading of the switch word: leading decimal digits, the rest
// ignored. Saturates instead of overflowing on a long run of digits.
long leadingNumber(const char* text) {
    long value = 0;
    for (const char* p = text; *p >= '0' && *p <= '9'; ++p) {
        if (value <= 1) {
            value = value * 10 + (*p - '0');
        }
    }
    return value;
}

}  // namespace

void loggerSetVerbosity(U8 verbosity) { outputVerbosity = verbosity; }

U8 loggerGetVerbosity() { return outputVerbosity; }

void loggerPrintf(const char* format, ...) {
    if (bLogToFile == FALSE && bLogToShell == FALSE) {
        return;
    }
    char buffer[LOGGER_MSG_LEN];
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (written < 0) {
        return;
    }
    const std::size_t len =
        static_cast<std::size_t>(written) < sizeof buffer ? static_cast<std::size_t>(written) : sizeof buffer - 1;

    if (bLogToShell == TRUE) {
        if (sink != nullptr) {
            sink(sinkArg, buffer);
        } else {
            shellApi->puts(shellApi->sh, buffer);
        }
    }
    loggerPrintToFile(buffer, len);
}

void loggerSetScreenOutput(Boolean on) { bLogToShell = on; }

U64 loggerReportInstant_us() {
    U64 wall_us = 0;
    if (timeSource != nullptr && timeSource(timeSourceArg, &wall_us) != FALSE) {
        return wall_us;
    }
    return icWallClockNow_us();
}

void loggerPrintTimestamp() {
    if (bLogToFile == FALSE && bLogToShell == FALSE) {
        return;
    }
    IcLocalTime now{};
    U64 wall_us = 0;
    if (timeSource != nullptr && timeSource(timeSourceArg, &wall_us) != FALSE) {
        icLocalTimeAt(wall_us, &now);
    } else {
        icLocalTimeGet(&now);
    }
    loggerPrintf("\r (%04d-%02d-%02d %02d:%02d:%02d.%03d) ", now.year, now.month, now.day, now.hour, now.minute,
                 now.second, now.milliseconds);
}

Boolean loggerEnableLogToFile(const char* filename) {
    if (filename == nullptr) {
        return FALSE;
    }
    // A shortened name would send the log to a file the operator never named.
    if (std::strlen(filename) >= LOGGER_FILE_NAME_LEN) {
        shellApi->printf(shellApi->sh, "File name too long (at most %d characters): %s\n",
                         static_cast<int>(LOGGER_FILE_NAME_LEN - 1), filename);
        return FALSE;
    }
    std::string reason;
    switch (openLogFile(filename, reason)) {
        case LogFileOpen::OPENED:
            return TRUE;
        case LogFileOpen::FAILED:
            shellApi->printf(shellApi->sh, "Could not open file: %s\n", filename);
            return FALSE;
        case LogFileOpen::REFUSED:
            shellApi->printf(shellApi->sh, "Could not open file: %s: %s\n", filename, reason.c_str());
            return FALSE;
    }
    return FALSE;
}

Boolean loggerOpenLogFile(const char* filename, std::string& reason) {
    return openLogFile(filename, reason) == LogFileOpen::OPENED ? TRUE : FALSE;
}

namespace {

LogFileOpen openLogFile(const char* filename, std::string& reason) {
    if (filename == nullptr || filename[0] == '\0') {
        reason = "no file name";
        return LogFileOpen::REFUSED;
    }
    if (icOutputGuardCheck(filename, IC_OUTPUT_LOG, reason) == FALSE) {
        return LogFileOpen::REFUSED;
    }
    std::FILE* file = std::fopen(filename, LOGGER_FILE_MODE);
    if (file == nullptr) {
        reason = std::strerror(errno);
        return LogFileOpen::FAILED;
    }
    if (icOutputGuardClaim(icOutputStreamOs(file), filename, IC_OUTPUT_LOG, reason) == FALSE) {
        (void)std::fclose(file);  // nothing written
        return LogFileOpen::REFUSED;
    }
    (void)std::fclose(file);  // nothing written: nothing to lose
    // What was printed so far belongs to the file it was printed for.
    loggerFlush();
    discardUnwritten();
    if (flushOnExitSet == FALSE) {
        flushOnExitSet = TRUE;
        icErrorAddExitHook(loggerFlush);
        (void)std::atexit(flushAtExit);
    }
    bLogToFile = TRUE;
    sFileName = filename;
    fileProblem.clear();
    return LogFileOpen::OPENED;
}

}  // namespace

void loggerDisableLogToFile() {
    loggerFlush();
    discardUnwritten();
    bLogToFile = FALSE;
    icOutputGuardRelease(IC_OUTPUT_LOG);
}

const char* loggerFileProblem() { return fileProblem.c_str(); }

Boolean loggerLogsToFile() { return bLogToFile; }

Boolean loggerLogToFileCmd(U8 argc, char** argv) {
    if (argc <= 1 || argv == nullptr || argv[1] == nullptr) {
        return FALSE;
    }
    if (argv[1][0] != '0' && argv[1][0] != '1') {
        return FALSE;
    }
    const long value = leadingNumber(argv[1]);
    if (value > 1) {
        return FALSE;
    }
    if (value == 1) {
        if (argc <= 2 || argv[2] == nullptr) {
            return FALSE;
        }
        return loggerEnableLogToFile(argv[2]);
    }
    loggerDisableLogToFile();
    return TRUE;
}

void loggerSetTimeSource(LoggerTimeSource source, void* arg) {
    timeSource = source;
    timeSourceArg = arg;
}

void loggerFlush() {
    const bool wasDropping = dropping;
    writeBuffered();
    if (wasDropping && !dropping) {
        writeBuffered();  // the line that marks the gap
    }
}

void loggerExe() {
    if (loggerNextDeadline_ms() == 0) {
        loggerFlush();
    }
}

U32 loggerNextDeadline_ms() {
    if (fileBuffered == 0) {
        return MAX_U32;
    }
    const auto age = static_cast<IcTimerTick>(icTimerGetRunningTimer_ms() - bufferedSince);
    return age >= LOGGER_FLUSH_AFTER_MS ? 0U : static_cast<U32>(LOGGER_FLUSH_AFTER_MS - age);
}

void loggerSetSink(LoggerSink newSink, void* arg) {
    sink = newSink;
    sinkArg = arg;
}
