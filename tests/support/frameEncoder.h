// Bus bytes for a telegram, as the master or a device puts them on the line.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "eac/zelvan/zvEacNetwork.h"
#include "hal/include/hal_types.h"

namespace zvtest {

// Encodes one frame through the link layer's own encoder (zvEacNwkTx) and
// returns the bytes it wrote, STX to ETX. The frame must fit the encoder's
// limit of ZV_EAC_NWK_MAX_ENCODED_FRAME bytes (a telegram of up to 170 bytes
// without control values always fits; check with encodedFrameSize when the
// telegram is arbitrary): a longer one ends the process with the encoder's
// fatal error. Returns an empty vector for a telegram of more than 255 bytes
// or when no buffer could be allocated. Safe to call from several threads.
std::vector<U8> encodeFrame(ZvEacNwkAddr source, ZvEacNwkAddr destination, std::span<const U8> telegram);

// Writes the same format without the encoder's size limit, for frames that
// only a receiver ever sees (up to 255 data bytes; longer telegrams give an
// empty vector). Written independently of zvEacNwkTx, so each checks the other.
std::vector<U8> encodeFrameAnyLength(ZvEacNwkAddr source, ZvEacNwkAddr destination, std::span<const U8> telegram);

// Size of the encoded frame, escapes included (0 for more than 255 bytes).
std::size_t encodedFrameSize(ZvEacNwkAddr source, ZvEacNwkAddr destination, std::span<const U8> telegram);

}  // namespace zvtest
