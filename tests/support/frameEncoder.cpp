#include "support/frameEncoder.h"

#include <array>

namespace zvtest {

namespace {

template <std::size_t Limit>
std::vector<U8> encodeWithin(ZvEacNwkAddr source, ZvEacNwkAddr destination, std::span<const U8> telegram) {
    std::array<U8, Limit> out{};
    const std::size_t size = zvEacFrameEncode(source, destination, telegram, out);
    return std::vector<U8>(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(size));
}

}  // namespace

std::vector<U8> encodeFrame(ZvEacNwkAddr source, ZvEacNwkAddr destination, std::span<const U8> telegram) {
    return encodeWithin<ZV_EAC_NWK_MAX_ENCODED_FRAME>(source, destination, telegram);
}

std::vector<U8> encodeFrameAnyLength(ZvEacNwkAddr source, ZvEacNwkAddr destination, std::span<const U8> telegram) {
    return encodeWithin<ZV_EAC_FRAME_MAX_WIRE>(source, destination, telegram);
}

std::size_t encodedFrameSize(ZvEacNwkAddr source, ZvEacNwkAddr destination, std::span<const U8> telegram) {
    return zvEacFrameEncodedSize(source, destination, telegram);
}

}  // namespace zvtest
