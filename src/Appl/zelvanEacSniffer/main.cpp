#include "Appl/zelvanEacSniffer/main.h"

int zelvanEacSnifferMain(int /*argc*/, char** /*argv*/) { return 0; }
