#include "busSimWire.h"

#include <utility>

#include "base/icError.h"

namespace {

constexpr const char* kModuleFile = "zelvanEacBusSim/busSimWire";

constexpr U32 kNoiseBytesMax = 6;

constexpr const char* kFaultNames[BUS_SIM_FAULT_KINDS] = {"bcc", "etx", "noise", "pause", "cut"};

// A byte the receiver ignores outside a frame: it neither starts a frame
// (STX) nor makes the next byte an escaped value (ESC). With `notEtx` it
// also cannot close a frame that waits for its ETX.
U8 strayByte(BusSimRandom& random, bool notEtx) {
    for (;;) {
        const U8 value = random.byte();
        if (value != ZV_EAC_NWK_CHARS_STX && value != ZV_EAC_NWK_CHARS_ESC &&
            !(notEtx && value == ZV_EAC_NWK_CHARS_ETX)) {
            return value;
        }
    }
}

void putEscaped(std::vector<U8>& out, U8 value) {
    std::array<U8, 2> escaped{};
    const std::size_t size = zvEacFramePutValue(escaped, value);
    out.insert(out.end(), escaped.begin(), escaped.begin() + static_cast<std::ptrdiff_t>(size));
}

// The frame's BCC as written: the byte before the ETX, or the pair ESC,
// value | 0x80 when it had to be escaped (the second byte of a pair always has
// bit 7 set, so an ESC in that place opens a pair). Returns its wire size.
U8 bccOf(std::span<const U8> frame, U8& bcc) {
    const std::size_t at = frame.size() - 2;
    if (frame[at - 1] == ZV_EAC_NWK_CHARS_ESC) {
        bcc = zvEacFrameUnescape(frame[at]);
        return 2;
    }
    bcc = frame[at];
    return 1;
}

}  // namespace

const char* busSimFaultName(BusSimFaultKind kind) { return kind < BUS_SIM_FAULT_KINDS ? kFaultNames[kind] : "none"; }

BusSimEncodedFrame busSimWireEncode(const BusSimFrame& frame) {
    // Guaranteed by the telegram's own limit, which keeps every frame within
    // what the encoder accepts.
    IC_ASSERT(kModuleFile, frame.telegram.length() <= BUS_SIM_MAX_TELEGRAM);
    BusSimEncodedFrame encoded;
    const std::size_t size = zvEacFrameEncode(frame.source, frame.destination, frame.telegram.bytes(), encoded.bytes);
    IC_ASSERT(kModuleFile, size != 0);
    encoded.length = static_cast<U8>(size);
    return encoded;
}

BusSimWirePlan busSimWirePlan(const BusSimEncodedFrame& frame, BusSimRandom& random, double faultRate,
                              bool timedMedium) {
    const std::span<const U8> bytes = frame.view();
    BusSimWirePlan plan;
    if (faultRate <= 0.0 || !random.chance(faultRate)) {
        plan.segments.push_back({{bytes.begin(), bytes.end()}, 0});
        return plan;
    }
    const U32 kinds = timedMedium ? 4 : 3;
    plan.fault = static_cast<BusSimFaultKind>(random.below(kinds));
    switch (plan.fault) {
        case BUS_SIM_FAULT_BCC: {
            U8 bcc = 0;
            const U8 bccBytes = bccOf(bytes, bcc);
            U8 wrong = bcc;
            while (wrong == bcc || wrong == ZV_EAC_NWK_CHARS_ESC) {
                wrong = random.byte();
            }
            BusSimSegment segment{{bytes.begin(), bytes.end() - 1 - bccBytes}, 0};
            putEscaped(segment.bytes, wrong);
            segment.bytes.push_back(ZV_EAC_NWK_CHARS_ETX);
            plan.segments.push_back(std::move(segment));
            plan.intact = false;
            break;
        }
        case BUS_SIM_FAULT_ETX: {
            BusSimSegment segment{{bytes.begin(), bytes.end() - 1}, 0};
            if (timedMedium) {
                segment.pauseAfter_ms = BUS_SIM_FAULT_PAUSE_MS;
            } else {
                segment.bytes.push_back(strayByte(random, true));
            }
            plan.segments.push_back(std::move(segment));
            plan.intact = false;
            break;
        }
        case BUS_SIM_FAULT_NOISE: {
            BusSimSegment noise;
            const U32 count = random.between(1, kNoiseBytesMax);
            for (U32 i = 0; i < count; ++i) {
                noise.bytes.push_back(strayByte(random, false));
            }
            plan.segments.push_back(std::move(noise));
            plan.segments.push_back({{bytes.begin(), bytes.end()}, 0});
            break;
        }
        default: {
            // Anywhere after the STX and before the ETX: the rest of an
            // escaped frame holds no plain STX, so the receiver, back in its
            // idle state after the time-out, ignores it.
            plan.fault = BUS_SIM_FAULT_PAUSE;
            const std::size_t split = random.between(1, static_cast<U32>(bytes.size() - 1));
            plan.segments.push_back(
                {{bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(split)}, BUS_SIM_FAULT_PAUSE_MS});
            plan.segments.push_back({{bytes.begin() + static_cast<std::ptrdiff_t>(split), bytes.end()}, 0});
            plan.intact = false;
            break;
        }
    }
    return plan;
}
