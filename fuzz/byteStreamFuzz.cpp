// Arbitrary bus traffic through the whole receive path: receive FIFO, frame
// receiver, bus observer and message printer at the raw level, with the raw
// line dump on. The clock is the fuzzer's: an input byte 0xFF followed by k
// lets k milliseconds pass (k = 0 stands for a data byte 0xFF), so gaps that
// end a frame by time-out are reached.
//
// An independent model of the receiver's rules runs over the same bytes and
// gaps; every frame it completes must reach the observer with the same
// addresses and data, and nothing else may. At the end of an input the
// receiver must be idle again without holding a buffer, and its tap must
// have seen every byte once, in order, with one frame unit per delivery.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Appl/zelvanEacSniffer/busObserver.h"
#include "Shell/shell.h"
#include "base/hal_types.h"
#include "eac/zelvan/zvEacNetwork.h"
#include "eac/zelvan/zvEacNetworkPrivate.h"
#include "fifo/icFifo.h"
#include "hal/include/icLocalTime.h"
#include "hal/include/icPlatformTimer.h"
#include "logger/logger.h"

namespace {

constexpr U8 kClockCommand = 0xFF;
constexpr U8 kLiteralFf = 0x00;
constexpr U8 kStx = 0x02;
constexpr U8 kEtx = 0x03;
constexpr U8 kEsc = 0x1B;
constexpr U8 kEscapeBit = 0x80;
// A gap longer than this between two bytes of a frame drops it.
constexpr U32 kMaxGapMs = 189;
// Long enough to end any frame in progress.
constexpr U32 kFlushGapMs = 1000;
// Each input starts shortly before the 16-bit millisecond tick wraps.
constexpr U32 kClockStart = 0x10000u - 700u;

constexpr IcFifoIndex kFifoSize = 255;
constexpr IcFifoIndex kShellTxSize = 5000;
constexpr IcFifoIndex kShellRxSize = 255;

struct Frame {
    U8 source;
    U8 destination;
    std::vector<U8> data;
    bool operator==(const Frame& other) const = default;
};

U32 clockMs = kClockStart;
U32 readClock() { return clockMs; }

void pinnedTime(IcLocalTime* out) { *out = IcLocalTime{2024, 1, 31, 13, 5, 9, 42}; }

struct Rig {
    Char rxBuf[kFifoSize]{};
    Char txBuf[kFifoSize]{};
    Char shellTxBuf[kShellTxSize]{};
    Char shellRxBuf[kShellRxSize]{};
    IcFifoInstance fifoRx{};
    IcFifoInstance fifoTx{};
    IcFifoInstance shellTx{};
    IcFifoInstance shellRx{};
    ZvEacNwkInst nwk{};
    BusObserver observer{};
    Rig() {
        icFifoInit(&fifoRx, rxBuf, kFifoSize);
        icFifoInit(&fifoTx, txBuf, kFifoSize);
        icFifoInit(&shellTx, shellTxBuf, kShellTxSize);
        icFifoInit(&shellRx, shellRxBuf, kShellRxSize);
    }
};

Rig* rig = nullptr;
std::vector<Frame> delivered;
std::vector<Frame> expected;
std::vector<U8> fed;
std::vector<U8> tapped;
std::size_t tappedFrames = 0;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "byteStreamFuzz: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) {
        fail(what);
    }
}

void discardText(void* /*arg*/, const char* text) {
    // Reading the whole piece lets the sanitizers see a missing terminator.
    check(std::strlen(text) < 300, "logger piece longer than its buffer");
}

void onUnit(void* /*arg*/, const ZvEacNwkUnit& unit) {
    check(!unit.wire.empty(), "the tap got an empty unit");
    tapped.insert(tapped.end(), unit.wire.begin(), unit.wire.end());
    if (unit.kind == ZV_EAC_NWK_UNIT_FRAME) {
        check(tappedFrames++ == delivered.size(), "a frame unit did not come right before its delivery");
    }
}

// Records the frame, then hands it to the application's observer, which
// prints it and releases the buffer.
void onFrame(void* cbArg, ZvEacNwkAddr source, ZvEacNwkAddr destination, ZvEacNwkLen length, U8* data) {
    check((length == 0) == (data == nullptr), "data buffer does not match the length");
    Frame frame{source, destination, {}};
    if (length != 0) {
        frame.data.assign(data, data + length);
    }
    delivered.push_back(frame);
    zvEacNetworkRxCb(cbArg, source, destination, length, data);
    icFifoReset(&rig->shellTx);
}

