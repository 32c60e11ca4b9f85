#include "capture/zvCapFormat.h"

#include <array>

namespace {

constexpr std::size_t kOffsetVersion = 0;
constexpr std::size_t kOffsetHeaderLength = 1;
constexpr std::size_t kOffsetKind = 2;
constexpr std::size_t kOffsetReserved = 3;
constexpr std::size_t kOffsetBitRate = 4;

// pcap with microsecond and nanosecond stamps, and pcapng, as stored in
// either byte order.
constexpr std::array<U32, 5> kCaptureMagics{0xa1b2c3d4, 0xd4c3b2a1, 0xa1b23c4d, 0x4d3cb2a1, 0x0a0d0d0a};

constexpr std::array<const char*, 5> kDecodeTexts{
    "ok",
    "packet shorter than its pseudo-header",
    "unknown pseudo-header version",
    "pseudo-header length does not fit",
    "unknown packet kind",
};

}  // namespace

std::size_t zvCapEncodeHeader(const ZvCapHeader& header, std::span<U8> out) {
    if (out.size() < ZV_CAP_HEADER_SIZE) {
        return 0;
    }
    out[kOffsetVersion] = ZV_CAP_VERSION;
    out[kOffsetHeaderLength] = static_cast<U8>(ZV_CAP_HEADER_SIZE);
    out[kOffsetKind] = header.kind;
    out[kOffsetReserved] = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        out[kOffsetBitRate + i] = static_cast<U8>(header.bitRate >> (8 * (3 - i)));
    }
    return ZV_CAP_HEADER_SIZE;
}

ZvCapDecodeResult zvCapDecodePacket(std::span<const U8> packet, ZvCapHeader& header, std::span<const U8>& wire) {
    if (packet.size() <= kOffsetHeaderLength) {
        return ZV_CAP_DECODE_TOO_SHORT;
    }
    if (packet[kOffsetVersion] != ZV_CAP_VERSION) {
        return ZV_CAP_DECODE_BAD_VERSION;
    }
    const std::size_t headerLength = packet[kOffsetHeaderLength];
    if (headerLength < ZV_CAP_HEADER_SIZE) {
        return ZV_CAP_DECODE_BAD_LENGTH;
    }
    if (headerLength > packet.size()) {
        return packet.size() < ZV_CAP_HEADER_SIZE ? ZV_CAP_DECODE_TOO_SHORT : ZV_CAP_DECODE_BAD_LENGTH;
    }
    if (packet[kOffsetKind] >= ZV_CAP_KIND_COUNT) {
        return ZV_CAP_DECODE_BAD_KIND;
    }
    header.kind = static_cast<ZvCapKind>(packet[kOffsetKind]);
    header.bitRate = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        header.bitRate = (header.bitRate << 8) | packet[kOffsetBitRate + i];
    }
    wire = packet.subspan(headerLength);
    return ZV_CAP_DECODE_OK;
}

const char* zvCapDecodeResultText(ZvCapDecodeResult result) {
    return result < kDecodeTexts.size() ? kDecodeTexts[result] : "undecodable packet";
}


Boolean zvCapLooksLikeCapture(std::span<const U8> head) {
    if (head.size() < ZV_CAP_MAGIC_SIZE) {
        return FALSE;
    }
    const U32 magic = (static_cast<U32>(head[0]) << 24) | (static_cast<U32>(head[1]) << 16) |
                      (static_cast<U32>(head[2]) << 8) | head[3];
    for (const U32 known : kCaptureMagics) {
        if (magic == known) {
            return TRUE;
        }
    }
    return FALSE;
}
