#include "fifo/icFifo.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

bool eventSet(IcFifoInstance* fifo) { return osalWaitObjIsSet(icFifoGetWaitObject(fifo)) == TRUE; }

std::string popAll(IcFifoInstance* fifo) {
    std::string out;
    while (icFifoCharsToPop(fifo) > 0) {
        out.push_back(icFifoPopChar(fifo));
    }
    return out;
}

void pushString(IcFifoInstance* fifo, const std::string& text) {
    for (const char c : text) {
        icFifoPushChar(fifo, c);
    }
}

template <std::size_t N>
struct Fifo {
    IcFifoInstance fifo{};
    std::array<Char, N> storage{};
    Fifo() { icFifoInit(&fifo, storage.data(), static_cast<IcFifoIndex>(N)); }
    IcFifoInstance* operator->() { return &fifo; }
    IcFifoInstance* get() { return &fifo; }
};

TEST(IcFifoTest, HoldsOneLessThanItsBufferAndDropsTheRest) {
    Fifo<255> f;
    EXPECT_FALSE(eventSet(f.get()));
    std::string pushed;
    for (int i = 0; i < 255; ++i) {
        pushed.push_back(static_cast<Char>(i));  // 0 included: a byte like any other
        icFifoPushChar(f.get(), pushed.back());
    }
    EXPECT_EQ(icFifoCharsToPop(f.get()), 254);
    EXPECT_TRUE(eventSet(f.get()));
    EXPECT_EQ(popAll(f.get()), pushed.substr(0, 254));
}

TEST(IcFifoTest, EventFollowsTheData) {
    Fifo<16> f;
    icFifoPushChar(f.get(), 'a');
    EXPECT_TRUE(eventSet(f.get()));
    EXPECT_EQ(icFifoPopChar(f.get()), 'a');
    EXPECT_TRUE(eventSet(f.get())) << "only a consumer that finds the FIFO empty clears it";
    EXPECT_EQ(icFifoCharsToPop(f.get()), 0);
    EXPECT_FALSE(eventSet(f.get()));

    icFifoPushChar(f.get(), 'b');
    EXPECT_TRUE(eventSet(f.get()));
    EXPECT_EQ(icFifoPopChar(f.get()), 'b');
    EXPECT_EQ(icFifoPopChar(f.get()), 0);
    EXPECT_FALSE(eventSet(f.get()));

    icFifoPushChar(f.get(), 'c');
    Char out[4];
    EXPECT_EQ(icFifoPopBlock(f.get(), 4, out), 1);
    EXPECT_TRUE(eventSet(f.get()));
    EXPECT_EQ(icFifoPopBlock(f.get(), 4, out), 0);
    EXPECT_FALSE(eventSet(f.get()));
}

TEST(IcFifoTest, PopBlockReturnsTheStretchUpToTheEndOfStorageFirst) {
    Fifo<10> f;
    pushString(f.get(), "01234567");
    EXPECT_EQ(popAll(f.get()), "01234567");
    pushString(f.get(), "abcde");  // two at the end of storage, three wrapped

    std::array<Char, 64> out{};
    ASSERT_EQ(icFifoPopBlock(f.get(), 64, out.data()), 2);
    EXPECT_EQ(std::string(out.data(), 2), "ab");
    ASSERT_EQ(icFifoPopBlock(f.get(), 2, out.data()), 2);
    EXPECT_EQ(std::string(out.data(), 2), "cd");
    ASSERT_EQ(icFifoPopBlock(f.get(), 64, out.data()), 1);
    EXPECT_EQ(out[0], 'e');
    EXPECT_EQ(icFifoCharsToPop(f.get()), 0);
}

TEST(IcFifoTest, PushBlockStoresOnlyTheFreeRoom) {
    struct Case {
        std::string before;
        std::string block;
        std::string after;
    };
    const Case cases[] = {
        {"", "abc", "abc"},
        {"xyz", "abcdefghij", "xyzabcd"},
        {"1234567", "abc", "1234567"},
        {"12", "", "12"},
        {"", std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before + " + " + c.block);
        Fifo<8> f;
        // Wrap the positions first so the block crosses the end of storage.
        pushString(f.get(), "-----");
        popAll(f.get());
        pushString(f.get(), c.before);
        icFifoPushBlock(f.get(), c.block.data(), static_cast<IcFifoIndex>(c.block.size()));
        EXPECT_EQ(popAll(f.get()), c.after);
    }
}

TEST(IcFifoTest, ResetDiscardsTheContent) {
    Fifo<8> f;
    pushString(f.get(), "abc");
    icFifoReset(f.get());
    EXPECT_EQ(icFifoCharsToPop(f.get()), 0);
    pushString(f.get(), "d");
    EXPECT_EQ(popAll(f.get()), "d");
}

struct HookLog {
    IcFifoInstance* fifo = nullptr;
    int calls = 0;
    IcFifoIndex heldAtCall = 0;
    bool drain = false;
    std::string drained;
};

