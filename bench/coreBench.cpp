// Google Benchmark over the core, single-threaded: bytes through the frame
// receiver, telegrams through the printer into a discarding sink, the whole
// decode path of the main thread down to the console FIFO, and the platform
// primitives each received byte and printed character pays for.
//
// The stream is the built-in one unless --stream=FILE names a recording of
// the bus simulator (bench/run.sh passes one).

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "Appl/zelvanEacSniffer/busObserver.h"
#include "Shell/shell.h"
#include "benchModes.h"
#include "benchRig.h"
#include "devices/zvEacDevices.h"
#include "eac/zelvan/zvEacToStr.h"
#include "fifo/icFifo.h"
#include "hal/include/icLocalTime.h"
#include "hal/include/icOsal.h"
#include "logger/logger.h"
#include "report/zvReportHtml.h"
#include "stats/zvEacStats.h"
#include "timer/icTimer.h"

namespace {

constexpr std::size_t kBuiltinFrames = 4000;
constexpr IcFifoIndex kRxSize = 255;
constexpr IcFifoIndex kShellTxSize = 5000;
constexpr IcFifoIndex kShellRxSize = 255;

std::string streamPath;

struct Workload {
    std::vector<U8> bytes;
    std::vector<bench::StreamFrame> frames;
    std::size_t dataFrames = 0;
};

const Workload& workload() {
    static const Workload w = [] {
        Workload load;
        load.bytes = bench::loadStreamOrBuiltin(streamPath, kBuiltinFrames);
        load.frames = bench::indexFrames(load.bytes);
        for (const bench::StreamFrame& f : load.frames) {
            load.dataFrames += f.telegram.empty() ? 0 : 1;
        }
        return load;
    }();
    return w;
}

// The main loop's FIFOs and wait list, set up once as the application does.
struct Rig {
    std::array<Char, kRxSize> rxBuf{};
    std::array<Char, kRxSize> txBuf{};
    std::array<Char, kShellTxSize> shellTxBuf{};
    std::array<Char, kShellRxSize> shellRxBuf{};
    IcFifoInstance fifoRx{};
    IcFifoInstance fifoTx{};
    IcFifoInstance fifoShellTx{};
    IcFifoInstance fifoShellRx{};
    std::array<OsalWaitObject, 3> waitList{};
    std::array<Char, kShellTxSize> drainBuf{};
    std::size_t consoleBytes = 0;

    Rig() {
        icTimerInit();
        icFifoInit(&fifoTx, txBuf.data(), kRxSize);
        icFifoInit(&fifoRx, rxBuf.data(), kRxSize);
        icFifoInit(&fifoShellTx, shellTxBuf.data(), kShellTxSize);
        icFifoInit(&fifoShellRx, shellRxBuf.data(), kShellRxSize);
        waitList = {icFifoGetWaitObject(&fifoRx), icFifoGetWaitObject(&fifoShellRx), hioTimerGetWaitObject()};
        shellInit(nullptr, &fifoShellTx, &fifoShellRx);
        // A pass that prints more than the console FIFO holds writes out
        // in between, as the console driver does.
        icFifoSetMakeRoomFunc(
            &fifoShellTx, [](void* rig) { static_cast<Rig*>(rig)->drainConsole(); }, this);
        drainConsole();
    }

    // What the console driver does: take the queued text in blocks.
    void drainConsole() {
        IcFifoIndex n = 0;
        while ((n = icFifoPopBlock(&fifoShellTx, kShellTxSize, drainBuf.data())) > 0) {
            consoleBytes += n;
            benchmark::DoNotOptimize(drainBuf.data());
        }
    }

