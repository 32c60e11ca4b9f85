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
void loggerPrintf(const char* format, ...) IC_PRINTF_FORMAT(1, 2);
void loggerPrintTimestamp();
Boolean loggerEnableLogToFile(const char* filename);
void loggerDisableLogToFile();
Boolean loggerLogToFileCmd(U8 argc, char** argv);

// Test seam: while set, every finished text goes to `sink` instead of the
// console (the log file is written as usual).
using LoggerSink = void (*)(void* arg, const char* text);
void loggerSetSink(LoggerSink sink, void* arg);
