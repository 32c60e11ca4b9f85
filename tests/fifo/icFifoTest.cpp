#include "fifo/icFifo.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "hal/include/icPlatformTimer.h"

namespace {

template <std::size_t N>
struct Fifo {
    IcFifoInstance f{};
    std::array<Char, N> storage{};
    Fifo() { icFifoInit(&f, storage.data(), static_cast<IcFifoIndex>(N)); }
    bool eventSet() { return osalWaitObjIsSet(icFifoGetWaitObject(&f)) == TRUE; }
    void push(const std::string& s) {
        for (const char c : s) {
            icFifoPushChar(&f, c);
        }
    }
    std::string popAll() {
        std::string out;
        while (icFifoCharsToPop(&f) > 0) {
            out.push_back(icFifoPopChar(&f));
        }
        return out;
    }
};

TEST(IcFifoTest, HoldsOneLessThanItsBufferAndTheEventFollowsTheData) {
    Fifo<255> fifo;
    EXPECT_FALSE(fifo.eventSet());
    std::string bytes;
    for (int i = 0; i < 255; ++i) {
        bytes.push_back(static_cast<Char>(i));  // 0 is a byte like any other
    }
    fifo.push(bytes);
    EXPECT_TRUE(fifo.eventSet());
    EXPECT_EQ(fifo.popAll(), bytes.substr(0, 254)) << "the 255th is dropped";
    EXPECT_FALSE(fifo.eventSet()) << "a count that finds it empty clears the event";

    fifo.push("a");
    EXPECT_TRUE(fifo.eventSet());
    EXPECT_EQ(icFifoCharsHeld(&fifo.f), 1);
    EXPECT_EQ(icFifoFreeRoom(&fifo.f), 253);
    EXPECT_EQ(icFifoPopChar(&fifo.f), 'a');
    EXPECT_EQ(icFifoCharsHeld(&fifo.f), 0);
    EXPECT_EQ(icFifoFreeRoom(&fifo.f), 254);
    EXPECT_TRUE(fifo.eventSet()) << "still set until a consumer finds it empty";
    EXPECT_EQ(icFifoPopChar(&fifo.f), 0);
    EXPECT_FALSE(fifo.eventSet());

    fifo.push("bc");
    icFifoReset(&fifo.f);
    EXPECT_EQ(icFifoCharsToPop(&fifo.f), 0);
    EXPECT_EQ(icFifoPopChar(nullptr), 0);
    EXPECT_EQ(icFifoCharsToPop(nullptr), 0);
}

U32 fakeTick = 0;
U32 readFakeTick() { return fakeTick; }

struct FakeClock {
    explicit FakeClock(U32 start) {
        fakeTick = start;
        platformTimerSetTickSource(readFakeTick);
    }
    ~FakeClock() { platformTimerSetTickSource(nullptr); }
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;
};

using TickedBytes = std::vector<std::pair<Char, U16>>;

template <std::size_t N>
TickedBytes popAllWithTicks(Fifo<N>& fifo) {
    TickedBytes out;
    while (icFifoCharsToPop(&fifo.f) > 0) {
        U16 tick = 0;
        const Char c = icFifoPopCharWithTick(&fifo.f, &tick);
        out.emplace_back(c, tick);
    }
    return out;
}

TEST(IcFifoTest, ArrivalTicksFollowTheirBytesAcrossTheEndOfStorage) {
    const FakeClock clock(1000);
    Fifo<8> fifo;
    std::array<U16, 8> ticks{};
    icFifoEnableArrivalTicks(&fifo.f, ticks.data());
    fifo.push("-----");
    fifo.popAll();  // the next pushes run across the end of storage

    fakeTick = 1100;
    fifo.push("a");
    fakeTick = 1101;
    fifo.push("b");
    fakeTick = 1200;
    icFifoPushBlock(&fifo.f, "cdef", 4);  // the whole block came at once
    EXPECT_EQ(icFifoPopChar(&fifo.f), 'a');
    fakeTick = 65536 + 7;  // the 16-bit tick wraps
    icFifoPushBlock(&fifo.f, "gh", 2);
    fakeTick = 70000;
    EXPECT_EQ(popAllWithTicks(fifo),
              (TickedBytes{{'b', 1101}, {'c', 1200}, {'d', 1200}, {'e', 1200}, {'f', 1200}, {'g', 7}, {'h', 7}}));
}

TEST(IcFifoTest, PeekGivesTheNextArrivalTickAndLeavesTheByte) {
    const FakeClock clock(500);
    Fifo<8> fifo;
    std::array<U16, 8> ticks{};
    icFifoEnableArrivalTicks(&fifo.f, ticks.data());
    fifo.push("x");
    fakeTick = 520;
    fifo.push("y");
    fakeTick = 900;
    U16 tick = 0;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(icFifoPeekArrivalTick(&fifo.f, &tick), TRUE);
        EXPECT_EQ(tick, 500);
    }
    EXPECT_EQ(icFifoCharsToPop(&fifo.f), 2);
    EXPECT_EQ(icFifoPopCharWithTick(&fifo.f, &tick), 'x');
    EXPECT_EQ(tick, 500);
    EXPECT_EQ(icFifoPeekArrivalTick(&fifo.f, &tick), TRUE);
    EXPECT_EQ(tick, 520);
    EXPECT_EQ(icFifoPopCharWithTick(&fifo.f, &tick), 'y');
    EXPECT_EQ(tick, 520);

