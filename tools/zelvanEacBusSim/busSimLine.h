// The line writer: where the bus bytes go (a new pseudo-terminal, a serial
// port or a file) and how fast: at the bit rate, 11 bits per byte (8 data
// bits, no parity, 2 stop bits), in chunks of about a millisecond, or as
// fast as the reader takes them.
#pragma once

#include <span>
#include <string>

#include "base/hal_types.h"

enum BusSimLineKind : U8 {
    BUS_SIM_LINE_PTY = 0,
    BUS_SIM_LINE_DEVICE = 1,
    BUS_SIM_LINE_FILE = 2,
};

enum BusSimLineStatus : U8 {
    BUS_SIM_LINE_OK = 0,
    BUS_SIM_LINE_STOPPED = 1,      // a stop was requested while waiting
    BUS_SIM_LINE_READER_GONE = 2,  // the reader closed the pseudo-terminal
    BUS_SIM_LINE_FAILED = 3,       // see busSimLineError()
};

struct BusSimLineConfig {
    BusSimLineKind kind = BUS_SIM_LINE_PTY;
    std::string path;  // the serial port or the file
    std::string link;  // pseudo-terminal: symbolic link to create (optional)
    U32 bitRate = 19200;
    bool paced = true;
};

// Called while the line waits: `service` at least every 50 ms (the
// simulator prints its summary there on request), `stopRequested` to learn
// whether to give up the wait.
struct BusSimLineHooks {
    void (*service)() = nullptr;
    bool (*stopRequested)() = nullptr;
};

// FALSE with a reason in busSimLineError() when the line cannot be opened.
bool busSimLineOpen(const BusSimLineConfig& config, const BusSimLineHooks& hooks);
const std::string& busSimLineError();
// The device a reader should open (pseudo-terminal only).
const std::string& busSimLinePtyPath();
// Whether the medium carries time (not a file): idle gaps and pauses exist.
bool busSimLineTimed();
// Air time of `bytes` bytes at the bit rate, in microseconds.
U32 busSimLineAirTime_us(U32 bytes);

// Pseudo-terminal: waits until a reader has opened the other side and kept
// it open for settle_ms. timeout_ms 0 waits without limit; a time-out is
// BUS_SIM_LINE_FAILED. Other media return OK at once.
BusSimLineStatus busSimLineWaitReader(U32 timeout_ms, U32 settle_ms);

// Leaves the line idle for `us` before the next byte (paced lines only).
void busSimLineIdle(U32 us);
// Puts bytes on the line. A stop request does not cut the bytes short
// unless the line has taken nothing for half a second.
BusSimLineStatus busSimLineSend(std::span<const U8> bytes);
// Silent line for `ms` once everything sent so far has reached the reader
// (timed media only).
BusSimLineStatus busSimLinePause(U16 ms);
// Waits (at most max_ms) until the reader has taken everything sent. Call
// only between frames.
void busSimLineDrain(U32 max_ms);
// Pseudo-terminal: keeps the line open, silent, until the reader closes it
// or a stop is requested. Other media return at once.
BusSimLineStatus busSimLineHold();
// Closes the line and removes the symbolic link.
void busSimLineClose();
