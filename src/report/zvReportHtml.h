// The report a technician hands over: one HTML file that opens offline in
// any current browser. The summary and the device table are plain HTML (the
// statistics' own figures, as `stats csv` writes them); the timelines and
// plots are drawn in the page from the run's history, with the plotting
// library and the page's code embedded, so that the file needs nothing
// beside it and asks the network for nothing.
#pragma once

#include <string>

#include "base/hal_types.h"
#include "devices/zvEacDevices.h"
#include "report/zvReportHistory.h"

struct ZvReportSource {
    std::string what;     // "capture file site.pcap", "serial port /dev/ttyUSB0"
    std::string version;  // the program's version line
    U32 bitRate = 0;
};

// The answer time after which the master gives up on a device.
inline constexpr U16 ZV_REPORT_ANSWER_TIMEOUT_MS = 190;

// The whole page, with the statistics as they stand now.
std::string zvReportHtml(const ZvReportSource& source, const ZvReportHistory& history, const ZvEacDeviceTable& devices);

// Text from anywhere (the bus included) as HTML text: markup characters
// escaped, control characters and bytes that are not UTF-8 replaced by
// U+FFFD.
std::string zvReportHtmlText(std::string_view text);
