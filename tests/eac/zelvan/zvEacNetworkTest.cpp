#include "eac/zelvan/zvEacNetwork.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

#include "eac/zelvan/zvEacNetworkPrivate.h"
#include "fifo/icFifo.h"
#include "hal/include/icLocalTime.h"
#include "hal/include/icPlatformTimer.h"
#include "logger/logger.h"
#include "memory/mallocWrap/mallocWrap.h"
#include "support/frameEncoder.h"

namespace {

using Bytes = std::vector<U8>;

struct Frame {
    ZvEacNwkAddr source;
    ZvEacNwkAddr destination;
    Bytes data;
    bool operator==(const Frame&) const = default;
};

void PrintTo(const Frame& f, std::ostream* os) {
    *os << "{src " << int{f.source} << ", dst " << int{f.destination} << ", " << f.data.size() << " bytes}";
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// dst 5, src 0, no data, BCC 05; and a second one to dst 7.
const Bytes FRAME_TO_5 = {0x02, 0x05, 0x00, 0x00, 0x05, 0x03};
const Bytes FRAME_TO_7 = {0x02, 0x07, 0x00, 0x00, 0x07, 0x03};
const Frame GOT_TO_5 = {0, 5, {}};
const Frame GOT_TO_7 = {0, 7, {}};

const char* const STAMP = "\r (2024-01-31 13:05:09.042) ";

U32 fakeTick = 0;
U32 readFakeTick() { return fakeTick; }
void pinnedTime(IcLocalTime* out) { *out = IcLocalTime{2024, 1, 31, 13, 5, 9, 42}; }

// FIFOs own OS objects that live for the process, so each is made once.
IcFifoInstance& sharedFifo(int which) {
    static std::array<Char, 4096> rxBuffer{};
    static std::array<Char, 512> txBuffer{};
    static IcFifoInstance fifos[2] = {};
    static const bool initialised = [] {
        icFifoInit(&fifos[0], rxBuffer.data(), static_cast<IcFifoIndex>(rxBuffer.size()));
        icFifoInit(&fifos[1], txBuffer.data(), static_cast<IcFifoIndex>(txBuffer.size()));
        return true;
    }();
    (void)initialised;
    return fifos[which];
}

class ZvEacNetworkTest : public testing::Test {
protected:
    void SetUp() override {
        fakeTick = 1000;
        platformTimerSetTickSource(readFakeTick);
        icLocalTimeSetSource(pinnedTime);
        loggerSetSink(&ZvEacNetworkTest::capture, this);
        icFifoReset(&rx);
        icFifoReset(&tx);
        zvEacNwkSetRawData(0);
        zvEacNwkInit(&nwk, &tx, &rx, &ZvEacNetworkTest::onFrame, &ZvEacNetworkTest::onTxResult, this);
    }

    void TearDown() override {
        // A frame still in progress keeps its buffer; it is not a leak.
        zvEacNwkFree(nwk.rxRcvdInfo.data);
        zvEacNwkSetRawData(0);
        loggerSetSink(nullptr, nullptr);
        icLocalTimeSetSource(nullptr);
        platformTimerSetTickSource(nullptr);
    }

    static void capture(void* arg, const char* text) { static_cast<ZvEacNetworkTest*>(arg)->printed += text; }

    static void onFrame(void* cbArg, ZvEacNwkAddr source, ZvEacNwkAddr destination, ZvEacNwkLen length, U8* data) {
        auto* self = static_cast<ZvEacNetworkTest*>(cbArg);
        EXPECT_EQ(data == nullptr, length == 0);
        // Reads exactly `length` bytes: the sanitizer build catches a buffer
        // that is shorter than announced.
        self->received.push_back(Frame{source, destination, data ? Bytes(data, data + length) : Bytes{}});
        self->printedBeforeDelivery = self->printed;
        zvEacNwkFree(data);
    }

    static void onTxResult(void* cbArg, ZvEacNwkResult rc) {
        static_cast<ZvEacNetworkTest*>(cbArg)->txResults.push_back(rc);
    }

    int pendingEvents() const {
        const IcSmStateMachine& sm = nwk.stateMachine;
        return (sm.eventQueueIndexIn + IC_SM_EVENT_QUEUE_SIZE - sm.eventQueueIndexOut) % IC_SM_EVENT_QUEUE_SIZE;
    }

    void push(const Bytes& bytes) {
        for (U8 b : bytes) {
            icFifoPushChar(&rx, static_cast<Char>(b));
        }
    }

    // One execute step; each consumes at most one byte and leaves at most a
    // time-out event behind.
    void step() {
        const IcFifoIndex before = icFifoCharsToPop(&rx);
        zvEacNwkExe(&nwk);
        EXPECT_EQ(icFifoCharsToPop(&rx), before > 0 ? before - 1 : 0);
        EXPECT_LE(pendingEvents(), 1);
    }

    void drain() {
        while (icFifoCharsToPop(&rx) != 0) {
            step();
        }
        step();
    }

    void feed(const Bytes& bytes) {
        push(bytes);
        drain();
    }

    // Lets `ms` pass on a quiet line: one step notices a time-out, the next
    // one acts on it.
    void pause(U32 ms) {
        fakeTick += ms;
        step();
        step();
    }

    IcSmState state() const { return nwk.stateMachine.activeState; }

    IcFifoInstance& rx = sharedFifo(0);
    IcFifoInstance& tx = sharedFifo(1);
    ZvEacNwkInst nwk{};
    std::vector<Frame> received;
    std::vector<ZvEacNwkResult> txResults;
    std::string printed;
    std::string printedBeforeDelivery;
};

TEST_F(ZvEacNetworkTest, ReceivesFramesAndDropsBadOnes) {
    Bytes bytes255(255);
    for (std::size_t i = 0; i < bytes255.size(); ++i) {
        bytes255[i] = static_cast<U8>(i);
    }
    struct Case {
        const char* name;
        Bytes wire;
        std::vector<Frame> expected;
    };
    const Case cases[] = {
        {"no data", FRAME_TO_5, {GOT_TO_5}},
        {"escaped destination and data", {0x02, 0x1B, 0x82, 0x00, 0x01, 0x1B, 0x83, 0x00, 0x03}, {{0, 2, {0x03}}}},
        {"BCC equal to ESC", {0x02, 0x05, 0x00, 0x01, 0x1F, 0x1B, 0x9B, 0x03}, {{0, 5, {0x1F}}}},
        {"BCC equal to STX", {0x02, 0x05, 0x00, 0x01, 0x06, 0x1B, 0x82, 0x03}, {{0, 5, {0x06}}}},
        {"escaped source and length, control values in data",
         {0x02, 0x10, 0x1B, 0x9B, 0x1B, 0x83, 0x1B, 0x82, 0x1B, 0x83, 0x1B, 0x9B, 0x12, 0x03},
         {{0x1B, 0x10, {0x02, 0x03, 0x1B}}}},
        {"ESC before any value clears bit 7", {0x02, 0x05, 0x00, 0x01, 0x1B, 0xC1, 0x45, 0x03}, {{0, 5, {0x41}}}},
        {"ESC before a value whose bit 7 is clear keeps it",
         {0x02, 0x05, 0x00, 0x01, 0x1B, 0x41, 0x45, 0x03},
         {{0, 5, {0x41}}}},
        {"plain STX and ETX inside a frame are values",
         {0x02, 0x02, 0x00, 0x1B, 0x82, 0x02, 0x03, 0x01, 0x03},
         {{0, 2, {0x02, 0x03}}}},
        {"255 data bytes", zvtest::encodeFrameAnyLength(1, 0, bytes255), {{1, 0, bytes255}}},
        {"bytes before STX are ignored", Bytes{0x00, 0xFF, 0x41, 0x03, 0x82} + FRAME_TO_5, {GOT_TO_5}},
        {"ESC, STX while idle starts no frame", Bytes{0x1B} + FRAME_TO_5 + FRAME_TO_7, {GOT_TO_7}},
        {"wrong BCC", Bytes{0x02, 0x05, 0x00, 0x00, 0x06, 0x03} + FRAME_TO_7, {GOT_TO_7}},
        {"0x04 in place of ETX", Bytes{0x02, 0x05, 0x00, 0x00, 0x05, 0x04} + FRAME_TO_7, {GOT_TO_7}},
        {"escaped ETX does not end a frame", Bytes{0x02, 0x05, 0x00, 0x00, 0x05, 0x1B, 0x83} + FRAME_TO_7, {GOT_TO_7}},
        // The byte in place of ETX is consumed, so this STX starts nothing
        // and the rest of that frame is noise to the idle state.
        {"STX in place of ETX is not a frame start",
         Bytes{0x02, 0x05, 0x00, 0x00, 0x05} + FRAME_TO_7 + FRAME_TO_5,
         {GOT_TO_5}},
        {"two frames back to back", FRAME_TO_5 + FRAME_TO_7, {GOT_TO_5, GOT_TO_7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        received.clear();
        feed(c.wire);
        EXPECT_EQ(received, c.expected);
        EXPECT_EQ(state(), nwkSmInitState);
        EXPECT_EQ(nwk.rxRcvdInfo.data, nullptr);
    }
    EXPECT_TRUE(printed.empty());  // nothing is reported without raw-data mode
}

TEST_F(ZvEacNetworkTest, GapOf190MsBetweenTwoBytesDropsTheFrameInEveryState) {
    // dst 5, src 0, length 2 (escaped), data AA 03, BCC AE.
    const Bytes frame = {0x02, 0x05, 0x00, 0x1B, 0x82, 0xAA, 0x1B, 0x83, 0xAE, 0x03};
    struct Cut {
        std::size_t after;
        IcSmState waitingIn;
    };
    const Cut cuts[] = {
        {1, nwkSmGetHeaderState}, {3, nwkSmGetHeaderState}, {4, nwkSmGetHeaderState}, {5, nwkSmGetDataState},
        {7, nwkSmGetDataState},   {8, nwkSmGetBccState},    {9, nwkSmGetEtxState},
    };
    // Start ticks just below the 14-bit and the 16-bit wrap of the tick.
    for (U32 start : {1000U, 16300U, 65500U}) {
        for (const Cut& cut : cuts) {
            for (U32 gap : {189U, 190U, 1000U}) {
                SCOPED_TRACE(testing::Message() << "start " << start << " cut " << cut.after << " gap " << gap);
                received.clear();
                fakeTick = start;
                feed(Bytes(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(cut.after)));
                EXPECT_EQ(state(), cut.waitingIn);

                pause(gap);
                const bool kept = gap < 190;
                EXPECT_EQ(state(), kept ? cut.waitingIn : nwkSmInitState);
                EXPECT_EQ(nwk.rxRcvdInfo.data == nullptr, !kept || cut.after < 5);

                feed(Bytes(frame.begin() + static_cast<std::ptrdiff_t>(cut.after), frame.end()) + FRAME_TO_7);
                std::vector<Frame> expected;
                if (kept) {
                    expected.push_back({0, 5, {0xAA, 0x03}});
                }
                expected.push_back(GOT_TO_7);
                EXPECT_EQ(received, expected);

                // Idle: no time-out runs, however long the line is quiet.
                pause(20000);
                EXPECT_EQ(pendingEvents(), 0);
            }
        }
    }
}

TEST_F(ZvEacNetworkTest, EveryByteRestartsTheReceiveTimeOut) {
    const Bytes frame = zvtest::encodeFrameAnyLength(0, 9, Bytes{0x1B, 0x10, 0x02});
    for (U8 b : frame) {
        push({b});
        step();
        pause(150);
    }
    EXPECT_EQ(received, (std::vector<Frame>{{0, 9, {0x1B, 0x10, 0x02}}}));
}

TEST_F(ZvEacNetworkTest, FrameWithoutBufferIsDroppedAndTheNextOneIsReceived) {
    // dst 5, src 0, data 02 41 (escaped): the rest of it holds no plain STX.
    memSetFailNextAllocs(1);
    feed(zvtest::encodeFrameAnyLength(0, 5, Bytes{0x02, 0x41}) + FRAME_TO_7);
    memSetFailNextAllocs(0);
    EXPECT_EQ(received, std::vector<Frame>{GOT_TO_7});
}

TEST_F(ZvEacNetworkTest, FrameIsReleasedWhenNobodyTakesIt) {
    zvEacNwkInit(&nwk, &tx, &rx, nullptr, nullptr, nullptr);
    feed(zvtest::encodeFrameAnyLength(0, 5, Bytes{1, 2, 3}));  // the sanitizer build reports a leak if kept
    EXPECT_EQ(state(), nwkSmInitState);
}

TEST_F(ZvEacNetworkTest, RandomNoiseNeverBreaksTheReceiver) {
    std::mt19937 rng(4711);
    const U8 favourites[] = {0x02, 0x03, 0x1B, 0x82, 0x83, 0x9B, 0x00, 0xFF};
    for (int round = 0; round < 200; ++round) {
        Bytes noise(rng() % 600);
        for (U8& b : noise) {
            b = rng() % 3 == 0 ? favourites[rng() % std::size(favourites)] : static_cast<U8>(rng());
        }
        received.clear();
        feed(noise);
        // After a pause the receiver is back in step with the line.
        pause(190);
        feed({0x00});  // also ends an ESC the noise may have left pending in the idle state
        feed(FRAME_TO_7);
        ASSERT_FALSE(received.empty());
        EXPECT_EQ(received.back(), GOT_TO_7);
    }
}

TEST_F(ZvEacNetworkTest, WhatTheEncoderWritesTheReceiverDelivers) {
    std::mt19937 rng(20240131);
    const U8 controls[] = {0x02, 0x03, 0x1B, 0x82, 0x83, 0x9B};
    auto pick = [&](unsigned controlPercent) {
        return rng() % 100 < controlPercent ? controls[rng() % std::size(controls)] : static_cast<U8>(rng());
    };
    std::size_t longest = 0;
    for (int batch = 0; batch < 150; ++batch) {
        Bytes wire;
        std::vector<Frame> expected;
        const int frames = 1 + static_cast<int>(rng() % 6);
        for (int f = 0; f < frames; ++f) {
            const unsigned density = rng() % 60;
            Frame frame{pick(30), pick(30), Bytes(rng() % 171)};
            std::generate(frame.data.begin(), frame.data.end(), [&] { return pick(density); });
            // Keep within the encoder's limit; escapes make dense telegrams grow.
            while (zvtest::encodedFrameSize(frame.source, frame.destination, frame.data) >
                   ZV_EAC_NWK_MAX_ENCODED_FRAME) {
                frame.data.pop_back();
            }
            const Bytes encoded = zvtest::encodeFrame(frame.source, frame.destination, frame.data);
            longest = std::max(longest, frame.data.size());
            wire = wire + encoded;
            expected.push_back(frame);
        }
        received.clear();
        feed(wire);  // back to back, no time passing
        ASSERT_EQ(received, expected) << "batch " << batch;
    }
    EXPECT_GE(longest, 165U);
}

TEST(ZvEacFrame, EncodesWithinTheSendersLimit) {
    const Bytes almostFull(173, 0x41);
    struct Case {
        const char* name;
        ZvEacNwkAddr source;
        ZvEacNwkAddr destination;
        Bytes data;
        std::size_t size;  // 0: refused
        Bytes wire;        // checked when given
    };
    const Case cases[] = {
        {"no data", 0, 5, {}, 6, FRAME_TO_5},
        {"escaped destination and data", 0, 2, {0x03}, 9, {0x02, 0x1B, 0x82, 0x00, 0x01, 0x1B, 0x83, 0x00, 0x03}},
        {"BCC that needs escaping", 0, 5, {0x1F}, 8, {0x02, 0x05, 0x00, 0x01, 0x1F, 0x1B, 0x9B, 0x03}},
        {"control values everywhere",
         0x1B,
         0x03,
         {0x02, 0x03},
         14,
         {0x02, 0x1B, 0x83, 0x1B, 0x9B, 0x1B, 0x82, 0x1B, 0x82, 0x1B, 0x83, 0x1B, 0x9B, 0x03}},
        {"180 bytes exactly", 1, 5, almostFull + Bytes{0x41}, 180, {}},
        {"one data byte over", 1, 5, almostFull + Bytes{0x41, 0x41}, 0, {}},
        {"an escaped data byte over", 1, 5, almostFull + Bytes{0x02}, 0, {}},
        {"an escaped BCC over", 1, 5, almostFull + Bytes{0xF0}, 0, {}},
        {"more than 255 data bytes", 1, 5, Bytes(256, 0x41), 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::array<U8, ZV_EAC_NWK_MAX_ENCODED_FRAME> out{};
        out.fill(0xEE);
        const std::size_t size = zvEacFrameEncode(c.source, c.destination, c.data, out);
        EXPECT_EQ(size, c.size);
        if (!c.wire.empty()) {
            EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(size)), c.wire);
        }
        if (size == 0) {
            EXPECT_EQ(std::count(out.begin(), out.end(), 0xEE), ZV_EAC_NWK_MAX_ENCODED_FRAME) << "refused, yet written";
        }
    }
}

TEST_F(ZvEacNetworkTest, EncoderReportsEachFrameOnceOnTheNextStep) {
    U8* message = zvEacNwkAlloc(2);
    ASSERT_NE(message, nullptr);
    message[0] = 0x1B;
    message[1] = 0x44;
    zvEacNwkTx(&nwk, 3, 0, 2, message);  // takes the buffer
    zvEacNwkTx(&nwk, 3, 0, 0, nullptr);
    Bytes written(icFifoCharsToPop(&tx));
    for (U8& b : written) {
        b = static_cast<U8>(icFifoPopChar(&tx));
    }
    EXPECT_EQ(written, zvtest::encodeFrameAnyLength(3, 0, Bytes{0x1B, 0x44}) + zvtest::encodeFrameAnyLength(3, 0, {}));
    EXPECT_TRUE(txResults.empty());
    step();
    step();
    EXPECT_EQ(txResults, std::vector<ZvEacNwkResult>{ZV_EAC_NWK_RC_SUCCESS});
}

using ZvEacNetworkDeathTest = ZvEacNetworkTest;

TEST_F(ZvEacNetworkDeathTest, FrameLongerThan180BytesIsFatal) {
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);  // the handler writes to standard output
            U8* message = zvEacNwkAlloc(175);
            std::fill(message, message + 175, 0x41);
            zvEacNwkTx(&nwk, 1, 5, 175, message);
        },
        testing::ExitedWithCode(2), "\neac/zelvan/zvEacNetwork:670: \\(F\\) Assertion failed 'FALSE'\n");
}

