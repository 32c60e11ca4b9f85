// The sniffer only ever listens. Every file it writes (the log file, capture
// files, CSV tables and any output added later) is opened through this guard,
// which refuses the serial port, any other terminal or serial device, the file
// being decoded, and a file another output is already writing. It is the one
// place that keeps the program from transmitting onto the bus: the port
// itself is opened for reading elsewhere, and nothing else may reach it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/hal_types.h"

// Who writes a file. A use holds its file from the claim to the release;
// a claim of the same use replaces the one before.
enum IcOutputUse : U8 {
    IC_OUTPUT_LOG = 0,
    IC_OUTPUT_CAPTURE = 1,
    IC_OUTPUT_STATS_CSV = 2,    // written at the end; held for the whole run
    IC_OUTPUT_TABLE = 3,        // a table written once, on command
    IC_OUTPUT_JSON = 4,         // the reports as JSON Lines
    IC_OUTPUT_DEVICES_CSV = 5,  // written at the end; held for the whole run
    IC_OUTPUT_REPORT = 6,       // the HTML report written at the end; held for the whole run
    IC_OUTPUT_USE_COUNT = 7,
};

// The device sniffed on, or the file decoded instead of one: never an output.
// nullptr forgets it.
void icOutputGuardSetSource(const char* path);
// Before `path` is opened for writing as `use`: FALSE, with the reason, when
// it must not be (nothing has been opened then, so a serial device has not
// even seen its control lines move).
Boolean icOutputGuardCheck(const char* path, IcOutputUse use, std::string& reason);
// Once open (`os`: the descriptor, or the HANDLE on Windows): checks what was
// actually opened (a link may have changed under the name) and holds the file
// as `use`'s. FALSE, with the reason, when it must not be written; the caller
// then closes it without writing.
Boolean icOutputGuardClaim(std::intptr_t os, const char* path, IcOutputUse use, std::string& reason);
void icOutputGuardRelease(IcOutputUse use);
// fopen for writing with both checks; nullptr with the reason (a refusal, or
// the system's error text) when the file cannot be used.
std::FILE* icOutputOpen(const char* path, const char* mode, IcOutputUse use, std::string& reason);
// The descriptor (HANDLE on Windows) behind a stream, for icOutputGuardClaim.
std::intptr_t icOutputStreamOs(std::FILE* file);
// Forgets the source and every claim.
void icOutputGuardReset();
