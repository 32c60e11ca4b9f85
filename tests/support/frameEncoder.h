// Bus bytes for a telegram, as the master or a device puts them on the line.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "base/hal_types.h"
#include "eac/zelvan/zvEacFrame.h"

namespace zvtest {

// The frame STX to ETX, as the link layer's encoder writes it: empty when
// it would be longer than the encoder's limit of ZV_EAC_NWK_MAX_ENCODED_FRAME
// bytes (a telegram of up to 170 bytes without control values always fits;
// check with encodedFrameSize when the telegram is arbitrary) or has more
// than 255 data bytes.
std::vector<U8> encodeFrame(ZvEacNwkAddr source, ZvEacNwkAddr destination, std::span<const U8> telegram);

// The same without the encoder's limit, for frames that only a receiver ever
// sees (up to 255 data bytes; longer telegrams give an empty vector).
std::vector<U8> encodeFrameAnyLength(ZvEacNwkAddr source, ZvEacNwkAddr destination, std::span<const U8> telegram);

// Size of the encoded frame, escapes included (0 for more than 255 bytes).
std::size_t encodedFrameSize(ZvEacNwkAddr source, ZvEacNwkAddr destination, std::span<const U8> telegram);

}  // namespace zvtest
