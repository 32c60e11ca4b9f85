// The program's own pcap writer and reader: its files are the bytes libpcap
// writes for the same packets, it reads libpcap's files (and those of the
// other byte order and with nanosecond stamps) to the same packets, and a
// file cut or corrupt anywhere ends in an error, never past the data.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "capture/zvCapFile.h"
#include "capture/zvCapFormat.h"
#include "capture/zvCapSavefile.h"

#if defined(ZV_TEST_WITH_LIBPCAP)
#include <pcap/pcap.h>
#endif

namespace {

struct Packet {
    U64 wall_us;
    std::vector<U8> bytes;
    bool operator==(const Packet&) const = default;
};

// Stamps at the edges: the epoch, the last microsecond of a second, seconds
// that need all 32 bits; an empty packet and the longest one a unit makes.
const std::vector<Packet> kPackets{
    {0, {}},
    {1700000000999999ULL, {0x02, 0x0c, 0x00, 0x00, 0x00, 0x00, 0x4b, 0x00, 0x00, 0x01, 0x00, 0x02, 0x02, 0x00, 0x05}},
    {4294967295000001ULL, std::vector<U8>(1040, 0xa5)},
    {1800000000000000ULL, {0x03}},
};

class TempFile {
public:
    TempFile() {
        static std::atomic<int> counter{0};
        path_ =
            (std::filesystem::temp_directory_path() / ("zvCapSavefileTest-" + std::to_string(std::random_device{}()) +
                                                       "-" + std::to_string(counter++) + ".pcap"))
                .string();
    }
    ~TempFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const char* path() const { return path_.c_str(); }

private:
    std::string path_;
};

std::vector<U8> bytesOf(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const char* path, const std::vector<U8>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void writeOwn(const char* path, const std::vector<Packet>& packets) {
    std::string error;
    ZvCapWriter* writer = zvCapWriterOpen(path, error);
    ASSERT_NE(writer, nullptr) << error;
    for (const Packet& p : packets) {
        ASSERT_TRUE(zvCapWriterAppend(writer, p.wall_us, p.bytes, error)) << error;
    }
    ASSERT_TRUE(zvCapWriterClose(writer, error)) << error;
}

struct ReadBack {
    std::vector<Packet> packets;
    std::string error;  // empty when the file read to its end
};

// As -r reads: the first bytes taken to tell the format, then the reader.
ReadBack readOwn(const char* path) {
    ReadBack out;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        out.error = "cannot open";
        return out;
    }
    std::array<U8, ZV_CAP_MAGIC_SIZE> head{};
    const std::size_t headSize = std::fread(head.data(), 1, head.size(), file);
    ZvCapReader* reader = zvCapReaderOpen(file, std::span<const U8>(head.data(), headSize), out.error);
    if (reader == nullptr) {
        return out;
    }
    for (;;) {
        U64 wall_us = 0;
        std::span<const U8> packet;
        const ZvCapReadResult result = zvCapReaderNext(reader, wall_us, packet, out.error);
        if (result != ZV_CAP_READ_PACKET) {
            if (result == ZV_CAP_READ_ERROR && out.error.empty()) {
                out.error = "an error without a reason";
            }
            break;
        }
        out.packets.push_back({wall_us, std::vector<U8>(packet.begin(), packet.end())});
    }
    zvCapReaderClose(reader);
    return out;
}

// A savefile built here, in either byte order and stamp resolution.
struct Layout {
    const char* name;
    bool bigEndian;
    bool nanoseconds;
};

std::vector<U8> handMade(const Layout& layout, const std::vector<Packet>& packets, U32 linkType = 149) {
    std::vector<U8> out;
    const auto put = [&](U32 v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            const int shift = layout.bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
            out.push_back(static_cast<U8>(v >> shift));
        }
    };
    put(layout.nanoseconds ? 0xa1b23c4dU : 0xa1b2c3d4U, 4);
    put(2, 2);
    put(4, 2);
    put(0, 4);
    put(0, 4);
    put(65535, 4);
    put(linkType, 4);
    for (const Packet& p : packets) {
        const U32 fraction = static_cast<U32>(p.wall_us % 1000000) * (layout.nanoseconds ? 1000U : 1U) +
                             (layout.nanoseconds ? 999U : 0U);  // nanoseconds below the microsecond fall away
        put(static_cast<U32>(p.wall_us / 1000000), 4);
        put(fraction, 4);
        put(static_cast<U32>(p.bytes.size()), 4);
        put(static_cast<U32>(p.bytes.size()), 4);
        out.insert(out.end(), p.bytes.begin(), p.bytes.end());
    }
    return out;
}

