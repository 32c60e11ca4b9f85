// The bus observer: which devices are online, judged from who talks on the
// line, and the printing of every delivered frame.
#include <array>

#include "Appl/zelvanEacSniffer/main.h"
#include "Appl/zelvanEacSniffer/mainPrivate.h"
#include "eac/zelvan/zvEacToStr.h"
#include "hal/include/icHalArchBitfield.h"
#include "logger/logger.h"

namespace {

constexpr ZvEacNwkAddr kMasterAddr = 0;
constexpr U8 kOnlineSetElements = 32;  // one bit per network address 0..255

std::array<IcHalArchBitfieldStorageElement, kOnlineSetElements> onlineDevices{};
ZvEacNwkAddr currentProbeOrPoll = 0;

}  // namespace

void zvEacNetworkRxCb(void* /*cbArg*/, ZvEacNwkAddr source, ZvEacNwkAddr destination, ZvEacNwkLen length, U8* message) {
    if (source == kMasterAddr) {
        // The device polled last did not answer before the master moved on.
        if (icHalArchBitfieldGet(onlineDevices.data(), currentProbeOrPoll) != FALSE) {
            icHalArchBitfieldSet(onlineDevices.data(), currentProbeOrPoll, FALSE);
            reportOnOffline(currentProbeOrPoll, FALSE);
        }
        currentProbeOrPoll = destination;
    } else {
        if (icHalArchBitfieldGet(onlineDevices.data(), source) == FALSE) {
            icHalArchBitfieldSet(onlineDevices.data(), source, TRUE);
            reportOnOffline(source, TRUE);
        }
        currentProbeOrPoll = kMasterAddr;
    }

    if (message == nullptr) {
        return;
    }
    if (length != 0) {
        if (source == kMasterAddr) {
            zvEacShellPrintMessage(PRINT_MSG_DIR_OUTGOING, 0, destination, length, message);
        } else {
            zvEacShellPrintMessage(PRINT_MSG_DIR_INCOMING, 0, source, length, message);
        }
    }
    zvEacNwkFree(message);
    if (length != 0) {
        mainShellPrint(" > ");
    }
}

void zvEacNwkTxResCb(void* /*cbArg*/, ZvEacNwkResult /*rc*/) {}

void reportOnOffline(U8 addr, Boolean online) {
    loggerPrintTimestamp();
    loggerPrintf(" ##  device %d  %s\n\n", static_cast<int>(addr), online != FALSE ? "ONLINE" : "OFFLINE");
    mainShellPrint(" > ");
}

void mainResetBusObserver() {
    onlineDevices.fill(0);
    currentProbeOrPoll = kMasterAddr;
}