    // One pass of the main loop without the devices and its wait: all that
    // was received is decoded, then the timer service, the shell and the
    // logger have their turn.
    void pass(ZvEacNwkInst& nwk) {
        for (IcFifoIndex steps = std::max<IcFifoIndex>(icFifoCharsHeld(&fifoRx), 1); steps > 0; --steps) {
            zvEacNwkExe(&nwk);
        }
        icTimerExe();
        while (icFifoCharsHeld(&fifoShellRx) != 0) {
            shellExe();
        }
        loggerExe();
    }
};

Rig& rig() {
    static Rig r;
    return r;
}

void countFrame(void* cbArg, ZvEacNwkAddr, ZvEacNwkAddr, ZvEacNwkLen, U8* data) {
    ++*static_cast<std::size_t*>(cbArg);
    zvEacNwkFree(data);
}

void discardText(void* arg, const char* text) { *static_cast<std::size_t*>(arg) += std::strlen(text); }

void fixedTime(IcLocalTime* out) { *out = IcLocalTime{2024, 5, 17, 12, 34, 56, 789}; }

// Pushes the stream into the receive FIFO as the serial driver does (one
// block per read, never past its room) and lets `drain` empty it.
template <typename Drain>
void pushStream(IcFifoInstance& fifo, const std::vector<U8>& bytes, Drain drain) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t n = std::min<std::size_t>(icFifoFreeRoom(&fifo), bytes.size() - pos);
        icFifoPushBlock(&fifo, reinterpret_cast<const Char*>(bytes.data() + pos), static_cast<IcFifoIndex>(n));
        pos += n;
        drain();
    }
}

