#include "logger/logger.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Shell/shell.h"
#include "base/icError.h"
#include "fifo/icFifo.h"
#include "hal/include/icLocalTime.h"
#include "hal/include/icPlatformTimer.h"

namespace {

namespace fs = std::filesystem;

// A FIFO cannot be destroyed, so these are set up once and emptied per test.
Char txBuffer[5000];
Char rxBuffer[255];
IcFifoInstance fifoTx{};
IcFifoInstance fifoRx{};

void pinnedTime(IcLocalTime* out) { *out = IcLocalTime{2024, 1, 31, 13, 5, 9, 42}; }

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        static const bool fifosReady = [] {
            icFifoInit(&fifoTx, txBuffer, sizeof txBuffer);
            icFifoInit(&fifoRx, rxBuffer, sizeof rxBuffer);
            return true;
        }();
        (void)fifosReady;
        shellInit(nullptr, &fifoTx, &fifoRx);
        console();
        // A fresh folder per test, named at random (mkdtemp is POSIX only).
        std::random_device random;
        do {
            dir = fs::temp_directory_path() / ("loggerTest." + std::to_string(random()));
        } while (!fs::create_directory(dir));
    }
    void TearDown() override {
        loggerDisableLogToFile();
        loggerSetSink(nullptr, nullptr);
        icLocalTimeSetSource(nullptr);
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    static std::string console() {
        std::string out;
        while (icFifoCharsToPop(&fifoTx) != 0) {
            out.push_back(icFifoPopChar(&fifoTx));
        }
        return out;
    }
    static std::string fileText(const std::string& path) {
        std::stringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        return text.str();
    }
    // `logToFile` followed by `words`.
    static Boolean command(std::vector<std::string> words) {
        std::vector<char*> argv{const_cast<char*>("logToFile")};
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        return loggerLogToFileCmd(static_cast<U8>(argv.size() - 1), argv.data());
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }

    fs::path dir;
};

TEST_F(LoggerTest, ConsoleAlwaysFileWhileSwitchedOn) {
    loggerPrintf("x=%d\n", 5);
    EXPECT_EQ(console(), "x=5\n\r");
    EXPECT_TRUE(fs::is_empty(dir));

    const std::string name = path("log.txt");
    std::ofstream(name) << "earlier\n";
    EXPECT_EQ(command({"1", name}), TRUE);
    loggerPrintf("a\n");
    loggerFlush();
    fs::remove(name);  // the next flush creates it anew
    loggerPrintf("b\n");
    EXPECT_EQ(command({"0"}), TRUE);
    loggerPrintf("c\n");
    EXPECT_EQ(console(), "a\n\rb\n\rc\n\r");
    EXPECT_EQ(fileText(name), "b\n");
}

