// A decoded telegram as data: what the printers show as text, field by
// field, with stable names, for programs rather than people (a JSON writer,
// a table of device states). The text printers fill it in the same walk
// that prints, so the two cannot disagree about a field.
#pragma once

#include <string>
#include <vector>

#include "base/hal_types.h"

enum class ZvEacValueKind : U8 {
    GROUP,   // no value of its own: the entries in `fields`
    NUMBER,  // `number`, big-endian on the wire, 1 to 4 bytes
    BYTES,   // `bytes`, as on the wire
    TEXT,    // `bytes` as on the wire up to the NUL that ends a text; `text` is what the printers make of it
};

struct ZvEacField {
    const char* name = "";  // snake_case, stable across versions; static text
    ZvEacValueKind kind = ZvEacValueKind::GROUP;
    U32 number = 0;
    std::vector<U8> bytes;
    // As printed, value tables applied, without the line's label and its
    // indentation; several lines joined by "\n".
    std::string text;
    std::vector<ZvEacField> fields;  // a group's entries, in printing order
};

// Why a telegram's body is given as bytes only.
enum class ZvEacRawReason : U8 {
    NONE,              // decoded (or an id without a body)
    UNKNOWN_ID,        // the id has no name
    NO_DECODER,        // a named id whose body is not decoded
    UNDECODED_LENGTH,  // a length the decoder has no layout for
    SHORT,             // shorter than what the layout reads
};

struct ZvEacRecord {
    U8 direction = 0;          // ZvEacToStrMsgDirection
    U8 address = 0;            // the device's
    U8 length = 0;             // of the telegram, id included
    U8 msgId = 0;              // 0 for an empty telegram
    const char* msgName = "";  // as the text report names it
    std::vector<ZvEacField> body;
    ZvEacRawReason rawReason = ZvEacRawReason::NONE;
    std::vector<U8> raw;  // the whole telegram, when rawReason is not NONE
};

// Decodes one telegram of `length` bytes (byte 0 the message id) into
// `record`, replacing what it held, printing nothing. Reads nothing beyond
// `length` bytes. FALSE when the body is given raw (record.rawReason says
// why).
Boolean zvEacDecodeRecord(U8 direction, U8 address, U8 length, const U8* data, ZvEacRecord& record);

// "unknown_id", "no_decoder", "undecoded_length", "short"; "" for NONE.
const char* zvEacRawReasonToStr(ZvEacRawReason reason);
