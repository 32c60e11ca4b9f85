#include "hal/include/icProcess.h"

// A Windows program started without standard handles gets null handles, and
// its own files never take their place: nothing to set up.
void icProcessInit() {}
