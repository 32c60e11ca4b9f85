// The capture ring driven packet by packet with stamps it is given: the
// files it leaves hold exactly the packets one file would, none split or
// lost at a change, each file within its limits, and only the newest N of
// the run remain.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "Appl/zelvanEacSniffer/captureRing.h"
#include "capture/zvCapSavefile.h"

namespace {

namespace fs = std::filesystem;

constexpr U64 kStart_us = 1700000000000000ULL;

class TempDir {
public:
    // One folder per process and object: CTest runs the cases in parallel.
    TempDir()
        : path_(fs::temp_directory_path() /
                ("captureRingTest-" + std::to_string(std::random_device{}()) + "-" + std::to_string(counter_++))) {
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // The files in it, sorted by name.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const fs::directory_entry& e : fs::directory_iterator(path_)) {
            out.push_back(e.path().filename().string());
        }
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    static inline int counter_ = 0;
    fs::path path_;
};

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Stamped {
    U64 wall_us;
    std::vector<U8> bytes;
};

// Traffic over ten seconds: packets of 1 to 60 bytes every 0.3 s.
std::vector<Stamped> traffic() {
    std::vector<Stamped> out;
    for (U64 i = 0; i < 34; ++i) {
        out.push_back({kStart_us + i * 300000, std::vector<U8>(1 + i * 7 % 60, static_cast<U8>(i))});
    }
    return out;
}

void writeRing(const std::string& path, const CaptureRingLimits& limits, const std::vector<Stamped>& packets) {
    CaptureRing ring;
    std::string error;
    ASSERT_TRUE(ring.open(path, limits, error)) << error;
    for (const Stamped& p : packets) {
        ASSERT_TRUE(ring.append(p.wall_us, p.bytes, error)) << error;
    }
    ASSERT_TRUE(ring.close(error)) << error;
}

struct Record {
    U64 wall_us;
    std::size_t size;
};

// The records of a pcap file written on this machine.
std::vector<Record> recordsOf(const std::string& file) {
    std::vector<Record> out;
    const auto le32 = [&](std::size_t at) {
        U32 v = 0;
        for (std::size_t i = 4; i-- > 0;) {
            v = (v << 8U) | static_cast<U8>(file[at + i]);
        }
        return v;
    };
    for (std::size_t at = ZV_CAP_FILE_HEADER_SIZE; at + ZV_CAP_RECORD_HEADER_SIZE <= file.size();) {
        out.push_back({U64{le32(at)} * 1000000 + le32(at + 4), le32(at + 8)});
        at += ZV_CAP_RECORD_HEADER_SIZE + le32(at + 8);
    }
    return out;
}

struct RingCase {
    const char* name;
    CaptureRingLimits limits;
    std::size_t files;
};

class Ring : public testing::TestWithParam<RingCase> {};

TEST_P(Ring, FilesInOrderHoldWhatOneFileHoldsEachWithinItsLimits) {
    const RingCase& c = GetParam();
    TempDir one;
    TempDir ring;
    writeRing(one.file("bus.pcap"), CaptureRingLimits{}, traffic());
    writeRing(ring.file("bus.pcap"), c.limits, traffic());
    const std::vector<std::string> names = ring.names();
    ASSERT_EQ(names.size(), c.files);
    std::string joined = bytesOf(ring.file(names.front())).substr(0, ZV_CAP_FILE_HEADER_SIZE);
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_TRUE(
            std::regex_match(names[i], std::regex("bus_0000" + std::to_string(i + 1) + "_\\d{8}T\\d{6}\\.pcap")))
            << names[i];
        const std::string file = bytesOf(ring.file(names[i]));
        const std::vector<Record> records = recordsOf(file);
        ASSERT_FALSE(records.empty()) << names[i];
        if (c.limits.maxBytes != 0) {
            EXPECT_LE(file.size(), c.limits.maxBytes) << names[i];
        }
        if (c.limits.maxDuration_us != 0) {
            EXPECT_LT(records.back().wall_us - records.front().wall_us, c.limits.maxDuration_us) << names[i];
        }
        joined += file.substr(ZV_CAP_FILE_HEADER_SIZE);
    }
    EXPECT_TRUE(joined == bytesOf(one.file("bus.pcap")));
}

INSTANTIATE_TEST_SUITE_P(CaptureRing, Ring,
                         testing::Values(RingCase{"EveryTwoSeconds", {0, 2000000, 0}, 5},
                                         RingCase{"AtFiveHundredBytes", {500, 0, 0}, 4},
                                         // Whichever comes first.
                                         RingCase{"SizeOrTime", {320, 2000000, 0}, 6}),
                         [](const testing::TestParamInfo<RingCase>& info) { return std::string(info.param.name); });

TEST(CaptureRing, KeepsTheNewestFilesOfTheRunOnly) {
    TempDir dir;
    // A file of an earlier run with the same base stays.
    std::ofstream(dir.file("bus_00001_19991231T235959.pcap")) << "earlier run";
    writeRing(dir.file("bus.pcap"), CaptureRingLimits{0, 2000000, 2}, traffic());
    const std::vector<std::string> names = dir.names();
    ASSERT_EQ(names.size(), 3U);
    EXPECT_EQ(names[0], "bus_00001_19991231T235959.pcap");
    EXPECT_EQ(names[1].substr(0, 10), "bus_00004_");
    EXPECT_EQ(names[2].substr(0, 10), "bus_00005_");
    const std::vector<Record> last = recordsOf(bytesOf(dir.file(names[2])));
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(last.back().wall_us, traffic().back().wall_us);
}

struct NameCase {
    const char* path;
    const char* before;
    const char* after;
};

class RingName : public testing::TestWithParam<NameCase> {};

TEST_P(RingName, GoesBeforeTheExtensionOfTheFileName) {
    const std::string name = captureRingFileName(GetParam().path, 12, kStart_us);
    const std::string before = GetParam().before;
    const std::string after = GetParam().after;
    ASSERT_EQ(name.size(), before.size() + 6 + 16 + after.size()) << name;
    EXPECT_EQ(name.substr(0, before.size() + 6), before + "_00012") << name;
    EXPECT_TRUE(std::regex_match(name.substr(before.size() + 6, 16), std::regex("_\\d{8}T\\d{6}"))) << name;
    EXPECT_EQ(name.substr(name.size() - after.size()), after) << name;
}

INSTANTIATE_TEST_SUITE_P(CaptureRing, RingName,
                         testing::Values(NameCase{"/data/bus.pcap", "/data/bus", ".pcap"}, NameCase{"bus", "bus", ""},
                                         NameCase{"site.d/bus", "site.d/bus", ""},
                                         NameCase{"C:\\logs.d\\bus.cap", "C:\\logs.d\\bus", ".cap"},
                                         NameCase{"dir/.pcap", "dir/.pcap", ""}));

}  // namespace