    EXPECT_EQ(icFifoPeekArrivalTick(&fifo.f, &tick), FALSE);
    EXPECT_EQ(tick, 900) << "nothing waiting: the current tick";
    EXPECT_TRUE(fifo.eventSet()) << "a peek is no consumer finding it empty";
}

// Without tick storage, and for bytes held when it was switched on, the
// consumer sees "now": the behaviour of a FIFO that never had ticks.
TEST(IcFifoTest, WithoutArrivalTicksTheCurrentTickIsGiven) {
    const FakeClock clock(100);
    Fifo<8> fifo;
    std::array<U16, 8> ticks{};
    fifo.push("ab");
    fakeTick = 200;
    U16 tick = 0;
    EXPECT_EQ(icFifoPeekArrivalTick(&fifo.f, &tick), TRUE);
    EXPECT_EQ(tick, 200);
    EXPECT_EQ(icFifoPopCharWithTick(&fifo.f, &tick), 'a');
    EXPECT_EQ(tick, 200);

    fakeTick = 300;
    icFifoEnableArrivalTicks(&fifo.f, ticks.data());
    fakeTick = 310;
    fifo.push("c");
    fakeTick = 400;
    EXPECT_EQ(popAllWithTicks(fifo), (TickedBytes{{'b', 300}, {'c', 310}}));

    icFifoEnableArrivalTicks(&fifo.f, nullptr);
    fifo.push("d");
    fakeTick = 500;
    EXPECT_EQ(popAllWithTicks(fifo), (TickedBytes{{'d', 500}}));
    EXPECT_EQ(ticks[3], 300) << "storage no longer written once switched off";
}

TEST(IcFifoTest, PopBlockReturnsTheStretchUpToTheEndOfStorageFirst) {
    Fifo<10> fifo;
    fifo.push("01234567");
    fifo.popAll();
    fifo.push("abcde");  // two at the end of storage, three wrapped
    std::array<Char, 64> out{};
    EXPECT_EQ(std::string(out.data(), icFifoPopBlock(&fifo.f, 64, out.data())), "ab");
    EXPECT_EQ(std::string(out.data(), icFifoPopBlock(&fifo.f, 2, out.data())), "cd");
    EXPECT_EQ(std::string(out.data(), icFifoPopBlock(&fifo.f, 64, out.data())), "e");
    EXPECT_TRUE(fifo.eventSet());
    EXPECT_EQ(icFifoPopBlock(&fifo.f, 64, out.data()), 0);
    EXPECT_FALSE(fifo.eventSet());
}

TEST(IcFifoTest, PushBlockStoresOnlyTheFreeRoom) {
    const struct {
        std::string before, block, after;
    } cases[] = {
        {"", "abc", "abc"},
        {"xyz", "abcdefghij", "xyzabcd"},
        {"1234567", "abc", "1234567"},
        {"", std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before + " + " + c.block);
        Fifo<8> fifo;
        fifo.push("-----");  // the block crosses the end of storage
        fifo.popAll();
        fifo.push(c.before);
        icFifoPushBlock(&fifo.f, c.block.data(), static_cast<IcFifoIndex>(c.block.size()));
        EXPECT_EQ(fifo.popAll(), c.after);
    }
}