// The receiver's rules, written down a second time from the wire format.
class ReceiverModel {
public:
    void byte(U8 b, U32 now) {
        switch (state_) {
            case State::IDLE:
                if (escape_) {
                    escape_ = false;
                } else if (b == kStx) {
                    enter(State::HEADER);
                    restart(now);
                } else if (b == kEsc) {
                    escape_ = true;
                }
                return;
            case State::ETX:
                if (b == kEtx) {
                    expected.push_back(frame_);
                }
                enter(State::IDLE);
                return;
            default:
                break;
        }
        restart(now);
        if (!escape_ && b == kEsc) {
            escape_ = true;
            return;
        }
        if (escape_) {
            escape_ = false;
            b = static_cast<U8>(b & ~kEscapeBit);
        }
        switch (state_) {
            case State::HEADER:
                bcc_ ^= b;
                if (header_ == 0) {
                    frame_.destination = b;
                } else if (header_ == 1) {
                    frame_.source = b;
                } else {
                    length_ = b;
                    enter(length_ == 0 ? State::BCC : State::DATA);
                    return;
                }
                ++header_;
                return;
            case State::DATA:
                bcc_ ^= b;
                frame_.data.push_back(b);
                if (frame_.data.size() == length_) {
                    state_ = State::BCC;
                }
                return;
            case State::BCC:
                if (b == bcc_) {
                    state_ = State::ETX;
                } else {
                    enter(State::IDLE);
                }
                return;
            default:
                return;
        }
    }

    void clock(U32 now) {
        if (state_ != State::IDLE && now - lastByte_ > kMaxGapMs) {
            enter(State::IDLE);
        }
    }

    void reset() { enter(State::IDLE); }

private:
    enum class State : U8 { IDLE, HEADER, DATA, BCC, ETX };

    void enter(State s) {
        if (s == State::IDLE || s == State::HEADER) {
            frame_ = Frame{};
            bcc_ = 0;
            header_ = 0;
            length_ = 0;
            escape_ = false;
        }
        state_ = s;
    }
    void restart(U32 now) { lastByte_ = now; }

    State state_ = State::IDLE;
    Frame frame_{};
    U8 bcc_ = 0;
    U8 header_ = 0;
    U8 length_ = 0;
    bool escape_ = false;
    U32 lastByte_ = 0;
};

ReceiverModel model;

// Bytes that came in together: the serial driver hands them over in one
// block, and the main loop takes one per pass. The model reads them first,
// which changes nothing, since no time passes within a block.
std::vector<U8> pending;

void deliverPending() {
    if (pending.empty()) {
        return;
    }
    for (const U8 b : pending) {
        model.byte(b, clockMs);
    }
    icFifoPushBlock(&rig->fifoRx, reinterpret_cast<const Char*>(pending.data()),
                    static_cast<IcFifoIndex>(pending.size()));
    for (std::size_t i = 0; i < pending.size(); ++i) {
        zvEacNwkExe(&rig->nwk);
    }
    check(icFifoCharsToPop(&rig->fifoRx) == 0, "the receiver left bytes in its FIFO");
    pending.clear();
    check(delivered.size() == expected.size(), "a frame was lost or made up");
}

void feed(U8 b) {
    fed.push_back(b);
    pending.push_back(b);
    if (pending.size() == kFifoSize - 1u) {  // the FIFO keeps one slot free
        deliverPending();
    }
}

// The main loop runs about once per millisecond while the line is quiet; a
// time-out is noticed on one pass and acted on in the next.
void pass(U32 ms) {
    deliverPending();
    clockMs += ms;
    model.clock(clockMs);
    zvEacNwkExe(&rig->nwk);
    zvEacNwkExe(&rig->nwk);
}

Boolean oddAddresses(void* /*arg*/, U8 source, U8 destination) { return ((source | destination) & 1) != 0; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    rig = new Rig();  // FIFOs own OS objects; made once for the whole run
    platformTimerSetTickSource(readClock);
    icLocalTimeSetSource(pinnedTime);
    shellInit(nullptr, &rig->shellTx, &rig->shellRx);
    loggerSetSink(discardText, nullptr);
    loggerSetVerbosity(VERB_RAW);
    zvEacNwkSetRawData(1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    clockMs = kClockStart;
    icFifoReset(&rig->fifoRx);
    busObserverReset(rig->observer);
    zvEacNwkInit(&rig->nwk, &rig->fifoTx, &rig->fifoRx, onFrame, zvEacNwkTxResCb, &rig->observer);
    zvEacNwkSetTap(&rig->nwk, onUnit, nullptr);
    // Every other input with the raw dump behind an address filter.
    zvEacNwkSetRawDumpGate(&rig->nwk, size % 2 != 0 ? oddAddresses : nullptr, nullptr);
    model.reset();
    delivered.clear();
    expected.clear();
    fed.clear();
    tapped.clear();
    tappedFrames = 0;
    pending.clear();
    zvEacNwkExe(&rig->nwk);  // the first pass runs the idle state's entry

    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != kClockCommand) {
            feed(data[i]);
        } else if (i + 1 < size) {
            const U8 arg = data[++i];
            if (arg == kLiteralFf) {
                feed(kClockCommand);
            } else {
                pass(arg);
            }
        }
    }
    pass(kFlushGapMs);

    check(delivered == expected, "delivered frames differ from the line's frames");
    check(rig->nwk.stateMachine.activeState == nwkSmInitState, "receiver not idle after a long gap");
    check(rig->nwk.rxRcvdInfo.data == nullptr, "receiver holds a buffer while idle");
    check(rig->nwk.rxTimerStart == ZV_EAC_NWK_RX_TIMER_STOPPED, "receive timer runs while idle");
    zvEacNwkFlush(&rig->nwk);
    check(tapped == fed, "the tap lost, repeated or reordered bytes");
    check(tappedFrames == delivered.size(), "frame units and deliveries differ");
    icFifoReset(&rig->shellTx);
    return 0;
}
