// The single output path for reports: console through the shell, and the
// log file when switched on.
#pragma once

#include "hal/include/hal_types.h"

enum ZvEacToStrVerbosity : U8 {
    VERB_NONE = 0,
    VERB_MSGID = 1,
    VERB_CLEARTEXT = 2,
    VERB_RAW = 3,
};

void loggerSetVerbosity(U8 verbosity);
U8 loggerGetVerbosity();
void loggerPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void loggerPrintTimestamp();
Boolean loggerEnableLogToFile(const char* filename);
void loggerDisableLogToFile();
Boolean loggerLogToFileCmd(U8 argc, char** argv);

// Where report timestamps come from. Without a source, or while it answers
// FALSE, a timestamp shows when it is printed; otherwise the wall-clock
// instant (microseconds since the epoch) the source gives, so that every
// report about bytes from the line can carry when those bytes came in.
using LoggerTimeSource = Boolean (*)(void* arg, U64* wall_us);
void loggerSetTimeSource(LoggerTimeSource source, void* arg);

// Test seam: while set, every finished text goes to `sink` instead of the
// console (the log file is written as usual).
using LoggerSink = void (*)(void* arg, const char* text);
void loggerSetSink(LoggerSink sink, void* arg);
