// The handles of the serial and console drivers are their records, passed as
// untyped pointers. Each record starts with its driver's tag, so that a
// handle passed to the other driver's operations is caught instead of
// misread.
#pragma once

#include <cstring>

#include "base/hal_types.h"
#include "base/icError.h"

inline constexpr U32 kIcUartTag = 0x5A565354u;
inline constexpr U32 kIcConsoleTag = 0x5A56434Fu;

// The record behind `handle`, or nullptr for no handle; a handle without
// `tag` at its start is a fault of the caller, reported for `module`.
template <typename Record>
Record* icDriverFromHandle(void* handle, U32 tag, const char* module) {
    if (handle == nullptr) {
        return nullptr;
    }
    U32 found = 0;
    std::memcpy(&found, handle, sizeof found);
    IC_ASSERT(module, found == tag);
    return static_cast<Record*>(handle);
}