struct HookLog {
    IcFifoInstance* fifo;
    int calls;
    IcFifoIndex heldAtCall;
    bool drain;
    std::string drained;
};

// Calls back into the FIFO: it would deadlock if run under the FIFO's lock.
void recordingHook(void* arg) {
    auto* log = static_cast<HookLog*>(arg);
    ++log->calls;
    log->heldAtCall = icFifoCharsToPop(log->fifo);
    while (log->drain && icFifoCharsToPop(log->fifo) > 0) {
        log->drained.push_back(icFifoPopChar(log->fifo));
    }
}

TEST(IcFifoTest, StartTxHookRunsOnPushIntoAnEmptyFifoOutsideTheLock) {
    for (const bool viaBlock : {false, true}) {
        SCOPED_TRACE(viaBlock ? "block" : "char");
        Fifo<8> fifo;
        HookLog log{&fifo.f, 0, 0, false, ""};
        icFifoSetStartTxFunc(&fifo.f, recordingHook, &log);
        const auto push = [&](const std::string& s) {
            viaBlock ? (void)icFifoPushBlock(&fifo.f, s.data(), static_cast<IcFifoIndex>(s.size())) : fifo.push(s);
        };
        push("ab");
        EXPECT_EQ(log.calls, 1);
        EXPECT_EQ(log.heldAtCall, viaBlock ? 2 : 1) << "the push is visible to the hook";
        push("c");
        EXPECT_EQ(log.calls, 1) << "no hook for a push into a non-empty FIFO";
        fifo.popAll();
        log.drain = true;
        push("xy");
        EXPECT_EQ(log.drained, "xy");
        EXPECT_EQ(icFifoCharsToPop(&fifo.f), 0);
    }
}

Char patternByte(std::size_t i) { return static_cast<Char>((i * 7U + i / 251U) & 0xFFU); }

// One producer thread, one consumer sleeping on the wait object: every byte
// arrives once and in order.
TEST(IcFifoTest, BytesCrossThreadsCompleteAndInOrder) {
    constexpr std::size_t kTotal = 300000;
    for (const bool viaBlock : {false, true}) {
        SCOPED_TRACE(viaBlock ? "block" : "char");
        Fifo<255> fifo;
        std::thread producer([&] {
            std::array<Char, 61> block{};
            for (std::size_t sent = 0, chunk = 1; sent < kTotal; sent += chunk, chunk = chunk % 61 + 1) {
                chunk = std::min(chunk, kTotal - sent);
                while (254U - icFifoCharsToPop(&fifo.f) < chunk) {
                    std::this_thread::yield();
                }
                for (std::size_t i = 0; i < chunk; ++i) {
                    block[i] = patternByte(sent + i);
                    if (!viaBlock) {
                        icFifoPushChar(&fifo.f, block[i]);
                    }
                }
                if (viaBlock) {
                    icFifoPushBlock(&fifo.f, block.data(), static_cast<IcFifoIndex>(chunk));
                }
            }
        });
        std::vector<Char> received;
        const OsalWaitObject event = icFifoGetWaitObject(&fifo.f);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        std::array<Char, 100> block{};
        while (received.size() < kTotal && std::chrono::steady_clock::now() < deadline) {
            osalApi->waitForObjects(&event, 1, 1000);
            if (received.size() % 2 == 0) {
                if (icFifoCharsToPop(&fifo.f) > 0) {
                    received.push_back(icFifoPopChar(&fifo.f));
                }
            } else {
                received.insert(received.end(), block.begin(),
                                block.begin() + icFifoPopBlock(&fifo.f, block.size(), block.data()));
            }
        }
        producer.join();
        ASSERT_EQ(received.size(), kTotal);
        for (std::size_t i = 0; i < kTotal; ++i) {
            ASSERT_EQ(received[i], patternByte(i)) << "byte " << i;
        }
    }
}
}  // namespace
