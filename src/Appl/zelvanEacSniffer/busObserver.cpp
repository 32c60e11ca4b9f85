#include "Appl/zelvanEacSniffer/busObserver.h"

#include "eac/zelvan/zvEacDropReport.h"
#include "eac/zelvan/zvEacRecord.h"
#include "eac/zelvan/zvEacToStr.h"
#include "filter/zvEacFilter.h"
#include "logger/logger.h"
#include "stats/zvEacStats.h"

namespace {

constexpr ZvEacNwkAddr kMasterAddr = 0;

void printPrompt(const BusObserver& self) {
    if (self.prompt != nullptr) {
        self.prompt(self.promptArg);
    }
}

// Counted whatever is printed; reported only when the filter lets the
// device through.
void changeOnOffline(BusObserver& self, ZvEacNwkAddr addr, Boolean online) {
    icHalArchBitfieldSet(self.onlineDevices.data(), addr, online);
    zvEacStatsOnline(addr, online);
    const U64 wall_us = loggerReportInstant_us();
    self.devices.presence(wall_us, addr, online != FALSE);
    self.history.presence(wall_us, addr, online != FALSE);
    if (zvEacFilterAddressPasses(zvEacFilterActive(), addr, addr) != FALSE) {
        reportOnOffline(self, addr, online);
    }
}

void stateChanged(void* arg, U64 wall_us, U8 address, ZvEacDeviceSlot slot, const std::string& text) {
    static_cast<ZvReportHistory*>(arg)->state(wall_us, address, slot, text);
}

}  // namespace

BusObserver::BusObserver() { devices.onChange(stateChanged, &history); }

void zvEacNetworkRxCb(void* cbArg, ZvEacNwkAddr source, ZvEacNwkAddr destination, ZvEacNwkLen length, U8* message) {
    BusObserver& self = *static_cast<BusObserver*>(cbArg);
    zvEacStatsFrame(source, destination, length, message);
    if (source == kMasterAddr) {
        if (self.currentProbeOrPoll != kMasterAddr) {
            zvEacStatsMissed(self.currentProbeOrPoll);
        }
        // The device polled last did not answer before the master moved on.
        if (icHalArchBitfieldGet(self.onlineDevices.data(), self.currentProbeOrPoll) != FALSE) {
            changeOnOffline(self, self.currentProbeOrPoll, FALSE);
        }
        self.currentProbeOrPoll = destination;
    } else {
        if (source == self.currentProbeOrPoll) {
            const U16 answer_ms = zvEacStatsAnswer(source);
            if (answer_ms != ZV_EAC_STATS_NO_ANSWER_TIME) {
                self.history.answer(loggerReportInstant_us(), source, answer_ms);
            }
        }
        if (icHalArchBitfieldGet(self.onlineDevices.data(), source) == FALSE) {
            changeOnOffline(self, source, TRUE);
        }
        self.currentProbeOrPoll = kMasterAddr;
    }

    self.devices.takeTelegram(loggerReportInstant_us(), source, destination, length, message);
    if (message == nullptr) {
        return;
    }
    if (length != 0 && zvEacFilterTelegramPasses(zvEacFilterActive(), source, destination, message[0]) == FALSE) {
        zvEacNwkFree(message);
        return;
    }
    if (length != 0) {
        const U8 direction = source == kMasterAddr ? PRINT_MSG_DIR_OUTGOING : PRINT_MSG_DIR_INCOMING;
        const ZvEacNwkAddr peer = source == kMasterAddr ? destination : source;
        zvEacShellPrintMessage(direction, 0, peer, length, message);
        if (self.recordSink != nullptr) {
            ZvEacRecord record;
            (void)zvEacDecodeRecord(direction, peer, length, message, record);
            ZvEacReport report;
            report.kind = ZvEacReportKind::TELEGRAM;
            report.wall_us = loggerReportInstant_us();
            report.source = source;
            report.destination = destination;
            report.record = &record;
            self.recordSink(self.recordSinkArg, report);
        }
    }
    zvEacNwkFree(message);
    if (length != 0) {
        printPrompt(self);
    }
}

void zvEacNwkTxResCb(void* /*cbArg*/, ZvEacNwkResult /*rc*/) {}

void reportOnOffline(const BusObserver& self, U8 addr, Boolean online) {
    loggerPrintTimestamp();
    loggerPrintf(" ##  device %d  %s\n\n", static_cast<int>(addr), online != FALSE ? "ONLINE" : "OFFLINE");
    printPrompt(self);
    if (self.recordSink != nullptr) {
        ZvEacReport report;
        report.kind = online != FALSE ? ZvEacReportKind::ONLINE : ZvEacReportKind::OFFLINE;
        report.wall_us = loggerReportInstant_us();
        report.device = addr;
        self.recordSink(self.recordSinkArg, report);
    }
}

void busObserverReset(BusObserver& self) {
    self.onlineDevices.fill(0);
    self.devices.reset();
    self.currentProbeOrPoll = kMasterAddr;
}

void busObserverUnit(BusObserver& self, const ZvEacNwkUnit& unit) {
    self.history.unit(loggerReportInstant_us(), unit.kind, unit.wire);
    if (unit.kind != ZV_EAC_NWK_UNIT_FRAME && unit.kind != ZV_EAC_NWK_UNIT_NOISE) {
        self.devices.drop(unit.wire);
    }
    if ((self.reportDrops == FALSE && self.recordSink == nullptr) || unit.kind == ZV_EAC_NWK_UNIT_FRAME) {
        return;
    }
    const ZvEacFilter& filter = zvEacFilterActive();
    if (filter.byAddress != FALSE) {
        const ZvEacDropHeader header = zvEacDropHeaderOf(unit.wire);
        if (header.addressesKnown == FALSE ||
            zvEacFilterAddressPasses(filter, header.source, header.destination) == FALSE) {
            return;
        }
    }
    if (self.reportDrops != FALSE) {
        zvEacDropReportPrint(unit);
        printPrompt(self);
    }
    if (self.recordSink != nullptr) {
        ZvEacReport report;
        report.kind = unit.kind == ZV_EAC_NWK_UNIT_NOISE ? ZvEacReportKind::NOISE : ZvEacReportKind::DROP;
        report.wall_us = loggerReportInstant_us();
        report.unitKind = unit.kind;
        report.wire = unit.wire;
        self.recordSink(self.recordSinkArg, report);
    }
}
