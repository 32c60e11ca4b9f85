#include "capture/zvCapSavefile.h"

#include "capture/zvCapFormat.h"

namespace {

constexpr U32 kMagicMicros = 0xa1b2c3d4U;
constexpr U32 kMagicNanos = 0xa1b23c4dU;
constexpr U32 kMagicPcapng = 0x0a0d0d0aU;
constexpr U16 kVersionMajor = 2;
constexpr U16 kVersionMinor = 4;
// The link type's own bits; writers may put FCS details above them.
constexpr U32 kLinkTypeMask = 0x03ffffffU;
constexpr U64 kMicrosPerSecond = 1000000;
constexpr U32 kNanosPerMicro = 1000;

U32 swap32(U32 v) {
    return ((v & 0xffU) << 24U) | ((v & 0xff00U) << 8U) | ((v >> 8U) & 0xff00U) | ((v >> 24U) & 0xffU);
}

U32 littleEndian32(std::span<const U8> in, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<U32>(in[at + i]); };
    return byte(0) | (byte(1) << 8U) | (byte(2) << 16U) | (byte(3) << 24U);
}

U32 fileWord(std::span<const U8> in, std::size_t at, Boolean swapped) {
    const U32 v = littleEndian32(in, at);
    return swapped != FALSE ? swap32(v) : v;
}

U16 fileHalf(std::span<const U8> in, std::size_t at, Boolean swapped) {
    const auto low = static_cast<U16>(in[at]);
    const auto high = static_cast<U16>(in[at + 1]);
    return swapped != FALSE ? static_cast<U16>((low << 8U) | high) : static_cast<U16>((high << 8U) | low);
}

void putLittleEndian(std::span<U8> out, std::size_t at, U32 v, std::size_t bytes = 4) {
    for (std::size_t i = 0; i < bytes; ++i) {
        out[at + i] = static_cast<U8>(v >> (8U * i));
    }
}

}  // namespace

void zvCapSavefileWriteHeader(std::span<U8, ZV_CAP_FILE_HEADER_SIZE> out) {
    putLittleEndian(out, 0, kMagicMicros);
    putLittleEndian(out, 4, kVersionMajor, 2);
    putLittleEndian(out, 6, kVersionMinor, 2);
    putLittleEndian(out, 8, 0);   // time zone: the stamps are UTC
    putLittleEndian(out, 12, 0);  // accuracy of the stamps: not given
    putLittleEndian(out, 16, ZV_CAP_SNAP_LENGTH);
    putLittleEndian(out, 20, static_cast<U32>(ZV_CAP_LINK_TYPE));
}

void zvCapSavefileWriteRecord(U64 wall_us, U32 length, std::span<U8, ZV_CAP_RECORD_HEADER_SIZE> out) {
    putLittleEndian(out, 0, static_cast<U32>(wall_us / kMicrosPerSecond));
    putLittleEndian(out, 4, static_cast<U32>(wall_us % kMicrosPerSecond));
    putLittleEndian(out, 8, length);
    putLittleEndian(out, 12, length);
}

Boolean zvCapSavefileReadHeader(std::span<const U8, ZV_CAP_FILE_HEADER_SIZE> in, ZvCapSavefile& file,
                                std::string& error) {
    const U32 magic = littleEndian32(in, 0);
    if (magic == kMagicPcapng) {
        error = "a pcapng file: this build reads classic pcap only (editcap -F pcap converts it)";
        return FALSE;
    }
    if (magic == kMagicMicros || magic == kMagicNanos) {
        file.swapped = FALSE;
    } else if (swap32(magic) == kMagicMicros || swap32(magic) == kMagicNanos) {
        file.swapped = TRUE;
    } else {
        error = "unknown file format";
        return FALSE;
    }
    file.nanoseconds = (file.swapped != FALSE ? swap32(magic) : magic) == kMagicNanos ? TRUE : FALSE;
    const U16 major = fileHalf(in, 4, file.swapped);
    const U16 minor = fileHalf(in, 6, file.swapped);
    if (major != kVersionMajor || minor > kVersionMinor) {
        error = "pcap version " + std::to_string(major) + "." + std::to_string(minor) + " is not read";
        return FALSE;
    }
    file.linkType = fileWord(in, 20, file.swapped) & kLinkTypeMask;
    return TRUE;
}

Boolean zvCapSavefileReadRecord(std::span<const U8, ZV_CAP_RECORD_HEADER_SIZE> in, const ZvCapSavefile& file,
                                U64& wall_us, U32& length, std::string& error) {
    const U32 seconds = fileWord(in, 0, file.swapped);
    const U32 fraction = fileWord(in, 4, file.swapped);
    const U32 captured = fileWord(in, 8, file.swapped);
    const U32 original = fileWord(in, 12, file.swapped);
    if (captured > ZV_CAP_MAX_PACKET) {
        error = "packet length " + std::to_string(captured) + " beyond the largest a capture holds (" +
                std::to_string(ZV_CAP_MAX_PACKET) + ")";
        return FALSE;
    }
    if (captured != original) {
        error = "packet cut short (" + std::to_string(captured) + " of " + std::to_string(original) + " bytes)";
        return FALSE;
    }
    // A fraction of a second beyond 999999 is taken as it stands, as the
    // capture library does: the two builds read the same instants.
    wall_us = static_cast<U64>(seconds) * kMicrosPerSecond +
              (file.nanoseconds != FALSE ? fraction / kNanosPerMicro : fraction);
    length = captured;
    return TRUE;
}
