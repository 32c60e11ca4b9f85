#include "logger/logger.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Shell/shell.h"
#include "error/icError.h"
#include "hal/include/icLocalTime.h"
#include "timer/icTimer.h"

namespace {

constexpr std::size_t LOGGER_MSG_LEN = 300;
constexpr std::size_t LOGGER_FILE_NAME_LEN = 100;
constexpr const char* LOGGER_FILE_MODE = "a+";
// Opening, writing and closing the file for every piece of text cost more
// than the decoding at full line load; the text is collected here instead.
constexpr std::size_t LOGGER_FILE_BUFFER_LEN = 16384;
constexpr U16 LOGGER_FLUSH_AFTER_MS = 100;

U8 outputVerbosity = VERB_CLEARTEXT;
Boolean bLogToFile = FALSE;
// Nothing switches the console off; kept so the guard reads as intended.
Boolean bLogToShell = TRUE;
char sFileName[LOGGER_FILE_NAME_LEN] = {};

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

extern "C" void flushAtExit() { loggerFlush(); }

void reportWriteFailure(int error) {
    if (writeFailureReported == TRUE) {
        return;
    }
    writeFailureReported = TRUE;
    shellApi->printf(shellApi->sh, "Could not write to log file %s: %s\n", sFileName, std::strerror(error));
}

// The file is opened for every flush, so a log file that is deleted or moved
// while logging is on is created anew by the next one.
void writeToFile(const char* str, std::size_t len) {
    std::FILE* file = std::fopen(sFileName, LOGGER_FILE_MODE);
    if (file == nullptr) {
        reportWriteFailure(errno);
        return;
    }
    int error = 0;
    if (std::fwrite(str, 1, len, file) != len) {
        error = errno;
    }
    // A full disk often shows only when the buffer goes out, at close.
    if (std::fclose(file) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        reportWriteFailure(error);
    } else {
        writeFailureReported = FALSE;
    }
}

void loggerPrintToFile(const char* str, std::size_t len) {
    if (bLogToFile == FALSE) {
        return;
    }
    if (len > sizeof fileBuffer - fileBuffered) {
        loggerFlush();
    }
    if (fileBuffered == 0) {
        bufferedSince = icTimerGetRunningTimer_ms();
    }
    std::memcpy(fileBuffer + fileBuffered, str, len);
    fileBuffered += len;
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
            shellApi->printf(shellApi->sh, "%s", buffer);
        }
    }
    loggerPrintToFile(buffer, len);
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
    std::FILE* file = std::fopen(filename, LOGGER_FILE_MODE);
    if (file == nullptr) {
        shellApi->printf(shellApi->sh, "Could not open file: %s\n", filename);
        return FALSE;
    }
    std::fclose(file);
    // What was printed so far belongs to the file it was printed for.
    loggerFlush();
    if (flushOnExitSet == FALSE) {
        flushOnExitSet = TRUE;
        icErrorAddExitHook(loggerFlush);
        (void)std::atexit(flushAtExit);
    }
    bLogToFile = TRUE;
    std::snprintf(sFileName, sizeof sFileName, "%s", filename);
    return TRUE;
}

void loggerDisableLogToFile() {
    loggerFlush();
    bLogToFile = FALSE;
}

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
    if (fileBuffered == 0) {
        return;
    }
    const std::size_t len = fileBuffered;
    fileBuffered = 0;
    writeToFile(fileBuffer, len);
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