// Calls back into the FIFO: deadlocks if the hook ran under the FIFO's lock.
void recordingHook(void* arg) {
    auto* log = static_cast<HookLog*>(arg);
    ++log->calls;
    log->heldAtCall = icFifoCharsToPop(log->fifo);
    if (log->drain) {
        log->drained += popAll(log->fifo);
    }
}

TEST(IcFifoTest, StartTxHookRunsOnPushIntoAnEmptyFifoOutsideTheLock) {
    for (const bool viaBlock : {false, true}) {
        SCOPED_TRACE(viaBlock ? "icFifoPushBlock" : "icFifoPushChar");
        Fifo<8> f;
        HookLog log;
        log.fifo = f.get();
        icFifoSetStartTxFunc(f.get(), recordingHook, &log);
        const auto push = [&](const std::string& s) {
            if (viaBlock) {
                icFifoPushBlock(f.get(), s.data(), static_cast<IcFifoIndex>(s.size()));
            } else {
                pushString(f.get(), s);
            }
        };
        push("ab");
        EXPECT_EQ(log.calls, 1);
        EXPECT_EQ(log.heldAtCall, viaBlock ? 2 : 1) << "the pushed data is visible to the hook";
        push("c");
        EXPECT_EQ(log.calls, 1) << "no hook for a push into a non-empty FIFO";

        popAll(f.get());
        log.drain = true;
        push("xy");
        EXPECT_EQ(log.drained, "xy");
        EXPECT_EQ(icFifoCharsToPop(f.get()), 0);
    }
}

TEST(IcFifoTest, InitLeavesTheHookAlone) {
    IcFifoInstance fifo{};
    HookLog log;
    log.fifo = &fifo;
    fifo.startTx = recordingHook;  // a record set up before init keeps its hook
    fifo.startTxArg = &log;
    std::array<Char, 4> storage{};
    icFifoInit(&fifo, storage.data(), 4);
    icFifoPushChar(&fifo, 'a');
    EXPECT_EQ(log.calls, 1);
}

TEST(IcFifoTest, NullFifoIsIgnored) {
    icFifoInit(nullptr, nullptr, 10);
    icFifoPushChar(nullptr, 'a');
    icFifoPushBlock(nullptr, "ab", 2);
    icFifoSetStartTxFunc(nullptr, recordingHook, nullptr);
    EXPECT_EQ(icFifoPopChar(nullptr), 0);
    EXPECT_EQ(icFifoCharsToPop(nullptr), 0);
}

Char patternByte(std::size_t i) { return static_cast<Char>((i * 7U + i / 251U) & 0xFFU); }

// One producer thread, one consumer: every byte arrives once and in order, the
// consumer sleeping on the FIFO's wait object between bursts.
TEST(IcFifoTest, BytesCrossThreadsCompleteAndInOrder) {
    constexpr std::size_t kTotal = 300000;
    for (const bool viaBlock : {false, true}) {
        SCOPED_TRACE(viaBlock ? "icFifoPushBlock" : "icFifoPushChar");
        Fifo<255> f;
        std::thread producer([&] {
            std::size_t sent = 0;
            std::size_t chunk = 1;
            while (sent < kTotal) {
                const std::size_t n = std::min(chunk, kTotal - sent);
                while (254U - icFifoCharsToPop(f.get()) < n) {
                    std::this_thread::yield();
                }
                if (viaBlock) {
                    std::array<Char, 64> block{};
                    for (std::size_t i = 0; i < n; ++i) {
                        block[i] = patternByte(sent + i);
                    }
                    icFifoPushBlock(f.get(), block.data(), static_cast<IcFifoIndex>(n));
                } else {
                    for (std::size_t i = 0; i < n; ++i) {
                        icFifoPushChar(f.get(), patternByte(sent + i));
                    }
                }
                sent += n;
                chunk = chunk % 61 + 1;
            }
        });

        std::vector<Char> received;
        received.reserve(kTotal);
        const OsalWaitObject event = icFifoGetWaitObject(f.get());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        std::array<Char, 100> block{};
        while (received.size() < kTotal && std::chrono::steady_clock::now() < deadline) {
            osalApi->waitForObjects(&event, 1, 1000);
            if (received.size() % 2 == 0) {
                if (icFifoCharsToPop(f.get()) > 0) {
                    received.push_back(icFifoPopChar(f.get()));
                }
            } else {
                const IcFifoIndex n = icFifoPopBlock(f.get(), static_cast<IcFifoIndex>(block.size()), block.data());
                received.insert(received.end(), block.begin(), block.begin() + n);
            }
        }
        producer.join();
        ASSERT_EQ(received.size(), kTotal);
        std::size_t firstBad = kTotal;
        for (std::size_t i = 0; i < kTotal && firstBad == kTotal; ++i) {
            if (received[i] != patternByte(i)) {
                firstBad = i;
            }
        }
        EXPECT_EQ(firstBad, kTotal) << "first wrong byte";
        EXPECT_EQ(icFifoCharsToPop(f.get()), 0);
    }
}
}  // namespace
