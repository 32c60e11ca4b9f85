// The console driver's part without OS calls: keys into the input FIFO (line
// ends of piped input folded into the CR the shell ends a line on) and screen
// text out of the output FIFO, through the FIFO's block functions or, without
// them, the byte hooks alone.
#include "hal/common/icConsolePort.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "fifo/icFifo.h"
#include "fifo/icFifoDriverHooks.h"

namespace {

struct Console {
    IcConsolePort port;
    IcFifoInstance fifo{};
    std::array<Char, 64> buf{};

    explicit Console(bool blockOps) {
        icFifoInit(&fifo, buf.data(), static_cast<IcFifoIndex>(buf.size()));
        port.fifoOps = blockOps ? &kIcFifoDriverOps : nullptr;
    }
    std::string drain() {
        std::string got;
        while (icFifoCharsHeld(&fifo) > 0) {
            got.push_back(icFifoPopChar(&fifo));
        }
        return got;
    }
};

TEST(IcConsolePortTest, KeysReachTheInputFifoWithLineEndsFoldedForPipedInput) {
    struct Case {
        bool keysAsTyped;
        std::vector<std::string> reads;
        std::string expected;
    };
    const std::vector<Case> cases{
        {false, {"help\n"}, "help\r"},   {false, {"a\r\nb\r\n"}, "a\rb\r"},
        {false, {"a\r", "\nb"}, "a\rb"},                              // CR LF split across two reads
        {false, {"\n\n"}, "\r\r"},                                    // empty lines stay lines
        {false, {"\r\r\n"}, "\r\r"},     {true, {"a\r\n"}, "a\r\n"},  // keys as typed pass as they are
    };
    for (const bool blockOps : {true, false}) {
        for (const Case& c : cases) {
            Console console(blockOps);
            console.port.keysAsTyped = c.keysAsTyped;
            console.port.rxFifo = &console.fifo;
            console.port.uartRxCb = icFifoDriverPushChar;
            for (std::string read : c.reads) {
                (void)icConsoleDeliver(&console.port, read);
            }
            EXPECT_EQ(console.drain(), c.expected) << c.reads.front() << " block ops " << blockOps;
        }
    }
}

TEST(IcConsolePortTest, KeysWithoutAnInputHookAreNotTaken) {
    Console console(true);
    console.port.rxFifo = &console.fifo;
    std::string keys = "ls\r";
    EXPECT_EQ(icConsoleDeliver(&console.port, keys), 0U);
    EXPECT_EQ(icFifoCharsHeld(&console.fifo), 0U);
}

TEST(IcConsolePortTest, InputRoomIsWhatTheFifoTakesAtMostAChunk) {
    Console withOps(true);
    withOps.port.rxFifo = &withOps.fifo;
    const std::string held(40, 'x');
    icFifoPushBlock(&withOps.fifo, held.data(), static_cast<IcFifoIndex>(held.size()));
    EXPECT_EQ(icConsoleInputRoom(&withOps.port), icFifoFreeRoom(&withOps.fifo));
    const Console withoutOps(false);
    EXPECT_EQ(icConsoleInputRoom(&withoutOps.port), kIcConsoleInputChunk);
}

TEST(IcConsolePortTest, OutputIsTakenUpToTheRoomGiven) {
    struct Case {
        bool blockOps;
        bool popHook;
        std::size_t room;
        std::string expected;
    };
    const std::string queued = "0123456789";
    for (const Case& c : {Case{true, true, 4, "0123"}, Case{true, true, 64, queued}, Case{false, true, 4, "0123"},
                          Case{false, true, 64, queued}, Case{true, false, 64, ""}}) {
        Console console(c.blockOps);
        console.port.txFifo = &console.fifo;
        console.port.uartTxCharsToSend = icFifoDriverCharsToPop;
        console.port.uartTxPopChar = c.popHook ? icFifoDriverPopChar : nullptr;
        icFifoPushBlock(&console.fifo, queued.data(), static_cast<IcFifoIndex>(queued.size()));
        std::vector<Char> out(c.room);
        const std::size_t n = icConsoleTakeOutput(&console.port, out);
        EXPECT_EQ(std::string(out.data(), n), c.expected) << c.blockOps << c.popHook << c.room;
        EXPECT_EQ(console.drain(), queued.substr(n)) << "the rest stays queued";
    }
}

}  // namespace
