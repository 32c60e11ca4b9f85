#include "support/printCapture.h"

#include <cstdio>

#include "hal/include/icLocalTime.h"

namespace {

void pinnedTime(IcLocalTime* out) {
    out->year = 2024;
    out->month = 1;
    out->day = 31;
    out->hour = 13;
    out->minute = 5;
    out->second = 9;
    out->milliseconds = 42;
}

void collectPiece(void* arg, const char* text) { static_cast<std::vector<std::string>*>(arg)->emplace_back(text); }

// Restores the logger and the clock even when the captured code fails an
// expectation halfway.
class CaptureScope {
public:
    explicit CaptureScope(std::vector<std::string>* pieces) : savedVerbosity_(loggerGetVerbosity()) {
        icLocalTimeSetSource(pinnedTime);
        loggerSetSink(collectPiece, pieces);
    }
    ~CaptureScope() {
        loggerSetSink(nullptr, nullptr);
        icLocalTimeSetSource(nullptr);
        loggerSetVerbosity(savedVerbosity_);
    }
    CaptureScope(const CaptureScope&) = delete;
    CaptureScope& operator=(const CaptureScope&) = delete;

private:
    U8 savedVerbosity_;
};

}  // namespace

std::vector<std::string> zvTestCapturePieces(const std::function<void()>& fn) {
    std::vector<std::string> pieces;
    {
        CaptureScope scope(&pieces);
        fn();
    }
    return pieces;
}

std::string zvTestCapture(const std::function<void()>& fn) {
    std::string text;
    for (const std::string& piece : zvTestCapturePieces(fn)) {
        text += piece;
    }
    return text;
}

std::string zvTestPrintTelegram(const std::vector<U8>& telegram, U8 verbosity, U8 direction, U8 peer,
                                U8 baseNetworkAddr) {
    return zvTestCapture([&] {
        loggerSetVerbosity(verbosity);
        zvEacShellPrintMessage(direction, baseNetworkAddr, peer, static_cast<U8>(telegram.size()),
                               telegram.empty() ? nullptr : telegram.data());
    });
}

std::string zvTestHeader(U8 msgid, U8 direction, int address) {
    char header[128];
    std::snprintf(header, sizeof header, "%s  %3d \n\t\t %s",
                  direction == PRINT_MSG_DIR_INCOMING ? " ==> from" : "<==  to  ", address, zvEacMsgIdToStr(msgid));
    return std::string(ZV_TEST_TIMESTAMP) + header;
}

std::string zvTestRawDump(const std::vector<U8>& telegram) {
    std::string dump = "\n\t\t length = " + std::to_string(telegram.size());
    if (!telegram.empty()) {
        dump += ", msg [ ";
        for (U8 byte : telegram) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02x ", byte);
            dump += hex;
        }
        dump += "]";
    }
    return dump;
}

std::string zvTestPrintBody(const std::vector<U8>& telegram, U8 verbosity) {
    const std::string printed = zvTestPrintTelegram(telegram, verbosity);
    const std::string header = zvTestHeader(telegram.empty() ? 0 : telegram[0]);
    const std::string closing = "\n\n";
    if (printed.size() < header.size() + closing.size() || printed.compare(0, header.size(), header) != 0 ||
        printed.compare(printed.size() - closing.size(), closing.size(), closing) != 0) {
        return "<<no header or closing line>>" + printed;
    }
    return printed.substr(header.size(), printed.size() - header.size() - closing.size());
}
