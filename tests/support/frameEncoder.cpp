#include "support/frameEncoder.h"

#include <algorithm>
#include <mutex>

#include "fifo/icFifo.h"

namespace zvtest {

namespace {

constexpr std::size_t MAX_TELEGRAM = 255;
constexpr U8 ESCAPE_BIT = 0x80;

bool isControl(U8 value) {
    return value == ZV_EAC_NWK_CHARS_STX || value == ZV_EAC_NWK_CHARS_ETX || value == ZV_EAC_NWK_CHARS_ESC;
}

void putEscaped(std::vector<U8>& out, U8 value) {
    if (isControl(value)) {
        out.push_back(ZV_EAC_NWK_CHARS_ESC);
        out.push_back(static_cast<U8>(value | ESCAPE_BIT));
    } else {
        out.push_back(value);
    }
}

// One encoder instance and its transmit FIFO for the whole test program:
// FIFOs own OS objects that are never destroyed, so they are made once.
struct Encoder {
    static constexpr IcFifoIndex FIFO_SIZE = 512;  // holds any frame the encoder accepts
    std::mutex lock;
    Char fifoBuffer[FIFO_SIZE]{};
    IcFifoInstance fifoTx{};
    ZvEacNwkInst inst{};

    Encoder() {
        icFifoInit(&fifoTx, fifoBuffer, FIFO_SIZE);
        zvEacNwkInit(&inst, &fifoTx, nullptr, nullptr, nullptr, nullptr);
    }
};

Encoder& encoder() {
    static Encoder* const instance = new Encoder();  // never destroyed: threads may still use it at exit
    return *instance;
}

}  // namespace

std::vector<U8> encodeFrame(ZvEacNwkAddr source, ZvEacNwkAddr destination, std::span<const U8> telegram) {
    if (telegram.size() > MAX_TELEGRAM) {
        return {};
    }
    const auto length = static_cast<ZvEacNwkLen>(telegram.size());
    U8* message = nullptr;
    if (length != 0) {
        message = zvEacNwkAlloc(length);
        if (message == nullptr) {
            return {};
        }
        std::copy(telegram.begin(), telegram.end(), message);
    }

    Encoder& enc = encoder();
    std::lock_guard<std::mutex> guard(enc.lock);
    icFifoReset(&enc.fifoTx);
    zvEacNwkTx(&enc.inst, source, destination, length, message);
    enc.inst.doTxResCb = FALSE;  // nobody runs this instance's execute step

    std::vector<U8> bytes(icFifoCharsToPop(&enc.fifoTx));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const IcFifoIndex n = icFifoPopBlock(&enc.fifoTx, static_cast<IcFifoIndex>(bytes.size() - done),
                                             reinterpret_cast<Char*>(bytes.data() + done));
        if (n == 0) {
            break;
        }
        done += n;
    }
    bytes.resize(done);
    return bytes;
}

std::vector<U8> encodeFrameAnyLength(ZvEacNwkAddr source, ZvEacNwkAddr destination, std::span<const U8> telegram) {
    if (telegram.size() > MAX_TELEGRAM) {
        return {};
    }
    const auto length = static_cast<U8>(telegram.size());
    std::vector<U8> out;
    out.reserve(2 * telegram.size() + 10);
    out.push_back(ZV_EAC_NWK_CHARS_STX);
    U8 bcc = 0;
    for (U8 header : {destination, source, length}) {
        putEscaped(out, header);
        bcc ^= header;
    }
    for (U8 value : telegram) {
        putEscaped(out, value);
        bcc ^= value;
    }
    putEscaped(out, bcc);
    out.push_back(ZV_EAC_NWK_CHARS_ETX);
    return out;
}

std::size_t encodedFrameSize(ZvEacNwkAddr source, ZvEacNwkAddr destination, std::span<const U8> telegram) {
    return encodeFrameAnyLength(source, destination, telegram).size();
}

}  // namespace zvtest
