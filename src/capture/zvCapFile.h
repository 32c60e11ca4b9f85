// Capture files on disk: pcap savefiles of link type ZV_CAP_LINK_TYPE, one
// packet per run of line bytes (zvCapFormat). Written and read through the
// capture library where the build has it, otherwise by the program itself
// (classic pcap only: no pcapng).
#pragma once

#include <cstdio>
#include <span>
#include <string>

#include "base/hal_types.h"

// --- writing ---------------------------------------------------------------------

// Not thread-safe: a writer is used by one thread at a time.
struct ZvCapWriter;

// Creates (or empties) the file and writes the file header. nullptr when that
// fails, with the reason in `error`.
ZvCapWriter* zvCapWriterOpen(const char* path, std::string& error);
// Appends one packet stamped `wall_us` (microseconds since the epoch). The
// file only ever grows by whole packets: what reaches the disk, at a flush or
// when the buffer fills, ends at a packet boundary.
Boolean zvCapWriterAppend(ZvCapWriter* writer, U64 wall_us, std::span<const U8> packet, std::string& error);
Boolean zvCapWriterFlush(ZvCapWriter* writer, std::string& error);
// Flushes and closes; FALSE (with `error`) when the last data did not reach
// the file.
Boolean zvCapWriterClose(ZvCapWriter* writer, std::string& error);

// --- reading ---------------------------------------------------------------------

struct ZvCapReader;

enum ZvCapReadResult : U8 {
    ZV_CAP_READ_PACKET = 0,
    ZV_CAP_READ_END = 1,
    ZV_CAP_READ_ERROR = 2,
};

// Reads a capture from `file`, whose first bytes `head` were already taken
// from it (a pipe cannot be rewound). Takes `file` over, also on failure.
ZvCapReader* zvCapReaderOpen(std::FILE* file, std::span<const U8> head, std::string& error);
// The next packet; `packet` stays valid until the next call.
ZvCapReadResult zvCapReaderNext(ZvCapReader* reader, U64& wall_us, std::span<const U8>& packet, std::string& error);
void zvCapReaderClose(ZvCapReader* reader);
