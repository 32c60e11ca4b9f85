// The console driver on Win32: the input mode it sets and gives back on every
// way out, the keys it takes from console input records, the stop requests of
// the console, and standard input and output that are pipes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/icError.h"
#include "fifo/icFifo.h"
#include "fifo/icFifoDriverHooks.h"
#include "hal/include/icOsal.h"
#include "hal/include/multiUart.h"
#include "hal/mcu/windows/icWinConsole.h"

namespace {
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr DWORD kOperatorsMode = 0x1F7;  // what a console window starts with
const DWORD kRawMode = icWinConsoleRawMode(kOperatorsMode);

// A console input stands in for the real one: an event that is never set, so
// no keys come, with a mode that the driver changes and each change shown on
// standard error for the death tests to read.
HANDLE fakeInput = nullptr;
std::atomic<DWORD> fakeMode{kOperatorsMode};

BOOL WINAPI fakeGetMode(HANDLE console, LPDWORD mode) {
    if (console != fakeInput) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *mode = fakeMode;
    return TRUE;
}

BOOL WINAPI fakeSetMode(HANDLE console, DWORD mode) {
    if (console != fakeInput) {
        return FALSE;
    }
    fakeMode = mode;
    std::fprintf(stderr, "[mode %lx]", static_cast<unsigned long>(mode));
    std::fflush(stderr);
    return TRUE;
}

constexpr IcWinConsoleApi kFakeConsole{fakeGetMode, fakeSetMode};

UartInstancePtr openConsole(IcFifoInstance& txFifo, IcFifoInstance& rxFifo) {
    UartInstancePtr ui = consoleNew();
    consoleSetFifoOps(ui, &kIcFifoDriverOps);
    consoleOpenTx(ui, icFifoDriverPopChar, icFifoDriverCharsToPop, &txFifo);
    consoleOpenRx(ui, icFifoDriverPushChar, &rxFifo);
    return ui;
}

class WinConsoleTest : public testing::Test {
protected:
    void SetUp() override {
        if (fakeInput == nullptr) {
            fakeInput = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        }
        ASSERT_TRUE(SetStdHandle(STD_INPUT_HANDLE, fakeInput));
        icWinConsoleSetApi(&kFakeConsole);
        icFifoInit(&txFifo, txBuf.data(), static_cast<IcFifoIndex>(txBuf.size()));
        icFifoInit(&rxFifo, rxBuf.data(), static_cast<IcFifoIndex>(rxBuf.size()));
    }
    UartInstancePtr open() { return openConsole(txFifo, rxFifo); }
    std::array<Char, 64> txBuf{};
    std::array<Char, 64> rxBuf{};
    IcFifoInstance txFifo{};
    IcFifoInstance rxFifo{};
};
using WinConsoleDeathTest = WinConsoleTest;

TEST(WinConsoleModeTest, RawModeTakesKeysSinglyWithoutEchoAndKeepsCtrlC) {
    const std::pair<DWORD, DWORD> cases[] = {
        {0x1F7, 0x1E1},  // a console window's usual mode
        {0x0, 0x1},      // Ctrl-C switched off by someone: on again
        {0x87, 0x81},    // extended flags kept with the rest
    };
    for (const auto& [mode, raw] : cases) {
        EXPECT_EQ(icWinConsoleRawMode(mode), raw) << std::hex << mode;
    }
}

INPUT_RECORD key(char c, BOOL down = TRUE, WORD repeat = 1) {
    INPUT_RECORD record{};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = down;
    record.Event.KeyEvent.wRepeatCount = repeat;
    record.Event.KeyEvent.uChar.AsciiChar = c;
    return record;
}

TEST(WinConsoleModeTest, KeysAreThePressedCharactersAsOftenAsTheyRepeat) {
    INPUT_RECORD mouse{};
    mouse.EventType = MOUSE_EVENT;
    const std::vector<INPUT_RECORD> records = {
        key('q'), key('q', FALSE), key('u', TRUE, 3), key(0), mouse, key('\r'), key('\b'),
    };
    const std::pair<std::size_t, std::string> cases[] = {{16, "quuu\r\b"}, {2, "qu"}, {0, ""}};
    for (const auto& [room, expected] : cases) {
        std::array<Char, 16> out{};
        const std::size_t n = icWinConsoleKeyChars(records.data(), records.size(), out.data(), room);
        EXPECT_EQ(std::string(out.data(), n), expected) << room;
    }
}

TEST_F(WinConsoleTest, ClosingEitherSideOrDeletingGivesTheModeBack) {
    const std::pair<const char*, std::function<void(UartInstancePtr)>> ways[] = {
        {"close rx", consoleCloseRx}, {"close tx", consoleCloseTx}, {"delete", consoleDelete}};
    for (const auto& [name, wayOut] : ways) {
        UartInstancePtr ui = open();
        EXPECT_EQ(fakeMode, kRawMode) << name;
        wayOut(ui);
        EXPECT_EQ(fakeMode, kOperatorsMode) << name;
    }
}

TEST_F(WinConsoleDeathTest, EveryWayOutOfTheProcessGivesTheModeBack) {
    const std::string restored = "[mode 1f7]";
    EXPECT_EXIT((open(), icErrorHandler("x", 0, 1, "fatal")), testing::ExitedWithCode(2), testing::HasSubstr(restored));
    EXPECT_EXIT((open(), icErrorExit(1)), testing::ExitedWithCode(1), testing::HasSubstr(restored));
    EXPECT_EXIT((open(), std::exit(0)), testing::ExitedWithCode(0), testing::HasSubstr(restored));
}

// The main loop sleeps on the console's wait objects; one of them wakes it.
bool anySet(UartInstancePtr ui) {
    std::array<OsalWaitObject, CONSOLE_MAX_WAIT_OBJECTS> waits{};
    const U8 n = consoleWaitObjects(ui, waits.data(), static_cast<U8>(waits.size()));
    return std::any_of(waits.begin(), waits.begin() + n, [](OsalWaitObject obj) { return osalWaitObjIsSet(obj); });
}

TEST_F(WinConsoleDeathTest, CtrlCAsksTheMainLoopToStopAndASecondOneGivesUp) {
    EXPECT_EXIT(
        {
            UartInstancePtr ui = open();
            consoleExe(ui);
            const bool quiet = !anySet(ui);
            const bool first = icWinConsoleCtrlHandler(CTRL_C_EVENT) == TRUE && consoleStopRequested() == TRUE &&
                               anySet(ui) && fakeMode == kRawMode;
            const bool second = icWinConsoleCtrlHandler(CTRL_C_EVENT) == FALSE && fakeMode == kOperatorsMode;
            std::_Exit(quiet && first && second ? 0 : 3);
        },
        testing::ExitedWithCode(0), "");
    // Closing the window: the handler holds the process until it ends in
    // order.
    EXPECT_EXIT(
        {
            open();
            std::thread([] { icWinConsoleCtrlHandler(CTRL_CLOSE_EVENT); }).detach();
            while (consoleStopRequested() == FALSE) {
                Sleep(1);
            }
            std::exit(0);
        },
        testing::ExitedWithCode(0), testing::HasSubstr("[mode 1f7]"));
}

// ---- standard input and output that are pipes ------------------------------------

struct Pipe {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    Pipe() { CreatePipe(&read, &write, nullptr, 0); }
};

bool writeAll(HANDLE h, const std::string& text) {
    DWORD written = 0;
    return WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

// Takes keys as the main loop does: pops what came, lets the console hand in
// more (consoleExe), sleeps until more comes; pausing now and then so that
// the FIFO fills up.
std::string collect(UartInstancePtr ui, IcFifoInstance& fifo, std::size_t count) {
    std::string got;
    for (const auto end = Clock::now() + 20s; got.size() < count && Clock::now() < end;) {
        if (icFifoCharsHeld(&fifo) == 0) {
            consoleExe(ui);
            osalApi->waitForObjects(&fifo.event, 1, 10);
            continue;
        }
        got.push_back(icFifoPopChar(&fifo));
        if (got.size() % 50 == 0) {
            Sleep(5);
        }
    }
    return got;
}

// Runs in a process of its own: the reader of a piped standard input lives as
// long as the process.
int pipedRoundTrip(IcFifoInstance& txFifo, IcFifoInstance& rxFifo) {
    icWinConsoleSetApi(nullptr);
    Pipe in;
    Pipe out;
    SetStdHandle(STD_INPUT_HANDLE, in.read);
    SetStdHandle(STD_OUTPUT_HANDLE, out.write);
    std::string longLine(600, 'x');
    for (std::size_t i = 0; i < longLine.size(); ++i) {
        longLine[i] = static_cast<char>('a' + i % 26);
    }
    // Line ends become the CR the shell ends a line on; the long line passes
    // a FIFO far smaller than itself without a byte lost.
    if (!writeAll(in.write, "help\nquit\r\n" + longLine + "\n")) {
        return 4;
    }
    CloseHandle(in.write);
    UartInstancePtr ui = openConsole(txFifo, rxFifo);
    const std::string expected = "help\rquit\r" + longLine + "\r";
    const std::string got = collect(ui, rxFifo, expected.size());
    if (got != expected) {
        std::fprintf(stderr, "input: got %zu bytes: %s\n", got.size(), got.c_str());
        return 5;
    }
    // Output many times the FIFO's size, pushed on this thread as the main
    // loop does: a full FIFO has the console thread make room.
    icFifoSetMakeRoomFunc(&txFifo, consoleMakeRoom, ui);
    std::string shown;
    std::thread reader([&] {
        std::array<char, 256> buf{};
        DWORD n = 0;
        while (shown.size() < longLine.size() && ReadFile(out.read, buf.data(), buf.size(), &n, nullptr)) {
            shown.append(buf.data(), n);
        }
    });
    icFifoPushBlock(&txFifo, longLine.data(), static_cast<IcFifoIndex>(longLine.size()));
    consoleExe(ui);
    reader.join();
    if (shown != longLine) {
        std::fprintf(stderr, "output: got %zu bytes: %s\n", shown.size(), shown.c_str());
        return 6;
    }
    return 0;
}

TEST_F(WinConsoleDeathTest, PipedInputAndOutputPassEveryByte) {
    EXPECT_EXIT(std::_Exit(pipedRoundTrip(txFifo, rxFifo)), testing::ExitedWithCode(0), "");
}
}  // namespace