TEST_F(LoggerTest, LogToFileArguments) {
    struct Case {
        const char* name;
        bool startOn;
        std::vector<std::string> words;  // NAME stands for a fresh file
        Boolean result;
        bool endsOn;
    };
    const Case cases[] = {
        {"1 name", false, {"1", "NAME"}, TRUE, true},
        {"01 name", false, {"01", "NAME"}, TRUE, true},
        {"1x name", false, {"1x", "NAME"}, TRUE, true},
        {"no arguments", false, {}, FALSE, false},
        {"1 without name", false, {"1"}, FALSE, false},
        {"2", false, {"2", "NAME"}, FALSE, false},
        {"10", false, {"10", "NAME"}, FALSE, false},
        {"huge number", false, {"19999999999999999999999", "NAME"}, FALSE, false},
        {"x", false, {"x", "NAME"}, FALSE, false},
        {"+1", false, {"+1", "NAME"}, FALSE, false},
        {"0 extra", true, {"0", "extra"}, TRUE, false},
        {"00", true, {"00"}, TRUE, false},
        {"1 without name keeps logging", true, {"1"}, FALSE, true},
        {"2 keeps logging", true, {"2"}, FALSE, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = path("before" + std::to_string(n));
        const std::string fresh = path("fresh" + std::to_string(n++));
        loggerDisableLogToFile();
        if (c.startOn) {
            ASSERT_EQ(loggerEnableLogToFile(before.c_str()), TRUE);
        }
        std::vector<std::string> words = c.words;
        for (std::string& word : words) {
            word = word == "NAME" ? fresh : word;
        }
        EXPECT_EQ(command(words), c.result);
        loggerPrintf("probe\n");
        loggerFlush();
        EXPECT_EQ(fileText(c.startOn ? before : fresh), c.endsOn ? "probe\n" : "");
        EXPECT_EQ(console(), "probe\n\r");
    }
}

TEST_F(LoggerTest, RefusedFileNamesLeaveLoggingAsItWas) {
    const std::string good = path("good.txt");
    ASSERT_EQ(loggerEnableLogToFile(good.c_str()), TRUE);

    const std::string missing = path("missing/log.txt");
    EXPECT_EQ(command({"1", missing}), FALSE);
    EXPECT_EQ(console(), "Could not open file: " + missing + "\n\r");

    std::string longest = dir.string() + "/";
    longest += std::string(99 - longest.size(), 'n');
    const std::string tooLong = longest + "n";
    EXPECT_EQ(command({"1", tooLong}), FALSE);
    EXPECT_EQ(console(), "File name too long (at most 99 characters): " + tooLong + "\n\r");
    EXPECT_FALSE(fs::exists(tooLong));

    loggerPrintf("a\n");
    loggerFlush();
    EXPECT_EQ(fileText(good), "a\n");
    EXPECT_EQ(loggerEnableLogToFile(longest.c_str()), TRUE);
    loggerPrintf("b\n");
    loggerFlush();
    EXPECT_EQ(fileText(longest), "b\n");
}

TEST_F(LoggerTest, TextIsFormattedOnceAndCut) {
    const std::string name = path("log.txt");
    ASSERT_EQ(loggerEnableLogToFile(name.c_str()), TRUE);
    loggerPrintf("%d%% of %s\n", 50, "%s%n");
    loggerPrintf("%s", std::string(400, 'm').c_str());
    loggerFlush();
    EXPECT_EQ(console(), "50% of %s%n\n\r" + std::string(299, 'm'));
    EXPECT_EQ(fileText(name), "50% of %s%n\n" + std::string(299, 'm'));
}

TEST_F(LoggerTest, WriteFailureIsReportedOncePerFailingStretch) {
    if (access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    const std::string report = std::string("Could not write to log file /dev/full: ") + std::strerror(ENOSPC) + "\n\r";
    const std::string good = path("good.txt");
    ASSERT_EQ(loggerEnableLogToFile("/dev/full"), TRUE);
    const auto print = [](const char* text) {
        loggerPrintf("%s", text);
        loggerFlush();  // as the main loop does at the latest 100 ms later
    };
    print("one\n");
    print("two\n");
    EXPECT_EQ(console(), "one\n\r" + report + "two\n\r");

    ASSERT_EQ(loggerEnableLogToFile(good.c_str()), TRUE);
    print("three\n");
    ASSERT_EQ(loggerEnableLogToFile("/dev/full"), TRUE);
    print("four\n");
    EXPECT_EQ(console(), "three\n\rfour\n\r" + report);
    EXPECT_EQ(fileText(good), "three\n");

    // A file that can no longer be opened is a failure too.
    const std::string sub = path("sub");
    fs::create_directory(sub);
    ASSERT_EQ(loggerEnableLogToFile((sub + "/log.txt").c_str()), TRUE);
    print("five\n");
    fs::remove_all(sub);
    print("six\n");
    EXPECT_EQ(console(),
              "five\n\rsix\n\rCould not write to log file " + sub + "/log.txt: " + std::strerror(ENOENT) + "\n\r");
}

TEST_F(LoggerTest, TimestampAndSink) {
    const std::string name = path("log.txt");
    ASSERT_EQ(loggerEnableLogToFile(name.c_str()), TRUE);
    icLocalTimeSetSource(pinnedTime);
    loggerPrintTimestamp();
    EXPECT_EQ(console(), "\r (2024-01-31 13:05:09.042) ");

    std::vector<std::string> texts;
    loggerSetSink([](void* arg, const char* text) { static_cast<std::vector<std::string>*>(arg)->emplace_back(text); },
                  &texts);
    loggerPrintTimestamp();
    loggerPrintf("a=%d", 1);
    loggerPrintf("\n");
    EXPECT_EQ(texts, (std::vector<std::string>{"\r (2024-01-31 13:05:09.042) ", "a=1", "\n"}));
    EXPECT_EQ(console(), "");
    loggerFlush();
    EXPECT_EQ(fileText(name), "\r (2024-01-31 13:05:09.042) \r (2024-01-31 13:05:09.042) a=1\n");
}

U32 fakeTick = 0;

// The file is written through a buffer: what was printed is there at the
// latest 100 ms later (when the main loop's loggerExe finds it due), however
// much comes, and before logging switches off.
TEST_F(LoggerTest, PrintedTextReachesTheFileWithin100Ms) {
    platformTimerSetTickSource([] { return fakeTick; });
    const std::string name = path("log.txt");
    ASSERT_EQ(loggerEnableLogToFile(name.c_str()), TRUE);
    EXPECT_EQ(loggerNextDeadline_ms(), MAX_U32);
    fakeTick = 65480;  // the 16-bit tick wraps on the way
    loggerPrintf("a\n");
    fakeTick += 40;
    loggerPrintf("b\n");
    EXPECT_EQ(loggerNextDeadline_ms(), 60U) << "counted from the oldest text";
    fakeTick += 59;
    loggerExe();
    EXPECT_EQ(fileText(name), "");
    EXPECT_EQ(loggerNextDeadline_ms(), 1U);
    fakeTick += 1;
    loggerExe();
    EXPECT_EQ(fileText(name), "a\nb\n");
    EXPECT_EQ(loggerNextDeadline_ms(), MAX_U32);

    std::string expected = "a\nb\n";
    for (int i = 0; i < 2000; ++i) {  // several times what the buffer holds
        const std::string line = "line " + std::to_string(i) + "\n";
        loggerPrintf("%s", line.c_str());
        expected += line;
    }
    loggerPrintf("last\n");
    EXPECT_EQ(command({"0"}), TRUE);
    EXPECT_EQ(fileText(name), expected + "last\n");
    console();
    platformTimerSetTickSource(nullptr);
}

using LoggerDeathTest = LoggerTest;

TEST_F(LoggerDeathTest, BufferedTextSurvivesEveryWayOut) {
    const std::pair<const char*, void (*)()> waysOut[] = {
        {"fatal error", [] { icErrorHandler("logger/loggerTest", 0, 1, "Assertion failed 'FALSE'"); }},
        {"port failure", [] { icErrorExit(1); }},
        {"return from main", [] { std::exit(0); }},
    };
    int n = 0;
    for (const auto& [way, leave] : waysOut) {
        SCOPED_TRACE(way);
        // Not in the fixture's folder: the child may make one of its own.
        const std::string name =
            (fs::temp_directory_path() / ("zvLoggerDeathTest." + std::to_string(n++) + ".log")).string();
        fs::remove(name);
        EXPECT_EXIT(
            {
                (void)dup2(STDERR_FILENO, STDOUT_FILENO);
                loggerEnableLogToFile(name.c_str());
                loggerPrintf("last words\n");
                leave();
            },
            [](int status) { return WIFEXITED(status) != 0; }, "");
        EXPECT_EQ(fileText(name), "last words\n");
        fs::remove(name);
    }
}

}  // namespace
