// Capture files through libpcap.
#include <pcap/pcap.h>
#include <sys/types.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "capture/zvCapFile.h"
#include "capture/zvCapFormat.h"
#include "hal/include/icOutputGuard.h"

namespace {

constexpr int kSnapLength = 65535;
constexpr U64 kMicrosPerSecond = 1000000;
// What stdio holds before it writes; packets are far smaller.
constexpr std::size_t kWriteBufferSize = std::size_t{64} * 1024;
constexpr std::size_t kRecordHeaderSize = 16;

std::string systemError(const char* what, int error) { return std::string(what) + ": " + std::strerror(error); }

}  // namespace

struct ZvCapWriter {
    pcap_t* dead = nullptr;
    pcap_dumper_t* dumper = nullptr;
    std::FILE* file = nullptr;
    std::vector<char> buffer = std::vector<char>(kWriteBufferSize);
    std::size_t buffered = 0;
};

namespace {

Boolean flushBuffered(ZvCapWriter* writer, std::string& error) {
    writer->buffered = 0;
    if (pcap_dump_flush(writer->dumper) != 0 || std::ferror(writer->file) != 0) {
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
    auto* writer = new ZvCapWriter;
    writer->file = std::fopen(path, "wb");
    if (writer->file == nullptr) {
        error = systemError("cannot create", errno);
        delete writer;
        return nullptr;
    }
    if (icOutputGuardClaim(icOutputStreamOs(writer->file), path, IC_OUTPUT_CAPTURE, error) == FALSE) {
        (void)std::fclose(writer->file);  // nothing written
        delete writer;
        return nullptr;
    }
    // Full buffering of a known size: stdio then writes only when told to,
    // and the writer tells it so between packets.
    (void)std::setvbuf(writer->file, writer->buffer.data(), _IOFBF, writer->buffer.size());
    writer->dead = pcap_open_dead(ZV_CAP_LINK_TYPE, kSnapLength);
    if (writer->dead != nullptr) {
        writer->dumper = pcap_dump_fopen(writer->dead, writer->file);
    }
    if (writer->dumper == nullptr) {
        error = writer->dead != nullptr ? pcap_geterr(writer->dead) : "cannot start the capture";
        (void)std::fclose(writer->file);  // nothing written yet
        icOutputGuardRelease(IC_OUTPUT_CAPTURE);
        if (writer->dead != nullptr) {
            pcap_close(writer->dead);
        }
        delete writer;
        return nullptr;
    }
    // The file header goes out at once: even an empty capture is readable.
    if (flushBuffered(writer, error) == FALSE) {
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
    const std::size_t record = kRecordHeaderSize + packet.size();
    if (writer->buffered + record > writer->buffer.size() && flushBuffered(writer, error) == FALSE) {
        return FALSE;
    }
    pcap_pkthdr header{};
    header.ts.tv_sec = static_cast<time_t>(wall_us / kMicrosPerSecond);
    header.ts.tv_usec = static_cast<suseconds_t>(wall_us % kMicrosPerSecond);
    header.caplen = static_cast<bpf_u_int32>(packet.size());
    header.len = header.caplen;
    pcap_dump(reinterpret_cast<u_char*>(writer->dumper), &header, packet.data());
    writer->buffered += record;
    if (std::ferror(writer->file) != 0) {
        error = systemError("cannot write", errno != 0 ? errno : EIO);
        return FALSE;
    }
    return TRUE;
}

Boolean zvCapWriterFlush(ZvCapWriter* writer, std::string& error) {
    if (writer == nullptr) {
        return FALSE;
    }
    return flushBuffered(writer, error);
}

Boolean zvCapWriterClose(ZvCapWriter* writer, std::string& error) {
    if (writer == nullptr) {
        return TRUE;
    }
    Boolean ok = TRUE;
    {
        ok = flushBuffered(writer, error);
        pcap_dump_close(writer->dumper);  // closes the file too
        pcap_close(writer->dead);
    }
    delete writer;
    icOutputGuardRelease(IC_OUTPUT_CAPTURE);
    return ok;
}

// --- reading -----------------------------------------------------------------------

struct ZvCapReader {
    pcap_t* pcap = nullptr;
};

namespace {

// A stream that gives back the bytes already taken to tell the format, then
// the rest of the file: pipes cannot be rewound.
struct PrefixedStream {
    std::array<U8, ZV_CAP_MAGIC_SIZE> head{};
    std::size_t headSize = 0;
    std::size_t headUsed = 0;
    std::FILE* rest = nullptr;
};

ssize_t readPrefixed(void* cookie, char* buffer, std::size_t size) {
    auto* stream = static_cast<PrefixedStream*>(cookie);
    std::size_t done = 0;
    while (done < size && stream->headUsed < stream->headSize) {
        buffer[done++] = static_cast<char>(stream->head[stream->headUsed++]);
    }
    if (done < size) {
        done += std::fread(buffer + done, 1, size - done, stream->rest);
        if (done == 0 && std::ferror(stream->rest) != 0) {
            return -1;
        }
    }
    return static_cast<ssize_t>(done);
}

int closePrefixed(void* cookie) {
    auto* stream = static_cast<PrefixedStream*>(cookie);
    const int rc = stream->rest != stdin ? std::fclose(stream->rest) : 0;
    delete stream;
    return rc;
}

// `file` from its first byte on.
std::FILE* rewound(std::FILE* file, std::span<const U8> head) {
    if (file != stdin && std::fseek(file, 0, SEEK_SET) == 0) {
        return file;
    }
    auto* stream = new PrefixedStream;
    stream->headSize = head.size() < stream->head.size() ? head.size() : stream->head.size();
    std::memcpy(stream->head.data(), head.data(), stream->headSize);
    stream->rest = file;
    cookie_io_functions_t functions{};
    functions.read = readPrefixed;
    functions.close = closePrefixed;
    std::FILE* joined = fopencookie(stream, "rb", functions);
    if (joined == nullptr) {
        closePrefixed(stream);
    }
    return joined;
}

}  // namespace

ZvCapReader* zvCapReaderOpen(std::FILE* file, std::span<const U8> head, std::string& error) {
    std::FILE* whole = rewound(file, head);
    if (whole == nullptr) {
        error = "cannot read the file";
        return nullptr;
    }
    std::array<char, PCAP_ERRBUF_SIZE> errorText{};
    pcap_t* pcap = pcap_fopen_offline(whole, errorText.data());
    if (pcap == nullptr) {
        error = errorText.data();
        (void)std::fclose(whole);  // read only: nothing to lose
        return nullptr;
    }
    const int linkType = pcap_datalink(pcap);
    if (linkType != ZV_CAP_LINK_TYPE) {
        error = "link type " + std::to_string(linkType) + ", not " + std::to_string(ZV_CAP_LINK_TYPE);
        pcap_close(pcap);
        return nullptr;
    }
    auto* reader = new ZvCapReader;
    reader->pcap = pcap;
    return reader;
}

ZvCapReadResult zvCapReaderNext(ZvCapReader* reader, U64& wall_us, std::span<const U8>& packet, std::string& error) {
    if (reader == nullptr) {
        return ZV_CAP_READ_ERROR;
    }
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    const int rc = pcap_next_ex(reader->pcap, &header, &data);
    if (rc == PCAP_ERROR_BREAK) {
        return ZV_CAP_READ_END;
    }
    if (rc != 1) {
        error = pcap_geterr(reader->pcap);
        return ZV_CAP_READ_ERROR;
    }
    if (header->caplen != header->len) {
        error =
            "packet cut short (" + std::to_string(header->caplen) + " of " + std::to_string(header->len) + " bytes)";
        return ZV_CAP_READ_ERROR;
    }
    if (header->ts.tv_sec < 0 || header->ts.tv_usec < 0) {
        error = "time stamp before 1970";
        return ZV_CAP_READ_ERROR;
    }
    wall_us = static_cast<U64>(header->ts.tv_sec) * kMicrosPerSecond + static_cast<U64>(header->ts.tv_usec);
    packet = std::span<const U8>(data, header->caplen);
    return ZV_CAP_READ_PACKET;
}

void zvCapReaderClose(ZvCapReader* reader) {
    if (reader == nullptr) {
        return;
    }
    pcap_close(reader->pcap);  // closes the file too
    delete reader;
}
