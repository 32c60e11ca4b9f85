#include "fifo/icFifo.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

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
    EXPECT_EQ(icFifoPopChar(&fifo.f), 'a');
    EXPECT_TRUE(fifo.eventSet()) << "still set until a consumer finds it empty";
    EXPECT_EQ(icFifoPopChar(&fifo.f), 0);
    EXPECT_FALSE(fifo.eventSet());

    fifo.push("bc");
    icFifoReset(&fifo.f);
    EXPECT_EQ(icFifoCharsToPop(&fifo.f), 0);
    EXPECT_EQ(icFifoPopChar(nullptr), 0);
    EXPECT_EQ(icFifoCharsToPop(nullptr), 0);
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
            viaBlock ? icFifoPushBlock(&fifo.f, s.data(), static_cast<IcFifoIndex>(s.size())) : fifo.push(s);
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
