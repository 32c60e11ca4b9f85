// Command line of the simulator.
#pragma once

#include <string>

#include "base/hal_types.h"
#include "busSimLine.h"

struct BusSimOptions {
    BusSimLineConfig line;
    U8 devices = 8;
    double seconds = 0.0;  // 0: no time limit
    U32 frames = 0;        // 0: no frame limit
    U32 seed = 1;
    double faultRate = 0.0;
    double framesPerSecond = 0.0;    // 0: as the bit rate allows
    double waitReaderSeconds = 0.0;  // 0: wait without limit
    double delaySeconds = 0.5;
    bool hold = false;
    bool quiet = false;
    std::string summaryPath;  // empty: standard output
};

enum BusSimParseResult : U8 {
    BUS_SIM_PARSE_RUN = 0,
    BUS_SIM_PARSE_HELP = 1,
    BUS_SIM_PARSE_ERROR = 2,
};

// Reads argv into `options`; on BUS_SIM_PARSE_ERROR `error` says why.
BusSimParseResult busSimParseOptions(int argc, const char* const* argv, BusSimOptions& options, std::string& error);
// The --help text.
std::string busSimUsage(const char* program);
