// Arbitrary files into the capture reader (-r): the pcap layer, the packet
// decoder and the replay through the frame receiver and the printers. Only
// files that start like a capture are taken; raw line bytes are the byte
// stream target's. Besides the sanitizers it checks that a packet the reader
// hands out lies inside the input and that a refused packet says why.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "Appl/zelvanEacSniffer/busObserver.h"
#include "capture/zvCapFile.h"
#include "capture/zvCapFormat.h"
#include "capture/zvCapReplay.h"
#include "fifo/icFifo.h"
#include "logger/logger.h"

namespace {

constexpr IcFifoIndex kFifoSize = 255;
// Enough packets to reach any state; a long file is the same loop again.
constexpr int kMaxPackets = 64;

IcFifoInstance fifo{};
Char fifoBuffer[kFifoSize];
U16 fifoTicks[kFifoSize];
ZvEacNwkInst nwk{};

void discard(void* /*arg*/, const char* /*text*/) {}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "captureFuzz: %s\n", what);
    std::abort();
}

bool setUp() {
    icFifoInit(&fifo, fifoBuffer, kFifoSize);
    icFifoEnableArrivalTicks(&fifo, fifoTicks);
    loggerSetSink(discard, nullptr);
    loggerSetVerbosity(3);
    zvEacNwkSetRawData(1);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = setUp();
    (void)ready;
    const std::span<const U8> input(data, size);
    if (size < ZV_CAP_MAGIC_SIZE || zvCapLooksLikeCapture(input.first(ZV_CAP_MAGIC_SIZE)) == FALSE) {
        return 0;
    }
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (file == nullptr) {
        return 0;
    }
    std::uint8_t head[ZV_CAP_MAGIC_SIZE];
    if (std::fread(head, 1, sizeof head, file) != sizeof head) {
        std::fclose(file);
        return 0;
    }
    std::string error;
    ZvCapReader* reader = zvCapReaderOpen(file, std::span<const U8>(head, sizeof head), error);
    if (reader == nullptr) {
        return 0;
    }
    BusObserver observer{};
    zvEacNwkInit(&nwk, nullptr, &fifo, zvEacNetworkRxCb, zvEacNwkTxResCb, &observer);
    zvCapReplayBegin(&nwk, &fifo);
    for (int i = 0; i < kMaxPackets; ++i) {
        U64 wall_us = 0;
        std::span<const U8> packet;
        if (zvCapReaderNext(reader, wall_us, packet, error) != ZV_CAP_READ_PACKET) {
            break;
        }
        ZvCapHeader header{};
        std::span<const U8> wire;
        const ZvCapDecodeResult decoded = zvCapDecodePacket(packet, header, wire);
        if (decoded != ZV_CAP_DECODE_OK) {
            if (std::string(zvCapDecodeResultText(decoded)).empty()) {
                fail("a refused packet without a reason");
            }
            break;
        }
        if (wire.data() < packet.data() || wire.data() + wire.size() > packet.data() + packet.size()) {
            fail("line bytes outside their packet");
        }
        zvCapReplayPacket(wall_us, header, wire);
    }
    zvCapReplayEnd();
    zvCapReaderClose(reader);
    return 0;
}