class SavefileLayout : public testing::TestWithParam<Layout> {};

TEST_P(SavefileLayout, ReadsToTheSamePackets) {
    TempFile file;
    writeBytes(file.path(), handMade(GetParam(), kPackets));
    const ReadBack back = readOwn(file.path());
    EXPECT_EQ(back.error, "");
    EXPECT_TRUE(back.packets == kPackets);
}

INSTANTIATE_TEST_SUITE_P(Savefile, SavefileLayout,
                         testing::Values(Layout{"LittleEndianMicros", false, false},
                                         Layout{"BigEndianMicros", true, false},
                                         Layout{"LittleEndianNanos", false, true},
                                         Layout{"BigEndianNanos", true, true}),
                         [](const testing::TestParamInfo<Layout>& info) { return std::string(info.param.name); });

TEST(Savefile, WritesWhatItReads) {
    TempFile file;
    writeOwn(file.path(), kPackets);
    const ReadBack back = readOwn(file.path());
    EXPECT_EQ(back.error, "");
    EXPECT_TRUE(back.packets == kPackets);
    EXPECT_EQ(bytesOf(file.path()), handMade(Layout{"", false, false}, kPackets));
}

// A killed sniffer leaves what was flushed: whole packets, never part of one.
TEST(Savefile, OnlyAFlushPutsPacketsIntoTheFile) {
    TempFile file;
    std::string error;
    ZvCapWriter* writer = zvCapWriterOpen(file.path(), error);
    ASSERT_NE(writer, nullptr) << error;
    EXPECT_EQ(bytesOf(file.path()).size(), ZV_CAP_FILE_HEADER_SIZE);
    for (const Packet& p : kPackets) {
        ASSERT_TRUE(zvCapWriterAppend(writer, p.wall_us, p.bytes, error)) << error;
    }
    EXPECT_EQ(bytesOf(file.path()).size(), ZV_CAP_FILE_HEADER_SIZE);
    ASSERT_TRUE(zvCapWriterFlush(writer, error)) << error;
    EXPECT_EQ(bytesOf(file.path()), handMade(Layout{"", false, false}, kPackets));
    ASSERT_TRUE(zvCapWriterClose(writer, error)) << error;
}

// Cut after any byte, a file reads to the packets before the cut: at a
// packet's end that is the file's end, anywhere else an error.
TEST(Savefile, ACutAnywhereEndsAtTheLastWholePacket) {
    const std::vector<U8> whole = handMade(Layout{"", true, false}, kPackets);
    std::vector<std::size_t> ends{ZV_CAP_FILE_HEADER_SIZE};
    for (const Packet& p : kPackets) {
        ends.push_back(ends.back() + ZV_CAP_RECORD_HEADER_SIZE + p.bytes.size());
    }
    TempFile file;
    for (std::size_t size = 0; size < whole.size(); ++size) {
        writeBytes(file.path(), std::vector<U8>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)));
        const ReadBack back = readOwn(file.path());
        std::size_t complete = 0;
        while (complete + 1 < ends.size() && ends[complete + 1] <= size) {
            ++complete;
        }
        const bool atAnEnd = size >= ZV_CAP_FILE_HEADER_SIZE && ends[complete] == size;
        ASSERT_EQ(back.error.empty(), atAnEnd) << size << ": " << back.error;
        ASSERT_TRUE(back.packets ==
                    std::vector<Packet>(kPackets.begin(), kPackets.begin() + static_cast<std::ptrdiff_t>(complete)))
            << size;
    }
}

struct Corrupt {
    const char* name;
    std::vector<U8> content;
    const char* says;
    std::size_t packetsBefore;
};

std::vector<U8> withRecord(std::vector<U8> file, U32 captured, U32 original) {
    for (const U32 v : {1700000000U, 0U, captured, original}) {
        for (int i = 0; i < 4; ++i) {
            file.push_back(static_cast<U8>(v >> (8 * i)));
        }
    }
    return file;
}

