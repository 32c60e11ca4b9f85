// The bus observer: which devices are online, judged from who talks on the
// line, and the printing of every delivered frame. It prints through the
// logger; the prompt after each report goes wherever its owner says (the
// console), so that it needs nothing of the program around it.
#pragma once

#include <array>

#include "base/hal_types.h"
#include "devices/zvEacDevices.h"
#include "eac/zelvan/zvEacNetwork.h"
#include "hal/include/icHalArchBitfield.h"
#include "output/zvEacJson.h"
#include "report/zvReportHistory.h"

using BusObserverPrompt = void (*)(void* arg);
// Every report as data, whatever the verbosity: telegrams (decoded), ONLINE
// and OFFLINE, dropped frames and noise, as far as the filter lets them
// through. `report` and what it points to live for the call only.
using BusObserverRecordSink = void (*)(void* arg, const ZvEacReport& report);

struct BusObserver {
    BusObserver();
    // The device table tells the history about itself: the observer stays put.
    BusObserver(const BusObserver&) = delete;
    BusObserver& operator=(const BusObserver&) = delete;

    // One bit per network address 0..255; address 0 is never set.
    std::array<IcHalArchBitfieldStorageElement, 32> onlineDevices{};
    // The device the master addressed last while no device has answered
    // since; 0 otherwise.
    ZvEacNwkAddr currentProbeOrPoll = 0;
    BusObserverPrompt prompt = nullptr;  // nullptr: no prompt
    void* promptArg = nullptr;
    // A line for every dropped frame and run of noise (drops 1, --drops).
    Boolean reportDrops = FALSE;
    BusObserverRecordSink recordSink = nullptr;  // nullptr: no records
    void* recordSinkArg = nullptr;
    // Every device's identity and decoded state, whatever is printed.
    ZvEacDeviceTable devices;
    // The run over time, for a report.
    ZvReportHistory history;
};

// Forgets every online device and the pending poll.
void busObserverReset(BusObserver& self);
// Frame callback for zvEacNwkInit, with the observer as `cbArg`: online
// bookkeeping, printing, prompt. Takes ownership of `message`.
void zvEacNetworkRxCb(void* cbArg, ZvEacNwkAddr source, ZvEacNwkAddr destination, ZvEacNwkLen length, U8* message);
// The sniffer never transmits; nothing to do.
void zvEacNwkTxResCb(void* cbArg, ZvEacNwkResult rc);
void reportOnOffline(const BusObserver& self, U8 addr, Boolean online);
// Every unit the receiver decided on (its tap): the line for a dropped frame
// or noise while reportDrops is on. An address filter shows only drops whose
// addresses were read and pass; noise has none.
void busObserverUnit(BusObserver& self, const ZvEacNwkUnit& unit);
