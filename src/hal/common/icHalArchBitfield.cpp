#include "hal/include/icHalArchBitfield.h"

#include <algorithm>

namespace {
constexpr U8 kBitsPerElement = 8;

constexpr U8 maskOf(U8 bitNumber) { return static_cast<U8>(1u << (bitNumber % kBitsPerElement)); }
}  // namespace

Boolean icHalArchBitfieldGet(const IcHalArchBitfieldStorageElement* bf, U8 bitNumber) {
    return (bf[bitNumber / kBitsPerElement] & maskOf(bitNumber)) != 0 ? TRUE : FALSE;
}

void icHalArchBitfieldSet(IcHalArchBitfieldStorageElement* bf, U8 bitNumber, Boolean value) {
    IcHalArchBitfieldStorageElement& element = bf[bitNumber / kBitsPerElement];
    if (value != FALSE) {
        element = static_cast<U8>(element | maskOf(bitNumber));
    } else {
        element = static_cast<U8>(element & ~maskOf(bitNumber));
    }
}

void icHalArchBitfieldClear(IcHalArchBitfieldStorageElement* bf, U8 bitFieldSizeInBits) {
    // Only whole elements: the bits of a trailing partial element may belong
    // to a neighbouring field that shares the byte.
    std::fill_n(bf, bitFieldSizeInBits / kBitsPerElement, IcHalArchBitfieldStorageElement{0});
}
