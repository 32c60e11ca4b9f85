// The bit field that holds the bus observer's online set.
#include <gtest/gtest.h>

#include <array>

#include "hal/include/icHalArchBitfield.h"

namespace {

TEST(IcHalArchBitfield, BitNumbersMapToElementAndMask) {
    struct Case {
        U8 bit;
        std::size_t element;
        U8 mask;
    };
    for (const Case& c :
         {Case{0, 0, 0x01}, Case{7, 0, 0x80}, Case{9, 1, 0x02}, Case{128, 16, 0x01}, Case{255, 31, 0x80}}) {
        std::array<U8, 32> bf{};
        icHalArchBitfieldSet(bf.data(), c.bit, 7);  // any non-zero value sets
        std::array<U8, 32> expected{};
        expected[c.element] = c.mask;
        EXPECT_EQ(bf, expected) << static_cast<int>(c.bit);
        EXPECT_EQ(icHalArchBitfieldGet(bf.data(), c.bit), TRUE);

        bf.fill(0xFF);
        icHalArchBitfieldSet(bf.data(), c.bit, FALSE);
        EXPECT_EQ(bf[c.element], static_cast<U8>(~c.mask)) << static_cast<int>(c.bit);
        EXPECT_EQ(icHalArchBitfieldGet(bf.data(), c.bit), FALSE);
    }
}

TEST(IcHalArchBitfield, ClearTouchesWholeElementsOnly) {
    struct Case {
        U8 sizeInBits;
        std::size_t clearedElements;
    };
    for (const Case& c : {Case{0, 0}, Case{7, 0}, Case{8, 1}, Case{12, 1}, Case{16, 2}, Case{255, 31}}) {
        std::array<U8, 33> bf{};
        bf.fill(0xA5);
        icHalArchBitfieldClear(bf.data(), c.sizeInBits);
        for (std::size_t i = 0; i < bf.size(); ++i) {
            EXPECT_EQ(bf[i], i < c.clearedElements ? 0x00 : 0xA5) << "size " << int(c.sizeInBits) << " element " << i;
        }
    }
}

}  // namespace
