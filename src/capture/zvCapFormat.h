// The packets of a capture file: one per run of bytes the frame receiver
// decided on, each a small versioned pseudo-header followed by the bytes
// exactly as they were on the line.
//
//   offset 0  version of the pseudo-header (2; 1 in older files)
//   offset 1  length of the pseudo-header in bytes (12 for version 2, 8 for
//             version 1; the line bytes start there, so later versions may
//             append fields)
//   offset 2  kind of the run (ZvCapKind)
//   offset 3  reserved, 0
//   offset 4  bit rate of the line, 32 bits big-endian
//   offset 8  version 2: the receiver's millisecond tick when the first byte
//             came, 16 bits big-endian
//   offset 10 version 2: ... and when the last byte came
//
// The packet's time stamp is the wall-clock arrival of the first byte, to
// the microsecond; the ticks are the clock the receiver decided by, so that
// a replay makes the same decisions and figures as the live run.
#pragma once

#include <cstddef>
#include <span>

#include "base/hal_types.h"

// pcap link type of the private-use range the files are written with.
inline constexpr int ZV_CAP_LINK_TYPE = 149;
inline constexpr U8 ZV_CAP_VERSION = 2;
inline constexpr std::size_t ZV_CAP_HEADER_SIZE = 12;
inline constexpr std::size_t ZV_CAP_HEADER_SIZE_V1 = 8;

// The kinds as stored in the file; the numbers never change.
enum ZvCapKind : U8 {
    ZV_CAP_KIND_FRAME = 0,           // a complete frame that passed every check
    ZV_CAP_KIND_NOISE = 1,           // bytes outside any frame
    ZV_CAP_KIND_DROP_BCC = 2,        // a frame dropped for a wrong BCC
    ZV_CAP_KIND_DROP_TIMEOUT = 3,    // ... for a gap longer than the receive time-out
    ZV_CAP_KIND_DROP_NO_ETX = 4,     // ... for something other than ETX after the BCC
    ZV_CAP_KIND_DROP_NO_MEMORY = 5,  // ... for want of a buffer of the announced length
    // A frame still coming in when the run ended (quit, a signal, a port
    // that failed). Builds from before this kind stop reading at it, with
    // "unknown packet kind": it can only be a file's last packet.
    ZV_CAP_KIND_DROP_CUT = 6,
};
inline constexpr U8 ZV_CAP_KIND_COUNT = 7;

struct ZvCapHeader {
    ZvCapKind kind;
    U32 bitRate;
    Boolean hasTicks;  // FALSE in a version 1 packet
    U16 firstTick;
    U16 lastTick;
};

enum ZvCapDecodeResult : U8 {
    ZV_CAP_DECODE_OK = 0,
    ZV_CAP_DECODE_TOO_SHORT = 1,    // shorter than its pseudo-header
    ZV_CAP_DECODE_BAD_VERSION = 2,  // a version this program does not know
    ZV_CAP_DECODE_BAD_LENGTH = 3,   // a header length that does not fit the version or the packet
    ZV_CAP_DECODE_BAD_KIND = 4,     // a kind this program does not know
};

// Writes the pseudo-header into the first ZV_CAP_HEADER_SIZE bytes of `out`;
// returns the bytes written, 0 when `out` is too small.
std::size_t zvCapEncodeHeader(const ZvCapHeader& header, std::span<U8> out);
// Splits a packet into its pseudo-header and the line bytes after it.
ZvCapDecodeResult zvCapDecodePacket(std::span<const U8> packet, ZvCapHeader& header, std::span<const U8>& wire);
const char* zvCapDecodeResultText(ZvCapDecodeResult result);
// Bytes a file's format is told by.
inline constexpr std::size_t ZV_CAP_MAGIC_SIZE = 4;
// TRUE when `head`, the first bytes of a file, starts like a pcap or pcapng
// file in either byte order; anything else is taken for raw line bytes.
Boolean zvCapLooksLikeCapture(std::span<const U8> head);
