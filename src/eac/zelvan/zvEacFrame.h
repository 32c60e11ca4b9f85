// Frame format of the bus, for writers and readers alike: escaping, the block
// check character and the encoder. Bytes in, bytes out: no FIFO, no heap.
//
// Frame on the wire: STX, destination, source, length, data..., BCC, ETX.
// Every value between STX and ETX that equals STX, ETX or ESC travels as ESC
// followed by the value with bit 7 set; the BCC is the XOR of the unescaped
// header and data values.
#pragma once

#include <cstddef>
#include <span>

#include "base/hal_types.h"

using ZvEacNwkAddr = U8;
using ZvEacNwkLen = U8;

enum ZvEacNwkControlChars : U8 {
    ZV_EAC_NWK_CHARS_STX = 0x02,
    ZV_EAC_NWK_CHARS_ETX = 0x03,
    ZV_EAC_NWK_CHARS_ESC = 0x1B,
};

// Longest frame the encoder of this program writes, STX to ETX with every
// escape; longer ones are refused.
inline constexpr U8 ZV_EAC_NWK_MAX_ENCODED_FRAME = 180;

inline constexpr std::size_t ZV_EAC_FRAME_MAX_DATA = 255;
// Longest frame any writer can put on the line: every value escaped.
inline constexpr std::size_t ZV_EAC_FRAME_MAX_WIRE = 1 + (3 + ZV_EAC_FRAME_MAX_DATA + 1) * 2 + 1;

inline constexpr U8 ZV_EAC_FRAME_ESCAPE_BIT = 0x80;

constexpr bool zvEacFrameIsControl(U8 value) {
    return value == ZV_EAC_NWK_CHARS_STX || value == ZV_EAC_NWK_CHARS_ETX || value == ZV_EAC_NWK_CHARS_ESC;
}

// The byte after an ESC back to its value. Bit 7 is cleared, not flipped: a
// writer that escapes a value without bit 7 set still means that value.
constexpr U8 zvEacFrameUnescape(U8 byte) { return static_cast<U8>(byte & ~ZV_EAC_FRAME_ESCAPE_BIT); }

// A reader's escape step for one byte between STX and ETX. `escapePending`
// is the reader's memory that the previous byte was an ESC. Returns FALSE
// for an ESC, which only announces that the next byte is to be restored;
// otherwise `byte` holds the value.
constexpr bool zvEacFrameUnescapeStep(Boolean& escapePending, U8& byte) {
    if (escapePending != FALSE) {
        escapePending = FALSE;
        byte = zvEacFrameUnescape(byte);
        return true;
    }
    if (byte == ZV_EAC_NWK_CHARS_ESC) {
        escapePending = TRUE;
        return false;
    }
    return true;
}

// Bytes one value takes on the wire.
constexpr std::size_t zvEacFrameValueSize(U8 value) { return zvEacFrameIsControl(value) ? 2 : 1; }

// Writes one value, escaped where needed, at the start of `out`. Returns the
// bytes written, 0 (and nothing written) when it does not fit.
constexpr std::size_t zvEacFramePutValue(std::span<U8> out, U8 value) {
    const std::size_t size = zvEacFrameValueSize(value);
    if (out.size() < size) {
        return 0;
    }
    if (size == 2) {
        out[0] = ZV_EAC_NWK_CHARS_ESC;
        out[1] = static_cast<U8>(value | ZV_EAC_FRAME_ESCAPE_BIT);
    } else {
        out[0] = value;
    }
    return size;
}

// The block check character is the XOR of the header and data values; a
// reader adds each value as it comes, starting from 0.
constexpr U8 zvEacFrameBccAdd(U8 bcc, U8 value) { return static_cast<U8>(bcc ^ value); }

constexpr U8 zvEacFrameBcc(ZvEacNwkAddr source, ZvEacNwkAddr destination, std::span<const U8> data) {
    U8 bcc = zvEacFrameBccAdd(zvEacFrameBccAdd(destination, source), static_cast<U8>(data.size()));
    for (const U8 value : data) {
        bcc = zvEacFrameBccAdd(bcc, value);
    }
    return bcc;
}

// Size of the frame on the wire, escapes included; 0 for more than 255 data
// bytes, which no frame can carry.
constexpr std::size_t zvEacFrameEncodedSize(ZvEacNwkAddr source, ZvEacNwkAddr destination, std::span<const U8> data) {
    if (data.size() > ZV_EAC_FRAME_MAX_DATA) {
        return 0;
    }
    std::size_t size = 2 + zvEacFrameValueSize(destination) + zvEacFrameValueSize(source) +
                       zvEacFrameValueSize(static_cast<U8>(data.size()));
    for (const U8 value : data) {
        size += zvEacFrameValueSize(value);
    }
    return size + zvEacFrameValueSize(zvEacFrameBcc(source, destination, data));
}

// Writes the frame STX to ETX into `out`. Returns its size, or 0 with nothing
// written when it does not fit `out` (or has more than 255 data bytes). A
// buffer of ZV_EAC_NWK_MAX_ENCODED_FRAME bytes holds what this program may
// send; one of ZV_EAC_FRAME_MAX_WIRE bytes holds any frame.
constexpr std::size_t zvEacFrameEncode(ZvEacNwkAddr source, ZvEacNwkAddr destination, std::span<const U8> data,
                                       std::span<U8> out) {
    const std::size_t size = zvEacFrameEncodedSize(source, destination, data);
    if (size == 0 || size > out.size()) {
        return 0;
    }
    // Every write is bounded by `out` on its own, not only by the size
    // computed above.
    std::size_t at = 0;
    const auto putControl = [&](U8 control) {
        if (at < out.size()) {
            out[at++] = control;
        }
    };
    const auto put = [&](U8 value) { at += zvEacFramePutValue(out.subspan(at), value); };
    putControl(ZV_EAC_NWK_CHARS_STX);
    put(destination);
    put(source);
    put(static_cast<U8>(data.size()));
    for (const U8 value : data) {
        put(value);
    }
    put(zvEacFrameBcc(source, destination, data));
    putControl(ZV_EAC_NWK_CHARS_ETX);
    return at;
}
