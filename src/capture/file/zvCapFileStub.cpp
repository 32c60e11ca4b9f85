// Capture files in a build without the capture library: every open says so.
#include "capture/zvCapFile.h"

struct ZvCapWriter {};
struct ZvCapReader {};

ZvCapWriter* zvCapWriterOpen(const char* /*path*/, std::string& error) {
    error = ZV_CAP_NOT_AVAILABLE;
    return nullptr;
}

Boolean zvCapWriterAppend(ZvCapWriter* /*writer*/, U64 /*wall_us*/, std::span<const U8> /*packet*/,
                          std::string& error) {
    error = ZV_CAP_NOT_AVAILABLE;
    return FALSE;
}

Boolean zvCapWriterFlush(ZvCapWriter* /*writer*/, std::string& error) {
    error = ZV_CAP_NOT_AVAILABLE;
    return FALSE;
}

Boolean zvCapWriterClose(ZvCapWriter* /*writer*/, std::string& /*error*/) { return TRUE; }

ZvCapReader* zvCapReaderOpen(std::FILE* file, std::span<const U8> /*head*/, std::string& error) {
    if (file != nullptr && file != stdin) {
        std::fclose(file);
    }
    error = ZV_CAP_NOT_AVAILABLE;
    return nullptr;
}

ZvCapReadResult zvCapReaderNext(ZvCapReader* /*reader*/, U64& /*wall_us*/, std::span<const U8>& /*packet*/,
                                std::string& error) {
    error = ZV_CAP_NOT_AVAILABLE;
    return ZV_CAP_READ_ERROR;
}

void zvCapReaderClose(ZvCapReader* /*reader*/) {}
