// A FIFO whose producer waits for room (icFifoSetPushWait) loses nothing to
// a consumer that falls behind now and then, costs a producer facing a
// stopped consumer one wait only.

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "fifo/icFifo.h"

namespace {
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

template <std::size_t N>
struct Fifo {
    IcFifoInstance f{};
    std::array<Char, N> storage{};
    Fifo() { icFifoInit(&f, storage.data(), static_cast<IcFifoIndex>(N)); }
};

std::string pattern(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s.push_back(static_cast<Char>((i * 7 + i / 251) & 0xFF));
    }
    return s;
}

enum class Push : U8 { CHARS, BLOCKS };

class IcFifoBackPressureTest : public testing::TestWithParam<Push> {};

// The consumer takes small blocks and pauses now and then, so the FIFO is
// full again and again.
TEST_P(IcFifoBackPressureTest, SlowConsumerGetsEveryByteInOrder) {
    Fifo<64> fifo;
    icFifoSetPushWait(&fifo.f, 5000);
    const std::string sent = pattern(60000);
    std::string received;
    std::thread consumer([&] {
        std::array<Char, 16> buf{};
        const OsalWaitObject data = icFifoGetWaitObject(&fifo.f);
        const auto giveUp = Clock::now() + std::chrono::seconds(60);  // a lost byte fails, not hangs
        for (int round = 0; received.size() < sent.size() && Clock::now() < giveUp; ++round) {
            osalApi->waitForObjects(&data, 1, 100);
            const IcFifoIndex n = icFifoPopBlock(&fifo.f, static_cast<IcFifoIndex>(buf.size()), buf.data());
            received.append(buf.data(), n);
            if (round % 500 == 0) {
                std::this_thread::sleep_for(milliseconds(1));
            }
        }
    });
    if (GetParam() == Push::CHARS) {
        for (const char c : sent) {
            icFifoPushChar(&fifo.f, c);
        }
    } else {
        for (std::size_t pos = 0; pos < sent.size(); pos += 100) {
            const std::size_t n = std::min<std::size_t>(100, sent.size() - pos);
            icFifoPushBlock(&fifo.f, sent.data() + pos, static_cast<IcFifoIndex>(n));
        }
    }
    consumer.join();
    EXPECT_EQ(received, sent);
}

INSTANTIATE_TEST_SUITE_P(Producers, IcFifoBackPressureTest, testing::Values(Push::CHARS, Push::BLOCKS),
                         [](const testing::TestParamInfo<Push>& info) {
                             return std::string(info.param == Push::CHARS ? "Chars" : "Blocks");
                         });

TEST(IcFifoBackPressure, StoppedConsumerCostsOneWaitThenPushesDropAsBefore) {
    Fifo<32> fifo;
    icFifoSetPushWait(&fifo.f, 50);
    const std::string first = pattern(31);
    for (const char c : first) {
        icFifoPushChar(&fifo.f, c);
    }
    const auto start = Clock::now();
    for (int i = 0; i < 200; ++i) {
        icFifoPushChar(&fifo.f, 'x');  // nobody takes anything
    }
    const auto spent = Clock::now() - start;
    EXPECT_GE(spent, milliseconds(45)) << "the first push into the full FIFO waits";
    EXPECT_LT(spent, milliseconds(2000)) << "the others do not (200 waits would take 10 s)";

    // A consumer that takes half again is moving: the next full FIFO is
    // worth a wait, which the consumer ends by taking more.
    std::array<Char, 32> buf{};
    ASSERT_EQ(icFifoPopBlock(&fifo.f, 16, buf.data()), 16);
    EXPECT_EQ(std::string(buf.data(), 16), first.substr(0, 16));
    icFifoSetPushWait(&fifo.f, 5000);
    for (int i = 0; i < 16; ++i) {
        icFifoPushChar(&fifo.f, 'y');
    }
    ASSERT_EQ(icFifoCharsToPop(&fifo.f), 31);
    IcFifoIndex taken = 0;
    std::thread consumer([&] {
        std::this_thread::sleep_for(milliseconds(10));
        taken = icFifoPopBlock(&fifo.f, 16, buf.data());
    });
    icFifoPushChar(&fifo.f, 'z');  // waits for the consumer instead of dropping
    consumer.join();
    ASSERT_GT(taken, 0);
    EXPECT_EQ(icFifoCharsToPop(&fifo.f), 31 - taken + 1);

    // Switched off: a full FIFO drops at once again.
    icFifoSetPushWait(&fifo.f, 0);
    while (icFifoCharsToPop(&fifo.f) < 31) {
        icFifoPushChar(&fifo.f, 'w');
    }
    const auto offStart = Clock::now();
    icFifoPushChar(&fifo.f, 'v');
    EXPECT_LT(Clock::now() - offStart, milliseconds(1000));
    std::string rest;
    while (icFifoCharsToPop(&fifo.f) > 0) {
        rest.push_back(icFifoPopChar(&fifo.f));
    }
    EXPECT_EQ(rest.find('v'), std::string::npos);
    EXPECT_EQ(rest.find('z'), 31U - taken) << rest;
}

// A consumer on the producer's own thread (the console, written by the main
// loop) makes room when a push finds the FIFO full: nothing is lost while it
// can, and a consumer that cannot costs one call, not one per push.
TEST(IcFifoBackPressure, MakeRoomHookRunsOnThePushingThreadBeforeAnythingIsDropped) {
    struct Consumer {
        IcFifoInstance* fifo;
        IcFifoIndex takes;  // per call
        int calls = 0;
        std::string got;
    };
    for (const IcFifoIndex takes : {IcFifoIndex{1}, IcFifoIndex{64}, IcFifoIndex{0}}) {
        SCOPED_TRACE(takes);
        Fifo<32> fifo;
        Consumer consumer{&fifo.f, takes, 0, {}};
        icFifoSetMakeRoomFunc(
            &fifo.f,
            [](void* arg) {
                auto* c = static_cast<Consumer*>(arg);
                ++c->calls;
                std::array<Char, 64> buf{};
                c->got.append(buf.data(), icFifoPopBlock(c->fifo, c->takes, buf.data()));
            },
            &consumer);
        const std::string sent = pattern(1000);
        icFifoPushBlock(&fifo.f, sent.data(), 500);
        for (std::size_t i = 500; i < sent.size(); ++i) {
            icFifoPushChar(&fifo.f, sent[i]);
        }
        std::array<Char, 32> rest{};
        while (const IcFifoIndex n = icFifoPopBlock(&fifo.f, 32, rest.data())) {
            consumer.got.append(rest.data(), n);
        }
        if (takes > 0) {
            EXPECT_EQ(consumer.got, sent);
        } else {
            EXPECT_EQ(consumer.got, sent.substr(0, 31));
            EXPECT_EQ(consumer.calls, 1) << "a consumer that makes no room is asked once";
        }
    }
}

}  // namespace
