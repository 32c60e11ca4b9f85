// Arbitrary telegram bytes straight into the message printer, at every
// verbosity. Besides the sanitizers it checks what reaches the operator:
// only printable text (a device must not steer the terminal), no piece cut
// off by the logger's line buffer, the message framed by timestamp and blank
// line, and at the raw level the dump of exactly the bytes received.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/hal_types.h"
#include "eac/zelvan/zvEacToStr.h"
#include "hal/include/icLocalTime.h"
#include "logger/logger.h"

namespace {

// A frame carries at most 255 data bytes.
constexpr std::size_t kMaxTelegram = 255;
// The logger formats each piece into 300 bytes; a piece of 299 characters
// may have been cut.
constexpr std::size_t kLoggerPieceLimit = 299;
// Levels above 3 behave as 3; one of them is run to show it.
constexpr U8 kHighestVerbosity = 4;

constexpr const char* kTimestamp = "\r (2024-01-31 13:05:09.042) ";

struct Capture {
    std::vector<std::string> pieces;
};

Capture capture;

[[noreturn]] void fail(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "telegramFuzz: %s %s\n", what, detail.c_str());
    std::abort();
}

bool isTerminalSafe(unsigned char c) { return (c >= 0x20 && c <= 0x7E) || c == '\n' || c == '\r' || c == '\t'; }

void collect(void* arg, const char* text) {
    const std::size_t len = std::strlen(text);
    if (len >= kLoggerPieceLimit) {
        fail("logger piece cut off:", text);
    }
    for (std::size_t i = 0; i < len; ++i) {
        if (!isTerminalSafe(static_cast<unsigned char>(text[i]))) {
            fail("unsafe character in output:", text);
        }
    }
    static_cast<Capture*>(arg)->pieces.emplace_back(text, len);
}

void pinnedTime(IcLocalTime* out) { *out = IcLocalTime{2024, 1, 31, 13, 5, 9, 42}; }

std::string rawDump(const U8* data, std::size_t size) {
    std::string dump = "\n\t\t length = " + std::to_string(size);
    if (size != 0) {
        dump += ", msg [ ";
        char hex[8];
        for (std::size_t i = 0; i < size; ++i) {
            std::snprintf(hex, sizeof hex, "0x%02x ", data[i]);
            dump += hex;
        }
        dump += "]";
    }
    return dump;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void checkFrame(U8 verbosity, const U8* data, std::size_t size) {
    if (verbosity == VERB_NONE) {
        if (!capture.pieces.empty()) {
            fail("output at verbosity 0");
        }
        return;
    }
    if (capture.pieces.empty() || capture.pieces.front() != kTimestamp) {
        fail("message does not start with the timestamp");
    }
    std::string text;
    for (const std::string& piece : capture.pieces) {
        text += piece;
    }
    if (!endsWith(text, "\n\n")) {
        fail("message does not end with a blank line");
    }
    if (verbosity >= VERB_RAW && !endsWith(text, rawDump(data, size) + "\n\n")) {
        fail("raw dump missing or wrong at the raw level");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    icLocalTimeSetSource(pinnedTime);
    loggerSetSink(collect, &capture);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size > kMaxTelegram) {
        return 0;
    }
    // The printer gets exactly the received bytes, in a block of their own
    // size, so any read past the telegram is caught.
    std::vector<U8> telegram(data, data + size);
    const U8* message = telegram.empty() ? nullptr : telegram.data();
    for (U8 verbosity = VERB_NONE; verbosity <= kHighestVerbosity; ++verbosity) {
        capture.pieces.clear();
        loggerSetVerbosity(verbosity);
        const U8 direction = (verbosity % 2 == 0) ? PRINT_MSG_DIR_INCOMING : PRINT_MSG_DIR_OUTGOING;
        zvEacShellPrintMessage(direction, 0, static_cast<U8>(size), static_cast<U8>(size), message);
        if (size != 0) {
            checkFrame(verbosity, message, size);
        }
    }
    return 0;
}
