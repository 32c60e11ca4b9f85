// A small seeded generator for the simulator. The scenario must replay byte
// for byte from its seed on every compiler and library, so it does not use
// the standard distributions, whose results are left to each library.
#pragma once

#include <cstdint>

#include "base/hal_types.h"

class BusSimRandom {
public:
    // `stream` separates independent sequences drawn from one seed (the
    // scenario, the faults), so that switching faults on leaves the played
    // telegrams as they were.
    explicit BusSimRandom(U32 seed = 1, U32 stream = 0)
        : state_((static_cast<std::uint64_t>(stream) << 32 | seed) * 0x9E3779B97F4A7C15ull) {}

    // splitmix64
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // A value in [0, bound); 0 when bound is 0. The modulo bias is below
    // 2^-32 for the small bounds used here.
    U32 below(U32 bound) { return bound == 0 ? 0 : static_cast<U32>(next() % bound); }

    // A value in [low, high].
    U32 between(U32 low, U32 high) { return high <= low ? low : low + below(high - low + 1); }

    U8 byte() { return static_cast<U8>(next() >> 56); }

    // TRUE with the probability `p` (0 to 1).
    bool chance(double p) {
        constexpr double kScale = 1.0 / 9007199254740992.0;  // 2^-53
        return static_cast<double>(next() >> 11) * kScale < p;
    }

    template <typename T, std::size_t N>
    const T& pick(const T (&items)[N]) {
        return items[below(static_cast<U32>(N))];
    }

private:
    std::uint64_t state_;
};
