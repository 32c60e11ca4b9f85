// Heap blocks of at most 255 bytes for received frames.
#pragma once

#include "base/hal_types.h"

void memInit();
void* memAlloc(U8 size);
void memFree(void* msg);
// Test seam: the next `count` calls of memAlloc fail as if the heap were
// exhausted; 0 ends it.
void memSetFailNextAllocs(U32 count);
