// What a path or an open file is, as far as the output guard needs to know:
// the part of it that asks the operating system. Private to the platform
// layer.
#pragma once

#include <cstdint>
#include <cstdio>

#include "base/hal_types.h"

// Tells two names of one file apart from two files.
struct IcFileId {
    U64 volume = 0;
    U64 index = 0;
    friend bool operator==(const IcFileId&, const IcFileId&) = default;
};

enum IcFileKind : U8 {
    IC_FILE_MISSING = 0,   // nothing there yet: it will be created
    IC_FILE_WRITABLE = 1,  // a file, a pipe, or a device that is no line (/dev/null)
    IC_FILE_LINE = 2,      // a terminal or serial device
};

// Without opening `path`: opening a serial device moves its control lines.
IcFileKind icFileProbePath(const char* path, IcFileId* id);
IcFileKind icFileProbeOpen(std::intptr_t os, IcFileId* id);
std::intptr_t icFileOsOfStream(std::FILE* file);
