// What the output guard lets through: files, pipes and the null devices;
// never a line, the source, or another output's file under any name.
#include "hal/include/icOutputGuard.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/childProcess.h"
#include "support/ptyPair.h"

namespace {

struct PathCase {
    const char* name;
    std::string path;  // LINE: a pseudo-terminal; SRC: the source; CAP: the capture file; X-prefixed: links
    IcOutputUse use;
    bool allowed;
};

class OutputGuardPath : public testing::TestWithParam<PathCase> {
protected:
    void SetUp() override {
        icOutputGuardReset();
        std::ofstream(tmp_.file("source")) << "x";
        std::ofstream(tmp_.file("capture")) << "x";
        std::filesystem::create_hard_link(tmp_.file("source"), tmp_.file("sourceLink"));
        std::filesystem::create_symlink(tmp_.file("capture"), tmp_.file("captureLink"));
        std::filesystem::create_symlink(line_.slavePath(), tmp_.file("lineLink"));
        icOutputGuardSetSource(tmp_.file("source").c_str());
        std::string reason;
        std::FILE* capture = icOutputOpen(tmp_.file("capture").c_str(), "ab", IC_OUTPUT_CAPTURE, reason);
        ASSERT_NE(capture, nullptr) << reason;
        std::fclose(capture);
    }
    void TearDown() override { icOutputGuardReset(); }

    std::string resolve(const std::string& path) const {
        if (path == "LINE") {
            return line_.slavePath();
        }
        return path[0] == '/' ? path : tmp_.file(path);
    }

    zvtest::TempDir tmp_;
    PtyPair line_;
};

TEST_P(OutputGuardPath, DecidesBeforeAndAfterOpening) {
    const PathCase& c = GetParam();
    const std::string path = resolve(c.path);
    std::string reason;
    EXPECT_EQ(icOutputGuardCheck(path.c_str(), c.use, reason) != FALSE, c.allowed) << reason;
    // What was opened, judged again: the check before may have been fooled.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_NONBLOCK, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(icOutputGuardClaim(fd, path.c_str(), c.use, reason) != FALSE, c.allowed) << reason;
    ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(Guard, OutputGuardPath,
                         testing::Values(PathCase{"NewFile", "new.log", IC_OUTPUT_LOG, true},
                                         PathCase{"NullDevice", "/dev/null", IC_OUTPUT_LOG, true},
                                         PathCase{"FullDevice", "/dev/full", IC_OUTPUT_TABLE, true},
                                         PathCase{"PseudoTerminal", "LINE", IC_OUTPUT_CAPTURE, false},
                                         PathCase{"LinkToAPseudoTerminal", "lineLink", IC_OUTPUT_LOG, false},
                                         PathCase{"Ptmx", "/dev/ptmx", IC_OUTPUT_LOG, false},
                                         PathCase{"TheSource", "source", IC_OUTPUT_LOG, false},
                                         PathCase{"AHardLinkToTheSource", "sourceLink", IC_OUTPUT_CAPTURE, false},
                                         PathCase{"AnotherOutputsFile", "capture", IC_OUTPUT_LOG, false},
                                         PathCase{"ALinkToAnotherOutputsFile", "captureLink", IC_OUTPUT_STATS_CSV,
                                                  false},
                                         PathCase{"ItsOwnFileAgain", "captureLink", IC_OUTPUT_CAPTURE, true}),
                         [](const testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

TEST(OutputGuard, AReleasedFileIsFreeAgain) {
    icOutputGuardReset();
    zvtest::TempDir tmp;
    const std::string path = tmp.file("one");
    std::string reason;
    std::FILE* file = icOutputOpen(path.c_str(), "w", IC_OUTPUT_LOG, reason);
    ASSERT_NE(file, nullptr) << reason;
    std::fclose(file);
    EXPECT_EQ(icOutputOpen(path.c_str(), "w", IC_OUTPUT_CAPTURE, reason), nullptr);
    icOutputGuardRelease(IC_OUTPUT_LOG);
    file = icOutputOpen(path.c_str(), "w", IC_OUTPUT_CAPTURE, reason);
    EXPECT_NE(file, nullptr) << reason;
    if (file != nullptr) {
        std::fclose(file);
    }
    icOutputGuardReset();
}

}  // namespace
