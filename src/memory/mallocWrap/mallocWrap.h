// Heap blocks of at most 255 bytes for received frames.
#pragma once

#include "hal/include/hal_types.h"

void memInit();
void* memAlloc(U8 size);
void memFree(void* msg);