void setRates(benchmark::State& state, std::size_t frames, std::size_t bytes) {
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["frames/s"] =
        benchmark::Counter(iterations * static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["bytes/s"] =
        benchmark::Counter(iterations * static_cast<double>(bytes), benchmark::Counter::kIsRate);
}

// ---- the core ----------------------------------------------------------------------

void countUnit(void* arg, const ZvEacNwkUnit& unit) { *static_cast<std::size_t*>(arg) += unit.wire.size(); }

// The frame receiver alone: bytes in, frames to a counting callback; with
// argument 1 a tap also sees every unit the receiver decides on.
void BM_FrameReceiver(benchmark::State& state) {
    const Workload& w = workload();
    Rig& r = rig();
    std::size_t received = 0;
    std::size_t tapped = 0;
    ZvEacNwkInst nwk{};
    zvEacNwkInit(&nwk, &r.fifoTx, &r.fifoRx, countFrame, nullptr, &received);
    if (state.range(0) != 0) {
        zvEacNwkSetTap(&nwk, countUnit, &tapped);
    }
    for (auto _ : state) {
        pushStream(r.fifoRx, w.bytes, [&] {
            while (icFifoCharsToPop(&r.fifoRx) != 0) {
                zvEacNwkExe(&nwk);
            }
        });
    }
    zvEacNwkFlush(&nwk);
    if (received != w.frames.size() * state.iterations()) {
        state.SkipWithError("frames were lost");
    }
    if (state.range(0) != 0 && tapped != w.bytes.size() * state.iterations()) {
        state.SkipWithError("the tap missed bytes");
    }
    setRates(state, w.frames.size(), w.bytes.size());
}
BENCHMARK(BM_FrameReceiver)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The main loop's passes (receiver, timer service, shell, logger), one per
// block the line brings in, frames to a counting callback.
void BM_MainLoopNoPrint(benchmark::State& state) {
    const Workload& w = workload();
    Rig& r = rig();
    std::size_t received = 0;
    ZvEacNwkInst nwk{};
    zvEacNwkInit(&nwk, &r.fifoTx, &r.fifoRx, countFrame, nullptr, &received);
    for (auto _ : state) {
        pushStream(r.fifoRx, w.bytes, [&] { r.pass(nwk); });
    }
    setRates(state, w.frames.size(), w.bytes.size());
}
BENCHMARK(BM_MainLoopNoPrint)->Unit(benchmark::kMillisecond);

// The message printer and logger formatting, text to a discarding sink.
void BM_Printer(benchmark::State& state) {
    const Workload& w = workload();
    std::size_t textBytes = 0;
    loggerSetSink(discardText, &textBytes);
    loggerSetVerbosity(static_cast<U8>(state.range(0)));
    icLocalTimeSetSource(fixedTime);
    for (auto _ : state) {
        for (const bench::StreamFrame& f : w.frames) {
            if (!f.telegram.empty()) {
                const bool fromMaster = f.source == 0;
                zvEacShellPrintMessage(fromMaster ? PRINT_MSG_DIR_OUTGOING : PRINT_MSG_DIR_INCOMING, 0,
                                       fromMaster ? f.destination : f.source, static_cast<U8>(f.telegram.size()),
                                       f.telegram.data());
            }
        }
    }
    icLocalTimeSetSource(nullptr);
    loggerSetSink(nullptr, nullptr);
    loggerSetVerbosity(VERB_CLEARTEXT);
    setRates(state, w.dataFrames, w.bytes.size());
    state.counters["text/frame"] =
        static_cast<double>(textBytes) / (static_cast<double>(state.iterations()) * static_cast<double>(w.dataFrames));
}
BENCHMARK(BM_Printer)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

// The prompt the program's observer prints after each report.
void promptOnConsole(void* /*arg*/) { shellApi->printf(shellApi->sh, "%s", " > "); }

// The sniffer's main loop end to end without the devices: received bytes
// through its passes, the bus observer, printer, logger and shell into the
// console FIFO, which is emptied in blocks as the console driver does.
void BM_DecodePath(benchmark::State& state) {
    const Workload& w = workload();
    Rig& r = rig();
    ZvEacNwkInst nwk{};
    BusObserver observer{};
    observer.prompt = promptOnConsole;
    zvEacNwkInit(&nwk, &r.fifoTx, &r.fifoRx, zvEacNetworkRxCb, zvEacNwkTxResCb, &observer);
    loggerSetVerbosity(static_cast<U8>(state.range(0)));
    r.consoleBytes = 0;
    for (auto _ : state) {
        pushStream(r.fifoRx, w.bytes, [&] {
            r.pass(nwk);
            r.drainConsole();
        });
    }
    loggerSetVerbosity(VERB_CLEARTEXT);
    setRates(state, w.dataFrames, w.bytes.size());
    state.counters["console/frame"] = static_cast<double>(r.consoleBytes) /
                                      (static_cast<double>(state.iterations()) * static_cast<double>(w.dataFrames));
}
BENCHMARK(BM_DecodePath)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

// ---- bus statistics ----------------------------------------------------------------

// Frames a line at 115200 bit/s carries per second when it is never idle,
// with this stream's bytes per frame.
double fullLoadFramesPerSecond(const Workload& w) {
    constexpr double kBytesPerSecond = 115200.0 / 11.0;
    return w.frames.empty()
               ? 0.0
               : kBytesPerSecond * static_cast<double>(w.frames.size()) / static_cast<double>(w.bytes.size());
}

// The statistics alone, fed per frame as the receiver's tap and the bus
// observer feed them. "cpu_per_s_at_100pct" is the CPU time they take per second of a
// 115200 bit/s line that is never idle (1us = 0.0001 % of a core).
void BM_Statistics(benchmark::State& state) {
    const Workload& w = workload();
    zvEacStatsReset();
    ZvEacNwkAddr pending = 0;
    U16 tick = 0;
    for (auto _ : state) {
        std::size_t previousEtx = 0;
        for (const bench::StreamFrame& f : w.frames) {
            const auto wireBytes = static_cast<U32>(f.etxOffset + 1 - previousEtx);
            previousEtx = f.etxOffset + 1;
            zvEacStatsLine(ZV_EAC_STATS_LINE_FRAME, wireBytes, tick, static_cast<U16>(tick + 1));
            tick = static_cast<U16>(tick + 3);
            zvEacStatsFrame(f.source, f.destination, static_cast<ZvEacNwkLen>(f.telegram.size()),
                            f.telegram.empty() ? nullptr : f.telegram.data());
            if (f.source == 0) {
                if (pending != 0) {
                    zvEacStatsMissed(pending);
                }
                pending = f.destination;
            } else {
                if (f.source == pending) {
                    zvEacStatsAnswer(f.source);
                }
                pending = 0;
            }
        }
    }
    setRates(state, w.frames.size(), w.bytes.size());
    state.counters["cpu_per_s_at_100pct"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(w.frames.size()) / fullLoadFramesPerSecond(w),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Statistics)->Unit(benchmark::kMicrosecond);

// BM_DecodePath with the receiver's tap feeding the statistics, as in the
// program: the difference to BM_DecodePath is what the line figures cost.
void BM_DecodePathWithLineStats(benchmark::State& state) {
    const Workload& w = workload();
    Rig& r = rig();
    ZvEacNwkInst nwk{};
    BusObserver observer{};
    observer.prompt = promptOnConsole;
    zvEacNwkInit(&nwk, &r.fifoTx, &r.fifoRx, zvEacNetworkRxCb, zvEacNwkTxResCb, &observer);
    zvEacNwkSetTap(&nwk, zvEacStatsTap, nullptr);
    zvEacStatsReset();
    loggerSetVerbosity(static_cast<U8>(state.range(0)));
    for (auto _ : state) {
        pushStream(r.fifoRx, w.bytes, [&] {
            while (icFifoCharsToPop(&r.fifoRx) != 0) {
                r.pass(nwk);
                if (icFifoCharsToPop(&r.fifoShellTx) > kShellTxSize / 2) {
                    r.drainConsole();
                }
            }
        });
        r.drainConsole();
    }
    zvEacNwkFlush(&nwk);
    loggerSetVerbosity(VERB_CLEARTEXT);
    if (zvEacStatsLineTotals().frames != w.frames.size() * state.iterations()) {
        state.SkipWithError("the statistics missed frames");
    }
    setRates(state, w.dataFrames, w.bytes.size());
}
BENCHMARK(BM_DecodePathWithLineStats)->Arg(1)->Unit(benchmark::kMillisecond);

// ---- platform primitives -------------------------------------------------------------

// One telegram into the device table: a device repeating its lock state
// (the common case: every poll answered with what it said before), and one
// whose state changes every time, which is decoded.
void BM_DeviceTableUpdate(benchmark::State& state) {
    ZvEacDeviceTable table;
    std::array<U8, 2> lockState{0xA3, 0x02};
    const bool changing = state.range(0) != 0;
    U64 now = 1;
    for (auto _ : state) {
        if (changing) {
            lockState[1] = lockState[1] == 0x02 ? 0x01 : 0x02;
        }
        table.takeTelegram(++now, 5, 0, static_cast<U8>(lockState.size()), lockState.data());
    }
    benchmark::DoNotOptimize(table.generation());
}
BENCHMARK(BM_DeviceTableUpdate)->Arg(0)->Arg(1);

// The report's worst case: every one of 254 devices with its lane full
// (4096 changes over 20 different texts) and its answer buckets full, as
// after days of a busy bus; the page written once per iteration.
void BM_ReportFullHistory(benchmark::State& state) {
    ZvReportHistory history;
    ZvEacDeviceTable devices;
    const U64 start = 1'700'000'000'000'000ULL;
    for (unsigned device = 1; device <= 254; ++device) {
        const auto address = static_cast<U8>(device);
        devices.presence(start, address, true);
        for (U64 i = 0; i < 8192; ++i) {
            const U64 at = start + i * 7'000'000ULL + device;
            history.state(at, address, ZvEacDeviceSlot::LOCK, "LOCK_STATE_" + std::to_string(i % 20));
            history.answer(at, address, static_cast<U16>(i % 190));
        }
    }
    ZvReportSource source;
    source.what = "bench";
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = zvReportHtml(source, history, devices).size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["page_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_ReportFullHistory)->Unit(benchmark::kMillisecond)->Iterations(1);

// What one received byte costs in the FIFO: push, count, pop.
void BM_FifoCharRoundTrip(benchmark::State& state) {
    Rig& r = rig();
    for (auto _ : state) {
        icFifoPushChar(&r.fifoRx, 'x');
        benchmark::DoNotOptimize(icFifoCharsToPop(&r.fifoRx));
        benchmark::DoNotOptimize(icFifoPopChar(&r.fifoRx));
    }
}
BENCHMARK(BM_FifoCharRoundTrip);

// The console path: a 64-character piece pushed char by char, taken in a block.
void BM_FifoTextPiece(benchmark::State& state) {
    Rig& r = rig();
    static constexpr char kPiece[] = "\n\t\t Lock state:            LOCKED, bolt thrown and door closed   ";
    for (auto _ : state) {
        for (const char c : kPiece) {
            icFifoPushChar(&r.fifoShellTx, c);
        }
        r.drainConsole();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(sizeof kPiece));
}
BENCHMARK(BM_FifoTextPiece);

void BM_SemWaitSignal(benchmark::State& state) {
    static OsalSem sem = osalApi->semCreate(TRUE);
    for (auto _ : state) {
        osalApi->semWait(sem, MAX_U32);
        osalApi->semSignal(sem);
    }
}
BENCHMARK(BM_SemWaitSignal);

// A wait object set while it is already set: every push after the first.
void BM_WaitObjSignalWhileSet(benchmark::State& state) {
    static OsalWaitObject obj = osalApi->waitObjCreate();
    osalApi->waitObjSignal(obj);
    for (auto _ : state) {
        osalApi->waitObjSignal(obj);
    }
}
BENCHMARK(BM_WaitObjSignalWhileSet);

// Set and cleared again: a burst that the consumer drains at once.
void BM_WaitObjSignalReset(benchmark::State& state) {
    static OsalWaitObject obj = osalApi->waitObjCreate();
    for (auto _ : state) {
        osalApi->waitObjSignal(obj);
        osalApi->waitObjectReset(obj);
    }
}
BENCHMARK(BM_WaitObjSignalReset);

// The main loop's wait while input is pending: returns without sleeping.
void BM_WaitForObjectsPending(benchmark::State& state) {
    Rig& r = rig();
    icFifoPushChar(&r.fifoShellRx, 'x');
    for (auto _ : state) {
        osalApi->waitForObjects(r.waitList.data(), static_cast<U8>(r.waitList.size()), 0);
    }
    (void)icFifoPopChar(&r.fifoShellRx);
    (void)icFifoCharsToPop(&r.fifoShellRx);
}
BENCHMARK(BM_WaitForObjectsPending);

void BM_LocalTime(benchmark::State& state) {
    IcLocalTime now{};
    for (auto _ : state) {
        icLocalTimeGet(&now);
        benchmark::DoNotOptimize(now);
    }
}
BENCHMARK(BM_LocalTime);

}  // namespace

int runCoreBenchmarks(int argc, char** argv) {
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        constexpr std::string_view kStream = "--stream=";
        if (std::string_view(argv[i]).starts_with(kStream)) {
            streamPath = argv[i] + kStream.size();
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) {
        return 2;
    }
    const Workload& w = workload();
    std::printf("stream: %s, %zu bytes, %zu frames (%zu with data), %.1f bytes per frame\n",
                streamPath.empty() ? "built-in" : streamPath.c_str(), w.bytes.size(), w.frames.size(), w.dataFrames,
                w.frames.empty() ? 0.0 : static_cast<double>(w.bytes.size()) / static_cast<double>(w.frames.size()));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
