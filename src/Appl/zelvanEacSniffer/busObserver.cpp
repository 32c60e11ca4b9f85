// The bus observer: which devices are online, judged from who talks on the
// line, and the printing of every delivered frame.
#include <array>

#include "Appl/zelvanEacSniffer/main.h"
#include "Appl/zelvanEacSniffer/mainPrivate.h"
#include "eac/zelvan/zvEacToStr.h"
#include "hal/include/icHalArchBitfield.h"
#include "logger/logger.h"
#include "stats/zvEacFilter.h"
#include "stats/zvEacStats.h"

namespace {

constexpr ZvEacNwkAddr kMasterAddr = 0;
constexpr U8 kOnlineSetElements = 32;  // one bit per network address 0..255

std::array<IcHalArchBitfieldStorageElement, kOnlineSetElements> onlineDevices{};
ZvEacNwkAddr currentProbeOrPoll = 0;

// Counted whatever is printed; reported only when the filter lets the
// device through.
void changeOnOffline(ZvEacNwkAddr addr, Boolean online) {
    icHalArchBitfieldSet(onlineDevices.data(), addr, online);
    zvEacStatsOnline(addr, online);
    if (zvEacFilterAddressPasses(zvEacFilterActive(), addr, addr) != FALSE) {
        reportOnOffline(addr, online);
    }
}

}  // namespace

void zvEacNetworkRxCb(void* /*cbArg*/, ZvEacNwkAddr source, ZvEacNwkAddr destination, ZvEacNwkLen length, U8* message) {
    zvEacStatsFrame(source, destination, length, message);
    if (source == kMasterAddr) {
        if (currentProbeOrPoll != kMasterAddr) {
            zvEacStatsMissed(currentProbeOrPoll);
        }
        // The device polled last did not answer before the master moved on.
        if (icHalArchBitfieldGet(onlineDevices.data(), currentProbeOrPoll) != FALSE) {
            changeOnOffline(currentProbeOrPoll, FALSE);
        }
        currentProbeOrPoll = destination;
    } else {
        if (source == currentProbeOrPoll) {
            zvEacStatsAnswer(source);
        }
        if (icHalArchBitfieldGet(onlineDevices.data(), source) == FALSE) {
            changeOnOffline(source, TRUE);
        }
        currentProbeOrPoll = kMasterAddr;
    }

    if (message == nullptr) {
        return;
    }
    if (length != 0 && zvEacFilterTelegramPasses(zvEacFilterActive(), source, destination, message[0]) == FALSE) {
        zvEacNwkFree(message);
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
