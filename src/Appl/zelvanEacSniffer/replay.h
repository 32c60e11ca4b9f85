// Decoding a recorded capture file, or raw line bytes, without a port: the
// same text the live run wrote to its log file, on standard output.
#pragma once

#include "Appl/zelvanEacSniffer/commandLine.h"

// Decodes `cli.options.readFile` ("-": standard input); raw line bytes are
// timed at `rawBitRate`. Returns the exit status.
int mainReadCapture(const MainCommandLine& cli, U32 rawBitRate);
