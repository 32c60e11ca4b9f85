// Windows reaches ports and consoles by reserved names in any folder and with
// any extension; the probe must see through every spelling.
#include "hal/common/icFileProbe.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

struct NameCase {
    const char* path;
    IcFileKind kind;
};

class WinFileProbe : public testing::TestWithParam<NameCase> {};

TEST_P(WinFileProbe, TellsLinesFromFilesByName) {
    IcFileId id{};
    EXPECT_EQ(icFileProbePath(GetParam().path, &id), GetParam().kind) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(Probe, WinFileProbe,
                         testing::Values(NameCase{"COM1", IC_FILE_LINE}, NameCase{"com7", IC_FILE_LINE},
                                         NameCase{"\\\\.\\COM12", IC_FILE_LINE}, NameCase{"//./COM3", IC_FILE_LINE},
                                         NameCase{"C:\\logs\\com2.txt", IC_FILE_LINE},
                                         NameCase{"CONOUT$", IC_FILE_LINE}, NameCase{"aux", IC_FILE_LINE},
                                         NameCase{"NUL", IC_FILE_WRITABLE}, NameCase{"computer.log", IC_FILE_MISSING},
                                         NameCase{"C:\\no\\such\\folder\\x.pcap", IC_FILE_MISSING}));

TEST(WinFileProbe, AnOpenFileIsWritableAndKnownByItsIdentity) {
    const std::string path = "probe-test.tmp";
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    IcFileId byName{};
    IcFileId byHandle{};
    EXPECT_EQ(icFileProbePath(path.c_str(), &byName), IC_FILE_WRITABLE);
    EXPECT_EQ(icFileProbeOpen(icFileOsOfStream(file), &byHandle), IC_FILE_WRITABLE);
    EXPECT_EQ(byName, byHandle);
    std::fclose(file);
    std::remove(path.c_str());
}

}  // namespace
