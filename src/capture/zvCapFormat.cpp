#include "capture/zvCapFormat.h"

#include <array>

namespace {

constexpr std::size_t kOffsetVersion = 0;
constexpr std::size_t kOffsetHeaderLength = 1;
constexpr std::size_t kOffsetKind = 2;
constexpr std::size_t kOffsetReserved = 3;
constexpr std::size_t kOffsetBitRate = 4;
constexpr std::size_t kOffsetFirstTick = 8;
constexpr std::size_t kOffsetLastTick = 10;
constexpr U8 kVersion1 = 1;

U16 u16At(std::span<const U8> bytes, std::size_t at) {
    return static_cast<U16>((static_cast<unsigned>(bytes[at]) << 8U) | bytes[at + 1]);
}

void putU16(std::span<U8> bytes, std::size_t at, U16 value) {
    bytes[at] = static_cast<U8>(value >> 8U);
    bytes[at + 1] = static_cast<U8>(value);
}

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
    putU16(out, kOffsetFirstTick, header.firstTick);
    putU16(out, kOffsetLastTick, header.lastTick);
    return ZV_CAP_HEADER_SIZE;
}

ZvCapDecodeResult zvCapDecodePacket(std::span<const U8> packet, ZvCapHeader& header, std::span<const U8>& wire) {
    if (packet.size() <= kOffsetHeaderLength) {
        return ZV_CAP_DECODE_TOO_SHORT;
    }
    const U8 version = packet[kOffsetVersion];
    if (version != ZV_CAP_VERSION && version != kVersion1) {
        return ZV_CAP_DECODE_BAD_VERSION;
    }
    const std::size_t headerLength = packet[kOffsetHeaderLength];
    if (headerLength < (version == kVersion1 ? ZV_CAP_HEADER_SIZE_V1 : ZV_CAP_HEADER_SIZE)) {
        return ZV_CAP_DECODE_BAD_LENGTH;
    }
    if (headerLength > packet.size()) {
        return packet.size() < ZV_CAP_HEADER_SIZE_V1 ? ZV_CAP_DECODE_TOO_SHORT : ZV_CAP_DECODE_BAD_LENGTH;
    }
    if (packet[kOffsetKind] >= ZV_CAP_KIND_COUNT) {
        return ZV_CAP_DECODE_BAD_KIND;
    }
    header.kind = static_cast<ZvCapKind>(packet[kOffsetKind]);
    header.bitRate = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        header.bitRate = (header.bitRate << 8) | packet[kOffsetBitRate + i];
    }
    header.hasTicks = version != kVersion1 ? TRUE : FALSE;
    header.firstTick = header.hasTicks != FALSE ? u16At(packet, kOffsetFirstTick) : 0;
    header.lastTick = header.hasTicks != FALSE ? u16At(packet, kOffsetLastTick) : 0;
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
