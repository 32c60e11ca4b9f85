// The codec is constexpr and lives in its header; these frames pin the format
// at build time, so a change to the escape rule or the block check cannot
// reach any writer or reader unnoticed.
#include "eac/zelvan/zvEacFrame.h"

#include <algorithm>
#include <array>

namespace {

template <std::size_t N>
constexpr bool encodesAs(ZvEacNwkAddr source, ZvEacNwkAddr destination, std::span<const U8> data,
                         const std::array<U8, N>& wire) {
    std::array<U8, ZV_EAC_FRAME_MAX_WIRE> out{};
    const std::size_t size = zvEacFrameEncode(source, destination, data, out);
    return size == N && std::equal(wire.begin(), wire.end(), out.begin());
}

constexpr std::array<U8, 1> ETX_VALUE{0x03};
constexpr std::array<U8, 1> BCC_ESC_VALUE{0x1F};

static_assert(encodesAs(0, 5, {}, std::array<U8, 6>{0x02, 0x05, 0x00, 0x00, 0x05, 0x03}));
static_assert(encodesAs(0, 2, ETX_VALUE, std::array<U8, 9>{0x02, 0x1B, 0x82, 0x00, 0x01, 0x1B, 0x83, 0x00, 0x03}));
static_assert(encodesAs(0, 5, BCC_ESC_VALUE, std::array<U8, 8>{0x02, 0x05, 0x00, 0x01, 0x1F, 0x1B, 0x9B, 0x03}));

}  // namespace
