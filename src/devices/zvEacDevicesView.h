// The device table as a full-screen view: what each line shows and how,
// for a terminal of the given size. Cells that changed in the last two
// seconds stand out, devices that are offline are dimmed.
#pragma once

#include <string>
#include <vector>

#include "base/hal_types.h"
#include "devices/zvEacDevices.h"
#include "hal/include/icScreen.h"

enum class ZvEacViewSort : U8 {
    ADDRESS,
    LAST_CHANGE,  // the latest change first
    MISSED,       // the highest missed share first
};

struct ZvEacViewOptions {
    ZvEacViewSort sort = ZvEacViewSort::ADDRESS;
    std::string addressFilter;  // "5,7-9"; empty: every device
    std::string status;         // the header's figures, built by the caller
    std::string typing;         // a filter being typed, shown at the bottom; empty: none
    U64 now_us = 0;
    U16 rows = 24;
    U16 columns = 80;
};

// FALSE when `text` is no list of addresses ("5,7-9").
Boolean zvEacViewFilterValid(const std::string& text);
std::vector<IcScreenLine> zvEacDevicesViewLines(const ZvEacDeviceTable& table, const ZvEacViewOptions& options);
