// Bit fields of up to 256 bits stored in bytes, bit n in element n / 8 at
// position n % 8.
#pragma once

#include "base/hal_types.h"

using IcHalArchBitfieldStorageElement = U8;
using IcHalArchBitfield = IcHalArchBitfieldStorageElement*;

Boolean icHalArchBitfieldGet(const IcHalArchBitfieldStorageElement* bf, U8 bitNumber);
void icHalArchBitfieldSet(IcHalArchBitfieldStorageElement* bf, U8 bitNumber, Boolean value);
// Clears whole elements 0 .. bitFieldSizeInBits / 8 - 1 only.
void icHalArchBitfieldClear(IcHalArchBitfieldStorageElement* bf, U8 bitFieldSizeInBits);