// A gate as an address filter for devices 7 and 27 sets it.
Boolean gateFor7And27(void* /*arg*/, U8 source, U8 destination) {
    const auto wanted = [](U8 a) { return a == 7 || a == 27; };
    return wanted(source) || wanted(destination) ? TRUE : FALSE;
}

TEST_F(ZvEacNetworkTest, RawDataModePrintsEveryByte) {
    const std::string ts = STAMP;
    const std::string lineTo7 = ts + "     STX 07  00  00  07  ETX  \n";
    struct Case {
        const char* name;
        U8 rawData;
        ZvEacRawDumpGate gate;
        Bytes wire;
        std::string text;
    };
    const Case cases[] = {
        {"good frame: one line",
         1,
         nullptr,
         {0x02, 0x05, 0x00, 0x01, 0x1F, 0x1B, 0x9B, 0x03},
         ts + "     STX 05  00  01  1f  ESC 9b  ETX  \n"},
        {"bytes before STX, each after its own stamp",
         1,
         nullptr,
         {0x41, 0x1B, 0x02},
         ts + "41  " + ts + "ESC " + ts + "02  "},
        {"frame dropped at its BCC: no line end",
         1,
         nullptr,
         {0x02, 0x05, 0x00, 0x00, 0x06, 0x03},
         ts + "     STX 05  00  00  06  " + ts + "ETX  "},
        // The ESC read in place of ETX ends that line; the next STX is a
        // frame start to the receiver and shows as one.
        {"frame dropped by an ESC in place of ETX", 1, nullptr, Bytes{0x02, 0x05, 0x00, 0x00, 0x05, 0x1B} + FRAME_TO_7,
         ts + "     STX 05  00  00  05  ESC \n" + lineTo7},
        {"switched off", 0, nullptr, FRAME_TO_5, ""},
        // With a gate only frames it lets through, whole, and nothing between.
        {"gate: other devices and noise hidden", 1, gateFor7And27, Bytes{0x41} + FRAME_TO_5 + FRAME_TO_7, lineTo7},
        {"gate: escaped address held and shown",
         1,
         gateFor7And27,
         {0x02, 0x1B, 0x9B, 0x00, 0x00, 0x1B, 0x9B, 0x03},
         ts + "     STX ESC 9b  00  00  ESC 9b  ETX  \n"},
        {"gate: dropped frame shown to its drop, not what follows",
         1,
         gateFor7And27,
         {0x02, 0x07, 0x00, 0x00, 0x08, 0x03},
         ts + "     STX 07  00  00  08  "},
        {"gate: escaped STX is no frame start", 1, gateFor7And27, Bytes{0x1B, 0x02, 0x07} + FRAME_TO_7, lineTo7},
        {"gate removed: every byte again", 1, nullptr, Bytes{0x41} + FRAME_TO_5,
         ts + "41  " + ts + "     STX 05  00  00  05  ETX  \n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        zvEacNwkSetRawData(c.rawData);
        zvEacNwkSetRawDumpGate(&nwk, c.gate, nullptr);
        printed.clear();
        received.clear();
        feed(c.wire);
        EXPECT_EQ(printed, c.text);
        if (!received.empty() && c.gate == nullptr) {
            // The raw line is complete before the frame is handed on.
            EXPECT_EQ(printedBeforeDelivery, c.text);
        }
    }
}

// The receive FIFO notes when each byte came off the line, as in the program.
class ZvEacNetworkArrivalTest : public ZvEacNetworkTest {
protected:
    void SetUp() override {
        ZvEacNetworkTest::SetUp();
        icFifoEnableArrivalTicks(&rx, arrivalTicks.data());
    }

    void TearDown() override {
        icFifoEnableArrivalTicks(&rx, nullptr);
        ZvEacNetworkTest::TearDown();
    }

    static inline std::array<U16, 4096> arrivalTicks{};

    // dst 5, src 0, length 2 (escaped), data AA 03, BCC AE.
    const Bytes frame = {0x02, 0x05, 0x00, 0x1B, 0x82, 0xAA, 0x1B, 0x83, 0xAE, 0x03};
    const Frame got = {0, 5, {0xAA, 0x03}};
};

U32 slowTickStep = 0;
// A clock that has moved on by `slowTickStep` whenever it is read: a main
// loop that falls behind between any two of its own readings.
U32 readSlowTick() {
    fakeTick += slowTickStep;
    return fakeTick;
}

TEST_F(ZvEacNetworkArrivalTest, FrameThatArrivedAtOnceSurvivesASlowMainLoop) {
    struct Pace {
        U32 perStep;
        U32 perClockReading;
    };
    // Start ticks just below the 14-bit and the 16-bit wrap of the tick.
    for (U32 start : {1000U, 16300U, 65500U}) {
        for (const Pace pace : {Pace{100, 0}, Pace{0, 190}, Pace{1000, 250}}) {
            SCOPED_TRACE(testing::Message() << "start " << start << " per step " << pace.perStep
                                            << " per clock reading " << pace.perClockReading);
            received.clear();
            fakeTick = start;
            slowTickStep = pace.perClockReading;
            platformTimerSetTickSource(readSlowTick);
            const Bytes wire = frame + FRAME_TO_7;
            icFifoPushBlock(&rx, reinterpret_cast<const Char*>(wire.data()), static_cast<IcFifoIndex>(wire.size()));
            while (icFifoCharsToPop(&rx) != 0) {
                fakeTick += pace.perStep;
                step();
            }
            step();
            platformTimerSetTickSource(readFakeTick);
            EXPECT_EQ(received, (std::vector<Frame>{got, GOT_TO_7}));
        }
    }
}

TEST_F(ZvEacNetworkArrivalTest, GapOnTheLineDecidesHoweverLateTheBytesAreTaken) {
    for (U32 start : {1000U, 16300U, 65500U}) {
        for (std::size_t cut : {1U, 4U, 5U, 8U, 9U}) {
            for (U32 gap : {0U, 189U, 190U, 1000U}) {
                SCOPED_TRACE(testing::Message() << "start " << start << " cut " << cut << " gap " << gap);
                received.clear();
                fakeTick = start;
                push(Bytes(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(cut)));
                fakeTick += gap;
                // The rest of the dropped frame holds no plain STX, so the
                // next frame starts clean.
                push(Bytes(frame.begin() + static_cast<std::ptrdiff_t>(cut), frame.end()) + FRAME_TO_7);
                fakeTick += 300;  // every step runs well after the last byte came in
                drain();
                std::vector<Frame> expected;
                if (gap < 190) {
                    expected.push_back(got);
                }
                expected.push_back(GOT_TO_7);
                EXPECT_EQ(received, expected);
                EXPECT_EQ(state(), nwkSmInitState);
            }
        }
    }
}

struct Unit {
    ZvEacNwkUnitKind kind;
    Bytes wire;
    bool operator==(const Unit&) const = default;
};

void PrintTo(const Unit& u, std::ostream* os) { *os << "{kind " << int{u.kind} << ", " << u.wire.size() << " bytes}"; }

struct TappedUnit {
    Unit unit;
    U16 firstArrivalTick;
    U16 lastArrivalTick;
    std::size_t framesDeliveredBefore;
};

TEST_F(ZvEacNetworkArrivalTest, TapGetsEveryByteOnceInTheUnitTheReceiverDecidedOn) {
    std::vector<TappedUnit> tapped;
    struct TapArg {
        std::vector<TappedUnit>* tapped;
        const std::vector<Frame>* received;
    } tapArg{&tapped, &received};
    zvEacNwkSetTap(
        &nwk,
        [](void* arg, const ZvEacNwkUnit& u) {
            const auto* t = static_cast<TapArg*>(arg);
            t->tapped->push_back({{u.kind, Bytes(u.wire.begin(), u.wire.end())},
                                  u.firstArrivalTick,
                                  u.lastArrivalTick,
                                  t->received->size()});
        },
        &tapArg);

    const Bytes longest = zvtest::encodeFrameAnyLength(0x1B, 0x03, Bytes(255, 0x02));
    const Bytes overlong(ZV_EAC_NWK_WIRE_CAPACITY + 1, 0x41);
    struct Burst {
        U32 quietBefore_ms;
        Bytes bytes;
    };
    struct Case {
        const char* name;
        std::vector<Burst> bursts;
        U32 failedAllocs;
        std::vector<Unit> units;
    };
    const Case cases[] = {
        {"good frame", {{0, FRAME_TO_5}}, 0, {{ZV_EAC_NWK_UNIT_FRAME, FRAME_TO_5}}},
        {"noise around a frame; ESC, STX is noise",
         {{0, {0x41, 0x1B, 0x02}}, {100, FRAME_TO_5 + Bytes{0x03}}},
         0,
         {{ZV_EAC_NWK_UNIT_NOISE, {0x41, 0x1B, 0x02}},
          {ZV_EAC_NWK_UNIT_FRAME, FRAME_TO_5},
          {ZV_EAC_NWK_UNIT_NOISE, {0x03}}}},
        {"quiet line ends a run of noise",
         {{0, {0x41}}, {190, {0x42}}},
         0,
         {{ZV_EAC_NWK_UNIT_NOISE, {0x41}}, {ZV_EAC_NWK_UNIT_NOISE, {0x42}}}},
        {"noise beyond its buffer",
         {{0, overlong}},
         0,
         {{ZV_EAC_NWK_UNIT_NOISE, Bytes(ZV_EAC_NWK_WIRE_CAPACITY, 0x41)}, {ZV_EAC_NWK_UNIT_NOISE, {0x41}}}},
        {"wrong escaped BCC",
         {{0, {0x02, 0x05, 0x00, 0x01, 0x1F, 0x1B, 0x9C, 0x03}}},
         0,
         {{ZV_EAC_NWK_UNIT_DROP_BCC, {0x02, 0x05, 0x00, 0x01, 0x1F, 0x1B, 0x9C}}, {ZV_EAC_NWK_UNIT_NOISE, {0x03}}}},
        {"gap inside a frame",
         {{0, {0x02, 0x05, 0x00}}, {190, {0x00, 0x05, 0x03}}},
         0,
         {{ZV_EAC_NWK_UNIT_DROP_TIMEOUT, {0x02, 0x05, 0x00}}, {ZV_EAC_NWK_UNIT_NOISE, {0x00, 0x05, 0x03}}}},
        {"0x04 in place of ETX",
         {{0, Bytes{0x02, 0x05, 0x00, 0x00, 0x05, 0x04} + FRAME_TO_7}},
         0,
         {{ZV_EAC_NWK_UNIT_DROP_NO_ETX, {0x02, 0x05, 0x00, 0x00, 0x05, 0x04}}, {ZV_EAC_NWK_UNIT_FRAME, FRAME_TO_7}}},
        {"no buffer for the data",
         {{0, {0x02, 0x05, 0x00, 0x02, 0x41, 0x42, 0x06, 0x03}}},
         1,
         {{ZV_EAC_NWK_UNIT_DROP_NO_MEMORY, {0x02, 0x05, 0x00, 0x02}},
          {ZV_EAC_NWK_UNIT_NOISE, {0x41, 0x42, 0x06, 0x03}}}},
        {"longest frame the line can carry", {{0, longest}}, 0, {{ZV_EAC_NWK_UNIT_FRAME, longest}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tapped.clear();
        received.clear();
        Bytes sent;
        std::vector<U16> sentAt;
        memSetFailNextAllocs(c.failedAllocs);
        for (const Burst& burst : c.bursts) {
            pause(burst.quietBefore_ms);
            push(burst.bytes);
            sent = sent + burst.bytes;
            sentAt.insert(sentAt.end(), burst.bytes.size(), static_cast<U16>(fakeTick));
            drain();
        }
        memSetFailNextAllocs(0);
        zvEacNwkFlush(&nwk);

        std::vector<Unit> units;
        Bytes joined;
        std::size_t frames = 0;
        for (const TappedUnit& t : tapped) {
            units.push_back(t.unit);
            EXPECT_EQ(t.firstArrivalTick, sentAt[joined.size()]);
            EXPECT_EQ(t.lastArrivalTick, sentAt[joined.size() + t.unit.wire.size() - 1]);
            joined = joined + t.unit.wire;
            if (t.unit.kind == ZV_EAC_NWK_UNIT_FRAME) {
                EXPECT_EQ(t.framesDeliveredBefore, frames++) << "the tap comes right before the callback";
            }
        }
        EXPECT_EQ(units, c.units);
        EXPECT_EQ(joined, sent);
        EXPECT_EQ(received.size(), frames);
    }
}

TEST_F(ZvEacNetworkArrivalTest, QuietLineEndsTheFrameOnceTheFifoIsEmpty) {
    push(Bytes(frame.begin(), frame.begin() + 5));
    drain();
    EXPECT_EQ(state(), nwkSmGetDataState);
    pause(190);  // measured from the last byte's arrival to now
    EXPECT_EQ(state(), nwkSmInitState);
    feed(FRAME_TO_7);
    EXPECT_EQ(received, std::vector<Frame>{GOT_TO_7});
}

// A main loop that sleeps until the receiver's next deadline, and no longer,
// wakes exactly when a frame cut off by a silent line has to be dropped.
TEST_F(ZvEacNetworkArrivalTest, DeadlineIsWhenTheFrameInProgressRunsOutOfTime) {
    EXPECT_EQ(zvEacNwkNextDeadline_ms(&nwk), MAX_U32) << "no frame open: nothing to wake for";
    feed({0x55, 0x66});  // noise between frames ends the same way
    fakeTick += 50;
    EXPECT_EQ(zvEacNwkNextDeadline_ms(&nwk), 140U);
    pause(140);
    EXPECT_EQ(zvEacNwkNextDeadline_ms(&nwk), MAX_U32);
    for (U32 start : {1000U, 16380U, 65530U}) {
        for (std::size_t cut : {1U, 5U, 9U}) {
            for (U32 alreadyWaited : {0U, 60U, 189U}) {
                SCOPED_TRACE(testing::Message() << "start " << start << " cut " << cut << " waited " << alreadyWaited);
                received.clear();
                fakeTick = start;
                feed(Bytes(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(cut)));
                fakeTick += alreadyWaited;
                const U32 due = zvEacNwkNextDeadline_ms(&nwk);
                EXPECT_EQ(due, 190 - alreadyWaited);
                pause(due - 1);
                EXPECT_NE(state(), nwkSmInitState) << "woken a millisecond early: the frame stays";
                EXPECT_EQ(zvEacNwkNextDeadline_ms(&nwk), 1U);
                pause(1);
                EXPECT_EQ(state(), nwkSmInitState);
                EXPECT_EQ(zvEacNwkNextDeadline_ms(&nwk), MAX_U32);
                feed(FRAME_TO_7);
                EXPECT_EQ(received, std::vector<Frame>{GOT_TO_7});
            }
        }
    }
}

}  // namespace
