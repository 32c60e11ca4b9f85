// Capture files without the capture library: classic pcap written and read
// by the program itself (zvCapSavefile), for builds where the library is not
// at hand (Windows).
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "capture/zvCapFile.h"
#include "capture/zvCapFormat.h"
#include "capture/zvCapSavefile.h"
#include "hal/include/icOutputGuard.h"

namespace {

// What is held before it is written; packets are far smaller.
constexpr std::size_t kWriteBufferSize = std::size_t{64} * 1024;

std::string systemError(const char* what, int error) { return std::string(what) + ": " + std::strerror(error); }

}  // namespace

// The packets appended since the last flush are held here, not in stdio's
// buffer: what reaches the file is always whole packets, however the C
// library of the platform buffers.
struct ZvCapWriter {
    std::FILE* file = nullptr;
    std::vector<U8> pending;
};

namespace {

Boolean writePending(ZvCapWriter* writer, std::string& error) {
    errno = 0;
    const std::size_t written = std::fwrite(writer->pending.data(), 1, writer->pending.size(), writer->file);
    const bool complete = written == writer->pending.size();
    writer->pending.clear();
    if (!complete || std::fflush(writer->file) != 0 || std::ferror(writer->file) != 0) {
        error = systemError("cannot write", errno != 0 ? errno : EIO);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

ZvCapWriter* zvCapWriterOpen(const char* path, std::string& error) {
    // Checked before "wb" empties whatever the name stands for.
    if (icOutputGuardCheck(path, IC_OUTPUT_CAPTURE, error) == FALSE) {
        return nullptr;
    }
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        error = systemError("cannot create", errno);
        return nullptr;
    }
    if (icOutputGuardClaim(icOutputStreamOs(file), path, IC_OUTPUT_CAPTURE, error) == FALSE) {
        (void)std::fclose(file);  // nothing written
        return nullptr;
    }
    // Each flush is one write of whole packets: stdio adds no buffer of its own.
    (void)std::setvbuf(file, nullptr, _IONBF, 0);
    auto* writer = new ZvCapWriter;
    writer->file = file;
    writer->pending.reserve(kWriteBufferSize);
    // The file header goes out at once: even an empty capture is readable.
    writer->pending.resize(ZV_CAP_FILE_HEADER_SIZE);
    zvCapSavefileWriteHeader(std::span<U8, ZV_CAP_FILE_HEADER_SIZE>(writer->pending.data(), ZV_CAP_FILE_HEADER_SIZE));
    if (writePending(writer, error) == FALSE) {
        std::string ignored;
        (void)zvCapWriterClose(writer, ignored);
        return nullptr;
    }
    return writer;
}

Boolean zvCapWriterAppend(ZvCapWriter* writer, U64 wall_us, std::span<const U8> packet, std::string& error) {
    if (writer == nullptr) {
        return FALSE;
    }
    if (packet.size() > ZV_CAP_SNAP_LENGTH) {
        error = "packet of " + std::to_string(packet.size()) + " bytes, longer than the file's snap length";
        return FALSE;
    }
    const std::size_t record = ZV_CAP_RECORD_HEADER_SIZE + packet.size();
    if (writer->pending.size() + record > kWriteBufferSize && writePending(writer, error) == FALSE) {
        return FALSE;
    }
    const std::size_t at = writer->pending.size();
    writer->pending.resize(at + record);
    zvCapSavefileWriteRecord(
        wall_us, static_cast<U32>(packet.size()),
        std::span<U8, ZV_CAP_RECORD_HEADER_SIZE>(writer->pending.data() + at, ZV_CAP_RECORD_HEADER_SIZE));
    std::copy(packet.begin(), packet.end(),
              writer->pending.begin() + static_cast<std::ptrdiff_t>(at) +
                  static_cast<std::ptrdiff_t>(ZV_CAP_RECORD_HEADER_SIZE));
    return TRUE;
}

Boolean zvCapWriterFlush(ZvCapWriter* writer, std::string& error) {
    if (writer == nullptr) {
        return FALSE;
    }
    return writePending(writer, error);
}

Boolean zvCapWriterClose(ZvCapWriter* writer, std::string& error) {
    if (writer == nullptr) {
        return TRUE;
    }
    Boolean ok = writePending(writer, error);
    if (std::fclose(writer->file) != 0 && ok != FALSE) {
        error = systemError("cannot write", errno != 0 ? errno : EIO);
        ok = FALSE;
    }
    delete writer;
    icOutputGuardRelease(IC_OUTPUT_CAPTURE);
    return ok;
}

// --- reading -----------------------------------------------------------------------

struct ZvCapReader {
    std::FILE* file = nullptr;
    // The bytes already taken from the file to tell its format (a pipe
    // cannot be rewound), handed out before the rest of it.
    std::array<U8, ZV_CAP_MAGIC_SIZE> head{};
    std::size_t headSize = 0;
    std::size_t headUsed = 0;
    ZvCapSavefile format{};
    std::vector<U8> packet;
};

namespace {

// Fills `out` as far as the file goes; the count of bytes read.
std::size_t readUpTo(ZvCapReader& reader, std::span<U8> out) {
    std::size_t done = 0;
    while (done < out.size() && reader.headUsed < reader.headSize) {
        out[done++] = reader.head[reader.headUsed++];
    }
    if (done < out.size()) {
        done += std::fread(out.data() + done, 1, out.size() - done, reader.file);
    }
    return done;
}

// The reason a read came up short: the system's, or the file's end.
std::string shortRead(const ZvCapReader& reader, const char* what, std::size_t wanted, std::size_t got) {
    if (std::ferror(reader.file) != 0) {
        return systemError("cannot read", errno != 0 ? errno : EIO);
    }
    return std::string("truncated file: ") + what + " of " + std::to_string(wanted) + " bytes, only " +
           std::to_string(got) + " there";
}

void closeFile(std::FILE* file) {
    if (file != nullptr && file != stdin) {
        (void)std::fclose(file);  // read only: nothing to lose
    }
}

}  // namespace

ZvCapReader* zvCapReaderOpen(std::FILE* file, std::span<const U8> head, std::string& error) {
    auto* reader = new ZvCapReader;
    reader->file = file;
    reader->headSize = std::min(head.size(), reader->head.size());
    std::copy_n(head.begin(), reader->headSize, reader->head.begin());
    std::array<U8, ZV_CAP_FILE_HEADER_SIZE> header{};
    errno = 0;
    const std::size_t got = readUpTo(*reader, header);
    Boolean ok = FALSE;
    if (got != header.size()) {
        error = shortRead(*reader, "file header", header.size(), got);
    } else if (zvCapSavefileReadHeader(header, reader->format, error) != FALSE) {
        ok = TRUE;
        if (reader->format.linkType != static_cast<U32>(ZV_CAP_LINK_TYPE)) {
            error =
                "link type " + std::to_string(reader->format.linkType) + ", not " + std::to_string(ZV_CAP_LINK_TYPE);
            ok = FALSE;
        }
    }
    if (ok == FALSE) {
        zvCapReaderClose(reader);
        return nullptr;
    }
    return reader;
}

ZvCapReadResult zvCapReaderNext(ZvCapReader* reader, U64& wall_us, std::span<const U8>& packet, std::string& error) {
    if (reader == nullptr) {
        return ZV_CAP_READ_ERROR;
    }
    std::array<U8, ZV_CAP_RECORD_HEADER_SIZE> header{};
    errno = 0;
    const std::size_t got = readUpTo(*reader, header);
    if (got == 0 && std::ferror(reader->file) == 0) {
        return ZV_CAP_READ_END;
    }
    if (got != header.size()) {
        error = shortRead(*reader, "packet header", header.size(), got);
        return ZV_CAP_READ_ERROR;
    }
    U32 length = 0;
    if (zvCapSavefileReadRecord(header, reader->format, wall_us, length, error) == FALSE) {
        return ZV_CAP_READ_ERROR;
    }
    reader->packet.resize(length);
    const std::size_t data = readUpTo(*reader, reader->packet);
    if (data != length) {
        error = shortRead(*reader, "packet", length, data);
        return ZV_CAP_READ_ERROR;
    }
    packet = reader->packet;
    return ZV_CAP_READ_PACKET;
}

void zvCapReaderClose(ZvCapReader* reader) {
    if (reader == nullptr) {
        return;
    }
    closeFile(reader->file);
    delete reader;
}
