// The single output path for reports: console through the shell, and the
// log file when switched on.
#pragma once

#include <string>

#include "base/hal_types.h"

enum ZvEacToStrVerbosity : U8 {
    VERB_NONE = 0,
    VERB_MSGID = 1,
    VERB_CLEARTEXT = 2,
    VERB_RAW = 3,
};

void loggerSetVerbosity(U8 verbosity);
U8 loggerGetVerbosity();
void loggerPrintf(const char* format, ...) IC_PRINTF_FORMAT(1, 2);
void loggerPrintTimestamp();
// The console's way: names longer than the command ever took are refused,
// and a failure is said on the console.
Boolean loggerEnableLogToFile(const char* filename);
// The command line's way: any name the file system takes; a failure is said
// by the caller, with `reason`.
Boolean loggerOpenLogFile(const char* filename, std::string& reason);
void loggerDisableLogToFile();
// TRUE while reports also go into a log file.
Boolean loggerLogsToFile();
// Why writing the log file failed since it was switched on; "" while it has
// not. For runs without a console to say it on.
const char* loggerFileProblem();
Boolean loggerLogToFileCmd(U8 argc, char** argv);
// Whether reports reach the console (they always reach the log file). Off
// while a full-screen view owns the terminal.
void loggerSetScreenOutput(Boolean on);

// Where report timestamps come from. Without a source, or while it answers
// FALSE, a timestamp shows when it is printed; otherwise the wall-clock
// instant (microseconds since the epoch) the source gives, so that every
// report about bytes from the line can carry when those bytes came in.
using LoggerTimeSource = Boolean (*)(void* arg, U64* wall_us);
void loggerSetTimeSource(LoggerTimeSource source, void* arg);
// The instant a timestamp printed now would show, to the microsecond: for
// outputs that stamp the same reports their own way.
U64 loggerReportInstant_us();
// The log file is written through a buffer: what is printed reaches the file
// at the latest 100 ms later, when the main loop's loggerExe finds it due,
// and at once on loggerFlush. Switching logging off or to another file,
// leaving the program and a fatal error all flush first. Nothing ever waits
// for the file: what a lagging file (a pipe) does not take stays buffered
// for the next flush; once the buffer is full, text is dropped until it has
// gone out, and a line in the file and on the console says how much.
void loggerFlush();
// The main loop's step: flushes once the oldest buffered text is 100 ms old.
void loggerExe();
// Milliseconds until loggerExe has text to flush (0: now), MAX_U32 while
// nothing is buffered; the main loop sleeps no longer than this.
U32 loggerNextDeadline_ms();

// Where the reports leave the logger besides the log file. Without a sink
// they go to the console through the shell; a sink takes them instead, each
// finished text once, in order: decoding a file writes standard output
// through one, and any other output of the reports (a test's capture, say)
// hooks in here rather than beside the logger. The log file is written as
// usual either way.
using LoggerSink = void (*)(void* arg, const char* text);
void loggerSetSink(LoggerSink sink, void* arg);