const Layout kLittle{"", false, false};
const std::vector<Packet> kOne(kPackets.begin() + 1, kPackets.begin() + 2);

class SavefileCorrupt : public testing::TestWithParam<Corrupt> {};

TEST_P(SavefileCorrupt, SaysWhyAfterThePacketsBefore) {
    TempFile file;
    writeBytes(file.path(), GetParam().content);
    const ReadBack back = readOwn(file.path());
    EXPECT_NE(back.error.find(GetParam().says), std::string::npos) << back.error;
    EXPECT_EQ(back.packets.size(), GetParam().packetsBefore);
}

std::vector<U8> withVersion(U8 major, U8 minor) {
    std::vector<U8> file = handMade(kLittle, kOne);
    file[4] = major;
    file[6] = minor;
    return file;
}

INSTANTIATE_TEST_SUITE_P(
    Savefile, SavefileCorrupt,
    testing::Values(
        Corrupt{"Pcapng",
                {0x0a, 0x0d, 0x0d, 0x0a, 0x1c, 0,    0,    0,    0x4d, 0x3c, 0x2b, 0x1a,
                 1,    0,    0,    0,    0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff},
                "pcapng",
                0},
        Corrupt{"UnknownMagic", std::vector<U8>(24, 0x42), "unknown file format", 0},
        Corrupt{"NewerVersion", withVersion(3, 0), "pcap version 3.0", 0},
        Corrupt{"NewerMinorVersion", withVersion(2, 5), "pcap version 2.5", 0},
        Corrupt{"AnotherLinkType", handMade(kLittle, kOne, 1), "link type 1, not 149", 0},
        Corrupt{"LinkTypeWithFcsBits", handMade(kLittle, kOne, 0x10000000U | 149U), "", 1},
        Corrupt{"HugeLength", withRecord(handMade(kLittle, kOne), 0x7ffffff0U, 0x7ffffff0U), "packet length", 1},
        Corrupt{"CutWhenCaptured", withRecord(handMade(kLittle, kOne), 4, 9), "packet cut short (4 of 9 bytes)", 1}),
    [](const testing::TestParamInfo<Corrupt>& info) { return std::string(info.param.name); });

#if defined(ZV_TEST_WITH_LIBPCAP)

void writeLibpcap(const char* path, const std::vector<Packet>& packets, bool nanoseconds) {
    pcap_t* dead = pcap_open_dead_with_tstamp_precision(
        ZV_CAP_LINK_TYPE, 65535, nanoseconds ? PCAP_TSTAMP_PRECISION_NANO : PCAP_TSTAMP_PRECISION_MICRO);
    ASSERT_NE(dead, nullptr);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path);
    ASSERT_NE(dumper, nullptr) << pcap_geterr(dead);
    for (const Packet& p : packets) {
        pcap_pkthdr header{};
        header.ts.tv_sec = static_cast<time_t>(p.wall_us / 1000000);
        // With nanosecond precision libpcap takes this field as nanoseconds.
        header.ts.tv_usec = static_cast<suseconds_t>(p.wall_us % 1000000 * (nanoseconds ? 1000 : 1));
        header.caplen = static_cast<bpf_u_int32>(p.bytes.size());
        header.len = header.caplen;
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, p.bytes.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

TEST(SavefileAndLibpcap, TheSameBytesForTheSamePackets) {
    TempFile own;
    TempFile theirs;
    writeOwn(own.path(), kPackets);
    writeLibpcap(theirs.path(), kPackets, false);
    EXPECT_EQ(bytesOf(own.path()), bytesOf(theirs.path()));
    // An empty capture too: the file header alone.
    writeOwn(own.path(), {});
    writeLibpcap(theirs.path(), {}, false);
    EXPECT_EQ(bytesOf(own.path()), bytesOf(theirs.path()));
}

TEST(SavefileAndLibpcap, ReadsLibpcapFilesToTheSamePackets) {
    for (const bool nanoseconds : {false, true}) {
        TempFile theirs;
        writeLibpcap(theirs.path(), kPackets, nanoseconds);
        const ReadBack back = readOwn(theirs.path());
        EXPECT_EQ(back.error, "") << nanoseconds;
        EXPECT_TRUE(back.packets == kPackets) << nanoseconds;
    }
}

#endif

}  // namespace
