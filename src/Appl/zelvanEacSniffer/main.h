// The application module: command line, bus observer, console commands and
// the main loop.
#pragma once

#include "hal/include/hal_types.h"

// The program's entry point; returns the process exit status.
int zelvanEacSnifferMain(int argc, char** argv);
