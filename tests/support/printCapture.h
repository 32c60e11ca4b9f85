// Test helpers for everything that prints through the logger: capture the
// text, pin the clock, and build the expected header and dump lines.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/hal_types.h"
#include "eac/zelvan/zvEacToStr.h"
#include "logger/logger.h"

// Every capture pins the local time to 2024-01-31 13:05:09.042; this is the
// timestamp the logger prints for it.
inline constexpr const char* ZV_TEST_TIMESTAMP = "\r (2024-01-31 13:05:09.042) ";

// Runs `fn` with the logger's output redirected and the clock pinned, and
// returns everything printed, concatenated. Verbosity, sink and clock are
// restored afterwards.
std::string zvTestCapture(const std::function<void()>& fn);

// As zvTestCapture, one element per loggerPrintf call.
std::vector<std::string> zvTestCapturePieces(const std::function<void()>& fn);

// Prints one telegram at `verbosity` through zvEacShellPrintMessage and
// returns exactly what was printed.
std::string zvTestPrintTelegram(const std::vector<U8>& telegram, U8 verbosity, U8 direction = PRINT_MSG_DIR_INCOMING,
                                U8 peer = 5, U8 baseNetworkAddr = 0);

// The timestamp and the header line as printed before the first body line.
std::string zvTestHeader(U8 msgid, U8 direction = PRINT_MSG_DIR_INCOMING, int address = 5);

// The raw dump line: "\n\t\t length = N, msg [ 0x.. ... ]".
std::string zvTestRawDump(const std::vector<U8>& telegram);

// Prints the telegram (incoming from address 5) and returns only what lies
// between the header and the closing blank line, e.g. "\n\t\t LOCK_STATE_LOCKED".
// When the output does not have that frame the whole text is returned behind
// a marker, so the comparison fails and shows it.
std::string zvTestPrintBody(const std::vector<U8>& telegram, U8 verbosity = VERB_CLEARTEXT);
